// The startup-item logic on the registry stand-in and a temporary folder tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/AdminRights.h"
#include "app/Restore.h"
#include "app/Error.h"
#include "app/Backup.h"
#include "app/ChangeFile.h"
#include "startup/StartupApproved.h"
#include "startup/StartupItems.h"
#include "startup/tests/StartupStandIns.h"
#include "tests/support/StandIns.h"

namespace mt::test {
namespace {

constexpr const char* kRun = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr RegRoot kLM = RegRoot::LocalMachine;
constexpr RegRoot kCU = RegRoot::CurrentUser;
constexpr RegView k32 = RegView::Wow32;
using S = StartupSource;

FileDialogOptions ExeDialog() {
  FileDialogOptions o;
  o.filter = kExeFilter;
  return o;
}

class StartupItemsTest : public ::testing::Test {
 protected:
  StartupItemsTest() : fs(ts.files), items(ts.services, places) {
    ts.services.files = &fs;
    ts.services.exeDir = Win(tmp.path()) + "\\app";
    // The Windows directory sits one level below the temporary folder, so the fixed
    // common path lands inside it.
    places.windowsDirectory = Win(tmp.path()) + "\\WINDOWS";
    userDir = Win(tmp.path()) + "\\user";
    commonDir = Win(tmp.path()) + "\\Documents and Settings\\All Users\\「开始」菜单\\程序\\启动";
    ts.files.CreateDirectories(userDir);
    ts.files.CreateDirectories(commonDir);
    ts.registry.SetString(kCU, kShellFolders, "Startup", userDir);
  }
  static std::string Win(std::string p) {
    std::replace(p.begin(), p.end(), '/', '\\');
    return p;
  }
  void Touch(const std::string& path) { WriteWholeFile(path, "L"); }
  std::vector<StartupRow> RowsOf(S source) const {
    std::vector<StartupRow> out;
    for (const StartupRow& r : view.rows)
      if (r.source == source) out.push_back(r);
    std::sort(out.begin(), out.end(),
              [](const StartupRow& a, const StartupRow& b) { return a.name < b.name; });
    return out;
  }
  std::vector<std::string> NamesOf(S source) const {
    std::vector<std::string> out;
    for (const StartupRow& r : RowsOf(source)) out.push_back(r.name);
    return out;
  }

  TestServices ts;
  LockingFileSystem fs;
  ScriptedPlaces places;
  TempDir tmp;
  StartupItems items;
  MemoryStartupView view;
  std::string userDir, commonDir;
};

TEST_F(StartupItemsTest, ListsTheFivePlacesInOrderWithTheirLocations) {
  ts.registry.SetString(kLM, kRun, "vdrive x:", "subst x: \"C:\\Data\"");
  ts.registry.SetString(kLM, kRun, "Tool", "C:\\Program Files\\Tool\\tool.exe /min");
  ts.registry.SetString(kLM, kRun, "Tool", "C:\\Program Files (x86)\\Tool\\tool32.exe", k32);
  ts.registry.SetString(kCU, kRun, "Chat", "C:\\Chat\\chat.exe");
  ts.registry.SetBinary(kCU, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\Sub", "x", "b");
  Touch(userDir + "\\Mail.lnk");
  Touch(userDir + "\\.hidden.lnk");
  Touch(userDir + "\\readme.txt");
  Touch(userDir + "\\Mail.lnk.bak");
  Touch(commonDir + "\\Office.LNK");
  view.rows.push_back({"stale", "", S::UserRun, true});

  items.Refresh(view);

  ASSERT_EQ(view.rows.size(), 9u);
  EXPECT_TRUE(std::is_sorted(view.rows.begin(), view.rows.end(),
                             [](const StartupRow& a, const StartupRow& b) {
                               return static_cast<int>(a.source) < static_cast<int>(b.source);
                             }));
  auto lm = RowsOf(S::MachineRun);
  ASSERT_EQ(lm.size(), 2u);
  EXPECT_EQ(lm[0].name, "Tool");
  EXPECT_EQ(lm[0].location, "C:\\Program Files\\Tool\\tool.exe /min");
  EXPECT_EQ(lm[1].location, "subst x: \"C:\\Data\"");
  auto lm32 = RowsOf(S::MachineRun32);
  ASSERT_EQ(lm32.size(), 1u);
  EXPECT_EQ(lm32[0].name, "Tool");
  EXPECT_EQ(lm32[0].location, "C:\\Program Files (x86)\\Tool\\tool32.exe");
  EXPECT_EQ(NamesOf(S::UserRun), std::vector<std::string>{"Chat"});
  // Every file of the folder is opened at log-on, shortcut or not.
  auto user = RowsOf(S::UserFolder);
  ASSERT_EQ(user.size(), 4u);
  EXPECT_EQ(user[0].name, ".hidden.lnk");
  EXPECT_EQ(user[1].location, userDir + "\\Mail.lnk");
  EXPECT_EQ(user[2].location, userDir + "\\Mail.lnk.bak");
  EXPECT_EQ(user[3].location, userDir + "\\readme.txt");
  auto common = RowsOf(S::CommonFolder);
  ASSERT_EQ(common.size(), 1u);
  EXPECT_EQ(common[0].location, commonDir + "\\Office.LNK");
  for (const StartupRow& r : view.rows) EXPECT_FALSE(r.checked);
  EXPECT_TRUE(view.readOnly);
}

TEST_F(StartupItemsTest, ValueThatIsNotTextEndsTheRefreshKeepingTheRowsSoFar) {
  ts.registry.SetString(kLM, kRun, "first", "a.exe");
  ts.registry.SetDword(kLM, kRun, "number", 7);
  ts.registry.SetString(kLM, kRun, "after", "b.exe");
  ts.registry.SetString(kCU, kRun, "user", "c.exe");
  Touch(userDir + "\\u.lnk");

  try {
    items.Refresh(view);
    FAIL() << "no error";
  } catch (const AppError& e) {
    EXPECT_STREQ(e.what(), "Invalid data type for 'number'");
  }
  ASSERT_EQ(view.rows.size(), 2u);
  EXPECT_EQ(view.rows[0].location, "a.exe");
  EXPECT_EQ(view.rows[1].name, "number");
  EXPECT_EQ(view.rows[1].location, "");
}

TEST_F(StartupItemsTest, ExpandableTextIsListedAndMissingOrDeniedKeysGiveNoRows) {
  RegValue expand;
  expand.type = RegDataType::ExpandString;
  expand.text = "%ProgramFiles%\\x.exe";
  auto key = ts.registry.Open(kCU, nullptr, kRun, true);
  ASSERT_TRUE(ts.registry.Set(*key, "exp", expand));
  ts.registry.CreatePath(kLM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion");
  ts.registry.Deny(kLM, kRun);
  Touch(commonDir + "\\c.lnk");

  items.Refresh(view);

  ASSERT_EQ(view.rows.size(), 2u);
  EXPECT_EQ(view.rows[0].location, "%ProgramFiles%\\x.exe");
  EXPECT_EQ(view.rows[1].source, S::CommonFolder);
}

TEST_F(StartupItemsTest, UserFolderFallsBackToThePlatformsWhenTheValueIsMissingOrEmpty) {
  std::string known = Win(tmp.path()) + "\\known";
  ts.files.CreateDirectories(known);
  Touch(known + "\\k.lnk");
  Touch(userDir + "\\u.lnk");
  places.userStartup = known;

  items.Refresh(view);
  EXPECT_EQ(NamesOf(S::UserFolder), std::vector<std::string>{"u.lnk"});

  for (const char* value : {"", "  "}) {
    ts.registry.SetString(kCU, kShellFolders, "Startup", value);
    items.Refresh(view);
    auto rows = RowsOf(S::UserFolder);
    ASSERT_EQ(rows.size(), 1u) << "'" << value << "'";
    EXPECT_EQ(rows[0].location, known + "\\k.lnk");
  }

  // No value at all and no known folder: nothing, not the root of a drive.
  ts.registry.DeleteTree(kCU, nullptr, kShellFolders);
  places.userStartup.clear();
  items.Refresh(view);
  EXPECT_TRUE(RowsOf(S::UserFolder).empty());
}

TEST_F(StartupItemsTest, CommonFolderUsesTheFixedPathOnlyWhereItExists) {
  std::string known = Win(tmp.path()) + "\\ProgramData\\Startup";
  ts.files.CreateDirectories(known);
  Touch(known + "\\k.lnk");
  Touch(commonDir + "\\fixed.lnk");
  places.commonStartup = known;

  EXPECT_EQ(items.CommonStartupFolder(), commonDir + "\\");
  items.Refresh(view);
  EXPECT_EQ(NamesOf(S::CommonFolder), std::vector<std::string>{"fixed.lnk"});
  EXPECT_EQ(RowsOf(S::CommonFolder)[0].location, commonDir + "\\fixed.lnk");

  // A later or other-language Windows: the fixed path is not there.
  places.windowsDirectory = Win(tmp.path()) + "\\elsewhere\\WINDOWS";
  items.Refresh(view);
  EXPECT_EQ(NamesOf(S::CommonFolder), std::vector<std::string>{"k.lnk"});

  // Outside the NT family the user folder is not listed a second time.
  places.windowsDirectory = Win(tmp.path()) + "\\WINDOWS";
  places.platformId = 1;
  Touch(userDir + "\\u.lnk");
  items.Refresh(view);
  EXPECT_EQ(NamesOf(S::CommonFolder), std::vector<std::string>{"k.lnk"});
  EXPECT_EQ(NamesOf(S::UserFolder), std::vector<std::string>{"u.lnk"});
}

TEST_F(StartupItemsTest, CommonFolderSkipsAFixedPathThatCannotBeListed) {
  std::string known = Win(tmp.path()) + "\\ProgramData\\Startup";
  ts.files.CreateDirectories(known);
  Touch(known + "\\k.lnk");
  Touch(commonDir + "\\fixed.lnk");
  places.commonStartup = known;
  fs.unlistable.insert(commonDir);  // access denied, as on a later system
  EXPECT_EQ(items.CommonStartupFolder(), known);
  items.Refresh(view);
  auto rows = RowsOf(S::CommonFolder);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].location, known + "\\k.lnk");
  fs.unlistable.clear();
  EXPECT_EQ(items.CommonStartupFolder(), commonDir + "\\");
}

#ifndef _WIN32
// On Windows the page test makes a real junction (the C++ library there makes no links).
TEST_F(StartupItemsTest, CommonFolderSkipsAFixedPathThatIsALink) {
  std::string known = Win(tmp.path()) + "\\ProgramData\\Startup";
  ts.files.CreateDirectories(known);
  Touch(known + "\\k.lnk");
  places.commonStartup = known;
  // Later systems keep the old path as a link to the real folder.
  std::filesystem::remove_all(PosixFileSystem::ToPosix(commonDir));
  std::filesystem::create_directory_symlink(PosixFileSystem::ToPosix(known),
                                            PosixFileSystem::ToPosix(commonDir));
  ASSERT_TRUE(ts.files.DirectoryExists(commonDir));
  EXPECT_FALSE(ts.files.IsListableFolder(commonDir));
  EXPECT_TRUE(ts.files.IsListableFolder(ParentFolder(commonDir)));

  items.Refresh(view);
  auto rows = RowsOf(S::CommonFolder);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].location, known + "\\k.lnk");
}
#endif

