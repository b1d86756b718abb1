// The real services of app/ over the Win32 API (the tools make their own in their win/).
#pragma once

#include <windows.h>

#include <memory>

#include "app/RunningPrograms.h"
#include "app/Services.h"
#include "app/win/WinRegistry.h"

namespace mt {

class WinFileSystem : public FileSystem {
 public:
  std::unique_ptr<FileStream> OpenRead(const std::string& path) override;
  std::unique_ptr<FileStream> Create(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  bool DirectoryExists(const std::string& path) override;
  bool IsListableFolder(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  // Read-only files are made writable first; a link is removed through a handle opened on
  // the link itself, and stays (false) where the system opens what it points to instead.
  bool RemoveFolder(const std::string& path) override;
  std::vector<FindEntry> Find(const std::string& folder, const std::string& pattern) override;
  // One call of the shell's SHCreateDirectoryExW, which makes every missing level.
  bool CreateDirectories(const std::string& path) override;
  // Written in one piece and flushed to the disk before it returns.
  void WriteAll(const std::string& path, const std::string& bytes) override;
  // MoveFileEx in one step, replacing the target, written through.
  void Rename(const std::string& from, const std::string& to) override;
  std::string FullPath(const std::string& path) override;
  std::optional<FileIdentity> Identity(const std::string& path) override;
  std::optional<FileMeta> Meta(const std::string& path) override;
  // Through handles opened without following a reparse point: the folder's and the file's
  // final paths (GetFinalPathNameByHandleW) must be the path asked for.
  void WriteRestored(const std::string& path, const std::string& bytes,
                     const FileMeta& meta) override;
  bool SetAttributes(const std::string& path, uint32_t attributes) override;
};

class WinProfile : public ProfileStore {
 public:
  std::string ReadString(const std::string& path, const std::string& section,
                         const std::string& key, const std::string& def) override;
  void WriteString(const std::string& path, const std::string& section, const std::string& key,
                   const std::string& value) override;
};

class WinShell : public Shell {
 public:
  void ShellOpen(WindowRef owner, const std::string& verb, const std::string& file,
                 const std::string& params, const std::string& directory, int show) override;
};

class WinDialogs : public Dialogs {
 public:
  std::optional<std::vector<std::string>> OpenFile(WindowRef owner,
                                                   const FileDialogOptions& opts) override;
  std::optional<std::string> SaveFile(WindowRef owner, const FileDialogOptions& opts) override;
  std::optional<std::string> BrowseFolder(WindowRef owner, const std::string& title) override;
};

class WinMessageBoxes : public MessageBoxes {
 public:
  int Show(WindowRef owner, const std::string& text, const std::string& caption,
           unsigned style) override;
  void Beep() override;
};

class WinClipboard : public Clipboard {
 public:
  void SetText(WindowRef owner, const std::string& text) override;
};

// Hosts the platform's WebBrowser control through the ATL control-hosting window class.
class WinBrowserHost : public BrowserHost {
 public:
  void NavigateHidden(WindowRef parent, int left, int height, const std::string& url) override;
};

// Asks the file system whether a folder can be written (by creating and dropping a file in
// it) and names "%LOCALAPPDATA%\MirtakTools" as the per-user folder.
class WinDataFolderProbe : public DataFolderProbe {
 public:
  bool CanWrite(const std::string& folder) override;
  std::string PerUserFolder() override;
};

// Asks the system's process list; a list that cannot be taken answers "running".
class WinRunningPrograms : public RunningPrograms {
 public:
  bool IsRunning(const std::string& exeName) override;
};

// The current user's roaming and local application data folders (empty where the shell
// names none).
std::string WinRoamingAppData();
std::string WinLocalAppData();

// Folder of the running executable, without a trailing "\".
std::string ExecutableDirectory();

// The folders whose files the tools change, as the shell knows them for the current user,
// and the hosts file.
FilePlaceRoots WinFilePlaceRoots(const std::string& exeDir);

// The value of the process's environment variable `name`; none when it is not set.
std::optional<std::string> WinEnvironmentVariable(const std::string& name);

}  // namespace mt
