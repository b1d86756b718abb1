// The settings in the profiles of the browsers built on Chromium as rows, their repair (the
// exact bytes written, the integrity entries taken out in the files and the registry), the
// refusal while the browser runs, files that cannot be used, and the backup.
#include <gtest/gtest.h>

#include "browser/tests/HijackFixture.h"

namespace mt {
namespace {

using namespace test;

const std::string kId1 = "aaaabbbbccccddddeeeeffffgggghhhh";
const std::string kId2 = "iiiijjjjkkkkllllmmmmnnnnoooopppp";
const std::string kEdgeMacs = "Software\\Microsoft\\Edge\\PreferenceMACs\\Default";

class ChromiumProfiles : public Hijacks {
 protected:
  std::string local = root + "\\Local", roaming = root + "\\Roaming";
  std::string edge = local + "\\Microsoft\\Edge\\User Data";

  void SetUp() override {
    Hijacks::SetUp();
    ts.services.localAppData = local;
    ts.services.roamingAppData = roaming;
  }
  // A profile folder with the files given (empty text: no such file).
  std::string Profile(const std::string& userData, const std::string& dir, const std::string& prefs,
                      const std::string& secure) {
    const std::string folder = userData + "\\" + dir;
    ts.files.CreateDirectories(folder);
    if (!prefs.empty()) test::WriteWholeFile(folder + "\\Preferences", prefs);
    if (!secure.empty()) test::WriteWholeFile(folder + "\\Secure Preferences", secure);
    return folder;
  }
  void LocalState(const std::string& userData, const std::string& text) {
    ts.files.CreateDirectories(userData);
    test::WriteWholeFile(userData + "\\Local State", text);
  }
  std::vector<std::string> Captions() {
    std::vector<std::string> out;
    for (const AddOnRow* r : HijackRows()) out.push_back(r->caption);
    return out;
  }
};

// A hijacked profile: home page, start-up pages (opened at start), search engine and an
// extension from the registry are rows; the clean profile has the browser's own pages, pages
// that are not opened at start, and extensions from the store and the browser itself.
TEST_F(ChromiumProfiles, ForeignPagesSearchAndExtensionsAreRowsTheBrowsersOwnAreNot) {
  Install("msedge.exe");
  LocalState(edge, R"({"profile":{"info_cache":{"Default":{"name":"个人"},
    "Profile 1":{"name":"工作"}}}})");
  Profile(edge, "Default",
          R"({"homepage_is_newtabpage":false,"session":{"restore_on_startup":4},
      "default_search_provider_data":{"template_url_data":{"short_name":"坏搜索",
      "url":"http://so.hijack.cn/s?q={searchTerms}"}}})",
          R"({"homepage":"http://hao.hijack.cn/","session":{"startup_urls":
      ["https://www.bing.com/","http://start.hijack.cn/"]},"extensions":{"settings":{")" +
              kId1 + R"(":{"location":3,"manifest":{"name":"坏扩展"}},")" + kId2 +
              R"(":{"location":1}}}})");
  Profile(edge, "Profile 1",
          R"({"homepage":"https://www.bing.com/?pc=U531","session":{"restore_on_startup":1,
      "startup_urls":["http://start.hijack.cn/"]},"default_search_provider_data":
      {"template_url_data":{"url":"{google:baseURL}search?q={searchTerms}"}},
      "extensions":{"settings":{")" +
              kId1 + R"(":{"location":5},")" + kId2 + R"(":{"location":10}}}})",
          R"({"homepage":"edge://newtab/"})");
  page.TabSheet3Show();
  const std::vector<std::string> want = {
      "Edge 主页（配置 个人）：http://hao.hijack.cn/",
      "Edge 启动页（配置 个人）：https://www.bing.com/、http://start.hijack.cn/",
      "Edge 默认搜索引擎（配置 个人）：坏搜索 http://so.hijack.cn/s?q={searchTerms}",
      "Edge 扩展（配置 个人，安装来源 注册表）：坏扩展 " + kId1,
  };
  EXPECT_EQ(Captions(), want);
  auto rows = HijackRows();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0]->column2, edge + "\\Default\\Secure Preferences");
  EXPECT_EQ(rows[2]->column2, edge + "\\Default\\Preferences");
  EXPECT_EQ(rows[0]->column3, "删除此设置及其校验值");
  EXPECT_FALSE(IsMachineWide(*rows[0]->hijack, {}));

  // Start-up pages are not opened unless the choice says so.
  Profile(edge, "Default", R"({"session":{"restore_on_startup":1}})",
          R"({"session":{"startup_urls":["http://start.hijack.cn/"]}})");
  page.TabSheet3Show();
  EXPECT_TRUE(HijackRows().empty()) << Captions()[0];
}

