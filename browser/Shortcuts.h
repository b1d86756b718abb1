// Shortcut (.lnk) files as the browser repair sees them: what one holds, the folders where
// browser shortcuts live, and the service that reads and writes them. The real service is
// browser/win/WinShortcuts (IShellLinkW and IPersistFile, never resolving a link); tests
// script their own.
#pragma once

#include <string>
#include <vector>

namespace mt {

// The parts of a shortcut that the repair reads and may change. Paths are stored as written
// in the file: environment variables are not expanded and the target is not searched for.
struct ShellLinkData {
  std::string target;
  std::string arguments;
  std::string workingDirectory;
  std::string iconLocation;
  int iconIndex = 0;
};

inline bool operator==(const ShellLinkData& a, const ShellLinkData& b) {
  return a.target == b.target && a.arguments == b.arguments &&
         a.workingDirectory == b.workingDirectory && a.iconLocation == b.iconLocation &&
         a.iconIndex == b.iconIndex;
}

enum class ShortcutPlace { Desktop, PublicDesktop, StartMenu, CommonStartMenu, QuickLaunch,
                           TaskBar };

struct ShortcutFolder {
  ShortcutPlace place;
  std::string path;
  bool recursive = false;  // the Start menus are searched with their subfolders
};

class ShortcutFiles {
 public:
  virtual ~ShortcutFiles() = default;
  // The user's and the public Desktop, the user's and the common Start menu, Quick Launch
  // and the taskbar pins; a folder the system does not know is left out.
  virtual std::vector<ShortcutFolder> Folders() = 0;
  // Throws AppError with the reason when the file cannot be read as a shortcut.
  virtual ShellLinkData Read(const std::string& path) = 0;
  // Saves `link` into the existing shortcut file `path`, keeping its attributes (a read-only
  // file stays read-only). Throws AppError with the reason when it cannot be written.
  virtual void Write(const std::string& path, const ShellLinkData& link) = 0;
};

// One argument of a command line with where it stands in the text: [begin, end) covers the
// argument as written, quotes included; `value` is what the program receives (the rules of
// CommandLineToArgvW for arguments after the program name).
struct CommandLineArgument {
  size_t begin = 0, end = 0;
  std::string value;
};
std::vector<CommandLineArgument> SplitArguments(const std::string& arguments);

// Whether a received argument opens a web address: a scheme that a browser navigates to
// ("http:", "https:", "ftp:", "file:" ...), "www." or a bare host name with a dot
// ("hao123.com/x"). Switches ("-x", "--x=...", "/x") and placeholders such as "%s" are not.
bool IsAddressArgument(const std::string& value);

// The arguments with every address removed, and the blanks before it, the rest kept as
// written. Firefox's switches that only take an address ("-url", "-new-tab",
// "-new-window") go with the address they introduce. `removed` receives the addresses.
std::string StripAddresses(const std::string& arguments, std::vector<std::string>* removed);

}  // namespace mt
