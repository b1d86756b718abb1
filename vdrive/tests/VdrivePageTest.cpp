// The "虚拟硬盘" page end to end: the real Main window and the real Run key, with stand-in
// dialogs and message boxes and a starter that records the subst runs.
#include <gtest/gtest.h>

#include "tests/support/WinPump.h"

#include <windows.h>

#include <filesystem>

#include "app/AdminRights.h"
#include "app/Backup.h"
#include "app/Constants.h"
#include "app/win/Unit1.h"
#include "app/win/WinRegistry.h"
#include "app/win/WinServices.h"
#include "tests/support/StandIns.h"
#include "tests/support/WinMainWindow.h"
#include "tests/support/WinRegedit.h"
#include "vdrive/VirtualDrives.h"
#include "vdrive/win/DrivePage.h"

namespace mt {
namespace {

using test::Pump;

class VdrivePage : public test::MainWindowTest {
 protected:
  void SetUp() override {
    ts.services.registry = real->services.registry;
    ts.services.files = real->services.files;
    ClearDriveValues();
    KeepOfferAway();
    // Backups of removals go to a program folder of the test's own.
    UseOwnProgramFolder("mt-vdrive program");
    OpenForm(Opening::kShown, 1);
  }
  void TearDown() override {
    MainWindowTest::TearDown();
    ClearDriveValues();
  }
  // Leaves both views of the Run key without any value named like a drive text.
  void ClearDriveValues() {
    for (RegView view : {RegView::Native, RegView::Wow32}) {
      TRegistry reg(real_, view);
      reg.SetRootKey(RegRoot::LocalMachine);
      ASSERT_TRUE(reg.OpenKey(kMappingKeyPath, true));
      for (const std::string& n : reg.GetValueNames())
        if (n.size() == 2 && n[1] == ':') reg.DeleteValue(n);
    }
  }
  std::optional<RegValue> RunValue(const std::string& name, RegView view = RegView::Native) {
    auto key = real_.Open(RegRoot::LocalMachine, nullptr, kMappingKeyPath, false, view);
    return key ? real_.Query(*key, name) : std::nullopt;
  }
  void SetRunValue(const std::string& name, const RegValue& v, RegView view = RegView::Native) {
    auto key = real_.Open(RegRoot::LocalMachine, nullptr, kMappingKeyPath, true, view);
    ASSERT_TRUE(key && real_.Set(*key, name, v));
  }
  std::vector<std::string> Listed() { return ListBoxRows(form->Page<DrivePage>().ListBox5); }
  std::string MakeFolder(const std::string& name) {
    wchar_t dir[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, dir);
    std::string path = Narrow(std::wstring(dir)) + name;
    CreateDirectoryW(Widen(path).c_str(), nullptr);
    return path;
  }

