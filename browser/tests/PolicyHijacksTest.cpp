// Browser policy values as rows of the "IE修复" list, their repair and their backup.
#include <gtest/gtest.h>

#include "browser/tests/HijackFixture.h"

namespace mt {
namespace {

using namespace test;

TEST_F(Hijacks, EveryPolicyNameOfEveryBrowserInBothRootsGivesOneRow) {
  const std::string edgeExe = Install("msedge.exe");
  reg.SetString(LM, kEdge, "HomepageLocation", "http://hijack.cn/");
  reg.SetDword(LM, kEdge, "HomepageIsNewTabPage", 0);
  reg.SetString(LM, kEdge, "NewTabPageLocation", "http://hijack.cn/ntp");
  reg.SetDword(LM, kEdge, "RestoreOnStartup", 4);
  reg.SetString(LM, kEdge + "\\RestoreOnStartupURLs", "1", "http://hijack.cn/1");
  reg.SetDword(LM, kEdge, "DefaultSearchProviderEnabled", 1);
  reg.SetString(LM, kEdge, "DefaultSearchProviderSearchURL", "http://s.cn/?q={searchTerms}");
  reg.SetString(LM, kEdge, "DefaultSearchProviderName", "S");
  reg.SetString(LM, kEdge, "DefaultSearchProviderKeyword", "s");
  reg.SetString(LM, kEdge, "ManagedSearchEngines", "[{\"name\":\"S\"}]");
  reg.SetString(LM, kEdge + "\\ExtensionInstallForcelist", "1", "abcdefgh;https://u.cn/x");
  reg.SetString(LM, kEdge, "SomethingElse", "not ours");
  reg.SetString(LM, kEdge + "\\Recommended", "HomepageLocation", "http://rec.cn/");
  reg.SetString(CU, kChrome, "HomepageLocation", "http://user.cn/");
  reg.SetDword(LM, "SOFTWARE\\Policies\\Chromium", "RestoreOnStartup", 4);
  reg.SetString(LM, "SOFTWARE\\Policies\\BraveSoftware\\Brave", "NewTabPageLocation", "x.cn");
  // A 32-bit program's write lands in the same, shared key: one row, not two.
  reg.SetString(LM, kChrome, "HomepageLocation", "http://machine.cn/", W32);
  page.TabSheet3Show();

  auto rows = HijackRows();
  ASSERT_EQ(rows.size(), 16u);
  EXPECT_EQ(rows[0]->caption, "Edge 主页（策略）：http://hijack.cn/");
  EXPECT_EQ(rows[0]->column2,
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Microsoft\\Edge\\HomepageLocation");
  EXPECT_EQ(rows[0]->column3, "删除");
  EXPECT_EQ(rows[0]->hijack->iconPath, edgeExe);
  EXPECT_EQ(rows[0]->image, kImageOnDemand);
  EXPECT_EQ(rows[1]->caption, "Edge 主页使用新标签页（策略）：0");
  EXPECT_EQ(rows[4]->caption, "Edge 启动时打开的网页（策略）：http://hijack.cn/1");
  EXPECT_EQ(rows[4]->column2,
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Microsoft\\Edge\\RestoreOnStartupURLs");
  EXPECT_EQ(rows[10]->caption, "Edge 强制安装的扩展（策略）：abcdefgh;https://u.cn/x");
  EXPECT_EQ(rows[11]->caption, "Edge 主页（推荐策略）：http://rec.cn/");
  EXPECT_EQ(rows[12]->caption, "Chrome 主页（策略）：http://machine.cn/");
  EXPECT_EQ(rows[13]->caption, "Chromium 启动时的操作（策略）：4");
  EXPECT_EQ(rows[14]->caption, "Brave 新标签页（策略）：x.cn");
  EXPECT_EQ(rows[15]->caption, "Chrome 主页（策略）：http://user.cn/");
  EXPECT_EQ(rows[15]->column2.rfind("HKEY_CURRENT_USER\\", 0), 0u);
  EXPECT_EQ(rows[13]->image, -1);  // Chromium is not installed: no icon
  page.RowImage(0);
  ASSERT_EQ(ts.icons.calls.size(), 1u);
  EXPECT_EQ(ts.icons.calls[0].path + "#" + std::to_string(ts.icons.calls[0].index), edgeExe + "#0");
}

TEST_F(Hijacks, WrongTypesAndHugeListsStillGiveOneReadableRowEach) {
  reg.SetDword(LM, kChrome, "HomepageLocation", 7);
  reg.SetString(LM, kChrome, "RestoreOnStartup", "4");
  reg.SetBinary(LM, kChrome, "NewTabPageLocation", std::string("\x00\x01", 2));
  for (int i = 10000; i >= 1; --i)
    reg.SetString(LM, kChrome + "\\ExtensionInstallForcelist", std::to_string(i),
                  "ext" + std::to_string(i));
  reg.SetDword(LM, kChrome + "\\ExtensionInstallForcelist", "odd", 3);
  ASSERT_NO_THROW(page.TabSheet3Show());
  auto rows = HijackRows();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0]->caption, "Chrome 主页（策略，类型不符）：7");
  EXPECT_EQ(rows[1]->caption, "Chrome 新标签页（策略，类型不符）：（2 字节数据）");
  EXPECT_EQ(rows[2]->caption, "Chrome 启动时的操作（策略，类型不符）：4");
  // Entries in the browser's order (by number), the count of all of them.
  EXPECT_EQ(rows[3]->caption, "Chrome 强制安装的扩展（策略）：ext1 等 10001 项");
  // A row never carries more than a couple of hundred characters of a value.
  reg.SetString(LM, kChrome, "HomepageLocation", "http://x.cn/" + std::string(5000, 'a'));
  page.TabSheet3Show();
  EXPECT_LT(HijackRows()[0]->caption.size(), 300u);
}

TEST_F(Hijacks, TickedPoliciesGoWithTheirBackupAndNothingElseIsTouched) {
  reg.SetString(LM, kEdge, "HomepageLocation", "http://hijack.cn/");
  reg.SetString(LM, kEdge, "NewTabPageLocation", "http://kept.cn/");
  reg.SetString(LM, kEdge, "SomethingElse", "not ours");
  reg.SetString(CU, kChrome + "\\ExtensionInstallForcelist", "1", "id1;https://u.cn/");
  reg.SetString(CU, kChrome + "\\ExtensionInstallForcelist", "2", "id2");
  page.TabSheet3Show();
  Tick("Edge 主页");
  Tick("Chrome 强制安装的扩展");
  page.SbiedefaultClick();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  EXPECT_FALSE(reg.Get(LM, kEdge, "HomepageLocation"));
  EXPECT_FALSE(reg.HasKey(CU, kChrome + "\\ExtensionInstallForcelist"));
  EXPECT_TRUE(reg.HasKey(CU, kChrome));
  EXPECT_EQ(reg.Get(LM, kEdge, "NewTabPageLocation")->text, "http://kept.cn/");
  EXPECT_EQ(reg.Get(LM, kEdge, "SomethingElse")->text, "not ours");
  ASSERT_EQ(HijackRows().size(), 1u);  // refilled: only the unticked one is left
  ExpectInBackup(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Microsoft\\Edge]\r\n"
      "\"HomepageLocation\"=\"http://hijack.cn/\"\r\n");
  ExpectInBackup(
      "[HKEY_CURRENT_USER\\SOFTWARE\\Policies\\Google\\Chrome\\ExtensionInstallForcelist]"
      "\r\n\"1\"=\"id1;https://u.cn/\"\r\n\"2\"=\"id2\"\r\n");
}

// A list's first entry is the one the browser takes first: "2" before "10", not the text
// order; a REG_EXPAND_SZ text is a text of the right type; a JSON policy's row shows the JSON.
TEST_F(Hijacks, ListOrderExpandableTextsAndJsonPoliciesReadAsTheBrowserReadsThem) {
  reg.SetString(LM, kChrome + "\\ExtensionInstallForcelist", "10", "ext10");
  reg.SetString(LM, kChrome + "\\ExtensionInstallForcelist", "2", "ext2");
  {
    auto key = reg.Open(LM, nullptr, kEdge, true);
    ASSERT_TRUE(key);
    RegValue expand;
    expand.type = RegDataType::ExpandString;
    expand.text = "http://%COMPUTERNAME%.hijack.cn/";
    ASSERT_TRUE(reg.Set(*key, "HomepageLocation", expand));
  }
  reg.SetString(LM, kEdge, "ManagedSearchEngines",
                "[{\"name\":\"Hijack\",\"url\":\"http://s.cn/?q={searchTerms}\"}]");
  page.TabSheet3Show();
  auto rows = HijackRows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0]->caption, "Edge 主页（策略）：http://%COMPUTERNAME%.hijack.cn/");
  EXPECT_EQ(
      rows[1]->caption,
      "Edge "
      "托管搜索引擎（策略）：[{\"name\":\"Hijack\",\"url\":\"http://s.cn/?q={searchTerms}\"}]");
  EXPECT_EQ(rows[2]->caption, "Chrome 强制安装的扩展（策略）：ext2 等 2 项");
  EXPECT_EQ(rows[2]->column2,
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Google\\Chrome\\ExtensionInstallForcelist");
}

}  // namespace
}  // namespace mt

