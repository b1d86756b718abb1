// The window "备份与恢复": the backup sets below "备份", newest first, and the items of the
// chosen one, restored item by item or whole through app/Restore.h. The window answers the
// restore's questions itself (yes/no notices, and the three choices of a file that stands in
// the way). The sets are read, and the restore runs, on worker threads, so many large sets
// never hold the window up (the restore's questions are asked on the window's thread while
// its worker waits); a set that cannot be read is listed as damaged and never stops the
// others. A set's seal is checked when the set is shown.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/BackupSets.h"
#include "app/Restore.h"
#include "app/Services.h"
#include "app/UiAsker.h"
#include "app/Worker.h"
#include "app/win/Window.h"

namespace mt {

class RestoreWindow;

// The confirmation before machine-wide writes: every item with the data it gets back, in a
// text box that scrolls, and "恢复" / "取消" ("取消" has the focus; Esc and the close box
// cancel). Modal over the restore window.
class MachineWideConfirm : public Window {
 public:
  explicit MachineWideConfirm(RestoreWindow& owner);
  ~MachineWideConfirm() override;
  // Shows `text` and waits for the answer; true for "恢复".
  bool Ask(const std::string& text);

  HWND TextBox = nullptr, YesButton = nullptr, NoButton = nullptr;
  void ShowErrorReport(const std::string& message) override;

 protected:
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
  void OnEscape() override { Answer(false); }

 private:
  void Answer(bool yes);
  RestoreWindow& owner_;
  bool done_ = false, yes_ = false;
};

class RestoreWindow : public Window, public RestoreQuestions {
 public:
  RestoreWindow(Services& services, HWND owner);
  ~RestoreWindow() override;

  // Creates the window hidden and starts reading the sets.
  void Create();
  void Show();

  Services& svc;

  // SetList: the sets (time, tool, number of items, state); ItemList: the chosen set's items
  // with check boxes (caption, place, state); StatusLabel: reading, or why the set is damaged.
  HWND SetList = nullptr, ItemList = nullptr, StatusLabel = nullptr;
  HWND RestoreChosenButton = nullptr, RestoreAllButton = nullptr, DeleteButton = nullptr,
       ShowInExplorerButton = nullptr, OpenFolderButton = nullptr, CloseButton = nullptr;

  // Reads the sets again (on the worker); the lists show them once read.
  void Refresh();
  // True while the sets are being read or a restore runs (both on a worker).
  bool Reading() const { return reading_ || busy_; }
  // The sets as listed, newest first.
  const std::vector<BackupSetInfo>& Sets() const { return sets_; }
  // The chosen set's index in Sets(), or -1.
  int ChosenSet() const;
  void ChooseSet(int index);
  // Ticks the item rows; indexes into the chosen set's items.
  void TickItems(const std::vector<size_t>& items);

  // The buttons.
  void RestoreChosenClick();
  void RestoreAllClick();
  void DeleteSetClick();
  void ShowInExplorerClick();
  void OpenFolderClick();

  // ---- the restore's questions --------------------------------------------------------------
  bool ConfirmChanged(const SetItem& item, const std::string& now) override;
  // "覆盖", "保留两者", "跳过" in a task dialog (Esc skips).
  FileChoice FileConflict(const SetItem& item) override;
  bool ConfirmMachineWide(const std::vector<const SetItem*>& items,
                          const std::vector<std::string>& data) override;
  bool AskFollowUp(const std::string& question) override;
  // The ids of the file conflict's buttons, and a call made with the dialog once it is on
  // screen (tests press a button from there).
  static constexpr int kOverwriteButton = 101, kKeepBothButton = 102, kSkipButton = 103;
  std::function<void(HWND dialog)> fileChoiceShown;
  // Called with the machine-wide confirmation once it is on screen, before it waits.
  std::function<void(MachineWideConfirm&)> machineWideShown;

  void ShowErrorReport(const std::string& message) override;

 protected:
  void OnEscape() override;
  void OnDestroying() override;
  void OnDpiChanged() override;

 private:
  const BackupSetInfo* Chosen() const;
  void StopReading();
  void StopRestoring();
  void RestoreDone(const RestoreReport& report);
  void ShowSets(std::vector<BackupSetInfo> sets);
  void FillItems();
  void UpdateButtons();
  void Restore(const std::vector<size_t>& chosen);
  int Notice(const std::string& text, unsigned style);
  std::string UnplacedFileOfSelection() const;
  void SetColumnWidths();

  HWND owner_;
  std::string dataDir_;
  const ChangeKinds* kinds_ = nullptr;
  ChangeKinds basicKinds_;
  std::vector<BackupSetInfo> sets_;
  int shownSet_ = -1;  // the set whose items ItemList shows
  bool reading_ = false, busy_ = false, filling_ = false;
  uint64_t generation_ = 0;
  std::shared_ptr<std::atomic<bool>> stop_;
  Worker reader_;
  // The restore runs on a worker of its own; its questions come to the window through asker_.
  std::shared_ptr<UiAsker> asker_;
  Worker restorer_;
};

// Opens the window owned by `owner` (the Main window), or brings it forward when it is open.
RestoreWindow& OpenRestoreWindow(Services& svc, HWND owner);
// The window when it is open, else null.
RestoreWindow* RestoreWindowIfOpen();
// Closes the window and frees it (a Main window that goes away while the process stays).
void CloseRestoreWindow();

// The folder name of a set as the list shows it: "2026-12-08 15.54.00" -> "2026-12-08 15:54:00".
std::string SetTimeText(const std::string& name);

}  // namespace mt
