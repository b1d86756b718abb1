// Restoring items of a backup set through the program's own services. A restore is itself a
// change: before it writes anything it saves a set of what it will overwrite or remove, so it
// can be undone the same way. Each item is read back afterwards and compared with the state
// the set recorded; the report names what came back and what did not, with the reason.
#pragma once

#include <string>
#include <vector>

#include "app/BackupSets.h"

namespace mt {

inline constexpr const char* kBackedUpLine = "已备份，可在「恢复备份」中撤销";
inline constexpr const char* kRestoreWindowTitle = "备份与恢复";
inline constexpr const char* kRestoreMenuText = "恢复备份…";
// A restore saves what it will overwrite first; when that fails it writes nothing.
inline constexpr const char* kRestoreBackupFailedText =
    "无法保存恢复前的备份，为防止数据丢失，本次没有恢复任何项目";

// What the restore asks the user; the window answers, tests script the answers.
class RestoreQuestions {
 public:
  virtual ~RestoreQuestions() = default;
  // The item is not in the state the action left (someone changed it since): restore it
  // anyway? `now` describes the state it is in.
  virtual bool ConfirmChanged(const SetItem& item, const std::string& now) = 0;
  enum class FileChoice { Overwrite, KeepBoth, Skip };
  // A file of other bytes stands where the item goes back to.
  virtual FileChoice FileConflict(const SetItem& item) = 0;
  // Before any machine-wide write: the items and the data each gets back (one text per
  // item). False restores none of them.
  virtual bool ConfirmMachineWide(const std::vector<const SetItem*>& items,
                                  const std::vector<std::string>& data) = 0;
  // A question an item asks once it is back (the drive mapping: map it now?).
  virtual bool AskFollowUp(const std::string& question) = 0;
};

struct RestoreOutcome {
  std::string caption, place;
  bool back = false;
  std::string reason;  // why it did not come back, or a remark ("已保留两者：...")
};

struct RestoreReport {
  std::vector<RestoreOutcome> items;
  // The set the restore saved before it wrote (empty when nothing was written).
  std::string undoFolder;
  // Set when the restore did not start at all (a damaged set, the undo set not written).
  std::string refused;
  // The notice: what came back, what did not and why.
  std::string Text() const;
};

// Restores the items `chosen` (indexes into set.items) of `set`; `dataDir` is where the
// restore's own set goes (DataFolder). Never throws.
RestoreReport RestoreItems(const ChangeEnv& env, const std::string& dataDir,
                           const BackupSetInfo& set, const std::vector<size_t>& chosen,
                           RestoreQuestions& ask);

}  // namespace mt