// The browsers that keep "User Data" in the roaming folder are read there, in both places the
// 360 browser uses; their own start page is not listed, and they have no registry copy.
TEST_F(ChromiumProfiles, RoamingProfilesAreReadAndTheirOwnPagesAreNotListed) {
  Profile(roaming + "\\360se6\\User Data", "Default", R"({"homepage":"https://hao.360.com/"})", "");
  Profile(roaming + "\\secoresdk\\360se6\\User Data", "Default",
          R"({"homepage":"http://hao.hijack.cn/"})", "");
  page.TabSheet3Show();
  EXPECT_EQ(Captions(),
            std::vector<std::string>{"360安全浏览器 主页（配置 Default）：http://hao.hijack.cn/"});
  ASSERT_EQ(HijackRows().size(), 1u);
  EXPECT_TRUE(HijackRows()[0]->hijack->key.empty());
}

TEST(ChromiumAddresses, OwnPagesAndHostsAreToldFromOthers) {
  const ChromiumBrowser& edge = kChromiumBrowsers[0];
  ASSERT_STREQ(edge.name, "Edge");
  EXPECT_TRUE(IsOwnAddress(edge, "edge://newtab"));
  EXPECT_TRUE(IsOwnAddress(edge, "https://cn.bing.com/search?q=x"));
  EXPECT_TRUE(IsOwnAddress(edge, "HTTPS://WWW.MSN.CN:443/"));
  EXPECT_TRUE(IsOwnAddress(edge, ""));
  EXPECT_FALSE(IsOwnAddress(edge, "http://bing.com.hijack.cn/"));
  EXPECT_FALSE(IsOwnAddress(edge, "http://notbing.com/"));
  EXPECT_FALSE(IsOwnAddress(edge, "http://bing.com@hijack.cn/"));
  EXPECT_EQ(UrlHost("http://user@Www.Example.COM:8080/x?y"), "example.com");
  EXPECT_EQ(ExtensionLocationText(1), "");
  EXPECT_EQ(ExtensionLocationText(5), "");
  EXPECT_EQ(ExtensionLocationText(10), "");
  EXPECT_EQ(ExtensionLocationText(4), "解压后加载");
  EXPECT_EQ(ExtensionLocationText(42), "未知（42）");
}

// The repair of the home page writes exactly the file without the value and its integrity
// entries (order, numbers and everything else kept), through a file swapped in, and takes out
// the registry copy; the backup holds the files and the values as they were.
TEST_F(ChromiumProfiles, RepairRemovesTheValueAndEveryIntegrityEntryAndNothingElse) {
  const std::string secure =
      R"({"zeta":1,"homepage":"http://hao.hijack.cn/","big":13359911149064621,"ratio":1.5,)"
      R"("neg":-7,"extensions":{"settings":{")" +
      kId1 + R"(":{"location":3},")" + kId2 +
      R"(":{"location":1}}},"protection":{"macs":{"homepage":"AB12",)"
      R"("homepage_encrypted_hash":"ENC","extensions":{"settings":{")" +
      kId1 + R"(":"M1",")" + kId2 + R"(":"M2"}}},"super_mac":"SUPER"}})";
  const std::string folder = Profile(edge, "Default", R"({"homepage":"http://hao.hijack.cn/"})",
                                     secure);
  reg.SetString(CU, kEdgeMacs, "homepage", "REGMAC");
  reg.SetString(CU, kEdgeMacs, "homepage_encrypted_hash", "REGENC");
  reg.SetString(CU, kEdgeMacs, "session.startup_urls", "KEEP");
  reg.SetString(CU, kEdgeMacs + "\\extensions.settings", kId1, "R1");
  reg.SetString(CU, kEdgeMacs + "\\extensions.settings", kId2, "R2");
  page.TabSheet3Show();
  Tick("Edge 主页");
  Tick("Edge 扩展");
  page.SbiedefaultClick();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;

  EXPECT_EQ(test::ReadWholeFile(folder + "\\Secure Preferences"),
            R"({"zeta":1,"big":13359911149064621,"ratio":1.5,"neg":-7,"extensions":)"
            R"({"settings":{")" +
                kId2 +
                R"(":{"location":1}}},"protection":{"macs":{"extensions":)"
                R"({"settings":{")" +
                kId2 + R"(":"M2"}}},"super_mac":"SUPER"}})");
  EXPECT_EQ(test::ReadWholeFile(folder + "\\Preferences"), "{}");
  EXPECT_FALSE(ts.files.FileExists(folder + "\\Secure Preferences.mt-new"));
  EXPECT_FALSE(reg.Get(CU, kEdgeMacs, "homepage"));
  EXPECT_FALSE(reg.Get(CU, kEdgeMacs, "homepage_encrypted_hash"));
  EXPECT_FALSE(reg.Get(CU, kEdgeMacs + "\\extensions.settings", kId1));
  EXPECT_EQ(reg.Get(CU, kEdgeMacs, "session.startup_urls")->text, "KEEP");
  EXPECT_EQ(reg.Get(CU, kEdgeMacs + "\\extensions.settings", kId2)->text, "R2");
  EXPECT_TRUE(HijackRows().empty());

  ExpectInBackup("\"homepage\"=\"REGMAC\"");
  ExpectInBackup("\"" + kId1 + "\"=\"R1\"");
  // The set holds both files as they were (the restore of files is tested under Wine, where
  // the paths are the system's).
  EXPECT_EQ(test::ReadWholeFile(Sets().back() + "\\Secure Preferences"), secure);
  // Two rows of the profile were repaired: each file is in the set once.
  int copies = 0;
  for (const FindEntry& e : ts.files.Find(Sets().back(), "*"))
    copies += e.name.rfind("Secure Preferences", 0) == 0 ? 1 : 0;
  EXPECT_EQ(copies, 1);
  EXPECT_EQ(test::ReadWholeFile(Sets().back() + "\\Preferences"),
            R"({"homepage":"http://hao.hijack.cn/"})");
}

