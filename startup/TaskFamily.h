// The scheduled tasks with a log-on or boot trigger, as "计划任务" rows named by the task's
// path. The scheduler answers slowly, so the list reads it on a thread of its own. "删除"
// saves the exported definition first (TaskChange); "禁用"/"启用" switch the task in the
// scheduler, its state saved first (TaskEnabledChange).
#pragma once

#include <vector>

#include "startup/ScheduledTasks.h"
#include "startup/StartupFamily.h"

namespace mt {

// Appends a row per task that starts at log-on or boot.
void ListTaskRows(StartupView& view, const std::vector<TaskInfo>& tasks);

const StartupFamily& TaskFamily();

}  // namespace mt
