// The window "备份与恢复" under Wine, owned by the real Main window on stand-in services: the
// sets newest first with their states (a damaged one among them), the restore of ticked items
// with the questions answered by script, the deletion that asks first, the file conflict's
// three choices, the legacy copies shown in Explorer, the keyboard, and the three tabs'
// entrances.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "app/Backup.h"
#include "app/ChangeRegistry.h"
#include "app/Restore.h"
#include "app/win/RestoreWindow.h"
#include "browser/win/BrowserPage.h"
#include "startup/win/StartupPage.h"
#include "tests/support/WinMainWindow.h"
#include "tests/support/WinPump.h"
#include "vdrive/win/DrivePage.h"

namespace mt {
namespace {

using test::Pump;
constexpr RegRoot CU = RegRoot::CurrentUser;
constexpr int kIdNo = 7;
const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

class RestoreWindowTest : public test::MainWindowTest {
 protected:
  void SetUp() override {
    UseOwnProgramFolder("mt-restore-window");
    KeepOfferAway();
    OpenForm(Opening::kOnScreen);
  }
  void TearDown() override {
    CloseRestoreWindow();
    MainWindowTest::TearDown();
  }

  std::string DataDir() { return DataFolder(ts.services.exeDir, ts.services.places); }

  // A set made as the tools make one: the Run values saved, the set written, the values
  // deleted, the set sealed with what the deletion left.
  std::string DeletedSet(const std::string& stamp, const std::vector<std::string>& names,
                         const std::string& tool = "startup") {
    DeletionBackup set(ChangeEnvOf(ts.services), DataDir(), tool);
    for (const std::string& name : names) {
      ts.registry.SetString(CU, kRun, name, "C:\\Programs\\" + name + ".exe");
      set.SetCaption(name + "  C:\\Programs\\" + name + ".exe");
      EXPECT_TRUE(set.Add(std::make_unique<RegistryValueChange>(CU, RegView::Native, kRun, name)));
    }
    EXPECT_TRUE(set.Write(stamp));
    TRegistry reg(ts.registry);
    reg.SetRootKey(CU);
    EXPECT_TRUE(reg.OpenKey(kRun, false));
    for (const std::string& name : names) EXPECT_TRUE(reg.DeleteValue(name));
    set.Seal();
    return set.Folder();
  }

  RestoreWindow& Open() {
    RestoreWindow& window = OpenRestoreWindow(ts.services, form->Handle);
    WaitForSets(window);
    return window;
  }
  static void WaitForSets(RestoreWindow& window) {
    for (int i = 0; i < 4000 && window.Reading(); ++i) {
      Pump();
      ::Sleep(5);
    }
    Pump();
    ASSERT_FALSE(window.Reading());
  }
  void Click(RestoreWindow& window, HWND button) {
    TForm1::Click(button);
    WaitForSets(window);
  }

  static std::string Cell(HWND list, int row, int column) {
    wchar_t text[512] = L"";
    LVITEMW lv = {};
    lv.iSubItem = column;
    lv.pszText = text;
    lv.cchTextMax = 512;
    ::SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&lv));
    return Narrow(std::wstring(text));
  }
  static std::vector<std::string> ColumnOf(HWND list, int column) {
    std::vector<std::string> cells;
    for (int row = 0; row < ListView_GetItemCount(list); ++row)
      cells.push_back(Cell(list, row, column));
    return cells;
  }
  std::optional<std::string> RunValue(const std::string& name) {
    auto value = ts.registry.Get(CU, kRun, name);
    if (!value) return std::nullopt;
    return value->text;
  }
};

