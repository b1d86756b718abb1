// Under Wine: the road from the Main window's FormShow to the rising reminder window, and
// from "立即升级" to the installer started and Timer3 armed, against the loopback server.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <memory>

#include "app/Constants.h"
#include "app/Settings.h"
#include "app/UiGate.h"
#include "app/win/Handles.h"
#include "app/win/Unit1.h"
#include "program/ProgramForm.h"
#include "program/WinServiceSet.h"
#include "tests/support/StandIns.h"
#include "update/jcsj.h"
#include "update/tests/WinSigningSupport.h"
#include "update/tests/WinTestSupport.h"
#include "update/win/Usjtx.h"

namespace mt {
namespace {

using test::PumpUntil;

// Runs this thread's messages until the program's end (WM_QUIT) comes; false on timeout.
bool PumpUntilQuit(int timeoutMs) {
  const DWORD end = GetTickCount() + static_cast<DWORD>(timeoutMs);
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) return true;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (static_cast<int>(GetTickCount() - end) >= 0) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

class ReminderRoad : public test::LoopbackServer {
 protected:
  std::unique_ptr<WinServiceSet> real = MakeWinServices();
  test::TestServices ts;
  test::WinTempDir dir;
  std::unique_ptr<TForm1> form;

  void SetUp() override {
    LoopbackServer::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ts.services.exeDir = dir.path();
    // The real network, files, signature check and installer start; settings and message
    // boxes stay scripted.
    ts.services.http = real->services.http;
    ts.services.files = real->services.files;
    ts.services.installerVerifier = real->services.installerVerifier;
    ts.services.installerLauncher = real->services.installerLauncher;
    form = std::make_unique<TForm1>(ts.services, ProgramFormPlan());
    form->quitOnDestroy = false;
  }
  void TearDown() override {
    DestroyReminderWindow();
    form.reset();
    gUpdateRecord = UpdateRecord{};
  }
  std::string Settings() const { return SettingsFilePath(dir.path()); }
  std::string Setting(const char* key) {
    return ts.profile.ReadString(Settings(), kSettingsSection, key, "(none)");
  }
  bool ReminderVisible() const { return Fsjtx && Fsjtx->Handle && IsWindowVisible(Fsjtx->Handle); }
  std::string Installer() const { return dir.path() + "\\rar\\tbxsetup.exe"; }

