#include "app/BackupSets.h"

#include <algorithm>
#include <optional>
#include <set>

#include "app/Backup.h"
#include "app/ChangeFile.h"
#include "app/Error.h"
#include "app/LegacySet.h"
#include "app/SetSeal.h"
#include "app/Text.h"

namespace mt {

namespace {
const std::string kExtraFolderText = "备份中有多余的文件夹：";
}  // namespace

std::vector<std::string> BackupSetFolders(FileSystem& files, const std::string& dataDir) {
  const std::string root = BackupRoot(dataDir);
  std::vector<std::string> names;
  try {
    for (const FindEntry& entry : files.Find(root, "*"))
      if (entry.isDirectory) names.push_back(entry.name);
  } catch (const std::exception&) {
    return {};
  }
  // "2026-12-08 15.54.00" sorts by time; "... (2)" after its first.
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const std::string ka = a.substr(0, 19), kb = b.substr(0, 19);
    if (ka != kb) return ka > kb;
    if (a.size() != b.size()) return a.size() > b.size();
    return a > b;
  });
  std::vector<std::string> folders;
  for (const std::string& name : names) folders.push_back(root + "\\" + name);
  return folders;
}

namespace {

std::string FolderName(const std::string& folder) {
  const size_t slash = folder.rfind('\\');
  return slash == std::string::npos ? folder : folder.substr(slash + 1);
}

// The set's files other than the manifest, from a listing of its folder; `extraFolder` is
// set to a folder found inside the set.
std::set<std::string> SetFiles(FileSystem& files, const std::string& folder,
                               std::string& extraFolder) {
  std::set<std::string> names;
  for (const FindEntry& entry : files.Find(folder, "*")) {
    if (entry.isDirectory && extraFolder.empty()) extraFolder = entry.name;
    if (!entry.isDirectory && entry.name != kBackupManifestName) names.insert(entry.name);
  }
  return names;
}

}  // namespace

struct SealEvidence {
  std::optional<std::string> mac;  // the seal the manifest carried
  // The manifest file as read; when it is laid out with its seal last, the seal covers its
  // first `bodyEnd` bytes and "\n}".
  std::string text;
  std::optional<size_t> bodyEnd;
  // Otherwise the seal covers SealedText of the manifest with the seal taken out.
  nlohmann::json manifest;
  nlohmann::json listed;  // the manifest's "files": each file of the set with its SHA-256
};