namespace mt {
namespace {

using namespace test;

// ExtensionSettings gives a row only for the entries that install an extension; the repair
// takes those out and leaves the rest of the policy, or the whole value when nothing else is
// in it. ExtensionInstallSources is a list of its own.
TEST_F(Hijacks, ExtensionSettingsInstallEntriesAndInstallSourcesAreRows) {
  reg.SetString(LM, kEdge, "ExtensionSettings",
                R"({"*":{"installation_mode":"blocked"},"aaaa":{"installation_mode":)"
                R"("force_installed","update_url":"https://x.cn/u.xml"},"bbbb":)"
                R"({"installation_mode":"allowed"},"cccc":{"installation_mode":)"
                R"("normal_installed"}})");
  reg.SetString(CU, kChrome, "ExtensionSettings",
                R"({"dddd":{"installation_mode":"force_installed"}})");
  reg.SetString(LM, kChrome, "ExtensionSettings", R"({"*":{"installation_mode":"blocked"}})");
  reg.SetString(LM, "SOFTWARE\\Policies\\Chromium", "ExtensionSettings", "{\"aaaa\":");
  reg.SetString(LM, kEdge + "\\ExtensionInstallSources", "1", "https://x.cn/*");
  page.TabSheet3Show();
  std::vector<std::string> captions;
  for (const AddOnRow* r : HijackRows()) captions.push_back(r->caption);
  const std::vector<std::string> want = {
      "Edge 扩展设置（策略）：aaaa 强制安装、cccc 默认安装",
      "Edge 允许的扩展安装来源（策略）：https://x.cn/*",
      "Chromium 扩展设置（策略，不是有效的 JSON）：{\"aaaa\":",
      "Chrome 扩展设置（策略）：dddd 强制安装",
  };
  EXPECT_EQ(captions, want);
  EXPECT_EQ(view.rows[RowOf(want[0])].column3, "去掉安装项");
  EXPECT_EQ(view.rows[RowOf(want[3])].column3, "删除");
  for (const std::string& c : want) Tick(c);
  page.SbiedefaultClick();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  ASSERT_TRUE(reg.Get(LM, kEdge, "ExtensionSettings"));
  EXPECT_EQ(reg.Get(LM, kEdge, "ExtensionSettings")->text,
            R"({"*":{"installation_mode":"blocked"},"bbbb":{"installation_mode":"allowed"}})");
  EXPECT_FALSE(reg.Get(CU, kChrome, "ExtensionSettings"));
  EXPECT_FALSE(reg.Get(LM, "SOFTWARE\\Policies\\Chromium", "ExtensionSettings"));
  EXPECT_FALSE(reg.HasKey(LM, kEdge + "\\ExtensionInstallSources"));
  EXPECT_EQ(reg.Get(LM, kChrome, "ExtensionSettings")->text,
            R"({"*":{"installation_mode":"blocked"}})");
  ExpectInBackup("force_installed");
  EXPECT_TRUE(HijackRows().empty());
}

// Firefox's registry policies that set pages, extensions or search engines are rows; the
// repair takes out each one and leaves its other policies.
TEST_F(Hijacks, FirefoxRegistryPoliciesThatSetPagesOrExtensionsAreRows) {
  const std::string fox = "SOFTWARE\\Policies\\Mozilla\\Firefox";
  reg.SetString(LM, fox + "\\Homepage", "URL", "http://fox.hijack.cn/");
  reg.SetString(LM, fox + "\\Homepage", "StartPage", "homepage");
  reg.SetString(LM, fox + "\\Extensions\\Install", "2", "https://x.cn/b.xpi");
  reg.SetString(LM, fox + "\\Extensions\\Install", "10", "https://x.cn/c.xpi");
  reg.SetString(LM, fox + "\\SearchEngines\\Add\\1", "URLTemplate", "http://s.cn/?q={searchTerms}");
  reg.SetDword(LM, fox, "DisableTelemetry", 1);
  reg.SetString(CU, fox, "OverrideFirstRunPage", "http://first.hijack.cn/");
  reg.SetString(CU, fox, "ExtensionSettings", R"({"a@b":{"installation_mode":"force_installed"}})");
  reg.SetDword(CU, fox + "\\Homepage", "Locked", 1);  // no address: not listed
  page.TabSheet3Show();
  std::vector<std::string> captions;
  for (const AddOnRow* r : HijackRows()) captions.push_back(r->caption);
  const std::vector<std::string> want = {
      "Firefox 主页（策略）：http://fox.hijack.cn/",
      "Firefox 安装的扩展（策略）：https://x.cn/b.xpi 等 2 项",
      "Firefox 搜索引擎（策略）：（注册表项）",
      "Firefox 启动页（策略）：http://first.hijack.cn/",
      "Firefox 扩展设置（策略）：{\"a@b\":{\"installation_mode\":\"force_installed\"}}",
  };
  EXPECT_EQ(captions, want);
  for (const std::string& c : want) Tick(c);
  page.SbiedefaultClick();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  EXPECT_FALSE(reg.Get(LM, fox + "\\Homepage", "URL"));
  ASSERT_TRUE(reg.Get(LM, fox + "\\Homepage", "StartPage"));
  EXPECT_EQ(reg.Get(LM, fox + "\\Homepage", "StartPage")->text, "homepage");
  EXPECT_FALSE(reg.HasKey(LM, fox + "\\Extensions\\Install"));
  EXPECT_FALSE(reg.HasKey(LM, fox + "\\SearchEngines"));
  EXPECT_FALSE(reg.Get(CU, fox, "OverrideFirstRunPage"));
  EXPECT_FALSE(reg.Get(CU, fox, "ExtensionSettings"));
  ASSERT_TRUE(reg.Get(LM, fox, "DisableTelemetry"));
  EXPECT_EQ(reg.Get(LM, fox, "DisableTelemetry")->dword, 1u);
  ExpectInBackup("\"URLTemplate\"=\"http://s.cn/?q={searchTerms}\"");
  EXPECT_TRUE(HijackRows().empty());
}

}  // namespace
}  // namespace mt
