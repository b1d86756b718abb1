#include <gtest/gtest.h>

#include <algorithm>

#include "app/AdminRights.h"
#include "app/Backup.h"
#include "app/Error.h"
#include "tests/support/StandIns.h"
#include "vdrive/VirtualDrives.h"

namespace mt {
namespace {

constexpr RegRoot kHklm = RegRoot::LocalMachine;
constexpr RegView k32 = RegView::Wow32;

class VirtualDrivesTest : public ::testing::Test {
 protected:
  std::vector<std::string> Listed() {
    std::vector<std::string> out;
    ListMappedDrives(reg, [&](const std::string& l) { out.push_back(l); });
    return out;
  }
  std::optional<RegValue> Entry(const std::string& name, RegView view = RegView::Native) {
    return reg.Get(kHklm, kMappingKeyPath, name, view);
  }

  test::MemoryRegistry reg;
  test::RecordingMessages messages;
  test::RecordingStarter starter;
  int owner = 0;
  test::TempDir tmp;
  test::PosixFileSystem files;
  std::string exeDir = WinPath(tmp.path());
  VdriveContext ctx{reg, messages, starter, &owner, "Mirtak小工具合集", &files, exeDir};

  static std::string WinPath(std::string p) {
    std::replace(p.begin(), p.end(), '/', '\\');
    return p;
  }
};

TEST(DriveText, OneLetterAndAColonOnly) {
  for (const char* ok : {"x:", "X:", "a:", "Z:"}) EXPECT_TRUE(IsDriveText(ok)) << ok;
  for (const char* bad : {"", "x", "x:\\", "1:", "xy:", " x:", "x: ", "x: & calc", ":x", "中:"})
    EXPECT_FALSE(IsDriveText(bad)) << bad;
  ASSERT_EQ(DriveLetterTable().size(), 26u);
  EXPECT_EQ(DriveLetterTable().front(), "a:");
  EXPECT_EQ(DriveLetterTable().back(), "z:");
}

TEST(DriveText, FolderIsQuotedAndATrailingBackslashSurvives) {
  EXPECT_EQ(MappingArguments("x:", "D:\\My Data"), "x: \"D:\\My Data\"");
  EXPECT_EQ(MappingEntryData("x:", "D:\\My Data"), "subst x: \"D:\\My Data\"");
  // "D:\" quoted as "D:\" would read as D: followed by an escaped quote.
  EXPECT_EQ(MappingArguments("y:", "D:\\"), "y: \"D:\\\\\"");
  EXPECT_EQ(RemovalArguments("x:"), "x: /d");
}

TEST_F(VirtualDrivesTest, CreateStartsSubstAndWritesTheQuotedEntry) {
  ASSERT_TRUE(CreateMapping(ctx, {}, "x:", "D:\\My Data"));
  ASSERT_EQ(starter.started.size(), 1u);
  EXPECT_EQ(starter.started[0].program, "subst.exe");
  EXPECT_EQ(starter.started[0].arguments, "x: \"D:\\My Data\"");
  EXPECT_EQ(starter.started[0].session, LaunchSession::Own);
  auto v = Entry("x:");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->type, RegDataType::String);
  EXPECT_EQ(v->text, "subst x: \"D:\\My Data\"");
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(Listed(), std::vector<std::string>{"x:"});
}

TEST_F(VirtualDrivesTest, ElevatedRunAlsoMapsInTheDesktopSession) {
  starter.separateDesktop = true;
  ASSERT_TRUE(CreateMapping(ctx, {}, "k:", "C:\\Work"));
  ASSERT_EQ(starter.started.size(), 2u);
  EXPECT_EQ(starter.started[0].session, LaunchSession::Own);
  EXPECT_EQ(starter.started[1].session, LaunchSession::Desktop);
  EXPECT_EQ(starter.started[1].arguments, "k: \"C:\\Work\"");
  RemoveMapping(ctx, {"k:"}, 0);
  ASSERT_EQ(starter.started.size(), 4u);
  EXPECT_EQ(starter.started[2].arguments, "k: /d");
  EXPECT_EQ(starter.started[2].session, LaunchSession::Own);
  EXPECT_EQ(starter.started[3].arguments, "k: /d");
  EXPECT_EQ(starter.started[3].session, LaunchSession::Desktop);
}

TEST_F(VirtualDrivesTest, DuplicateTestIsByteForByteAndComesFirst) {
  reg.SetString(kHklm, kMappingKeyPath, "x:", "subst x: \"D:\\Old\"");
  // A listed letter with an empty folder reports the duplicate.
  EXPECT_FALSE(CreateMapping(ctx, Listed(), "x:", ""));
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "已存在此盘，请选择另外分区");
  EXPECT_EQ(messages.shown[0].caption, "提示");
  EXPECT_EQ(messages.shown[0].style, kMbOk);
  EXPECT_EQ(messages.shown[0].owner, &owner);
  EXPECT_TRUE(starter.started.empty());

