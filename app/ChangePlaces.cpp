#include "app/ChangePlaces.h"

#include <string_view>

#include "app/Path.h"
#include "app/Text.h"

namespace mt {

namespace {

// Below HKLM\SOFTWARE or HKCU\Software (and so also below SOFTWARE\WOW6432Node, which the
// 32-bit view names as the same logical path).
const char* const kSoftwarePlaces[] = {
    "Microsoft\\Windows\\CurrentVersion\\Run",
    "Microsoft\\Windows\\CurrentVersion\\RunOnce",
    "Microsoft\\Windows\\CurrentVersion\\RunOnceEx",
    "Microsoft\\Windows\\CurrentVersion\\RunServices",
    "Microsoft\\Windows\\CurrentVersion\\RunServicesOnce",
    "Microsoft\\Windows\\CurrentVersion\\Policies",
    "Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved",
    "Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
    "Microsoft\\Windows NT\\CurrentVersion\\Windows",
    // A terminal server's install-mode copies of the machine's Run keys.
    "Microsoft\\Windows NT\\CurrentVersion\\Terminal Server\\Install\\Software\\Microsoft\\"
    "Windows\\CurrentVersion\\Run",
    "Microsoft\\Windows NT\\CurrentVersion\\Terminal Server\\Install\\Software\\Microsoft\\"
    "Windows\\CurrentVersion\\RunOnce",
    "Microsoft\\Windows NT\\CurrentVersion\\Terminal Server\\Install\\Software\\Microsoft\\"
    "Windows\\CurrentVersion\\RunOnceEx",
    "Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options",
    "Microsoft\\Windows NT\\CurrentVersion\\SilentProcessExit",
    "Microsoft\\Internet Explorer",
    // The user's system proxy.
    "Microsoft\\Windows\\CurrentVersion\\Internet Settings",
    "Microsoft\\Enrollments",
    "Microsoft\\Provisioning\\OMADM\\Accounts",
    "Microsoft\\Active Setup\\Installed Components",
    // The scripts the policy client leaves for the system to run.
    "Microsoft\\Windows\\CurrentVersion\\Group Policy\\Scripts",
    "Microsoft\\Command Processor",
    // The start types the startup list switched services off from, kept to switch them on.
    "MRTKBOX\\DisabledServices",
    "Policies",
    // The browsers' external-extension keys.
    "Google\\Chrome\\Extensions",
    "Microsoft\\Edge\\Extensions",
    "Chromium\\Extensions",
    "BraveSoftware\\Brave-Browser\\Extensions",
    // The registry copies of the browsers' profile integrity entries.
    "Google\\Chrome\\PreferenceMACs",
    "Microsoft\\Edge\\PreferenceMACs",
    "Chromium\\PreferenceMACs",
    "BraveSoftware\\Brave-Browser\\PreferenceMACs",
    // Fake desktop items: the desktop's namespace entries and the classes they name.
    "Microsoft\\Windows\\CurrentVersion\\Explorer\\Desktop\\NameSpace",
    "Classes\\CLSID",
    "Classes\\WOW6432Node\\CLSID",
};

// Whether `path` starts with the whole key names of `head`, letter case aside.
bool StartsWithKeys(std::string_view path, std::string_view head) {
  return path.size() >= head.size() && EqualsNoCase(path.substr(0, head.size()), head) &&
         (path.size() == head.size() || path[head.size()] == '\\');
}

// Whether one of the key names of `path` is empty, "." or "..".
bool HasBadKeyName(std::string_view path) {
  for (size_t begin = 0;;) {
    const size_t end = path.find('\\', begin);
    const std::string_view name = path.substr(begin,
                                              end == std::string_view::npos ? end : end - begin);
    if (name.empty() || name == "." || name == "..") return true;
    if (end == std::string_view::npos) return false;
    begin = end + 1;
  }
}

// `path` past its first key names `head` and the "\\" after them (empty when nothing follows).
std::string_view PastKeys(std::string_view path, std::string_view head) {
  return path.size() > head.size() ? path.substr(head.size() + 1) : std::string_view();
}

}  // namespace

// Read for every item of every set listed: compared in place, without splitting the path.
bool RegistryPlaceAllowed(RegRoot root, const std::string& keyPath) {
  if (root == RegRoot::ClassesRoot) return false;
  std::string_view path = keyPath;
  if (HasBadKeyName(path) || !StartsWithKeys(path, "SOFTWARE")) return false;
  path = PastKeys(path, "SOFTWARE");
  if (StartsWithKeys(path, "WOW6432Node")) path = PastKeys(path, "WOW6432Node");
  if (path.empty()) return false;
  for (const char* place : kSoftwarePlaces)
    if (StartsWithKeys(path, place)) return true;
  return false;
}

bool RegistryValuePlaceAllowed(RegRoot root, const std::string& keyPath, const std::string& name) {
  if (RegistryPlaceAllowed(root, keyPath)) return true;
  // The user's environment holds PATH and the like: only the logon script may be named.
  if (root == RegRoot::CurrentUser)
    return EqualsNoCase(keyPath, "Environment") && EqualsNoCase(name, "UserInitMprLogonScript");
  if (root != RegRoot::LocalMachine) return false;
  if (!EqualsNoCase(name, "Start") && !EqualsNoCase(name, "DelayedAutostart")) return false;
  // Exactly one service's own key: a service name holds no "\\" (nor "/").
  const std::vector<std::string> parts = Split(keyPath, '\\');
  if (parts.size() != 4 || !EqualsNoCase(parts[0], "SYSTEM") ||
      !EqualsNoCase(parts[1], "CurrentControlSet") || !EqualsNoCase(parts[2], "Services"))
    return false;
  const std::string& service = parts[3];
  return !service.empty() && service != "." && service != ".." &&
         service.find('/') == std::string::npos;
}

namespace {

bool FullPathSpelling(const std::string& path) {
  const bool drive = path.size() >= 3 && path[1] == ':' && path[2] == '\\' &&
                     ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  const bool unc = path.rfind("\\\\", 0) == 0 && path.rfind("\\\\?", 0) != 0 &&
                   path.rfind("\\\\.", 0) != 0;
  return drive || unc;
}

// The parts of `path` below `folder`, or nothing when it does not lie below it.
bool Below(const std::string& folder, const std::string& path, std::vector<std::string>& rest) {
  std::string f = folder;
  while (!f.empty() && f.back() == '\\') f.pop_back();
  if (f.empty() || path.size() <= f.size() + 1 || path[f.size()] != '\\') return false;
  if (!EqualsNoCase(path.substr(0, f.size()), f)) return false;
  rest = Split(path.substr(f.size() + 1), '\\');
  return true;
}

}  // namespace

bool FilePlaceOfUser(const FilePlaceRoots& roots, const std::string& path) {
  std::vector<std::string> rest;
  for (const std::string& folder : roots.userFolders)
    if (Below(folder, path, rest)) return true;
  return false;
}

bool FilePlaceAllowed(const FilePlaceRoots& roots, const std::string& path) {
  if (!FullPathSpelling(path)) return false;
  if (path.find('/') != std::string::npos) return false;
  const std::vector<std::string> parts = Split(path.substr(path.rfind("\\\\", 0) == 0 ? 2 : 3),
                                               '\\');
  for (const std::string& part : parts) {
    if (part.empty() || part == "." || part == "..") return false;
    // Alternate data streams and device-like tails are not the files the tools change.
    if (part.find(':') != std::string::npos) return false;
  }
  for (const std::string& file : roots.machineFiles)
    if (!file.empty() && EqualsNoCase(file, path)) return true;
  std::vector<std::string> rest;
  for (const auto* list : {&roots.userFolders, &roots.machineFolders})
    for (const std::string& folder : *list)
      if (Below(folder, path, rest)) return true;
  for (const std::string& folder : roots.distributionParents) {
    if (!Below(folder, path, rest)) continue;
    if (rest.size() >= 2 && EqualsNoCase(rest[rest.size() - 2], "distribution")) return true;
    // Firefox's default settings, where a file enables its autoconfig script.
    if (rest.size() >= 3 && EqualsNoCase(rest[rest.size() - 3], "defaults") &&
        EqualsNoCase(rest[rest.size() - 2], "pref"))
      return true;
  }
  return false;
}

}  // namespace mt