TEST(StartupPaths, FixedCommonPathJoinsTheParentWithOneBackslash) {
  TestServices ts;
  ScriptedPlaces places;
  StartupItems items(ts.services, places);
  const std::string tail = "Documents and Settings\\All Users\\「开始」菜单\\程序\\启动\\";
  places.windowsDirectory = "C:\\WINDOWS";
  EXPECT_EQ(items.FixedCommonStartupPath(), "C:\\" + tail);
  places.windowsDirectory = "D:\\OS\\WINNT";
  EXPECT_EQ(items.FixedCommonStartupPath(), "D:\\OS\\" + tail);
  places.windowsDirectory = "D:\\OS\\WINNT\\";
  EXPECT_EQ(items.FixedCommonStartupPath(), "D:\\OS\\" + tail);
  places.windowsDirectory = "";
  EXPECT_EQ(items.FixedCommonStartupPath(), "");
}

TEST_F(StartupItemsTest, AddWritesTheMachineRunKeyReplacingAValueOfTheSameName) {
  // The first add creates the missing Run key.
  ts.dialogs.openAnswers.push_back(std::vector<std::string>{"D:\\old\\a.exe"});
  items.AddClick(view, nullptr, ExeDialog());
  EXPECT_EQ(ts.registry.Get(kLM, kRun, "a.exe")->text, "D:\\old\\a.exe");
  ts.dialogs.openAnswers.push_back(std::vector<std::string>{"C:\\Tools\\a.exe"});
  ts.dialogs.openAnswers.push_back(
      std::vector<std::string>{"C:\\Program Files\\My App\\run me.exe"});

  items.AddClick(view, nullptr, ExeDialog());
  items.AddClick(view, nullptr, ExeDialog());

  ASSERT_EQ(ts.dialogs.openAsked.size(), 3u);
  EXPECT_EQ(ts.dialogs.openAsked[0].filter, "*.exe|*.exe");
  EXPECT_FALSE(ts.dialogs.openAsked[0].multiSelect);
  EXPECT_EQ(ts.registry.Get(kLM, kRun, "a.exe")->text, "C:\\Tools\\a.exe");
  auto spaced = ts.registry.Get(kLM, kRun, "run me.exe");
  ASSERT_TRUE(spaced);
  EXPECT_EQ(spaced->type, RegDataType::String);
  EXPECT_EQ(spaced->text, "C:\\Program Files\\My App\\run me.exe");
  EXPECT_FALSE(ts.registry.Get(kCU, kRun, "a.exe"));
  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_EQ(NamesOf(S::MachineRun), (std::vector<std::string>{"a.exe", "run me.exe"}));
}

