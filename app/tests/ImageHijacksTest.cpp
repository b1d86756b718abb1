// Image hijacks on the registry stand-in: which entries start another program (Debugger,
// and the exit monitor with its GlobalFlag bit and ReportingMode), in which view, what a key
// that cannot be read does to the list, the repair's exact registry result, and the backup
// set that gives every changed value back.
#include <gtest/gtest.h>

#include "app/Backup.h"
#include "app/BackupSets.h"
#include "app/ImageHijacks.h"
#include "app/Restore.h"
#include "tests/support/StandIns.h"
#include "tests/support/YesToAll.h"

namespace mt::test {
namespace {

constexpr RegRoot LM = RegRoot::LocalMachine;
constexpr RegView W32 = RegView::Wow32;

std::string Ifeo(const std::string& exe) { return std::string(kIfeoKeyPath) + "\\" + exe; }
std::string Exit(const std::string& exe) { return std::string(kSilentExitKeyPath) + "\\" + exe; }

class ImageHijacksTest : public ::testing::Test {
 protected:
  ImageHijacksTest() {
    env.registry = &reg;
    env.files = &files;
    env.sealKeys = &keys;
    env.fileRoots.machineFolders = {"C:\\Tools"};
    files.dirs.insert("C:\\Tools");
    // The 32-bit view of HKLM\SOFTWARE exists, as on every 64-bit system.
    reg.CreatePath(LM, "SOFTWARE\\Microsoft", W32);
  }
  // An exit monitor of `exe` in `view`: the monitor bit in GlobalFlag (shared IFEO key) and
  // the program's SilentProcessExit key asking for `command`.
  void Monitor(const std::string& exe, const std::string& command, RegView view = RegView::Native,
               uint32_t mode = 1) {
    reg.SetDword(LM, Ifeo(exe), kGlobalFlagValue, 0x200, view);
    reg.SetDword(LM, Exit(exe), kReportingModeValue, mode, view);
    reg.SetString(LM, Exit(exe), kMonitorProcessValue, command, view);
  }
  std::vector<std::string> Found() {
    std::vector<std::string> out;
    for (const ImageHijack& h : FindImageHijacks(reg).found)
      out.push_back(h.exe + (h.view == W32 ? " 32 " : " 64 ") +
                    (h.kind == ImageHijackKind::Debugger ? "debugger " : "monitor ") + h.command);
    return out;
  }

