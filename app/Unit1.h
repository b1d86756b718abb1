// The Main window: the tab control with the five pages, the contact strip, the two timers.
// Each tool's page controls and handlers are defined in that tool's folder
// (splitter/Unit1Splitter.cpp, vdrive/Unit1Vdrive.cpp, ...); this class only gathers them.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/Services.h"
#include "app/win/Handles.h"
#include "app/win/Window.h"

namespace mt {

class TForm1 : public Window {
 public:
  explicit TForm1(Services& services);
  ~TForm1() override;

  // Creates the window (hidden) and runs FormCreate.
  void Create();
  // Shows the window and runs FormShow on the first showing.
  void Show(int cmdShow = SW_SHOWNORMAL);

  // Every service the pages use, the tools' own included; the window never picks one itself.
  Services& svc;
  // Closing the window ends the message loop; tests that make several windows turn it off.
  bool quitOnDestroy = true;

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
  int Notice(const std::string& text, const std::string& caption = "温馨提示");
  // Sets a tool-tip on a control.
  void SetHint(HWND control, const std::string& hint);

  // ---- tabs --------------------------------------------------------------------------------
  HWND PageControl1 = nullptr;
  HWND TabSheet1 = nullptr, TabSheet2 = nullptr, TabSheet3 = nullptr, TabSheet4 = nullptr,
       TabSheet5 = nullptr;
  int ActivePageIndex() const;
  // Makes page `index` (0-based) active and runs its page-shown handler.
  void SetActivePage(int index);

  // ---- start-up (app/Unit1.cpp) ------------------------------------------------------------
  void FormCreate();
  void FormShow();

  // ---- contact strip and About page (app/Unit1.cpp) ---------------------------------------
  HWND Label10 = nullptr, Label24 = nullptr, Label25 = nullptr, Label26 = nullptr,
       Label7 = nullptr, Label23 = nullptr, Label27 = nullptr;
  HWND Panel2 = nullptr;  // the About page's raised panel
  HWND Label8 = nullptr, Label11 = nullptr, Label17 = nullptr, Label14 = nullptr,
       Label15 = nullptr, Label16 = nullptr, Panel3 = nullptr, Label18 = nullptr,
       Label19 = nullptr, Label20 = nullptr, Label21 = nullptr, Label22 = nullptr;
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

  // ==== File splitter (splitter/Unit1Splitter.cpp) ===========================================
  void CreateTabSheet1Controls();
  void Button1Click();
  void Button3Click();
  void Button4Click();
  void Button5Click();
  void CheckBox1Click();
  // ListBox1's context menu: "校验分割文件".
  void VerifyPiecesClick();
  // Group "分割文件" (upper) and group "合并文件" (lower) of TabSheet1. CheckBox1: "生成恢复文件".
  HWND GroupBox1 = nullptr, Label1 = nullptr, Edit2 = nullptr, Button1 = nullptr,
       Label2 = nullptr, Edit1 = nullptr, UpDown1 = nullptr, Label3 = nullptr, Button3 = nullptr,
       CheckBox1 = nullptr;
  HWND GroupBox2 = nullptr, Label4 = nullptr, ListBox1 = nullptr, Button4 = nullptr,
       Button5 = nullptr;
  // OpenDialog1: the file to split; OpenDialog2: the pieces (several at once); SaveDialog1:
  // the merge output, its filter and file name set before each use.
  FileDialogOptions OpenDialog1, OpenDialog2, SaveDialog1;
  // First file of the latest confirmed piece selection; during a merge, the extension read
  // from that Index piece.
  std::string IndexPath;
  // Files dropped on TabSheet1 (WM_DROPFILES): on group "分割文件" or on ListBox1.
  void TabSheet1DropFiles(HDROP drop);
  // The page's view, its worker thread and the running split or merge, made at first use.
  struct SplitterPageState& SplitterState();
  std::shared_ptr<struct SplitterPageState> splitterState_;
  // WM_CLOSE: false while a split or merge runs and the user keeps it (or it is stopping).
  bool SplitterMayClose();
  // WM_DESTROY: stops the work and waits for its worker to clean up.
  void SplitterShutdown();
  bool SplitterWorking() const;
  // ==== end file splitter ====================================================================