TEST_F(StartupItemsTest, RefusedAddTellsTheUserAndStillRefreshes) {
  ts.registry.SetString(kLM, kRun, "kept", "k.exe");
  ts.registry.MakeReadOnly(kLM, kRun);
  ts.dialogs.openAnswers.push_back(std::vector<std::string>{"C:\\Tools\\a.exe"});
  view.rows.push_back({"stale", "", S::UserRun, true});
  int owner = 0;

  items.AddClick(view, &owner, ExeDialog());

  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].owner, &owner);
  EXPECT_EQ(ts.messages.shown[0].text, "被杀毒软件拦截，修改不成功");
  EXPECT_EQ(ts.messages.shown[0].caption, "温馨提示");
  EXPECT_EQ(ts.messages.shown[0].style, 0u);
  EXPECT_FALSE(ts.registry.Get(kLM, kRun, "a.exe"));
  ASSERT_EQ(view.rows.size(), 1u);
  EXPECT_EQ(view.rows[0].name, "kept");

  // A machine Run key that cannot even be opened is refused the same way.
  ts.registry.Deny(kLM, "SOFTWARE\\Microsoft");
  ts.dialogs.openAnswers.push_back(std::vector<std::string>{"C:\\Tools\\a.exe"});
  items.AddClick(view, &owner, ExeDialog());
  EXPECT_EQ(ts.messages.shown.size(), 2u);
}

TEST_F(StartupItemsTest, CancelledAddWritesNothingButRefreshes) {
  ts.registry.SetString(kLM, kRun, "one", "1.exe");
  items.Refresh(view);
  ASSERT_TRUE(view.Check("one", S::MachineRun));
  int clears = view.clears;

  items.AddClick(view, nullptr, ExeDialog());

  EXPECT_EQ(ts.dialogs.openAsked.size(), 1u);
  EXPECT_EQ(view.clears, clears + 1);
  ASSERT_EQ(view.rows.size(), 1u);
  EXPECT_FALSE(view.rows[0].checked);
  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_EQ(ts.registry.ValueNames(*ts.registry.Open(kLM, nullptr, kRun, false)).size(), 1u);
}

TEST_F(StartupItemsTest, DeleteRemovesEachCheckedItemFromItsOwnPlaceOnly) {
  std::string program = Win(tmp.path()) + "\\prog.exe";
  Touch(program);
  ts.registry.SetString(kLM, kRun, "same", program);
  ts.registry.SetString(kCU, kRun, "same", program);
  ts.registry.SetString(kLM, kRun, "other", "o.exe");
  ts.registry.SetString(kCU, kRun, "twin", "t.exe");
  ts.registry.SetString(kLM, kRun, "twin", "t.exe");
  Touch(userDir + "\\u.lnk");
  Touch(userDir + "\\keep.lnk");
  Touch(commonDir + "\\c.lnk");
  items.Refresh(view);
  ASSERT_EQ(view.rows.size(), 8u);
  ASSERT_TRUE(view.Check("same", S::UserRun));
  ASSERT_TRUE(view.Check("twin", S::MachineRun));
  ASSERT_TRUE(view.Check("u.lnk", S::UserFolder));
  ASSERT_TRUE(view.Check("c.lnk", S::CommonFolder));

  items.DeleteClick(view);

  EXPECT_FALSE(ts.registry.Get(kCU, kRun, "same"));
  EXPECT_TRUE(ts.registry.Get(kLM, kRun, "same"));
  EXPECT_FALSE(ts.registry.Get(kLM, kRun, "twin"));
  EXPECT_TRUE(ts.registry.Get(kCU, kRun, "twin"));
  EXPECT_FALSE(ts.files.FileExists(userDir + "\\u.lnk"));
  EXPECT_FALSE(ts.files.FileExists(commonDir + "\\c.lnk"));
  EXPECT_TRUE(ts.files.FileExists(program));
  EXPECT_EQ(NamesOf(S::MachineRun), (std::vector<std::string>{"other", "same"}));
  EXPECT_EQ(NamesOf(S::UserRun), std::vector<std::string>{"twin"});
  EXPECT_EQ(NamesOf(S::UserFolder), std::vector<std::string>{"keep.lnk"});
  EXPECT_TRUE(RowsOf(S::CommonFolder).empty());
  // Rows went from the last to the first.
  ASSERT_EQ(view.removed.size(), 4u);
  EXPECT_TRUE(std::is_sorted(view.removed.rbegin(), view.removed.rend()));
  EXPECT_TRUE(ts.messages.shown.empty());
}

TEST_F(StartupItemsTest, Run32RowsAreTheirOwnSourceAndDeleteOnlyFromTheir32BitView) {
  ts.registry.SetString(kLM, kRun, "same", "C:\\x64\\same.exe");
  ts.registry.SetString(kLM, kRun, "same", "C:\\x86\\same.exe", k32);
  ts.registry.SetString(kLM, kRun, "old", "C:\\x86\\old.exe", k32);
  ts.registry.SetString(kLM, kRun, "twin", "t64.exe");
  ts.registry.SetString(kLM, kRun, "twin", "t32.exe", k32);
  ts.registry.SetString(kCU, kRun, "user", "u.exe");
  items.Refresh(view);
  ASSERT_EQ(view.rows.size(), 6u);
  // Machine rows first, then the 32-bit ones, then the user's.
  std::vector<S> order;
  for (const StartupRow& r : view.rows) order.push_back(r.source);
  EXPECT_EQ(order, (std::vector<S>{S::MachineRun, S::MachineRun, S::MachineRun32, S::MachineRun32,
                                   S::MachineRun32, S::UserRun}));
  EXPECT_EQ(NamesOf(S::MachineRun32), (std::vector<std::string>{"old", "same", "twin"}));
  ASSERT_TRUE(view.Check("same", S::MachineRun32));
  ASSERT_TRUE(view.Check("old", S::MachineRun32));
  ASSERT_TRUE(view.Check("twin", S::MachineRun));

  items.DeleteClick(view);

  EXPECT_FALSE(ts.registry.Get(kLM, kRun, "same", k32));
  EXPECT_FALSE(ts.registry.Get(kLM, kRun, "old", k32));
  EXPECT_EQ(ts.registry.Get(kLM, kRun, "same")->text, "C:\\x64\\same.exe");
  EXPECT_FALSE(ts.registry.Get(kLM, kRun, "twin"));
  EXPECT_EQ(ts.registry.Get(kLM, kRun, "twin", k32)->text, "t32.exe");
  EXPECT_EQ(NamesOf(S::MachineRun), std::vector<std::string>{"same"});
  EXPECT_EQ(NamesOf(S::MachineRun32), std::vector<std::string>{"twin"});
  EXPECT_EQ(NamesOf(S::UserRun), std::vector<std::string>{"user"});

  // Adding writes the program's own (native) machine Run key, never the 32-bit one.
  ts.dialogs.openAnswers.push_back(std::vector<std::string>{"C:\\Tools\\new.exe"});
  items.AddClick(view, nullptr, ExeDialog());
  EXPECT_TRUE(ts.registry.Get(kLM, kRun, "new.exe"));
  EXPECT_FALSE(ts.registry.Get(kLM, kRun, "new.exe", k32));
}

TEST_F(StartupItemsTest, Run32ValueThatIsNotTextEndsTheRefreshBeforeTheUserRows) {
  ts.registry.SetString(kLM, kRun, "machine", "m.exe");
  ts.registry.SetDword(kLM, kRun, "number32", 7, k32);
  ts.registry.SetString(kCU, kRun, "user", "u.exe");
  EXPECT_THROW(items.Refresh(view), AppError);
  ASSERT_EQ(view.rows.size(), 2u);
  EXPECT_EQ(view.rows[1].name, "number32");
  EXPECT_EQ(view.rows[1].source, S::MachineRun32);
}

