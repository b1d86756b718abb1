// The findings about today's browsers (policies, enrolments, shortcuts, Firefox's
// policies.json) as rows of the "IE修复" list, their repair and their backup.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/AdminRights.h"
#include "app/Backup.h"
#include "app/Restore.h"
#include "browser/BrowserHijacks.h"
#include "browser/BrowserRepair.h"
#include "browser/tests/FakePage.h"
#include "tests/support/StandIns.h"

namespace mt {
namespace {

constexpr RegRoot LM = RegRoot::LocalMachine, CU = RegRoot::CurrentUser;
constexpr RegView W32 = RegView::Wow32;
const std::string kEdge = "SOFTWARE\\Policies\\Microsoft\\Edge";
const std::string kChrome = "SOFTWARE\\Policies\\Google\\Chrome";
const std::string kFake = "FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF";
const std::string kAppPaths = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

using Args = std::vector<std::string>;

Args Values(const std::string& line) {
  Args out;
  for (const CommandLineArgument& a : SplitArguments(line)) out.push_back(a.value);
  return out;
}

TEST(ShortcutCommandLine, ArgumentsSplitAsTheProgramReceivesThem) {
  EXPECT_EQ(Values(""), Args{});
  EXPECT_EQ(Values("  a  b\tc "), (Args{"a", "b", "c"}));
  EXPECT_EQ(Values("\"http://a.cn/x y\" --k=\"v w\""), (Args{"http://a.cn/x y", "--k=v w"}));
  EXPECT_EQ(Values("a\\\\\"b c\" d\\\"e \"\""), (Args{"a\\b c", "d\"e", ""}));
  // Where each argument stands, quotes included.
  auto args = SplitArguments(" \"x y\" z");
  ASSERT_EQ(args.size(), 2u);
  EXPECT_EQ(args[0].begin, 1u);
  EXPECT_EQ(args[0].end, 6u);
}

TEST(ShortcutCommandLine, OnlyAddressesAreTakenOutAndEverythingElseStaysAsWritten) {
  struct Case {
    const char* in;
    const char* out;
    Args removed;
  };
  const Case cases[] = {
      {"http://hijack.cn/", "", {"http://hijack.cn/"}},
      {"--profile-directory=\"Profile 1\" https://hijack.cn/?a=1",
       "--profile-directory=\"Profile 1\"",
       {"https://hijack.cn/?a=1"}},
      {"\"http://hijack.cn/a b\" --profile-directory=Default",
       "--profile-directory=Default",
       {"http://hijack.cn/a b"}},
      {"--new-window www.hijack.cn --incognito", "--new-window --incognito", {"www.hijack.cn"}},
      {"hao123.com/?tn=x", "", {"hao123.com/?tn=x"}},
      {"-url http://hijack.cn -P work", "-P work", {"http://hijack.cn"}},
      {"http://a.cn http://b.cn", "", {"http://a.cn", "http://b.cn"}},
      // No address: switches, placeholders, files and numbers stay.
      {"--app=http://x.cn --flag %s", "--app=http://x.cn --flag %s", {}},
      {"\"%s\" 1.5 C:\\page.html /prefetch:1", "\"%s\" 1.5 C:\\page.html /prefetch:1", {}},
  };
  for (const Case& c : cases) {
    Args removed;
    EXPECT_EQ(StripAddresses(c.in, &removed), c.out) << c.in;
    EXPECT_EQ(removed, c.removed) << c.in;
  }
  EXPECT_TRUE(IsAddressArgument("HTTPS://X"));
  EXPECT_TRUE(IsAddressArgument("file:///C:/a.htm"));
  EXPECT_FALSE(IsAddressArgument("%s"));
  EXPECT_FALSE(IsAddressArgument("a..b.cn"));
}

// The page over the stand-ins, with a program folder for backups and shortcut folders of its
// own on disk.
class Hijacks : public ::testing::Test {
 protected:
  test::TempDir tmp;
  std::string root = [this] {
    std::string p = tmp.path();
    std::replace(p.begin(), p.end(), '/', '\\');
    return p;
  }();
  test::TestServices ts{root + "\\program"};
  test::MemoryRegistry& reg = ts.registry;
  test::MemoryPageView view;
  BrowserRepairPage page{ts.services, ts.icons, view, nullptr};
  std::string desktop = root + "\\Desktop", startMenu = root + "\\Start Menu";