  // Shows the Main window with the check pointed at `path` and waits for the reminder.
  void OpenFrom(const std::string& path) {
    ts.services.updateEndpoint = Url(path);
    form->Create();
    form->Show();
    ASSERT_TRUE(PumpUntil([&] { return ReminderVisible(); }, 20000));
  }
};

TEST_F(ReminderRoad, NewerVersionOpensTheRisingWindowWithTheRecordTexts) {
  OpenFrom("/gjhjsj.asp");
  EXPECT_FALSE(form->Timer2Enabled());
  EXPECT_EQ(Setting(kKeyFirstRun), "0");
  EXPECT_EQ(TForm1::GetText(Fsjtx->Handle), "Mirtak工具合集");
  EXPECT_EQ(TForm1::GetText(Fsjtx->Lab_bb), "v1.4");
  EXPECT_EQ(TForm1::GetText(Fsjtx->Lab_dx), "1.2MB");
  EXPECT_EQ(TForm1::GetText(Fsjtx->Lab_sjsj), "2026-12-01");
  EXPECT_EQ(TForm1::GetText(Fsjtx->lab_nr), "1.修正若干问题\r\n2.新增功能");
  EXPECT_EQ(TForm1::GetText(Fsjtx->Lab_bh), "12");
  EXPECT_EQ(TForm1::GetText(Fsjtx->Lab_mc), "小工具合集");
  EXPECT_EQ(TForm1::GetText(Fsjtx->Lab_ms), "分割、虚拟硬盘、IE修复");
  EXPECT_EQ(TForm1::GetText(Fsjtx->Lab_xt), "Win7/Win10");
  EXPECT_EQ(TForm1::GetText(Fsjtx->Button2), "立即升级");
  EXPECT_TRUE(GetWindowLongPtrW(Fsjtx->Handle, GWL_EXSTYLE) & WS_EX_TOPMOST);
  RECT client;
  GetClientRect(Fsjtx->Handle, &client);
  EXPECT_EQ(client.right, form->Scale(352));
  EXPECT_EQ(client.bottom, form->Scale(238));

  // The start below the work area and the rise into the lower-right corner.
  RECT work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int workW = work.right - work.left, workH = work.bottom - work.top;
  Fsjtx->FormShow();
  RECT r;
  GetWindowRect(Fsjtx->Handle, &r);
  EXPECT_EQ(r.top, workH);
  EXPECT_EQ(r.right, workW - 5);
  EXPECT_TRUE(Fsjtx->Timer1Enabled());
  ASSERT_TRUE(PumpUntil([&] { return !Fsjtx->Timer1Enabled(); }, 15000));
  GetWindowRect(Fsjtx->Handle, &r);
  EXPECT_LE(r.bottom, workH);
  EXPECT_GT(r.bottom, workH - 5);
  EXPECT_EQ(r.right, workW - 5);
  // MT_UPDATE_HOLD_MS keeps the window up for a look (screenshots).
  if (const char* hold = std::getenv("MT_UPDATE_HOLD_MS"))
    PumpUntil([] { return false; }, std::atoi(hold));
}

// Width of `label`'s text in its own font, and the font's ascent (where the baseline lies).
struct TextSize {
  long width, ascent;
};
TextSize MeasureText(HWND label) {
  const std::wstring text = Widen(TForm1::GetText(label));
  HDC dc = GetDC(label);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
  SIZE extent{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(label, dc);
  return {extent.cx, metrics.tmAscent};
}

TEST_F(ReminderRoad, EveryCaptionFitsOnOneLineAndNoLabelCoversAnother) {
  OpenFrom("/gjhjsj.asp");
  const TFsjtx& w = *Fsjtx;
  const HWND captions[] = {w.Label10, w.Label3, w.Label5, w.Label6, w.Label1,
                           w.Label2,  w.Label4, w.Label7, w.Label9};
  for (HWND label : captions) {
    const TextSize text = MeasureText(label);
    RECT client;
    GetClientRect(label, &client);
    EXPECT_LE(text.width, client.right) << TForm1::GetText(label);
    // Chinese characters stand on the baseline: it must lie inside the box.
    EXPECT_LE(text.ascent, client.bottom) << TForm1::GetText(label);
  }
  const HWND labels[] = {w.Label10,  w.Label3, w.Lab_bb, w.Label5, w.Lab_dx, w.Label6,
                         w.Lab_sjsj, w.lab_nr, w.Label1, w.Lab_bh, w.Label2, w.Lab_mc,
                         w.Label4,   w.Lab_ms, w.Label7, w.Lab_xt, w.Label9};
  for (HWND label : labels) {
    // Lines break only where the text has line breaks; nothing wraps inside a label.
    EXPECT_EQ(GetWindowLongW(label, GWL_STYLE) & SS_TYPEMASK, SS_LEFTNOWORDWRAP)
        << TForm1::GetText(label);
    RECT a;
    GetWindowRect(label, &a);
    for (HWND other : labels) {
      if (other == label || GetParent(other) != GetParent(label)) continue;
      RECT b, both;
      GetWindowRect(other, &b);
      EXPECT_FALSE(IntersectRect(&both, &a, &b))
          << TForm1::GetText(label) << " / " << TForm1::GetText(other);
    }
  }
}

TEST_F(ReminderRoad, OlderOrEqualVersionOpensNothing) {
  ts.services.updateEndpoint = Url("/old/gjhjsj.asp");
  form->Create();
  form->Show();
  ASSERT_TRUE(
      PumpUntil([&] { return gUpdateRecord.zpver == "v1.3" && !form->Timer2Enabled(); }, 20000));
  PumpUntil([] { return false; }, 300);
  EXPECT_EQ(Fsjtx, nullptr);
}

TEST_F(ReminderRoad, SignedUpgradeIsDownloadedAnnouncedStartedAndTheProgramEnds) {
  test::TrustedTestRoot root;
  ASSERT_TRUE(root.Added());
  OpenFrom("/gjhjsj.asp");
  gUpdateRecord.zp_downurl = Url("/redirect/2/files/signed.exe");
  SetFocus(Fsjtx->Button2);
  TForm1::Click(Fsjtx->Button2);
  EXPECT_FALSE(IsWindowEnabled(Fsjtx->Button2));
  // The focus moves on from the disabled button, so the keys still reach the window.
  EXPECT_EQ(GetFocus(), Fsjtx->Button1);
  EXPECT_EQ(TForm1::GetText(Fsjtx->Button2), "正在下载(0%)");
  ASSERT_TRUE(PumpUntil([&] { return form->Timer3Enabled(); }, 30000));

  std::string signedBytes, downloaded, marker;
  ASSERT_TRUE(test::ReadBytes(test::SigningFile("signed.exe"), signedBytes));
  ASSERT_TRUE(
      PumpUntil([&] { return test::ReadBytes(test::MarkerOf(Installer()), marker); }, 15000));
  EXPECT_EQ(marker, "\"" + Installer() + "\" /S /update\nshow=1\n");
  ASSERT_TRUE(test::ReadBytes(Installer(), downloaded));
  EXPECT_EQ(downloaded, signedBytes);
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, "软件升级要关闭当前程序，进行升级，点确定自动关闭程序");
  EXPECT_EQ(ts.messages.shown[0].caption, "温馨提示");
  EXPECT_EQ(ts.messages.shown[0].style, kMbOk);
  EXPECT_EQ(ts.messages.shown[0].owner, static_cast<WindowRef>(Fsjtx->Handle));
  EXPECT_TRUE(IsWindowEnabled(Fsjtx->Button2));
  EXPECT_EQ(TForm1::GetText(Fsjtx->Button2), "正在下载(100%)");
  EXPECT_FALSE(IsWindowVisible(Fsjtx->Handle));
  EXPECT_EQ(InstallerPath, Installer());
  EXPECT_TRUE(DownloadFinished);
  EXPECT_FALSE(HeldInstaller);             // let go once started
  EXPECT_EQ(Setting(kKeySjtx), "(none)");  // not ticked: nothing written
  // Timer3 ends the program about a second later.
  EXPECT_TRUE(PumpUntilQuit(5000));
}

// A program folder that cannot be written: the download goes into a fresh per-user folder,
// and the installer is told which copy to upgrade.
TEST_F(ReminderRoad, APerUserDownloadStartsWithTheProgramFolderToUpgrade) {
  test::TrustedTestRoot root;
  ASSERT_TRUE(root.Added());
  const std::string user = dir.path() + "\\user";
  ts.services.places.exeDirWritable = false;
  ts.services.places.userDir = user;
  OpenFrom("/gjhjsj.asp");
  gUpdateRecord.zp_downurl = Url("/files/signed.exe");
  TForm1::Click(Fsjtx->Button2);
  ASSERT_TRUE(PumpUntil([&] { return form->Timer3Enabled(); }, 30000));

  const std::vector<FindEntry> fresh = ts.services.files->Find(user + "\\rar", "*");
  ASSERT_EQ(fresh.size(), 1u);
  EXPECT_TRUE(fresh[0].isDirectory);
  const std::string installer = user + "\\rar\\" + fresh[0].name + "\\tbxsetup.exe";
  EXPECT_EQ(InstallerPath, installer);
  std::string marker;
  ASSERT_TRUE(PumpUntil([&] { return test::ReadBytes(test::MarkerOf(installer), marker); }, 15000));
  EXPECT_EQ(marker, "\"" + installer + "\" /S /update /D=" + dir.path() + "\nshow=1\n");
  EXPECT_EQ(test::FileSize(Installer()), -1);  // nothing beside the program
  EXPECT_TRUE(PumpUntilQuit(5000));
}

// Each way an installer can fail the check: refused, deleted, nothing said or started, the
// window left open with "立即升级" ready for another try.
TEST_F(ReminderRoad, InstallersThatFailTheCheckAreDeletedAndNeverStarted) {
  test::TrustedTestRoot root;
  ASSERT_TRUE(root.Added());
  OpenFrom("/gjhjsj.asp");
  // One try of "立即升级": refused, deleted, nothing said or started, the window still open.
  auto downloadIsRefused = [&](const std::string& path) {
    gUpdateRecord.zp_downurl = Url(path);
    TForm1::Click(Fsjtx->Button2);
    ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(Fsjtx->Button2) != FALSE; }, 30000));
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(TForm1::GetText(Fsjtx->Button2), kInstallerUnverifiedCaption);
    EXPECT_EQ(test::FileSize(Installer()), -1);
    EXPECT_TRUE(IsWindowVisible(Fsjtx->Handle));
    EXPECT_TRUE(ts.messages.shown.empty());
    EXPECT_FALSE(form->Timer3Enabled());
    EXPECT_FALSE(DownloadFinished);
    EXPECT_FALSE(HeldInstaller);
  };
  for (const char* name : {"unsigned.exe", "other_signer.exe", "altered.exe", "untrusted_root.exe",
                           "unanchored.exe"}) {
    SCOPED_TRACE(name);
    downloadIsRefused(std::string("/files/") + name);
  }
  // Well signed, but not the release on offer: the page says v1.5, the installer is v1.4.
  {
    SCOPED_TRACE("another release");
    gUpdateRecord.zpver = "v1.5";
    downloadIsRefused("/files/signed.exe");
  }
  PumpUntil([] { return false; }, 1000);
  EXPECT_EQ(test::FileSize(test::MarkerOf(Installer())), -1);  // nothing ever ran
}