TEST(StartupNames, A32BitRowShowsItsMarkAndComesBackToItsName) {
  StartupRow row{"QQ", "C:\\qq.exe", S::MachineRun32, false};
  EXPECT_EQ(ShownName(row), "QQ (32位)");
  EXPECT_EQ(NameFromShown("QQ (32位)", S::MachineRun32), "QQ");
  for (S other : {S::MachineRun, S::UserRun, S::UserFolder, S::CommonFolder}) {
    row.source = other;
    EXPECT_EQ(ShownName(row), "QQ");
    EXPECT_EQ(NameFromShown("QQ (32位)", other), "QQ (32位)");
  }
  // A name that ends like the mark itself survives the round trip.
  row = {"x (32位)", "", S::MachineRun32, false};
  EXPECT_EQ(NameFromShown(ShownName(row), S::MachineRun32), "x (32位)");
  EXPECT_EQ(NameFromShown("", S::MachineRun32), "");
}

TEST_F(StartupItemsTest, ItemsThatCannotBeDeletedComeBackAndAreNamedInANotice) {
  Touch(userDir + "\\locked.lnk");
  ts.files.CreateDirectories(userDir + "\\folder.lnk");
  fs.locked.insert(userDir + "\\locked.lnk");
  ts.registry.SetString(kLM, kRun, "guarded", "g.exe");
  ts.registry.MakeReadOnly(kLM, kRun);
  items.Refresh(view);
  // A folder in the Startup folder is not opened at log-on: no row, whatever its name.
  ASSERT_EQ(view.rows.size(), 2u);
  EXPECT_FALSE(view.Has("folder.lnk", S::UserFolder));
  for (StartupRow& r : view.rows) r.checked = true;

  items.DeleteClick(view);

  EXPECT_EQ(fs.deleted.size(), 1u);
  EXPECT_EQ(view.rows.size(), 2u);
  EXPECT_TRUE(view.Has("guarded", S::MachineRun));
  EXPECT_TRUE(view.Has("locked.lnk", S::UserFolder));
  EXPECT_TRUE(ts.files.DirectoryExists(userDir + "\\folder.lnk"));
  // The notice names what stayed, in list order, instead of passing over it.
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, std::string(kDeleteFailedText) +
                                           "\nguarded（HKLM\\Run）\nlocked.lnk（用户启动文件夹）");
  // A folder row's location is used trimmed.
  fs.locked.clear();
  EXPECT_TRUE(items.DeleteItem({"locked.lnk", " " + userDir + "\\locked.lnk\t", S::UserFolder}));
}

// The system refuses to delete a read-only file: the attribute is cleared for the deletion,
// the set keeps the file read-only and the restore gives it back so. When the attribute
// cannot be cleared the file stays read-only and the notice names it.
TEST_F(StartupItemsTest, AReadOnlyShortcutIsDeletedAndComesBackReadOnly) {
  const std::string ro = userDir + "\\ro.lnk", stuck = userDir + "\\stuck.lnk";
  WriteWholeFile(ro, "RO");
  WriteWholeFile(stuck, "STUCK");
  ASSERT_TRUE(ts.files.SetAttributes(ro, 1));
  ASSERT_TRUE(ts.files.SetAttributes(stuck, 1));
  fs.unchangeable.insert(stuck);
  items.Refresh(view);
  for (StartupRow& r : view.rows) r.checked = true;

  items.DeleteClick(view);

  EXPECT_FALSE(ts.files.FileExists(ro));
  EXPECT_TRUE(ts.files.FileExists(stuck));
  EXPECT_EQ(ts.files.Meta(stuck)->attributes & 1u, 1u);
  EXPECT_EQ(NamesOf(S::UserFolder), std::vector<std::string>{"stuck.lnk"});
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text,
            std::string(kDeleteFailedText) + "\nstuck.lnk（用户启动文件夹）");

  // The set's item keeps the file read-only, and its restore (the kind's own, as the paths
  // of this temporary tree are not among the places a set may name) writes it back so.
  auto sets = ts.files.Find(ts.services.exeDir + "\\备份", "*");
  ASSERT_EQ(sets.size(), 1u);
  const std::string folder = ts.services.exeDir + "\\备份\\" + sets[0].name;
  const nlohmann::json manifest = nlohmann::json::parse(
      ReadWholeFile(folder + "\\" + kBackupManifestName));
  const nlohmann::json* item = nullptr;
  for (const nlohmann::json& i : manifest["items"])
    if (i["caption"].get<std::string>().rfind("ro.lnk", 0) == 0) item = &i;
  ASSERT_NE(item, nullptr);
  EXPECT_EQ((*item)["before"].value("attributes", 0u) & 1u, 1u);
  ChangeEnv env = ChangeEnvOf(ts.services);
  env.setFolder = folder;
  FileChange(ro).Restore(env, (*item)["before"], (*item)["saved"]);
  EXPECT_EQ(ReadWholeFile(ro), "RO");
  ASSERT_TRUE(ts.files.Meta(ro));
  EXPECT_EQ(ts.files.Meta(ro)->attributes & 1u, 1u);
  ts.files.SetAttributes(ro, 0);
  ts.files.SetAttributes(stuck, 0);
}

TEST_F(StartupItemsTest, DeleteWithNothingCheckedOnlyRefreshes) {
  ts.registry.SetString(kLM, kRun, "a", "a.exe");
  Touch(userDir + "\\u.lnk");
  items.Refresh(view);
  int clears = view.clears;
  items.DeleteClick(view);
  EXPECT_EQ(view.clears, clears + 1);
  EXPECT_EQ(view.rows.size(), 2u);
  EXPECT_TRUE(fs.deleted.empty());
  EXPECT_TRUE(ts.registry.Get(kLM, kRun, "a"));
}

// ---- state as the system's startup manager records it -------------------------------------

constexpr const char* kApproved =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\";

std::string Record(unsigned char flag, size_t size = kApprovedRecordSize) {
  std::string r(size, '\0');
  if (size > 0) r[0] = static_cast<char>(flag);
  if (size > 4) r[4] = '\x5a';
  return r;
}

TEST(StartupApprovedRecord, DecodesEnabledDisabledAbsentAndMalformedValues) {
  auto binary = [](const std::string& bytes) {
    RegValue v;
    v.type = RegDataType::Binary;
    v.bytes = bytes;
    return std::optional<RegValue>(v);
  };
  EXPECT_TRUE(DecodeApproved(std::nullopt));
  EXPECT_TRUE(DecodeApproved(binary(Record(0x02))));
  EXPECT_TRUE(DecodeApproved(binary(Record(0x06))));
  EXPECT_FALSE(DecodeApproved(binary(Record(0x03))));
  EXPECT_FALSE(DecodeApproved(binary(Record(0x07))));
  EXPECT_FALSE(DecodeApproved(binary(Record(0x03, 16))));
  // Malformed records are not taken as switching anything off.
  EXPECT_TRUE(DecodeApproved(binary(Record(0x03, 11))));
  EXPECT_TRUE(DecodeApproved(binary("")));
  RegValue dword;
  dword.type = RegDataType::Integer;
  dword.dword = 3;
  EXPECT_TRUE(DecodeApproved(dword));
  RegValue text;
  text.text = "\x03";
  EXPECT_TRUE(DecodeApproved(text));
}

