// The rows of the startup list and what they are shown in: where a row comes from, the row
// itself, the platform places the registry does not reach and the list as the logic sees it.
// Each source belongs to one family (StartupFamily.h), which knows its words and rules.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace mt {

// Where a row came from; decides how it is deleted. The values are stored with list rows
// and follow the order in which the places are listed. MachineRun32 is the machine Run key
// as 32-bit programs see it (HKLM\SOFTWARE\WOW6432Node\...\Run on 64-bit Windows), where
// most programs that register themselves machine-wide put their entries.
// The places after the first five are listed after them, in this order.
enum class StartupSource : int {
  MachineRun = 0,
  MachineRun32 = 1,
  UserRun = 2,
  UserFolder = 3,
  CommonFolder = 4,
  MachineRunOnce = 5,
  MachineRunOnce32 = 6,
  UserRunOnce = 7,
  MachineRunOnceEx = 8,  // a row per value of each subkey, named "subkey\value"
  MachineRunOnceEx32 = 9,
  MachinePolicyRun = 10,  // ...\Policies\Explorer\Run
  UserPolicyRun = 11,
  UserWindowsLoad = 12,  // HKCU ...\Windows NT\CurrentVersion\Windows, "Load" and "Run"
  Winlogon = 13,         // "Shell" and "Userinit", when they are not the system's own
  Winlogon32 = 14,
  ScheduledTask = 15,      // a task with a log-on or boot trigger; the name is its path
  MachineCmdAutoRun = 16,  // "AutoRun" of ...\Command Processor, which cmd.exe runs first
  MachineCmdAutoRun32 = 17,
  UserCmdAutoRun = 18,
  // Image hijacks (below HKLM, ...\Image File Execution Options and SilentProcessExit): the
  // name is the program file, the location the program started in its place.
  ImageDebugger = 19,
  ImageDebugger32 = 20,
  ImageExitMonitor = 21,
  ImageExitMonitor32 = 22,
  // Winlogon's "VmApplet", "TaskMan" and "AppSetup" (HKLM, both views) and the user's own
  // Winlogon "Shell", when they are not the system's own.
  MachineWinlogonExtra = 23,
  MachineWinlogonExtra32 = 24,
  UserWinlogonShell = 25,
  // The Run, RunOnce and RunOnceEx keys below ...\Terminal Server\Install\Software (HKLM, both
  // views), which the system copies into each user's log-on on a terminal server.
  TerminalRun = 26,
  TerminalRun32 = 27,
  TerminalRunOnce = 28,
  TerminalRunOnce32 = 29,
  TerminalRunOnceEx = 30,
  TerminalRunOnceEx32 = 31,
  // The policy's "Shell" (...\Policies\System), which replaces Winlogon's.
  MachinePolicyShell = 32,
  UserPolicyShell = 33,
  // HKCU\Environment "UserInitMprLogonScript": the user's logon script, run by userinit.
  UserLogonScriptValue = 34,
  // Group Policy's start-up scripts (HKLM) and logon scripts (HKCU), ...\Group Policy\Scripts:
  // a row per script, named "policy\script" by its two index keys.
  MachineStartupScript = 35,
  UserLogonScript = 36,
  // Active Setup's components (HKLM ...\Active Setup\Installed Components\*, both views): the
  // "StubPath" the system runs once for each user at log-on; named by the component's key.
  ActiveSetup = 37,
  ActiveSetup32 = 38,
  // Services that start with Windows (HKLM\SYSTEM\CurrentControlSet\Services): the name is
  // the service's key name, the location its program (a shared-process service's DLL).
  ServiceAuto = 40,
  ServiceDelayed = 41,       // automatic, started a while after the others
  ServiceTrigger = 42,       // on demand, started by the system at an event it names
  ServiceUserTemplate = 43,  // a per-user service: a copy of it starts in each session
  // A packaged app's start-up task (startup/PackagedApps.h): read-only.
  PackagedApp = 45,
};

// A short text that names the place a row comes from, for the "来源" column.
std::string SourceText(StartupSource source);
// True for the places of the 32-bit registry view.
bool Is32BitSource(StartupSource source);
// True for the two Startup folders, whose rows are shortcut files rather than command lines.
bool IsFolderSource(StartupSource source);
// True for the places that belong to the whole machine (the HKLM places, the common Startup
// folder, the scheduled tasks): deleting, switching or adding there needs administrator
// rights, and so does writing their on/off record, which is kept below HKLM too.
bool IsMachineSource(StartupSource source);

// Put after the name of a row from a 32-bit registry place (the 32-bit machine Run key and
// the other machine places WOW64 redirects), so that it can be told from a value of the same
// name in the native view.
inline constexpr const char* kRun32Mark = " (32位)";

struct StartupRow {
  std::string name;      // value name, or shortcut file name with its extension
  std::string location;  // value data, or full path of the shortcut file
  StartupSource source = StartupSource::MachineRun;
  bool checked = false;
  // Whether the system starts it: false when switched off in the StartupApproved keys.
  bool enabled = true;
  // More of its state, shown after the on/off word (a service: whether it runs now).
  std::string status = {};
};

// Places of the platform that the registry handle does not reach.
class StartupPlaces {
 public:
  virtual ~StartupPlaces() = default;
  // The Windows directory ("C:\WINDOWS").
  virtual std::string WindowsDirectory() = 0;
  // Platform id of the version query: 2 for the NT family.
  virtual int PlatformId() = 0;
  // The platform's own Startup folders of the current user and of all users; empty when
  // the platform does not know them.
  virtual std::string KnownUserStartup() = 0;
  virtual std::string KnownCommonStartup() = 0;
  // The text the shell's indirect-string loader gives for `source` ("@{<package full
  // name>?ms-resource://...}"); empty when it cannot.
  virtual std::string IndirectString(const std::string& source) {
    (void)source;
    return std::string();
  }
};

// The list on the page, as the logic sees it.
class StartupView {
 public:
  virtual ~StartupView() = default;
  virtual void Clear() = 0;
  // Appends a row (unchecked) and returns its index.
  virtual size_t Append(const StartupRow& row) = 0;
  virtual void SetLocation(size_t index, const std::string& location) = 0;
  virtual size_t Count() = 0;
  // The row at `index` with its check state.
  virtual StartupRow Row(size_t index) = 0;
  virtual void Remove(size_t index) = 0;
  // Makes the names read-only (no in-place editing).
  virtual void SetReadOnly() {}
  // The row the user has selected (focused), if any.
  virtual std::optional<size_t> Selected() { return std::nullopt; }
};

// A list of rows in memory: what a read appends, kept (and the tests' list).
class RowList : public StartupView {
 public:
  void Clear() override { rows.clear(); }
  size_t Append(const StartupRow& row) override {
    rows.push_back(row);
    rows.back().checked = false;
    return rows.size() - 1;
  }
  void SetLocation(size_t index, const std::string& location) override {
    rows.at(index).location = location;
  }
  size_t Count() override { return rows.size(); }
  StartupRow Row(size_t index) override { return rows.at(index); }
  void Remove(size_t index) override {
    rows.at(index);  // throws for a row that is not there
    rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(index));
  }

  std::vector<StartupRow> rows;
};

// The text the name column shows for a row: its name, with kRun32Mark after it for a row of
// a 32-bit registry place.
std::string ShownName(const StartupRow& row);
// The row's name back from the text its name column shows.
std::string NameFromShown(const std::string& shown, StartupSource source);

}  // namespace mt
