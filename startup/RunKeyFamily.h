// The registry places of the startup list: the Run keys (the machine's in both registry
// views, the user's), RunOnce, RunOnceEx, the policy Run lists, the terminal server's
// install-mode Run, RunOnce and RunOnceEx, the Windows key's "Load" and
// "Run" values and Winlogon's "Shell" and "Userinit". One table names them all; each place's
// kind says how its rows are read and deleted. A deleted row's value is saved in the backup
// set first; "禁用"/"启用" write the system's own on/off record (StartupApproved.h) for the
// places that have one.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/Registry.h"
#include "startup/StartupFamily.h"

namespace mt {

// Key of both Run keys (below HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER).
inline constexpr const char* kRunKeyPath = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
// Below HKEY_LOCAL_MACHINE (and for RunOnce, HKEY_CURRENT_USER as well).
inline constexpr const char* kRunOnceKeyPath =
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr const char* kRunOnceExKeyPath =
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx";
inline constexpr const char* kPolicyRunKeyPath =
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";
inline constexpr const char* kWindowsKeyPath =
    "\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
inline constexpr const char* kWinlogonKeyPath =
    "\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
// The install-mode copies of the machine's Run, RunOnce and RunOnceEx keys, which a terminal
// server runs at each user's log-on.
inline constexpr const char* kTerminalRunPath =
    "\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Terminal Server\\Install\\Software\\"
    "Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kTerminalRunOncePath =
    "\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Terminal Server\\Install\\Software\\"
    "Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr const char* kTerminalRunOnceExPath =
    "\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Terminal Server\\Install\\Software\\"
    "Microsoft\\Windows\\CurrentVersion\\RunOnceEx";
// What the system starts when Winlogon's values are left alone.
inline constexpr const char* kDefaultShell = "explorer.exe";
inline constexpr const char* kUserinitTail = "\\system32\\userinit.exe,";

// How the rows of a registry place are read and deleted.
enum class PlaceKind {
  RunList,    // every value is a command; a value that is not text ends the refresh
  ValueList,  // every text value is a command; other values are not started and not listed
  RunOnceEx,  // every text value of every subkey
  Named,      // only the named values (the Windows key's "Load" and "Run"), when not blank
  Winlogon,   // "Shell" and "Userinit" when they differ from the default; deleting restores it
};

// One registry place of the startup list.
struct RegistryPlace {
  StartupSource source;
  RegRoot root;
  RegView view;
  const char* path;  // from the root, with the leading "\"
  PlaceKind kind;
  const char* text;  // the "来源" column's words
};

// The registry place of a row source; null for the sources of other families.
const RegistryPlace* RegistryPlaceOf(StartupSource source);

// Appends the rows of one registry place by the rules of its kind. A Run value that is not
// text throws "Invalid data type for '%s'" with that value's row listed without a location.
void ListRegistryPlace(const StartupContext& ctx, StartupView& view, const RegistryPlace& place);
// Winlogon's own value for "Shell" or "Userinit" (empty for another name).
std::string WinlogonDefault(StartupPlaces& places, const std::string& name);
// True when `data` is what the system uses for that Winlogon value anyway.
bool IsWinlogonDefault(StartupPlaces& places, const std::string& name, const std::string& data);

// Where a registry row's value lives: the key below the place (a RunOnceEx section, named by
// the row's name up to its first "\": a value's own name may hold "\") and the value's name.
struct ValueOfRow {
  std::string keyPath;  // from the root, with the leading "\"
  std::string name;
};
ValueOfRow ValueOf(const RegistryPlace& place, const StartupRow& row);

const StartupFamily& RunKeyFamily();

}  // namespace mt
