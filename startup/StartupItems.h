// The startup-item manager: what starts when a user logs on, from the Run keys (the
// machine's in both registry views, and the user's), two Startup folders and the other
// registry places the system starts programs from (RunOnce, RunOnceEx, the policy Run lists,
// the Windows "Load" and "Run" values, the Winlogon shell and user-init programs), adding a
// program to the machine Run key and deleting checked items.
// The logic works on the registry and file-system services and on a StartupView (the list
// the user sees), so that the page's handlers run natively in tests.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "app/Path.h"
#include "app/Registry.h"
#include "app/Services.h"
#include "startup/ProgramPath.h"

namespace mt {

// Key of both Run keys (below HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER).
inline constexpr const char* kRunKeyPath = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kShellFoldersPath =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
// Where the all-users Startup folder sits below the Windows directory's parent on the
// Chinese-language systems the program was first made for.
inline constexpr const char* kCommonStartupTail =
    "Documents and Settings\\All Users\\「开始」菜单\\程序\\启动";
inline constexpr const char* kAddRefusedText = "被杀毒软件拦截，修改不成功";
inline constexpr const char* kExeFilter = "*.exe|*.exe";

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
  ScheduledTask = 15,  // a task with a log-on or boot trigger; the name is its path
};

// Below HKEY_LOCAL_MACHINE (and for RunOnce, HKEY_CURRENT_USER as well).
inline constexpr const char* kRunOnceKeyPath =
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr const char* kRunOnceExKeyPath =
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx";
inline constexpr const char* kPolicyRunKeyPath =
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";
inline constexpr const char* kWindowsKeyPath =
    "\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
inline constexpr const char* kWinlogonKeyPath =
    "\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
// What the system starts when Winlogon's values are left alone.
inline constexpr const char* kDefaultShell = "explorer.exe";
inline constexpr const char* kUserinitTail = "\\system32\\userinit.exe,";

// How the rows of a registry place are read and deleted.
enum class PlaceKind {
  RunList,    // every value is a command; a value that is not text ends the refresh
  ValueList,  // every text value is a command; other values are not started and not listed
  RunOnceEx,  // every text value of every subkey
  Named,      // only the named values (the Windows key's "Load" and "Run"), when not blank
  Winlogon,   // "Shell" and "Userinit" when they differ from the default; deleting restores it
};

// One registry place of the startup list.
struct RegistryPlace {
  StartupSource source;
  RegRoot root;
  RegView view;
  const char* path;  // from the root, with the leading "\"
  PlaceKind kind;
};

// The registry place of a row source; null for the two folders.
const RegistryPlace* RegistryPlaceOf(StartupSource source);
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

// The text the name column shows for a row: its name, with kRun32Mark after it for a row of
// a 32-bit registry place.
std::string ShownName(const StartupRow& row);
// The row's name back from the text its name column shows.
std::string NameFromShown(const std::string& shown, StartupSource source);

class StartupItems {
 public:
  StartupItems(Services& svc, StartupPlaces& places) : svc_(svc), places_(places) {}

  // Empties the view and lists the places in order: machine Run key, 32-bit machine Run key,
  // user Run key, user Startup folder, common Startup folder, the other registry places, the
  // scheduled tasks. A Run value that is not text ends the refresh with "Invalid data type
  // for '%s'"; the rows so far stay, that value's row without a location.
  void Refresh(StartupView& view);
  // Appends one row per value of the Run key of `source` (one of the three Run keys).
  void ListRunKey(StartupView& view, StartupSource source);
  // Appends the rows of one registry place by the rules of its kind.
  void ListPlace(StartupView& view, const RegistryPlace& place);
  // Appends a row per scheduled task that starts at log-on or boot (none without a store).
  void ListTasks(StartupView& view);
  void ListTasks(StartupView& view, const std::vector<struct TaskInfo>& tasks);
  // Winlogon's own value for "Shell" or "Userinit" (empty for another name).
  std::string WinlogonDefault(const std::string& name);
  // True when `data` is what the system uses for that Winlogon value anyway.
  bool IsWinlogonDefault(const std::string& name, const std::string& data);
  // The user Startup folder: "Shell Folders"\"Startup", or the platform's own when that
  // value is missing or empty. Empty when neither is known.
  std::string UserStartupFolder();
  // The common Startup folder: the fixed path below the Windows directory's parent when it
  // is a real folder that can be listed, otherwise the platform's own all-users Startup
  // folder.
  std::string CommonStartupFolder();
  // The fixed path (with its trailing backslash) the common folder is looked for at first.
  std::string FixedCommonStartupPath();

  // Writes the machine Run value for `program` (name: its file name, data: the path as
  // given). False when the key cannot be opened or the write is refused.
  bool AddProgram(const std::string& program);
  // Deletes one row's item from its own place; a Winlogon row gets the system's default
  // back instead. False when nothing was deleted.
  bool DeleteItem(const StartupRow& row);

  // The "添加" button: asks for a program, writes it, tells the user when the write was
  // refused, and refreshes. Without administrator rights it only says they are needed: the
  // program would go into the machine Run key.
  void AddClick(StartupView& view, WindowRef owner, const FileDialogOptions& dialog);
  // The "删除" button: saves every checked row's item in a backup set first (registry values
  // into its export file, shortcuts moved into it, a scheduled task's exported definition as
  // "<task name>.xml"), then deletes them, last row first,
  // without asking or reporting, and refreshes. When the backup cannot be written nothing is
  // deleted: the user is told so and the list is left as it is. Without administrator rights
  // the checked rows of the machine's places are left alone (not saved, not deleted) and
  // named afterwards in one notice; the user's own rows go as usual.
  void DeleteClick(StartupView& view, WindowRef owner = nullptr);
  // "打开文件位置": shows the selected row's program selected in an Explorer window (a folder
  // row: its shortcut file). A beep when no row is selected or the file is not there.
  void OpenFileLocation(StartupView& view, WindowRef owner, const ProgramLookup& lookup);
  // "禁用" / "启用": writes the state of every checked row the way the system's own startup
  // manager does (a scheduled task is switched off and on in the scheduler), tells the user
  // when a write was refused, and refreshes. Without administrator rights the rows of the
  // machine's places are left as they are and named in one notice.
  void SetCheckedEnabled(StartupView& view, bool enabled, WindowRef owner = nullptr);

 private:
  void ListFolder(StartupView& view, const std::string& folder, StartupSource source);
  // Records what deleting `row` removes; false when it cannot be saved (a task whose
  // definition cannot be read).
  bool SaveForDeletion(class DeletionBackup& backup, const StartupRow& row);

  Services& svc_;
  StartupPlaces& places_;
};

}  // namespace mt
