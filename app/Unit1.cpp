#include "app/Unit1.h"

#include <windowsx.h>

#include "app/Constants.h"
#include "app/Error.h"
#include "app/Settings.h"
#include "app/Text.h"

namespace mt {

namespace {

constexpr wchar_t kFormClass[] = L"TForm1";
constexpr wchar_t kPageClass[] = L"TMtPage";
constexpr wchar_t kRaisedProp[] = L"mt.raised";
constexpr UINT kRunOnUi = WM_APP + 1;
constexpr int kClientW = 479, kClientH = 342;
constexpr DWORD kFormStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
constexpr COLORREF kBlue = RGB(0, 0, 255), kRed = RGB(255, 0, 0), kBlack = RGB(0, 0, 0);

UINT DpiOf(HWND hwnd) {
  using Fn = UINT(WINAPI*)(HWND);
  static Fn fn = reinterpret_cast<Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (fn && hwnd) return fn(hwnd);
  HDC dc = GetDC(nullptr);
  UINT dpi = static_cast<UINT>(GetDeviceCaps(dc, LOGPIXELSY));
  ReleaseDC(nullptr, dc);
  return dpi ? dpi : 96;
}

void RegisterClasses() {
  static bool done = false;
  if (done) return;
  done = true;
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
}

UniqueFont MakeFont(int pixelHeight, bool underline) {
  return UniqueFont(CreateFontW(-pixelHeight, 0, 0, 0, FW_NORMAL, FALSE, underline, FALSE,
                                GB2312_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"宋体"));
}

}  // namespace

TForm1::TForm1(Services& services) : svc(services) {}

TForm1::~TForm1() {
  if (Handle) {
    SetWindowLongPtrW(Handle, GWLP_USERDATA, 0);
    HWND h = Handle;
    Handle = nullptr;
    DestroyWindow(h);
  }
}

// ---- creation ------------------------------------------------------------------------------

void TForm1::Create() {
  RegisterClasses();
  HINSTANCE inst = GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WndProc;
  wc.hInstance = inst;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.hIcon = LoadIconW(inst, MAKEINTRESOURCEW(1));
  wc.hIconSm = static_cast<HICON>(LoadImageW(inst, MAKEINTRESOURCEW(1), IMAGE_ICON, 16, 16, 0));
  wc.lpszClassName = kFormClass;
  RegisterClassExW(&wc);
  WNDCLASSEXW pc{};
  pc.cbSize = sizeof pc;
  pc.lpfnWndProc = PageProc;
  pc.hInstance = inst;
  pc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  pc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  pc.lpszClassName = kPageClass;
  RegisterClassExW(&pc);

  Handle = CreateWindowExW(kFormExStyle, kFormClass, Widen(kDesignCaption).c_str(), kFormStyle,
                           CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, nullptr, nullptr, inst, this);
  if (!Handle) throw AppError(SystemErrorText(GetLastError()));
  dpi_ = DpiOf(Handle);
  font_ = MakeFont(Scale(12), false);
  linkFont_ = MakeFont(Scale(12), true);

  // Client area 479 x 342, centred on the desktop.
  RECT r{0, 0, Scale(kClientW), Scale(kClientH)};
  AdjustWindowRectEx(&r, kFormStyle, FALSE, kFormExStyle);
  int w = r.right - r.left, h = r.bottom - r.top;
  SetWindowPos(Handle, nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w, h, SWP_NOZORDER | SWP_NOACTIVATE);

  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                             0, 0, 0, 0, Handle, nullptr, inst, nullptr);
  SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, Scale(300));
  CreateFrame();
  CreateTabSheet1Controls();
  CreateTabSheet2Controls();
  CreateTabSheet3Controls();
  CreateTabSheet4Controls();
  CreateTabSheet5Controls();
  CreateContactStrip();
  FormCreate();
}