  void SetUp() override {
    ts.files.CreateDirectories(ts.services.exeDir);
    ts.files.CreateDirectories(desktop);
    ts.files.CreateDirectories(startMenu + "\\Programs\\Browsers");
    ts.shortcuts.folders = {{ShortcutPlace::Desktop, desktop, false},
                            {ShortcutPlace::StartMenu, startMenu, true}};
    // The 32-bit view of HKLM\SOFTWARE exists, as on every 64-bit system.
    reg.CreatePath(LM, "SOFTWARE\\Microsoft", W32);
  }
  // Installs a browser: its program file and its App Paths entry.
  std::string Install(const std::string& exe, RegView v = RegView::Native) {
    const std::string dir = root + "\\Programs\\" + exe;
    ts.files.CreateDirectories(dir);
    test::WriteWholeFile(dir + "\\" + exe, "MZ");
    reg.SetString(LM, kAppPaths + exe, "", dir + "\\" + exe, v);
    return dir + "\\" + exe;
  }
  std::vector<const AddOnRow*> HijackRows() {
    std::vector<const AddOnRow*> out;
    for (const AddOnRow& r : view.rows)
      if (r.store == AddOnStore::Hijack) out.push_back(&r);
    return out;
  }
  int RowOf(const std::string& captionStart) {
    for (size_t i = 0; i < view.rows.size(); ++i)
      if (view.rows[i].caption.rfind(captionStart, 0) == 0) return static_cast<int>(i);
    return -1;
  }
  void Tick(const std::string& captionStart) {
    int i = RowOf(captionStart);
    ASSERT_GE(i, 0) << captionStart;
    view.ticks[i] = true;
  }
  std::vector<std::string> Sets() {
    std::vector<std::string> names;
    for (const FindEntry& e : ts.files.Find(BackupRoot(ts.services.exeDir), "*"))
      names.push_back(BackupRoot(ts.services.exeDir) + "\\" + e.name);
    std::sort(names.begin(), names.end());
    return names;
  }
  // The export file of the newest set as text (its content is ASCII in these tests).
  std::string RegText() {
    auto sets = Sets();
    if (sets.empty()) return std::string();
    std::string bytes = test::ReadWholeFile(sets.back() + "\\" + kBackupRegFileName);
    std::string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) text += bytes[i];
    return text;
  }
  void ExpectInBackup(const std::string& text) {
    const std::string all = RegText();
    EXPECT_NE(all.find(text), std::string::npos) << text << "\n---\n" << all;
  }
};

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

TEST_F(Hijacks, OnlyEnrolmentsWithoutAManagementServerAreShownAndBothTheirKeysGo) {
  const std::string enrol = std::string(kEnrollmentsKey) + "\\";
  const std::string account = std::string(kOmadmAccountsKey) + "\\";
  // The fake one: enrolled, an account of the management client, no server anywhere.
  reg.SetDword(LM, enrol + kFake, "EnrollmentState", 1);
  reg.SetDword(LM, enrol + kFake, "EnrollmentType", 0);
  reg.SetDword(LM, account + kFake, "Flags", 0xd6fb7f);
  reg.SetString(LM, account + kFake, "ProtoVer", "1.2");
  // A real one: its account names the server, deeper down.
  const std::string real = "{11111111-2222-3333-4444-555555555555}";
  reg.SetDword(LM, enrol + real, "EnrollmentState", 1);
  reg.SetString(LM, account + real + "\\Protected", "AppAddr", "https://r.manage.example/");
  // Not enrolled, no account; an account alone; keys that are no enrolment at all.
  reg.SetDword(LM, enrol + "22222222-2222-2222-2222-222222222222", "EnrollmentState", 0);
  reg.CreatePath(LM, account + "33333333-3333-3333-3333-333333333333");
  reg.SetDword(LM, enrol + "Context", "EnrollmentState", 1);
  reg.SetString(LM, enrol + "Status", "x", "y");
  page.TabSheet3Show();
  auto rows = HijackRows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0]->caption, "设备管理注册（无管理服务器，使浏览器策略生效）：" + kFake);
  EXPECT_EQ(rows[0]->column2, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Enrollments\\" + kFake);
  EXPECT_NE(rows[1]->caption.find("33333333-3333"), std::string::npos);

  Tick("设备管理注册（无管理服务器，使浏览器策略生效）：" + kFake);
  page.SbiedefaultClick();
  ASSERT_TRUE(ts.messages.shown.empty());
  EXPECT_FALSE(reg.HasKey(LM, enrol + kFake));
  EXPECT_FALSE(reg.HasKey(LM, account + kFake));
  EXPECT_TRUE(reg.HasKey(LM, enrol + real) && reg.HasKey(LM, account + real));
  EXPECT_TRUE(reg.HasKey(LM, enrol + "Context"));
  ExpectInBackup(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Enrollments\\" + kFake +
      "]\r\n\"EnrollmentState\"=dword:00000001\r\n\"EnrollmentType\"=dword:00000000\r\n");
  ExpectInBackup("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Provisioning\\OMADM\\Accounts\\" +
                 kFake + "]\r\n\"Flags\"=dword:00d6fb7f\r\n\"ProtoVer\"=\"1.2\"\r\n");
}