  MemoryRegistry reg;
  MemoryFileSystem files;
  MemorySealKeys keys;
  ChangeEnv env;
};

TEST_F(ImageHijacksTest, DebuggerIsAHijackOnlyWhenItIsTextThatNamesSomething) {
  // A program's IFEO key with only the system's own settings is no hijack.
  reg.SetDword(LM, Ifeo("clean.exe"), "MitigationOptions", 0x100);
  reg.SetString(LM, Ifeo("blank.exe"), kDebuggerValue, "  \t");
  reg.SetDword(LM, Ifeo("number.exe"), kDebuggerValue, 1);
  reg.SetString(LM, Ifeo("msedge.exe"), kDebuggerValue, "C:\\bad\\nav.exe -u");
  EXPECT_EQ(Found(), std::vector<std::string>{"msedge.exe 64 debugger C:\\bad\\nav.exe -u"});
  // The value of another type is named with its reason rather than silently dropped.
  const ImageHijackScan scan = FindImageHijacks(reg);
  ASSERT_EQ(scan.skipped.size(), 1u);
  EXPECT_EQ(scan.skipped[0].exe, "number.exe");
  EXPECT_NE(scan.skipped[0].reason.find("Debugger"), std::string::npos);
}

TEST_F(ImageHijacksTest, AKeyThatCannotBeOpenedIsSkippedWithItsReasonAndTheListGoesOn) {
  reg.SetString(LM, Ifeo("a.exe"), kDebuggerValue, "x.exe");
  reg.SetString(LM, Ifeo("locked.exe"), kDebuggerValue, "y.exe");
  reg.SetString(LM, Ifeo("z.exe"), kDebuggerValue, "z2.exe");
  reg.Deny(LM, Ifeo("locked.exe"));
  const ImageHijackScan scan = FindImageHijacks(reg);
  EXPECT_EQ(Found(),
            (std::vector<std::string>{"a.exe 64 debugger x.exe", "z.exe 64 debugger z2.exe"}));
  // The IFEO key is one key in both views, so the locked key is named once.
  ASSERT_EQ(scan.skipped.size(), 1u);
  EXPECT_EQ(scan.skipped[0].exe, "locked.exe");
  EXPECT_FALSE(scan.skipped[0].reason.empty());
}

TEST_F(ImageHijacksTest, BothViewsAreReadAndTheSharedEntryIsListedOnce) {
  // Written through the 32-bit view into the key both views share: one row.
  reg.SetString(LM, Ifeo("chrome.exe"), kDebuggerValue, "C:\\bad\\c.exe", W32);
  // SilentProcessExit is kept apart per view: the monitor written for 32-bit programs only.
  Monitor("firefox.exe", "C:\\bad\\m32.exe", W32);
  Monitor("brave.exe", "C:\\bad\\m64.exe");
  EXPECT_EQ(Found(), (std::vector<std::string>{"chrome.exe 64 debugger C:\\bad\\c.exe",
                                               "brave.exe 64 monitor C:\\bad\\m64.exe",
                                               "firefox.exe 32 monitor C:\\bad\\m32.exe"}));
}

TEST_F(ImageHijacksTest, TheMonitorNeedsTheGlobalFlagBitAndTheLaunchBitOfReportingMode) {
  Monitor("dword.exe", "m1.exe");
  Monitor("text.exe", "m2.exe");
  reg.SetString(LM, Ifeo("text.exe"), kGlobalFlagValue, "0x00000200");
  Monitor("decimal.exe", "m3.exe", RegView::Native, 7);
  reg.SetString(LM, Ifeo("decimal.exe"), kGlobalFlagValue, "512");
  // No row: another bit of GlobalFlag, ReportingMode without the launch bit (a dump only),
  // no GlobalFlag, a blank monitor, ReportingMode as text.
  Monitor("otherbit.exe", "n1.exe");
  reg.SetString(LM, Ifeo("otherbit.exe"), kGlobalFlagValue, "0x100");
  Monitor("dumponly.exe", "n2.exe", RegView::Native, 2);
  Monitor("noflag.exe", "n3.exe");
  reg.DeleteValue(*reg.Open(LM, nullptr, Ifeo("noflag.exe"), false), kGlobalFlagValue);
  Monitor("blank.exe", " ");
  Monitor("modetext.exe", "n4.exe");
  reg.SetString(LM, Exit("modetext.exe"), kReportingModeValue, "1");
  EXPECT_EQ(Found(),
            (std::vector<std::string>{"dword.exe 64 monitor m1.exe", "text.exe 64 monitor m2.exe",
                                      "decimal.exe 64 monitor m3.exe"}));
}

TEST(GlobalFlag, ReadAsTheSystemReadsDwordAndText) {
  auto text = [](const std::string& t, RegDataType type = RegDataType::String) {
    RegValue v;
    v.type = type;
    v.text = t;
    return GlobalFlagOf(v);
  };
  RegValue dword;
  dword.type = RegDataType::Integer;
  dword.dword = 0x2200;
  EXPECT_EQ(GlobalFlagOf(dword), 0x2200u);
  EXPECT_EQ(text("0x200"), 0x200u);
  EXPECT_EQ(text(" 0X00000A00 "), 0xA00u);
  EXPECT_EQ(text("512"), 512u);
  EXPECT_EQ(text("0x200", RegDataType::ExpandString), 0x200u);
  EXPECT_EQ(text("0xFFFFFFFF"), 0xFFFFFFFFu);
  for (const char* bad : {"", "0x", "0x1FFFFFFFF", "4294967296", "0x2g0", "-1", "200h"})
    EXPECT_FALSE(text(bad)) << bad;
  RegValue binary;
  binary.type = RegDataType::Binary;
  binary.bytes = std::string("\0\2\0\0", 4);
  EXPECT_FALSE(GlobalFlagOf(binary));
}

TEST_F(ImageHijacksTest, RepairDeletesExactlyTheHijackAndClearsOnlyTheMonitorBit) {
  reg.SetString(LM, Ifeo("msedge.exe"), kDebuggerValue, "nav.exe");
  reg.SetDword(LM, Ifeo("msedge.exe"), "MitigationOptions", 0x100);
  Monitor("a.exe", "ma.exe");
  reg.SetDword(LM, Ifeo("a.exe"), kGlobalFlagValue, 0x202);
  Monitor("b.exe", "mb.exe", W32);
  reg.SetString(LM, Ifeo("b.exe"), kGlobalFlagValue, "0x00000a00");
  const std::vector<ImageHijack> found = FindImageHijacks(reg).found;
  ASSERT_EQ(found.size(), 3u);
  for (const ImageHijack& h : found) EXPECT_TRUE(RepairImageHijack(reg, h)) << h.exe;

  EXPECT_FALSE(reg.Get(LM, Ifeo("msedge.exe"), kDebuggerValue));
  EXPECT_EQ(reg.Get(LM, Ifeo("msedge.exe"), "MitigationOptions")->dword, 0x100u);
  // The monitor goes, ReportingMode stays; GlobalFlag keeps its other bits and its type.
  EXPECT_FALSE(reg.Get(LM, Exit("a.exe"), kMonitorProcessValue));
  EXPECT_EQ(reg.Get(LM, Exit("a.exe"), kReportingModeValue)->dword, 1u);
  const std::optional<RegValue> flagA = reg.Get(LM, Ifeo("a.exe"), kGlobalFlagValue);
  ASSERT_TRUE(flagA);
  EXPECT_EQ(flagA->type, RegDataType::Integer);
  EXPECT_EQ(flagA->dword, 0x2u);
  EXPECT_FALSE(reg.Get(LM, Exit("b.exe"), kMonitorProcessValue, W32));
  const std::optional<RegValue> flagB = reg.Get(LM, Ifeo("b.exe"), kGlobalFlagValue, W32);
  ASSERT_TRUE(flagB);
  EXPECT_EQ(flagB->type, RegDataType::String);
  EXPECT_EQ(flagB->text, "0x00000800");
  EXPECT_TRUE(FindImageHijacks(reg).found.empty());
  // A second repair of what is gone already is no failure.
  EXPECT_TRUE(RepairImageHijack(reg, found[0]));
}

TEST_F(ImageHijacksTest, TheBackupSetGivesEveryChangedValueBackExactly) {
  reg.SetString(LM, Ifeo("msedge.exe"), kDebuggerValue, "nav.exe --x");
  Monitor("iexplore.exe", "C:\\bad\\m32.exe", W32);
  // Text GlobalFlag with odd spelling: it must come back byte for byte.
  reg.SetString(LM, Ifeo("iexplore.exe"), kGlobalFlagValue, "0x00000200 ");
  const std::optional<RawRegValue> flagBefore = reg.QueryRaw(
      *reg.Open(LM, nullptr, Ifeo("iexplore.exe"), false), kGlobalFlagValue);

  DeletionBackup backup(env, "C:\\Tools", "startup");
  const std::vector<ImageHijack> found = FindImageHijacks(reg).found;
  ASSERT_EQ(found.size(), 2u);
  for (const ImageHijack& h : found) ASSERT_TRUE(SaveImageHijack(backup, h));
  EXPECT_EQ(backup.Count(), 3u);  // Debugger; MonitorProcess and GlobalFlag
  ASSERT_TRUE(backup.Write("2026-12-10 04.00.00"));
  for (const ImageHijack& h : found) ASSERT_TRUE(RepairImageHijack(reg, h));
  ASSERT_TRUE(backup.Seal());

  const BackupSetInfo set = ReadBackupSet(env, ChangeKinds::Basic(), backup.Folder());
  ASSERT_TRUE(set.damage.empty()) << set.damage;
  ASSERT_EQ(set.items.size(), 3u);
  std::vector<size_t> all = {0, 1, 2};
  YesToAll yes;
  const RestoreReport report = RestoreItems(env, "C:\\Tools", set, all, yes);
  ASSERT_TRUE(report.refused.empty()) << report.refused;
  for (const RestoreOutcome& o : report.items) EXPECT_TRUE(o.back) << o.place << ": " << o.reason;

  EXPECT_EQ(reg.Get(LM, Ifeo("msedge.exe"), kDebuggerValue)->text, "nav.exe --x");
  EXPECT_EQ(reg.Get(LM, Exit("iexplore.exe"), kMonitorProcessValue, W32)->text, "C:\\bad\\m32.exe");
  EXPECT_FALSE(reg.Get(LM, Exit("iexplore.exe"), kMonitorProcessValue));  // not in the other view
  EXPECT_EQ(reg.QueryRaw(*reg.Open(LM, nullptr, Ifeo("iexplore.exe"), false, W32),
                         kGlobalFlagValue),
            flagBefore);
  EXPECT_EQ(FindImageHijacks(reg).found.size(), 2u);
}

}  // namespace
}  // namespace mt::test