// A close that fails on the settings keeps the verified installer for a later close; a new
// download lets it go first, so that the old file can be replaced.
TEST_F(ReminderRoad, AHeldInstallerWaitsForTheCloseOrMakesWayForTheNextDownload) {
  test::TrustedTestRoot root;
  ASSERT_TRUE(root.Added());
  OpenFrom("/gjhjsj.asp");
  gUpdateRecord.zp_downurl = Url("/files/signed.exe");
  ts.profile.MakeReadOnly(Settings());
  SendMessageW(Fsjtx->CheckBox1, BM_SETCHECK, BST_CHECKED, 0);
  for (size_t round = 1; round <= 2; ++round) {
    SCOPED_TRACE(round);
    TForm1::Click(Fsjtx->Button2);
    ASSERT_TRUE(PumpUntil([&] { return ts.messages.shown.size() == round; }, 30000));
    EXPECT_NE(ts.messages.shown.back().text.find("Unable to write to"), std::string::npos);
    EXPECT_EQ(TForm1::GetText(Fsjtx->Button2), "正在下载(100%)");
    EXPECT_TRUE(IsWindowVisible(Fsjtx->Handle));
    EXPECT_TRUE(HeldInstaller);
    EXPECT_FALSE(form->Timer3Enabled());
  }
  EXPECT_EQ(test::FileSize(test::MarkerOf(Installer())), -1);

  SendMessageW(Fsjtx->CheckBox1, BM_SETCHECK, BST_UNCHECKED, 0);
  TForm1::Click(Fsjtx->Button3);
  ASSERT_EQ(ts.messages.shown.size(), 3u);
  EXPECT_EQ(ts.messages.shown[2].text, "软件升级要关闭当前程序，进行升级，点确定自动关闭程序");
  EXPECT_TRUE(form->Timer3Enabled());
  form->SetTimer3Enabled(false);
  EXPECT_TRUE(PumpUntil([&] { return test::FileSize(test::MarkerOf(Installer())) > 0; }, 15000));
}

