// The "系统启动项" page of the Main window: the startup list (ListView2), "添加" and "删除",
// and the list's context menu. The work is done by StartupItems; the page shows its rows and
// fills the publisher column from a worker thread of its own.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/win/TabPage.h"
#include "startup/StartupItems.h"

namespace mt {

struct Services;
struct StartupPageState;

class StartupPage : public TabPage {
 public:
  static constexpr int kTab = 3;
  StartupPage(TForm1& form, HWND sheet);
  ~StartupPage() override;

  void Shown() override { TabSheet4Show(); }
  // The columns share the list's width at the new DPI.
  void DpiChanged() override { SizeColumns(); }
  // Stops the publisher worker and waits for it.
  void Shutdown() override;

  void TabSheet4Show();
  void Button2Click();
  void Button6Click();
  // The list's context menu: "禁用" / "启用" the ticked rows.
  void DisableCheckedStartupItems();
  void EnableCheckedStartupItems();
  // "打开文件位置": the selected row's program, selected in Explorer.
  void OpenStartupFileLocation();
  // "隐藏微软签名的项目": the tick that hides rows signed by Microsoft (kept in config.ini).
  void ToggleHideMicrosoftStartupItems();
  bool HideMicrosoftStartupItems() const;
  // True while the publisher column of the latest refresh is still being filled.
  bool StartupPublishersPending() const;
  // True while the scheduled tasks are being read for the list (off the UI thread).
  bool StartupTasksPending() const;

  // ListView2: the startup list (check boxes); each row's lParam holds where the row came
  // from. Button2 "添加", Button6 "删除".
  HWND ListView2 = nullptr, Button2 = nullptr, Button6 = nullptr;

  // Starts reading the scheduled tasks on a thread of their own, unless a read is under way;
  // the list is rebuilt with them when they are in.
  void ReadTasksAhead();
  // Sizes the columns to the list: every header whole, no sideways scrolling; the command
  // line column takes what the others leave.
  void SizeColumns();
  // What hovering row `item` shows: its name and its whole command line.
  std::string RowTip(int item) const;

  // The page's state, for the helpers of its own file.
  StartupPageState& State() { return *state_; }
  Services& svc() { return svc_; }

 private:
  Services& svc_;
  std::unique_ptr<StartupPageState> state_;
};

// Rebuilds the page's list with the scheduled tasks as last read (without them before the
// first read is in), never waiting for the scheduler. With `keepFound` the publisher column
// goes on from what was found for the list before (the same list, shown moments ago).
void ListWithTasksRead(StartupPage& page, bool keepFound = false);

// The rows of a startup list view as they stand (texts, source, check state).
std::vector<StartupRow> StartupRowsOf(HWND listView);

}  // namespace mt