  WinRegistry& real_ = real->registry;
};

TEST_F(VdrivePage, ControlsAsTheyOpen) {
  EXPECT_EQ(TForm1::GetText(form->Page<DrivePage>().GroupBox3), "虚拟硬盘");
  EXPECT_EQ(TForm1::GetText(form->Page<DrivePage>().Label9), "你要把文件夹：");
  EXPECT_EQ(TForm1::GetText(form->Page<DrivePage>().Label1), "转成分区：");
  EXPECT_EQ(TForm1::GetText(form->Page<DrivePage>().Label6), "已有的虚拟硬盘：   ");
  EXPECT_EQ(TForm1::GetText(form->Page<DrivePage>().selectfilebtn), "浏览");
  EXPECT_EQ(TForm1::GetText(form->Page<DrivePage>().allstartbtn), "建立");
  EXPECT_EQ(TForm1::GetText(form->Page<DrivePage>().alldelbtn), "删除");
  EXPECT_EQ(TForm1::GetText(form->Page<DrivePage>().fileedit), "");
  EXPECT_EQ(TForm1::GetText(form->Page<DrivePage>().drivecombox), "x:");
  EXPECT_EQ(SendMessageW(form->Page<DrivePage>().drivecombox, CB_GETCURSEL, 0, 0), CB_ERR);
  ASSERT_EQ(SendMessageW(form->Page<DrivePage>().drivecombox, CB_GETCOUNT, 0, 0), 26);
  wchar_t item[8] = L"";
  SendMessageW(form->Page<DrivePage>().drivecombox, CB_GETLBTEXT, 25,
               reinterpret_cast<LPARAM>(item));
  EXPECT_EQ(Narrow(std::wstring(item)), "z:");
  EXPECT_TRUE(IsWindowVisible(form->Page<DrivePage>().Image1));
  EXPECT_TRUE(Listed().empty());
}

TEST_F(VdrivePage, BrowseFillsTheFolderAndCancelKeepsIt) {
  std::string folder = MakeFolder("mt vdrive folder");
  ts.dialogs.folderAnswers.push_back(folder);
  Click(form->Page<DrivePage>().selectfilebtn);
  EXPECT_EQ(TForm1::GetText(form->Page<DrivePage>().fileedit), folder);
  Click(form->Page<DrivePage>().selectfilebtn);  // unscripted: cancelled
  EXPECT_EQ(TForm1::GetText(form->Page<DrivePage>().fileedit), folder);
  EXPECT_EQ(ts.dialogs.folderTitles, (std::vector<std::string>{"选择目录", "选择目录"}));
  RemoveDirectoryW(Widen(folder).c_str());
}

TEST_F(VdrivePage, CreateAndRemoveAFolderWithBlanks) {
  std::string folder = MakeFolder("My Data mt");
  TForm1::SetText(form->Page<DrivePage>().fileedit, folder);
  Click(form->Page<DrivePage>().allstartbtn);
  ASSERT_EQ(ts.processes.started.size(), 1u);
  EXPECT_EQ(ts.processes.started[0].program, "subst.exe");
  EXPECT_EQ(ts.processes.started[0].arguments, "x: \"" + folder + "\"");
  auto v = RunValue("x:");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->type, RegDataType::String);
  EXPECT_EQ(v->text, "subst x: \"" + folder + "\"");
  EXPECT_EQ(Listed(), std::vector<std::string>{"x:"});
  EXPECT_TRUE(ts.messages.shown.empty());

  // The same letter again is refused before anything runs.
  Click(form->Page<DrivePage>().allstartbtn);
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, "已存在此盘，请选择另外分区");
  EXPECT_EQ(ts.messages.shown[0].caption, "提示");
  EXPECT_EQ(ts.messages.shown[0].owner, form->Handle);
  EXPECT_EQ(ts.processes.started.size(), 1u);

  SendMessageW(form->Page<DrivePage>().ListBox5, LB_SETCURSEL, 0, 0);
  Click(form->Page<DrivePage>().alldelbtn);
  ASSERT_EQ(ts.processes.started.size(), 2u);
  EXPECT_EQ(ts.processes.started[1].arguments, "x: /d");
  EXPECT_FALSE(RunValue("x:"));
  EXPECT_TRUE(Listed().empty());
  RemoveDirectoryW(Widen(folder).c_str());
}

