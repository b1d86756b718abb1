// Shortcut (.lnk) files: what one holds, the folders where browser shortcuts live, and the
// service that reads and writes them. Shared by the browser repair (hijacked shortcuts) and
// the startup list (a Startup folder's shortcut names its program). The real service is
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

enum class ShortcutPlace {
  Desktop,
  PublicDesktop,
  StartMenu,
  CommonStartMenu,
  QuickLaunch,
  TaskBar
};

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

}  // namespace mt
