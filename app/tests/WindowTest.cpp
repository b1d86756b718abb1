// Under Wine, the window layer with the program's three windows: errors stop at the window
// procedure, the UI-thread gate frees what it could not run, the dialog keys of every window,
// and the layout at 120 and 144 DPI with no text cut off.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/Constants.h"
#include "app/Registry.h"
#include "app/Settings.h"
#include "app/win/Unit1.h"
#include "program/ProgramForm.h"
#include "app/win/Window.h"
#include "offer/win/FhzPortal.h"
#include "offer/PartnerOffer.h"
#include "tests/support/StandIns.h"
#include "tests/support/WinPump.h"
#include "update/win/Usjtx.h"
#include "splitter/win/SplitterPage.h"
#include "startup/win/StartupPage.h"

namespace mt {
namespace {

using test::Pump;

// A window of the layer with one panel and one picture whose painting fails on demand.
class ProbeWindow : public Window {
 public:
  static constexpr UINT kFail = WM_APP + 40;
  void Create() {
    CreateFrame({L"MtProbeWindow", "probe", WS_OVERLAPPEDWINDOW, 0, 200, 100, nullptr, false});
    panel = AddPanel(Handle, 0, 0, 200, 50, RGB(255, 255, 255));
    picture = AddPicture(panel, 10, 10, 20, 20, true, [this](HDC, const RECT&) {
      if (failPaint) throw AppError("picture failed");
    });
  }
  void ShowErrorReport(const std::string& message) override { reports.push_back(message); }
  std::vector<std::string> reports;
  bool failPaint = false;
  HWND panel = nullptr, picture = nullptr;

 protected:
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == kFail) throw AppError("handler failed");
    return Window::OnMessage(msg, wp, lp);
  }
};