TEST_F(RestoreWindowTest, ListsTheSetsNewestFirstAndADamagedSetStopsNoneOfTheOthers) {
  DeletedSet("2025-01-02 10.00.00", {"A"});
  DeletedSet("2025-03-04 11.30.00", {"B", "C"}, "browser");
  // A set whose manifest is not JSON, and one of an earlier version: a copy of a file only.
  const std::string damaged = BackupRoot(DataDir()) + "\\2025-02-01 09.00.00";
  const std::string legacy = BackupRoot(DataDir()) + "\\2024-12-31 08.00.00";
  ASSERT_TRUE(ts.files.CreateDirectories(damaged));
  ASSERT_TRUE(ts.files.CreateDirectories(legacy));
  test::WriteWholeFile(damaged + "\\" + kBackupManifestName, "{\"format\": ");
  test::WriteWholeFile(legacy + "\\桌面.lnk", "shortcut bytes");

  RestoreWindow& window = Open();
  EXPECT_EQ(TForm1::GetText(window.Handle), kRestoreWindowTitle);
  EXPECT_EQ(::GetWindow(window.Handle, GW_OWNER), form->Handle);
  EXPECT_EQ(ColumnOf(window.SetList, 0),
            (std::vector<std::string>{"2025-03-04 11:30:00", "2025-02-01 09:00:00",
                                      "2025-01-02 10:00:00", "2024-12-31 08:00:00"}));
  EXPECT_EQ(ColumnOf(window.SetList, 1),
            (std::vector<std::string>{"IE修复", "未知", "系统启动项", "未知"}));
  EXPECT_EQ(ColumnOf(window.SetList, 2), (std::vector<std::string>{"2", "", "1", "1"}));
  const std::vector<std::string> states = ColumnOf(window.SetList, 3);
  ASSERT_EQ(states.size(), 4u);
  EXPECT_EQ(states[0], "");
  EXPECT_EQ(states[1].rfind("已损坏", 0), 0u) << states[1];
  EXPECT_EQ(states[2], "");
  EXPECT_EQ(states[3], "旧版备份");

  // The newest is chosen: its items with their captions and places.
  EXPECT_EQ(window.ChosenSet(), 0);
  EXPECT_EQ(ColumnOf(window.ItemList, 0),
            (std::vector<std::string>{"B  C:\\Programs\\B.exe", "C  C:\\Programs\\C.exe"}));
  for (const std::string& place : ColumnOf(window.ItemList, 1))
    EXPECT_NE(place.find("CurrentVersion\\Run"), std::string::npos) << place;
  EXPECT_TRUE(IsWindowEnabled(window.RestoreAllButton));
  EXPECT_FALSE(IsWindowEnabled(window.ShowInExplorerButton));

  // The damaged set: nothing to restore, the reason under the list.
  window.ChooseSet(1);
  EXPECT_EQ(ListView_GetItemCount(window.ItemList), 0);
  EXPECT_EQ(TForm1::GetText(window.StatusLabel).rfind("已损坏", 0), 0u);
  EXPECT_FALSE(IsWindowEnabled(window.RestoreChosenButton));
  EXPECT_FALSE(IsWindowEnabled(window.RestoreAllButton));
  EXPECT_TRUE(IsWindowEnabled(window.DeleteButton));

  // The legacy set's copy: place unknown, no check box, shown selected in Explorer.
  window.ChooseSet(3);
  ASSERT_EQ(ListView_GetItemCount(window.ItemList), 1);
  EXPECT_EQ(Cell(window.ItemList, 0, 0), "桌面.lnk");
  EXPECT_EQ(Cell(window.ItemList, 0, 1), kUnknownPlaceText);
  EXPECT_EQ(ListView_GetItemState(window.ItemList, 0, LVIS_STATEIMAGEMASK), 0u);
  EXPECT_FALSE(IsWindowEnabled(window.RestoreAllButton));
  ListView_SetItemState(window.ItemList, 0, LVIS_SELECTED, LVIS_SELECTED);
  Pump();
  ASSERT_TRUE(IsWindowEnabled(window.ShowInExplorerButton));
  Click(window, window.ShowInExplorerButton);
  ASSERT_EQ(ts.shell.opens.size(), 1u);
  EXPECT_EQ(ts.shell.opens[0].file, "explorer.exe");
  EXPECT_EQ(ts.shell.opens[0].params, "/select,\"" + legacy + "\\桌面.lnk\"");
  EXPECT_TRUE(ts.messages.shown.empty());
}

