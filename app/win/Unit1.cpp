#include "app/win/Unit1.h"

#include <windowsx.h>

#include <algorithm>

#include "app/Constants.h"
#include "app/Error.h"
#include "app/Settings.h"
#include "app/Text.h"

namespace mt {

namespace {

constexpr wchar_t kFormClass[] = L"TForm1";
constexpr int kClientW = 479, kClientH = 342;
constexpr COLORREF kBlue = RGB(0, 0, 255), kRed = RGB(255, 0, 0), kBlack = RGB(0, 0, 0);

}  // namespace

TForm1::TForm1(Services& services, FormPlan plan) : svc(services), plan_(std::move(plan)) {}

TForm1::~TForm1() = default;

// ---- creation ------------------------------------------------------------------------------

void TForm1::Create() {
  Window::CreateFrame({kFormClass, kDesignCaption, kDialogFrameStyle, kDialogFrameExStyle, kClientW,
                       kClientH, nullptr, true});
  linkFont_ = AddFont(12, FW_NORMAL, true);
  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0,
                             0, 0, 0, Handle, nullptr, GetModuleHandleW(nullptr), nullptr);
  SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, Scale(300));
  CreateFrame();
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
  const int dpi = static_cast<int>(Dpi());
  int x = MulDiv(area.left, 96, dpi), y = MulDiv(area.top, 96, dpi);
  int w = MulDiv(area.right - area.left, 96, dpi), h = MulDiv(area.bottom - area.top, 96, dpi);
  HWND* pages[] = {&TabSheet1, &TabSheet2, &TabSheet3, &TabSheet4, &TabSheet5};
  for (int i = 0; i < 5; ++i) {
    *pages[i] = AddPanel(Handle, x, y, w, h);
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
  for (Item& it : items) {
    *it.member = AddLabel(Handle, it.text, 0, 325, 0, 14, it.link ? SS_NOTIFY : 0);
    if (it.link) {
      SetLabelColour(*it.member, kBlue);
      SetControlFont(*it.member, linkFont_);
      SetHint(*it.member, it.hint);
      auto click = it.click;
      OnClick(*it.member, [this, click] { (this->*click)(); });
    }
  }
  LayoutContactStrip();
}

// Each label of the strip is as wide as its text in the font it is drawn with at the window's
// DPI (text does not grow in proportion to the DPI, so 96-DPI widths scaled would cut it).
void TForm1::LayoutContactStrip() {
  HWND row[] = {Label10, Label24, Label25, Label26, Label7, Label23, Label27};
  int widths[7], total = 0, links = 0;
  for (int i = 0; i < 7; ++i) {
    const bool link = IsLink(row[i]);
    widths[i] = MeasureText(row[i], FontOf(link ? linkFont_ : kNormalFont), GetText(row[i])).cx + 1;
    total += widths[i] + (link ? Scale(10) : Scale(2));
    links += link ? 1 : 0;
  }
  // Where a face is wider than the row allows, the space after each link shrinks.
  RECT client;
  GetClientRect(Handle, &client);
  const int over = total - (client.right - Scale(6) - 1);
  const int linkGap = over > 0 ? std::max(Scale(2), Scale(10) - (over + links - 1) / links)
                               : Scale(10);
  // As high as the row's designed height, or the links' underline where a face draws it lower.
  const int height = std::max({Scale(14), LineHeightWithUnderline(Handle, FontOf(linkFont_)),
                               LineHeightWithUnderline(Handle, FontOf(kNormalFont))});
  int x = Scale(6);
  for (int i = 0; i < 7; ++i) {
    RECT r;
    GetWindowRect(row[i], &r);
    MapWindowPoints(nullptr, Handle, reinterpret_cast<POINT*>(&r), 2);
    MoveWindow(row[i], x, r.top, widths[i], height, TRUE);
    x += widths[i] + (IsLink(row[i]) ? linkGap : Scale(2));
  }
}

bool TForm1::IsLink(HWND control) const {
  return control == Label24 || control == Label26 || control == Label23 || control == Label27;
}

void TForm1::OnDpiChanged() {
  SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, Scale(300));
  for (int i = 0; i < kPageCount; ++i)
    if (TabPage* page = PageIfMade(i)) page->DpiChanged();
  LayoutContactStrip();
}