TEST_F(Hijacks, ShortcutsWithAnAddressOrAnotherTargetAreFoundAndRepairedAfterTheirBackup) {
  const std::string chrome = Install("chrome.exe", W32);
  const std::string edge = Install("msedge.exe");
  const std::string chromeLnk = desktop + "\\Google Chrome.lnk";
  const std::string edgeLnk = startMenu + "\\Programs\\Browsers\\Microsoft Edge.lnk";
  const std::string fakeLnk = desktop + "\\Google Chrome (2).lnk";
  const std::string foxLnk = desktop + "\\Firefox.lnk";
  const std::string plainLnk = desktop + "\\Edge plain.lnk";
  const std::string otherLnk = desktop + "\\Notes.lnk";
  const std::string brokenLnk = desktop + "\\broken.lnk";
  ts.shortcuts.Make(chromeLnk, {chrome, "--profile-directory=\"Profile 1\" http://hijack.cn/", root,
                                chrome, 0});
  ts.shortcuts.Make(edgeLnk, {edge, "https://hijack.cn/e", "", "", 0});
  ts.shortcuts.Make(fakeLnk,
                    {"C:\\Windows\\System32\\cmd.exe", "/c start http://hijack.cn", "", chrome, 0});
  ts.shortcuts.Make(foxLnk, {"C:\\Users\\x\\open.bat", "", "", "", 0});
  ts.shortcuts.Make(plainLnk, {edge, "--profile-directory=Default", "", "", 0});
  ts.shortcuts.Make(otherLnk, {"C:\\notes.exe", "http://not.a.browser.cn", "", "", 0});
  test::WriteWholeFile(brokenLnk, "not a shortcut");
  const std::string chromeBytes = test::ReadWholeFile(chromeLnk);
  page.TabSheet3Show();

  EXPECT_GE(RowOf("桌面快捷方式 Google Chrome.lnk 附加网址 http://hijack.cn/"), 0);
  EXPECT_GE(RowOf("开始菜单快捷方式 Microsoft Edge.lnk 附加网址 https://hijack.cn/e"), 0);
  int fake = RowOf(
      "桌面快捷方式 Google Chrome (2).lnk 目标不是Chrome：C:\\Windows\\System32\\cmd.exe");
  int fox = RowOf("桌面快捷方式 Firefox.lnk 目标不是Firefox");
  int broken = RowOf("桌面快捷方式 broken.lnk 无法读取：");
  ASSERT_TRUE(fake >= 0 && fox >= 0 && broken >= 0);
  EXPECT_EQ(view.rows[fake].column3, "改回浏览器");
  EXPECT_EQ(view.rows[fox].column3, "只能删除");  // no Firefox installed
  EXPECT_EQ(view.rows[broken].column3, "只能删除");
  EXPECT_EQ(HijackRows().size(), 5u);  // not the plain Edge shortcut nor the other program

  for (size_t i = 0; i < view.ticks.size(); ++i) view.ticks[i] = true;
  page.SbiedefaultClick();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  ShellLinkData now = ts.shortcuts.Read(chromeLnk);
  EXPECT_EQ(now.arguments, "--profile-directory=\"Profile 1\"");
  EXPECT_EQ(now.target + "|" + now.workingDirectory, chrome + "|" + root);
  EXPECT_EQ(ts.shortcuts.Read(edgeLnk).arguments, "");
  now = ts.shortcuts.Read(fakeLnk);
  EXPECT_EQ(now.target + "|" + now.arguments + "|" + now.iconLocation, chrome + "||" + chrome);
  EXPECT_FALSE(ts.files.FileExists(foxLnk));
  EXPECT_FALSE(ts.files.FileExists(brokenLnk));
  EXPECT_EQ(ts.shortcuts.Read(plainLnk).arguments, "--profile-directory=Default");
  EXPECT_EQ(ts.shortcuts.Read(otherLnk).arguments, "http://not.a.browser.cn");
  EXPECT_TRUE(HijackRows().empty());

  // The set holds each original file byte for byte, the broken one too.
  auto sets = Sets();
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(test::ReadWholeFile(sets[0] + "\\Google Chrome.lnk"), chromeBytes);
  EXPECT_EQ(test::ReadWholeFile(sets[0] + "\\broken.lnk"), "not a shortcut");
  EXPECT_NE(test::ReadWholeFile(sets[0] + "\\Firefox.lnk").find("open.bat"), std::string::npos);
}