void TForm1::CreateFrame() {
  PageControl1 = AddControl(Handle, WC_TABCONTROLW, "",
                            WS_TABSTOP | WS_CLIPSIBLINGS | TCS_MULTILINE, 0, 0, kClientW, 322);
  const char* captions[] = {"分割文件", "虚拟硬盘", "IE修复", "系统启动项", "关于"};
  for (int i = 0; i < 5; ++i) {
    std::wstring text = Widen(captions[i]);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text.data();
    TabCtrl_InsertItem(PageControl1, i, &item);
  }
  // Pages lie over the tab control's display area, as siblings above it.
  RECT area{0, 0, Scale(kClientW), Scale(322)};
  TabCtrl_AdjustRect(PageControl1, FALSE, &area);
  int x = MulDiv(area.left, 96, dpi_), y = MulDiv(area.top, 96, dpi_);
  int w = MulDiv(area.right - area.left, 96, dpi_), h = MulDiv(area.bottom - area.top, 96, dpi_);
  HWND* pages[] = {&TabSheet1, &TabSheet2, &TabSheet3, &TabSheet4, &TabSheet5};
  for (int i = 0; i < 5; ++i) {
    *pages[i] = AddControl(Handle, kPageClass, "", WS_CLIPSIBLINGS, x, y, w, h,
                           WS_EX_CONTROLPARENT);
    SetWindowPos(*pages[i], HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (i != 0) ShowWindow(*pages[i], SW_HIDE);
  }
  OnNotify(PageControl1, [this](NMHDR* nm) -> LRESULT {
    if (nm->code == TCN_SELCHANGE) PageShown(TabCtrl_GetCurSel(PageControl1));
    return 0;
  });
}

void TForm1::CreateContactStrip() {
  // One row, left to right, each label as wide as its text.
  struct Item {
    HWND* member;
    std::string text;
    bool link;
    const char* hint;
    void (TForm1::*click)();
  };
  Item items[] = {
      {&Label10, "E-Mail:", false, nullptr, nullptr},
      {&Label24, kContactEmail, true, "点击可把邮箱地址复制到剪贴版", &TForm1::Label24Click},
      {&Label25, "QQ:", false, nullptr, nullptr},
      {&Label26, kAuthorAccount, true, "直接与软件作者联系", &TForm1::Label26Click},
      {&Label7, "官方网站:", false, nullptr, nullptr},
      {&Label23, kSiteHost, true, "点击打开官方网站", &TForm1::Label23Click},
      {&Label27, "问题反馈", true, "如果您发现软件有什么问题或是有好的意见或建议点此反馈",
       &TForm1::Label27Click},
  };
  HDC dc = GetDC(Handle);
  UniqueFont measureFont = MakeFont(12, false);
  HGDIOBJ old = SelectObject(dc, measureFont.get());
  int x = 6;
  for (Item& it : items) {
    std::wstring w = Widen(it.text);
    SIZE size{};
    GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &size);
    *it.member = AddLabel(Handle, it.text, x, 325, size.cx + 1, 14, it.link ? SS_NOTIFY : 0);
    if (it.link) {
      SetLabelColour(*it.member, kBlue);
      SendMessageW(*it.member, WM_SETFONT, reinterpret_cast<WPARAM>(linkFont_.get()), FALSE);
      SetHint(*it.member, it.hint);
      auto click = it.click;
      OnClick(*it.member, [this, click] { (this->*click)(); });
    }
    x += size.cx + (it.link ? 10 : 2);
  }
  SelectObject(dc, old);
  ReleaseDC(Handle, dc);
}

