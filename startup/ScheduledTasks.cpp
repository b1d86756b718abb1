#include "startup/ScheduledTasks.h"

#include <cstdlib>

#include "app/Backup.h"
#include "app/Text.h"

namespace mt {

namespace {

// An element of the definition: where its content starts and ends.
struct Element {
  size_t open = std::string::npos;  // position of "<"
  size_t contentBegin = 0, contentEnd = 0;
  bool found() const { return open != std::string::npos; }
};

bool IsNameEnd(char c) {
  return c == '>' || c == '/' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The first element named `name` (with or without a prefix) in xml[from, to).
Element FindElement(const std::string& xml, const std::string& name, size_t from, size_t to) {
  Element e;
  for (size_t at = xml.find('<', from); at != std::string::npos && at < to;
       at = xml.find('<', at + 1)) {
    size_t nameBegin = at + 1;
    if (nameBegin >= xml.size() || xml[nameBegin] == '/' || xml[nameBegin] == '?' ||
        xml[nameBegin] == '!')
      continue;
    size_t nameEnd = nameBegin;
    while (nameEnd < xml.size() && !IsNameEnd(xml[nameEnd])) ++nameEnd;
    std::string tag = xml.substr(nameBegin, nameEnd - nameBegin);
    const size_t colon = tag.find(':');
    if (colon != std::string::npos) tag = tag.substr(colon + 1);
    if (tag != name) continue;
    const size_t close = xml.find('>', nameEnd);
    if (close == std::string::npos) return e;
    e.open = at;
    if (xml[close - 1] == '/') {  // <Name/>: no content
      e.contentBegin = e.contentEnd = close + 1;
      return e;
    }
    e.contentBegin = close + 1;
    const std::string prefix = xml.substr(nameBegin, nameEnd - nameBegin);
    const size_t end = xml.find("</" + prefix, e.contentBegin);
    e.contentEnd = end == std::string::npos || end > to ? to : end;
    return e;
  }
  return e;
}

std::string DecodeText(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out += text[i];
      continue;
    }
    const size_t semi = text.find(';', i);
    if (semi == std::string::npos) {
      out += text.substr(i);
      break;
    }
    const std::string entity = text.substr(i + 1, semi - i - 1);
    if (entity == "amp") out += '&';
    else if (entity == "lt") out += '<';
    else if (entity == "gt") out += '>';
    else if (entity == "quot") out += '"';
    else if (entity == "apos") out += '\'';
    else if (!entity.empty() && entity[0] == '#') {
      unsigned long code = entity.size() > 1 && (entity[1] == 'x' || entity[1] == 'X')
                               ? std::strtoul(entity.c_str() + 2, nullptr, 16)
                               : std::strtoul(entity.c_str() + 1, nullptr, 10);
      AppendUtf8(out, code > 0x10FFFF ? 0xFFFD : static_cast<char32_t>(code));
    } else {
      out += text.substr(i, semi - i + 1);  // not one of ours: left as written
    }
    i = semi;
  }
  return out;
}

std::string ChildText(const std::string& xml, const std::string& name, const Element& parent) {
  const Element child = FindElement(xml, name, parent.contentBegin, parent.contentEnd);
  if (!child.found()) return std::string();
  return DecodeText(xml.substr(child.contentBegin, child.contentEnd - child.contentBegin));
}

}  // namespace

void ReadTaskXml(const std::string& xml, TaskInfo& task) {
  const Element triggers = FindElement(xml, "Triggers", 0, xml.size());
  if (triggers.found()) {
    task.logonTrigger =
        FindElement(xml, "LogonTrigger", triggers.contentBegin, triggers.contentEnd).found();
    task.bootTrigger =
        FindElement(xml, "BootTrigger", triggers.contentBegin, triggers.contentEnd).found();
  }
  const Element actions = FindElement(xml, "Actions", 0, xml.size());
  if (!actions.found()) return;
  for (size_t from = actions.contentBegin;;) {
    const Element exec = FindElement(xml, "Exec", from, actions.contentEnd);
    if (!exec.found()) break;
    task.actions.push_back({ChildText(xml, "Command", exec), ChildText(xml, "Arguments", exec)});
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
