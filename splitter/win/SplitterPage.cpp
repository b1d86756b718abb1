// The "分割文件" page: its controls, the view the logic sees them through, the worker host and
// the handlers.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shobjidl.h>

#include "splitter/win/SplitterPage.h"

#include "app/UiGate.h"
#include "app/Worker.h"
#include "app/win/Handles.h"
#include "app/win/Unit1.h"
#include "splitter/FileSplitter.h"

namespace mt {

namespace {

// The page's controls as the logic sees them.
class PageView : public splitter::SplitterView {
 public:
  PageView(TForm1& form, SplitterPage& page) : f_(form), p_(page) {}
  WindowRef Owner() override { return f_.Handle; }
  std::string Caption() override { return f_.Caption(); }
  void SetCaption(const std::string& caption) override { f_.SetCaption(caption); }
  std::string SourceText() override { return TForm1::GetText(p_.Edit2); }
  void SetSourceText(const std::string& text) override { TForm1::SetText(p_.Edit2, text); }
  std::string PieceSizeText() override { return TForm1::GetText(p_.Edit1); }
  void SetSplitEnabled(bool enabled) override { EnableWindow(p_.Button3, enabled); }
  void SetMergeEnabled(bool enabled) override { EnableWindow(p_.Button5, enabled); }
  void SetSplitButtonText(const std::string& text) override { TForm1::SetText(p_.Button3, text); }
  void SetMergeButtonText(const std::string& text) override { TForm1::SetText(p_.Button5, text); }
  std::vector<std::string> ListRows() override {
    std::vector<std::string> rows;
    int n = static_cast<int>(SendMessageW(p_.ListBox1, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
      int len = static_cast<int>(SendMessageW(p_.ListBox1, LB_GETTEXTLEN, i, 0));
      std::wstring text(static_cast<size_t>(len < 0 ? 0 : len) + 1, L'\0');
      len = static_cast<int>(
          SendMessageW(p_.ListBox1, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data())));
      rows.push_back(Narrow(text.data(), static_cast<size_t>(len < 0 ? 0 : len)));
    }
    return rows;
  }
  void AppendListRow(const std::string& row) override {
    std::wstring text = Widen(row);
    SendMessageW(p_.ListBox1, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    WidenListExtent(text);
  }
  void Notice(const std::string& text) override { f_.Notice(text); }
  bool Ask(const std::string& text) override {
    return f_.svc.messages->Show(f_.Handle, text, kNoticeCaption, kMbYesNo | kMbIconQuestion) ==
           kIdYes;
  }
  bool RecoveryTicked() override {
    return SendMessageW(p_.CheckBox1, BM_GETCHECK, 0, 0) == BST_CHECKED;
  }
  // Through the shell's taskbar list, once the taskbar button exists; without one (no shell,
  // COM not started) the button simply shows nothing.
  void SetTaskbarProgress(Taskbar state, int percent) override {
    if (!f_.taskbarButtonReady) return;
    if (!taskbar_ && (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_ITaskbarList3, taskbar_.put_void())) ||
                      FAILED(taskbar_->HrInit()))) {
      taskbar_.reset();
      return;
    }
    switch (state) {
      case Taskbar::kNone: taskbar_->SetProgressState(f_.Handle, TBPF_NOPROGRESS); break;
      case Taskbar::kError:
        // The bar in full, in the error colour.
        taskbar_->SetProgressState(f_.Handle, TBPF_ERROR);
        taskbar_->SetProgressValue(f_.Handle, 100, 100);
        break;
      case Taskbar::kProgress:
        taskbar_->SetProgressState(f_.Handle, TBPF_NORMAL);
        taskbar_->SetProgressValue(f_.Handle, static_cast<ULONGLONG>(percent), 100);
        break;
    }
  }