void TForm1::CreateTabSheet5Controls() {
  Panel2 = AddControl(TabSheet5, kPageClass, "", WS_CLIPSIBLINGS, 6, 6, 456, 274,
                      WS_EX_CONTROLPARENT);
  SetPropW(Panel2, kRaisedProp, reinterpret_cast<HANDLE>(1));
  HDC dc = GetDC(Handle);
  UniqueFont measureFont = MakeFont(12, false);
  HGDIOBJ old = SelectObject(dc, measureFont.get());
  const int left = 10, width = 436;
  // Height a text needs at 96 DPI when wrapped into `w` pixels.
  auto heightOf = [&](const std::string& text, int w) {
    std::wstring t = Widen(text);
    RECT r{0, 0, w, 0};
    DrawTextW(dc, t.c_str(), static_cast<int>(t.size()), &r, DT_CALCRECT | DT_WORDBREAK);
    return static_cast<int>(r.bottom);
  };
  auto width1 = [&](const std::string& text) {
    std::wstring t = Widen(text);
    SIZE size{};
    GetTextExtentPoint32W(dc, t.c_str(), static_cast<int>(t.size()), &size);
    return static_cast<int>(size.cx) + 1;
  };
  int y = 12;
  auto line = [&](HWND& member, const std::string& text, COLORREF colour) {
    int h = heightOf(text, width);
    member = AddLabel(Panel2, text, left, y, width, h);
    SetLabelColour(member, colour);
    y += h + 6;
  };
  Label8 = AddLabel(Panel2, "Mirtak工作小组开发", left, y, width, 12);
  EnableWindow(Label8, FALSE);
  y += 20;
  std::string t11 = "本工作小组可接受定制开发各种应用程序";
  int w11 = width1(t11);
  Label11 = AddLabel(Panel2, t11, left, y, w11, 12);
  SetLabelColour(Label11, kRed);
  Label17 = AddLabel(Panel2, "如：进销存系列管理软件，会员管", left + w11, y, width - w11, 12);
  SetLabelColour(Label17, kBlack);
  y += 18;
  line(Label14, "理软件，人事工资，考勤管理等各种管理系统，可针对硬件连接性开发，如语", kBlack);
  line(Label15,
       "音盒，指纹考勤机，打印机，条码扫描枪，来电显示盒，客显设备，各种IC卡，RF卡，ID卡，磁条卡"
       "等所有卡",
       kBlack);
  line(Label16, "类，也可定制即时通讯软件（IM），系统自动优化等工具的开发", kBlack);
  Panel3 = AddControl(Panel2, L"STATIC", "", SS_ETCHEDHORZ, left, y, width, 2);
  y += 10;
  line(Label18, "本程序功能：", kRed);
  line(Label19, "1.分割文件  （可以把大文件分割成小文件带走，然后再合并成原来的文件） ", kRed);
  line(Label20, "2.虚拟硬盘  （把文件夹虚拟成物理盘，解决文件夹多，不容易找到的问题） ", kRed);
  line(Label21, "3.IE修复    （修复IE默认主页被篡改的问题，被三方软件安装插件等问题）", kRed);
  line(Label22, "4.系统启动项（可添加系统开机自动启动软件，删除已有开机启动项）", kRed);
  SelectObject(dc, old);
  ReleaseDC(Handle, dc);
}

// ---- building blocks -------------------------------------------------------------------------

int TForm1::Scale(int pixels96) const { return MulDiv(pixels96, static_cast<int>(dpi_), 96); }

HWND TForm1::AddControl(HWND parent, const wchar_t* windowClass, const std::string& text,
                        DWORD style, int x, int y, int w, int h, DWORD exStyle) {
  static int nextId = 1000;
  HWND hwnd = CreateWindowExW(exStyle, windowClass, Widen(text).c_str(),
                              WS_CHILD | WS_VISIBLE | style, Scale(x), Scale(y), Scale(w),
                              Scale(h), parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(nextId++)),
                              GetModuleHandleW(nullptr), nullptr);
  if (!hwnd) throw AppError(SystemErrorText(GetLastError()));
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  if (std::wstring(windowClass) == kPageClass) SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                                                                 reinterpret_cast<LONG_PTR>(this));
  placed_.push_back({hwnd, parent, RECT{x, y, x + w, y + h}});
  return hwnd;
}

HWND TForm1::AddLabel(HWND parent, const std::string& text, int x, int y, int w, int h,
                      DWORD extraStyle) {
  return AddControl(parent, L"STATIC", text, SS_LEFT | SS_NOPREFIX | extraStyle, x, y, w, h);
}

HWND TForm1::AddButton(HWND parent, const std::string& text, int x, int y, int w, int h,
                       DWORD extraStyle) {
  return AddControl(parent, L"BUTTON", text, WS_TABSTOP | extraStyle, x, y, w, h);
}

HWND TForm1::AddGroup(HWND parent, const std::string& text, int x, int y, int w, int h) {
  return AddControl(parent, L"BUTTON", text, BS_GROUPBOX, x, y, w, h);
}

HWND TForm1::AddEdit(HWND parent, const std::string& text, int x, int y, int w, int h,
                     DWORD extraStyle) {
  return AddControl(parent, L"EDIT", text, WS_TABSTOP | extraStyle, x, y, w, h, WS_EX_CLIENTEDGE);
}

