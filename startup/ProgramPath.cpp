#include "startup/ProgramPath.h"

#include "app/Path.h"
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

// The file `candidate` names, with ".exe" tried when it has no extension and a bare name
// looked up in the search folders; empty when there is no such file.
std::string Resolve(const std::string& candidate, const ProgramLookup& lookup) {
  if (TrimControl(candidate).empty()) return std::string();
  const bool bare = candidate.find_first_of("\\/:") == std::string::npos;
  std::vector<std::string> places;
  if (bare)
    for (const std::string& folder : lookup.searchFolders)
      places.push_back(JoinPath(folder, candidate));
  else places.push_back(candidate);
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
        return {inner.path, "cmd.exe"};
      }
    }
  }
  return {path, std::string()};
}

}  // namespace

std::string ExpandVariables(const std::string& text, const ProgramLookup& lookup) {
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t open = text.find('%', pos);
    if (open == std::string::npos) break;
    const size_t close = text.find('%', open + 1);
    if (close == std::string::npos) break;
    out += text.substr(pos, open - pos);
    const std::string name = text.substr(open + 1, close - open - 1);
    std::optional<std::string> value;
    if (!name.empty() && lookup.variable) value = lookup.variable(name);
    if (value) {
      out += *value;
      pos = close + 1;
    } else {
      // Not a variable: the first "%" stays, the second may open the next name.
      out += '%';
      pos = open + 1;
    }
  }
  return out + text.substr(pos);
}

ProgramRef ProgramOfCommand(const std::string& command, const ProgramLookup& lookup) {
  return Program(command, lookup, 0);
}

}  // namespace mt
