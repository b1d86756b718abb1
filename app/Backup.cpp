#include "app/Backup.h"

#include <cstdio>
#include <ctime>
#include <stdexcept>

#include "app/ChangeFile.h"
#include "app/ChangeRegistry.h"
#include "app/DataPlaces.h"
#include "app/SetSeal.h"
#include "app/Error.h"
#include "app/Text.h"

namespace mt {

namespace {

const char* RootName(RegRoot root) {
  switch (root) {
    case RegRoot::ClassesRoot: return "HKEY_CLASSES_ROOT";
    case RegRoot::CurrentUser: return "HKEY_CURRENT_USER";
    case RegRoot::LocalMachine: return "HKEY_LOCAL_MACHINE";
  }
  return "HKEY_LOCAL_MACHINE";
}

std::string StripLeadingSlashes(const std::string& path) {
  size_t i = 0;
  while (i < path.size() && path[i] == '\\') ++i;
  return path.substr(i);
}

}  // namespace

// Keys directly below HKLM\SOFTWARE that both views share.
bool SharedBelowSoftware(const std::string& part) {
  for (const char* shared :
       {"Classes", "Clients", "Policies", "RegisteredApplications", "WOW6432Node"})
    if (EqualsNoCase(part, shared)) return true;
  return false;
}

// Class registrations that the 32-bit view finds under WOW6432Node of the classes root.
bool RedirectedClassKey(const std::string& part) {
  for (const char* redirected :
       {"CLSID", "Interface", "DirectShow", "Media Type", "MediaFoundation"})
    if (EqualsNoCase(part, redirected)) return true;
  return false;
}

namespace {

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

// "hex:" / "hex(N):" and the bytes, two hex digits each, commas between, broken into lines
// with "\" + CRLF + two blanks once a line reaches 77 characters.
std::string HexLine(std::string line, const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  size_t column = line.size();
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    line += digits[b >> 4];
    line += digits[b & 15];
    if (i + 1 == bytes.size()) break;
    line += ',';
    column += 3;
    if (column >= 77) {
      line += "\\\r\n  ";
      column = 2;
    }
  }
  return line + "\r\n";
}

}  // namespace

std::string BackupRoot(const std::string& exeDir) {
  if (!exeDir.empty() && exeDir.back() == '\\') return exeDir + kBackupFolderName;
  return exeDir + "\\" + kBackupFolderName;
}

std::string RegFileKeyName(RegRoot root, const std::string& path, RegView view) {
  std::string p = StripLeadingSlashes(path);
  while (!p.empty() && p.back() == '\\') p.pop_back();
  if (view == RegView::Wow32) {
    std::vector<std::string> parts = Split(p, '\\');
    if (root == RegRoot::LocalMachine && parts.size() >= 2 && EqualsNoCase(parts[0], "SOFTWARE") &&
        !SharedBelowSoftware(parts[1])) {
      p = parts[0] + "\\WOW6432Node\\" + p.substr(parts[0].size() + 1);
    } else if (root == RegRoot::ClassesRoot && !parts.empty() && RedirectedClassKey(parts[0])) {
      p = "WOW6432Node\\" + p;
    }
  }
  std::string name = RootName(root);
  return p.empty() ? name : name + "\\" + p;
}

std::string RegFileValueLine(const std::string& name, const RegValue& value) {
  std::string line = name.empty() ? "@=" : Quoted(name) + "=";
  switch (value.type) {
    case RegDataType::String:
      if (value.text.find_first_of("\r\n") == std::string::npos)
        return line + Quoted(value.text) + "\r\n";
      return HexLine(line + "hex(1):", Utf16Le(value.text) + std::string(2, '\0'));
    case RegDataType::ExpandString:
      return HexLine(line + "hex(2):", Utf16Le(value.text) + std::string(2, '\0'));
    case RegDataType::Integer: {
      char digits[16];
      std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(value.dword));
      return line + "dword:" + digits + "\r\n";
    }
    case RegDataType::Binary: return HexLine(line + "hex:", value.bytes);
    case RegDataType::Other:
      return HexLine(
          line + "hex(" +
              [&] {
                char t[16];
                std::snprintf(t, sizeof t, "%x", static_cast<unsigned>(value.rawType));
                return std::string(t);
              }() +
              "):",
          value.bytes);
  }
  return line + "\r\n";
}

