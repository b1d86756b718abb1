// Lines of the hosts file that send a well-known search, browser, update or security site
// (browser/HostsText.h) to an address of their own: a redirection, or, to 0.0.0.0 or the
// machine itself, a block (often the user's own). Each such line is a row; the repair takes
// the line out of the file (or only its well-known names, when it names others too) and
// leaves every other byte, the file's read-only mark included, as it was.
#pragma once

#include <vector>

#include "browser/Hijack.h"

namespace mt {

// Files larger than this are not read: a row says so.
inline constexpr uint64_t kHostsReadLimit = 64ull << 20;

std::vector<Hijack> FindHostsHijacks(Services& svc);

const HijackModule& HostsHijacks();

}  // namespace mt
