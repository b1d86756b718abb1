// The settings the browsers built on Chromium keep in each profile: a home page, start-up
// pages or a default search engine that are not the browser's own, and extensions installed
// from anywhere but the store. The repair takes the value out with every integrity entry
// kept for it (in the files and in the registry), so the browser falls back to its default;
// it never computes an integrity entry, and only runs while that browser does not.
#pragma once

#include <vector>

#include "browser/ChromiumProfiles.h"
#include "browser/Hijack.h"

namespace mt {

// The findings in every profile of every browser of kChromiumBrowsers whose "User Data"
// exists below `roamingAppData` or `localAppData`.
std::vector<Hijack> FindChromiumProfileHijacks(Services& svc, const InstalledBrowsers& installed);

// How an extension's recorded install location reads in a row; empty for the store and the
// browser's own parts (which are not listed).
std::string ExtensionLocationText(int location);

const HijackModule& ChromiumProfileHijacks();

}  // namespace mt