void RegFileText::AddKey(const std::string& keyName,
                         const std::vector<std::pair<std::string, RegValue>>& values) {
  body_ += "[" + keyName + "]\r\n";
  for (const auto& [name, value] : values) body_ += RegFileValueLine(name, value);
  body_ += "\r\n";
}

void RegFileText::AddKeyDeletion(const std::string& keyName) {
  body_ += "[-" + keyName + "]\r\n\r\n";
}

void RegFileText::AddValueDeletion(const std::string& keyName, const std::string& name) {
  body_ += "[" + keyName + "]\r\n" + (name.empty() ? std::string("@") : Quoted(name)) +
           "=-\r\n\r\n";
}

std::string RegFileText::Text() const {
  return "Windows Registry Editor Version 5.00\r\n\r\n" + body_;
}

std::string RegFileText::Bytes() const { return "\xFF\xFE" + Utf16Le(Text()); }

struct DeletionBackup::Record {
  std::unique_ptr<Change> change;
  std::string tool, caption;
  nlohmann::json before, saved, after;
  int copyIndex = -1, textIndex = -1;
};

DeletionBackup::DeletionBackup(const ChangeEnv& env, std::string dataDir, std::string tool)
    : env_(env), exeDir_(std::move(dataDir)), tool_(std::move(tool)) {}

DeletionBackup::DeletionBackup(RegistryBackend& registry, FileSystem& files, std::string dataDir)
    : exeDir_(std::move(dataDir)) {
  env_.registry = &registry;
  env_.files = &files;
}

DeletionBackup::~DeletionBackup() = default;

bool DeletionBackup::Add(std::unique_ptr<Change> change, bool keepAbsent) {
  nlohmann::json before;
  try {
    before = change->Observe(env_);
  } catch (const std::exception&) {
    return false;
  }
  return AddObserved(std::move(change), std::move(before), keepAbsent);
}

bool DeletionBackup::AddObserved(std::unique_ptr<Change> change, nlohmann::json before,
                                 bool keepAbsent) {
  auto record = std::make_unique<Record>();
  record->before = std::move(before);
  if (IsAbsent(record->before) && !keepAbsent) return true;
  record->tool = tool_;
  record->caption = caption_;
  record->saved = nlohmann::json::object();
  current_ = record.get();
  bool ok = false;
  try {
    ok = change->Save(env_, *this, record->saved);
  } catch (const std::exception&) {
    ok = false;
  }
  current_ = nullptr;
  if (!ok) return false;
  record->change = std::move(change);
  records_.push_back(std::move(record));
  return true;
}

void DeletionBackup::SaveValue(RegRoot root, RegView view, const std::string& keyPath,
                               const std::string& name) {
  Add(std::make_unique<RegistryValueChange>(root, view, keyPath, name));
}

void DeletionBackup::SaveOverwrite(RegRoot root, RegView view, const std::string& keyPath,
                                   const std::string& name) {
  const std::string path = StripLeadingSlashes(keyPath);
  RegistryBackend& registry = *env_.registry;
  if (registry.Open(root, nullptr, path, false, view)) {
    Add(std::make_unique<RegistryValueChange>(root, view, path, name), true);
    return;
  }
  // Find the outermost level that is missing; one that exists but is refused stops it.
  std::string prefix;
  std::unique_ptr<RegKey> parent;
  for (const std::string& part : Split(path, '\\')) {
    if (part.empty()) continue;
    const std::string next = prefix.empty() ? part : prefix + "\\" + part;
    auto key = registry.Open(root, nullptr, next, false, view);
    if (!key) {
      if (parent)
        for (const std::string& sub : registry.KeyNames(*parent))
          if (EqualsNoCase(sub, part)) return;
      if (!parent) return;
      auto tree = std::make_unique<RegistryTreeChange>(root, view, next);
      // Values below the same missing key share its one record: listed twice, it would be
      // offered twice in the restore window.
      for (const auto& record : records_)
        if (record->change->Kind() == tree->Kind() &&
            record->change->PlaceJson() == tree->PlaceJson())
          return;
      Add(std::move(tree), true);
      return;
    }
    parent = std::move(key);
    prefix = next;
  }
}