TEST_F(ReminderRoad, FailedDownloadLeavesTheWindowOpenForAnotherTry) {
  OpenFrom("/gjhjsj.asp");
  gUpdateRecord.zp_downurl = Url("/status/404");
  TForm1::Click(Fsjtx->Button2);
  ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(Fsjtx->Button2) != FALSE; }, 30000));
  PumpUntil([] { return false; }, 200);
  EXPECT_EQ(TForm1::GetText(Fsjtx->Button2), kDownloadFailedCaption);
  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_FALSE(form->Timer3Enabled());
  EXPECT_FALSE(DownloadFinished);
  EXPECT_TRUE(IsWindowVisible(Fsjtx->Handle));

  // The retry works once the address answers.
  test::TrustedTestRoot root;
  ASSERT_TRUE(root.Added());
  gUpdateRecord.zp_downurl = Url("/files/signed.exe");
  TForm1::Click(Fsjtx->Button2);
  ASSERT_TRUE(PumpUntil([&] { return form->Timer3Enabled(); }, 30000));
  form->SetTimer3Enabled(false);
  EXPECT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_TRUE(PumpUntil([&] { return test::FileSize(test::MarkerOf(Installer())) > 0; }, 15000));
}

TEST_F(ReminderRoad, TheUpdateGateSaysGoneOnceTheMainWindowIsDestroyed) {
  form->Create();
  std::shared_ptr<UiGate> gate = form->UpdateGate();
  bool ran = false;
  EXPECT_EQ(gate->Send([&] { ran = true; }), Handed::Queued);
  ASSERT_TRUE(PumpUntil([&] { return ran; }, 5000));
  DestroyWindow(form->Handle);  // a finished download must not wait for it forever
  EXPECT_EQ(gate->Send([&] { ran = false; }), Handed::Gone);
  form.reset();
  EXPECT_EQ(gate->Send([&] { ran = false; }), Handed::Gone);
  EXPECT_TRUE(ran);
}

