// Stand-ins for the services, for tests: they record what was asked and answer as scripted.
// No stand-in ever blocks.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/AdminRights.h"
#include "app/RunningPrograms.h"
#include "app/ServiceControl.h"
#include "app/Services.h"
#include "app/SetSeal.h"
#include "app/Text.h"
#include "browser/IconSource.h"
#include "browser/Shortcuts.h"
#include "program/ChangeKindList.h"
#include "startup/StartupItems.h"
#include "tests/support/MemoryRegistry.h"
#include "update/HttpClient.h"
#include "update/InstallerTrust.h"
#include "vdrive/ProcessStarter.h"

namespace mt::test {

// INI files in memory with the platform's rules: names compare without regard to case,
// a write keeps every other line, reads are cut at 2047 characters. Paths can be made
// read-only to script "Unable to write to %s".
class MemoryProfile : public ProfileStore {
 public:
  std::string ReadString(const std::string& path, const std::string& section,
                         const std::string& key, const std::string& def) override;
  void WriteString(const std::string& path, const std::string& section, const std::string& key,
                   const std::string& value) override;
  void MakeReadOnly(const std::string& path) { readOnly_.push_back(path); }
  // The file's text as the platform would leave it ("[section]\r\nkey=value\r\n...").
  std::string FileText(const std::string& path) const;
  bool Exists(const std::string& path) const;

 private:
  struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries;
  };
  std::map<std::string, std::vector<Section>> files_;
  std::vector<std::string> readOnly_;
};

