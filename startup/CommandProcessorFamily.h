// The command processor's AutoRun value (HKLM in both registry views, HKCU): a command
// cmd.exe runs every time it starts, unless started with /d. A row per such value that is
// text and not blank, named "AutoRun"; "删除" removes the value, saved in the backup set
// first. The system keeps no on/off record for it: "禁用"/"启用" leave it alone.
#pragma once

#include "startup/StartupFamily.h"

namespace mt {

inline constexpr const char* kCommandProcessorKeyPath = "SOFTWARE\\Microsoft\\Command Processor";
inline constexpr const char* kAutoRunValue = "AutoRun";

const StartupFamily& CommandProcessorFamily();

}  // namespace mt
