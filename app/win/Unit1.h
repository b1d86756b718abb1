// The Main window: the tab control with the five tabs, the About tab, the contact strip, the
// two timers, the dialogs and ImageList1. Each tool's tab is a page of its own (TabPage) in
// the tool's folder; the window makes it from the plan the program gives it, the first time
// the tab is about to show, and hands it the window's messages that are the page's.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/Constants.h"
#include "app/Services.h"
#include "app/win/Handles.h"
#include "app/win/TabPage.h"
#include "app/win/Window.h"

namespace mt {

class TForm1;

// What the program puts into its Main window: a maker for each tool's page and the steps of
// the parts that run in the background. Whatever is left empty is not done (a test of the
// frame alone leaves everything empty).
struct FormPlan {
  using PageMaker = std::function<std::unique_ptr<TabPage>(TForm1&, HWND sheet)>;
  // The pages of tabs 0-3 ("分割文件", "虚拟硬盘", "IE修复", "系统启动项").
  std::array<PageMaker, 4> pages;
  std::function<bool(TForm1&)> partnerEditionTest;
  std::function<void(TForm1&)> launchCounterStep;
  std::function<void(TForm1&)> startUpdateCheck;
  std::function<void(TForm1&)> timer2Timer;
};

class TForm1 : public Window {
 public:
  TForm1(Services& services, FormPlan plan);
  ~TForm1() override;

  // Creates the window (hidden) and runs FormCreate.
  void Create();
  // Shows the window and runs FormShow on the first showing.
  void Show(int cmdShow = SW_SHOWNORMAL);

  // Every service the pages use, the tools' own included; the window never picks one itself.
  Services& svc;
  // Closing the window ends the message loop; tests that make several windows turn it off.
  bool quitOnDestroy = true;
  // True once the shell has sent "TaskbarButtonCreated": from then on the taskbar button takes
  // progress (ITaskbarList3).
  bool taskbarButtonReady = false;

  // ---- the window ------------------------------------------------------------------------
  std::string Caption() const;
  void SetCaption(const std::string& caption);
  // Runs `work` on the UI thread (from any thread). False when it could not be queued (the
  // window is gone, or its message queue is full): then it never runs.
  bool PostToUi(std::function<void()> work) { return Post(std::move(work)) == Handed::Queued; }
  // The general error report: the text (full stop added where due), the application title,
  // an error icon.
  void ShowErrorReport(const std::string& message) override;
  // Message box owned by the Main window: OK button, no icon.
  int Notice(const std::string& text, const std::string& caption = kNoticeCaption);
  // Sets a tool-tip on a control.
  void SetHint(HWND control, const std::string& hint);

  // ---- tabs --------------------------------------------------------------------------------
  HWND PageControl1 = nullptr;
  HWND TabSheet1 = nullptr, TabSheet2 = nullptr, TabSheet3 = nullptr, TabSheet4 = nullptr,
       TabSheet5 = nullptr;
  int ActivePageIndex() const;
  // Makes page `index` (0-based) active and runs its page-shown handler.
  void SetActivePage(int index);
  static constexpr int kPageCount = 4;

  // ---- start-up (app/Unit1.cpp) ------------------------------------------------------------
  void FormCreate();
  void FormShow();

  // ---- contact strip and About page (app/Unit1.cpp) ---------------------------------------
  HWND Label10 = nullptr, Label24 = nullptr, Label25 = nullptr, Label26 = nullptr, Label7 = nullptr,
       Label23 = nullptr, Label27 = nullptr;
  HWND Panel2 = nullptr;  // the About page's raised panel
  HWND Label8 = nullptr, Label11 = nullptr, Label17 = nullptr, Label14 = nullptr, Label15 = nullptr,
       Label16 = nullptr, Panel3 = nullptr, Label18 = nullptr, Label19 = nullptr, Label20 = nullptr,
       Label21 = nullptr, Label22 = nullptr;
  void Label23Click();
  void Label24Click();
  void Label26Click();
  void Label27Click();

  // ---- timers ------------------------------------------------------------------------------
  static constexpr UINT_PTR kTimer2 = 2, kTimer3 = 3;
  void SetTimer2Enabled(bool enabled);
  void SetTimer3Enabled(bool enabled);
  bool Timer2Enabled() const { return timer2_; }
  bool Timer3Enabled() const { return timer3_; }
  void Timer3Timer();

  // ---- the dialogs the pages ask for ----------------------------------------------------
  // OpenDialog1: the file to split; OpenDialog2: the pieces (several at once); SaveDialog1:
  // the merge output, its filter and file name set before each use; OpenDialog3: the program
  // to start at log-on.
  FileDialogOptions OpenDialog1, OpenDialog2, SaveDialog1;
  FileDialogOptions OpenDialog3{"*.exe|*.exe", "", "", false, false};
  // The add-on list's images, 16 x 16, only ever appended to (the list only borrows it).
  UniqueImageList ImageList1;

  // ---- pages -------------------------------------------------------------------------------
  // The page of `tab` (0-3; the About tab is the window's own), made now if it was not yet.
  TabPage& EnsurePage(int tab);
  // The page of `tab` when it was made, else null.
  TabPage* PageIfMade(int tab) const;
  // The page of type P (which names its tab as P::kTab), made now if it was not yet.
  template <class P>
  P& Page() {
    return static_cast<P&>(EnsurePage(P::kTab));
  }

  // ---- the background parts (given by the program's plan) --------------------------------
  // Partner edition test and launch counter step (FormCreate).
  bool PartnerEditionTest();
  void LaunchCounterStep();
  // Creates and starts the update-check worker (FormShow step 3).
  void StartUpdateCheck();
  // The Reminder decision: once per arming of Timer2.
  void Timer2Timer();
  // Where the update's threads post to the UI thread: closed when the window is destroyed.
  std::shared_ptr<UiGate> UpdateGate() { return Gate(); }

 protected:
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
  bool OnPanelMessage(HWND panel, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
  void OnDpiChanged() override;
  void OnDestroying() override;

 private:
  void CreateFrame();
  void CreateContactStrip();
  void LayoutContactStrip();
  void CreateTabSheet5Controls();
  void PageShown(int index);
  bool IsLink(HWND control) const;

  int linkFont_ = kNormalFont;
  HWND tooltip_ = nullptr;
  FormPlan plan_;
  std::array<std::unique_ptr<TabPage>, kPageCount> pages_;
  bool timer2_ = false, timer3_ = false;
  bool shown_ = false;
};

}  // namespace mt