  // ==== Virtual drives (vdrive/Unit1Vdrive.cpp) ==============================================
  void CreateTabSheet2Controls();
  void TabSheet2Show();
  void selectfilebtnClick();
  void allstartbtnClick();
  void alldelbtnClick();
  void Action1Execute();
  HWND GroupBox3 = nullptr, Label9 = nullptr, fileedit = nullptr, selectfilebtn = nullptr,
       Label1Drive = nullptr, drivecombox = nullptr, allstartbtn = nullptr, alldelbtn = nullptr,
       Label6 = nullptr, ListBox5 = nullptr, Panel5 = nullptr, Image1 = nullptr;
  // Label1Drive is the "转成分区：" label (the name Label1 is the splitter's label).
  // ==== end virtual drives ===================================================================

  // ==== Browser repair (browser/Unit1Browser.cpp) ============================================
  void CreateTabSheet3Controls();
  void TabSheet3Show();
  void SbiedefaultClick();
  void FillAddOnList();
  void RemoveCheckedAddOns();
  // The add-on list's rows (texts, image, the store and registry view each came from), the
  // repair logic and its view of the controls: made at first use, kept by the page.
  struct BrowserPageState& BrowserState();
  std::shared_ptr<struct BrowserPageState> browserState_;
  HWND ListView1 = nullptr;
  UniqueImageList ImageList1;  // 16 x 16, only ever appended to
  HWND Label12 = nullptr, Edpage = nullptr, Label13 = nullptr, Edtitle = nullptr;
  HWND FlatGroupBox7 = nullptr, rbregtool = nullptr, rbregtooln = nullptr;
  HWND FlatGroupBox6 = nullptr, cbsetpage = nullptr;
  HWND Sbiedefault = nullptr;
  // ==== end browser repair ===================================================================

  // ==== Startup items (startup/Unit1Startup.cpp) =============================================
  // ListView2: the startup list (check boxes, two columns); each row's lParam holds where
  // the row came from. Button2 "添加", Button6 "删除".
  HWND ListView2 = nullptr, Button2 = nullptr, Button6 = nullptr;
  // The program to start at log-on.
  FileDialogOptions OpenDialog3{"*.exe|*.exe", "", "", false, false};
  void CreateTabSheet4Controls();
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
  bool HideMicrosoftStartupItems();
  // The publisher column's worker and the ids of the rows on screen, made at first use.
  struct StartupPageState& StartupState();
  std::shared_ptr<struct StartupPageState> startupState_;
  // True while the publisher column of the latest refresh is still being filled.
  bool StartupPublishersPending();
  // WM_DESTROY: stops the publisher worker and waits for it.
  void StartupShutdown();
  // ==== end startup items ====================================================================

  // ==== Online update (update/Unit1Update.cpp) ===============================================
  // Creates and starts the update-check worker (FormShow step 3).
  void StartUpdateCheck();
  // The Reminder decision: once per arming of Timer2.
  void Timer2Timer();
  // The address of the update record: the services' own, or the shipped one.
  std::string UpdateEndpointUrl() const;
  // Where the update's threads post to the UI thread: closed when the window is destroyed.
  std::shared_ptr<UiGate> UpdateGate() { return Gate(); }
  // ==== end online update ====================================================================

  // ==== Partner offer (offer/Unit1Offer.cpp) =================================================
  bool PartnerEditionTest();
  void LaunchCounterStep();
  // ==== end partner offer ====================================================================

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
  bool timer2_ = false, timer3_ = false;
  bool shown_ = false;
};

}  // namespace mt
