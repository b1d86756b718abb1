#include "startup/TaskFamily.h"

#include <memory>

#include "app/Backup.h"
#include "startup/TaskChange.h"

namespace mt {

namespace {

using S = StartupSource;

class Family : public StartupFamily {
 public:
  std::vector<StartupSource> Sources() const override { return {S::ScheduledTask}; }
  std::string SourceText(StartupSource) const override { return kScheduledTaskSourceText; }
  bool MachineWide(StartupSource) const override { return true; }

  void List(const StartupContext& ctx, StartupView& view, StartupSource) const override {
    if (ctx.svc.tasks) ListTaskRows(view, ctx.svc.tasks->Tasks());
  }
  bool ReadsAhead(const StartupContext& ctx) const override { return ctx.svc.tasks != nullptr; }
  std::function<void(StartupView&)> ReadAhead(const StartupContext& ctx) const override {
    std::vector<TaskInfo> tasks = ctx.svc.tasks->Tasks();
    return [tasks = std::move(tasks)](StartupView& view) { ListTaskRows(view, tasks); };
  }

  bool SaveForDeletion(const StartupContext& ctx, DeletionBackup& backup,
                       const StartupRow& row) const override {
    // Without its definition a deleted task could not be brought back.
    if (!ctx.svc.tasks || !ctx.svc.tasks->Xml(row.name)) return false;
    return backup.Add(std::make_unique<TaskChange>(row.name));
  }
  bool Delete(const StartupContext& ctx, const StartupRow& row) const override {
    return ctx.svc.tasks && ctx.svc.tasks->Delete(row.name);
  }

  bool Switchable(StartupSource) const override { return true; }
  bool SaveForSwitch(const StartupContext& ctx, DeletionBackup& backup,
                     const StartupRow& row) const override {
    // A task the scheduler no longer knows has no state to save (and cannot be switched).
    if (!ctx.svc.tasks || !ctx.svc.tasks->Enabled(row.name)) return false;
    return backup.Add(std::make_unique<TaskEnabledChange>(row.name));
  }
  bool Switch(const StartupContext& ctx, const StartupRow& row, bool enabled,
              uint64_t) const override {
    return ctx.svc.tasks && ctx.svc.tasks->SetEnabled(row.name, enabled);
  }
};

}  // namespace

void ListTaskRows(StartupView& view, const std::vector<TaskInfo>& tasks) {
  for (const TaskInfo& task : tasks)
    if (IsStartupTask(task))
      view.Append({task.path, TaskCommandLine(task), S::ScheduledTask, false, task.enabled});
}

const StartupFamily& TaskFamily() {
  static const Family family;
  return family;
}

}  // namespace mt