TEST(WindowLayer, AnErrorInAnyOfItsWindowsEndsInTheReportAndTheWindowGoesOn) {
  ProbeWindow w;
  w.Create();
  SendMessageW(w.Handle, ProbeWindow::kFail, 0, 0);
  w.failPaint = true;
  ShowWindow(w.Handle, SW_SHOWNOACTIVATE);
  RedrawWindow(w.picture, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  w.failPaint = false;
  ASSERT_GE(w.reports.size(), 2u);
  EXPECT_EQ(w.reports[0], "handler failed");
  EXPECT_EQ(w.reports[1], "picture failed");
  EXPECT_TRUE(IsWindow(w.Handle));
  EXPECT_TRUE(IsWindow(w.picture));
}

// ---- the UI-thread gate ------------------------------------------------------------------

class UiHandOver : public ::testing::Test {
 protected:
  void SetUp() override {
    form = std::make_unique<TForm1>(t.services, ProgramFormPlan());
    form->quitOnDestroy = false;
    form->Create();
  }
  // Posts work that holds `token` and records whether it ran.
  bool PostHolding() {
    std::shared_ptr<int> held = token;
    return form->PostToUi([held, this] { ran = true; });
  }
  test::TestServices t;
  std::unique_ptr<TForm1> form;
  std::shared_ptr<int> token = std::make_shared<int>(0);
  bool ran = false;
};

TEST_F(UiHandOver, WorkStillQueuedWhenTheWindowObjectGoesIsFreedUnrun) {
  ASSERT_TRUE(PostHolding());
  EXPECT_EQ(token.use_count(), 2);
  std::shared_ptr<UiGate> gate = form->UpdateGate();
  form.reset();
  EXPECT_EQ(token.use_count(), 1);  // freed, not leaked
  Pump();
  EXPECT_FALSE(ran);
  // A worker that finishes late finds the gate closed.
  EXPECT_EQ(gate->Send([this] { ran = true; }), Handed::Gone);
  Pump();
  EXPECT_FALSE(ran);
}

TEST_F(UiHandOver, WorkStillQueuedWhenTheWindowIsClosedIsFreedUnrunAndLaterPostsAreDropped) {
  ASSERT_TRUE(PostHolding());
  HWND h = form->Handle;
  DestroyWindow(h);
  EXPECT_EQ(form->Handle, nullptr);
  EXPECT_EQ(token.use_count(), 1);
  EXPECT_FALSE(PostHolding());
  EXPECT_EQ(token.use_count(), 1);
  EXPECT_EQ(form->UpdateGate()->Send([] {}), Handed::Gone);
  Pump();
  EXPECT_FALSE(ran);
}

// ---- keys ---------------------------------------------------------------------------------

// Presses `key` as the message loop sees it (down and up, to the focused control).
void Press(UINT key, bool shift = false) {
  BYTE state[256];
  GetKeyboardState(state);
  state[VK_SHIFT] = shift ? 0x80 : 0;
  SetKeyboardState(state);
  for (UINT message : {WM_KEYDOWN, WM_KEYUP}) {
    MSG msg{};
    msg.hwnd = GetFocus();
    msg.message = message;
    msg.wParam = key;
    msg.lParam = message == WM_KEYUP ? static_cast<LPARAM>(0xC0000001) : 1;
    DispatchUiMessage(msg);
  }
  state[VK_SHIFT] = 0;
  SetKeyboardState(state);
  Pump();
}

// The focus once a newly shown window has been activated: activation reaches the window
// through the display, so the messages are run until `expected` has the focus or two seconds
// have passed.
HWND FocusOnceActive(HWND expected) {
  for (DWORD start = GetTickCount(); GetTickCount() - start < 2000; Sleep(5)) {
    Pump();
    if (GetFocus() == expected) break;
  }
  return GetFocus();
}

class ReminderKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    t.services.exeDir = "C:\\mt-keys";
    form = std::make_unique<TForm1>(t.services, ProgramFormPlan());
    form->quitOnDestroy = false;
    form->Create();
    record.zpver = "v1.4";
    OpenReminderWindow(*form, record);
    Pump();
    FocusOnceActive(Fsjtx->CheckBox1);
  }
  void TearDown() override {
    DestroyReminderWindow();
    form.reset();
  }
  std::string Setting(const char* key) {
    return t.profile.ReadString(SettingsFilePath(t.services.exeDir), kSettingsSection, key,
                                "(none)");
  }
  test::TestServices t;
  std::unique_ptr<TForm1> form;
  UpdateRecord record;
};

TEST_F(ReminderKeys, TabGoesThroughTheControlsInTheirOrderFromTheCheckBox) {
  ASSERT_TRUE(Fsjtx && IsWindowVisible(Fsjtx->Handle));
  EXPECT_EQ(GetFocus(), Fsjtx->CheckBox1);
  const HWND order[] = {Fsjtx->Button3, Fsjtx->Button2, Fsjtx->Button1, Fsjtx->CheckBox1};
  for (HWND next : order) {
    Press(VK_TAB);
    EXPECT_EQ(GetFocus(), next) << Window::GetText(next);
  }
  Press(VK_TAB, true);
  EXPECT_EQ(GetFocus(), Fsjtx->Button1);
  Press(VK_TAB, true);
  EXPECT_EQ(GetFocus(), Fsjtx->Button2);
}

TEST_F(ReminderKeys, EnterPressesTheFocusedButtonAndEscClosesAsCloseDoes) {
  // Enter on "关闭" closes.
  SetFocus(Fsjtx->Button3);
  Press(VK_RETURN);
  EXPECT_FALSE(IsWindowVisible(Fsjtx->Handle));
  EXPECT_EQ(Setting(kKeySjtx), "(none)");
  // Esc with the box ticked: the close handler saves the silenced version.
  OpenReminderWindow(*form, record);
  Pump();
  ASSERT_TRUE(IsWindowVisible(Fsjtx->Handle));
  SetFocus(Fsjtx->CheckBox1);
  Press(VK_SPACE);
  EXPECT_EQ(SendMessageW(Fsjtx->CheckBox1, BM_GETCHECK, 0, 0), BST_CHECKED);
  Press(VK_ESCAPE);
  EXPECT_FALSE(IsWindowVisible(Fsjtx->Handle));
  EXPECT_EQ(Setting(kKeySjtx), "0");
  EXPECT_EQ(Setting(kKeySjtxVer), "v1.4");
}

