// Active Setup's components (HKLM ...\Microsoft\Active Setup\Installed Components\*, in both
// registry views): the system runs a component's "StubPath" once for each user at log-on.
// A row per component whose StubPath is text and not blank, named by the component's key;
// a component without one runs nothing and is not listed. "删除" removes the component's
// key, saved whole in the backup set first. No on/off record: "禁用"/"启用" leave them alone.
#pragma once

#include "startup/StartupFamily.h"

namespace mt {

inline constexpr const char* kActiveSetupKey =
    "SOFTWARE\\Microsoft\\Active Setup\\Installed Components";

const StartupFamily& ActiveSetupFamily();

}  // namespace mt
