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

// The set's files other than the manifest, from the folder's listing.
std::set<std::string> SetFiles(const std::vector<FindEntry>& listing) {
  std::set<std::string> names;
  for (const FindEntry& entry : listing) {
    if (entry.isDirectory) throw AppError("备份中有多余的文件夹：" + entry.name);
    if (entry.name != kBackupManifestName) names.insert(entry.name);
  }
  return names;
}

}  // namespace

struct SealEvidence {
  std::optional<std::string> mac;  // the seal the manifest carried
  std::string covered;             // the text it covers, when the file was laid out for that
  nlohmann::json manifest;         // the manifest with the seal taken out
  std::set<std::string> files;     // the set's files other than the manifest
};

namespace {

// Checks the seal: every file listed with its digest, no file more, the MAC right.
bool EvidenceHolds(const ChangeEnv& env, const SealEvidence& seal, const std::string& folder) {
  if (!env.sealKeys || !seal.mac) return false;
  const std::optional<std::string> key = env.sealKeys->Key(false);
  if (!key) return false;
  const std::string covered = seal.covered.empty() ? SealedText(seal.manifest) : seal.covered;
  if (!SameMac(HmacSha256Hex(*key, covered), *seal.mac)) return false;
  const nlohmann::json& listed = seal.manifest["files"];
  if (seal.files.size() != listed.size()) return false;
  for (const std::string& name : seal.files) {
    if (!listed.contains(name) || !listed[name].is_string()) return false;
    if (FileSha256(*env.files, folder + "\\" + name) != listed[name].get<std::string>())
      return false;
  }
  return true;
}

void ReadManifestSet(const ChangeEnv& env, const ChangeKinds& kinds, BackupSetInfo& set,
                     const std::string& text, const std::vector<FindEntry>& listing,
                     SealCheck check) {
  nlohmann::json manifest = nlohmann::json::parse(text);
  if (!manifest.is_object() || manifest.value("format", "") != kManifestFormat)
    throw AppError("清单的格式不对");
  // The seal comes out of the manifest here, so that the text it covers is dumped without a
  // copy of the whole manifest.
  std::optional<std::string> mac;
  if (manifest.contains("mac")) {
    if (manifest["mac"].is_string()) mac = manifest["mac"].get<std::string>();
    manifest.erase("mac");
  }
  if (!manifest.contains("items") || !manifest["items"].is_array() || !manifest.contains("files") ||
      !manifest["files"].is_object())
    throw AppError("清单不完整");
  set.tool = manifest.value("tool", "");
  set.restoreOf = manifest.value("restoreOf", "");
  ChangeEnv placeEnv = env;
  placeEnv.setFolder = set.folder;
  size_t n = 0;
  for (const nlohmann::json& entry : manifest["items"]) {
    ++n;
    const std::string where = "第 " + std::to_string(n) + " 项：";
    if (!entry.is_object() || !entry.contains("kind") || !entry["kind"].is_string() ||
        !entry.contains("place") || !entry.contains("before"))
      throw AppError(where + "记录不完整");
    const ChangeKind* kind = kinds.Find(entry["kind"].get<std::string>());
    if (!kind) throw AppError(where + "未知的类型 " + entry["kind"].get<std::string>());
    SetItem item;
    try {
      item.change = kind->fromPlace(entry["place"]);
    } catch (const std::exception& e) {
      throw AppError(where + e.what());
    }
    if (!item.change->PlaceAllowed(placeEnv))
      throw AppError(where + "位置不在本程序修改的范围内：" + item.change->Place());
    item.tool = entry.value("tool", set.tool);
    item.kind = kind->name;
    item.caption = entry.value("caption", "");
    item.before = entry["before"];
    item.saved = entry.value("saved", nlohmann::json::object());
    item.after = entry.contains("after") ? entry["after"] : nlohmann::json();
    set.items.push_back(std::move(item));
  }
  auto seal = std::make_shared<SealEvidence>();
  seal->files = SetFiles(listing);  // a folder inside the set damages it, checked or not
  // A file written with its seal as the last member: the seal covers its text as it stands.
  if (std::optional<SealedFile> sealed = SplitSealedFile(text))
    if (mac && sealed->mac == *mac) seal->covered = std::move(sealed->covered);
  seal->mac = std::move(mac);
  seal->manifest = std::move(manifest);
  if (check == SealCheck::Now) set.sealed = EvidenceHolds(env, *seal, set.folder);
  else set.sealToCheck = std::move(seal);
}

}  // namespace

BackupSetInfo ReadBackupSet(const ChangeEnv& env, const ChangeKinds& kinds,
                            const std::string& folder, SealCheck check) {
  BackupSetInfo set;
  set.folder = folder;
  set.name = FolderName(folder);
  try {
    FileSystem& files = *env.files;
    // One listing of the folder tells whether the set has a manifest and, for the seal,
    // which files it holds.
    const std::vector<FindEntry> listing = files.Find(folder, "*");
    const bool hasManifest = std::any_of(listing.begin(), listing.end(), [](const FindEntry& e) {
      return !e.isDirectory && e.name == kBackupManifestName;
    });
    if (hasManifest) {
      ReadManifestSet(env, kinds, set,
                      ReadAllBytes(files, folder + "\\" + kBackupManifestName, 64u << 20), listing,
                      check);
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

bool SealHolds(const ChangeEnv& env, const BackupSetInfo& set) {
  if (!set.sealToCheck) return set.sealed;
  try {
    return EvidenceHolds(env, *set.sealToCheck, set.folder);
  } catch (const std::exception&) {
    return false;  // a file of the set that cannot be read: the seal cannot be shown to hold
  }
}

void CheckSeal(const ChangeEnv& env, BackupSetInfo& set) {
  if (!set.sealToCheck) return;
  set.sealed = SealHolds(env, set);
  set.sealToCheck.reset();
}

std::string ToolTitle(const std::string& tool) {
  if (tool == "startup") return "系统启动项";
  if (tool == "browser") return "IE修复";
  if (tool == "vdrive") return "虚拟硬盘";
  return tool.empty() ? "未知" : tool;
}

}  // namespace mt