// The launch counter at the value that shows the offer at the next start.
void OfferAtThisStart(test::TestServices& t) {
  TRegistry reg(t.registry);
  ASSERT_TRUE(reg.OpenKey("\\Software\\MRTKBOX", true));
  reg.WriteInteger("cs", 5);
}

TEST(OfferKeys, TheButtonHasTheFocusAndEscDoesNotCloseTheDialog) {
  test::TestServices t;
  OfferAtThisStart(t);
  TForm1 form(t.services, ProgramFormPlan());
  form.quitOnDestroy = false;
  bool focused = false, openAfterEsc = false;
  t.services.offerShown = [&](TFhzPortal& d) {
    focused = FocusOnceActive(d.RzBmpButton10) == d.RzBmpButton10;
    Press(VK_ESCAPE);
    openAfterEsc = IsWindow(d.Handle) && IsWindowVisible(d.Handle);
    d.SetAutoUpgradeTicked(false);
    PostMessageW(d.Handle, WM_CLOSE, 0, 0);
  };
  form.Create();
  EXPECT_TRUE(focused);
  EXPECT_TRUE(openAfterEsc);
  EXPECT_EQ(form.Caption(), "Mirtak工具合集 v1.3");
}

TEST(MainKeys, TheFirstControlOfTheTabOrderHasTheFocusWhenTheWindowOpens) {
  test::TestServices t;
  TForm1 form(t.services, ProgramFormPlan());
  form.quitOnDestroy = false;
  form.Create();
  form.Show(SW_SHOW);
  // The pages lie above the tab control: the file to split comes first.
  EXPECT_EQ(FocusOnceActive(form.Page<SplitterPage>().Edit2), form.Page<SplitterPage>().Edit2);
  Press(VK_TAB);
  EXPECT_EQ(GetFocus(), form.Page<SplitterPage>().Button1);
}

// ---- DPI ----------------------------------------------------------------------------------

