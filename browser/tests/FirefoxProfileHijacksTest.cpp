// Firefox's home page in its profiles (user.js, prefs.js) and in an autoconfig file as rows:
// which are listed and which not, the exact bytes the repair leaves, the restore of the set,
// the refusal while Firefox runs (nothing changed, nothing saved), and files that cannot be
// used. On the in-memory file system, with the paths of a Windows machine, so the set's
// restore runs as it does there.
#include <gtest/gtest.h>

#include <deque>

#include "app/BackupSets.h"
#include "app/Restore.h"
#include "app/Text.h"
#include "browser/FirefoxPrefs.h"
#include "browser/tests/HijackFixture.h"
#include "program/ChangeKindList.h"
#include "tests/support/YesToAll.h"

namespace mt {
namespace {

using namespace test;

const std::string kRoaming = "C:\\Users\\u\\AppData\\Roaming";
const std::string kData = kRoaming + "\\Mozilla\\Firefox";
const std::string kInstall = "C:\\Program Files\\Mozilla Firefox";
const std::string kHijacked = "http://hao.hijack.cn/?from=ff";

// Answers whether Firefox runs from a script, one answer per question, then the last one
// again; no other program runs.
class SequenceRunning : public RunningPrograms {
 public:
  bool IsRunning(const std::string& exe) override {
    if (!EqualsNoCase(exe, "firefox.exe")) return false;
    const bool a = answers.front();
    if (answers.size() > 1) answers.pop_front();
    return a;
  }
  std::deque<bool> answers{false};
};

class FirefoxHijacks : public ::testing::Test {
 protected:
  TestServices ts{"C:\\Tools"};
  MemoryFileSystem files;
  MemoryPageView view;
  BrowserRepairPage page{ts.services, ts.icons, view, nullptr};

