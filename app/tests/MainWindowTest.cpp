// The real Main window, in process, with stand-in services: caption, tabs, About texts, the
// contact strip, start-up steps, the error report and the UI-thread hand-over.
#include <gtest/gtest.h>

#include "tests/support/WinPump.h"

#include <windows.h>
#include <commctrl.h>

#include <thread>

#include "app/Constants.h"
#include "app/Unit1.h"
#include "app/win/Handles.h"
#include "tests/support/StandIns.h"

namespace mt {
namespace {

using test::Pump;

class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = std::make_unique<TForm1>(t_.services);
    form_->quitOnDestroy = false;
  }
  void Start() {
    form_->Create();
    form_->Show(SW_SHOWNOACTIVATE);
    Pump();
  }
  std::string TabText(int i) {
    wchar_t buf[64] = L"";
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = buf;
    item.cchTextMax = 64;
    TabCtrl_GetItem(form_->PageControl1, i, &item);
    return Narrow(std::wstring(buf));
  }
  test::TestServices t_;
  std::unique_ptr<TForm1> form_;
};

TEST_F(MainWindow, FrameCaptionAndTabs) {
  Start();
  EXPECT_EQ(form_->Caption(), "Mirtak工具合集 v1.3");
  LONG style = GetWindowLongW(form_->Handle, GWL_STYLE);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_MINIMIZEBOX);
  RECT client;
  GetClientRect(form_->Handle, &client);
  EXPECT_EQ(client.right, form_->Scale(479));
  EXPECT_EQ(client.bottom, form_->Scale(342));
  EXPECT_TRUE(GetWindowLongW(form_->PageControl1, GWL_STYLE) & TCS_MULTILINE);
  ASSERT_EQ(TabCtrl_GetItemCount(form_->PageControl1), 5);
  const char* expected[] = {"分割文件", "虚拟硬盘", "IE修复", "系统启动项", "关于"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(TabText(i), expected[i]);
  EXPECT_EQ(form_->ActivePageIndex(), 0);
  EXPECT_TRUE(IsWindowVisible(form_->TabSheet1));
  EXPECT_FALSE(IsWindowVisible(form_->TabSheet5));
  // The window font is 宋体, 12 pixels, GB2312.
  LOGFONTW lf{};
  GetObjectW(form_->Font(), sizeof(lf), &lf);
  EXPECT_EQ(Narrow(std::wstring(lf.lfFaceName)), "宋体");
  EXPECT_EQ(lf.lfHeight, -form_->Scale(12));
  EXPECT_EQ(lf.lfCharSet, GB2312_CHARSET);
}

TEST_F(MainWindow, SelectingATabShowsItsPage) {
  Start();
  form_->SetActivePage(4);
  EXPECT_EQ(form_->ActivePageIndex(), 4);
  EXPECT_TRUE(IsWindowVisible(form_->TabSheet5));
  EXPECT_FALSE(IsWindowVisible(form_->TabSheet1));
}

TEST_F(MainWindow, FirstShowWritesFirstRunOnce) {
  Start();
  std::string ini = "C:\\Tools\\config.ini";
  EXPECT_EQ(t_.profile.FileText(ini), "[DS_config]\r\nfirstrun=0\r\n");
  EXPECT_TRUE(t_.messages.shown.empty());
}

TEST_F(MainWindow, UnwritableSettingsFileIsReportedAndTheWindowStillShows) {
  t_.profile.MakeReadOnly("C:\\Tools\\config.ini");
  Start();
  ASSERT_EQ(t_.messages.shown.size(), 1u);
  EXPECT_EQ(t_.messages.shown[0].text, "Unable to write to C:\\Tools\\config.ini.");
  EXPECT_EQ(t_.messages.shown[0].caption, "Mirtak小工具合集");
  EXPECT_EQ(t_.messages.shown[0].style, static_cast<unsigned>(MB_OK | MB_ICONERROR));
  EXPECT_TRUE(IsWindowVisible(form_->Handle));
}

TEST_F(MainWindow, AboutPageTextsAndColours) {
  Start();
  EXPECT_EQ(TForm1::GetText(form_->Label8), "Mirtak工作小组开发");
  EXPECT_FALSE(IsWindowEnabled(form_->Label8));
  EXPECT_EQ(TForm1::GetText(form_->Label11), "本工作小组可接受定制开发各种应用程序");
  EXPECT_EQ(TForm1::GetText(form_->Label17), "如：进销存系列管理软件，会员管");
  EXPECT_EQ(TForm1::GetText(form_->Label16),
            "类，也可定制即时通讯软件（IM），系统自动优化等工具的开发");
  EXPECT_EQ(TForm1::GetText(form_->Label18), "本程序功能：");
  EXPECT_EQ(TForm1::GetText(form_->Label19),
            "1.分割文件  （可以把大文件分割成小文件带走，然后再合并成原来的文件） ");
  EXPECT_EQ(TForm1::GetText(form_->Label21),
            "3.IE修复    （修复IE默认主页被篡改的问题，被三方软件安装插件等问题）");
  EXPECT_EQ(TForm1::GetText(form_->Label22),
            "4.系统启动项（可添加系统开机自动启动软件，删除已有开机启动项）");
  // Every About line lies inside the panel, one below the other.
  RECT panel;
  GetWindowRect(form_->Panel2, &panel);
  HWND lines[] = {form_->Label8, form_->Label11, form_->Label14, form_->Label15, form_->Label16,
                  form_->Label18, form_->Label19, form_->Label20, form_->Label21, form_->Label22};
  LONG lastTop = -1;
  for (HWND l : lines) {
    RECT r;
    GetWindowRect(l, &r);
    EXPECT_GT(r.top, lastTop);
    EXPECT_LE(r.bottom, panel.bottom);
    EXPECT_LE(r.right, panel.right);
    lastTop = r.top;
  }
}

