// Packaged apps' start-up tasks (startup/PackagedApps.h): a row per task, named as the app
// names it, its program the task's file in the package's folder, its state the one the system
// keeps for the user. The rows are read-only: the system lets only the package itself (and
// the user in the system's own settings) switch its task, and a task is part of its package,
// so "删除" skips them and says so, and "禁用"/"启用" leave them alone.
#pragma once

#include "startup/StartupFamily.h"

namespace mt {

const StartupFamily& PackagedAppFamily();

}  // namespace mt
