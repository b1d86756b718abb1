// Packaged apps' start-up tasks (startup/PackagedApps.h): a row per task, named as the app
// names it, its program the task's file in the package's folder, its state the one the system
// keeps for the user. The rows are read-only: the system lets only the package itself (and
// the user in the system's own settings) switch its task, and a task is part of its package,
// so "删除" skips them and says so, and "禁用"/"启用" leave them alone.
#pragma once

#include "startup/StartupFamily.h"

namespace mt {

// Told for ticked rows of packaged apps' tasks "删除" leaves alone.
inline constexpr const char* kPackagedNotDeletedText =
    "打包应用的启动任务只能在应用自己或系统设置的“启动应用”中开关，以下项目没有删除：";

const StartupFamily& PackagedAppFamily();

}  // namespace mt