// Every visible text control reaching into `top`'s client area whose text does not fit the
// part of its box that the window shows, in its font: labels by their drawn rectangle
// (wrapped unless they never wrap), buttons, check boxes and radio buttons with room for
// their box. `skip` are controls cut by design.
std::vector<std::string> CutTexts(HWND top, const std::vector<HWND>& skip) {
  std::vector<std::string> cut;
  RECT area;
  GetClientRect(top, &area);
  MapWindowPoints(top, nullptr, reinterpret_cast<POINT*>(&area), 2);
  struct Walk {
    static BOOL CALLBACK Child(HWND hwnd, LPARAM lp) {
      reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
      return TRUE;
    }
  };
  std::vector<HWND> all;
  EnumChildWindows(top, Walk::Child, reinterpret_cast<LPARAM>(&all));
  for (HWND c : all) {
    if (std::find(skip.begin(), skip.end(), c) != skip.end()) continue;
    const std::string text = Window::GetText(c);
    if (text.empty() || !IsWindowVisible(c)) continue;
    RECT r;
    GetWindowRect(c, &r);
    RECT inside;
    if (!IntersectRect(&inside, &r, &area)) continue;  // laid out beyond the client area
    wchar_t cls[32] = L"";
    GetClassNameW(c, cls, 32);
    const LONG style = GetWindowLongW(c, GWL_STYLE);
    // What the window shows of the control: a box that crosses the window's edge keeps only
    // its visible part for the text.
    RECT box{0, 0, inside.right - r.left, inside.bottom - r.top};
    RECT client;
    GetClientRect(c, &client);
    box.right = std::min(box.right, client.right);
    box.bottom = std::min(box.bottom, client.bottom);
    ScopedWindowDC dc(c);
    ScopedSelect font(dc.get(), reinterpret_cast<HFONT>(SendMessageW(c, WM_GETFONT, 0, 0)));
    std::wstring w = Widen(text);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc.get(), &tm);
    bool fits = true;
    RECT need{0, 0, box.right, 0};
    if (_wcsicmp(cls, L"Static") == 0) {
      const LONG type = style & SS_TYPEMASK;
      if (type != SS_LEFT && type != SS_LEFTNOWORDWRAP) continue;
      DrawTextW(dc.get(), w.c_str(), -1, &need,
                DT_CALCRECT | DT_NOPREFIX | (type == SS_LEFT ? DT_WORDBREAK : 0));
      // Every line's characters stand on a baseline inside the box.
      const long lines = tm.tmHeight ? (need.bottom + tm.tmHeight - 1) / tm.tmHeight : 1;
      fits = need.right <= box.right && (lines - 1) * tm.tmHeight + tm.tmAscent <= box.bottom;
    } else if (_wcsicmp(cls, L"Button") == 0) {
      const LONG type = style & BS_TYPEMASK;
      if (type == BS_GROUPBOX) continue;
      SIZE size{};
      GetTextExtentPoint32W(dc.get(), w.c_str(), static_cast<int>(w.size()), &size);
      const bool pushButton = type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
      const int room = pushButton ? 4 : GetSystemMetrics(SM_CXMENUCHECK) + 4;
      need = RECT{0, 0, size.cx + room, tm.tmAscent};
      fits = size.cx + room <= box.right && tm.tmAscent <= box.bottom;
    } else {
      continue;
    }
    if (!fits)
      cut.push_back(text + " (" + std::to_string(need.right) + "x" + std::to_string(need.bottom) +
                    " in " + std::to_string(box.right) + "x" + std::to_string(box.bottom) + ")");
  }
  return cut;
}

// Whether a label, drawn as it paints itself, shows a line under its text: a pixel row in
// which nearly the whole width differs from the label's background.
bool ShowsUnderline(HWND label) {
  RECT rc;
  GetClientRect(label, &rc);
  ScopedWindowDC screen(nullptr);
  HDC dc = CreateCompatibleDC(screen.get());
  HBITMAP bitmap = CreateCompatibleBitmap(screen.get(), rc.right, rc.bottom);
  bool underlined = false;
  {
    ScopedSelect selected(dc, bitmap);
    SendMessageW(label, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
    std::map<COLORREF, int> counts;
    for (int y = 0; y < rc.bottom; ++y)
      for (int x = 0; x < rc.right; ++x) ++counts[GetPixel(dc, x, y)];
    const COLORREF background =
        std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) {
          return a.second < b.second;
        })->first;
    for (int y = 0; y < rc.bottom && !underlined; ++y) {
      int ink = 0;
      for (int x = 0; x < rc.right; ++x) ink += GetPixel(dc, x, y) != background;
      underlined = ink * 10 >= rc.right * 9;
    }
  }
  DeleteObject(bitmap);
  DeleteDC(dc);
  return underlined;
}

void ChangeDpi(HWND top, UINT dpi) {
  RECT r;
  GetWindowRect(top, &r);
  SendMessageW(top, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&r));
  Pump();
}

class DpiLayout : public ::testing::TestWithParam<UINT> {};

