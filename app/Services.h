// The Windows operations the tools lean on, behind small interfaces so that the logic runs
// natively in tests. Real implementations live in app/win; stand-ins in tests/support.
// Paths are UTF-8 with "\" separators.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ChangePlaces.h"
#include "app/DataPlaces.h"

namespace mt {

class RegistryBackend;
// The tools' own services, declared with their tools.
class ProcessStarter;     // vdrive/ProcessStarter.h
class IconSource;         // browser/IconSource.h
class ShortcutFiles;      // app/Shortcuts.h
class StartupPlaces;      // startup/StartupItems.h
class TaskStore;          // startup/ScheduledTasks.h
class HttpService;        // update/HttpClient.h
class InstallerVerifier;  // update/InstallerTrust.h
class InstallerLauncher;  // update/InstallerTrust.h
class SignerSource;       // app/Signers.h
class TFhzPortal;         // offer/FhzPortal.h
class SealKeyStore;       // app/SetSeal.h
class ChangeKinds;        // app/Change.h
class AdminRights;        // app/AdminRights.h
class RunningPrograms;    // app/RunningPrograms.h
class ServiceControl;     // app/ServiceControl.h

// The value of an environment variable by name (letter case does not matter); none when it
// is not set.
using EnvironmentLookup = std::function<std::optional<std::string>(const std::string& name)>;
// "%NAME%" replaced by the variable's value, the name compared without letter case as the
// system does; a name that is not set, or a lone "%", stays as written.
std::string ExpandEnvironmentText(const std::string& text, const EnvironmentLookup& variable);

// A window, as seen by the logic: an opaque handle (HWND on Windows) used only as an owner.
using WindowRef = void*;

// ---- files -----------------------------------------------------------------------------
class FileStream {
 public:
  virtual ~FileStream() = default;
  // Reads up to `n` bytes; returns how many were read (0 at the end). Throws on I/O error.
  virtual size_t Read(void* buffer, size_t n) = 0;
  // Writes up to `n` bytes; returns how many were written (short on a full disk).
  virtual size_t Write(const void* buffer, size_t n) = 0;
  virtual uint64_t Size() = 0;
  // Moves the position of the next read or write to `offset` from the start. Streams that
  // cannot do so throw "Stream seek error".
  virtual void Seek(uint64_t offset);
};

struct FindEntry {
  std::string name;  // name only, no folder
  bool isDirectory = false;
  bool isHidden = false;
  bool isSystem = false;
};

// Which file a path reaches, however the path is spelled (another drive letter for the same
// folder, a UNC or 8.3 name, a hard link): the volume's serial number and the file's index on
// it, plus the 128-bit form where the file system gives one (ReFS ids need all 128 bits).
struct FileIdentity {
  uint32_t volumeSerial = 0;
  uint64_t fileIndex = 0;
  bool hasId128 = false;
  uint64_t volumeSerial64 = 0;
  uint64_t id128[2] = {0, 0};
};

// Compares the 128-bit forms when both have them, the classic pair otherwise (one side may
// come from a file system or redirector that does not give the long form).
inline bool operator==(const FileIdentity& a, const FileIdentity& b) {
  if (a.hasId128 && b.hasId128)
    return a.volumeSerial64 == b.volumeSerial64 && a.id128[0] == b.id128[0] &&
           a.id128[1] == b.id128[1];
  return a.volumeSerial == b.volumeSerial && a.fileIndex == b.fileIndex;
}

// What a restore gives a file back besides its bytes: its attributes (FILE_ATTRIBUTE_*) and
// its creation and last-write times (FILETIME ticks; 0: leave as the write left it).
struct FileMeta {
  uint32_t attributes = 0;
  uint64_t created = 0;
  uint64_t written = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Opens for reading without sharing. Throws "Cannot open file \"%s\". %s" (path, the
  // system's reason).
  virtual std::unique_ptr<FileStream> OpenRead(const std::string& path) = 0;
  // Creates (truncating) for writing without sharing. Throws "Cannot create file \"%s\". %s".
  virtual std::unique_ptr<FileStream> Create(const std::string& path) = 0;
  virtual bool FileExists(const std::string& path) = 0;
  virtual bool DirectoryExists(const std::string& path) = 0;
  // True when `path` is a folder of its own whose entries can be listed: not a link to
  // another place (a reparse point such as a junction) and not refused to the caller. File
  // systems that know neither links nor access rights only ask whether the folder exists.
  virtual bool IsListableFolder(const std::string& path) { return DirectoryExists(path); }
  virtual bool RemoveFile(const std::string& path) = 0;
  // Removes the folder with everything in it. A link inside it (or the path itself being one:
  // a junction, a symbolic link) is removed as a link, never followed into what it points
  // to. True when the folder is gone afterwards; false when `path` is not a folder, when
  // anything in it could not be removed (what could be is gone), or when this file system
  // cannot remove folders.
  virtual bool RemoveFolder(const std::string& path) {
    (void)path;
    return false;
  }
  // Entries of `folder` whose name matches `pattern` ("*.lnk", "*"), hidden and system ones
  // included, "." and ".." left out.
  virtual std::vector<FindEntry> Find(const std::string& folder, const std::string& pattern) = 0;
  // Creates the folder and any missing parents, outermost first; true when it exists
  // afterwards.
  virtual bool CreateDirectories(const std::string& path) = 0;
  // Creates or replaces `path` with `bytes` in one piece. Throws "Cannot create file ..."
  // or "Unable to write to ..." with the path.
  virtual void WriteAll(const std::string& path, const std::string& bytes);
  // Moves the file `from` onto `to` in one step, replacing a file there: readers see the old
  // file or the whole new one, never a part. Throws "Cannot rename \"%s\". %s" (from, the
  // system's reason).
  virtual void Rename(const std::string& from, const std::string& to) = 0;
  // Absolute form of a path; the same path when it is already absolute.
  virtual std::string FullPath(const std::string& path) = 0;
  // The attributes and times of an existing file; empty when there is no such file or this
  // file system cannot tell.
  virtual std::optional<FileMeta> Meta(const std::string& path) {
    (void)path;
    return std::nullopt;
  }
  // Sets the attributes (FILE_ATTRIBUTE_*) of an existing file; false when refused or when
  // this file system keeps none.
  virtual bool SetAttributes(const std::string& path, uint32_t attributes) {
    (void)path;
    (void)attributes;
    return false;
  }
  // Puts `bytes` at `path` as a restore does, then the attributes and times of `meta` (a
  // read-only file there is written all the same). The path is checked at the moment of
  // writing: a link or junction on it (put there since the set was read) is refused, not
  // followed. Throws AppError with the reason.
  virtual void WriteRestored(const std::string& path, const std::string& bytes,
                             const FileMeta& meta) {
    (void)meta;
    WriteAll(path, bytes);
  }
  // The identity of an existing file, read without disturbing anyone who has it open; empty
  // when there is no such file or this file system cannot tell.
  virtual std::optional<FileIdentity> Identity(const std::string& path) {
    (void)path;
    return std::nullopt;
  }
};

// The whole content of `path`, read through `files`. Throws AppError ("文件过大：" and the
// path) when it is longer than `limit`, and what OpenRead and Read throw.
std::string ReadAllBytes(FileSystem& files, const std::string& path, uint64_t limit = UINT64_MAX);

// ---- profile (INI) files ------------------------------------------------------------------
class ProfileStore {
 public:
  virtual ~ProfileStore() = default;
  // The value, at most 2047 characters; `def` when the file, section or key is missing.
  virtual std::string ReadString(const std::string& path, const std::string& section,
                                 const std::string& key, const std::string& def) = 0;
  // Creates file and section when needed, replaces the key's line, keeps every other line.
  // Throws "Unable to write to %s" (the path) on failure.
  virtual void WriteString(const std::string& path, const std::string& section,
                           const std::string& key, const std::string& value) = 0;
};

// ---- shell and programs ------------------------------------------------------------------
enum ShowMode : int { kShowHide = 0, kShowNormal = 1 };

class Shell {
 public:
  virtual ~Shell() = default;
  // ShellExecute; the result is not examined by any caller.
  virtual void ShellOpen(WindowRef owner, const std::string& verb, const std::string& file,
                         const std::string& params, const std::string& directory, int show) = 0;
};

// ---- dialogs -------------------------------------------------------------------------------
struct FileDialogOptions {
  std::string filter;    // "description|pattern|description|pattern..."
  std::string fileName;  // proposed file name
  std::string title;     // empty: the system's default title
  bool multiSelect = false;
  bool hideReadOnly = false;
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // Chosen paths (one unless multiSelect), or empty on cancel.
  virtual std::optional<std::vector<std::string>> OpenFile(WindowRef owner,
                                                           const FileDialogOptions& opts) = 0;
  virtual std::optional<std::string> SaveFile(WindowRef owner, const FileDialogOptions& opts) = 0;
  // Folder browser with a title line, file-system folders only; empty on cancel.
  virtual std::optional<std::string> BrowseFolder(WindowRef owner, const std::string& title) = 0;
};

// ---- message boxes, beep, clipboard, hidden browser -------------------------------------
// Style bits as MessageBox takes them.
enum : unsigned { kMbOk = 0x0, kMbYesNo = 0x4, kMbIconError = 0x10, kMbIconQuestion = 0x20 };
// What Show returns for the "yes" button.
inline constexpr int kIdYes = 6;

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // Modal; returns the button pressed (1 for OK).
  virtual int Show(WindowRef owner, const std::string& text, const std::string& caption,
                   unsigned style) = 0;
  virtual void Beep() = 0;
};

class Clipboard {
 public:
  virtual ~Clipboard() = default;
  // Empties the clipboard and puts `text` on it. Throws AppError when it cannot be opened.
  virtual void SetText(WindowRef owner, const std::string& text) = 0;
};

class BrowserHost {
 public:
  virtual ~BrowserHost() = default;
  // Creates a new embedded web-browser control, child of `parent`, at (left, 0) with the
  // given height, and navigates it to `url`. It lives as long as its parent.
  virtual void NavigateHidden(WindowRef parent, int left, int height, const std::string& url) = 0;
};

// Everything a window hands down to the logic: the one place where the program finds its
// services. The program fills it once with the real ones (MakeWinServices, app/win); tests
// fill it with stand-ins (tests/support). Not owning.
struct Services {
  RegistryBackend* registry = nullptr;
  FileSystem* files = nullptr;
  ProfileStore* profile = nullptr;
  Shell* shell = nullptr;
  Dialogs* dialogs = nullptr;
  MessageBoxes* messages = nullptr;
  Clipboard* clipboard = nullptr;
  BrowserHost* browser = nullptr;
  ProcessStarter* processes = nullptr;             // subst for the drive page
  IconSource* icons = nullptr;                     // icons and short paths of the add-on list
  ShortcutFiles* shortcuts = nullptr;              // browser shortcuts (none: not looked at)
  StartupPlaces* startupPlaces = nullptr;          // known folders of the startup list
  TaskStore* tasks = nullptr;                      // scheduled tasks (none: not listed)
  ServiceControl* serviceControl = nullptr;        // the service manager (none: no services)
  HttpService* http = nullptr;                     // the update check and download
  InstallerVerifier* installerVerifier = nullptr;  // the downloaded installer's signature
  InstallerLauncher* installerLauncher = nullptr;  // starts a verified installer
  SignerSource* signers = nullptr;                 // who signed a program (none: not asked)
  SealKeyStore* sealKeys = nullptr;                // the backup sets' seal (none: unsealed)
  const ChangeKinds* changeKinds = nullptr;        // the kinds of change a set may hold
  // The folders whose files the tools change (desktops, Start menus...): a backup set may
  // restore files there and nowhere else.
  FilePlaceRoots fileRoots;
  AdminRights* admin = nullptr;  // may the machine be changed (none: tried)
  // Which programs run now (none: every program is taken as running, so nothing a running
  // program would write back is changed).
  RunningPrograms* running = nullptr;
  // The current user's roaming and local application data folders, where the browsers keep
  // their profiles; empty: not looked at.
  std::string roamingAppData, localAppData;
  std::string exeDir;  // folder of the executable, no trailing "\"
  // The process's environment ("SystemRoot" for the Windows folder, the variables of
  // expandable registry text); none: the hosts file is not looked at.
  EnvironmentLookup environment;
  // Whether exeDir can be written and the per-user folder (app/DataPlaces.h); the default
  // keeps everything beside the program.
  DataPlaces places;
  // Where the update check asks for the update record; empty means the shipped address.
  std::string updateEndpoint;
  // Called with the partner offer once it is on screen, before its modal loop runs. Nothing
  // in the program sets it; tests click and close the modal dialog from here.
  std::function<void(TFhzPortal&)> offerShown;
};

}  // namespace mt
