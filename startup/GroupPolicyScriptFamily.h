// Group Policy's scripts: the computer's start-up scripts (HKLM) and the user's logon scripts
// (HKCU), as the policy client leaves them for the system to run, below
// ...\CurrentVersion\Group Policy\Scripts\Startup (or \Logon): a key per policy object ("0",
// "1"...) holding its folder (FileSysPath), and below it a key per script with "Script" and
// "Parameters". A row per script whose Script is text and not blank, named by its two keys
// ("0\1"); a Script without a folder is taken from the policy's own folder,
// <FileSysPath>\Scripts\Startup (or \Logon). Every key present is read: a missing index
// leaves no gap in the list. "删除" removes the script's key, saved whole first. No on/off
// record: "禁用"/"启用" leave them alone.
#pragma once

#include <string>

#include "startup/StartupFamily.h"

namespace mt {

inline constexpr const char* kGroupPolicyScriptsKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Group Policy\\Scripts";

// The command line a script runs: its path (from the policy's folder when relative; quoted
// when it holds a blank) and its parameters.
std::string GroupPolicyScriptCommand(const std::string& fileSysPath, const std::string& kind,
                                     const std::string& script, const std::string& parameters);

const StartupFamily& GroupPolicyScriptFamily();

}  // namespace mt
