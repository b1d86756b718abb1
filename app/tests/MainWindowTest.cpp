// The real Main window, in process, with stand-in services: caption, tabs, About texts, the
// contact strip, start-up steps, the error report and the UI-thread hand-over.
#include <gtest/gtest.h>

#include "tests/support/WinPump.h"

#include <windows.h>
#include <commctrl.h>

#include <thread>

#include "app/Constants.h"
#include "app/win/Unit1.h"
#include "app/win/Handles.h"
#include "tests/support/StandIns.h"
#include "tests/support/WinMainWindow.h"
#include "update/UpdateConstants.h"

namespace mt {
namespace {

using test::Pump;

class MainWindow : public test::MainWindowTest {
 protected:
  void Start() { OpenForm(); }
  std::string TabText(int i) {
    wchar_t buf[64] = L"";
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = buf;
    item.cchTextMax = 64;
    TabCtrl_GetItem(form->PageControl1, i, &item);
    return Narrow(std::wstring(buf));
  }
};

TEST_F(MainWindow, FrameCaptionAndTabs) {
  Start();
  EXPECT_EQ(form->Caption(), "Mirtak工具合集 v1.3");
  LONG style = GetWindowLongW(form->Handle, GWL_STYLE);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_MINIMIZEBOX);
  RECT client;
  GetClientRect(form->Handle, &client);
  EXPECT_EQ(client.right, form->Scale(479));
  EXPECT_EQ(client.bottom, form->Scale(342));
  EXPECT_TRUE(GetWindowLongW(form->PageControl1, GWL_STYLE) & TCS_MULTILINE);
  ASSERT_EQ(TabCtrl_GetItemCount(form->PageControl1), 5);
  const char* expected[] = {"分割文件", "虚拟硬盘", "IE修复", "系统启动项", "关于"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(TabText(i), expected[i]);
  EXPECT_EQ(form->ActivePageIndex(), 0);
  EXPECT_TRUE(IsWindowVisible(form->TabSheet1));
  EXPECT_FALSE(IsWindowVisible(form->TabSheet5));
  // The window font is 宋体, 12 pixels, GB2312.
  LOGFONTW lf{};
  GetObjectW(form->Font(), sizeof(lf), &lf);
  EXPECT_EQ(Narrow(std::wstring(lf.lfFaceName)), "宋体");
  EXPECT_EQ(lf.lfHeight, -form->Scale(12));
  EXPECT_EQ(lf.lfCharSet, GB2312_CHARSET);
}

TEST_F(MainWindow, SelectingATabShowsItsPage) {
  Start();
  form->SetActivePage(4);
  EXPECT_EQ(form->ActivePageIndex(), 4);
  EXPECT_TRUE(IsWindowVisible(form->TabSheet5));
  EXPECT_FALSE(IsWindowVisible(form->TabSheet1));
}

TEST_F(MainWindow, FirstShowWritesFirstRunOnce) {
  Start();
  std::string ini = "C:\\Tools\\config.ini";
  EXPECT_EQ(ts.profile.FileText(ini), "[DS_config]\r\nfirstrun=0\r\n");
  EXPECT_TRUE(ts.messages.shown.empty());
}

TEST_F(MainWindow, UnwritableSettingsFileIsReportedAndTheWindowStillShows) {
  ts.profile.MakeReadOnly("C:\\Tools\\config.ini");
  Start();
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, "Unable to write to C:\\Tools\\config.ini.");
  EXPECT_EQ(ts.messages.shown[0].caption, "Mirtak小工具合集");
  EXPECT_EQ(ts.messages.shown[0].style, static_cast<unsigned>(MB_OK | MB_ICONERROR));
  EXPECT_TRUE(IsWindowVisible(form->Handle));
}

TEST_F(MainWindow, AboutPageTextsAndColours) {
  Start();
  EXPECT_EQ(TForm1::GetText(form->Label8), "Mirtak工作小组开发");
  EXPECT_FALSE(IsWindowEnabled(form->Label8));
  EXPECT_EQ(TForm1::GetText(form->Label11), "本工作小组可接受定制开发各种应用程序");
  EXPECT_EQ(TForm1::GetText(form->Label17), "如：进销存系列管理软件，会员管");
  EXPECT_EQ(TForm1::GetText(form->Label16),
            "类，也可定制即时通讯软件（IM），系统自动优化等工具的开发");
  EXPECT_EQ(TForm1::GetText(form->Label18), "本程序功能：");
  EXPECT_EQ(TForm1::GetText(form->Label19),
            "1.分割文件  （可以把大文件分割成小文件带走，然后再合并成原来的文件） ");
  EXPECT_EQ(TForm1::GetText(form->Label21),
            "3.IE修复    （修复IE默认主页被篡改的问题，被三方软件安装插件等问题）");
  EXPECT_EQ(TForm1::GetText(form->Label22),
            "4.系统启动项（可添加系统开机自动启动软件，删除已有开机启动项）");
  // Every About line lies inside the panel, one below the other.
  RECT panel;
  GetWindowRect(form->Panel2, &panel);
  HWND lines[] = {form->Label8,  form->Label11, form->Label14, form->Label15, form->Label16,
                  form->Label18, form->Label19, form->Label20, form->Label21, form->Label22};
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
  EXPECT_EQ(TForm1::GetText(form->Label10), "E-Mail:");
  EXPECT_EQ(TForm1::GetText(form->Label24), kContactEmail);
  EXPECT_EQ(TForm1::GetText(form->Label26), kAuthorAccount);
  EXPECT_EQ(TForm1::GetText(form->Label23), kSiteHost);
  EXPECT_EQ(TForm1::GetText(form->Label27), "问题反馈");
  // All seven labels stay inside the window, left to right.
  RECT client;
  GetClientRect(form->Handle, &client);
  HWND row[] = {form->Label10, form->Label24, form->Label25, form->Label26,
                form->Label7,  form->Label23, form->Label27};
  LONG lastRight = 0;
  for (HWND l : row) {
    RECT r;
    GetWindowRect(l, &r);
    MapWindowPoints(nullptr, form->Handle, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_GE(r.left, lastRight);
    EXPECT_LE(r.right, client.right);
    lastRight = r.right;
  }

  TForm1::Click(form->Label23);
  TForm1::Click(form->Label27);
  ASSERT_EQ(ts.shell.opens.size(), 2u);
  EXPECT_EQ(ts.shell.opens[0].file, "http://www.mirtak.example");
  EXPECT_EQ(ts.shell.opens[1].file, "http://www.mirtak.example/askquestion.asp");
  for (const auto& o : ts.shell.opens) {
    EXPECT_EQ(o.verb, "");
    EXPECT_EQ(o.params, "");
    EXPECT_EQ(o.show, SW_SHOWNORMAL);
    EXPECT_EQ(o.owner, form->Handle);
  }

  ts.clipboard.text = "old";
  TForm1::Click(form->Label24);
  EXPECT_EQ(ts.clipboard.text, kContactEmail);
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, "邮箱地址已复制到剪贴板");
  EXPECT_EQ(ts.messages.shown[0].caption, "温馨提示");
  EXPECT_EQ(ts.messages.shown[0].style, static_cast<unsigned>(MB_OK));

  TForm1::Click(form->Label26);
  TForm1::Click(form->Label26);
  ASSERT_EQ(ts.browser.navigations.size(), 2u);
  EXPECT_EQ(ts.browser.navigations[1].url,
            "http://wpa.chat.example/msgrd?v=3&uin=800012345&site=qq&menu=yes");
  EXPECT_EQ(ts.browser.navigations[0].left, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(ts.browser.navigations[0].height, GetSystemMetrics(SM_CYSCREEN));
  EXPECT_EQ(ts.browser.navigations[0].parent, form->Handle);
}

TEST_F(MainWindow, ClipboardFailureIsReportedAndNothingElseHappens) {
  Start();
  ts.clipboard.failOpen = true;
  ts.clipboard.text = "kept";
  TForm1::Click(form->Label24);
  EXPECT_EQ(ts.clipboard.text, "kept");
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].caption, "Mirtak小工具合集");
  EXPECT_EQ(ts.messages.shown[0].style, static_cast<unsigned>(MB_OK | MB_ICONERROR));
  EXPECT_TRUE(IsWindow(form->Handle));
}

