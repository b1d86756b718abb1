// The browsers the tab knows by their program file: the name rows use for each and the
// names its own shortcuts carry.
#pragma once

#include <string>
#include <vector>

namespace mt {

struct KnownBrowser {
  const char* exe;
  const char* name;
  std::vector<const char*> shortcutNames;
};
extern const std::vector<KnownBrowser> kKnownBrowsers;

// The browser whose program file `exeName` is (case-insensitive), or null.
const KnownBrowser* BrowserByExe(const std::string& exeName);

}  // namespace mt