// While the browser runs (or when nobody can tell), the row says to close it and its repair
// changes nothing.
TEST_F(ChromiumProfiles, ARunningBrowserIsNotChanged) {
  const std::string secure = R"({"homepage":"http://hao.hijack.cn/","protection":{"macs":)"
                             R"({"homepage":"AB"}}})";
  const std::string folder = Profile(edge, "Default", "", secure);
  reg.SetString(CU, kEdgeMacs, "homepage", "REGMAC");
  ts.running.names = {"MSEDGE.EXE"};
  page.TabSheet3Show();
  auto rows = HijackRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]->column3, "请先关闭Edge");
  Tick("Edge 主页");
  page.SbiedefaultClick();
  EXPECT_EQ(test::ReadWholeFile(folder + "\\Secure Preferences"), secure);
  EXPECT_EQ(reg.Get(CU, kEdgeMacs, "homepage")->text, "REGMAC");
  ASSERT_FALSE(ts.messages.shown.empty());
  EXPECT_NE(ts.messages.shown.back().text.find("Edge 主页"), std::string::npos)
      << ts.messages.shown.back().text;
  // Refused before the set was written: nothing of it is in a set, and the notice says so.
  EXPECT_NE(ts.messages.shown.back().text.find("（请先关闭Edge，未修改，未备份）"),
            std::string::npos)
      << ts.messages.shown.back().text;
  for (const std::string& set : Sets())
    for (const FindEntry& e : ts.files.Find(set, "*"))
      EXPECT_EQ(e.name.find("Preferences"), std::string::npos) << e.name;
  EXPECT_EQ(RegText().find("REGMAC"), std::string::npos) << RegText();

  // Started after the list was shown: the repair asks again.
  ts.running.names.clear();
  page.TabSheet3Show();
  ts.running.names = {"msedge.exe"};
  Tick("Edge 主页");
  page.SbiedefaultClick();
  EXPECT_EQ(test::ReadWholeFile(folder + "\\Secure Preferences"), secure);

  ts.running.names.clear();
  ts.services.running = nullptr;
  page.TabSheet3Show();
  Tick("Edge 主页");
  page.SbiedefaultClick();
  EXPECT_EQ(test::ReadWholeFile(folder + "\\Secure Preferences"), secure);
}