TEST_F(Hijacks, AShortcutThatCannotBeWrittenIsNamedAndTheOthersAreStillRepaired) {
  const std::string edge = Install("msedge.exe");
  const std::string mine = desktop + "\\Microsoft Edge.lnk";
  const std::string pub = startMenu + "\\Microsoft Edge.lnk";
  ts.shortcuts.Make(mine, {edge, "http://a.cn", "", "", 0});
  ts.shortcuts.Make(pub, {edge, "http://b.cn", "", "", 0});
  ts.shortcuts.refused.insert(pub);
  page.TabSheet3Show();
  for (size_t i = 0; i < view.ticks.size(); ++i) view.ticks[i] = true;
  page.SbiedefaultClick();
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text,
            std::string(kHijackRepairFailedText) +
                "\n开始菜单快捷方式 Microsoft Edge.lnk 附加网址 http://b.cn\n\n" + kBackedUpLine);
  EXPECT_EQ(ts.shortcuts.Read(mine).arguments, "");
  EXPECT_EQ(ts.shortcuts.Read(pub).arguments, "http://b.cn");
  ASSERT_EQ(HijackRows().size(), 1u);  // still there after the refill
}

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

TEST_F(Hijacks, TheBackupHoldsTheValuesTheApplyOverwritesInBothViews) {
  const std::string main = "Software\\Microsoft\\Internet explorer\\Main";
  reg.SetString(LM, main, "Start Page", "http://hijack.cn/");
  reg.SetString(LM, main, "Window Title", "Hijacked");
  reg.SetString(LM, main, "Start Page", "http://hijack32.cn/", W32);  // no title there
  reg.SetString(CU, kHomePageLockKey, kHomePageLockValue, "1");
  page.TabSheet3Show();
  view.cbsetpage = true;
  page.SbiedefaultClick();
  ASSERT_TRUE(ts.messages.shown.empty());
  ExpectInBackup(
      "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Internet explorer\\Main]\r\n"
      "\"Window Title\"=\"Hijacked\"\r\n");
  ExpectInBackup(
      "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Internet explorer\\Main]\r\n"
      "\"Start Page\"=\"http://hijack.cn/\"\r\n");
  ExpectInBackup(
      "[HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\Microsoft\\Internet explorer\\Main]"
      "\r\n\"Start Page\"=\"http://hijack32.cn/\"\r\n");
  // What the apply adds is taken back on import: the missing title and the lock's type.
  ExpectInBackup(
      "[HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\Microsoft\\Internet explorer\\Main]"
      "\r\n\"Window Title\"=-\r\n");
  ExpectInBackup(
      "[HKEY_CURRENT_USER\\Software\\Policies\\Microsoft\\Internet Explorer\\Control "
      "Panel]\r\n\"homepage\"=\"1\"\r\n");
  // A second apply has nothing left to overwrite: no new set.
  page.SbiedefaultClick();
  EXPECT_EQ(Sets().size(), 1u);

  // A key the apply creates is deleted again on import, from its outermost new level.
  reg.DeleteTree(LM, nullptr, "Software\\Microsoft\\Internet explorer", W32);
  page.SbiedefaultClick();
  ASSERT_EQ(Sets().size(), 2u);
  ExpectInBackup("[-HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\Microsoft\\Internet explorer]\r\n");
  // A key that exists but is refused is not recorded as missing.
  DeletionBackup backup(reg, ts.files, ts.services.exeDir);
  reg.Deny(LM, "Software\\Microsoft\\Internet explorer");
  backup.SaveOverwrite(LM, RegView::Native, main, "Start Page");
  EXPECT_TRUE(backup.Empty());
}

