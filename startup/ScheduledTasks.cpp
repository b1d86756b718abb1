#include "startup/ScheduledTasks.h"

#include "app/Backup.h"
#include "app/Text.h"
#include "startup/XmlScan.h"

namespace mt {

void ReadTaskXml(const std::string& xml, TaskInfo& task) {
  const XmlElement triggers = FindXmlElement(xml, "Triggers", 0, xml.size());
  if (triggers.found()) {
    task.logonTrigger =
        FindXmlElement(xml, "LogonTrigger", triggers.contentBegin, triggers.contentEnd).found();
    task.bootTrigger =
        FindXmlElement(xml, "BootTrigger", triggers.contentBegin, triggers.contentEnd).found();
  }
  const XmlElement actions = FindXmlElement(xml, "Actions", 0, xml.size());
  if (!actions.found()) return;
  for (size_t from = actions.contentBegin;;) {
    const XmlElement exec = FindXmlElement(xml, "Exec", from, actions.contentEnd);
    if (!exec.found()) break;
    task.actions.push_back(
        {XmlChildText(xml, "Command", exec), XmlChildText(xml, "Arguments", exec)});
    from = exec.contentEnd > exec.open ? exec.contentEnd : exec.open + 1;
  }
}

bool IsStartupTask(const TaskInfo& task) {
  if (!task.logonTrigger && !task.bootTrigger) return false;
  for (const TaskInfo::Exec& exec : task.actions)
    if (!TrimControl(exec.program).empty()) return true;
  return false;
}

std::string TaskCommandLine(const TaskInfo& task) {
  std::string out;
  for (const TaskInfo::Exec& exec : task.actions) {
    std::string program = TrimControl(exec.program);
    if (program.empty()) continue;
    if (program.find(' ') != std::string::npos && program.front() != '"')
      program = "\"" + program + "\"";
    const std::string arguments = TrimControl(exec.arguments);
    if (!out.empty()) out += " & ";
    out += arguments.empty() ? program : program + " " + arguments;
  }
  return out;
}

std::string TaskBackupFileName(const std::string& path) {
  std::string name = path.substr(path.find_last_of('\\') + 1);
  for (char& c : name)
    if (c == '/' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' ||
        c == '|' || static_cast<unsigned char>(c) < 0x20)
      c = '_';
  if (TrimControl(name).empty()) name = "task";
  return name + ".xml";
}

std::string TaskXmlFileBytes(const std::string& xml) { return "\xFF\xFE" + Utf16Le(xml); }

std::string TaskRestoreLine(const std::string& fileName, const std::string& path) {
  // Inside double quotes only "%" still means something to the command processor.
  auto escaped = [](const std::string& s) {
    std::string out;
    for (char c : s) out += c == '%' ? std::string("%%") : std::string(1, c);
    return out;
  };
  // %~dp0: the folder the script lies in, the backup set's own.
  return "schtasks /create /xml \"%~dp0" + escaped(fileName) + "\" /tn \"" + escaped(path) + "\"";
}

}  // namespace mt