// Files that cannot be used give rows that change nothing; a Local State naming a missing
// profile is said; the other browsers' profiles are still read.
TEST_F(ChromiumProfiles, BadFilesGiveRowsAndNothingChanges) {
  const std::string chrome = local + "\\Google\\Chrome\\User Data";
  LocalState(edge, R"({"profile":{"info_cache":{"Default":{},"Gone":{"name":"旧"},"..":{}}}})");
  const std::string notJson = "{\"homepage\": ";
  const std::string gbk = "{\"homepage\":\"http://\xba\xc3.cn/\"}";  // GBK, not UTF-8
  const std::string folder = Profile(edge, "Default", notJson, gbk);
  LocalState(chrome, std::string("\xff\xfe{\0\"\0", 6));  // UTF-16
  const std::string big = "{\"pad\":\"" + std::string(kMaxProfileFile, 'x') + "\"}";
  const std::string chromeProfile = Profile(chrome, "Default", big,
                                            R"({"homepage":"http://hao.hijack.cn/"})");
  const std::string brave = local + "\\BraveSoftware\\Brave-Browser\\User Data";
  Profile(brave, "Default", R"({"homepage":"http://brave.hijack.cn/"})", "");
  page.TabSheet3Show();
  const std::vector<std::string> want = {
      "Edge Secure Preferences（配置 Default）：不是有效的 JSON（或不是 UTF-8 编码）",
      "Edge Preferences（配置 Default）：不是有效的 JSON（或不是 UTF-8 编码）",
      "Edge Local State 所列的配置 旧 不存在",
      "Chrome 的 Local State 不是有效的 JSON（或不是 UTF-8 编码）",
      "Chrome Preferences（配置 Default）：文件过大（超过 16 MiB），未读取",
      "Brave 主页（配置 Default）：http://brave.hijack.cn/",
  };
  EXPECT_EQ(Captions(), want);
  for (const AddOnRow* r : HijackRows()) {
    if (r->caption.rfind("Brave", 0) != 0) {
      EXPECT_EQ(r->column3, "未修改") << r->caption;
    }
  }
  for (size_t i = 0; i < view.rows.size(); ++i) view.ticks[i] = true;
  page.SbiedefaultClick();
  EXPECT_EQ(test::ReadWholeFile(folder + "\\Preferences"), notJson);
  EXPECT_EQ(test::ReadWholeFile(folder + "\\Secure Preferences"), gbk);
  EXPECT_EQ(test::ReadWholeFile(chromeProfile + "\\Preferences").size(), big.size());
  EXPECT_EQ(test::ReadWholeFile(chromeProfile + "\\Secure Preferences"),
            R"({"homepage":"http://hao.hijack.cn/"})");
  EXPECT_EQ(test::ReadWholeFile(brave + "\\Default\\Preferences"), "{}");
}

}  // namespace
}  // namespace mt