TEST_F(MainWindow, WorkPostedFromAThreadRunsOnTheUiThreadAndErrorsAreReported) {
  Start();
  DWORD uiThread = GetCurrentThreadId();
  DWORD ranOn = 0;
  std::thread worker([&] {
    form->PostToUi([&] { ranOn = GetCurrentThreadId(); });
    form->PostToUi([] { throw std::runtime_error("boom"); });
  });
  worker.join();
  Pump();
  EXPECT_EQ(ranOn, uiThread);
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, "boom.");
}

TEST_F(MainWindow, DpiChangeRescalesLayoutAndFont) {
  Start();
  RECT before;
  GetWindowRect(form->Label27, &before);
  RECT suggested;
  GetWindowRect(form->Handle, &suggested);
  suggested.right = suggested.left + (suggested.right - suggested.left) * 3 / 2;
  suggested.bottom = suggested.top + (suggested.bottom - suggested.top) * 3 / 2;
  SendMessageW(form->Handle, WM_DPICHANGED, MAKEWPARAM(144, 144),
               reinterpret_cast<LPARAM>(&suggested));
  EXPECT_EQ(form->Scale(100), 150);
  RECT after;
  GetWindowRect(form->Label27, &after);
  EXPECT_NEAR(after.right - after.left, (before.right - before.left) * 3 / 2, 1);
  LOGFONTW lf{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(form->Label8, WM_GETFONT, 0, 0)), sizeof(lf),
             &lf);
  EXPECT_EQ(lf.lfHeight, -18);
}

TEST_F(MainWindow, TimersStartDisabledAndTimer3EndsTheLoop) {
  Start();
  EXPECT_FALSE(form->Timer2Enabled());
  EXPECT_FALSE(form->Timer3Enabled());
  form->Timer3Timer();
  MSG msg;
  EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_FALSE(form->Timer3Enabled());
}

// The check at the first showing asks the services' HTTP, nothing of its own: the shipped
// address unless the services name another. The stand-in answers no address, so no reminder.
TEST_F(MainWindow, TheUpdateCheckAsksThroughTheServicesForTheirAddress) {
  auto requests = [&] {
    std::lock_guard<std::mutex> lock(ts.http.mutex);
    return ts.http.requests;
  };
  auto waitForRequest = [&] {
    for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(5)) {
      Pump();
      if (!requests().empty()) return;
    }
  };
  Start();
  waitForRequest();
  EXPECT_EQ(requests(), std::vector<std::string>{"GETTEXT " + UpdateEndpointOfSite()});
  EXPECT_FALSE(form->Timer2Enabled());

  TearDown();
  {
    std::lock_guard<std::mutex> lock(ts.http.mutex);
    ts.http.requests.clear();
  }
  ts.services.updateEndpoint = "http://127.0.0.1:9/elsewhere.asp";
  Start();
  waitForRequest();
  EXPECT_EQ(requests(), std::vector<std::string>{"GETTEXT http://127.0.0.1:9/elsewhere.asp"});
}

}  // namespace
}  // namespace mt