TEST(StartupApprovedRecord, EncodesTheTwelveBytesTheSystemWrites) {
  EXPECT_EQ(EncodeApproved(true, 0x01D93BC88D430DD4ull),
            std::string("\x02", 1) + std::string(11, '\0'));
  EXPECT_EQ(EncodeApproved(false, 0x01D93BC88D430DD4ull),
            std::string("\x03\0\0\0\xd4\x0d\x43\x8d\xc8\x3b\xd9\x01", 12));
  // 2026 lies between 2020 and 2100 on the FILETIME scale.
  EXPECT_GT(FileTimeNow(), 132223104000000000ull);
  EXPECT_LT(FileTimeNow(), 157766016000000000ull);
}

TEST_F(StartupItemsTest, EachRowReadsItsStateFromTheKeyOfItsOwnSource) {
  ts.registry.SetString(kLM, kRun, "App", "a64.exe");
  ts.registry.SetString(kLM, kRun, "App", "a32.exe", k32);
  ts.registry.SetString(kLM, kRun, "On", "on.exe");
  ts.registry.SetString(kCU, kRun, "App", "u.exe");
  ts.registry.SetString(kCU, kRun, "Odd", "o.exe");
  Touch(userDir + "\\U.lnk");
  Touch(commonDir + "\\C.lnk");
  // The 32-bit machine entry is switched off in Run32 (native view), the user's App is not.
  ts.registry.SetBinary(kLM, std::string(kApproved) + "Run32", "app", Record(0x03));
  ts.registry.SetBinary(kLM, std::string(kApproved) + "Run", "On", Record(0x02));
  ts.registry.SetBinary(kCU, std::string(kApproved) + "Run", "Odd", Record(0x07));
  ts.registry.SetBinary(kCU, std::string(kApproved) + "StartupFolder", "U.lnk", Record(0x03));
  ts.registry.SetBinary(kLM, std::string(kApproved) + "StartupFolder", "C.lnk", Record(0x03, 4));
  // A record in the 32-bit view's copy of the key is not what the system reads.
  ts.registry.SetBinary(kLM, std::string(kApproved) + "Run", "App", Record(0x03), k32);

  items.Refresh(view);

  auto state = [&](const std::string& name, S source) {
    for (const StartupRow& r : view.rows)
      if (r.name == name && r.source == source) return r.enabled ? "on" : "off";
    return "missing";
  };
  EXPECT_STREQ(state("App", S::MachineRun), "on");
  EXPECT_STREQ(state("App", S::MachineRun32), "off");
  EXPECT_STREQ(state("On", S::MachineRun), "on");
  EXPECT_STREQ(state("App", S::UserRun), "on");
  EXPECT_STREQ(state("Odd", S::UserRun), "off");
  EXPECT_STREQ(state("U.lnk", S::UserFolder), "off");
  EXPECT_STREQ(state("C.lnk", S::CommonFolder), "on");  // too short a record
}

TEST_F(StartupItemsTest, DisableAndEnableWriteTheSystemsRecordForTheCheckedRowsOnly) {
  ts.registry.SetString(kLM, kRun, "A", "a.exe", k32);
  ts.registry.SetString(kCU, kRun, "B", "b.exe");
  Touch(commonDir + "\\C.lnk");
  items.Refresh(view);
  ASSERT_TRUE(view.Check("A", S::MachineRun32));
  ASSERT_TRUE(view.Check("C.lnk", S::CommonFolder));

  items.SetCheckedEnabled(view, false);

  auto a = ts.registry.Get(kLM, std::string(kApproved) + "Run32", "A");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->type, RegDataType::Binary);
  ASSERT_EQ(a->bytes.size(), 12u);
  EXPECT_EQ(a->bytes.substr(0, 4), std::string("\x03\0\0\0", 4));
  EXPECT_NE(a->bytes.substr(4), std::string(8, '\0'));
  EXPECT_FALSE(ts.registry.Get(kLM, std::string(kApproved) + "Run32", "A", k32));
  EXPECT_TRUE(ts.registry.Get(kLM, std::string(kApproved) + "StartupFolder", "C.lnk"));
  EXPECT_FALSE(ts.registry.Get(kCU, std::string(kApproved) + "Run", "B"));
  for (const StartupRow& r : view.rows) EXPECT_EQ(r.enabled, r.name == "B") << r.name;
  EXPECT_TRUE(ts.messages.shown.empty());

  for (StartupRow& r : view.rows) r.checked = true;
  items.SetCheckedEnabled(view, true);
  EXPECT_EQ(ts.registry.Get(kLM, std::string(kApproved) + "Run32", "A")->bytes,
            EncodeApproved(true, 0));
  EXPECT_EQ(ts.registry.Get(kCU, std::string(kApproved) + "Run", "B")->bytes,
            EncodeApproved(true, 0));
  for (const StartupRow& r : view.rows) EXPECT_TRUE(r.enabled);
  // The items themselves are untouched.
  EXPECT_EQ(ts.registry.Get(kLM, kRun, "A", k32)->text, "a.exe");
  EXPECT_TRUE(ts.files.FileExists(commonDir + "\\C.lnk"));
}

TEST_F(StartupItemsTest, ARefusedStateWriteIsReportedAndTheOthersStillWritten) {
  ts.registry.SetString(kLM, kRun, "M", "m.exe");
  ts.registry.SetString(kCU, kRun, "U", "u.exe");
  ts.registry.CreatePath(kLM, std::string(kApproved) + "Run");
  ts.registry.MakeReadOnly(kLM, std::string(kApproved) + "Run");
  items.Refresh(view);
  for (StartupRow& r : view.rows) r.checked = true;
  int clears = view.clears;
  items.SetCheckedEnabled(view, false);
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, kAddRefusedText);
  EXPECT_EQ(ts.messages.shown[0].caption, "温馨提示");
  EXPECT_FALSE(ts.registry.Get(kLM, std::string(kApproved) + "Run", "M"));
  EXPECT_TRUE(ts.registry.Get(kCU, std::string(kApproved) + "Run", "U"));
  EXPECT_EQ(view.clears, clears + 1);
}

// ---- backups before deletion ----------------------------------------------------------------

TEST_F(StartupItemsTest, DeleteSavesValuesAndMovesShortcutsIntoABackupSetFirst) {
  ts.registry.SetString(kLM, kRun, "M", "C:\\m.exe", k32);
  ts.registry.SetString(kCU, kRun, "U", "C:\\u.exe");
  WriteWholeFile(userDir + "\\s.lnk", "SHORTCUT");
  items.Refresh(view);
  for (StartupRow& r : view.rows) r.checked = true;

  items.DeleteClick(view);

  EXPECT_TRUE(view.rows.empty());
  auto sets = ts.files.Find(ts.services.exeDir + "\\备份", "*");
  ASSERT_EQ(sets.size(), 1u);
  const std::string set = ts.services.exeDir + "\\备份\\" + sets[0].name;
  EXPECT_EQ(ReadWholeFile(set + "\\s.lnk"), "SHORTCUT");
  EXPECT_FALSE(ts.files.FileExists(userDir + "\\s.lnk"));
  std::string bytes = ReadWholeFile(set + "\\" + kBackupRegFileName);
  std::string text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) text += bytes[i];
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\"
                      "CurrentVersion\\Run]\r\n\"M\"=\"C:\\\\m.exe\"\r\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]"
                      "\r\n\"U\"=\"C:\\\\u.exe\"\r\n"),
            std::string::npos)
      << text;
  EXPECT_TRUE(ts.messages.shown.empty());
}

