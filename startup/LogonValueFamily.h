// Single named values the system starts a program from at log-on, beside the Run keys:
// Winlogon's "VmApplet", "TaskMan" and "AppSetup" (HKLM in both registry views), the user's
// own Winlogon "Shell", the policy's "Shell" (HKLM and HKCU ...\Policies\System) and the
// user's logon script (HKCU\Environment "UserInitMprLogonScript"). A row per such value that
// is text, not blank and not what the system has there itself. "删除" saves the value in the
// backup set first, then writes the system's own command back where the system has one
// ("VmApplet") and removes the value otherwise. The system keeps no on/off record for them:
// "禁用"/"启用" leave them alone.
#pragma once

#include <string>

#include "app/Registry.h"
#include "startup/StartupFamily.h"

namespace mt {

inline constexpr const char* kWinlogonKey =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
inline constexpr const char* kPolicySystemKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
inline constexpr const char* kEnvironmentKey = "Environment";
inline constexpr const char* kLogonScriptValue = "UserInitMprLogonScript";
// What Windows (Vista and later) has in Winlogon's "VmApplet": the page-file settings, shown
// when the system finds no page file at log-on.
inline constexpr const char* kDefaultVmApplet = "SystemPropertiesPerformance.exe /pagefile";

// One value of a place and the system's own data for it.
struct LogonValue {
  const char* name;
  // Data the system itself keeps there (compared without letter case, blanks at the ends
  // left out): no row. Null-terminated; may be empty.
  const char* const* own;
  // What "删除" writes back; null: the value is removed.
  const char* writeBack;
};

// True when `data` is what the system keeps in that value itself.
bool IsOwnLogonValue(const LogonValue& value, const std::string& data);

const StartupFamily& LogonValueFamily();

}  // namespace mt