 private:
  // Long paths get a horizontal scroll bar instead of being cut off.
  void WidenListExtent(const std::wstring& text) {
    SIZE size = MeasureText(p_.ListBox1, f_.Font(), Narrow(text));
    int extent = size.cx + f_.Scale(8);
    if (extent > static_cast<int>(SendMessageW(p_.ListBox1, LB_GETHORIZONTALEXTENT, 0, 0)))
      SendMessageW(p_.ListBox1, LB_SETHORIZONTALEXTENT, extent, 0);
  }
  TForm1& f_;
  SplitterPage& p_;
  ComPtr<ITaskbarList3> taskbar_;
};

// One worker thread at a time; its posts reach the UI thread through a gate that the window
// closes when it goes, so a late post never touches a destroyed window.
class ThreadHost : public splitter::WorkHost {
 public:
  explicit ThreadHost(TForm1& form)
      : gate_(std::make_shared<UiGate>(
            [&form](std::function<void()> w) { return form.Post(std::move(w)); })) {}
  ~ThreadHost() override { Shutdown(); }
  void Start(std::function<void()> work) override {
    // The previous run has posted its end already; its thread is gone or about to be.
    // The work hands every outcome over itself; the worker catches whatever else it throws.
    worker_.Join();
    worker_ = Worker(std::move(work));
  }
  // Called by the worker. A post the window refuses while it still exists (its queue is
  // full) is handed over again: a lost end of the work would leave the buttons disabled.
  void Post(std::function<void()> ui) override {
    HandOverUntilTaken([this](std::function<void()> w) { return gate_->Send(std::move(w)); }, ui);
  }
  // The window is going: no more posts, and the worker (already told to stop) has cleaned
  // up before the process may end.
  void Shutdown() {
    gate_->Close();
    worker_.Join();
  }

 private:
  std::shared_ptr<UiGate> gate_;
  Worker worker_;
};

std::vector<std::string> DroppedFiles(HDROP drop) {
  std::vector<std::string> out;
  UINT n = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < n; ++i) {
    UINT len = DragQueryFileW(drop, i, nullptr, 0);
    std::wstring name(len + 1, L'\0');
    len = DragQueryFileW(drop, i, name.data(), len + 1);
    name.resize(len);
    if (!(GetFileAttributesW(name.c_str()) & FILE_ATTRIBUTE_DIRECTORY)) out.push_back(Narrow(name));
  }
  return out;
}

bool Inside(HWND control, HWND page, POINT pt) {
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&r), 2);
  return PtInRect(&r, pt) != 0;
}

}  // namespace

struct SplitterPageState {
  SplitterPageState(TForm1& form, SplitterPage& page) : view(form, page), host(form) {}
  PageView view;
  ThreadHost host;
  splitter::SplitterWork work;
};

SplitterPage::~SplitterPage() = default;

bool SplitterPage::MayClose() {
  HWND h = form.Handle;
  return splitter::MayCloseWindow(svc_, state_->view, state_->work, [h] { DestroyWindow(h); });
}

void SplitterPage::Shutdown() {
  splitter::StopWork(state_->work);
  state_->host.Shutdown();
}

bool SplitterPage::SplitterWorking() const { return state_->work.Running(); }

void SplitterPage::DropFiles(HDROP drop) {
  std::vector<std::string> files = DroppedFiles(drop);
  POINT pt{};
  DragQueryPoint(drop, &pt);
  DragFinish(drop);
  if (Inside(GroupBox1, sheet, pt)) splitter::DropSourceFile(state_->view, files);
  else if (Inside(ListBox1, sheet, pt)) splitter::AddPieces(state_->view, files, IndexPath);
}