TEST_F(RestoreWindowTest, RestoresTheTickedItemsAndAsksAboutOneChangedSince) {
  DeletedSet("2025-01-02 10.00.00", {"A", "B", "C"});
  ts.registry.SetString(CU, kRun, "B", "C:\\Other\\B.exe");  // changed since the deletion

  RestoreWindow& window = Open();
  ASSERT_EQ(window.Sets().size(), 1u);
  ASSERT_EQ(ListView_GetItemCount(window.ItemList), 3);
  // Nothing ticked: said so, nothing restored.
  Click(window, window.RestoreChosenButton);
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_FALSE(RunValue("A"));
  ts.messages.shown.clear();

  // A and B ticked; the question about B is answered "no".
  window.TickItems({0, 1});
  ts.messages.answers = {kIdNo};
  Click(window, window.RestoreChosenButton);
  EXPECT_EQ(RunValue("A"), "C:\\Programs\\A.exe");
  EXPECT_EQ(RunValue("B"), "C:\\Other\\B.exe");
  EXPECT_FALSE(RunValue("C"));
  ASSERT_EQ(ts.messages.shown.size(), 2u);
  EXPECT_EQ(ts.messages.shown[0].style, static_cast<unsigned>(MB_YESNO | MB_ICONQUESTION));
  EXPECT_NE(ts.messages.shown[0].text.find("B  C:\\Programs\\B.exe"), std::string::npos);
  EXPECT_NE(ts.messages.shown[0].text.find("又被改动过"), std::string::npos);
  EXPECT_EQ(ts.messages.shown[0].owner, window.Handle);
  const std::string report = ts.messages.shown[1].text;
  EXPECT_EQ(ts.messages.shown[1].caption, kRestoreWindowTitle);
  EXPECT_NE(report.find("已恢复 1 项"), std::string::npos) << report;
  EXPECT_NE(report.find("未恢复 1 项"), std::string::npos) << report;
  EXPECT_NE(report.find(kBackedUpLine), std::string::npos) << report;

  // The list was read again: the restore's own set is the newest, and says what it is.
  ASSERT_EQ(window.Sets().size(), 2u);
  EXPECT_EQ(Cell(window.SetList, 0, 3).rfind("由恢复生成", 0), 0u) << Cell(window.SetList, 0, 3);
  EXPECT_EQ(Cell(window.SetList, 1, 0), "2025-01-02 10:00:00");

  // Everything of the first set, now saying "yes" to B.
  ts.messages.shown.clear();
  ts.messages.answers = {kIdYes};
  window.ChooseSet(1);
  Click(window, window.RestoreAllButton);
  EXPECT_EQ(RunValue("A"), "C:\\Programs\\A.exe");
  EXPECT_EQ(RunValue("B"), "C:\\Programs\\B.exe");
  EXPECT_EQ(RunValue("C"), "C:\\Programs\\C.exe");
  ASSERT_EQ(ts.messages.shown.size(), 2u);
  EXPECT_NE(ts.messages.shown[1].text.find("已恢复 3 项"), std::string::npos)
      << ts.messages.shown[1].text;
  EXPECT_EQ(window.Sets().size(), 3u);
  // The set chosen before the list was read again is still the chosen one.
  EXPECT_EQ(window.Sets()[static_cast<size_t>(window.ChosenSet())].name, "2025-01-02 10.00.00");
}

TEST_F(RestoreWindowTest, DeletingASetAsksFirst) {
  const std::string older = DeletedSet("2025-01-02 10.00.00", {"A"});
  const std::string newer = DeletedSet("2025-01-03 10.00.00", {"B"});
  RestoreWindow& window = Open();
  ASSERT_EQ(window.ChosenSet(), 0);

  ts.messages.answers = {kIdNo};
  Click(window, window.DeleteButton);
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].style, static_cast<unsigned>(MB_YESNO | MB_ICONQUESTION));
  EXPECT_NE(ts.messages.shown[0].text.find("2025-01-03 10:00:00"), std::string::npos);
  EXPECT_TRUE(ts.files.DirectoryExists(newer));
  EXPECT_EQ(window.Sets().size(), 2u);

  ts.messages.answers = {kIdYes};
  Click(window, window.DeleteButton);
  EXPECT_FALSE(ts.files.DirectoryExists(newer));
  EXPECT_TRUE(ts.files.DirectoryExists(older));
  ASSERT_EQ(window.Sets().size(), 1u);
  EXPECT_EQ(window.Sets()[0].folder, older);
  EXPECT_EQ(ts.messages.shown.size(), 2u);  // the two questions, no failure
  EXPECT_FALSE(RunValue("B"));              // deleting a set restores nothing
}