// ---- without administrator rights --------------------------------------------------------

// Whether a finding belongs to the whole machine: by its policy root, its kind, and for a
// shortcut by the shared folder it lies in (not a folder that merely starts with that name).
TEST(HijackRights, MachineWideByRootKindAndSharedFolder) {
  const std::vector<ShortcutFolder> folders = {
      {ShortcutPlace::Desktop, "C:\\Users\\u\\Desktop", false},
      {ShortcutPlace::PublicDesktop, "C:\\Users\\Public\\Desktop\\", false},
      {ShortcutPlace::CommonStartMenu, "C:\\ProgramData\\Start Menu", true}};
  Hijack h;
  h.kind = HijackKind::Policy;
  h.root = LM;
  EXPECT_TRUE(IsMachineWide(h, folders));
  h.root = CU;
  EXPECT_FALSE(IsMachineWide(h, folders));
  h.kind = HijackKind::PolicyList;
  EXPECT_FALSE(IsMachineWide(h, folders));
  h.kind = HijackKind::Enrolment;
  EXPECT_TRUE(IsMachineWide(h, folders));
  h.kind = HijackKind::FirefoxPolicies;
  EXPECT_TRUE(IsMachineWide(h, folders));
  h.kind = HijackKind::Shortcut;
  for (const char* shared : {"C:\\Users\\Public\\Desktop\\Edge.lnk",
                             "c:\\programdata\\start menu\\Programs\\Chrome.lnk"}) {
    h.path = shared;
    EXPECT_TRUE(IsMachineWide(h, folders)) << shared;
  }
  for (const char* own : {"C:\\Users\\u\\Desktop\\Edge.lnk", "C:\\Users\\Public\\Desktop2\\a.lnk",
                          "C:\\ProgramData\\Start Menu"}) {
    h.path = own;
    EXPECT_FALSE(IsMachineWide(h, folders)) << own;
  }
}

