// Firefox's autoconfig: a file in the install folder's "defaults\pref" that sets
// "general.config.filename" makes Firefox run the named file of the install folder (".cfg")
// at every start, and a cfg that sets the home page there sets it for every profile, locked
// with lockPref. The repair takes out what enables the cfg, never the cfg itself: the cfg is
// a script that a cut could leave broken (Firefox then refuses to start), while without the
// enabling setting Firefox does not read it at all. The enabling file goes whole when it
// holds nothing but autoconfig settings (the usual "autoconfig.js"); when it also holds other
// settings (a "channel-prefs.js" with the update channel), only its line that names the cfg.
#pragma once

#include <vector>

#include "browser/Hijack.h"

namespace mt {

// The cfg files enabled from the installed Firefox's "defaults\pref" that set a home page
// that is not Firefox's own: one row per enabling file.
std::vector<Hijack> FindFirefoxAutoconfigHijacks(Services& svc, const InstalledBrowsers& installed);

const HijackModule& FirefoxAutoconfigHijacks();

}  // namespace mt
