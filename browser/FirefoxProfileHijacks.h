// The home page in Firefox's profiles: a "user.js" that sets one that is not Firefox's own
// (Firefox applies it again at every start, so the user cannot change it back), and the one
// kept in "prefs.js". The repair takes out exactly that call's line, every other byte kept,
// and only while Firefox does not run (it writes prefs.js back when it closes).
#pragma once

#include <vector>

#include "browser/Hijack.h"

namespace mt {

// The findings in every profile "profiles.ini" names below the roaming application data.
std::vector<Hijack> FindFirefoxProfileHijacks(Services& svc, const InstalledBrowsers& installed);

const HijackModule& FirefoxProfileHijacks();

}  // namespace mt
