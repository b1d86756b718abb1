#include "startup/TaskChange.h"

#include "app/Backup.h"
#include "app/Error.h"
#include "app/Text.h"
#include "startup/ScheduledTasks.h"

namespace mt {

namespace {

// The text of the first element named `name`, with or without a namespace prefix.
std::string ElementText(const std::string& xml, const std::string& name) {
  size_t start = xml.find("<" + name + ">");
  if (start != std::string::npos) {
    start += name.size() + 2;
  } else {
    for (size_t at = xml.find(":" + name + ">"); at != std::string::npos;
         at = xml.find(":" + name + ">", at + 1)) {
      const size_t open = xml.rfind('<', at);
      if (open == std::string::npos || xml[open + 1] == '/') continue;
      if (xml.substr(open + 1, at - open - 1).find_first_of(" /\t") != std::string::npos) continue;
      start = at + name.size() + 2;
      break;
    }
    if (start == std::string::npos) return std::string();
  }
  const size_t end = xml.find('<', start);
  return end == std::string::npos ? std::string() : TrimControl(xml.substr(start, end - start));
}

}  // namespace

nlohmann::json TaskState(const std::string& xml) {
  TaskInfo task;
  ReadTaskXml(xml, task);
  std::string principal = ElementText(xml, "UserId");
  if (principal.empty()) principal = ElementText(xml, "GroupId");
  return nlohmann::json{{"principal", NameJson(principal)["text"]},
                        {"runLevel", ElementText(xml, "RunLevel")},
                        {"command", NameJson(TaskCommandLine(task))["text"]}};
}

TaskChange::TaskChange(std::string path) : path_(std::move(path)) {}

std::unique_ptr<TaskChange> TaskChange::FromPlace(const nlohmann::json& place) {
  if (!place.is_object() || !place.contains("path")) throw AppError("计划任务位置不完整");
  return std::make_unique<TaskChange>(NameFromJson(place["path"]));
}

nlohmann::json TaskChange::PlaceJson() const { return nlohmann::json{{"path", NameJson(path_)}}; }

nlohmann::json TaskChange::Observe(const ChangeEnv& env) const {
  if (!env.tasks) throw AppError("无法连接任务计划程序");
  const std::optional<std::string> xml = env.tasks->Xml(path_);
  return xml ? TaskState(*xml) : AbsentState();
}

bool TaskChange::Save(const ChangeEnv& env, DeletionBackup& set, nlohmann::json&) {
  // A task that is not there (what a restore finds before it registers a deleted task again)
  // needs nothing kept: taking that restore back deletes the task.
  if (IsAbsent(set.Before())) return true;
  // Without its definition a deleted task could not be brought back.
  const std::optional<std::string> xml = env.tasks ? env.tasks->Xml(path_) : std::nullopt;
  if (!xml) return false;
  const std::string path = path_;
  set.AddText(TaskBackupFileName(path_), TaskXmlFileBytes(*xml),
              [path](const std::string& saved) { return TaskRestoreLine(saved, path); });
  return true;
}

void TaskChange::Restore(const ChangeEnv& env, const nlohmann::json& before,
                         const nlohmann::json& saved) {
  if (!env.tasks) throw AppError("无法连接任务计划程序");
  if (IsAbsent(before)) {
    if (env.tasks->Xml(path_) && !env.tasks->Delete(path_))
      throw AppError("拒绝访问：计划任务 " + path_);
    return;
  }
  const std::string name = saved.value("file", "");
  if (name.empty() || name.find_first_of("\\/:") != std::string::npos)
    throw AppError("备份中没有这个任务的定义");
  std::string bytes = ReadAllBytes(*env.files, env.setFolder + "\\" + name);
  if (bytes.rfind("\xFF\xFE", 0) == 0) bytes.erase(0, 2);
  const std::string xml = FromUtf16Le(bytes);
  // The file must be the definition the set recorded: the same principal and program.
  if (TaskState(xml) != before) throw AppError("备份中的任务定义与记录不符");
  if (!env.tasks->Register(path_, xml)) throw AppError("任务计划程序拒绝了注册：" + path_);
}

std::string TaskChange::DescribeState(const nlohmann::json& state) const {
  if (IsAbsent(state)) return "（不存在）";
  return "运行 " + state.value("command", "") + "，身份 " + state.value("principal", "") +
         (state.value("runLevel", "").empty() ? "" : "，" + state.value("runLevel", ""));
}

namespace {

// A task's full path: "\Folder\Name", no empty, "." or ".." parts.
bool TaskPathAllowed(const std::string& path) {
  if (path.size() < 2 || path[0] != '\\') return false;
  for (const std::string& part : Split(path.substr(1), '\\'))
    if (part.empty() || part == "." || part == "..") return false;
  return path.find('/') == std::string::npos;
}

}  // namespace

bool TaskChange::PlaceAllowed(const ChangeEnv&) const { return TaskPathAllowed(path_); }

std::unique_ptr<Change> TaskChange::AtSamePlace() const {
  return std::make_unique<TaskChange>(path_);
}

// ---- the on/off state -------------------------------------------------------------------

TaskEnabledChange::TaskEnabledChange(std::string path) : path_(std::move(path)) {}

std::unique_ptr<TaskEnabledChange> TaskEnabledChange::FromPlace(const nlohmann::json& place) {
  if (!place.is_object() || !place.contains("path")) throw AppError("计划任务位置不完整");
  return std::make_unique<TaskEnabledChange>(NameFromJson(place["path"]));
}

nlohmann::json TaskEnabledChange::PlaceJson() const {
  return nlohmann::json{{"path", NameJson(path_)}};
}

nlohmann::json TaskEnabledChange::Observe(const ChangeEnv& env) const {
  if (!env.tasks) throw AppError("无法连接任务计划程序");
  const std::optional<bool> enabled = env.tasks->Enabled(path_);
  return enabled ? nlohmann::json{{"enabled", *enabled}} : AbsentState();
}

bool TaskEnabledChange::Save(const ChangeEnv&, DeletionBackup&, nlohmann::json&) {
  // The state Add observed is all a restore needs; by hand, the task is switched in the
  // Task Scheduler.
  return true;
}

void TaskEnabledChange::Restore(const ChangeEnv& env, const nlohmann::json& before,
                                const nlohmann::json&) {
  if (!env.tasks) throw AppError("无法连接任务计划程序");
  if (IsAbsent(before) || !before.contains("enabled") || !before["enabled"].is_boolean())
    throw AppError("备份中没有这个任务的启用状态");
  if (!env.tasks->Enabled(path_)) throw AppError("计划任务已不存在：" + path_);
  if (!env.tasks->SetEnabled(path_, before["enabled"].get<bool>()))
    throw AppError("任务计划程序拒绝了更改：" + path_);
}

std::string TaskEnabledChange::DescribeState(const nlohmann::json& state) const {
  if (IsAbsent(state)) return "（不存在）";
  return state.value("enabled", true) ? "已启用" : "已禁用";
}

bool TaskEnabledChange::PlaceAllowed(const ChangeEnv&) const { return TaskPathAllowed(path_); }

std::unique_ptr<Change> TaskEnabledChange::AtSamePlace() const {
  return std::make_unique<TaskEnabledChange>(path_);
}

}  // namespace mt
