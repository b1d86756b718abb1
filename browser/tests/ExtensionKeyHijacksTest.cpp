// The browsers' external-extension keys as rows, their repair and their backup.
#include <gtest/gtest.h>

#include "browser/tests/HijackFixture.h"

namespace mt {
namespace {

using namespace test;

const std::string kChromeExt = "SOFTWARE\\Google\\Chrome\\Extensions\\";
const std::string kEdgeExt = "SOFTWARE\\Microsoft\\Edge\\Extensions\\";
const std::string kBraveExt = "SOFTWARE\\BraveSoftware\\Brave-Browser\\Extensions\\";
const std::string kId1 = "aaaabbbbccccddddeeeeffffgggghhhh";
const std::string kId2 = "iiiijjjjkkkkllllmmmmnnnnoooopppp";

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
  EXPECT_EQ(rows[0]->column2,
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Google\\Chrome\\Extensions\\" + kId1);
  EXPECT_EQ(rows[0]->column3, "删除");
  EXPECT_EQ(rows[0]->hijack->iconPath, chrome);
  EXPECT_EQ(rows[1]->caption, "Chrome 外部扩展（注册表，32位）：" + kId2 +
                                  " 安装文件 C:\\ProgramData\\x\\ext.crx（版本 1.0.3）");
  EXPECT_EQ(rows[1]->column2,
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Google\\Chrome\\Extensions\\" + kId2);
  EXPECT_EQ(rows[2]->caption, "Edge 外部扩展（注册表）：" + kId1 +
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

}  // namespace
}  // namespace mt
