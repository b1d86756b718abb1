// Image hijacks of the browsers' program files as rows: which are listed (only the browsers',
// both views, a key that cannot be read shown but not repaired), the repair and its backup.
#include <gtest/gtest.h>

#include "app/BackupSets.h"
#include "app/Change.h"
#include "app/ImageHijacks.h"
#include "app/Restore.h"
#include "browser/tests/HijackFixture.h"
#include "tests/support/YesToAll.h"

namespace mt {
namespace {

using namespace test;

const std::string kIfeo = std::string(kIfeoKeyPath) + "\\";
const std::string kExit = std::string(kSilentExitKeyPath) + "\\";

class BrowserImageHijacks : public Hijacks {
 protected:
  void Seed() {
    // Edge's Debugger written by a 32-bit program: the IFEO key is one in both views.
    reg.SetString(LM, kIfeo + "msedge.exe", kDebuggerValue, "C:\\bad\\nav.exe --go", W32);
    reg.SetDword(LM, kIfeo + "msedge.exe", "MitigationOptions", 0x100);
    // Chrome's exit monitor, for the 32-bit view.
    reg.SetString(LM, kIfeo + "chrome.exe", kGlobalFlagValue, "0x200", W32);
    reg.SetDword(LM, kExit + "chrome.exe", kReportingModeValue, 1, W32);
    reg.SetString(LM, kExit + "chrome.exe", kMonitorProcessValue, "C:\\bad\\m.exe", W32);
    // Not listed here: another program's Debugger, a monitor that only writes a dump.
    reg.SetString(LM, kIfeo + "notepad.exe", kDebuggerValue, "C:\\bad\\n.exe");
    reg.SetDword(LM, kIfeo + "firefox.exe", kGlobalFlagValue, 0x200);
    reg.SetDword(LM, kExit + "firefox.exe", kReportingModeValue, 2);
    reg.SetString(LM, kExit + "firefox.exe", kMonitorProcessValue, "C:\\bad\\f.exe");
  }
};

TEST_F(BrowserImageHijacks, OnlyTheBrowsersEntriesAreListedInTheirView) {
  const std::string edge = Install("msedge.exe");
  Seed();
  reg.SetString(LM, kIfeo + "brave.exe", kDebuggerValue, "C:\\bad\\b.exe");
  reg.Deny(LM, kIfeo + "brave.exe");
  page.TabSheet3Show();

  auto rows = HijackRows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0]->caption, "Edge 映像劫持（启动时改为运行）：C:\\bad\\nav.exe --go");
  EXPECT_EQ(rows[0]->column2, "HKEY_LOCAL_MACHINE\\" + kIfeo + "msedge.exe\\Debugger");
  EXPECT_EQ(rows[0]->column3, "删除");
  EXPECT_EQ(rows[0]->hijack->iconPath, edge);
  EXPECT_EQ(rows[1]->caption, "Chrome 映像劫持（退出时启动，32位）：C:\\bad\\m.exe");
  EXPECT_EQ(rows[1]->column2,
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows NT\\"
            "CurrentVersion\\SilentProcessExit\\chrome.exe\\MonitorProcess");
  EXPECT_EQ(rows[2]->caption.rfind("Brave 映像劫持设置无法检查（", 0), 0u) << rows[2]->caption;
  EXPECT_FALSE(rows[2]->hijack->repairable);
  for (const AddOnRow* r : rows) EXPECT_TRUE(IsMachineWide(*r->hijack, {}));
}

TEST_F(BrowserImageHijacks, RepairDeletesTheTickedValuesAndTheSetRestoresThem) {
  Seed();
  page.TabSheet3Show();
  Tick("Edge 映像劫持");
  Tick("Chrome 映像劫持");
  page.SbiedefaultClick();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;

  EXPECT_FALSE(reg.Get(LM, kIfeo + "msedge.exe", kDebuggerValue));
  EXPECT_EQ(reg.Get(LM, kIfeo + "msedge.exe", "MitigationOptions")->dword, 0x100u);
  EXPECT_FALSE(reg.Get(LM, kExit + "chrome.exe", kMonitorProcessValue, W32));
  EXPECT_EQ(reg.Get(LM, kExit + "chrome.exe", kReportingModeValue, W32)->dword, 1u);
  EXPECT_EQ(reg.Get(LM, kIfeo + "chrome.exe", kGlobalFlagValue, W32)->text, "0x00000000");
  EXPECT_EQ(reg.Get(LM, kIfeo + "notepad.exe", kDebuggerValue)->text, "C:\\bad\\n.exe");
  EXPECT_TRUE(HijackRows().empty());
  ExpectInBackup("\"Debugger\"=\"C:\\\\bad\\\\nav.exe --go\"");
  ExpectInBackup(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows NT\\"
      "CurrentVersion\\SilentProcessExit\\chrome.exe]");

  const ChangeEnv env = ChangeEnvOf(ts.services);
  const BackupSetInfo set = ReadBackupSet(env, ChangeKinds::Basic(), Sets().back());
  ASSERT_TRUE(set.damage.empty()) << set.damage;
  std::vector<size_t> all;
  for (size_t i = 0; i < set.items.size(); ++i) all.push_back(i);
  YesToAll yes;
  const RestoreReport report = RestoreItems(env, ts.services.exeDir, set, all, yes);
  ASSERT_TRUE(report.refused.empty()) << report.refused;
  size_t ours = 0;
  for (const RestoreOutcome& o : report.items)
    if (o.place.find("Image File") != std::string::npos ||
        o.place.find("SilentProcessExit") != std::string::npos) {
      ++ours;
      EXPECT_TRUE(o.back) << o.place << o.reason;
    }
  EXPECT_EQ(ours, 3u);
  EXPECT_EQ(reg.Get(LM, kIfeo + "msedge.exe", kDebuggerValue)->text, "C:\\bad\\nav.exe --go");
  EXPECT_EQ(reg.Get(LM, kExit + "chrome.exe", kMonitorProcessValue, W32)->text, "C:\\bad\\m.exe");
  EXPECT_EQ(reg.Get(LM, kIfeo + "chrome.exe", kGlobalFlagValue, W32)->text, "0x200");
  page.TabSheet3Show();
  EXPECT_EQ(HijackRows().size(), 2u);
}

}  // namespace
}  // namespace mt