TEST_F(ReminderRoad, SilencingSavesTheShownVersionAndHides) {
  OpenFrom("/gjhjsj.asp");
  SendMessageW(Fsjtx->CheckBox1, BM_SETCHECK, BST_CHECKED, 0);
  TForm1::Click(Fsjtx->Button3);
  EXPECT_FALSE(IsWindowVisible(Fsjtx->Handle));
  EXPECT_EQ(Setting(kKeySjtx), "0");
  EXPECT_EQ(Setting(kKeySjtxVer), "v1.4");
  EXPECT_TRUE(ts.messages.shown.empty());

  form->Timer2Timer();  // the same version again: silenced
  EXPECT_FALSE(IsWindowVisible(Fsjtx->Handle));
  gUpdateRecord.zpver = "v1.5";  // a later one is announced
  form->Timer2Timer();
  EXPECT_TRUE(IsWindowVisible(Fsjtx->Handle));
  EXPECT_EQ(TForm1::GetText(Fsjtx->Lab_bb), "v1.5");
}

TEST_F(ReminderRoad, ManualDownloadOpensTheHomePageAndAFailedSaveKeepsTheWindow) {
  OpenFrom("/gjhjsj.asp");
  TForm1::Click(Fsjtx->Button1);
  ASSERT_EQ(ts.shell.opens.size(), 1u);
  EXPECT_EQ(ts.shell.opens[0].owner, nullptr);
  EXPECT_EQ(ts.shell.opens[0].verb, "open");
  EXPECT_EQ(ts.shell.opens[0].file, kSiteUrl);
  EXPECT_EQ(ts.shell.opens[0].show, SW_SHOWNORMAL);
  EXPECT_TRUE(IsWindowVisible(Fsjtx->Handle));

  ts.profile.MakeReadOnly(Settings());
  SendMessageW(Fsjtx->CheckBox1, BM_SETCHECK, BST_CHECKED, 0);
  SendMessageW(Fsjtx->Handle, WM_CLOSE, 0, 0);  // the title bar's close box
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_NE(ts.messages.shown[0].text.find("Unable to write to"), std::string::npos);
  EXPECT_TRUE(IsWindowVisible(Fsjtx->Handle));
}

}  // namespace
}  // namespace mt