TEST_F(MainWindow, ContactStripLinks) {
  Start();
  EXPECT_EQ(TForm1::GetText(form_->Label10), "E-Mail:");
  EXPECT_EQ(TForm1::GetText(form_->Label24), kContactEmail);
  EXPECT_EQ(TForm1::GetText(form_->Label26), kAuthorAccount);
  EXPECT_EQ(TForm1::GetText(form_->Label23), kSiteHost);
  EXPECT_EQ(TForm1::GetText(form_->Label27), "问题反馈");
  // All seven labels stay inside the window, left to right.
  RECT client;
  GetClientRect(form_->Handle, &client);
  HWND row[] = {form_->Label10, form_->Label24, form_->Label25, form_->Label26,
                form_->Label7,  form_->Label23, form_->Label27};
  LONG lastRight = 0;
  for (HWND l : row) {
    RECT r;
    GetWindowRect(l, &r);
    MapWindowPoints(nullptr, form_->Handle, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_GE(r.left, lastRight);
    EXPECT_LE(r.right, client.right);
    lastRight = r.right;
  }

  TForm1::Click(form_->Label23);
  TForm1::Click(form_->Label27);
  ASSERT_EQ(t_.shell.opens.size(), 2u);
  EXPECT_EQ(t_.shell.opens[0].file, "http://www.mirtak.example");
  EXPECT_EQ(t_.shell.opens[1].file, "http://www.mirtak.example/askquestion.asp");
  for (const auto& o : t_.shell.opens) {
    EXPECT_EQ(o.verb, "");
    EXPECT_EQ(o.params, "");
    EXPECT_EQ(o.show, SW_SHOWNORMAL);
    EXPECT_EQ(o.owner, form_->Handle);
  }

  t_.clipboard.text = "old";
  TForm1::Click(form_->Label24);
  EXPECT_EQ(t_.clipboard.text, kContactEmail);
  ASSERT_EQ(t_.messages.shown.size(), 1u);
  EXPECT_EQ(t_.messages.shown[0].text, "邮箱地址已复制到剪贴板");
  EXPECT_EQ(t_.messages.shown[0].caption, "温馨提示");
  EXPECT_EQ(t_.messages.shown[0].style, static_cast<unsigned>(MB_OK));

  TForm1::Click(form_->Label26);
  TForm1::Click(form_->Label26);
  ASSERT_EQ(t_.browser.navigations.size(), 2u);
  EXPECT_EQ(t_.browser.navigations[1].url,
            "http://wpa.chat.example/msgrd?v=3&uin=800012345&site=qq&menu=yes");
  EXPECT_EQ(t_.browser.navigations[0].left, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(t_.browser.navigations[0].height, GetSystemMetrics(SM_CYSCREEN));
  EXPECT_EQ(t_.browser.navigations[0].parent, form_->Handle);
}

TEST_F(MainWindow, ClipboardFailureIsReportedAndNothingElseHappens) {
  Start();
  t_.clipboard.failOpen = true;
  t_.clipboard.text = "kept";
  TForm1::Click(form_->Label24);
  EXPECT_EQ(t_.clipboard.text, "kept");
  ASSERT_EQ(t_.messages.shown.size(), 1u);
  EXPECT_EQ(t_.messages.shown[0].caption, "Mirtak小工具合集");
  EXPECT_EQ(t_.messages.shown[0].style, static_cast<unsigned>(MB_OK | MB_ICONERROR));
  EXPECT_TRUE(IsWindow(form_->Handle));
}

TEST_F(MainWindow, WorkPostedFromAThreadRunsOnTheUiThreadAndErrorsAreReported) {
  Start();
  DWORD uiThread = GetCurrentThreadId();
  DWORD ranOn = 0;
  std::thread worker([&] {
    form_->PostToUi([&] { ranOn = GetCurrentThreadId(); });
    form_->PostToUi([] { throw std::runtime_error("boom"); });
  });
  worker.join();
  Pump();
  EXPECT_EQ(ranOn, uiThread);
  ASSERT_EQ(t_.messages.shown.size(), 1u);
  EXPECT_EQ(t_.messages.shown[0].text, "boom.");
}

TEST_F(MainWindow, DpiChangeRescalesLayoutAndFont) {
  Start();
  RECT before;
  GetWindowRect(form_->Label27, &before);
  RECT suggested;
  GetWindowRect(form_->Handle, &suggested);
  suggested.right = suggested.left + (suggested.right - suggested.left) * 3 / 2;
  suggested.bottom = suggested.top + (suggested.bottom - suggested.top) * 3 / 2;
  SendMessageW(form_->Handle, WM_DPICHANGED, MAKEWPARAM(144, 144),
               reinterpret_cast<LPARAM>(&suggested));
  EXPECT_EQ(form_->Scale(100), 150);
  RECT after;
  GetWindowRect(form_->Label27, &after);
  EXPECT_NEAR(after.right - after.left, (before.right - before.left) * 3 / 2, 1);
  LOGFONTW lf{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(form_->Label8, WM_GETFONT, 0, 0)), sizeof(lf),
             &lf);
  EXPECT_EQ(lf.lfHeight, -18);
}

TEST_F(MainWindow, TimersStartDisabledAndTimer3EndsTheLoop) {
  Start();
  EXPECT_FALSE(form_->Timer2Enabled());
  EXPECT_FALSE(form_->Timer3Enabled());
  form_->Timer3Timer();
  MSG msg;
  EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_FALSE(form_->Timer3Enabled());
}

}  // namespace
}  // namespace mt