  // "X:" is not the listed "x:": it passes, and overwrites the same value (names ignore case).
  EXPECT_TRUE(CreateMapping(ctx, Listed(), "X:", "D:\\New"));
  EXPECT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(Entry("x:")->text, "subst X: \"D:\\New\"");
  EXPECT_EQ(Listed(), std::vector<std::string>{"x:"});
}

TEST_F(VirtualDrivesTest, EmptyFolderIsRefusedWithNothingDone) {
  EXPECT_FALSE(CreateMapping(ctx, {}, "x:", ""));
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "请确定你选择了要虚拟的文件夹");
  EXPECT_EQ(messages.shown[0].caption, "Mirtak小工具合集");
  EXPECT_TRUE(starter.started.empty());
  EXPECT_FALSE(reg.HasKey(kHklm, kMappingKeyPath));
}

TEST_F(VirtualDrivesTest, BadDriveTextsAreRefusedWithNothingStartedOrWritten) {
  reg.CreatePath(kHklm, kMappingKeyPath);
  for (const char* bad : {"x: & calc.exe", "1:", "x", "xy", "x:\\", " x:", "x: "}) {
    messages.shown.clear();
    EXPECT_FALSE(CreateMapping(ctx, {}, bad, "D:\\Data")) << bad;
    ASSERT_EQ(messages.shown.size(), 1u) << bad;
    EXPECT_EQ(messages.shown[0].text, kMsgBadDriveText);
    EXPECT_FALSE(Entry(bad)) << bad;
  }
  // A quote would close the quoted folder early and let the rest run as more arguments.
  messages.shown.clear();
  EXPECT_FALSE(CreateMapping(ctx, {}, "x:", "D:\\a\" /d \"b"));
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, kMsgBadFolderText);
  EXPECT_TRUE(starter.started.empty());
  EXPECT_TRUE(reg.ValueNames(*reg.Open(kHklm, nullptr, kMappingKeyPath, false)).empty());
}

TEST_F(VirtualDrivesTest, RefusedWriteIsReportedAfterTheCommandStarted) {
  reg.CreatePath(kHklm, kMappingKeyPath);
  reg.MakeReadOnly(kHklm, kMappingKeyPath);
  EXPECT_TRUE(CreateMapping(ctx, {}, "x:", "D:\\Data"));
  EXPECT_EQ(starter.started.size(), 1u);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "被杀毒软件拦截，修改不成功");
  EXPECT_EQ(messages.shown[0].caption, "温馨提示");
  EXPECT_FALSE(Entry("x:"));

  // A Run key that cannot even be opened ends the same way.
  test::MemoryRegistry denied;
  denied.Deny(kHklm, kMappingKeyPath);
  VdriveContext c2{denied, messages, starter, &owner, "t", &files, exeDir};
  EXPECT_TRUE(CreateMapping(c2, {}, "y:", "D:\\Data"));
  EXPECT_EQ(messages.shown.size(), 2u);
  EXPECT_EQ(messages.shown[1].text, "被杀毒软件拦截，修改不成功");
  std::vector<std::string> none;
  ListMappedDrives(denied, [&](const std::string& l) { none.push_back(l); });
  EXPECT_TRUE(none.empty());
}

