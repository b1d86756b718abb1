// The startup-item manager: what starts when a user logs on, from every family of places
// (StartupFamily.h: the registry places, the two Startup folders, the scheduled tasks),
// adding a program to the machine Run key, deleting checked items and switching them off and
// on, each action saved in a backup set first.
// The logic works on the registry and file-system services and on a StartupView (the list
// the user sees), so that the page's handlers run natively in tests.
#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/Path.h"
#include "app/Registry.h"
#include "app/Services.h"
#include "startup/ProgramPath.h"
#include "startup/RunKeyFamily.h"
#include "startup/StartupFamily.h"
#include "startup/StartupFolderFamily.h"
#include "startup/StartupRows.h"

namespace mt {

inline constexpr const char* kAddRefusedText = "被杀毒软件拦截，修改不成功";
inline constexpr const char* kExeFilter = "*.exe|*.exe";
// Told after a deletion that left ticked rows "删除" may not remove, before their names, one
// per line, when their family has no words of its own.
inline constexpr const char* kNotDeletableText = "以下项目不能在这里删除，已跳过：";
// Told, with the rows' names and places below it, when ticked rows could not be deleted.
inline constexpr const char* kDeleteFailedText = "以下项目未能删除：";
// Told when the on/off state of the ticked rows cannot be saved first.
inline constexpr const char* kSwitchBackupFailedText =
    "无法保存备份，为防止数据丢失，本次没有更改任何项目";
// Heads the rows whose switch was refused with a reason of its own, one per line.
inline constexpr const char* kSwitchRefusedText = "以下项目没有更改：";

// What the families that read ahead (the scheduled tasks) found, read on a thread other than
// the window's: for each such family the function that appends its rows, or what reading
// threw.
struct StartupReadAhead {
  struct Read {
    const StartupFamily* family = nullptr;
    std::function<void(StartupView&)> listRows;
    std::exception_ptr failed;
  };
  std::vector<Read> reads;

  // Whether `other` read the same rows, in the same order (a read that failed is never the
  // same): then a list showing this one's rows needs no new listing for `other`.
  bool SameRowsAs(const StartupReadAhead& other) const;
};

class StartupItems {
 public:
  StartupItems(Services& svc, StartupPlaces& places)
      : svc_(svc), places_(places), ctx_{svc, places} {}

  // Empties the view and lists every family's sources in order: machine Run key, 32-bit
  // machine Run key, user Run key, user Startup folder, common Startup folder, the other
  // registry places, the scheduled tasks. A Run value that is not text ends the refresh with
  // "Invalid data type for '%s'"; the rows so far stay, that value's row without a location.
  void Refresh(StartupView& view);
  // The same, with the families that read ahead taken from `ahead` instead of read now: a
  // family `ahead` lacks is left out of the list (its rows come with the next refresh), so
  // the calling thread never waits for it.
  void Refresh(StartupView& view, const StartupReadAhead& ahead);
  // Reads every family that reads ahead, on the calling thread; what a family's store throws
  // is kept for the refresh that lists it.
  StartupReadAhead ReadAhead() const;
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
  // "禁用" / "启用": saves the on/off state of every checked row that can be switched in one
  // backup set (so "恢复备份…" can take the click back), then writes the state the way the
  // system's own startup manager does (a scheduled task is switched off and on in the
  // scheduler), tells the user when a write was refused, and refreshes. When the set cannot
  // be written nothing is switched and the user is told so. Without administrator rights the
  // rows of the machine's places are left as they are and named in one notice.
  void SetCheckedEnabled(StartupView& view, bool enabled, WindowRef owner = nullptr);

 private:
  Services& svc_;
  StartupPlaces& places_;
  StartupContext ctx_;
};

}  // namespace mt