  void SetUp() override {
    ts.services.files = &files;
    ts.services.shortcuts = nullptr;
    ts.services.roamingAppData = kRoaming;
    ts.services.fileRoots.userFolders = {kRoaming};
    ts.services.fileRoots.machineFolders = {"C:\\Tools"};
    ts.services.fileRoots.distributionParents = {"C:\\Program Files"};
    files.CreateDirectories("C:\\Tools");
    files.CreateDirectories(kData);
  }
  void InstallFirefox() {
    files.CreateDirectories(kInstall + "\\defaults\\pref");
    files.WriteAll(kInstall + "\\firefox.exe", "MZ");
    ts.registry.SetString(LM, kAppPaths + "firefox.exe", "", kInstall + "\\firefox.exe");
  }
  // A profile folder below Profiles with the files given (empty: none).
  std::string Profile(const std::string& dir, const std::string& userJs,
                      const std::string& prefsJs) {
    const std::string folder = kData + "\\Profiles\\" + dir;
    files.CreateDirectories(folder);
    if (!userJs.empty()) files.WriteAll(folder + "\\user.js", userJs);
    if (!prefsJs.empty()) files.WriteAll(folder + "\\prefs.js", prefsJs);
    return folder;
  }
  std::vector<std::string> Captions() {
    std::vector<std::string> out;
    for (const AddOnRow& r : view.rows)
      if (r.store == AddOnStore::Hijack) out.push_back(r.caption);
    return out;
  }
  const AddOnRow* RowOf(const std::string& start) {
    for (const AddOnRow& r : view.rows)
      if (r.caption.rfind(start, 0) == 0) return &r;
    return nullptr;
  }
  void Tick(const std::string& start) {
    for (size_t i = 0; i < view.rows.size(); ++i)
      if (view.rows[i].caption.rfind(start, 0) == 0) {
        view.ticks[i] = true;
        return;
      }
    ADD_FAILURE() << "no row " << start;
  }
  std::vector<std::string> Sets() {
    std::vector<std::string> out;
    for (const FindEntry& e : files.Find(BackupRoot("C:\\Tools"), "*"))
      if (e.isDirectory) out.push_back(BackupRoot("C:\\Tools") + "\\" + e.name);
    return out;
  }
  // Every item of every set, as "caption|place".
  std::vector<std::string> SetItems() {
    std::vector<std::string> out;
    for (const std::string& folder : Sets()) {
      const BackupSetInfo set = ReadBackupSet(ChangeEnvOf(ts.services), ProgramChangeKinds(),
                                              folder);
      for (const SetItem& item : set.items)
        out.push_back(item.caption + "|" + item.change->Place());
    }
    return out;
  }
  RestoreReport RestoreOnlySet() {
    const std::vector<std::string> sets = Sets();
    EXPECT_EQ(sets.size(), 1u);
    const ChangeEnv env = ChangeEnvOf(ts.services);
    const BackupSetInfo set = ReadBackupSet(env, ProgramChangeKinds(), sets.at(0));
    EXPECT_TRUE(set.damage.empty()) << set.damage;
    std::vector<size_t> all;
    for (size_t i = 0; i < set.items.size(); ++i) all.push_back(i);
    YesToAll yes;
    return RestoreItems(env, "C:\\Tools", set, all, yes);
  }
};

// A user.js and a prefs.js that set a foreign home page are rows, told apart by their
// captions; Firefox's own pages, other preferences, an absolute profile and a profile
// profiles.ini names that is not there are handled; a profile outside the user's folders is
// shown but not changed.
TEST_F(FirefoxHijacks, ForeignHomePagesInUserJsAndPrefsJsAreRowsOwnPagesAreNot) {
  InstallFirefox();
  files.WriteAll(kData + "\\profiles.ini",
                 "[Profile0]\r\nName=默认\r\nIsRelative=1\r\nPath=Profiles/a.default\r\n\r\n"
                 "[Profile1]\r\nName=clean\r\nIsRelative=1\r\nPath=Profiles/b.clean\r\n\r\n"
                 "[Profile2]\r\nName=gone\r\nIsRelative=1\r\nPath=Profiles/c.gone\r\n\r\n"
                 "[Profile3]\r\nName=away\r\nIsRelative=0\r\nPath=D:\\FF\\away\r\n");
  Profile("a.default", "user_pref(\"browser.startup.homepage\", \"" + kHijacked + "\");\n",
          "user_pref(\"browser.startup.homepage\", \"http://" + Utf8ToGbk("导航") +
              ".cn/\");\nuser_pref(\"browser.startup.page\", 1);\n");
  Profile("b.clean",
          "user_pref(\"browser.startup.homepage\", \"about:home\");\n"
          "user_pref(\"browser.search.region\", \"http://not.a.home.page/\");\n",
          "user_pref(\"browser.startup.homepage\", \"https://www.mozilla.org/|about:blank\");\n"
          "// user_pref(\"browser.startup.homepage\", \"http://commented.out/\");\n");
  files.CreateDirectories("D:\\FF\\away");
  files.WriteAll("D:\\FF\\away\\prefs.js",
                 "user_pref(\"browser.startup.homepage\", \"http://away.hijack.cn/\");\n");
  page.TabSheet3Show();
  const std::vector<std::string> want = {
      "Firefox 主页（配置 默认，user.js 每次启动时写入）：" + kHijacked,
      "Firefox 主页（配置 默认，prefs.js）：http://导航.cn/",
      "Firefox profiles.ini 所列的配置 gone 不存在",
      "Firefox 主页（配置 away，prefs.js）：http://away.hijack.cn/",
  };
  EXPECT_EQ(Captions(), want);
  const AddOnRow* userJs = RowOf(want[0]);
  ASSERT_TRUE(userJs);
  EXPECT_EQ(userJs->column2, kData + "\\Profiles\\a.default\\user.js");
  EXPECT_EQ(userJs->column3, "删除此设置行");
  EXPECT_EQ(RowOf(want[2])->column3, "未修改");
  EXPECT_EQ(RowOf(want[3])->column3, "配置不在用户数据文件夹中，未修改");
  // Without profiles.ini there is nothing to read.
  files.RemoveFile(kData + "\\profiles.ini");
  page.TabSheet3Show();
  EXPECT_TRUE(Captions().empty());
}

// The repair takes out exactly the call's line (CRLF ends, comments, GBK bytes, escaped
// quotes and the other calls stay), through a file swapped in; the set holds the file as it
// was and its restore brings back every byte.
TEST_F(FirefoxHijacks, RepairTakesOutTheLineAndTheRestoreBringsBackEveryByte) {
  files.WriteAll(kData + "\\profiles.ini", "[Profile0]\nName=p\nPath=Profiles/p\n");
  const std::string before =
      "// " + Utf8ToGbk("由某程序写入") +
      "\r\n"
      "user_pref(\"browser.startup.homepage\", \"http://a.hijack.cn/?q=\\\"x\\\"\");\r\n"
      "user_pref(\"browser.newtab.url\", \"http://b.hijack.cn/\");\r\n"
      "user_pref(\"browser.startup.homepage\", \"about:home\"); // the user's own\r\n";
  const std::string folder = Profile("p", before, "");
  page.TabSheet3Show();
  ASSERT_EQ(Captions(), std::vector<std::string>{"Firefox 主页（配置 p，user.js 每次启动时写入）："
                                                 "http://a.hijack.cn/?q=\"x\""});
  Tick("Firefox 主页");
  page.SbiedefaultClick();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  const std::string after =
      "// " + Utf8ToGbk("由某程序写入") +
      "\r\n"
      "user_pref(\"browser.newtab.url\", \"http://b.hijack.cn/\");\r\n"
      "user_pref(\"browser.startup.homepage\", \"about:home\"); // the user's own\r\n";
  EXPECT_EQ(files.files[folder + "\\user.js"], after);
  EXPECT_FALSE(files.FileExists(folder + "\\user.js.mt-new"));
  EXPECT_TRUE(Captions().empty());

  const RestoreReport report = RestoreOnlySet();
  ASSERT_TRUE(report.refused.empty()) << report.refused;
  EXPECT_EQ(files.files[folder + "\\user.js"], before) << report.Text();
}

// While Firefox runs (or nobody can tell) the row says to close it; the apply changes nothing,
// saves nothing of it and says so. Refused when the set is saved, it stays untouched even
// when Firefox has closed by the time the findings are repaired.
TEST_F(FirefoxHijacks, ARefusedRepairChangesNothingAndWritesNoItem) {
  SequenceRunning running;
  ts.services.running = &running;
  files.WriteAll(kData + "\\profiles.ini", "[Profile0]\nName=p\nPath=Profiles/p\n");
  const std::string text = "user_pref(\"browser.startup.homepage\", \"" + kHijacked + "\");\n";
  const std::string folder = Profile("p", "", text);
  const std::string caption = "Firefox 主页（配置 p，prefs.js）：" + kHijacked;
  auto expectRefused = [&] {
    EXPECT_EQ(files.files[folder + "\\prefs.js"], text);
    for (const std::string& item : SetItems())
      EXPECT_EQ(item.find("prefs.js"), std::string::npos) << item;
    ASSERT_FALSE(ts.messages.shown.empty());
    EXPECT_NE(ts.messages.shown.back().text.find(caption + "（请先关闭Firefox，未修改，未备份）"),
              std::string::npos)
        << ts.messages.shown.back().text;
    ts.messages.shown.clear();
  };

  running.answers = {true};
  page.TabSheet3Show();
  ASSERT_EQ(Captions(), std::vector<std::string>{caption});
  EXPECT_EQ(RowOf(caption)->column3, "请先关闭Firefox");
  Tick(caption);
  page.SbiedefaultClick();
  expectRefused();

  // Closed when listed, running when the set is saved, closed again at the repair.
  running.answers = {false, true, false};
  page.TabSheet3Show();
  EXPECT_EQ(RowOf(caption)->column3, "删除此设置行");
  Tick(caption);
  page.SbiedefaultClick();
  expectRefused();

  ts.services.running = nullptr;
  page.TabSheet3Show();
  Tick(caption);
  page.SbiedefaultClick();
  expectRefused();

  // Closed throughout: repaired, and the set holds the file.
  ts.services.running = &running;
  running.answers = {false};
  page.TabSheet3Show();
  Tick(caption);
  page.SbiedefaultClick();
  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_EQ(files.files[folder + "\\prefs.js"], "");
  bool saved = false;
  for (const std::string& item : SetItems()) saved = saved || item.rfind(caption + "|", 0) == 0;
  EXPECT_TRUE(saved);
}

// Files that cannot be used are said in rows that change nothing; a file of another
// encoding is still read.
TEST_F(FirefoxHijacks, FilesThatCannotBeReadGiveRowsThatChangeNothing) {
  files.WriteAll(kData + "\\profiles.ini", "[Profile0]\nName=p\nPath=Profiles/p\n");
  const std::string wide = "\xFF\xFE" +
                           Utf16Le("user_pref(\"browser.startup.homepage\", \"http://w.cn/\");");
  const std::string big = "user_pref(\"browser.startup.homepage\", \"http://big.cn/\");\n" +
                          std::string(kMaxFirefoxPrefFile, '\n');
  const std::string folder = Profile("p", wide, big);
  page.TabSheet3Show();
  const std::vector<std::string> want = {
      "Firefox user.js（配置 p）：不是 Firefox 能读取的文本（UTF-16 或含有空字符），未读取",
      "Firefox prefs.js（配置 p）：文件过大（超过 16 MiB），未读取"};
  EXPECT_EQ(Captions(), want);
  for (size_t i = 0; i < view.rows.size(); ++i) view.ticks[i] = true;
  page.SbiedefaultClick();
  EXPECT_EQ(files.files[folder + "\\user.js"], wide);
  EXPECT_EQ(files.files[folder + "\\prefs.js"].size(), big.size());
  for (const std::string& item : SetItems()) EXPECT_EQ(item.find(folder), std::string::npos);
}

// An autoconfig file that sets the home page is a row; the repair deletes the file that
// enables it when that file holds nothing else, and the restore brings it back.
TEST_F(FirefoxHijacks, AutoconfigHomePageGoesWithTheFileThatEnablesIt) {
  InstallFirefox();
  const std::string enabler =
      "// autoconfig\r\npref(\"general.config.filename\", \"mozilla.cfg\");"
      "\r\npref(\"general.config.obscure_value\", 0);\r\n";
  files.WriteAll(kInstall + "\\defaults\\pref\\autoconfig.js", enabler);
  files.WriteAll(kInstall + "\\mozilla.cfg",
                 "// first line\nlockPref(\"browser.startup.homepage\", \"" + kHijacked +
                     "\");\nlockPref(\"app.update.enabled\", false);\n");
  page.TabSheet3Show();
  const std::string caption = "Firefox 主页（自动配置 mozilla.cfg，lockPref）：" + kHijacked;
  ASSERT_EQ(Captions(), std::vector<std::string>{caption});
  EXPECT_EQ(RowOf(caption)->column2, kInstall + "\\mozilla.cfg");
  EXPECT_EQ(RowOf(caption)->column3, "删除启用它的 defaults\\pref\\autoconfig.js");
  Tick(caption);
  page.SbiedefaultClick();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  EXPECT_FALSE(files.FileExists(kInstall + "\\defaults\\pref\\autoconfig.js"));
  // The cfg itself is left; without the setting Firefox does not read it.
  EXPECT_TRUE(files.FileExists(kInstall + "\\mozilla.cfg"));
  EXPECT_TRUE(Captions().empty());
  const RestoreReport report = RestoreOnlySet();
  ASSERT_TRUE(report.refused.empty()) << report.refused;
  EXPECT_EQ(files.files[kInstall + "\\defaults\\pref\\autoconfig.js"], enabler) << report.Text();
}

// A file that also sets other preferences keeps them: only the line naming the cfg goes. The
// cfg is read with its bytes shifted by 13 (Firefox's default without obscure_value); one
// that sets Firefox's own page, or none, is no row.
TEST_F(FirefoxHijacks, AutoconfigInAFileWithOtherSettingsLosesOnlyItsLine) {
  InstallFirefox();
  const std::string channel =
      "pref(\"app.update.channel\", \"release\");\n"
      "pref(\"general.config.filename\", \"sub/x.cfg\");\n";
  files.WriteAll(kInstall + "\\defaults\\pref\\channel-prefs.js", channel);
  auto obscured = [](std::string s) {
    for (char& c : s) c = static_cast<char>(static_cast<unsigned char>(c) + 13);
    return s;
  };
  files.CreateDirectories(kInstall + "\\sub");
  files.WriteAll(kInstall + "\\sub\\x.cfg",
                 obscured("//\ndefaultPref('browser.startup.homepage', '" + kHijacked + "');\n"));
  page.TabSheet3Show();
  const std::string caption = "Firefox 主页（自动配置 x.cfg，defaultPref）：" + kHijacked;
  ASSERT_EQ(Captions(), std::vector<std::string>{caption});
  EXPECT_EQ(RowOf(caption)->column3, "去掉 defaults\\pref\\channel-prefs.js 中启用它的设置");
  // Installed outside the programs folders: shown, not changed.
  ts.services.fileRoots.distributionParents = {"C:\\Other"};
  page.TabSheet3Show();
  EXPECT_EQ(RowOf(caption)->column3, "不在程序文件夹中，未修改");
  ts.services.fileRoots.distributionParents = {"C:\\Program Files"};
  page.TabSheet3Show();
  Tick(caption);
  page.SbiedefaultClick();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  EXPECT_EQ(files.files[kInstall + "\\defaults\\pref\\channel-prefs.js"],
            "pref(\"app.update.channel\", \"release\");\n");

  files.WriteAll(kInstall + "\\defaults\\pref\\channel-prefs.js", channel);
  files.WriteAll(kInstall + "\\sub\\x.cfg",
                 obscured("//\nlockPref('browser.startup.homepage', 'about:home');\n"));
  page.TabSheet3Show();
  EXPECT_TRUE(Captions().empty());
  // Read unshifted, the same cfg is no text at all: nothing is listed either.
  files.WriteAll(kInstall + "\\defaults\\pref\\channel-prefs.js",
                 channel + "pref(\"general.config.obscure_value\", 0);\n");
  files.WriteAll(kInstall + "\\sub\\x.cfg",
                 obscured("lockPref('browser.startup.homepage', '" + kHijacked + "');\n"));
  page.TabSheet3Show();
  EXPECT_TRUE(Captions().empty());
}

}  // namespace
}  // namespace mt
