// Firefox's policies.json as a row, its repair and its backup.
#include <gtest/gtest.h>

#include "browser/tests/HijackFixture.h"

namespace mt {
namespace {

using namespace test;

TEST_F(Hijacks, FirefoxPolicyFilesAreReadSafelyAndOnlyTheirPageSettingsGo) {
  const std::string fox = Install("firefox.exe");
  const std::string dist = fox.substr(0, fox.rfind('\\')) + "\\distribution";
  const std::string file = dist + "\\policies.json";
  ts.files.CreateDirectories(dist);
  test::WriteWholeFile(file, R"({"policies": {"Homepage": {"URL": "http://hijack.cn/",
    "StartPage": "homepage-locked"}, "DisableTelemetry": true,
    "Extensions": {"Install": ["https://x.cn/a.xpi"]}}})");
  page.TabSheet3Show();
  int row = RowOf("Firefox 策略（policies.json）：主页 http://hijack.cn/；扩展 ");
  ASSERT_GE(row, 0);
  EXPECT_EQ(view.rows[row].column2, file);
  view.ticks[row] = true;
  page.SbiedefaultClick();
  ASSERT_TRUE(ts.messages.shown.empty());
  {
    const std::string now = test::ReadWholeFile(file);
    EXPECT_EQ(now.find("Homepage"), std::string::npos) << now;
    EXPECT_EQ(now.find("Extensions"), std::string::npos) << now;
    EXPECT_NE(now.find("\"DisableTelemetry\": true"), std::string::npos) << now;
  }
  EXPECT_NE(test::ReadWholeFile(Sets().back() + "\\policies.json").find("homepage-locked"),
            std::string::npos);
  EXPECT_TRUE(HijackRows().empty());

  // Not JSON: a row that offers deletion. Too large: a row, and the file is left alone.
  test::WriteWholeFile(file, "{\"policies\": {\"Homepage\": ");
  page.TabSheet3Show();
  row = RowOf("Firefox 策略文件 policies.json 不是有效的 JSON");
  ASSERT_GE(row, 0);
  EXPECT_EQ(view.rows[row].column3, "只能删除");
  const std::string huge = "{\"policies\": {}, \"pad\": \"" + std::string(kMaxPoliciesJson, 'x') +
                           "\"}";
  test::WriteWholeFile(file, huge);
  page.TabSheet3Show();
  row = RowOf("Firefox 策略文件 policies.json 过大");
  ASSERT_GE(row, 0);
  view.ticks[row] = true;
  page.SbiedefaultClick();
  EXPECT_EQ(test::ReadWholeFile(file).size(), huge.size());
}

// A file that only manages extensions through "ExtensionSettings" is a finding of its own;
// its repair takes that entry out and keeps the rest of the file.
TEST_F(Hijacks, APolicyFileWithOnlyExtensionSettingsIsListedAndRepaired) {
  const std::string fox = Install("firefox.exe");
  const std::string dist = fox.substr(0, fox.rfind('\\')) + "\\distribution";
  const std::string file = dist + "\\policies.json";
  ts.files.CreateDirectories(dist);
  test::WriteWholeFile(file, R"({"policies": {"DisableAppUpdate": false, "ExtensionSettings":
    {"bad@x.cn": {"installation_mode": "force_installed",
    "install_url": "https://x.cn/bad.xpi"}}}})");
  page.TabSheet3Show();
  auto rows = HijackRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]->caption.rfind("Firefox 策略（policies.json）：扩展 {\"bad@x.cn\"", 0), 0u)
      << rows[0]->caption;
  EXPECT_EQ(rows[0]->column3, "去掉这些设置");
  view.ticks[RowOf("Firefox 策略（policies.json）")] = true;
  page.SbiedefaultClick();
  ASSERT_TRUE(ts.messages.shown.empty());
  const std::string now = test::ReadWholeFile(file);
  EXPECT_EQ(now.find("ExtensionSettings"), std::string::npos) << now;
  EXPECT_EQ(now.find("bad@x.cn"), std::string::npos) << now;
  EXPECT_NE(now.find("\"DisableAppUpdate\": false"), std::string::npos) << now;
  EXPECT_NE(test::ReadWholeFile(Sets().back() + "\\policies.json").find("bad.xpi"),
            std::string::npos);
  EXPECT_TRUE(HijackRows().empty());
}

}  // namespace
}  // namespace mt
