// Firefox's settings files as text: the preference calls found (and those that are not
// calls), the cut that keeps every other byte, Firefox's own home pages, the profiles of
// profiles.ini and the files that are not read.
#include <gtest/gtest.h>

#include "app/Text.h"
#include "browser/FirefoxPrefs.h"
#include "tests/support/StandIns.h"

namespace mt {
namespace {

const std::vector<std::string> kUser = {"user_pref"};

TEST(FirefoxPrefCalls, CallsWithTheirEscapesAndBytesAndNothingInCommentsOrStrings) {
  const std::string gbk = Utf8ToGbk("主页");
  const std::string text =
      "// user_pref(\"in.comment\", \"x\");\r\n"
      "/* user_pref(\"in.block\", 1);\n   still */ user_pref(\"a.b\", \"say \\\"hi\\\" \\\\ "
      "\\u4e3b\\x41\");\r\n"
      "# user_pref(\"hash.comment\", 1);\n"
      "user_pref('single', 'it\\'s');user_pref(\"num\", -12); user_pref(\"flag\" , true )\n"
      "var s = \"user_pref(\\\"in.string\\\", 1);\";\n"
      "user_pref(\"broken\", \"unclosed);\n"
      "user_pref(\"gbk\", \"" +
      gbk +
      "\");\n"
      "other_pref(\"not.mine\", 1);\n";
  const std::vector<PrefCall> calls = FindPrefCalls(text, kUser);
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[0].name, "a.b");
  EXPECT_TRUE(calls[0].isString);
  EXPECT_EQ(calls[0].value, "say \"hi\" \\ 主A");
  EXPECT_EQ(text.substr(calls[0].begin, calls[0].end - calls[0].begin),
            "user_pref(\"a.b\", \"say \\\"hi\\\" \\\\ \\u4e3b\\x41\");");
  EXPECT_EQ(calls[1].name, "single");
  EXPECT_EQ(calls[1].value, "it's");
  EXPECT_EQ(calls[2].name, "num");
  EXPECT_FALSE(calls[2].isString);
  EXPECT_EQ(calls[2].value, "-12");
  EXPECT_EQ(calls[3].name, "flag");
  EXPECT_EQ(calls[3].value, "true");
  // No ";" after it: the call ends at its bracket.
  EXPECT_EQ(text.substr(calls[3].begin, calls[3].end - calls[3].begin),
            "user_pref(\"flag\" , true )");
  // The bytes of another encoding stay as they are; the row reads them as GBK.
  EXPECT_EQ(calls[4].name, "gbk");
  EXPECT_EQ(calls[4].value, gbk);
  EXPECT_EQ(PrefShown(calls[4].value), "主页");
  EXPECT_EQ(PrefShown("主页"), "主页");
}

TEST(FirefoxPrefCalls, TheCutTakesTheLineWithItsEndAndKeepsEveryOtherByte) {
  const std::string crlf =
      "// head\r\nuser_pref(\"a\", 1);\r\n  user_pref(\"b\", \"x\");  \r\nlast";
  auto calls = FindPrefCalls(crlf, kUser);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(CutPrefCall(crlf, calls[0]), "// head\r\n  user_pref(\"b\", \"x\");  \r\nlast");
  EXPECT_EQ(CutPrefCall(crlf, calls[1]), "// head\r\nuser_pref(\"a\", 1);\r\nlast");
  // The last line without a line end; lines ended by a lone CR.
  const std::string tail = "user_pref(\"a\", 1);\ruser_pref(\"b\", 2);";
  calls = FindPrefCalls(tail, kUser);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(CutPrefCall(tail, calls[1]), "user_pref(\"a\", 1);\r");
  EXPECT_EQ(CutPrefCall(tail, calls[0]), "user_pref(\"b\", 2);");
  // Two calls on one line: only the call goes, the line and the other call stay.
  const std::string shared = "user_pref(\"a\", 1); user_pref(\"b\", 2); // note\n";
  calls = FindPrefCalls(shared, kUser);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(CutPrefCall(shared, calls[0]), " user_pref(\"b\", 2); // note\n");
  EXPECT_EQ(CutPrefCall(shared, calls[1]), "user_pref(\"a\", 1);  // note\n");
}

TEST(FirefoxPrefCalls, FirefoxsOwnHomePages) {
  for (const char* own : {"", "about:home", "ABOUT:BLANK", "about:newtab|about:home",
                          "https://www.mozilla.org/zh-CN/firefox/", "https://home.firefoxchina.cn",
                          "chrome://browser/content/blanktab.html"})
    EXPECT_TRUE(IsFirefoxOwnHomePage(own)) << own;
  for (const char* foreign :
       {"http://hao.hijack.cn/", "about:home|http://hao.hijack.cn", "https://evilmozilla.org/",
        "https://mozilla.org.hijack.cn/", "hao.hijack.cn"})
    EXPECT_FALSE(IsFirefoxOwnHomePage(foreign)) << foreign;
}

TEST(FirefoxProfilesIni, RelativeAndAbsoluteProfilesEachOnceUnsafeOnesLeftOut) {
  test::MemoryFileSystem files;
  const std::string data = "C:\\Users\\u\\AppData\\Roaming\\Mozilla\\Firefox";
  std::string problem;
  files.CreateDirectories(data);
  EXPECT_TRUE(FirefoxProfilesOf(files, data, problem).empty());
  EXPECT_TRUE(problem.empty());
  files.WriteAll(data + "\\profiles.ini",
                 "\xEF\xBB\xBF[Install308046B0AF4A39CB]\r\nDefault=Profiles/abc.default\r\n\r\n"
                 "[Profile1]\r\nName=工作\r\nIsRelative=0\r\nPath=D:\\FF\\work\\\r\n\r\n"
                 "[Profile0]\r\nName=default\r\nIsRelative=1\r\nPath=Profiles/abc.default\r\n"
                 "Default=1\r\n\r\n[Profile2]\r\nIsRelative=1\r\nPath=Profiles/x.dup\r\n"
                 "[Profile3]\r\nIsRelative=1\r\nPath=profiles/ABC.default\r\n"
                 "[Profile4]\r\nIsRelative=1\r\nPath=../../../Windows\r\n"
                 "[Profile5]\r\nIsRelative=1\r\nPath=C:\\Windows\r\n"
                 "[General]\r\nStartWithLastProfile=1\r\nPath=Profiles/general\r\n");
  const std::vector<FirefoxProfile> got = FirefoxProfilesOf(files, data, problem);
  EXPECT_TRUE(problem.empty());
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].name, "工作");
  EXPECT_EQ(got[0].dir, "D:\\FF\\work");
  EXPECT_EQ(got[1].name, "default");
  EXPECT_EQ(got[1].dir, data + "\\Profiles\\abc.default");
  EXPECT_EQ(got[2].name, "x.dup");
  EXPECT_EQ(got[2].dir, data + "\\Profiles\\x.dup");

  files.WriteAll(data + "\\profiles.ini", std::string("\xFF\xFE[\0P\0", 6));
  EXPECT_TRUE(FirefoxProfilesOf(files, data, problem).empty());
  EXPECT_FALSE(problem.empty());
}

