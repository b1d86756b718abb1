// The current user's system proxy (Internet Settings: ProxyEnable with ProxyServer, and
// AutoConfigURL): every browser that follows the system's settings goes through it. A proxy
// may be the user's own choice (a company proxy, a VPN or accelerator on this machine), so
// the row names the proxy and, for one on this machine, the proxy program seen running.
#pragma once

#include <string>
#include <vector>

#include "browser/Hijack.h"

namespace mt {

inline constexpr const char* kInternetSettingsKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// True when every server a ProxyServer value or a script address names is this machine
// (localhost, 127.0.0.0/8, ::1): "127.0.0.1:7890", "http=localhost:8080;https=[::1]:8080",
// "http://127.0.0.1:1080/pac".
bool LocalProxy(const std::string& servers);

std::vector<Hijack> FindProxyHijacks(Services& svc);

const HijackModule& ProxyHijacks();

}  // namespace mt