TEST_F(StartupItemsTest, ABackupThatCannotBeWrittenStopsTheDeletion) {
  ts.registry.SetString(kLM, kRun, "M", "m.exe");
  Touch(userDir + "\\s.lnk");
  ts.files.CreateDirectories(ts.services.exeDir);
  WriteWholeFile(ts.services.exeDir + "\\备份", "a file in the way");
  items.Refresh(view);
  for (StartupRow& r : view.rows) r.checked = true;
  int clears = view.clears;

  items.DeleteClick(view);

  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, kBackupFailedText);
  EXPECT_EQ(ts.messages.shown[0].caption, "温馨提示");
  EXPECT_TRUE(ts.registry.Get(kLM, kRun, "M"));
  EXPECT_TRUE(ts.files.FileExists(userDir + "\\s.lnk"));
  EXPECT_TRUE(fs.deleted.empty());
  // The ticks stay, so the user can try again.
  EXPECT_EQ(view.clears, clears);
  EXPECT_EQ(view.rows.size(), 2u);
  for (const StartupRow& r : view.rows) EXPECT_TRUE(r.checked);
}

// ---- the other places the system starts programs from -----------------------------------

constexpr const char* kRunOnce = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr const char* kRunOnceEx = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx";
constexpr const char* kPolicyRun =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";
constexpr const char* kWindows = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
constexpr const char* kWinlogon = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

TEST_F(StartupItemsTest, EveryOtherPlaceIsListedAfterTheFiveByItsOwnRules) {
  places.windowsDirectory = "C:\\WINDOWS";
  ts.registry.SetString(kLM, kRun, "run", "r.exe");
  ts.registry.SetString(kLM, kRunOnce, "!once", "C:\\setup.exe /finish");
  ts.registry.SetDword(kLM, kRunOnce, "number", 1);  // not started, not listed, no error
  ts.registry.SetString(kLM, kRunOnce, "once32", "C:\\x86\\o.exe", k32);
  ts.registry.SetString(kCU, kRunOnce, "*user", "u.exe");
  // RunOnceEx: the key's own values and each section's default value are not commands.
  ts.registry.SetString(kLM, kRunOnceEx, "Title", "Installing");
  ts.registry.SetString(kLM, std::string(kRunOnceEx) + "\\0001", "", "Section title");
  ts.registry.SetString(kLM, std::string(kRunOnceEx) + "\\0001", "step", "||x.dll|Go");
  ts.registry.SetString(kLM, std::string(kRunOnceEx) + "\\0002", "s32", "y.exe", k32);
  ts.registry.SetString(kLM, kPolicyRun, "pol", "C:\\p.exe");
  ts.registry.SetString(kCU, kPolicyRun, "upol", "C:\\up.exe");
  ts.registry.SetString(kCU, kWindows, "Load", "C:\\load.exe");
  ts.registry.SetString(kCU, kWindows, "Run", "  ");  // blank: nothing starts
  ts.registry.SetString(kCU, kWindows, "Device", "printer");
  ts.registry.SetString(kLM, kWinlogon, "Shell", "explorer.exe C:\\evil.exe");
  ts.registry.SetString(kLM, kWinlogon, "Userinit", "c:\\windows\\System32\\userinit.exe,");
  ts.registry.SetString(kLM, kWinlogon, "Userinit", "C:\\x.exe,C:\\y.exe", k32);
  ts.registry.SetString(kLM, kWinlogon, "Shell", " Explorer.EXE ", k32);

  items.Refresh(view);

  EXPECT_TRUE(std::is_sorted(view.rows.begin(), view.rows.end(),
                             [](const StartupRow& a, const StartupRow& b) {
                               return static_cast<int>(a.source) < static_cast<int>(b.source);
                             }));
  auto only = [&](S source) {
    auto rows = RowsOf(source);
    EXPECT_EQ(rows.size(), 1u) << static_cast<int>(source);
    return rows.empty() ? StartupRow{} : rows[0];
  };
  EXPECT_EQ(only(S::MachineRunOnce).location, "C:\\setup.exe /finish");
  EXPECT_EQ(only(S::MachineRunOnce).name, "!once");
  EXPECT_EQ(only(S::MachineRunOnce32).location, "C:\\x86\\o.exe");
  EXPECT_EQ(only(S::UserRunOnce).name, "*user");
  EXPECT_EQ(only(S::MachineRunOnceEx).name, "0001\\step");
  EXPECT_EQ(only(S::MachineRunOnceEx).location, "||x.dll|Go");
  EXPECT_EQ(only(S::MachineRunOnceEx32).name, "0002\\s32");
  EXPECT_EQ(only(S::MachinePolicyRun).location, "C:\\p.exe");
  EXPECT_EQ(only(S::UserPolicyRun).location, "C:\\up.exe");
  EXPECT_EQ(only(S::UserWindowsLoad).name, "Load");
  StartupRow shell = only(S::Winlogon);
  EXPECT_EQ(shell.name, "Shell");
  EXPECT_EQ(shell.location, "explorer.exe C:\\evil.exe");
  EXPECT_EQ(only(S::Winlogon32).name, "Userinit");
  EXPECT_EQ(view.rows.size(), 11u);
  for (const StartupRow& r : view.rows) EXPECT_TRUE(r.enabled) << r.name;
  EXPECT_EQ(ShownName(only(S::Winlogon32)), "Userinit (32位)");
  EXPECT_EQ(ShownName(only(S::MachineRunOnceEx32)), "0002\\s32 (32位)");
  EXPECT_EQ(ShownName(only(S::UserRunOnce)), "*user");
}

TEST(StartupWinlogon, OnlyValuesThatAreNotTheSystemsOwnCount) {
  TestServices ts;
  ScriptedPlaces places;
  places.windowsDirectory = "D:\\WINNT";
  StartupItems items(ts.services, places);
  EXPECT_EQ(items.WinlogonDefault("Shell"), "explorer.exe");
  EXPECT_EQ(items.WinlogonDefault("userinit"), "D:\\WINNT\\system32\\userinit.exe,");
  EXPECT_TRUE(items.IsWinlogonDefault("Shell", "explorer.exe"));
  EXPECT_TRUE(items.IsWinlogonDefault("Shell", "  EXPLORER.exe\t"));
  EXPECT_FALSE(items.IsWinlogonDefault("Shell", "explorer.exe,evil.exe"));
  EXPECT_FALSE(items.IsWinlogonDefault("Shell", "C:\\evil\\explorer.exe"));
  EXPECT_FALSE(items.IsWinlogonDefault("Shell", ""));
  EXPECT_TRUE(items.IsWinlogonDefault("Userinit", "D:\\WINNT\\system32\\userinit.exe,"));
  EXPECT_TRUE(items.IsWinlogonDefault("Userinit", "d:\\winnt\\SYSTEM32\\userinit.exe"));
  EXPECT_FALSE(items.IsWinlogonDefault("Userinit", "D:\\WINNT\\system32\\userinit.exe,x.exe"));
  EXPECT_FALSE(items.IsWinlogonDefault("Userinit", "C:\\Windows\\system32\\userinit.exe,"));
  EXPECT_FALSE(items.IsWinlogonDefault("Userinit", ""));
  EXPECT_FALSE(items.IsWinlogonDefault("Other", "explorer.exe"));
}

