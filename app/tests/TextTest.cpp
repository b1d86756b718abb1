#include <gtest/gtest.h>

#include "app/Error.h"
#include "app/Text.h"

namespace mt {
namespace {

TEST(ErrorReport, FullStopAfterLetterDigitOrChineseOnly) {
  EXPECT_EQ(ErrorReportText("Invalid data type for 'cs'"), "Invalid data type for 'cs'");
  EXPECT_EQ(ErrorReportText("Unable to write to C:\\a\\config.ini"),
            "Unable to write to C:\\a\\config.ini.");
  EXPECT_EQ(ErrorReportText("List index out of bounds (-1)"), "List index out of bounds (-1)");
  EXPECT_EQ(ErrorReportText("error 5"), "error 5.");
  EXPECT_EQ(ErrorReportText("拒绝访问"), "拒绝访问.");
  EXPECT_EQ(ErrorReportText("拒绝访问。"), "拒绝访问。");
  EXPECT_EQ(ErrorReportText(""), "");
}

TEST(Format, ReplacesPlaceholdersInTurn) {
  EXPECT_EQ(FormatMessage1("Failed to create key %s", "a\\b"), "Failed to create key a\\b");
  EXPECT_EQ(FormatMessage2("Cannot open file \"%s\". %s", "x%s.ds", "拒绝访问。"),
            "Cannot open file \"x%s.ds\". 拒绝访问。");
}

TEST(Text, TrimParseAndCompare) {
  EXPECT_EQ(TrimControl(" \t x: \r\n"), "x:");
  EXPECT_EQ(ParseInt32("1024"), 1024);
  EXPECT_EQ(ParseInt32(" -5 "), -5);
  EXPECT_EQ(ParseInt32("0x10"), 16);
  EXPECT_EQ(ParseInt32("$ff"), 255);
  EXPECT_FALSE(ParseInt32("12a").has_value());
  EXPECT_FALSE(ParseInt32("").has_value());
  EXPECT_FALSE(ParseInt32("99999999999").has_value());
  EXPECT_TRUE(EqualsNoCase("Software\\RUN", "software\\run"));
  EXPECT_FALSE(EqualsNoCase("x:", "y:"));
}

TEST(Text, EndsWithNoCaseComparesOnlyTheTail) {
  EXPECT_TRUE(EndsWithNoCase("Edge.LNK", ".lnk"));
  EXPECT_TRUE(EndsWithNoCase(".lnk", ".LNK"));
  EXPECT_TRUE(EndsWithNoCase("a", ""));
  EXPECT_FALSE(EndsWithNoCase("lnk", ".lnk"));  // shorter than the tail
  EXPECT_FALSE(EndsWithNoCase("a.lnk.txt", ".lnk"));
  EXPECT_FALSE(EndsWithNoCase("浏览器.lnkx", ".lnk"));
  EXPECT_FALSE(EndsWithNoCase("Ä", "ä"));  // only ASCII letters fold
}

TEST(Text, StartsWithNoCaseComparesOnlyTheHead) {
  EXPECT_TRUE(StartsWithNoCase("HTTPS://x", "https://"));
  EXPECT_TRUE(StartsWithNoCase("a", ""));
  EXPECT_FALSE(StartsWithNoCase("http", "https"));  // shorter than the head
  EXPECT_FALSE(StartsWithNoCase("xhttps://", "https://"));
}

TEST(Text, OneLineShortCutsWholeCharactersAndFlattensLineBreaks) {
  EXPECT_EQ(OneLineShort("a\r\nb\tc", 10), "a  b c");
  EXPECT_EQ(OneLineShort("主页网址", 2), "主页…");  // two characters, not two bytes
  EXPECT_EQ(OneLineShort("abc", 3), "abc");         // nothing cut: no mark
  EXPECT_EQ(OneLineShort("abcd", 3), "abc…");
  EXPECT_EQ(OneLineShort("", 0), "");
}

TEST(Text, GuidTextWithOrWithoutBraces) {
  EXPECT_TRUE(IsGuidText("FFFFFFFF-ffff-0000-1111-AAAAAAAAAAAA"));
  EXPECT_TRUE(IsGuidText("{11111111-2222-3333-4444-555555555555}"));
  EXPECT_FALSE(IsGuidText("{11111111-2222-3333-4444-555555555555"));
  EXPECT_FALSE(IsGuidText("11111111-2222-3333-4444-55555555555G"));
  EXPECT_FALSE(IsGuidText("111111112-222-3333-4444-555555555555"));
  EXPECT_FALSE(IsGuidText("Context"));
  EXPECT_FALSE(IsGuidText(""));
}

TEST(Text, LowerHexTwoDigitsPerByteInOrder) {
  const unsigned char bytes[] = {0x00, 0xff, 0x0a, 0xa0};
  EXPECT_EQ(LowerHex(bytes, sizeof bytes), "00ff0aa0");
  EXPECT_EQ(LowerHex(bytes, 0), "");
}

TEST(Text, AppendUtf8ReadsBackAndReplacesWhatIsNoCodePoint) {
  std::string s;
  for (char32_t c : {U'A', U'\u00e9', U'\u4e2d', U'\U0001F600'}) AppendUtf8(s, c);
  EXPECT_EQ(s, "A\u00e9\u4e2d\U0001F600");
  size_t pos = 0;
  for (char32_t c : {U'A', U'\u00e9', U'\u4e2d', U'\U0001F600'})
    EXPECT_EQ(NextCodePoint(s, pos), c);
  std::string bad;
  AppendUtf8(bad, 0xD800);
  AppendUtf8(bad, 0x110000);
  EXPECT_EQ(bad, "\uFFFD\uFFFD");
}

TEST(Text, GbkRoundTrip) {
  std::string gbk = Utf8ToGbk("升级v1.4");
  EXPECT_EQ(gbk, std::string("\xC9\xFD\xBC\xB6v1.4"));
  EXPECT_EQ(GbkToUtf8(gbk), "升级v1.4");
}

}  // namespace
}  // namespace mt
