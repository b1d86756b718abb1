#include "update/Usjtx.h"

#include "app/Settings.h"
#include "app/Text.h"
#include "app/Unit1.h"
#include "update/ReminderPlacement.h"
#include "update/UiGate.h"
#include "update/UpdateConstants.h"
#include "update/jcsj.h"
#include "update/win/WinInstallerTrust.h"

namespace mt {

TFsjtx* Fsjtx = nullptr;
std::string InstallerPath;
bool DownloadFinished = false;
std::optional<VerifiedInstaller> HeldInstaller;

namespace {

constexpr wchar_t kFormClass[] = L"MtTFsjtx";
constexpr wchar_t kPanelClass[] = L"MtTFsjtxPanel";
constexpr wchar_t kPictureClass[] = L"MtTFsjtxPicture";
constexpr UINT_PTR kTimer1 = 1;
constexpr UINT kTimer1Interval = 10;
constexpr int kClientWidth = 352, kClientHeight = 238;
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kLime = RGB(0, 255, 0);
constexpr COLORREF kGreen = RGB(0, 128, 0);
enum PictureKind { kEmblem = 1, kClock = 2, kStrip = 3 };

void RegisterClasses(WNDPROC form, WNDPROC panel, WNDPROC picture) {
  static bool done = false;
  if (done) return;
  done = true;
  HINSTANCE inst = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.hInstance = inst;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpfnWndProc = form;
  wc.lpszClassName = kFormClass;
  ::RegisterClassExW(&wc);
  wc.hbrBackground = nullptr;  // painted in the panel's own colour
  wc.lpfnWndProc = panel;
  wc.lpszClassName = kPanelClass;
  ::RegisterClassExW(&wc);
  wc.lpfnWndProc = picture;
  wc.lpszClassName = kPictureClass;
  ::RegisterClassExW(&wc);
}

// The pictures are drawn: a round green emblem with an upward arrow, a small clock, and
// the (hidden) background strip.
void PaintPicture(HWND hwnd, int kind) {
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(hwnd, &ps);
  RECT rc;
  ::GetClientRect(hwnd, &rc);
  HWND parent = ::GetParent(hwnd);
  HBRUSH back = reinterpret_cast<HBRUSH>(::SendMessageW(parent, WM_CTLCOLORSTATIC,
                                                        reinterpret_cast<WPARAM>(dc),
                                                        reinterpret_cast<LPARAM>(hwnd)));
  ::FillRect(dc, &rc, back ? back : reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  const int w = rc.right, h = rc.bottom;
  if (kind == kEmblem || kind == kClock) {
    UniqueBrush fill(::CreateSolidBrush(kind == kEmblem ? RGB(40, 160, 60) : RGB(255, 255, 255)));
    UniqueHandle<HPEN, GdiTraits<HPEN>> pen(::CreatePen(PS_SOLID, kind == kEmblem ? 2 : 1,
                                                        RGB(0, 100, 30)));
    HGDIOBJ oldBrush = ::SelectObject(dc, fill.get());
    HGDIOBJ oldPen = ::SelectObject(dc, pen.get());
    ::Ellipse(dc, 1, 1, w - 1, h - 1);
    if (kind == kEmblem) {
      UniqueBrush white(::CreateSolidBrush(kWhite));
      ::SelectObject(dc, white.get());
      const POINT arrow[] = {{w / 2, h / 5},         {w * 4 / 5, h / 2},     {w * 3 / 5, h / 2},
                             {w * 3 / 5, h * 4 / 5}, {w * 2 / 5, h * 4 / 5}, {w * 2 / 5, h / 2},
                             {w / 5, h / 2}};
      ::Polygon(dc, arrow, 7);
      ::SelectObject(dc, fill.get());
    } else {
      ::MoveToEx(dc, w / 2, h / 2, nullptr);
      ::LineTo(dc, w / 2, h / 5);
      ::MoveToEx(dc, w / 2, h / 2, nullptr);
      ::LineTo(dc, w * 3 / 4, h / 2);
    }
    ::SelectObject(dc, oldBrush);
    ::SelectObject(dc, oldPen);
  }
  ::EndPaint(hwnd, &ps);
}

}  // namespace

TFsjtx::TFsjtx(TForm1& main) : Main(main) {}

TFsjtx::~TFsjtx() {
  if (Handle) {
    ::SetWindowLongPtrW(Handle, GWLP_USERDATA, 0);
    ::DestroyWindow(Handle);
  }
}

int TFsjtx::S(int pixels96) const { return Main.Scale(pixels96); }

void TFsjtx::Create() {
  RegisterClasses(WndProc, PanelProc, PictureProc);
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_TOPMOST | WS_EX_CONTROLPARENT;
  RECT r{0, 0, S(kClientWidth), S(kClientHeight)};
  ::AdjustWindowRectEx(&r, style, FALSE, exStyle);
  Handle = ::CreateWindowExW(exStyle, kFormClass, Widen("Mirtak工具合集").c_str(), style,
                             0, 0, r.right - r.left, r.bottom - r.top, Main.Handle, nullptr,
                             ::GetModuleHandleW(nullptr), this);
  if (!Handle) throw AppError("Cannot create the reminder window. " +
                              SystemErrorText(::GetLastError()));
  font_.reset(::CreateFontW(-S(12), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                            DEFAULT_PITCH, Widen("宋体").c_str()));
  titleFont_.reset(::CreateFontW(-S(14), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, GB2312_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                 DEFAULT_PITCH, Widen("宋体").c_str()));

  // Bands from top to bottom: header, time strip, content (the rest), controls.
  RzPanel1 = AddPanel(0, 57, kWhite);
  RzPanel2 = AddPanel(57, 33, kLime);
  RzPanel3 = AddPanel(90, kClientHeight - 57 - 33 - 41, kWhite);
  RzPanel4 = AddPanel(kClientHeight - 41, 41, kWhite);

  Image1 = AddPicture(RzPanel1, kEmblem, 12, 4, 48, 48, true);
  Label10 = AddLabel(RzPanel1, "软件升级提醒", 72, 7, 105, 17);
  ::SendMessageW(Label10, WM_SETFONT, reinterpret_cast<WPARAM>(titleFont_.get()), FALSE);
  textColours_[Label10] = kGreen;
  // Each caption's box holds its five characters (60 pixels at 12) with a little room for a
  // wider face; its value starts where the box ends, so it never covers the colon.
  Label3 = AddLabel(RzPanel1, "软件版本：", 72, 35, 62, 12);
  Lab_bb = AddLabel(RzPanel1, "", 134, 34, 65, 12);
  Label5 = AddLabel(RzPanel1, "软件大小：", 200, 35, 62, 12);
  Lab_dx = AddLabel(RzPanel1, "", 262, 34, 76, 12);

  Image2 = AddPicture(RzPanel2, kClock, 195, 6, 20, 20, true);
  Label6 = AddLabel(RzPanel2, "升级时间：", 216, 11, 62, 12);
  Lab_sjsj = AddLabel(RzPanel2, "", 279, 10, 90, 12);
  Image3 = AddPicture(RzPanel2, kStrip, 0, 0, kClientWidth, 33, false);

  // Lines break only where the text has line breaks; the rest is cut at the edges.
  lab_nr = AddLabel(RzPanel3, "", 6, 3, 339, 102);

  // Filled but placed below the client area, so never seen.
  Label1 = AddLabel(Handle, "软件编号：", 8, 384, 65, 12);
  Lab_bh = AddLabel(Handle, "", 80, 384, 200, 12);
  Label2 = AddLabel(Handle, "软件名称：", 8, 408, 65, 12);
  Lab_mc = AddLabel(Handle, "", 80, 408, 200, 12);
  Label4 = AddLabel(Handle, "软件描述：", 8, 432, 65, 12);
  Lab_ms = AddLabel(Handle, "", 80, 432, 200, 12);
  Label7 = AddLabel(Handle, "系统支持：", 8, 456, 65, 12);
  Lab_xt = AddLabel(Handle, "", 80, 456, 200, 12);
  Label9 = AddLabel(Handle, "升级内容：", 8, 550, 65, 12);

  // Created in tab order: the check box, then "关闭", "立即升级", "手动下载".
  auto button = [&](const std::string& text, DWORD style, int x, int y, int w, int h) {
    HWND b = ::CreateWindowExW(0, L"BUTTON", Widen(text).c_str(),
                               WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, S(x), S(y), S(w),
                               S(h), RzPanel4, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(b, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    return b;
  };
  CheckBox1 = button("此版本不再提醒", BS_AUTOCHECKBOX, 5, 16, 108, 17);
  Button3 = button("关闭", BS_PUSHBUTTON, 277, 8, 70, 25);
  Button2 = button("立即升级", BS_PUSHBUTTON, 198, 8, 70, 25);
  Button1 = button("手动下载", BS_PUSHBUTTON, 120, 8, 70, 25);

  SetTimer1(true);
}

HWND TFsjtx::AddPanel(int y, int h, COLORREF colour) {
  HWND p = ::CreateWindowExW(WS_EX_CONTROLPARENT, kPanelClass, L"",
                             WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, S(y), S(kClientWidth),
                             S(h), Handle, nullptr, ::GetModuleHandleW(nullptr), this);
  panelColours_[p] = colour;
  brushes_[p].reset(::CreateSolidBrush(colour));
  return p;
}

// Labels never wrap words: a caption a little wider than its box would otherwise lose its
// last word to a second line that the box cuts off.
HWND TFsjtx::AddLabel(HWND parent, const std::string& text, int x, int y, int w, int h) {
  HWND l = ::CreateWindowExW(0, L"STATIC", Widen(text).c_str(),
                             WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX, S(x), S(y),
                             S(w), S(h), parent, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  ::SendMessageW(l, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  return l;
}

HWND TFsjtx::AddPicture(HWND parent, int kind, int x, int y, int w, int h, bool visible) {
  HWND p = ::CreateWindowExW(0, kPictureClass, L"", WS_CHILD | (visible ? WS_VISIBLE : 0), S(x),
                             S(y), S(w), S(h), parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(kind)),
                             ::GetModuleHandleW(nullptr), nullptr);
  return p;
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
  const std::string target = Main.svc.exeDir + "\\" + kInstallerRelativePath;
  // A new download replaces what the last one brought; its file is let go so that it can be
  // deleted.
  HeldInstaller.reset();
  FileSystem& files = Main.UpdateFiles();
  if (files.FileExists(target)) files.DeleteFile(target);  // a failure shows up in the thread
  ::EnableWindow(Button2, FALSE);
  SetButton2Caption("正在下载(0%)");
  Tfiledownthread::Links links;
  links.http = &Main.UpdateHttp();
  links.files = &files;
  links.target = this;
  links.verifier = &RealInstallerVerifier();
  std::shared_ptr<UiGate> gate = Main.UpdateGate();
  links.post = [gate](std::function<void()> work) { return gate->Send(std::move(work)); };
  auto* thread = new Tfiledownthread(true, gUpdateRecord.zp_downurl, target,
                                     kReminderDownloadMode, std::move(links));
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
    TIniFile ini(*Main.svc.profile, SettingsFilePath(Main.svc.exeDir));
    ini.WriteBool(kSettingsSection, kKeySjtx, false);
    ini.WriteString(kSettingsSection, kKeySjtxVer, TForm1::GetText(Lab_bb));
  }
  // Only an installer that passed the signature check is announced and started.
  if (DownloadFinished && HeldInstaller) {
    if (OfferVerifiedInstaller(HeldInstaller, *Main.svc.messages, Handle,
                               RealInstallerLauncher())) {
      Main.SetTimer3Enabled(true);
    }
  }
}

void TFsjtx::SetButton2Caption(const std::string& caption) { TForm1::SetText(Button2, caption); }
void TFsjtx::EnableButton2() { ::EnableWindow(Button2, TRUE); }
void TFsjtx::SetInstallerPath(const std::string& path) { InstallerPath = path; }
void TFsjtx::HoldInstaller(VerifiedInstaller installer) { HeldInstaller = std::move(installer); }
void TFsjtx::SetDownloadFinished() { DownloadFinished = true; }
void TFsjtx::CloseWindow() { ::SendMessageW(Handle, WM_CLOSE, 0, 0); }

// ---- window procedures -----------------------------------------------------------------
LRESULT CALLBACK TFsjtx::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* self = reinterpret_cast<TFsjtx*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return ::DefWindowProcW(hwnd, msg, wp, lp);
  return self->Handle_(hwnd, msg, wp, lp);
}

LRESULT CALLBACK TFsjtx::PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* self = reinterpret_cast<TFsjtx*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self) {
    if (msg == WM_ERASEBKGND) {
      RECT rc;
      ::GetClientRect(hwnd, &rc);
      auto it = self->brushes_.find(hwnd);
      if (it != self->brushes_.end()) {
        ::FillRect(reinterpret_cast<HDC>(wp), &rc, it->second.get());
        return 1;
      }
    }
    LRESULT result = 0;
    if (self->Forwarded(msg, wp, lp, result)) return result;
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK TFsjtx::PictureProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_PAINT) {
    PaintPicture(hwnd, static_cast<int>(::GetDlgCtrlID(hwnd)));
    return 0;
  }
  if (msg == WM_ERASEBKGND) return 1;
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

// Colours and clicks of the controls, whether they sit on a panel or on the form itself.
bool TFsjtx::Forwarded(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  if (msg == WM_CTLCOLORSTATIC || msg == WM_CTLCOLORBTN) {
    HWND control = reinterpret_cast<HWND>(lp);
    HDC dc = reinterpret_cast<HDC>(wp);
    auto colour = textColours_.find(control);
    ::SetTextColor(dc, colour != textColours_.end() ? colour->second : RGB(0, 0, 0));
    ::SetBkMode(dc, TRANSPARENT);
    auto brush = brushes_.find(::GetParent(control));
    if (brush != brushes_.end()) {
      result = reinterpret_cast<LRESULT>(brush->second.get());
    } else {
      result = reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    return true;
  }
  if (msg == WM_COMMAND && HIWORD(wp) == BN_CLICKED && lp) {
    HWND control = reinterpret_cast<HWND>(lp);
    if (control == Button1) Main.Guarded([this] { Button1Click(); });
    else if (control == Button2) Main.Guarded([this] { Button2Click(); });
    else if (control == Button3) Main.Guarded([this] { Button3Click(); });
    else return false;
    result = 0;
    return true;
  }
  return false;
}

LRESULT TFsjtx::Handle_(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT result = 0;
  if (Forwarded(msg, wp, lp, result)) return result;
  switch (msg) {
    case WM_TIMER:
      if (wp == kTimer1) {
        Main.Guarded([this] { Timer1Timer(); });
        return 0;
      }
      break;
    case WM_CLOSE: {
      // The window only hides; a failing close handler keeps it open.
      bool closed = false;
      Main.Guarded([&] {
        FormClose();
        closed = true;
      });
      if (closed) ::ShowWindow(hwnd, SW_HIDE);
      return 0;
    }
    case WM_NCDESTROY:
      ::KillTimer(hwnd, kTimer1);
      timer1_ = false;
      Handle = nullptr;
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      break;
    default:
      break;
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
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
  delete Fsjtx;
  Fsjtx = nullptr;
  InstallerPath.clear();
  DownloadFinished = false;
  HeldInstaller.reset();
}

}  // namespace mt