TEST_F(StartupItemsTest, EachNewKindIsDeletedFromItsOwnViewAfterItsBackup) {
  places.windowsDirectory = "C:\\WINDOWS";
  ts.registry.SetString(kLM, kRunOnce, "o", "o64.exe");
  ts.registry.SetString(kLM, kRunOnce, "o", "o32.exe", k32);
  ts.registry.SetString(kCU, kRunOnce, "u", "u.exe");
  ts.registry.SetString(kLM, std::string(kRunOnceEx) + "\\0001", "a", "a.exe", k32);
  ts.registry.SetString(kLM, std::string(kRunOnceEx) + "\\0001", "b", "b.exe", k32);
  ts.registry.SetString(kLM, kPolicyRun, "p", "p.exe");
  ts.registry.SetString(kCU, kPolicyRun, "q", "q.exe");
  ts.registry.SetString(kCU, kWindows, "Load", "l.exe");
  ts.registry.SetString(kCU, kWindows, "Device", "printer");
  ts.registry.SetString(kLM, kWinlogon, "Shell", "evil.exe");
  ts.registry.SetString(kLM, kWinlogon, "Userinit", "C:\\WINDOWS\\system32\\userinit.exe,x.exe",
                        k32);
  items.Refresh(view);
  ASSERT_TRUE(view.Check("o", S::MachineRunOnce32));
  ASSERT_TRUE(view.Check("u", S::UserRunOnce));
  ASSERT_TRUE(view.Check("0001\\a", S::MachineRunOnceEx32));
  ASSERT_TRUE(view.Check("p", S::MachinePolicyRun));
  ASSERT_TRUE(view.Check("q", S::UserPolicyRun));
  ASSERT_TRUE(view.Check("Load", S::UserWindowsLoad));
  ASSERT_TRUE(view.Check("Shell", S::Winlogon));
  ASSERT_TRUE(view.Check("Userinit", S::Winlogon32));

  items.DeleteClick(view);

  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_EQ(ts.registry.Get(kLM, kRunOnce, "o")->text, "o64.exe");
  EXPECT_FALSE(ts.registry.Get(kLM, kRunOnce, "o", k32));
  EXPECT_FALSE(ts.registry.Get(kCU, kRunOnce, "u"));
  EXPECT_FALSE(ts.registry.Get(kLM, std::string(kRunOnceEx) + "\\0001", "a", k32));
  EXPECT_TRUE(ts.registry.Get(kLM, std::string(kRunOnceEx) + "\\0001", "b", k32));
  EXPECT_FALSE(ts.registry.Get(kLM, kPolicyRun, "p"));
  EXPECT_FALSE(ts.registry.Get(kCU, kPolicyRun, "q"));
  EXPECT_FALSE(ts.registry.Get(kCU, kWindows, "Load"));
  EXPECT_TRUE(ts.registry.Get(kCU, kWindows, "Device"));
  // Winlogon gets the system's own programs back, as text, and its rows are gone.
  auto shell = ts.registry.Get(kLM, kWinlogon, "Shell");
  ASSERT_TRUE(shell);
  EXPECT_EQ(shell->type, RegDataType::String);
  EXPECT_EQ(shell->text, "explorer.exe");
  EXPECT_EQ(ts.registry.Get(kLM, kWinlogon, "Userinit", k32)->text,
            "C:\\WINDOWS\\system32\\userinit.exe,");
  EXPECT_FALSE(ts.registry.Get(kLM, kWinlogon, "Userinit"));
  std::vector<std::string> left;
  for (const StartupRow& r : view.rows) left.push_back(r.name);
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"0001\\b", "o"}));

  // The backup holds what was there before, each under its physical key.
  auto sets = ts.files.Find(ts.services.exeDir + "\\备份", "*");
  ASSERT_EQ(sets.size(), 1u);
  std::string bytes = ReadWholeFile(ts.services.exeDir + "\\备份\\" + sets[0].name + "\\" +
                                    kBackupRegFileName);
  std::string text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) text += bytes[i];
  for (const char* expected :
       {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce]"
        "\r\n\"o\"=\"o32.exe\"\r\n",
        "[HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce]\r\n"
        "\"u\"=\"u.exe\"\r\n",
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\"
        "RunOnceEx\\0001]\r\n\"a\"=\"a.exe\"\r\n",
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\"
        "Run]\r\n\"p\"=\"p.exe\"\r\n",
        "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows]\r\n"
        "\"Load\"=\"l.exe\"\r\n",
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon]\r\n"
        "\"Shell\"=\"evil.exe\"\r\n",
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows NT\\CurrentVersion\\"
        "Winlogon]\r\n\"Userinit\"=\"C:\\\\WINDOWS\\\\system32\\\\userinit.exe,x.exe\"\r\n"})
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
}

TEST_F(StartupItemsTest, PlacesTheSystemCannotSwitchOffAreLeftAloneByDisable) {
  ts.registry.SetString(kCU, kRunOnce, "once", "o.exe");
  ts.registry.SetString(kCU, kRun, "run", "r.exe");
  items.Refresh(view);
  for (StartupRow& r : view.rows) r.checked = true;
  items.SetCheckedEnabled(view, false);
  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_TRUE(ts.registry.Get(kCU, std::string(kApproved) + "Run", "run"));
  EXPECT_FALSE(ts.registry.Get(kCU, std::string(kApproved) + "Run", "once"));
  for (const StartupRow& r : view.rows) EXPECT_EQ(r.enabled, r.name == "once") << r.name;
}

TEST_F(StartupItemsTest, AStateValueThatIsNotBinaryReadsAsEnabled) {
  ts.registry.SetString(kCU, kRun, "dword", "d.exe");
  ts.registry.SetString(kCU, kRun, "text", "t.exe");
  ts.registry.SetString(kCU, kRun, "off", "o.exe");
  ts.registry.SetDword(kCU, std::string(kApproved) + "Run", "dword", 3);
  ts.registry.SetString(kCU, std::string(kApproved) + "Run", "text",
                        std::string("\x03", 1) + std::string(11, 'x'));
  ts.registry.SetBinary(kCU, std::string(kApproved) + "Run", "off", Record(0x03));
  items.Refresh(view);
  for (const StartupRow& r : view.rows) EXPECT_EQ(r.enabled, r.name != "off") << r.name;
}