TEST_F(VirtualDrivesTest, RefreshListsNonEmptyTextValuesUnderTableNames) {
  reg.SetString(kHklm, kMappingKeyPath, "Q:", "subst Q: \"C:\\q\"");      // upper-case name
  reg.SetString(kHklm, kMappingKeyPath, "c:", "subst c: C:\\Old Style");  // older entry, no quotes
  reg.SetString(kHklm, kMappingKeyPath, "m:", "");                        // empty: not listed
  reg.SetString(kHklm, kMappingKeyPath, "1:", "subst 1: C:\\x");          // outside the table
  reg.SetString(kHklm, kMappingKeyPath, "d:", "anything at all");         // data is not examined
  reg.SetString(kHklm, kMappingKeyPath, "Updater", "C:\\u.exe");
  EXPECT_EQ(Listed(), (std::vector<std::string>{"c:", "d:", "q:"}));
}

TEST_F(VirtualDrivesTest, NonTextValueEndsTheRefreshAtThatLetter) {
  reg.SetString(kHklm, kMappingKeyPath, "b:", "subst b: \"C:\\b\"");
  reg.SetDword(kHklm, kMappingKeyPath, "k:", 7);
  reg.SetString(kHklm, kMappingKeyPath, "t:", "subst t: \"C:\\t\"");
  std::vector<std::string> out;
  try {
    ListMappedDrives(reg, [&](const std::string& l) { out.push_back(l); });
    FAIL() << "no error";
  } catch (const AppError& e) {
    EXPECT_STREQ(e.what(), "Invalid data type for 'k:'");
  }
  EXPECT_EQ(out, std::vector<std::string>{"b:"});
}