// A standard user's "自动反修": the locks and the user's own findings are repaired and saved;
// the machine's start page and title, an HKLM policy, the machine's add-on store and a shortcut
// on the public Desktop stay as they are, out of the backup set, and one notice names them.
TEST_F(Hijacks, WithoutAdministratorRightsOnlyTheUsersFindingsAreRepaired) {
  const std::string edge = Install("msedge.exe");
  const std::string publicDesktop = root + "\\Public Desktop";
  ts.files.CreateDirectories(publicDesktop);
  ts.shortcuts.folders.push_back({ShortcutPlace::PublicDesktop, publicDesktop, false});
  const std::string mine = desktop + "\\Microsoft Edge.lnk";
  const std::string shared = publicDesktop + "\\Microsoft Edge.lnk";
  ts.shortcuts.Make(mine, {edge, "http://a.cn", "", "", 0});
  ts.shortcuts.Make(shared, {edge, "http://b.cn", "", "", 0});
  reg.SetString(LM, kEdge, "HomepageLocation", "http://hijack.cn/");
  reg.SetString(CU, kChrome, "HomepageLocation", "http://mine.cn/");
  reg.SetString(LM, kToolbarStore, "{11111111-2222-3333-4444-555555555555}", "");
  reg.SetString(RegRoot::ClassesRoot, "CLSID\\{11111111-2222-3333-4444-555555555555}", "",
                "Bad Bar");
  const std::string main = "Software\\Microsoft\\Internet explorer\\Main";
  reg.SetString(LM, main, "Start Page", "http://start.cn/");
  page.TabSheet3Show();
  for (size_t i = 0; i < view.ticks.size(); ++i) view.ticks[i] = true;
  view.rbregtool = true;  // set the registry-tools lock (the user's own key)
  ts.admin.held = false;

  page.SbiedefaultClick();

  auto text = [&](RegRoot r, const std::string& key, const std::string& name) {
    const std::optional<RegValue> v = reg.Get(r, key, name);
    return v ? v->text : std::string("(none)");
  };
  EXPECT_EQ(text(LM, main, "Start Page"), "http://start.cn/");
  EXPECT_FALSE(reg.Get(LM, main, "Start Page", W32));
  EXPECT_EQ(text(LM, kEdge, "HomepageLocation"), "http://hijack.cn/");
  EXPECT_TRUE(reg.Get(LM, kToolbarStore, "{11111111-2222-3333-4444-555555555555}"));
  EXPECT_EQ(ts.shortcuts.Read(shared).arguments, "http://b.cn");
  EXPECT_FALSE(reg.Get(CU, kChrome, "HomepageLocation"));
  EXPECT_EQ(ts.shortcuts.Read(mine).arguments, "");
  EXPECT_EQ(reg.Get(CU, kRegistryToolsLockKey, kRegistryToolsLockValue)->dword, 1u);

  ASSERT_EQ(ts.messages.shown.size(), 1u);
  const std::string notice = ts.messages.shown[0].text;
  EXPECT_EQ(notice.rfind("以下项目属于本机所有用户", 0), 0u) << notice;
  for (const std::string& named :
       {std::string(kMachineSettingsItem), std::string("Bad Bar"), std::string("Edge 主页"),
        std::string("公共桌面快捷方式 Microsoft Edge.lnk 附加网址 http://b.cn")})
    EXPECT_NE(notice.find("\n" + named), std::string::npos) << named << "\n" << notice;
  EXPECT_EQ(notice.find("Chrome"), std::string::npos) << notice;
  EXPECT_EQ(notice.find("桌面快捷方式 Microsoft Edge.lnk 附加网址 http://a.cn"), std::string::npos);
  EXPECT_EQ(std::count(notice.begin(), notice.end(), '\n'), 4 + 2) << notice;  // four items

  const std::string saved = RegText();
  EXPECT_EQ(saved.find("HKEY_LOCAL_MACHINE"), std::string::npos) << saved;
  ExpectInBackup("\"HomepageLocation\"=\"http://mine.cn/\"");
  EXPECT_FALSE(ts.files.FileExists(Sets().back() + "\\Public Desktop\\Microsoft Edge.lnk"));

  // With the machine's settings already as the apply would leave them and only the user's
  // findings ticked, a standard user gets no notice at all.
  ts.messages.shown.clear();
  for (RegView v : {RegView::Native, W32}) {
    reg.SetString(LM, main, "Start Page", kDefaultStartPage, v);
    reg.SetString(LM, main, "Window Title", kDefaultWindowTitle, v);
  }
  reg.SetString(CU, kChrome, "HomepageLocation", "http://again.cn/");
  page.TabSheet3Show();
  Tick("Chrome 主页");
  page.SbiedefaultClick();
  EXPECT_EQ(ts.messages.shown.size(), 0u);
  EXPECT_FALSE(reg.Get(CU, kChrome, "HomepageLocation"));
}

}  // namespace
}  // namespace mt