void DeletionBackup::SaveKey(RegRoot root, RegView view, const std::string& keyPath) {
  const std::string path = StripLeadingSlashes(keyPath);
  if (path.empty()) return;
  Add(std::make_unique<RegistryTreeChange>(root, view, path));
}

namespace {

// "name (n).ext" for the n-th file of a name.
std::string NumberedName(const std::string& base, int n) {
  const size_t dot = base.rfind('.');
  const std::string number = " (" + std::to_string(n) + ")";
  return dot == std::string::npos ? base + number : base.substr(0, dot) + number + base.substr(dot);
}

}  // namespace

bool DeletionBackup::Holds(const std::string& kind, const std::string& place) const {
  for (const auto& r : records_)
    if (r->change && r->change->Kind() == kind && EqualsNoCase(r->change->Place(), place))
      return true;
  return false;
}

void DeletionBackup::SaveFile(const std::string& path, const std::string& label) {
  Add(std::make_unique<FileChange>(path, label));
}

void DeletionBackup::AddCopy(const std::string& path) {
  const std::string trimmed = TrimControl(path);
  const std::string base = trimmed.substr(trimmed.find_last_of("\\:") + 1);
  // Two places may hold shortcuts of the same name: the later one gets a number.
  std::string name = base;
  for (int n = 2;; ++n) {
    bool taken = false;
    for (const auto& f : files_) taken = taken || EqualsNoCase(f.second, name);
    for (const Text& t : texts_) taken = taken || EqualsNoCase(t.name, name);
    taken = taken || EqualsNoCase(name, kBackupRegFileName) ||
            EqualsNoCase(name, kBackupManifestName) || EqualsNoCase(name, kBackupRestoreScriptName);
    if (!taken) break;
    name = NumberedName(base, n);
  }
  files_.emplace_back(trimmed, name);
  if (current_) current_->copyIndex = static_cast<int>(files_.size() - 1);
}

void DeletionBackup::AddText(const std::string& name, std::string bytes,
                             std::function<std::string(const std::string&)> restoreLine) {
  texts_.push_back({name, name, std::move(bytes), std::move(restoreLine)});
  if (current_) current_->textIndex = static_cast<int>(texts_.size() - 1);
}

bool DeletionBackup::Write(const std::string& stamp) {
  FileSystem& fs = *env_.files;
  const std::string root = BackupRoot(exeDir_);
  std::string folder = root + "\\" + stamp;
  // Two actions within one second get folders of their own.
  for (int n = 2; fs.DirectoryExists(folder) || fs.FileExists(folder); ++n)
    folder = root + "\\" + stamp + " (" + std::to_string(n) + ")";
  folder_ = folder;
  stamp_ = stamp;
  written_.clear();
  auto taken = [&](const std::string& name) {
    const std::string target = folder + "\\" + name;
    return fs.FileExists(target) || fs.DirectoryExists(target);
  };
  auto writeFile = [&](const std::string& name, const std::string& bytes) {
    auto out = fs.Create(folder + "\\" + name);
    if (out->Write(bytes.data(), bytes.size()) != bytes.size()) return false;
    written_.push_back(name);
    return true;
  };
  try {
    if (!fs.CreateDirectories(folder)) return false;
    if (!reg_.Empty() && !writeFile(kBackupRegFileName, reg_.Bytes())) return false;
    for (auto& [original, name] : files_) {
      // The file system has the last word on which names are the same: letters other than
      // A to Z differ in case only to the eye on Windows ("Ä.lnk" is "ä.lnk"), and a copy
      // must never replace one made before it in the same set.
      const std::string base = name;
      for (int n = 2; taken(name); ++n) name = NumberedName(base, n);
      auto in = fs.OpenRead(original);
      auto out = fs.Create(folder + "\\" + name);
      char buffer[65536];
      for (size_t n; (n = in->Read(buffer, sizeof buffer)) > 0;)
        if (out->Write(buffer, n) != n) return false;
      written_.push_back(name);
    }
    for (Text& text : texts_) {
      // Neither another text nor a copied file of the set is replaced.
      for (int n = 2; taken(text.name); ++n) text.name = NumberedName(text.asked, n);
      if (!writeFile(text.name, text.bytes)) return false;
    }
    std::string script;
    for (const Text& text : texts_)
      if (text.restoreLine) script += text.restoreLine(text.name) + "\r\n";
    if (!script.empty()) {
      // The command processor reads each line of a script in the console's code page when it
      // comes to it, so the first (plain ASCII) line sets the one the rest is written in.
      script = "@echo off\r\nchcp 936 >nul\r\n" + Utf8ToGbk(script);
      std::string name = kBackupRestoreScriptName;
      for (int n = 2; taken(name); ++n) name = NumberedName(kBackupRestoreScriptName, n);
      if (!writeFile(name, script)) return false;
    }
    for (auto& record : records_) {
      if (record->copyIndex >= 0) record->saved["copy"] = files_[record->copyIndex].second;
      if (record->textIndex >= 0) record->saved["file"] = texts_[record->textIndex].name;
    }
    return WriteManifest(false);
  } catch (const std::exception&) {
    return false;
  }
}

