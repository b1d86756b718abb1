// A scheduled task the startup list deletes: its definition kept in the set as the file the
// scheduler exports (which "恢复计划任务.cmd" registers again by hand), and registered again
// from that file by the restore, with the principal it was saved with (the definition names
// it; the restore never gives another).
#pragma once

#include <memory>
#include <string>

#include "app/Change.h"

namespace mt {

inline constexpr const char* kScheduledTaskKind = "scheduled-task";
inline constexpr const char* kScheduledTaskEnabledKind = "scheduled-task-enabled";

class TaskChange : public Change {
 public:
  explicit TaskChange(std::string path);
  static std::unique_ptr<TaskChange> FromPlace(const nlohmann::json& place);

  std::string Kind() const override { return kScheduledTaskKind; }
  bool MachineWide(const ChangeEnv&) const override { return true; }
  std::string Place() const override { return "计划任务 " + path_; }
  nlohmann::json PlaceJson() const override;
  // {"principal", "runLevel", "command"} of the registered definition.
  nlohmann::json Observe(const ChangeEnv& env) const override;
  bool Save(const ChangeEnv& env, DeletionBackup& set, nlohmann::json& saved) override;
  void Restore(const ChangeEnv& env, const nlohmann::json& before,
               const nlohmann::json& saved) override;
  std::string DescribeState(const nlohmann::json& state) const override;
  bool PlaceAllowed(const ChangeEnv& env) const override;
  std::unique_ptr<Change> AtSamePlace() const override;

 private:
  std::string path_;
};

// Whether a scheduled task is switched on, as "禁用"/"启用" of the startup list change it: the
// restore switches it back in the scheduler. The task itself stays: a task gone since is
// not made again from this record.
class TaskEnabledChange : public Change {
 public:
  explicit TaskEnabledChange(std::string path);
  static std::unique_ptr<TaskEnabledChange> FromPlace(const nlohmann::json& place);

  std::string Kind() const override { return kScheduledTaskEnabledKind; }
  bool MachineWide(const ChangeEnv&) const override { return true; }
  std::string Place() const override { return "计划任务 " + path_ + "（启用状态）"; }
  nlohmann::json PlaceJson() const override;
  // {"enabled": true|false}, or absent when there is no such task.
  nlohmann::json Observe(const ChangeEnv& env) const override;
  bool Save(const ChangeEnv& env, DeletionBackup& set, nlohmann::json& saved) override;
  void Restore(const ChangeEnv& env, const nlohmann::json& before,
               const nlohmann::json& saved) override;
  std::string DescribeState(const nlohmann::json& state) const override;
  bool PlaceAllowed(const ChangeEnv& env) const override;
  std::unique_ptr<Change> AtSamePlace() const override;

 private:
  std::string path_;
};

// The state Observe records of a definition.
nlohmann::json TaskState(const std::string& xml);

}  // namespace mt