void TForm1::CreateTabSheet5Controls() {
  Panel2 = AddPanel(TabSheet5, 6, 6, 456, 274, CLR_INVALID, true);
  // Laid out at 96 DPI, measured in the 96-DPI face.
  ScopedWindowDC dc(Handle);
  UniqueFont measureFont = MakeSongtiFont(12);
  ScopedSelect selected(dc.get(), measureFont.get());
  const int left = 10, width = 436;
  // Height a text needs at 96 DPI when wrapped into `w` pixels.
  auto heightOf = [&](const std::string& text, int w) {
    std::wstring t = Widen(text);
    RECT r{0, 0, w, 0};
    DrawTextW(dc.get(), t.c_str(), static_cast<int>(t.size()), &r, DT_CALCRECT | DT_WORDBREAK);
    return static_cast<int>(r.bottom);
  };
  auto width1 = [&](const std::string& text) {
    std::wstring t = Widen(text);
    SIZE size{};
    GetTextExtentPoint32W(dc.get(), t.c_str(), static_cast<int>(t.size()), &size);
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
}

// ---- building blocks -------------------------------------------------------------------------

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

std::string TForm1::Caption() const { return GetText(Handle); }
void TForm1::SetCaption(const std::string& caption) { SetText(Handle, caption); }

// ---- errors, notices, the UI thread -----------------------------------------------------------

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

// ---- tabs ------------------------------------------------------------------------------------

int TForm1::ActivePageIndex() const { return TabCtrl_GetCurSel(PageControl1); }

void TForm1::SetActivePage(int index) {
  TabCtrl_SetCurSel(PageControl1, index);
  PageShown(index);
}

void TForm1::PageShown(int index) {
  // The page is made (hidden) before its sheet shows, so the sheet never shows empty.
  TabPage* page = nullptr;
  if (index >= 0 && index < kPageCount && plan_.pages[index])
    Guarded([&] { page = &EnsurePage(index); });
  HWND sheets[] = {TabSheet1, TabSheet2, TabSheet3, TabSheet4, TabSheet5};
  for (int i = 0; i < 5; ++i) ShowWindow(sheets[i], i == index ? SW_SHOW : SW_HIDE);
  // The first tab has no show handler: the window opens on it.
  if (page && index != 0) Guarded([page] { page->Shown(); });
}

TabPage& TForm1::EnsurePage(int tab) {
  if (tab < 0 || tab >= kPageCount) throw AppError("No such page");
  if (!pages_[tab]) {
    if (!plan_.pages[tab]) throw AppError("No such page");
    HWND sheets[] = {TabSheet1, TabSheet2, TabSheet3, TabSheet4};
    pages_[tab] = plan_.pages[tab](*this, sheets[tab]);
  }
  return *pages_[tab];
}

TabPage* TForm1::PageIfMade(int tab) const {
  return tab >= 0 && tab < kPageCount ? pages_[tab].get() : nullptr;
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
  // The first tab is on screen at once: its page is there before the window shows.
  if (!shown_ && plan_.pages[0]) Guarded([this] { EnsurePage(0); });
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
    TIniFile ini = ProgramSettings(svc);
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
  svc.browser->NavigateHidden(Handle, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                              url);
}

// ---- timers ----------------------------------------------------------------------------------------

void TForm1::SetTimer2Enabled(bool enabled) {
  timer2_ = enabled;
  if (enabled) SetTimer(Handle, kTimer2, 1000, nullptr);
  else KillTimer(Handle, kTimer2);
}

void TForm1::SetTimer3Enabled(bool enabled) {
  timer3_ = enabled;
  if (enabled) SetTimer(Handle, kTimer3, 1000, nullptr);
  else KillTimer(Handle, kTimer3);
}

void TForm1::Timer3Timer() {
  SetTimer3Enabled(false);
  PostQuitMessage(0);
}

// ---- the window's messages -------------------------------------------------------------------

bool TForm1::PartnerEditionTest() {
  return plan_.partnerEditionTest && plan_.partnerEditionTest(*this);
}

void TForm1::LaunchCounterStep() {
  if (plan_.launchCounterStep) plan_.launchCounterStep(*this);
}

void TForm1::StartUpdateCheck() {
  if (plan_.startUpdateCheck) plan_.startUpdateCheck(*this);
}

void TForm1::Timer2Timer() {
  if (plan_.timer2Timer) plan_.timer2Timer(*this);
}

void TForm1::OnDestroying() {
  // Later tabs first: the startup page's worker stops before the splitter's work is waited for.
  for (int i = kPageCount - 1; i >= 0; --i)
    if (pages_[i]) pages_[i]->Shutdown();
}

bool TForm1::OnPanelMessage(HWND panel, UINT msg, WPARAM wp, LPARAM, LRESULT& result) {
  if (msg != WM_DROPFILES) return false;
  HDROP drop = reinterpret_cast<HDROP>(wp);
  HWND sheets[] = {TabSheet1, TabSheet2, TabSheet3, TabSheet4};
  TabPage* page = nullptr;
  for (int i = 0; i < kPageCount; ++i)
    if (panel == sheets[i]) page = pages_[i].get();
  if (!page) {
    DragFinish(drop);
    return false;
  }
  Guarded([&] { page->DropFiles(drop); });
  result = 0;
  return true;
}

LRESULT TForm1::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_TIMER:
      if (wp == kTimer2) Guarded([this] { Timer2Timer(); });
      else if (wp == kTimer3) Guarded([this] { Timer3Timer(); });
      return 0;
    case WM_SETCURSOR:
      if (IsLink(reinterpret_cast<HWND>(wp))) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    case WM_CLOSE: {
      bool close = true;
      for (auto& page : pages_)
        if (close && page) Guarded([&] { close = page->MayClose(); });
      if (close) DestroyWindow(Handle);
      return 0;
    }
    case WM_DESTROY:
      if (quitOnDestroy) PostQuitMessage(0);
      return 0;
    default: break;
  }
  static const UINT taskbarButtonCreated = RegisterWindowMessageW(L"TaskbarButtonCreated");
  if (msg == taskbarButtonCreated) {
    taskbarButtonReady = true;
    return 0;
  }
  return Window::OnMessage(msg, wp, lp);
}

}  // namespace mt