SplitterPage::SplitterPage(TForm1& form, HWND sheet)
    : TabPage(form, sheet),
      svc_(form.svc),
      state_(std::make_unique<SplitterPageState>(form, *this)) {
  HWND page = sheet;
  TForm1& f = form;
  f.OpenDialog1 = splitter::OpenDialog1Defaults();
  f.OpenDialog2 = splitter::OpenDialog2Defaults();
  f.SaveDialog1 = FileDialogOptions{};

  // Group boxes first, so the controls inside them lie above them.
  GroupBox1 = f.AddGroup(page, "分割文件", 8, 6, 454, 106);
  GroupBox2 = f.AddGroup(page, "合并文件", 8, 120, 454, 164);

  Label1 = f.AddLabel(page, "要分割的文件", 22, 32, 78, 14);
  Edit2 = f.AddEdit(page, "", 102, 28, 300, 21);
  Button1 = f.AddButton(page, "...", 408, 27, 40, 23);
  Label2 = f.AddLabel(page, "分割为每文件", 22, 72, 78, 14);
  // Any text may be typed; the split reads and checks it when it starts.
  Edit1 = f.AddEdit(page, "1024", 102, 68, 72, 21);
  // Placed beside Edit1 rather than aligned onto it, so both keep their own rectangles when
  // the window follows a DPI change.
  UpDown1 = f.AddControl(page, UPDOWN_CLASSW, "", UDS_SETBUDDYINT | UDS_NOTHOUSANDS | UDS_ARROWKEYS,
                         174, 68, 17, 21);
  SendMessageW(UpDown1, UDM_SETBUDDY, reinterpret_cast<WPARAM>(Edit1), 0);
  SendMessageW(UpDown1, UDM_SETRANGE32, 1024, 2048);
  SendMessageW(UpDown1, UDM_SETPOS32, 0, 1024);
  Label3 = f.AddLabel(page, "MB", 196, 72, 30, 14);
  Button3 = f.AddButton(page, "分割文件", 368, 64, 80, 25);
  // Between "MB" and Button3; its state comes from config.ini and goes back there when clicked.
  CheckBox1 = f.AddButton(page, splitter::kRecoveryBoxText, 236, 68, 124, 21, BS_AUTOCHECKBOX);
  SendMessageW(CheckBox1, BM_SETCHECK,
               splitter::ReadRecoveryBox(svc_) ? BST_CHECKED : BST_UNCHECKED, 0);

  Label4 = f.AddLabel(page, "文件列表", 22, 142, 80, 14);
  ListBox1 = f.AddControl(page, L"LISTBOX", "",
                          WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY,
                          22, 160, 332, 112, WS_EX_CLIENTEDGE);
  Button4 = f.AddButton(page, "选择文件", 368, 160, 80, 25);
  Button5 = f.AddButton(page, "合并文件", 368, 196, 80, 25);

  f.OnClick(Button1, [this] { Button1Click(); });
  f.OnClick(Button3, [this] { Button3Click(); });
  f.OnClick(Button4, [this] { Button4Click(); });
  f.OnClick(Button5, [this] { Button5Click(); });
  f.OnClick(CheckBox1, [this] { CheckBox1Click(); });
  f.OnContextMenu(ListBox1, {{splitter::kVerifyMenuText, [this] { VerifyPiecesClick(); }}});
  // Files dropped on the page: on the split group they give the file to split, on the list
  // they are added as pieces.
  DragAcceptFiles(page, TRUE);
}

void SplitterPage::Button1Click() {
  PageView view(form, *this);
  splitter::ChooseSourceFile(svc_, view, form.OpenDialog1);
}

void SplitterPage::Button3Click() {
  SplitterPageState& st = *state_;
  splitter::SplitSourceFile(svc_, st.view, st.host, st.work);
}

void SplitterPage::Button4Click() {
  PageView view(form, *this);
  splitter::ChoosePieces(svc_, view, form.OpenDialog2, IndexPath);
}

void SplitterPage::Button5Click() {
  SplitterPageState& st = *state_;
  splitter::MergePieces(svc_, st.view, form.SaveDialog1, IndexPath, st.host, st.work);
}

void SplitterPage::CheckBox1Click() {
  splitter::SaveRecoveryBox(svc_, SendMessageW(CheckBox1, BM_GETCHECK, 0, 0) == BST_CHECKED);
}

void SplitterPage::VerifyPiecesClick() {
  SplitterPageState& st = *state_;
  splitter::VerifyPieces(svc_, st.view, st.host, st.work);
}

}  // namespace mt
