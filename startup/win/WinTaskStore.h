// The platform's Task Scheduler 2.0 (ITaskService) behind TaskStore. Every call initialises
// COM on the calling thread for its own duration and connects to the local scheduler.
#pragma once

#include "startup/ScheduledTasks.h"

namespace mt {

class WinTaskStore : public TaskStore {
 public:
  std::vector<TaskInfo> Tasks() override;
  bool SetEnabled(const std::string& path, bool enabled) override;
  std::optional<bool> Enabled(const std::string& path) override;
  std::optional<std::string> Xml(const std::string& path) override;
  bool Delete(const std::string& path) override;
  bool Register(const std::string& path, const std::string& xml) override;
};

}  // namespace mt