nlohmann::json DeletionBackup::ManifestJson(bool withAfter) {
  nlohmann::json items = nlohmann::json::array();
  for (const auto& record : records_) {
    nlohmann::json item{{"tool", record->tool},
                        {"kind", record->change->Kind()},
                        {"caption", NameJson(record->caption)["text"]},
                        {"place", record->change->PlaceJson()},
                        {"before", record->before},
                        {"saved", record->saved}};
    if (withAfter) item["after"] = record->after;
    items.push_back(std::move(item));
  }
  nlohmann::json files = nlohmann::json::object();
  for (const std::string& name : written_)
    files[name] = FileSha256(*env_.files, folder_ + "\\" + name);
  nlohmann::json manifest{{"format", kManifestFormat}, {"version", 1},
                          {"created", stamp_},         {"tool", tool_},
                          {"items", std::move(items)}, {"files", std::move(files)}};
  if (!restoreOf_.empty()) manifest["restoreOf"] = NameJson(restoreOf_)["text"];
  return manifest;
}

bool DeletionBackup::WriteManifest(bool withAfter) {
  std::string text = ManifestJson(withAfter).dump(1);
  if (env_.sealKeys)
    if (std::optional<std::string> key = env_.sealKeys->Key(true))
      text = SealedFileText(text, HmacSha256Hex(*key, CoveredText(text)));
  env_.files->WriteAll(folder_ + "\\" + kBackupManifestName, text);
  return true;
}

const nlohmann::json& DeletionBackup::Before() const {
  static const nlohmann::json none;
  return current_ ? current_->before : none;
}

bool DeletionBackup::Seal() { return Seal({}); }

bool DeletionBackup::Seal(const std::vector<const nlohmann::json*>& now) {
  if (folder_.empty()) return false;
  for (size_t i = 0; i < records_.size(); ++i) {
    Record& record = *records_[i];
    if (i < now.size() && now[i]) {
      record.after = *now[i];
      continue;
    }
    try {
      record.after = record.change->Observe(env_);
    } catch (const std::exception&) {
      record.after = nullptr;
    }
  }
  try {
    return WriteManifest(true);
  } catch (const std::exception&) {
    return false;
  }
}

std::string DeletionBackup::CopyOf(const std::string& path) const {
  for (const auto& [original, name] : files_)
    if (original == TrimControl(path) && !folder_.empty()) return folder_ + "\\" + name;
  return std::string();
}

std::string BackupStamp() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H.%M.%S", &local);
  return text;
}

void OpenBackupFolder(Services& svc, WindowRef owner) {
  const std::string folder = BackupFolder(svc.exeDir, svc.places);
  svc.files->CreateDirectories(folder);
  svc.shell->ShellOpen(owner, "open", folder, "", "", kShowNormal);
}

}  // namespace mt