// The real file system of the test machine, with "\" in paths mapped to "/".
class PosixFileSystem : public FileSystem {
 public:
  std::unique_ptr<FileStream> OpenRead(const std::string& path) override;
  std::unique_ptr<FileStream> Create(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  bool DirectoryExists(const std::string& path) override;
  // A symbolic link stands for a reparse point: never a folder of its own.
  bool IsListableFolder(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  // A symbolic link (the path itself or one inside) goes as a link.
  bool RemoveFolder(const std::string& path) override;
  std::vector<FindEntry> Find(const std::string& folder, const std::string& pattern) override;
  bool CreateDirectories(const std::string& path) override;
  void Rename(const std::string& from, const std::string& to) override;
  std::string FullPath(const std::string& path) override;
  // Device and inode number, so hard links and symbolic links to a folder are aliases as on
  // Windows. The Windows build of this stand-in cannot tell (its stat has no inode numbers).
  std::optional<FileIdentity> Identity(const std::string& path) override;
  // Read-only (no write permission) and the last-write time; no creation time.
  std::optional<FileMeta> Meta(const std::string& path) override;
  // Refuses a path with a symbolic link anywhere on it, as the real one refuses reparse points.
  void WriteRestored(const std::string& path, const std::string& bytes,
                     const FileMeta& meta) override;
  // Read-only (bit 1) as the write permissions; the other attributes are not kept.
  bool SetAttributes(const std::string& path, uint32_t attributes) override;
  static std::string ToPosix(const std::string& path);
};

// Files and folders in memory, with the faults a disk can show. Paths are compared as
// spelled; "C:" exists from the start. A file in a folder that does not exist cannot be
// written, as on a disk.
class MemoryFileSystem : public FileSystem {
 public:
  std::unique_ptr<FileStream> OpenRead(const std::string& path) override;
  std::unique_ptr<FileStream> Create(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  // Throws while throwOnFolders is set.
  bool DirectoryExists(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  // Files and folders below `path`; an undeletable or held file stays, with its folders.
  bool RemoveFolder(const std::string& path) override;
  std::vector<FindEntry> Find(const std::string& folder, const std::string& pattern) override;
  // Each missing level outermost first, as the platform does; stops at an unmakeable one.
  bool CreateDirectories(const std::string& path) override;
  std::string FullPath(const std::string& path) override { return path; }
  void WriteAll(const std::string& path, const std::string& bytes) override;
  void Rename(const std::string& from, const std::string& to) override;

  std::map<std::string, std::string> files;
  std::set<std::string> dirs{"C:"};
  std::set<std::string> undeletable;  // RemoveFile fails for these
  std::map<std::string, int> held;    // held open by someone: no write, rename or delete
  std::set<std::string> unmakeable;   // folders that cannot be created
  bool throwOnFolders = false;        // DirectoryExists throws
  bool failWrite = false;             // WriteAll keeps half of the bytes and throws
  bool failRename = false;
  std::vector<std::string> created;  // folders in creation order
  std::vector<std::string> log;      // "write path", "rename a b", "delete path"
};

struct ShellCall {
  WindowRef owner;
  std::string verb, file, params, directory;
  int show;
};

class RecordingShell : public Shell {
 public:
  void ShellOpen(WindowRef owner, const std::string& verb, const std::string& file,
                 const std::string& params, const std::string& directory, int show) override {
    opens.push_back({owner, verb, file, params, directory, show});
  }
  std::vector<ShellCall> opens;
};

// Answers each dialog with the next scripted answer; an unscripted dialog counts as cancel.
class ScriptedDialogs : public Dialogs {
 public:
  std::optional<std::vector<std::string>> OpenFile(WindowRef owner,
                                                   const FileDialogOptions& opts) override;
  std::optional<std::string> SaveFile(WindowRef owner, const FileDialogOptions& opts) override;
  std::optional<std::string> BrowseFolder(WindowRef owner, const std::string& title) override;

  std::deque<std::optional<std::vector<std::string>>> openAnswers;
  std::deque<std::optional<std::string>> saveAnswers;
  std::deque<std::optional<std::string>> folderAnswers;
  std::vector<FileDialogOptions> openAsked, saveAsked;
  std::vector<std::string> folderTitles;
};

struct ShownMessage {
  WindowRef owner;
  std::string text, caption;
  unsigned style;
};

class RecordingMessages : public MessageBoxes {
 public:
  int Show(WindowRef owner, const std::string& text, const std::string& caption,
           unsigned style) override {
    shown.push_back({owner, text, caption, style});
    if (answers.empty()) return 1;
    int a = answers.front();
    answers.erase(answers.begin());
    return a;
  }
  void Beep() override { ++beeps; }
  std::vector<ShownMessage> shown;
  std::vector<int> answers;  // returned in turn; 1 (OK) once they run out
  int beeps = 0;
};

class RecordingClipboard : public Clipboard {
 public:
  void SetText(WindowRef owner, const std::string& text) override;
  std::string text;
  bool failOpen = false;
};

class RecordingBrowser : public BrowserHost {
 public:
  struct Navigation {
    WindowRef parent;
    int left, height;
    std::string url;
  };
  void NavigateHidden(WindowRef parent, int left, int height, const std::string& url) override {
    navigations.push_back({parent, left, height, url});
  }
  std::vector<Navigation> navigations;
};

// ---- the tools' own services ----------------------------------------------------------

// Records the programs the drive page would start, instead of starting them.
struct StartedProgram {
  std::string program, arguments;
  LaunchSession session;
};

class RecordingStarter : public ProcessStarter {
 public:
  bool SeparateDesktopSession() override { return separateDesktop; }
  bool StartHidden(const std::string& program, const std::string& arguments,
                   LaunchSession session) override {
    started.push_back({program, arguments, session});
    return true;
  }
  bool separateDesktop = false;
  std::vector<StartedProgram> started;
};

// Every path has an icon unless listed in `noIcon`; short paths come from `shortPaths`, any
// other path does not convert.
struct ScriptedIcons : IconSource {
  struct Call {
    std::string path;
    uint16_t index;
  };
  int AppendAssociatedIcon(ImageListRef, const std::string& path, uint16_t index) override {
    calls.push_back({path, index});
    return noIcon.count(path) ? -1 : appended++;
  }
  std::string ShortPath(const std::string& path) override {
    auto it = shortPaths.find(path);
    return it == shortPaths.end() ? std::string() : it->second;
  }
  std::vector<Call> calls;
  std::set<std::string> noIcon;
  std::map<std::string, std::string> shortPaths;
  int appended = 0;
};

// Shortcuts kept as small text files on the given file system, one field a line (target,
// arguments, working folder, icon file, icon index, after the line "mt-test-shortcut"), so
// that the bytes on disk are what a backup must restore. A file in another form does not
// read, as a corrupt shortcut; paths in `refused` cannot be written.
class TextShortcuts : public ShortcutFiles {
 public:
  explicit TextShortcuts(FileSystem& files) : files_(files) {}
  std::vector<ShortcutFolder> Folders() override { return folders; }
  ShellLinkData Read(const std::string& path) override;
  void Write(const std::string& path, const ShellLinkData& link) override;
  // Makes (or replaces) the shortcut file `path`.
  void Make(const std::string& path, const ShellLinkData& link);

  std::vector<ShortcutFolder> folders;
  std::set<std::string> refused;
  std::vector<std::string> written;  // paths, in the order written

 private:
  FileSystem& files_;
};

// Known folders and version of a made-up system.
class ScriptedPlaces : public StartupPlaces {
 public:
  std::string WindowsDirectory() override { return windowsDirectory; }
  int PlatformId() override { return platformId; }
  std::string KnownUserStartup() override { return userStartup; }
  std::string KnownCommonStartup() override { return commonStartup; }
  std::string IndirectString(const std::string& source) override {
    const auto it = indirectStrings.find(source);
    return it == indirectStrings.end() ? std::string() : it->second;
  }

  std::string windowsDirectory = "C:\\WINDOWS";
  int platformId = 2;
  std::string userStartup, commonStartup;
  std::map<std::string, std::string> indirectStrings;  // what the shell's loader gives
};

// One scripted answer per URL; a URL without a script fails like an unreachable host.
struct FakeResponse {
  std::string body;
  int32_t contentLength = -1;  // what HEAD reports
  bool fail = false;           // the request throws
  size_t chunk = 0;            // report progress every `chunk` bytes (0: once at the end)
};

class FakeHttp : public HttpService {
 public:
  std::unique_ptr<HttpClient> CreateClient() override;

  std::map<std::string, FakeResponse> responses;
  // What the clients were asked, in order ("GET url", "HEAD url", "GETTEXT url").
  std::vector<std::string> requests;
  std::vector<std::string> userAgents;
  std::vector<bool> followRedirects;
  int clientsAlive = 0;
  bool failCreate = false;  // CreateClient throws
  std::mutex mutex;
};

// Gives every file the scripted verdict; a file it accepts is held in `files` (when given)
// until the VerifiedInstaller goes away, as the real verifier holds it open.
class FakeVerifier : public InstallerVerifier {
 public:
  explicit FakeVerifier(MemoryFileSystem* files = nullptr) : files_(files) {}
  TrustResult Verify(const std::string& path) override;

  TrustVerdict verdict = TrustVerdict::kTrusted;
  bool throws = false;
  std::vector<std::string> asked;  // the paths checked, in order
  std::vector<std::string> seen;   // what each file held when it was checked

 private:
  MemoryFileSystem* files_;
};

// The seal's secret in memory; none until made, never when `refused` (a standard user).
class MemorySealKeys : public SealKeyStore {
 public:
  std::optional<std::string> Key(bool create) override {
    if (refused) return std::nullopt;
    if (!secret && create) secret = std::string(32, '\x5a');
    return secret;
  }
  std::optional<std::string> secret;
  bool refused = false;
};

class RecordingLauncher : public InstallerLauncher {
 public:
  LaunchResult Start(VerifiedInstaller installer, const std::string& parameters, int show) override;

  struct Started {
    std::string path;
    std::string parameters;
    int show;
    bool held;  // the file was still held while it was started
  };
  std::vector<Started> started;
  std::function<bool(const std::string& path)> isHeld;
  LaunchResult result = LaunchResult::kStarted;
};

// Rights as scripted: held unless a test takes them away.
class ScriptedAdminRights : public AdminRights {
 public:
  bool Held() override {
    ++asked;
    return held;
  }
  bool held = true;
  int asked = 0;
};

// Programs as scripted: those named in `names` run (compared without letter case).
class ScriptedRunning : public RunningPrograms {
 public:
  bool IsRunning(const std::string& exeName) override {
    for (const std::string& n : names)
      if (EqualsNoCase(n, exeName)) return true;
    return false;
  }
  std::vector<std::string> names;
};

// The service manager as scripted: `services` by name (compared without letter case), each
// with its start type, whether it runs and what a change meets. Like the real manager it
// writes a changed start type into the service's registry key ("Start", and
// "DelayedAutostart" when that flag changes) when given a registry.
class MemoryServiceControl : public ServiceControl {
 public:
  struct Service {
    ServiceStart start;
    bool running = false;
    ServiceOutcome refuses = ServiceOutcome::Done;  // what a change meets
  };
  explicit MemoryServiceControl(MemoryRegistry* registry = nullptr) : registry_(registry) {}

  std::vector<ServiceRunState> States() override {
    ++listings;
    std::vector<ServiceRunState> out;
    for (const auto& [name, s] : services) out.push_back({name, s.running});
    return out;
  }
  std::optional<ServiceStart> StartOf(const std::string& name) override {
    const Service* s = Find(name);
    if (!s) return std::nullopt;
    return s->start;
  }
  ServiceOutcome SetStart(const std::string& name, const ServiceStart& start) override {
    Service* s = Find(name);
    if (!s) return ServiceOutcome::NoSuchService;
    if (s->refuses != ServiceOutcome::Done) return s->refuses;
    const std::string key = "SYSTEM\\CurrentControlSet\\Services\\" + name;
    if (registry_) registry_->SetDword(RegRoot::LocalMachine, key, "Start", start.start);
    if (registry_ && s->start.delayed != start.delayed)
      registry_->SetDword(RegRoot::LocalMachine, key, "DelayedAutostart", start.delayed ? 1 : 0);
    s->start = start;
    return ServiceOutcome::Done;
  }
  Service* Find(const std::string& name) {
    for (auto& [n, s] : services)
      if (EqualsNoCase(n, name)) return &s;
    return nullptr;
  }

  std::map<std::string, Service> services;
  int listings = 0;

 private:
  MemoryRegistry* registry_;
};

// All stand-ins together, wired into a Services bundle. Nothing in it reaches the network,
// starts a program or reads this machine's known folders; a test that wants a real service
// points the bundle at it.
struct TestServices {
  MemoryRegistry registry;
  PosixFileSystem files;
  MemoryProfile profile;
  RecordingShell shell;
  ScriptedDialogs dialogs;
  RecordingMessages messages;
  RecordingClipboard clipboard;
  RecordingBrowser browser;
  RecordingStarter processes;
  ScriptedIcons icons;
  TextShortcuts shortcuts{files};
  ScriptedPlaces startupPlaces;
  FakeHttp http;  // no scripted answers: every address is unreachable
  FakeVerifier installerVerifier;
  RecordingLauncher installerLauncher;
  MemorySealKeys sealKeys;
  ScriptedAdminRights admin;
  ScriptedRunning running;
  Services services;

  explicit TestServices(std::string exeDir = "C:\\Tools") {
    services.registry = &registry;
    services.files = &files;
    services.profile = &profile;
    services.shell = &shell;
    services.dialogs = &dialogs;
    services.messages = &messages;
    services.clipboard = &clipboard;
    services.browser = &browser;
    services.processes = &processes;
    services.icons = &icons;
    services.shortcuts = &shortcuts;
    services.startupPlaces = &startupPlaces;
    services.http = &http;
    services.installerVerifier = &installerVerifier;
    services.installerLauncher = &installerLauncher;
    services.sealKeys = &sealKeys;
    services.changeKinds = &ProgramChangeKinds();
    services.admin = &admin;
    services.running = &running;
    services.exeDir = std::move(exeDir);
  }
};

// A fresh, empty temporary folder, removed with everything in it on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Whole-file helpers for tests.
void WriteWholeFile(const std::string& path, const std::string& bytes);
std::string ReadWholeFile(const std::string& path);

}  // namespace mt::test