void TForm1::OnClick(HWND control, std::function<void()> handler) {
  clicks_[control] = std::move(handler);
}

void TForm1::OnNotify(HWND control, std::function<LRESULT(NMHDR*)> handler) {
  notifies_[control] = std::move(handler);
}

void TForm1::OnContextMenu(HWND control, std::vector<MenuItem> items) {
  contextMenus_[control] = std::move(items);
}

std::vector<std::string> TForm1::ContextMenuCaptions(HWND control) const {
  std::vector<std::string> captions;
  auto it = contextMenus_.find(control);
  if (it != contextMenus_.end())
    for (const MenuItem& item : it->second) captions.push_back(item.caption);
  return captions;
}

bool TForm1::ChooseContextMenu(HWND control, const std::string& caption) {
  auto it = contextMenus_.find(control);
  if (it == contextMenus_.end()) return false;
  for (const MenuItem& item : it->second) {
    if (item.caption != caption) continue;
    auto handler = item.handler;  // the handler may rebind menus
    Guarded(handler);
    return true;
  }
  return false;
}

void TForm1::SetLabelColour(HWND label, COLORREF colour) {
  colours_[label] = colour;
  InvalidateRect(label, nullptr, TRUE);
}

void TForm1::SetHint(HWND control, const std::string& hint) {
  std::wstring text = Widen(hint);
  TTTOOLINFOW ti{};
  ti.cbSize = sizeof(ti);
  ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  ti.hwnd = Handle;
  ti.uId = reinterpret_cast<UINT_PTR>(control);
  ti.lpszText = text.data();
  SendMessageW(tooltip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
  SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

void TForm1::Click(HWND control) {
  wchar_t cls[32] = L"";
  GetClassNameW(control, cls, 32);
  if (_wcsicmp(cls, L"Static") == 0) {
    // A label's click arrives as STN_CLICKED at its parent.
    SendMessageW(GetParent(control), WM_COMMAND,
                 MAKEWPARAM(GetDlgCtrlID(control), STN_CLICKED), reinterpret_cast<LPARAM>(control));
  } else {
    SendMessageW(control, BM_CLICK, 0, 0);
  }
}

std::string TForm1::GetText(HWND control) {
  int n = GetWindowTextLengthW(control);
  std::wstring buf(static_cast<size_t>(n) + 1, L'\0');
  n = GetWindowTextW(control, buf.data(), n + 1);
  return Narrow(buf.data(), static_cast<size_t>(n));
}

void TForm1::SetText(HWND control, const std::string& text) {
  SetWindowTextW(control, Widen(text).c_str());
}

std::string TForm1::Caption() const { return GetText(Handle); }
void TForm1::SetCaption(const std::string& caption) { SetText(Handle, caption); }

// ---- errors, notices, the UI thread -----------------------------------------------------------

void TForm1::Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    ShowErrorReport(e.what());
  } catch (...) {
    ShowErrorReport("未知错误");
  }
}

void TForm1::ShowErrorReport(const std::string& message) {
  try {
    svc.messages->Show(Handle, ErrorReportText(message), kApplicationTitle, kMbOk | kMbIconError);
  } catch (...) {
    // Nothing is left to report with.
  }
}

int TForm1::Notice(const std::string& text, const std::string& caption) {
  return svc.messages->Show(Handle, text, caption, kMbOk);
}

bool TForm1::PostToUi(std::function<void()> work) {
  auto* heap = new std::function<void()>(std::move(work));
  HWND h = Handle;
  if (h && PostMessageW(h, kRunOnUi, 0, reinterpret_cast<LPARAM>(heap))) return true;
  delete heap;
  return false;
}

// ---- tabs ------------------------------------------------------------------------------------

int TForm1::ActivePageIndex() const { return TabCtrl_GetCurSel(PageControl1); }

void TForm1::SetActivePage(int index) {
  TabCtrl_SetCurSel(PageControl1, index);
  PageShown(index);
}

void TForm1::PageShown(int index) {
  HWND pages[] = {TabSheet1, TabSheet2, TabSheet3, TabSheet4, TabSheet5};
  for (int i = 0; i < 5; ++i) ShowWindow(pages[i], i == index ? SW_SHOW : SW_HIDE);
  switch (index) {
    case 1: Guarded([this] { TabSheet2Show(); }); break;
    case 2: Guarded([this] { TabSheet3Show(); }); break;
    case 3: Guarded([this] { TabSheet4Show(); }); break;
    default: break;
  }
}