namespace {

// Checks the seal: the MAC right, every file of the folder listed with its digest, no file
// more. A folder inside the set (which no set is written with) damages it, sealed or not:
// `extraFolder` names it.
bool EvidenceHolds(const ChangeEnv& env, const SealEvidence& seal, const std::string& folder,
                   std::string& extraFolder) {
  const std::set<std::string> present = SetFiles(*env.files, folder, extraFolder);
  if (!extraFolder.empty() || !env.sealKeys || !seal.mac) return false;
  const std::optional<std::string> key = env.sealKeys->Key(false);
  if (!key) return false;
  const std::string mac = seal.bodyEnd
                              ? HmacSha256Hex(*key,
                                              std::string_view(seal.text).substr(0, *seal.bodyEnd),
                                              "\n}")
                              : HmacSha256Hex(*key, SealedText(seal.manifest));
  if (!SameMac(mac, *seal.mac)) return false;
  if (present.size() != seal.listed.size()) return false;
  for (const std::string& name : present) {
    if (!seal.listed.contains(name) || !seal.listed[name].is_string()) return false;
    if (FileSha256(*env.files, folder + "\\" + name) != seal.listed[name].get<std::string>())
      return false;
  }
  return true;
}

void ReadManifestSet(const ChangeEnv& env, const ChangeKinds& kinds, BackupSetInfo& set,
                     std::string text, SealCheck check) {
  nlohmann::json manifest = nlohmann::json::parse(text);
  if (!manifest.is_object() || manifest.value("format", "") != kManifestFormat)
    throw AppError("清单的格式不对");
  auto seal = std::make_shared<SealEvidence>();
  if (manifest.contains("mac")) {
    if (manifest["mac"].is_string()) seal->mac = manifest["mac"].get<std::string>();
    manifest.erase("mac");
  }
  if (!manifest.contains("items") || !manifest["items"].is_array() || !manifest.contains("files") ||
      !manifest["files"].is_object())
    throw AppError("清单不完整");
  // A file written with its seal as the last member: the seal covers its text as it stands,
  // so the items' states can be moved out of the parsed manifest instead of copied.
  if (std::optional<SealedFile> sealed = SplitSealedFile(text))
    if (seal->mac && sealed->mac == *seal->mac) seal->bodyEnd = sealed->bodyEnd;
  const bool keepManifest = !seal->bodyEnd;
  set.tool = manifest.value("tool", "");
  set.restoreOf = manifest.value("restoreOf", "");
  ChangeEnv placeEnv = env;
  placeEnv.setFolder = set.folder;
  size_t n = 0;
  for (nlohmann::json& entry : manifest["items"]) {
    ++n;
    // Named only in an error: built when one is thrown.
    auto where = [n] { return "第 " + std::to_string(n) + " 项："; };
    if (!entry.is_object() || !entry.contains("kind") || !entry["kind"].is_string() ||
        !entry.contains("place") || !entry.contains("before"))
      throw AppError(where() + "记录不完整");
    const std::string& kindName = entry["kind"].get_ref<const std::string&>();
    const ChangeKind* kind = kinds.Find(kindName);
    if (!kind) throw AppError(where() + "未知的类型 " + kindName);
    SetItem item;
    try {
      item.change = kind->fromPlace(entry["place"]);
    } catch (const std::exception& e) {
      throw AppError(where() + e.what());
    }
    if (!item.change->PlaceAllowed(placeEnv))
      throw AppError(where() + "位置不在本程序修改的范围内：" + item.change->Place());
    // A member's value, moved out of the parsed manifest when nothing needs it again.
    auto take = [&](const char* name, nlohmann::json& into) {
      const auto at = entry.find(name);
      if (at == entry.end()) return false;
      if (keepManifest) into = *at;
      else into = std::move(*at);
      return true;
    };
    auto takeText = [&](const char* name, std::string& into) {
      const auto at = entry.find(name);
      if (at == entry.end() || !at->is_string()) return false;
      if (keepManifest) into = at->get_ref<const std::string&>();
      else into = std::move(at->get_ref<std::string&>());
      return true;
    };
    if (!takeText("tool", item.tool)) item.tool = set.tool;
    item.kind = kind->name;
    takeText("caption", item.caption);
    take("before", item.before);
    if (!take("saved", item.saved)) item.saved = nlohmann::json::object();
    take("after", item.after);
    set.items.push_back(std::move(item));
  }
  seal->listed = std::move(manifest["files"]);
  if (keepManifest) {
    manifest["files"] = seal->listed;
    seal->manifest = std::move(manifest);
  }
  seal->text = std::move(text);
  if (check == SealCheck::Now) {
    std::string extraFolder;
    set.sealed = EvidenceHolds(env, *seal, set.folder, extraFolder);
    if (!extraFolder.empty()) throw AppError(kExtraFolderText + extraFolder);
  } else {
    set.sealToCheck = std::move(seal);
  }
}

}  // namespace

BackupSetInfo ReadBackupSet(const ChangeEnv& env, const ChangeKinds& kinds,
                            const std::string& folder, SealCheck check) {
  BackupSetInfo set;
  set.folder = folder;
  set.name = FolderName(folder);
  try {
    FileSystem& files = *env.files;
    // The folder is listed only when its seal is checked, or for a set of an earlier version
    // (one without a manifest).
    const std::string manifest = folder + "\\" + kBackupManifestName;
    std::optional<std::string> text;
    try {
      text = ReadAllBytes(files, manifest, 64u << 20);
    } catch (const std::exception&) {
      if (files.FileExists(manifest)) throw;
    }
    if (text) {
      ReadManifestSet(env, kinds, set, std::move(*text), check);
    } else {
      set.legacy = true;
      ReadLegacySet(env, set);
    }
  } catch (const std::exception& e) {
    set.items.clear();
    set.sealToCheck.reset();
    set.damage = std::string(kDamagedSetText) + "：" + e.what();
  }
  return set;
}

bool SealHolds(const ChangeEnv& env, const BackupSetInfo& set, std::string* damage) {
  if (!set.sealToCheck) return set.sealed;
  std::string extraFolder;
  bool holds = false;
  try {
    holds = EvidenceHolds(env, *set.sealToCheck, set.folder, extraFolder);
  } catch (const std::exception&) {
    holds = false;  // a file of the set that cannot be read: the seal cannot be shown to hold
  }
  // A folder inside the set: nothing of it may be restored, as when the set is read with its
  // seal checked at once.
  if (!extraFolder.empty() && damage)
    *damage = std::string(kDamagedSetText) + "：" + kExtraFolderText + extraFolder;
  return holds;
}

void CheckSeal(const ChangeEnv& env, BackupSetInfo& set) {
  if (!set.sealToCheck) return;
  std::string damage;
  set.sealed = SealHolds(env, set, &damage);
  set.sealToCheck.reset();
  if (!damage.empty()) {
    set.items.clear();
    set.damage = damage;
  }
}

std::string ToolTitle(const std::string& tool) {
  if (tool == "startup") return "系统启动项";
  if (tool == "browser") return "IE修复";
  if (tool == "vdrive") return "虚拟硬盘";
  return tool.empty() ? "未知" : tool;
}

}  // namespace mt
