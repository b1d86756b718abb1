#include "update/win/Usjtx.h"

#include "app/Settings.h"
#include "app/Text.h"
#include "app/win/Unit1.h"
#include "update/ReminderPlacement.h"
#include "app/UiGate.h"
#include "update/UpdateConstants.h"
#include "update/jcsj.h"
#include "update/InstallerTrust.h"
#include "update/LeftoverInstaller.h"

namespace mt {

TFsjtx* Fsjtx = nullptr;
std::string InstallerPath;
bool DownloadFinished = false;
std::optional<VerifiedInstaller> HeldInstaller;

namespace {

constexpr wchar_t kFormClass[] = L"MtTFsjtx";
constexpr UINT_PTR kTimer1 = 1;
constexpr UINT kTimer1Interval = 10;
constexpr int kClientWidth = 352, kClientHeight = 238;
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kLime = RGB(0, 255, 0);
constexpr COLORREF kGreen = RGB(0, 128, 0);
enum PictureKind { kEmblem = 1, kClock = 2, kStrip = 3 };

// The pictures are drawn: a round green emblem with an upward arrow, a small clock, and
// the (hidden) background strip.
void PaintPicture(HDC dc, const RECT& rc, int kind) {
  if (kind != kEmblem && kind != kClock) return;
  const int w = rc.right, h = rc.bottom;
  UniqueBrush fill(::CreateSolidBrush(kind == kEmblem ? RGB(40, 160, 60) : RGB(255, 255, 255)));
  UniqueHandle<HPEN, GdiTraits<HPEN>> pen(
      ::CreatePen(PS_SOLID, kind == kEmblem ? 2 : 1, RGB(0, 100, 30)));
  ScopedSelect brush(dc, fill.get());
  ScopedSelect outline(dc, pen.get());
  ::Ellipse(dc, 1, 1, w - 1, h - 1);
  if (kind == kEmblem) {
    UniqueBrush white(::CreateSolidBrush(kWhite));
    ScopedSelect arrowFill(dc, white.get());
    const POINT arrow[] = {{w / 2, h / 5},         {w * 4 / 5, h / 2},     {w * 3 / 5, h / 2},
                           {w * 3 / 5, h * 4 / 5}, {w * 2 / 5, h * 4 / 5}, {w * 2 / 5, h / 2},
                           {w / 5, h / 2}};
    ::Polygon(dc, arrow, 7);
  } else {
    ::MoveToEx(dc, w / 2, h / 2, nullptr);
    ::LineTo(dc, w / 2, h / 5);
    ::MoveToEx(dc, w / 2, h / 2, nullptr);
    ::LineTo(dc, w * 3 / 4, h / 2);
  }
}

}  // namespace

TFsjtx::TFsjtx(TForm1& main) : Main(main) {}

TFsjtx::~TFsjtx() = default;

void TFsjtx::ShowErrorReport(const std::string& message) { Main.ShowErrorReport(message); }

void TFsjtx::Create() {
  CreateFrame({kFormClass, "Mirtak工具合集", kDialogFrameStyle, kDialogFrameExStyle | WS_EX_TOPMOST,
               kClientWidth, kClientHeight, Main.Handle, false});
  const int titleFont = AddFont(14, FW_BOLD);

  // Bands from top to bottom: header, time strip, content (the rest), controls.
  RzPanel1 = AddPanel(Handle, 0, 0, kClientWidth, 57, kWhite);
  RzPanel2 = AddPanel(Handle, 0, 57, kClientWidth, 33, kLime);
  RzPanel3 = AddPanel(Handle, 0, 90, kClientWidth, kClientHeight - 57 - 33 - 41, kWhite);
  RzPanel4 = AddPanel(Handle, 0, kClientHeight - 41, kClientWidth, 41, kWhite);

  auto picture = [this](HWND parent, int kind, int x, int y, int w, int h, bool visible) {
    return AddPicture(parent, x, y, w, h, visible,
                      [kind](HDC dc, const RECT& rc) { PaintPicture(dc, rc, kind); });
  };
  // Labels never wrap words: a caption a little wider than its box would otherwise lose its
  // last word to a second line that the box cuts off.
  auto label = [this](HWND parent, const std::string& text, int x, int y, int w, int h) {
    return AddLabel(parent, text, x, y, w, h, SS_LEFTNOWORDWRAP);
  };
  Image1 = picture(RzPanel1, kEmblem, 12, 4, 48, 48, true);
  Label10 = label(RzPanel1, "软件升级提醒", 72, 7, 105, 17);
  SetControlFont(Label10, titleFont);
  SetLabelColour(Label10, kGreen);
  // Each caption's box holds its five characters (60 pixels at 12) with a little room for a
  // wider face; its value starts where the box ends, so it never covers the colon.
  Label3 = label(RzPanel1, "软件版本：", 72, 35, 62, 12);
  Lab_bb = label(RzPanel1, "", 134, 34, 65, 12);
  Label5 = label(RzPanel1, "软件大小：", 200, 35, 62, 12);
  Lab_dx = label(RzPanel1, "", 262, 34, 76, 12);

  Image2 = picture(RzPanel2, kClock, 195, 6, 20, 20, true);
  Label6 = label(RzPanel2, "升级时间：", 216, 11, 62, 12);
  Lab_sjsj = label(RzPanel2, "", 279, 10, 90, 12);
  Image3 = picture(RzPanel2, kStrip, 0, 0, kClientWidth, 33, false);

  // Lines break only where the text has line breaks; the rest is cut at the edges.
  lab_nr = label(RzPanel3, "", 6, 3, 339, 102);

  // Filled but placed below the client area, so never seen.
  Label1 = label(Handle, "软件编号：", 8, 384, 65, 12);
  Lab_bh = label(Handle, "", 80, 384, 200, 12);
  Label2 = label(Handle, "软件名称：", 8, 408, 65, 12);
  Lab_mc = label(Handle, "", 80, 408, 200, 12);
  Label4 = label(Handle, "软件描述：", 8, 432, 65, 12);
  Lab_ms = label(Handle, "", 80, 432, 200, 12);
  Label7 = label(Handle, "系统支持：", 8, 456, 65, 12);
  Lab_xt = label(Handle, "", 80, 456, 200, 12);
  Label9 = label(Handle, "升级内容：", 8, 550, 65, 12);

  // Created in tab order: the check box, then "关闭", "立即升级", "手动下载".
  CheckBox1 = AddButton(RzPanel4, "此版本不再提醒", 5, 16, 108, 17, BS_AUTOCHECKBOX);
  Button3 = AddButton(RzPanel4, "关闭", 277, 8, 70, 25);
  Button2 = AddButton(RzPanel4, "立即升级", 198, 8, 70, 25);
  Button1 = AddButton(RzPanel4, "手动下载", 120, 8, 70, 25);
  OnClick(Button1, [this] { Button1Click(); });
  OnClick(Button2, [this] { Button2Click(); });
  OnClick(Button3, [this] { Button3Click(); });

  SetTimer1(true);
}

void TFsjtx::Fill(const UpdateRecord& record) {
  auto put = [](HWND label, const std::string& gbk) {
    TForm1::SetText(label, TrimControl(GbkToUtf8(gbk)));
  };
  put(Lab_bh, record.zpid);
  put(Lab_mc, record.zpname);
  put(Lab_bb, record.zpver);
  put(Lab_ms, record.zpms);
  put(lab_nr, record.zpsjnr);
  put(Lab_dx, record.zpdx);
  put(Lab_sjsj, record.zpgxsj);
  put(Lab_xt, record.zpzc);
}

void TFsjtx::Show() {
  FormShow();
  ::ShowWindow(Handle, SW_SHOW);
  ::UpdateWindow(Handle);
}

void TFsjtx::WorkArea(int& width, int& height) const {
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  width = work.right - work.left;
  height = work.bottom - work.top;
}

void TFsjtx::FormShow() {
  int workW = 0, workH = 0;
  WorkArea(workW, workH);
  RECT outer;
  ::GetWindowRect(Handle, &outer);
  const ReminderStart start = ReminderStartPosition(workW, workH, outer.right - outer.left);
  ::SetWindowPos(Handle, nullptr, start.left, start.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  SetTimer1(true);
}

void TFsjtx::Timer1Timer() {
  int workW = 0, workH = 0;
  WorkArea(workW, workH);
  RECT outer;
  ::GetWindowRect(Handle, &outer);
  bool done = false;
  const int top = ReminderRiseStep(outer.top, outer.bottom - outer.top, workH, done);
  ::SetWindowPos(Handle, nullptr, outer.left, top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  if (done) SetTimer1(false);
}

void TFsjtx::SetTimer1(bool enabled) {
  if (enabled) {
    ::SetTimer(Handle, kTimer1, kTimer1Interval, nullptr);
  } else {
    ::KillTimer(Handle, kTimer1);
  }
  timer1_ = enabled;
}

void TFsjtx::Button1Click() {
  Main.svc.shell->ShellOpen(nullptr, "open", kSiteUrl, "", "", kShowNormal);
}

void TFsjtx::Button2Click() {
  // A new download replaces what the last one brought; its file is let go so that it can be
  // deleted.
  HeldInstaller.reset();
  StopRemovingLeftoverInstaller();
  FileSystem& files = *Main.svc.files;
  // Beside the program, or a fresh per-user folder named by the time and this process.
  const std::string target = InstallerDownloadPath(Main.svc.exeDir, Main.svc.places, files,
                                                   std::to_string(::GetTickCount64()) + "-" +
                                                       std::to_string(::GetCurrentProcessId()));
  if (target.empty()) {
    CompleteDownload(*this, DownloadOutcome::Failed());
    return;
  }
  if (files.FileExists(target)) files.RemoveFile(target);  // a failure shows up in the thread
  EnableControl(Button2, false);
  SetButton2Caption("正在下载(0%)");
  Tfiledownthread::Links links;
  links.http = Main.svc.http;
  links.files = &files;
  links.target = this;
  links.verifier = Main.svc.installerVerifier;
  links.offeredVersion = gUpdateRecord.zpver;
  std::shared_ptr<UiGate> gate = Main.UpdateGate();
  links.post = [gate](std::function<void()> work) { return gate->Send(std::move(work)); };
  auto* thread = new Tfiledownthread(true, gUpdateRecord.zp_downurl, target, kReminderDownloadMode,
                                     std::move(links));
  filedownthread = thread;
  try {
    thread->Resume();
  } catch (...) {
    filedownthread = nullptr;
    delete thread;
    CompleteDownload(*this, DownloadOutcome::Failed());
  }
}

void TFsjtx::Button3Click() { CloseWindow(); }

void TFsjtx::FormClose() {
  if (::SendMessageW(CheckBox1, BM_GETCHECK, 0, 0) == BST_CHECKED) {
    TIniFile ini = ProgramSettings(Main.svc);
    ini.WriteBool(kSettingsSection, kKeySjtx, false);
    ini.WriteString(kSettingsSection, kKeySjtxVer, TForm1::GetText(Lab_bb));
  }
  // Only an installer that passed the signature check is announced and started.
  if (DownloadFinished && HeldInstaller) {
    if (OfferVerifiedInstaller(HeldInstaller, *Main.svc.messages, Handle,
                               *Main.svc.installerLauncher, *Main.svc.files, Main.svc.exeDir)) {
      Main.SetTimer3Enabled(true);
    }
  }
}

void TFsjtx::SetButton2Caption(const std::string& caption) { TForm1::SetText(Button2, caption); }
void TFsjtx::EnableButton2() { EnableControl(Button2, true); }
void TFsjtx::SetInstallerPath(const std::string& path) { InstallerPath = path; }
void TFsjtx::HoldInstaller(VerifiedInstaller installer) { HeldInstaller = std::move(installer); }
void TFsjtx::SetDownloadFinished() { DownloadFinished = true; }
void TFsjtx::CloseWindow() { ::SendMessageW(Handle, WM_CLOSE, 0, 0); }

// ---- the window's messages -----------------------------------------------------------------
// Esc closes the window as "关闭" does.
void TFsjtx::OnEscape() { Button3Click(); }

LRESULT TFsjtx::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_TIMER:
      if (wp == kTimer1) {
        Guarded([this] { Timer1Timer(); });
        return 0;
      }
      break;
    case WM_CLOSE: {
      // The window only hides; a failing close handler keeps it open.
      bool closed = false;
      Guarded([&] {
        FormClose();
        closed = true;
      });
      if (closed) ::ShowWindow(Handle, SW_HIDE);
      return 0;
    }
    case WM_NCDESTROY:
      ::KillTimer(Handle, kTimer1);
      timer1_ = false;
      break;
    default: break;
  }
  return Window::OnMessage(msg, wp, lp);
}

// ---- opening -------------------------------------------------------------------------------
void OpenReminderWindow(TForm1& main, const UpdateRecord& record) {
  if (Fsjtx && (&Fsjtx->Main != &main || !Fsjtx->Handle)) DestroyReminderWindow();
  if (!Fsjtx) {
    auto window = std::make_unique<TFsjtx>(main);
    window->Create();
    Fsjtx = window.release();  // lives until the process ends
  }
  Fsjtx->Fill(record);
  Fsjtx->Show();
}

void DestroyReminderWindow() {
  StopRemovingLeftoverInstaller();
  delete Fsjtx;
  Fsjtx = nullptr;
  InstallerPath.clear();
  DownloadFinished = false;
  HeldInstaller.reset();
}

}  // namespace mt