TEST(FirefoxPrefFiles, LargeFilesAndUtf16AreNotRead) {
  test::MemoryFileSystem files;
  files.CreateDirectories("C:\\p");
  std::string text;
  EXPECT_EQ(ReadFirefoxFile(files, "C:\\p\\none.js", text), FirefoxRead::Missing);
  files.WriteAll("C:\\p\\max.js", std::string(kMaxFirefoxPrefFile, ' '));
  EXPECT_EQ(ReadFirefoxFile(files, "C:\\p\\max.js", text), FirefoxRead::Ok);
  EXPECT_EQ(text.size(), kMaxFirefoxPrefFile);
  files.WriteAll("C:\\p\\big.js", std::string(kMaxFirefoxPrefFile + 1, ' '));
  EXPECT_EQ(ReadFirefoxFile(files, "C:\\p\\big.js", text), FirefoxRead::TooLarge);
  EXPECT_TRUE(text.empty());
  files.WriteAll("C:\\p\\wide.js", "\xFF\xFE" + Utf16Le("user_pref(\"a\", 1);"));
  EXPECT_EQ(ReadFirefoxFile(files, "C:\\p\\wide.js", text), FirefoxRead::NotText);
  files.WriteAll("C:\\p\\gbk.js", "user_pref(\"a\", \"" + Utf8ToGbk("主页") + "\");");
  EXPECT_EQ(ReadFirefoxFile(files, "C:\\p\\gbk.js", text), FirefoxRead::Ok);
}

}  // namespace
}  // namespace mt
