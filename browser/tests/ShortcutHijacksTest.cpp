// Browser shortcuts: their command lines, their rows, their repair and their backup.
#include <gtest/gtest.h>

#include "app/Restore.h"
#include "browser/Shortcuts.h"

#include "browser/tests/HijackFixture.h"

namespace mt {
namespace {

using namespace test;

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
  // In the program's own words, not the system's message.
  EXPECT_EQ(view.rows[broken].caption,
            "桌面快捷方式 broken.lnk 无法读取：文件内容不是有效的快捷方式");
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

}  // namespace
}  // namespace mt