// ---- start-up ----------------------------------------------------------------------------------

void TForm1::FormCreate() {
  Guarded([this] {
    if (PartnerEditionTest()) {
      SetCaption(PartnerCaption());
      return;
    }
    SetCaption(Caption() + " " + kProgramVersion);
    LaunchCounterStep();
  });
}

void TForm1::Show(int cmdShow) {
  ShowWindow(Handle, cmdShow);
  UpdateWindow(Handle);
  if (!shown_) {
    shown_ = true;
    FormShow();
  }
}

void TForm1::FormShow() {
  SetActivePage(0);
  Guarded([this] {
    TIniFile ini(*svc.profile, SettingsFilePath(svc.exeDir));
    if (ini.ReadBool(kSettingsSection, kKeyFirstRun, true))
      ini.WriteBool(kSettingsSection, kKeyFirstRun, false);
    StartUpdateCheck();
  });
}

// ---- contact strip -------------------------------------------------------------------------------

void TForm1::Label23Click() { svc.shell->ShellOpen(Handle, "", kSiteUrl, "", "", SW_SHOWNORMAL); }

void TForm1::Label27Click() {
  svc.shell->ShellOpen(Handle, "", kFeedbackUrl, "", "", SW_SHOWNORMAL);
}

void TForm1::Label24Click() {
  svc.clipboard->SetText(Handle, kContactEmail);
  Notice("邮箱地址已复制到剪贴板");
}

void TForm1::Label26Click() {
  std::string url = std::string("http://") + kChatHost + "/msgrd?v=3&uin=" + kAuthorAccount +
                    "&site=qq&menu=yes";
  svc.browser->NavigateHidden(Handle, GetSystemMetrics(SM_CXSCREEN),
                              GetSystemMetrics(SM_CYSCREEN), url);
}

// ---- timers ----------------------------------------------------------------------------------------

void TForm1::SetTimer2Enabled(bool enabled) {
  timer2_ = enabled;
  if (enabled) SetTimer(Handle, kTimer2, 1000, nullptr); else KillTimer(Handle, kTimer2);
}

void TForm1::SetTimer3Enabled(bool enabled) {
  timer3_ = enabled;
  if (enabled) SetTimer(Handle, kTimer3, 1000, nullptr); else KillTimer(Handle, kTimer3);
}

void TForm1::Timer3Timer() {
  SetTimer3Enabled(false);
  PostQuitMessage(0);
}

// ---- DPI ---------------------------------------------------------------------------------------------

void TForm1::ApplyDpi(UINT dpi) {
  dpi_ = dpi;
  font_ = MakeFont(Scale(12), false);
  linkFont_ = MakeFont(Scale(12), true);
  for (const Placed& p : placed_) {
    MoveWindow(p.hwnd, Scale(p.rect96.left), Scale(p.rect96.top),
               Scale(p.rect96.right - p.rect96.left), Scale(p.rect96.bottom - p.rect96.top), TRUE);
    bool link = p.hwnd == Label24 || p.hwnd == Label26 || p.hwnd == Label23 || p.hwnd == Label27;
    SendMessageW(p.hwnd, WM_SETFONT,
                 reinterpret_cast<WPARAM>(link ? linkFont_.get() : font_.get()), TRUE);
  }
}

// ---- window procedures ---------------------------------------------------------------------------------

LRESULT CALLBACK TForm1::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* self = reinterpret_cast<TForm1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) {
    if (msg == kRunOnUi) delete reinterpret_cast<std::function<void()>*>(lp);
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  try {
    return self->Handle_(hwnd, msg, wp, lp);
  } catch (...) {
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

LRESULT CALLBACK TForm1::PageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<TForm1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self) {
    try {
      LRESULT result = 0;
      if (self->Forward(hwnd, msg, wp, lp, result)) return result;
    } catch (...) {
      return 0;
    }
  }
  if (msg == WM_PAINT && GetPropW(hwnd, kRaisedProp)) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT r;
    GetClientRect(hwnd, &r);
    DrawEdge(dc, &r, BDR_RAISEDINNER | BDR_RAISEDOUTER, BF_RECT);
    EndPaint(hwnd, &ps);
    return 0;
  }
  if (msg == WM_NCDESTROY) RemovePropW(hwnd, kRaisedProp);
  return DefWindowProcW(hwnd, msg, wp, lp);
}

