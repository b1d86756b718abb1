// The browsers' external-extension keys as rows, their repair and their backup.
#include <gtest/gtest.h>

#include "app/BackupSets.h"
#include "app/Change.h"
#include "app/Restore.h"
#include "browser/tests/HijackFixture.h"
#include "tests/support/YesToAll.h"

namespace mt {
namespace {

using namespace test;

const std::string kChromeExt = "SOFTWARE\\Google\\Chrome\\Extensions\\";
const std::string kEdgeExt = "SOFTWARE\\Microsoft\\Edge\\Extensions\\";
const std::string kBraveExt = "SOFTWARE\\BraveSoftware\\Brave-Browser\\Extensions\\";
const std::string kId1 = "aaaabbbbccccddddeeeeffffgggghhhh";
const std::string kId2 = "iiiijjjjkkkkllllmmmmnnnnoooopppp";

using ScriptedYes = test::YesToAll;

// Every key of every store gives a row in the view it lies in: an update address, a file with
// its version, and a key with neither; what is no extension key stays out.
TEST_F(Hijacks, ExternalExtensionKeysGiveOneRowEachInTheirView) {
  const std::string chrome = Install("chrome.exe");
  reg.SetString(LM, kChromeExt + kId1, "update_url", "https://hijack.cn/update.xml");
  reg.SetString(LM, kChromeExt + kId2, "path", "C:\\ProgramData\\x\\ext.crx", W32);
  reg.SetString(LM, kChromeExt + kId2, "version", "1.0.3", W32);
  reg.SetString(CU, kEdgeExt + kId1, "update_url",
                "https://edge.microsoft.com/extensionwebstorebase/v1/crx");
  reg.CreatePath(LM, kBraveExt + kId2);
  reg.SetString(LM, "SOFTWARE\\Google\\Chrome", "NotAnExtension", "x");
  reg.CreatePath(LM, "SOFTWARE\\Chromium\\Extensions");  // an empty store
  page.TabSheet3Show();

  auto rows = HijackRows();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0]->caption,
            "Chrome 外部扩展（注册表）：" + kId1 + " 更新地址 https://hijack.cn/update.xml");
  EXPECT_EQ(rows[0]->column2, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Google\\Chrome\\Extensions\\" + kId1);
  EXPECT_EQ(rows[0]->column3, "删除");
  EXPECT_EQ(rows[0]->hijack->iconPath, chrome);
  EXPECT_EQ(rows[1]->caption, "Chrome 外部扩展（注册表，32位）：" + kId2 +
                                  " 安装文件 C:\\ProgramData\\x\\ext.crx（版本 1.0.3）");
  EXPECT_EQ(rows[1]->column2,
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Google\\Chrome\\Extensions\\" + kId2);
  EXPECT_EQ(rows[2]->caption,
            "Edge 外部扩展（注册表）：" + kId1 +
                " 更新地址 https://edge.microsoft.com/extensionwebstorebase/v1/crx");
  EXPECT_EQ(rows[2]->column2.rfind("HKEY_CURRENT_USER\\", 0), 0u);
  EXPECT_EQ(rows[3]->caption, "Brave 外部扩展（注册表）：" + kId2 + " （无更新地址和安装文件）");
  for (const AddOnRow* r : rows) EXPECT_EQ(IsMachineWide(*r->hijack, {}), r != rows[2]);
}

// Each ticked key goes from its own view with all it holds, after its backup; the same id in
// the other view, the unticked keys and the browser's other keys stay.
TEST_F(Hijacks, TickedExtensionKeysGoFromTheirOwnViewAfterTheirBackup) {
  reg.SetString(LM, kChromeExt + kId1, "update_url", "https://hijack.cn/u.xml");
  reg.SetString(LM, kChromeExt + kId1 + "\\Sub", "x", "y");
  reg.SetString(LM, kChromeExt + kId1, "path", "C:\\x32.crx", W32);
  reg.SetString(CU, kEdgeExt + kId2, "update_url", "https://hijack.cn/e.xml");
  reg.SetString(LM, "SOFTWARE\\Google\\Chrome", "NotAnExtension", "x");
  page.TabSheet3Show();
  Tick("Chrome 外部扩展（注册表）：" + kId1);
  Tick("Edge 外部扩展（注册表）：" + kId2);
  page.SbiedefaultClick();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  EXPECT_FALSE(reg.HasKey(LM, kChromeExt + kId1));
  EXPECT_FALSE(reg.HasKey(CU, kEdgeExt + kId2));
  EXPECT_TRUE(reg.HasKey(LM, kChromeExt + kId1, W32));
  EXPECT_EQ(reg.Get(LM, "SOFTWARE\\Google\\Chrome", "NotAnExtension")->text, "x");
  ASSERT_EQ(HijackRows().size(), 1u);
  ExpectInBackup("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Google\\Chrome\\Extensions\\" + kId1 +
                 "]\r\n\"update_url\"=\"https://hijack.cn/u.xml\"\r\n");
  ExpectInBackup("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Google\\Chrome\\Extensions\\" + kId1 +
                 "\\Sub]\r\n\"x\"=\"y\"\r\n");
  ExpectInBackup("[HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Edge\\Extensions\\" + kId2 + "]");
  EXPECT_EQ(RegText().find("WOW6432Node\\Google"), std::string::npos);  // not the 32-bit key
}

// The set of the repair brings every key back, through the program's own restore, into the
// view it came from, with every value as it was.
TEST_F(Hijacks, RemovedExtensionKeysComeBackThroughTheRestore) {
  reg.SetString(LM, kChromeExt + kId1, "update_url", "https://hijack.cn/u.xml");
  reg.SetString(LM, kChromeExt + kId2, "path", "C:\\x32.crx", W32);
  reg.SetString(LM, kChromeExt + kId2, "version", "2.0", W32);
  reg.SetString(CU, kEdgeExt + kId2, "update_url", "https://hijack.cn/e.xml");
  page.TabSheet3Show();
  Tick("Chrome 外部扩展（注册表）：" + kId1);
  Tick("Chrome 外部扩展（注册表，32位）：" + kId2);
  Tick("Edge 外部扩展（注册表）：" + kId2);
  page.SbiedefaultClick();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  ASSERT_FALSE(reg.HasKey(LM, kChromeExt + kId2, W32));

  const ChangeEnv env = ChangeEnvOf(ts.services);
  const BackupSetInfo set = ReadBackupSet(env, ChangeKinds::Basic(), Sets().back());
  ASSERT_TRUE(set.damage.empty()) << set.damage;
  std::vector<size_t> all;
  for (size_t i = 0; i < set.items.size(); ++i) all.push_back(i);
  ScriptedYes yes;
  const RestoreReport report = RestoreItems(env, ts.services.exeDir, set, all, yes);
  ASSERT_TRUE(report.refused.empty()) << report.refused;
  for (const RestoreOutcome& o : report.items) {
    if (o.place.find("Extensions") != std::string::npos) {
      EXPECT_TRUE(o.back) << o.place << o.reason;
    }
  }
  EXPECT_EQ(reg.Get(LM, kChromeExt + kId1, "update_url")->text, "https://hijack.cn/u.xml");
  EXPECT_FALSE(reg.HasKey(LM, kChromeExt + kId1, W32));
  EXPECT_EQ(reg.Get(LM, kChromeExt + kId2, "path", W32)->text, "C:\\x32.crx");
  EXPECT_EQ(reg.Get(LM, kChromeExt + kId2, "version", W32)->text, "2.0");
  EXPECT_FALSE(reg.HasKey(LM, kChromeExt + kId2));
  EXPECT_EQ(reg.Get(CU, kEdgeExt + kId2, "update_url")->text, "https://hijack.cn/e.xml");
}

}  // namespace
}  // namespace mt
