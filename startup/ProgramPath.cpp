#include "startup/ProgramPath.h"

#include <algorithm>

#include "app/Path.h"
#include "app/Services.h"
#include "app/Text.h"

namespace mt {

namespace {

bool Exists(const ProgramLookup& lookup, const std::string& path) {
  return !path.empty() && lookup.exists && lookup.exists(path);
}

// A found file's path in the system's own spelling: the system takes "/" for "\" in a
// command line, but Explorer's "/select," and the other readers of the path want "\".
std::string WithBackslashes(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

// The folders of the PATH variable, in order: separated by ";", each maybe in quotes.
std::vector<std::string> PathFolders(const ProgramLookup& lookup) {
  std::vector<std::string> folders;
  if (!lookup.variable) return folders;
  const std::optional<std::string> path = lookup.variable("PATH");
  if (!path) return folders;
  size_t pos = 0;
  while (pos <= path->size()) {
    const size_t end = std::min(path->find(';', pos), path->size());
    std::string folder = TrimControl(path->substr(pos, end - pos));
    if (folder.size() >= 2 && folder.front() == '"' && folder.back() == '"')
      folder = folder.substr(1, folder.size() - 2);
    while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    if (!folder.empty()) folders.push_back(folder);
    pos = end + 1;
  }
  return folders;
}

// The file `candidate` names, with ".exe" tried when it has no extension and a bare name
// looked up as the system does: in the search folders, then along PATH. Empty when there is
// no such file.
std::string Resolve(const std::string& candidate, const ProgramLookup& lookup) {
  if (TrimControl(candidate).empty()) return std::string();
  const bool bare = candidate.find_first_of("\\/:") == std::string::npos;
  std::vector<std::string> places;
  if (bare) {
    for (const std::string& folder : lookup.searchFolders)
      places.push_back(JoinPath(folder, candidate));
    for (const std::string& folder : PathFolders(lookup))
      places.push_back(JoinPath(folder, candidate));
  } else {
    places.push_back(candidate);
  }
  const bool noExtension = ExtensionOf(candidate).empty();
  for (const std::string& place : places) {
    if (Exists(lookup, place)) return WithBackslashes(place);
    if (noExtension && Exists(lookup, place + ".exe")) return WithBackslashes(place + ".exe");
  }
  return std::string();
}

struct Split {
  std::string program;
  std::string rest;
};

// The program part of a command line and what follows it. Unquoted, the system tries the
// text up to each blank in turn ("C:\Program Files\A\a.exe -x" is found at the second one).
Split SplitProgram(const std::string& command, const ProgramLookup& lookup) {
  if (!command.empty() && command[0] == '"') {
    const size_t end = command.find('"', 1);
    if (end == std::string::npos) return {command.substr(1), std::string()};
    return {command.substr(1, end - 1), TrimControl(command.substr(end + 1))};
  }
  for (size_t cut = command.find(' ');; cut = command.find(' ', cut + 1)) {
    const std::string prefix = command.substr(0, cut);
    const std::string found = Resolve(prefix, lookup);
    if (!found.empty())
      return {found, cut == std::string::npos ? std::string() : TrimControl(command.substr(cut))};
    if (cut == std::string::npos) break;
  }
  // Nothing found: the first word, without the commas of a list ("userinit.exe,").
  const size_t space = command.find(' ');
  std::string first = command.substr(0, space);
  first = first.substr(0, first.find(','));
  return {first, space == std::string::npos ? std::string() : TrimControl(command.substr(space))};
}

// The first argument: quoted, or up to a blank or (for rundll32's "file,entry") a comma.
std::string FirstArgument(const std::string& rest) {
  if (!rest.empty() && rest[0] == '"') {
    const size_t end = rest.find('"', 1);
    std::string arg = rest.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    return arg.substr(0, arg.find(','));
  }
  return rest.substr(0, rest.find_first_of(" ,"));
}

// Whether `option` (without its "-" or "/") is an abbreviation of `name` at least `shortest`
// letters long, as PowerShell's command line takes its parameters.
bool Abbreviates(const std::string& option, const std::string& name, size_t shortest) {
  return option.size() >= shortest && option.size() <= name.size() &&
         name.compare(0, option.size(), option) == 0;
}

// The script a PowerShell command line runs with -File; empty when it runs a command given
// inline (-Command, -EncodedCommand, or text after the options), which has no file of its own.
std::string PowerShellScript(std::string rest) {
  while (!rest.empty() && (rest[0] == '-' || rest[0] == '/')) {
    const size_t end = rest.find(' ');
    const std::string option = LowerAscii(rest.substr(1, end == std::string::npos ? end : end - 1));
    rest = end == std::string::npos ? std::string() : TrimControl(rest.substr(end));
    if (Abbreviates(option, "file", 1)) {
      if (!rest.empty() && rest[0] == '"') {
        const size_t close = rest.find('"', 1);
        return rest.substr(1, close == std::string::npos ? std::string::npos : close - 1);
      }
      return rest.substr(0, rest.find(' '));
    }
    // The options that take a value: the value is skipped with its option.
    static const char* const kWithValue[] = {
        "executionpolicy",  "ep",          "ex",           "windowstyle",
        "version",          "inputformat", "outputformat", "psconsolefile",
        "configurationname"};
    bool takesValue = false;
    for (const char* name : kWithValue)
      if (Abbreviates(option, name, option == "ep" || option == "ex" ? 2 : 1)) takesValue = true;
    // "-c", "-command", "-e", "-encodedcommand" and the like run text, not a file.
    if (Abbreviates(option, "command", 1) || Abbreviates(option, "encodedcommand", 1))
      return std::string();
    if (takesValue) {
      const size_t cut = rest.find(' ');
      rest = cut == std::string::npos ? std::string() : TrimControl(rest.substr(cut));
    }
  }
  return std::string();
}

ProgramRef Program(const std::string& command, const ProgramLookup& lookup, int depth) {
  const std::string text = TrimControl(ExpandVariables(command, lookup));
  const Split split = SplitProgram(text, lookup);
  std::string path = Resolve(split.program, lookup);
  if (path.empty()) path = split.program;
  const std::string name = LowerAscii(FileNameOf(path));
  if (name == "rundll32.exe" || name == "rundll32") {
    const std::string dll = FirstArgument(split.rest);
    const std::string found = Resolve(dll, lookup);
    return {found.empty() ? dll : found, "rundll32.exe"};
  }
  if (name == "powershell.exe" || name == "powershell" || name == "pwsh.exe" || name == "pwsh") {
    // The script is what runs: an interpreter signed by its maker says nothing of it.
    const std::string script = PowerShellScript(split.rest);
    if (!TrimControl(script).empty()) {
      const std::string found = Resolve(script, lookup);
      const std::string hostName = name.find(".exe") == std::string::npos ? name + ".exe" : name;
      return {found.empty() ? script : found, hostName};
    }
  }
  if ((name == "cmd.exe" || name == "cmd") && depth < 4) {
    // Switches up to /c or /k; what follows is the command it runs.
    std::string rest = split.rest;
    while (!rest.empty() && rest[0] == '/') {
      const size_t end = rest.find(' ');
      const std::string option = LowerAscii(rest.substr(0, end));
      rest = end == std::string::npos ? std::string() : TrimControl(rest.substr(end));
      if (option == "/c" || option == "/k") {
        // "start" opens the program on its own, after an optional quoted window title.
        if (LowerAscii(rest.substr(0, 6)) == "start ") {
          rest = TrimControl(rest.substr(6));
          if (rest.size() >= 2 && rest[0] == '"') {
            const size_t close = rest.find('"', 1);
            const std::string after = close == std::string::npos
                                          ? std::string()
                                          : TrimControl(rest.substr(close + 1));
            // A quoted first argument is the title only when something follows it.
            if (!after.empty()) rest = after;
          }
        }
        ProgramRef inner = Program(rest, lookup, depth + 1);
        if (inner.path.empty()) break;
        // The host that runs the program in the end (PowerShell for its script).
        return {inner.path, inner.host.empty() ? std::string("cmd.exe") : inner.host};
      }
    }
  }
  return {path, std::string()};
}

}  // namespace

std::string ExpandVariables(const std::string& text, const ProgramLookup& lookup) {
  return ExpandEnvironmentText(text, lookup.variable);
}

ProgramRef ProgramOfCommand(const std::string& command, const ProgramLookup& lookup) {
  return Program(command, lookup, 0);
}

}  // namespace mt