// A standard user's 建立 and 删除 on the real window: the one notice, owned by the Main window;
// the Run key and the list as they were, nothing started.
TEST_F(VdrivePage, WithoutAdministratorRightsOneNoticeAndNothingChanges) {
  RegValue kept;
  kept.text = "subst y: \"C:\\Kept\"";
  SetRunValue("y:", kept);
  form->SetActivePage(0);
  form->SetActivePage(1);
  Pump();
  ASSERT_EQ(Listed(), std::vector<std::string>{"y:"});
  ts.admin.held = false;

  std::string folder = MakeFolder("mt vdrive standard user");
  TForm1::SetText(form->Page<DrivePage>().fileedit, folder);
  Click(form->Page<DrivePage>().allstartbtn);
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, AdminNeededText());
  EXPECT_EQ(ts.messages.shown[0].caption, kNoticeCaption);
  EXPECT_EQ(ts.messages.shown[0].owner, form->Handle);
  EXPECT_FALSE(RunValue("x:"));

  SendMessageW(form->Page<DrivePage>().ListBox5, LB_SETCURSEL, 0, 0);
  Click(form->Page<DrivePage>().alldelbtn);
  ASSERT_EQ(ts.messages.shown.size(), 2u);
  EXPECT_EQ(ts.messages.shown[1].text, AdminNeededText());
  ASSERT_TRUE(RunValue("y:"));
  EXPECT_EQ(RunValue("y:")->text, kept.text);
  EXPECT_EQ(Listed(), std::vector<std::string>{"y:"});
  EXPECT_TRUE(ts.processes.started.empty());
  RemoveDirectoryW(Widen(folder).c_str());
}

TEST_F(VdrivePage, BadDriveTextsAreRefused) {
  TForm1::SetText(form->Page<DrivePage>().fileedit, "C:\\windows");
  for (const char* bad : {"x: & calc.exe", "1:", "xx", "x:\\"}) {
    ts.messages.shown.clear();
    TForm1::SetText(form->Page<DrivePage>().drivecombox, bad);
    Click(form->Page<DrivePage>().allstartbtn);
    ASSERT_EQ(ts.messages.shown.size(), 1u) << bad;
    EXPECT_EQ(ts.messages.shown[0].text, kMsgBadDriveText);
    EXPECT_FALSE(RunValue(bad)) << bad;
  }
  EXPECT_TRUE(ts.processes.started.empty());
  EXPECT_TRUE(Listed().empty());
}

TEST_F(VdrivePage, EmptyFolderAndRemovalWithoutSelection) {
  Click(form->Page<DrivePage>().allstartbtn);
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, "请确定你选择了要虚拟的文件夹");
  EXPECT_EQ(ts.messages.shown[0].caption, kApplicationTitle);
  Click(form->Page<DrivePage>().alldelbtn);
  ASSERT_EQ(ts.messages.shown.size(), 2u);
  EXPECT_EQ(ts.messages.shown[1].text, "List index out of bounds (-1)");
  EXPECT_EQ(ts.messages.shown[1].style, static_cast<unsigned>(MB_OK | MB_ICONERROR));
  EXPECT_TRUE(ts.processes.started.empty());
}

TEST_F(VdrivePage, ShowingTheTabRereadsTheRunKey) {
  RegValue old;
  old.text = "subst q: C:\\Old Style";  // written by an older version, unquoted
  SetRunValue("Q:", old);
  RegValue number;
  number.type = RegDataType::Integer;
  number.dword = 1;
  SetRunValue("t:", number);
  form->SetActivePage(0);
  form->SetActivePage(1);
  Pump();
  EXPECT_EQ(Listed(), std::vector<std::string>{"q:"});
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, "Invalid data type for 't:'");

  auto key = real_.Open(RegRoot::LocalMachine, nullptr, kMappingKeyPath, false);
  real_.DeleteValue(*key, "t:");
  form->SetActivePage(1);
  SendMessageW(form->Page<DrivePage>().ListBox5, LB_SETCURSEL, 0, 0);
  Click(form->Page<DrivePage>().alldelbtn);
  ASSERT_EQ(ts.processes.started.size(), 1u);
  EXPECT_EQ(ts.processes.started[0].arguments, "q: /d");
  EXPECT_FALSE(RunValue("q:"));
  EXPECT_TRUE(Listed().empty());
}