// Messages that controls send to their parent, whether that is the window or a page.
bool TForm1::Forward(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  switch (msg) {
    case WM_COMMAND: {
      HWND ctl = reinterpret_cast<HWND>(lp);
      auto it = clicks_.find(ctl);
      if (ctl && HIWORD(wp) == BN_CLICKED && it != clicks_.end()) {
        auto handler = it->second;  // the handler may rebind controls
        Guarded(handler);
        result = 0;
        return true;
      }
      return false;
    }
    case WM_NOTIFY: {
      auto* nm = reinterpret_cast<NMHDR*>(lp);
      auto it = notifies_.find(nm->hwndFrom);
      if (it == notifies_.end()) return false;
      auto handler = it->second;
      result = 0;
      Guarded([&] { result = handler(nm); });
      return true;
    }
    case WM_CONTEXTMENU: {
      HWND ctl = reinterpret_cast<HWND>(wp);
      auto it = contextMenus_.find(ctl);
      if (it == contextMenus_.end()) return false;
      POINT at{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      if (lp == -1) {  // from the keyboard
        RECT r;
        GetWindowRect(ctl, &r);
        at = {r.left + Scale(8), r.top + Scale(8)};
      }
      HMENU menu = CreatePopupMenu();
      if (!menu) return false;
      const std::vector<MenuItem> items = it->second;
      for (size_t i = 0; i < items.size(); ++i)
        AppendMenuW(menu, MF_STRING, i + 1, Widen(items[i].caption).c_str());
      UINT chosen = static_cast<UINT>(TrackPopupMenu(
          menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, Handle, nullptr));
      DestroyMenu(menu);
      if (chosen >= 1 && chosen <= items.size()) Guarded(items[chosen - 1].handler);
      result = 0;
      return true;
    }
    case WM_CTLCOLORSTATIC: {
      auto it = colours_.find(reinterpret_cast<HWND>(lp));
      if (it == colours_.end()) return false;
      HDC dc = reinterpret_cast<HDC>(wp);
      SetTextColor(dc, it->second);
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      return true;
    }
    case WM_DROPFILES: {
      HDROP drop = reinterpret_cast<HDROP>(wp);
      if (hwnd != TabSheet1) {
        DragFinish(drop);
        return false;
      }
      Guarded([&] { TabSheet1DropFiles(drop); });
      result = 0;
      return true;
    }
    case WM_SETCURSOR: {
      HWND over = reinterpret_cast<HWND>(wp);
      if (over == Label24 || over == Label26 || over == Label23 || over == Label27) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        result = TRUE;
        return true;
      }
      return false;
    }
    default:
      return false;
  }
}

LRESULT TForm1::Handle_(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT result = 0;
  if (Forward(hwnd, msg, wp, lp, result)) return result;
  switch (msg) {
    case kRunOnUi: {
      std::unique_ptr<std::function<void()>> work(reinterpret_cast<std::function<void()>*>(lp));
      Guarded(*work);
      return 0;
    }
    case WM_TIMER:
      if (wp == kTimer2) Guarded([this] { Timer2Timer(); });
      else if (wp == kTimer3) Guarded([this] { Timer3Timer(); });
      return 0;
    case WM_DPICHANGED: {
      ApplyDpi(HIWORD(wp));
      auto* r = reinterpret_cast<RECT*>(lp);
      SetWindowPos(hwnd, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_CLOSE: {
      bool close = true;
      Guarded([&] { close = SplitterMayClose(); });
      if (close) DestroyWindow(hwnd);
      return 0;
    }
    case WM_DESTROY: {
      SplitterShutdown();
      // Work posted by threads that is still queued is dropped with the window.
      MSG pending;
      while (PeekMessageW(&pending, hwnd, kRunOnUi, kRunOnUi, PM_REMOVE))
        delete reinterpret_cast<std::function<void()>*>(pending.lParam);
      Handle = nullptr;
      if (quitOnDestroy) PostQuitMessage(0);
      return 0;
    }
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace mt
