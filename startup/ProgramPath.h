// Which program a startup command line starts: the file the system would run, found the way
// it finds it (quoted or not, environment variables expanded, a bare name looked up in the
// system folders), and through which host when it is a DLL run by rundll32 or a command run
// by the command interpreter.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mt {

struct ProgramRef {
  std::string path;  // the program file; as written when it was not found
  std::string host;  // "rundll32.exe" or "cmd.exe" when the command hands the program to it
};

// How the file system and the environment are asked.
struct ProgramLookup {
  // The value of an environment variable; none when it is not set.
  std::function<std::optional<std::string>(const std::string& name)> variable;
  std::function<bool(const std::string& path)> exists;
  // Where a bare program name is looked for, in order (the system folder, the Windows folder).
  std::vector<std::string> searchFolders;
};

// "%NAME%" replaced by the variable's value; a name that is not set stays as written, as the
// system leaves it.
std::string ExpandVariables(const std::string& text, const ProgramLookup& lookup);

ProgramRef ProgramOfCommand(const std::string& command, const ProgramLookup& lookup);

}  // namespace mt