TEST_P(DpiLayout, NoCaptionOrLabelOfTheThreeWindowsIsCutOff) {
  const UINT dpi = GetParam();
  test::TestServices t;
  OfferAtThisStart(t);
  TForm1 form(t.services, ProgramFormPlan());
  form.quitOnDestroy = false;
  std::vector<std::string> offerCut;
  t.services.offerShown = [&](TFhzPortal& d) {
    ChangeDpi(d.Handle, dpi);
    EXPECT_EQ(d.Scale(100), static_cast<int>(100 * dpi / 96));
    offerCut = CutTexts(d.Handle, {});
    d.SetAutoUpgradeTicked(false);
    PostMessageW(d.Handle, WM_CLOSE, 0, 0);
  };
  form.Create();
  EXPECT_EQ(offerCut, std::vector<std::string>{});
  form.Show(SW_SHOWNOACTIVATE);
  // The contact links keep their look at every size: underlined, as high as the rest.
  auto linksLookRight = [&form] {
    for (HWND link : {form.Label24, form.Label26, form.Label23, form.Label27}) {
      LOGFONTW lf{};
      ASSERT_TRUE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(link, WM_GETFONT, 0, 0)),
                             sizeof lf, &lf));
      EXPECT_TRUE(lf.lfUnderline) << TForm1::GetText(link);
      EXPECT_EQ(lf.lfHeight, -form.Scale(12)) << TForm1::GetText(link);
      EXPECT_TRUE(ShowsUnderline(link)) << TForm1::GetText(link);
    }
  };
  linksLookRight();
  // Pages made before the change follow it; the test of lazily made pages is below.
  for (int page = 0; page < TForm1::kPageCount; ++page) form.EnsurePage(page);
  ChangeDpi(form.Handle, dpi);
  linksLookRight();
  for (int page = 0; page < 5; ++page) {
    form.SetActivePage(page);
    Pump();
    EXPECT_EQ(CutTexts(form.Handle, {}), std::vector<std::string>{}) << "page " << page;
  }
  UpdateRecord record;
  record.zpver = "v1.4.10";
  record.zpdx = "12.5MB";
  record.zpgxsj = "2026-12-01";
  OpenReminderWindow(form, record);
  ChangeDpi(Fsjtx->Handle, dpi);
  RECT client;
  GetClientRect(Fsjtx->Handle, &client);
  EXPECT_EQ(client.right, Fsjtx->Scale(352));
  EXPECT_EQ(CutTexts(Fsjtx->Handle, {Fsjtx->lab_nr}), std::vector<std::string>{});
  // MT_DPI_HOLD_MS keeps the windows up for a look (screenshots).
  if (const char* hold = std::getenv("MT_DPI_HOLD_MS")) {
    const DWORD end = GetTickCount() + static_cast<DWORD>(std::atoi(hold));
    while (static_cast<int>(GetTickCount() - end) < 0) {
      Pump();
      Sleep(10);
    }
  }
  DestroyReminderWindow();
}

// A page made the first time its tab shows, after the window changed its DPI, is laid out
// at the new DPI like the pages made before.
TEST_P(DpiLayout, APageMadeAfterTheChangeIsLaidOutAtTheNewDpi) {
  const UINT dpi = GetParam();
  test::TestServices t;
  TForm1 form(t.services, ProgramFormPlan());
  form.quitOnDestroy = false;
  form.Create();
  form.Show(SW_SHOWNOACTIVATE);
  ChangeDpi(form.Handle, dpi);
  for (int page = 1; page < TForm1::kPageCount; ++page) {
    ASSERT_EQ(form.PageIfMade(page), nullptr) << "page " << page << " made before its tab showed";
    form.SetActivePage(page);
    Pump();
    ASSERT_NE(form.PageIfMade(page), nullptr) << "page " << page;
    EXPECT_EQ(CutTexts(form.Handle, {}), std::vector<std::string>{}) << "page " << page;
  }
  RECT list;
  GetWindowRect(form.Page<StartupPage>().ListView2, &list);
  // ListView2 is 458 pixels wide at 96 DPI.
  EXPECT_EQ(list.right - list.left, MulDiv(458, static_cast<int>(dpi), 96));
}

INSTANTIATE_TEST_SUITE_P(At, DpiLayout, ::testing::Values(96u, 120u, 144u));

}  // namespace
}  // namespace mt
