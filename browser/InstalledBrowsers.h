// Where each installed browser's program is, from App Paths.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app/Registry.h"
#include "app/Services.h"

namespace mt {

struct InstalledBrowsers {
  std::vector<std::pair<std::string, std::string>> paths;  // exe name, full path
  // The full path of `exe` (case-insensitive), or empty when it is not installed.
  std::string PathOf(const std::string& exe) const;
};

// The browsers of the table (browser/BrowserTable.h) whose App Paths entry (the machine's,
// in both views, then the user's) names a file that exists.
InstalledBrowsers FindInstalledBrowsers(RegistryBackend& registry, FileSystem& files);

}  // namespace mt