// Entries the old 32-bit version wrote are in the 32-bit view of the Run key.
TEST_F(VdrivePage, EntriesOfThe32BitViewAreListedAndRemovedFromEveryView) {
  RegValue v;
  v.text = "subst p: C:\\Old p";
  SetRunValue("p:", v, RegView::Wow32);
  v.text = "subst b: C:\\Old b";
  SetRunValue("B:", v, RegView::Wow32);
  v.text = "subst b: \"C:\\b\"";
  SetRunValue("b:", v);
  v.text = "subst q: C:\\Old q";
  SetRunValue("q:", v, RegView::Wow32);
  ASSERT_FALSE(RunValue("p:")) << "no separate 32-bit view";
  form->SetActivePage(0);
  form->SetActivePage(1);
  Pump();
  EXPECT_EQ(Listed(), (std::vector<std::string>{"b:", "p:", "q:"}));

  SendMessageW(form->Page<DrivePage>().ListBox5, LB_SETCURSEL, 0, 0);
  Click(form->Page<DrivePage>().alldelbtn);
  EXPECT_FALSE(RunValue("b:"));
  EXPECT_FALSE(RunValue("b:", RegView::Wow32));
  SendMessageW(form->Page<DrivePage>().ListBox5, LB_SETCURSEL, 0, 0);
  Click(form->Page<DrivePage>().alldelbtn);
  EXPECT_FALSE(RunValue("p:", RegView::Wow32));
  ASSERT_EQ(ts.processes.started.size(), 2u);
  EXPECT_EQ(ts.processes.started[0].arguments, "b: /d");
  EXPECT_EQ(ts.processes.started[1].arguments, "p: /d");
  EXPECT_EQ(Listed(), std::vector<std::string>{"q:"});

  // A new mapping of a letter is written in the native view and replaces its 32-bit entry.
  TForm1::SetText(form->Page<DrivePage>().fileedit, "C:\\windows");
  TForm1::SetText(form->Page<DrivePage>().drivecombox, "Q:");
  Click(form->Page<DrivePage>().allstartbtn);
  ASSERT_TRUE(RunValue("q:"));
  EXPECT_EQ(RunValue("q:")->text, "subst Q: \"C:\\windows\"");
  EXPECT_FALSE(RunValue("q:", RegView::Wow32));
  EXPECT_EQ(Listed(), std::vector<std::string>{"q:"});
  EXPECT_TRUE(ts.messages.shown.empty());
}

TEST_F(VdrivePage, ARemovedMappingComesBackFromItsBackupSet) {
  RegValue v;
  v.text = "subst k: \"C:\\K data\"";
  SetRunValue("k:", v);
  v.text = "subst k: C:\\Old";
  SetRunValue("k:", v, RegView::Wow32);
  form->SetActivePage(0);
  form->SetActivePage(1);
  Pump();
  ASSERT_EQ(Listed(), std::vector<std::string>{"k:"});
  SendMessageW(form->Page<DrivePage>().ListBox5, LB_SETCURSEL, 0, 0);
  Click(form->Page<DrivePage>().alldelbtn);
  ASSERT_FALSE(RunValue("k:"));
  ASSERT_FALSE(RunValue("k:", RegView::Wow32));
  EXPECT_TRUE(ts.messages.shown.empty());

  std::vector<FindEntry> sets = real->files.Find(BackupRoot(ts.services.exeDir), "*");
  ASSERT_EQ(sets.size(), 1u);
  ASSERT_EQ(test::ImportWithRegedit(BackupRoot(ts.services.exeDir) + "\\" + sets[0].name + "\\" +
                                    kBackupRegFileName),
            0u);
  ASSERT_TRUE(RunValue("k:"));
  EXPECT_EQ(RunValue("k:")->type, RegDataType::String);
  EXPECT_EQ(RunValue("k:")->text, "subst k: \"C:\\K data\"");
  ASSERT_TRUE(RunValue("k:", RegView::Wow32));
  EXPECT_EQ(RunValue("k:", RegView::Wow32)->text, "subst k: C:\\Old");
}

}  // namespace
}  // namespace mt