TEST_F(VirtualDrivesTest, RemovalTrimsStartsSubstAndDeletesTheEntry) {
  reg.SetString(kHklm, kMappingKeyPath, "c:", "subst c: C:\\Old Style");
  reg.SetString(kHklm, kMappingKeyPath, "x:", "subst x: \"D:\\x\"");
  RemoveMapping(ctx, {" c: ", "x:"}, 0);
  ASSERT_EQ(starter.started.size(), 1u);
  EXPECT_EQ(starter.started[0].program, "subst.exe");
  EXPECT_EQ(starter.started[0].arguments, "c: /d");
  EXPECT_FALSE(Entry("c:"));
  EXPECT_EQ(Listed(), std::vector<std::string>{"x:"});
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(VirtualDrivesTest, RemovalWithoutSelectionTouchesNothing) {
  reg.SetString(kHklm, kMappingKeyPath, "x:", "subst x: \"D:\\x\"");
  for (int sel : {-1, 1}) {
    try {
      RemoveMapping(ctx, {"x:"}, sel);
      FAIL() << "no error";
    } catch (const AppError& e) {
      EXPECT_EQ(std::string(e.what()), "List index out of bounds (" + std::to_string(sel) + ")");
    }
  }
  EXPECT_THROW(RemoveMapping(ctx, {}, -1), AppError);
  EXPECT_TRUE(starter.started.empty());
  EXPECT_TRUE(Entry("x:"));
}

TEST_F(VirtualDrivesTest, RemovalThatCannotDeleteLeavesTheLetterListed) {
  reg.SetString(kHklm, kMappingKeyPath, "x:", "subst x: \"D:\\x\"");
  reg.MakeReadOnly(kHklm, kMappingKeyPath);
  RemoveMapping(ctx, {"x:"}, 0);
  EXPECT_EQ(starter.started.size(), 1u);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(Listed(), std::vector<std::string>{"x:"});
}

// Entries the old 32-bit version wrote live in the 32-bit view of the Run key.
TEST_F(VirtualDrivesTest, LettersOfEitherViewAreListedOnce) {
  reg.SetString(kHklm, kMappingKeyPath, "p:", "subst p: C:\\Old", k32);  // 32-bit only
  reg.SetString(kHklm, kMappingKeyPath, "x:", "subst x: \"D:\\x\"");     // native only
  reg.SetString(kHklm, kMappingKeyPath, "b:", "subst b: \"D:\\b\"");     // both
  reg.SetString(kHklm, kMappingKeyPath, "B:", "subst b: C:\\Old b", k32);
  reg.SetString(kHklm, kMappingKeyPath, "e:", "", k32);  // empty: not listed
  reg.SetString(kHklm, kMappingKeyPath, "e:", "");
  EXPECT_EQ(Listed(), (std::vector<std::string>{"b:", "p:", "x:"}));

  // Without any 32-bit Run key the native entries alone are listed.
  test::MemoryRegistry fresh;
  fresh.SetString(kHklm, kMappingKeyPath, "q:", "subst q: C:\\q");
  std::vector<std::string> out;
  ListMappedDrives(fresh, [&](const std::string& l) { out.push_back(l); });
  EXPECT_EQ(out, std::vector<std::string>{"q:"});
  EXPECT_FALSE(fresh.HasKey(kHklm, kMappingKeyPath, k32));
}

TEST_F(VirtualDrivesTest, RemovalDeletesTheLetterFromEveryViewHoldingIt) {
  reg.SetString(kHklm, kMappingKeyPath, "p:", "subst p: C:\\Old", k32);
  reg.SetString(kHklm, kMappingKeyPath, "b:", "subst b: \"D:\\b\"");
  reg.SetString(kHklm, kMappingKeyPath, "B:", "subst b: C:\\Old b", k32);
  reg.SetString(kHklm, kMappingKeyPath, "x:", "subst x: C:\\x", k32);
  RemoveMapping(ctx, Listed(), 1);  // "p:"
  EXPECT_FALSE(Entry("p:", k32));
  RemoveMapping(ctx, Listed(), 0);  // "b:"
  EXPECT_FALSE(Entry("b:"));
  EXPECT_FALSE(Entry("b:", k32));
  ASSERT_EQ(starter.started.size(), 2u);
  EXPECT_EQ(starter.started[0].arguments, "p: /d");
  EXPECT_EQ(starter.started[1].arguments, "b: /d");
  EXPECT_EQ(Listed(), std::vector<std::string>{"x:"});
  EXPECT_TRUE(Entry("x:", k32));
}

TEST_F(VirtualDrivesTest, NewEntryGoesToTheNativeViewAndReplacesA32BitOne) {
  reg.SetString(kHklm, kMappingKeyPath, "x:", "subst x: C:\\Old", k32);
  reg.SetString(kHklm, kMappingKeyPath, "y:", "subst y: C:\\Kept", k32);
  // "X:" is not the listed "x:" byte for byte, so it passes the duplicate test.
  ASSERT_TRUE(CreateMapping(ctx, Listed(), "X:", "D:\\New"));
  EXPECT_EQ(Entry("x:")->text, "subst X: \"D:\\New\"");
  EXPECT_FALSE(Entry("x:", k32));
  EXPECT_EQ(Entry("y:", k32)->text, "subst y: C:\\Kept");
  ASSERT_TRUE(CreateMapping(ctx, Listed(), "k:", "D:\\k"));
  EXPECT_TRUE(Entry("k:"));
  EXPECT_FALSE(Entry("k:", k32));
  EXPECT_EQ(Listed(), (std::vector<std::string>{"k:", "x:", "y:"}));

  // A refused native write leaves the 32-bit entry in place.
  test::MemoryRegistry locked;
  locked.SetString(kHklm, kMappingKeyPath, "z:", "subst z: C:\\Old", k32);
  locked.CreatePath(kHklm, kMappingKeyPath);
  locked.MakeReadOnly(kHklm, kMappingKeyPath);
  VdriveContext c2{locked, messages, starter, &owner, "t", &files, exeDir};
  EXPECT_TRUE(CreateMapping(c2, {}, "z:", "D:\\z"));
  EXPECT_EQ(messages.shown.back().text, kMsgRunKeyRefused);
  EXPECT_TRUE(locked.Get(kHklm, kMappingKeyPath, "z:", k32));
}

TEST_F(VirtualDrivesTest, NonTextValueInThe32BitViewEndsTheRefreshAtThatLetter) {
  reg.SetString(kHklm, kMappingKeyPath, "b:", "subst b: \"C:\\b\"");
  reg.SetDword(kHklm, kMappingKeyPath, "k:", 7, k32);
  reg.SetString(kHklm, kMappingKeyPath, "t:", "subst t: \"C:\\t\"", k32);
  std::vector<std::string> out;
  try {
    ListMappedDrives(reg, [&](const std::string& l) { out.push_back(l); });
    FAIL() << "no error";
  } catch (const AppError& e) {
    EXPECT_STREQ(e.what(), "Invalid data type for 'k:'");
  }
  EXPECT_EQ(out, std::vector<std::string>{"b:"});
}

TEST_F(VirtualDrivesTest, RemovalSavesTheEntriesOfBothViewsFirst) {
  reg.SetString(kHklm, kMappingKeyPath, "x:", "subst x: \"D:\\Data\"");
  reg.SetString(kHklm, kMappingKeyPath, "x:", "subst x: D:\\Old", RegView::Wow32);
  RemoveMapping(ctx, {"x:"}, 0);
  EXPECT_FALSE(Entry("x:"));
  EXPECT_FALSE(Entry("x:", RegView::Wow32));
  auto sets = files.Find(BackupRoot(exeDir), "*");
  ASSERT_EQ(sets.size(), 1u);
  std::string bytes = test::ReadWholeFile(BackupRoot(exeDir) + "\\" + sets[0].name + "\\" +
                                          kBackupRegFileName);
  std::string text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) text += bytes[i];
  EXPECT_EQ(text,
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\software\\microsoft\\windows\\currentversion\\run]\r\n"
            "\"x:\"=\"subst x: \\\"D:\\\\Data\\\"\"\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\software\\WOW6432Node\\microsoft\\windows\\currentversion\\run]"
            "\r\n\"x:\"=\"subst x: D:\\\\Old\"\r\n\r\n");
}