TEST_F(StartupItemsTest, OpenFileLocationSelectsTheRowsProgramOrShortcutInExplorer) {
  const std::string program = Win(tmp.path()) + "\\My Tools\\tool.exe";
  ts.files.CreateDirectories(Win(tmp.path()) + "\\My Tools");
  Touch(program);
  ts.registry.SetString(kCU, kRun, "tool", "%TOOLS%\\tool.exe /min");
  ts.registry.SetString(kCU, kRun, "gone", "C:\\gone\\gone.exe");
  Touch(userDir + "\\s.lnk");
  items.Refresh(view);
  ProgramLookup lookup;
  lookup.variable = [&](const std::string& name) -> std::optional<std::string> {
    if (name == "TOOLS") return Win(tmp.path()) + "\\My Tools";
    return std::nullopt;
  };
  lookup.exists = [&](const std::string& path) { return ts.files.FileExists(path); };
  auto select = [&](const std::string& name) {
    for (size_t i = 0; i < view.rows.size(); ++i)
      if (view.rows[i].name == name) view.selected = i;
  };
  int owner = 0;
  select("tool");
  items.OpenFileLocation(view, &owner, lookup);
  select("s.lnk");
  items.OpenFileLocation(view, &owner, lookup);
  ASSERT_EQ(ts.shell.opens.size(), 2u);
  EXPECT_EQ(ts.shell.opens[0].file, "explorer.exe");
  EXPECT_EQ(ts.shell.opens[0].params, "/select,\"" + program + "\"");
  EXPECT_EQ(ts.shell.opens[0].owner, &owner);
  EXPECT_EQ(ts.shell.opens[1].params, "/select,\"" + userDir + "\\s.lnk\"");
  // A program that is not there, or no row selected: a beep and nothing opened.
  select("gone");
  items.OpenFileLocation(view, &owner, lookup);
  view.selected.reset();
  items.OpenFileLocation(view, &owner, lookup);
  EXPECT_EQ(ts.shell.opens.size(), 2u);
  EXPECT_EQ(ts.messages.beeps, 2);
}

// ---- without administrator rights --------------------------------------------------------

TEST(StartupSources, OnlyTheUsersOwnPlacesBelongToTheUser) {
  for (int n = 0; n <= static_cast<int>(S::ScheduledTask); ++n) {
    const S source = static_cast<S>(n);
    const bool user = source == S::UserRun || source == S::UserFolder || source == S::UserRunOnce ||
                      source == S::UserPolicyRun || source == S::UserWindowsLoad;
    EXPECT_EQ(IsMachineSource(source), !user) << SourceText(source);
  }
}

// A standard user deletes the ticked rows of their own places (saved first, as always); the
// machine's rows stay, are not put into the backup set and are named in one notice, top to
// bottom, after the refresh.
TEST_F(StartupItemsTest, WithoutAdministratorRightsOnlyTheUsersRowsAreDeleted) {
  ts.registry.SetString(kLM, kRun, "M", "C:\\m.exe");
  ts.registry.SetString(kLM, kRun, "W", "C:\\w.exe", k32);
  ts.registry.SetString(kCU, kRun, "U", "C:\\u.exe");
  WriteWholeFile(userDir + "\\u.lnk", "USER");
  WriteWholeFile(commonDir + "\\c.lnk", "COMMON");
  items.Refresh(view);
  for (StartupRow& r : view.rows) r.checked = true;
  ts.admin.held = false;

  items.DeleteClick(view);

  EXPECT_TRUE(ts.registry.Get(kLM, kRun, "M"));
  EXPECT_TRUE(ts.registry.Get(kLM, kRun, "W", k32));
  EXPECT_TRUE(ts.files.FileExists(commonDir + "\\c.lnk"));
  EXPECT_FALSE(ts.registry.Get(kCU, kRun, "U"));
  EXPECT_FALSE(ts.files.FileExists(userDir + "\\u.lnk"));
  EXPECT_EQ(NamesOf(S::MachineRun), std::vector<std::string>{"M"});
  EXPECT_TRUE(RowsOf(S::UserRun).empty());
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text,
            AdminNeededText(
                {"M（HKLM\\Run）", "W (32位)（HKLM\\Run (32位)）", "c.lnk（公共启动文件夹）"}) +
                "\n\n" + kBackedUpLine);
  EXPECT_EQ(ts.messages.shown[0].caption, "温馨提示");

  auto sets = ts.files.Find(ts.services.exeDir + "\\备份", "*");
  ASSERT_EQ(sets.size(), 1u);
  const std::string set = ts.services.exeDir + "\\备份\\" + sets[0].name;
  EXPECT_EQ(ReadWholeFile(set + "\\u.lnk"), "USER");
  EXPECT_FALSE(ts.files.FileExists(set + "\\c.lnk"));
  std::string bytes = ReadWholeFile(set + "\\" + kBackupRegFileName);
  std::string text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) text += bytes[i];
  EXPECT_EQ(text.find("HKEY_LOCAL_MACHINE"), std::string::npos) << text;
  EXPECT_NE(text.find("\"U\"=\"C:\\\\u.exe\""), std::string::npos) << text;

  // Only the user's rows ticked: no notice at all.
  ts.messages.shown.clear();
  ts.registry.SetString(kCU, kRun, "U2", "C:\\u2.exe");
  items.Refresh(view);
  ASSERT_TRUE(view.Check("U2", S::UserRun));
  items.DeleteClick(view);
  EXPECT_FALSE(ts.registry.Get(kCU, kRun, "U2"));
  EXPECT_TRUE(ts.messages.shown.empty());
}

// "禁用" writes the user's own record and names the machine's rows that it would have switched;
// a machine row the system cannot switch off anyway is not named.
TEST_F(StartupItemsTest, WithoutAdministratorRightsOnlyTheUsersRowsAreSwitched) {
  ts.registry.SetString(kLM, kRun, "M", "m.exe");
  ts.registry.SetString(kLM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce", "R", "r.exe");
  ts.registry.SetString(kCU, kRun, "U", "u.exe");
  items.Refresh(view);
  for (StartupRow& r : view.rows) r.checked = true;
  ts.admin.held = false;

  items.SetCheckedEnabled(view, false);

  EXPECT_FALSE(ts.registry.Get(kLM, std::string(kApproved) + "Run", "M"));
  ASSERT_TRUE(ts.registry.Get(kCU, std::string(kApproved) + "Run", "U"));
  EXPECT_EQ(ts.registry.Get(kCU, std::string(kApproved) + "Run", "U")->bytes.substr(0, 1), "\x03");
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  // The user's row was switched and its state before saved: the notice says so.
  EXPECT_EQ(ts.messages.shown[0].text,
            AdminNeededText({"M（HKLM\\Run）"}) + "\n\n" + kBackedUpLine);
}

// "添加" would write the machine Run key: the notice comes before the file dialog.
TEST_F(StartupItemsTest, WithoutAdministratorRightsAddSaysSoBeforeAskingForAProgram) {
  ts.admin.held = false;
  ts.dialogs.openAnswers.push_back(std::vector<std::string>{"C:\\Tools\\x.exe"});
  items.AddClick(view, nullptr, ExeDialog());
  EXPECT_TRUE(ts.dialogs.openAsked.empty());
  EXPECT_FALSE(ts.registry.Get(kLM, kRun, "x.exe"));
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, AdminNeededText());
}

}  // namespace
}  // namespace mt::test
