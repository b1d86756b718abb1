// Firefox's "distribution\policies.json" beside its program, when it sets the pages, the
// search engine or extensions.
#pragma once

#include <vector>

#include "browser/Hijack.h"

namespace mt {

// The most bytes of policies.json the tab reads; a larger file gives a row of its own.
inline constexpr size_t kMaxPoliciesJson = 1024 * 1024;

// "distribution\policies.json" beside each installed firefox.exe, when it sets a home page,
// start page, new-tab page, search engine or extensions.
std::vector<Hijack> FindFirefoxPolicies(FileSystem& files, const InstalledBrowsers& installed);

const HijackModule& FirefoxPolicyHijacks();

}  // namespace mt