TEST_F(VirtualDrivesTest, ABackupThatCannotBeWrittenStopsTheRemoval) {
  reg.SetString(kHklm, kMappingKeyPath, "x:", "subst x: D:\\Data");
  test::WriteWholeFile(BackupRoot(exeDir), "a file in the way");
  RemoveMapping(ctx, {"x:"}, 0);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, kBackupFailedText);
  EXPECT_EQ(messages.shown[0].caption, "温馨提示");
  EXPECT_TRUE(Entry("x:"));
  EXPECT_TRUE(starter.started.empty());
}

// Without administrator rights a standard user's 建立 and 删除 end in the one notice that says
// so: nothing started, written, saved or removed. The checks of what was typed come first.
TEST_F(VirtualDrivesTest, WithoutAdministratorRightsNothingIsMappedOrRemoved) {
  ctx.adminRights = false;
  EXPECT_FALSE(CreateMapping(ctx, {}, "x1", "D:\\Data"));
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, kMsgBadDriveText);

  EXPECT_FALSE(CreateMapping(ctx, {}, "x:", "D:\\Data"));
  ASSERT_EQ(messages.shown.size(), 2u);
  EXPECT_EQ(messages.shown[1].text, AdminNeededText());
  EXPECT_EQ(messages.shown[1].caption, "温馨提示");
  EXPECT_EQ(messages.shown[1].owner, &owner);
  EXPECT_FALSE(Entry("x:"));

  reg.SetString(kHklm, kMappingKeyPath, "y:", "subst y: D:\\Data");
  RemoveMapping(ctx, {"y:"}, 0);
  ASSERT_EQ(messages.shown.size(), 3u);
  EXPECT_EQ(messages.shown[2].text, AdminNeededText());
  EXPECT_TRUE(Entry("y:"));
  EXPECT_TRUE(starter.started.empty());
  EXPECT_FALSE(test::PosixFileSystem().DirectoryExists(BackupRoot(exeDir)));
  // Nothing selected is still the error it always was.
  EXPECT_THROW(RemoveMapping(ctx, {"y:"}, -1), AppError);
}

}  // namespace
}  // namespace mt
