// Image hijacks ("映像劫持"): programs the system starts instead of another program file
// (Image File Execution Options "Debugger") or when it ends (SilentProcessExit
// "MonitorProcess"), read through app/ImageHijacks.h in both registry views. A row per entry:
// the program file as its name, the program started in its place as its location. "删除"
// deletes the values that start it, saved in the backup set first. The system keeps no on/off
// record for them: the rows show as started, and "禁用"/"启用" leave them alone.
#pragma once

#include "startup/StartupFamily.h"

namespace mt {

const StartupFamily& ImageHijackFamily();

}  // namespace mt
