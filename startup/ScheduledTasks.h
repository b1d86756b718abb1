// Scheduled tasks that start a program when a user logs on or when the machine starts, as the
// platform's Task Scheduler keeps them: read, switched off and on, saved and deleted through a
// TaskStore, so that the rules run natively on a stand-in.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace mt {

// The source text of a scheduled task's row.
inline constexpr const char* kScheduledTaskSourceText = "计划任务";

// What the store says of one registered task.
struct TaskInfo {
  std::string path;  // "\Folder\Name", from the root folder
  bool enabled = true;
  bool logonTrigger = false;  // TASK_TRIGGER_LOGON
  bool bootTrigger = false;   // TASK_TRIGGER_BOOT
  struct Exec {
    std::string program;  // IExecAction::Path, as written (may hold %VAR% and quotes)
    std::string arguments;
  };
  std::vector<Exec> actions;  // the exec actions, in order (other kinds are left out)
};

// The Task Scheduler, as the startup list sees it. Paths are the tasks' full paths.
class TaskStore {
 public:
  virtual ~TaskStore() = default;
  // Every task of every folder, below the root folder too. Empty when the scheduler cannot
  // be reached.
  virtual std::vector<TaskInfo> Tasks() = 0;
  // Switches the task on or off the way the Task Scheduler's own "Disable" does.
  virtual bool SetEnabled(const std::string& path, bool enabled) = 0;
  // Whether the task is switched on; none when there is no such task.
  virtual std::optional<bool> Enabled(const std::string& path) = 0;
  // The task's definition as the scheduler exports it; none when there is no such task.
  virtual std::optional<std::string> Xml(const std::string& path) = 0;
  virtual bool Delete(const std::string& path) = 0;
  // Registers the definition `xml` under `path` (creating or replacing it), folders made as
  // needed.
  virtual bool Register(const std::string& path, const std::string& xml) = 0;
};

// Reads the triggers and exec actions of a task from its XML definition (the text get_Xml
// gives, the file schtasks writes): a LogonTrigger or BootTrigger element below Triggers, and
// each Exec below Actions with its Command and Arguments, entities decoded. Elements are
// matched by their local name, so a namespace prefix does not matter.
void ReadTaskXml(const std::string& xml, TaskInfo& task);

// True for the tasks the startup list shows: a log-on or boot trigger and a program to run.
bool IsStartupTask(const TaskInfo& task);
// The command line a task's row shows: each exec action's program (quoted when it holds a
// blank and is not quoted yet) and its arguments; several actions joined by " & ".
std::string TaskCommandLine(const TaskInfo& task);
// The file name of a task's saved definition in a backup set: the task's name with the
// characters a file name cannot hold replaced by "_", then ".xml".
std::string TaskBackupFileName(const std::string& path);
// The definition as a file that `schtasks /create /xml` reads: UTF-16LE with a byte-order
// mark.
std::string TaskXmlFileBytes(const std::string& xml);
// The line of the backup set's restore script that registers the saved definition `fileName`
// (beside the script) again under the task's path.
std::string TaskRestoreLine(const std::string& fileName, const std::string& path);

}  // namespace mt