TEST_F(RestoreWindowTest, AFileInTheWayOffersItsThreeChoices) {
  DeletedSet("2025-01-02 10.00.00", {"A"});
  RestoreWindow& window = Open();
  const SetItem& item = window.Sets()[0].items[0];
  std::vector<std::string> shown;
  int press = 0;
  window.fileChoiceShown = [&](HWND dialog) {
    shown.push_back(TForm1::GetText(dialog));
    ::PostMessageW(dialog, TDM_CLICK_BUTTON, static_cast<WPARAM>(press), 0);
  };
  press = RestoreWindow::kKeepBothButton;
  EXPECT_EQ(window.FileConflict(item), RestoreQuestions::FileChoice::KeepBoth);
  press = RestoreWindow::kOverwriteButton;
  EXPECT_EQ(window.FileConflict(item), RestoreQuestions::FileChoice::Overwrite);
  press = RestoreWindow::kSkipButton;
  EXPECT_EQ(window.FileConflict(item), RestoreQuestions::FileChoice::Skip);
  press = IDCANCEL;  // Esc
  EXPECT_EQ(window.FileConflict(item), RestoreQuestions::FileChoice::Skip);
  EXPECT_EQ(shown, std::vector<std::string>(4, kRestoreWindowTitle));
}

TEST_F(RestoreWindowTest, MachineWideWritesShowEveryItemsDataFirst) {
  DeletedSet("2025-01-02 10.00.00", {"A", "B"});
  RestoreWindow& window = Open();
  const BackupSetInfo& set = window.Sets()[0];
  const std::vector<const SetItem*> items{&set.items[0], &set.items[1]};
  // The second item's data is longer than a user may type into an edit control.
  const std::string longData = "C:\\Programs\\B.exe " + std::string(40000, 'x') + " end";
  const std::vector<std::string> data{"C:\\Programs\\A.exe", longData};
  std::string shown;
  bool ownerEnabled = true, cancelHasFocus = false;
  window.machineWideShown = [&](MachineWideConfirm& confirm) {
    shown = TForm1::GetText(confirm.TextBox);
    ownerEnabled = ::IsWindowEnabled(window.Handle) != FALSE;
    cancelHasFocus = ::GetFocus() == confirm.NoButton;
    TForm1::Click(confirm.YesButton);
  };
  EXPECT_TRUE(window.ConfirmMachineWide(items, data));
  EXPECT_FALSE(ownerEnabled);
  EXPECT_TRUE(cancelHasFocus);
  EXPECT_TRUE(::IsWindowEnabled(window.Handle));
  for (const SetItem* item : items) {
    EXPECT_NE(shown.find(item->caption), std::string::npos);
    EXPECT_NE(shown.find(item->change->Place()), std::string::npos);
  }
  EXPECT_NE(shown.find("恢复为：C:\\Programs\\A.exe"), std::string::npos);
  EXPECT_NE(shown.find(longData), std::string::npos);
  // Esc, "取消" and the close box say no.
  window.machineWideShown = [](MachineWideConfirm& confirm) {
    MSG esc = {confirm.NoButton, WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
    DispatchUiMessage(esc);
  };
  EXPECT_FALSE(window.ConfirmMachineWide(items, data));
  window.machineWideShown = [](MachineWideConfirm& confirm) { TForm1::Click(confirm.NoButton); };
  EXPECT_FALSE(window.ConfirmMachineWide(items, data));
  window.machineWideShown = [](MachineWideConfirm& confirm) {
    ::PostMessageW(confirm.Handle, WM_CLOSE, 0, 0);
  };
  EXPECT_FALSE(window.ConfirmMachineWide(items, data));
  EXPECT_TRUE(::IsWindowEnabled(window.Handle));
  EXPECT_TRUE(ts.messages.shown.empty());
}

TEST_F(RestoreWindowTest, KeyboardReachesTheListsAndEscCloses) {
  DeletedSet("2025-01-02 10.00.00", {"A"});
  RestoreWindow& window = Open();
  ::SetForegroundWindow(window.Handle);
  ::SetActiveWindow(window.Handle);
  Pump();
  window.FocusFirstControl();
  EXPECT_EQ(::GetFocus(), window.SetList);
  EXPECT_EQ(::GetNextDlgTabItem(window.Handle, window.SetList, FALSE), window.ItemList);
  EXPECT_EQ(::GetNextDlgTabItem(window.Handle, window.ItemList, FALSE), window.RestoreChosenButton);
  // Alt+D is the delete button's key: it asks first (answered "no" here).
  ts.messages.answers = {kIdNo};
  MSG altD = {window.SetList, WM_SYSCHAR, 'd', 1 << 29, 0, {}};
  DispatchUiMessage(altD);
  Pump();
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_NE(ts.messages.shown[0].text.find("删除"), std::string::npos);
  EXPECT_EQ(window.Sets().size(), 1u);
  MSG esc = {window.SetList, WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
  DispatchUiMessage(esc);
  Pump();
  EXPECT_EQ(RestoreWindowIfOpen(), nullptr);
  EXPECT_TRUE(::IsWindow(form->Handle));
}

TEST_F(RestoreWindowTest, ANewDpiScalesTheWindowAndItsColumns) {
  RestoreWindow& window = Open();
  const UINT before = window.Dpi();
  RECT suggested{0, 0, 100, 100};
  ::SendMessageW(window.Handle, WM_DPICHANGED, MAKEWPARAM(before * 2, before * 2),
                 reinterpret_cast<LPARAM>(&suggested));
  EXPECT_EQ(window.Dpi(), before * 2);
  RECT client;
  ::GetClientRect(window.Handle, &client);
  EXPECT_EQ(client.right, window.Scale(600));
  EXPECT_EQ(ListView_GetColumnWidth(window.SetList, 0), window.Scale(130));
  EXPECT_EQ(ListView_GetColumnWidth(window.ItemList, 1), window.Scale(270));
  RECT close;
  ::GetWindowRect(window.CloseButton, &close);
  ::MapWindowPoints(nullptr, window.Handle, reinterpret_cast<POINT*>(&close), 2);
  EXPECT_LE(close.right, client.right);
  EXPECT_LE(close.bottom, client.bottom);
}

TEST_F(RestoreWindowTest, EveryTabThatChangesSomethingOpensTheWindowFromItsMenu) {
  const std::pair<int, HWND> lists[] = {
      {1, form->Page<DrivePage>().ListBox5},
      {2, form->Page<BrowserPage>().ListView1},
      {3, form->Page<StartupPage>().ListView2},
  };
  for (const auto& [tab, list] : lists) {
    SCOPED_TRACE(tab);
    const std::vector<std::string> captions = form->ContextMenuCaptions(list);
    const auto backup = std::find(captions.begin(), captions.end(), kOpenBackupFolderText);
    ASSERT_NE(backup, captions.end());
    ASSERT_NE(backup + 1, captions.end());
    EXPECT_EQ(*(backup + 1), kRestoreMenuText);
    ASSERT_TRUE(form->ChooseContextMenu(list, kRestoreMenuText));
    RestoreWindow* window = RestoreWindowIfOpen();
    ASSERT_NE(window, nullptr);
    WaitForSets(*window);
    EXPECT_EQ(::GetWindow(window->Handle, GW_OWNER), form->Handle);
    // Chosen again, the open window comes forward: still one.
    ASSERT_TRUE(form->ChooseContextMenu(list, kRestoreMenuText));
    EXPECT_EQ(RestoreWindowIfOpen(), window);
    WaitForSets(*window);
    CloseRestoreWindow();
    EXPECT_EQ(RestoreWindowIfOpen(), nullptr);
  }
}

TEST(RestoreWindowText, SetTimeShowsColons) {
  EXPECT_EQ(SetTimeText("2026-12-08 15.54.00"), "2026-12-08 15:54:00");
  EXPECT_EQ(SetTimeText("2026-12-08 15.54.00 (2)"), "2026-12-08 15:54:00 (2)");
  EXPECT_EQ(SetTimeText("手工"), "手工");
}

}  // namespace
}  // namespace mt
