#include "browser/InstalledBrowsers.h"

#include "app/Text.h"
#include "browser/BrowserTable.h"

namespace mt {
namespace {

constexpr const char* kAppPathsKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";

}  // namespace

std::string InstalledBrowsers::PathOf(const std::string& exe) const {
  for (const auto& [name, path] : paths)
    if (EqualsNoCase(name, exe)) return path;
  return std::string();
}

InstalledBrowsers FindInstalledBrowsers(RegistryBackend& registry, FileSystem& files) {
  InstalledBrowsers found;
  const std::pair<RegRoot, RegView> places[] = {{RegRoot::LocalMachine, RegView::Native},
                                                {RegRoot::LocalMachine, RegView::Wow32},
                                                {RegRoot::CurrentUser, RegView::Native}};
  for (const KnownBrowser& b : kKnownBrowsers) {
    for (const auto& [root, view] : places) {
      auto key = registry.Open(root, nullptr, std::string(kAppPathsKey) + "\\" + b.exe, false,
                               view);
      if (!key) continue;
      auto v = registry.Query(*key, "");
      if (!v || (v->type != RegDataType::String && v->type != RegDataType::ExpandString)) continue;
      std::string path = TrimControl(v->text);
      if (path.size() >= 2 && path.front() == '"' && path.back() == '"')
        path = path.substr(1, path.size() - 2);
      bool exists = false;
      try {
        exists = !path.empty() && files.FileExists(path);
      } catch (const std::exception&) {
      }
      if (exists) {
        found.paths.emplace_back(b.exe, path);
        break;
      }
    }
  }
  return found;
}

}  // namespace mt
