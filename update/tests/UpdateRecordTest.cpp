// The Update page rules, the Reminder decision, progress captions and the rise arithmetic.
#include <gtest/gtest.h>

#include "update/ReminderPlacement.h"
#include "update/Uhzbdown.h"
#include "update/UpdateRecord.h"

namespace mt {
namespace {

// A page as the endpoint serves it, already normalised (CR LF line ends).
const std::string kWellFormed =
    "<html>header\r\n"
    "zpid:12</br>zpname: 小工具合集 </br>zpver:v1.4</br>zpms:描述</br>"
    "zpsjnr:\r\n1.第一行\r\n2.second line\r\n</br>zpdx:1.2MB</br>zpgxsj:2026-12-01</br>"
    "zp_downurl:http://127.0.0.1/setup.exe</br>zpzc:Win7/Win10</br>trailer\r\n";

TEST(NormalisePage, CutsAtNulAndEndsEveryLineWithCrLf) {
  EXPECT_EQ(NormalisePage(""), "");
  EXPECT_EQ(NormalisePage("a"), "a\r\n");
  EXPECT_EQ(NormalisePage("a\nb\rc\r\nd\r\n"), "a\r\nb\r\nc\r\nd\r\n");
  EXPECT_EQ(NormalisePage("a\n\r\nb"), "a\r\n\r\nb\r\n");
  EXPECT_EQ(NormalisePage("\n\n"), "\r\n\r\n");
  EXPECT_EQ(NormalisePage(std::string("zpid:1</br>\0zpname:x", 20)), "zpid:1</br>\r\n");
  EXPECT_EQ(NormalisePage(std::string("\0abc", 4)), "");
}

TEST(ExtractField, WellFormedPageGivesEveryFieldTrimmed) {
  std::optional<UpdateRecord> r = ParseUpdateRecord(kWellFormed);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->zpid, "12");
  EXPECT_EQ(r->zpname, "小工具合集");
  EXPECT_EQ(r->zpver, "v1.4");
  EXPECT_EQ(r->zpms, "描述");
  EXPECT_EQ(r->zpsjnr, "1.第一行\r\n2.second line");
  EXPECT_EQ(r->zpdx, "1.2MB");
  EXPECT_EQ(r->zpgxsj, "2026-12-01");
  EXPECT_EQ(r->zp_downurl, "http://127.0.0.1/setup.exe");
  EXPECT_EQ(r->zpzc, "Win7/Win10");
  EXPECT_TRUE(ShouldRemind(r->zpver, true, kProgramVersion));
}

TEST(ExtractField, OnlyTheFiveCharactersBeforeTheNextTagAreDropped) {
  // A line break after the separator leaves "</" in the value.
  const std::string page = NormalisePage("zpid:12</br>\nzpname:n</br>zpver:v2</br>");
  EXPECT_EQ(ExtractField(page, "zpid:"), "12</");
  EXPECT_EQ(ParseUpdateRecord(page)->zpid, "12</");
  // Whatever the five characters are, they go unseen.
  EXPECT_EQ(ExtractField("zpid:12abcdezpname:x", "zpid:"), "12");
  // A "</br>" inside a value stays; inside zpzc the first one ends it.
  const std::string inner = "zpms:a</br>b</br>zpsjnr:c</br>zpzc:x</br>y</br>";
  EXPECT_EQ(ExtractField(inner, "zpms:"), "a</br>b");
  EXPECT_EQ(ExtractField(inner, "zpzc:"), "x");
}

TEST(ExtractField, MissingTagsAndSuccessors) {
  // No "zpid:": everything before the five characters in front of "zpname:".
  EXPECT_EQ(ExtractField("junk zpid text</br>zpname:n</br>", "zpid:"), "junk zpid text");
  EXPECT_EQ(ExtractField("zpname:n</br>zpver:v</br>", "zpid:"), "");
  // A missing successor empties the field before it.
  EXPECT_EQ(ExtractField("zpid:12</br>zpver:v1.4</br>", "zpid:"), "");
  // The last field needs its closing separator.
  EXPECT_EQ(ExtractField("zpzc:Win7", "zpzc:"), "");
  // Tags are case-sensitive.
  EXPECT_EQ(ExtractField("ZPID:1</br>zpname:", "zpid:"), "ZPID:1");
  // A value shorter than the dropped five characters gives nothing.
  EXPECT_EQ(ExtractField("zpid:</br>zpname:", "zpid:"), "");
  EXPECT_EQ(ExtractField("zpid:</zpname:", "zpid:"), "");
  EXPECT_EQ(ExtractField("zpid:ab</br>zpname:", "zpid:"), "ab");
}

TEST(ExtractField, RepeatedTagMovesTheCut) {
  // The second "zpver:" lies beyond the scan position after the first cut: the cut moves.
  EXPECT_EQ(ExtractField("zpver:old</br>xxxxxxxxzpver:new</br>zpms:", "zpver:"), "new");
  // The scan resumes at the next position of the shortened text, so a repetition that now
  // lies before that position is passed over.
  EXPECT_EQ(ExtractField("aaaaaaaazpver:zpver:v</br>zpms:", "zpver:"), "zpver:v");
}

TEST(ParseUpdateRecord, BlankPagesGiveNoRecord) {
  EXPECT_FALSE(ParseUpdateRecord(""));
  EXPECT_FALSE(ParseUpdateRecord(" \r\n\t\r\n"));
  std::optional<UpdateRecord> garbled = ParseUpdateRecord("hello\r\n");
  ASSERT_TRUE(garbled);
  EXPECT_EQ(garbled->zpver, "");
  EXPECT_FALSE(ShouldRemind(garbled->zpver, true, kProgramVersion));
}

// Numbers part by part, not bytes: v1.10 follows v1.3; what is no "vX.Y[.Z]" is no release.
TEST(ReminderDecision, NumericOrderAgainstTheProgramVersion) {
  ASSERT_STREQ(kProgramVersion, "v1.3");
  struct Case {
    const char* offered;
    bool remind;
  } cases[] = {{"v1.3", false},    {"v1.31", true},    {"v1.3.1", true}, {"v1.10", true},
               {"V2.0", false},    {"v2.0", true},     {"", false},      {"v1.2", false},
               {"v1.3.0", false},  {"v1.2.99", false}, {"v2", false},    {"v2.0 beta", false},
               {"\xB0\xE6", false}};
  for (const Case& c : cases) {
    EXPECT_EQ(ShouldRemind(c.offered, true, "v1.3"), c.remind) << c.offered;
  }
}

TEST(ReminderDecision, SilencedVersion) {
  EXPECT_FALSE(ShouldRemind("v2.0", false, "v2.0"));
  EXPECT_TRUE(ShouldRemind("v2.1", false, "v2.0"));
  EXPECT_TRUE(ShouldRemind("v2.0", false, "V2.0"));  // byte for byte
  EXPECT_TRUE(ShouldRemind("v2.0", false, "v2.0.0"));
  EXPECT_TRUE(ShouldRemind("v2.0", true, "v2.0"));  // reminders on: sjtxver not consulted
  EXPECT_EQ(CompareBytes("v1.3", "v1.3"), 0);
  EXPECT_LT(CompareBytes("v1.3", "v1.31"), 0);
  EXPECT_GT(CompareBytes("\xFF", "a"), 0);
}

TEST(DownloadProgress, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(RoundHalfEven(12.5), 12);
  EXPECT_EQ(RoundHalfEven(37.5), 38);
  EXPECT_EQ(RoundHalfEven(0.5), 0);
  EXPECT_EQ(RoundHalfEven(1.5), 2);
  EXPECT_EQ(RoundHalfEven(12.51), 13);
  EXPECT_EQ(DownloadProgressCaption(125, 1000), "正在下载(12%)");
  EXPECT_EQ(DownloadProgressCaption(375, 1000), "正在下载(38%)");
  EXPECT_EQ(DownloadProgressCaption(0, 1000), "正在下载(0%)");
  EXPECT_EQ(DownloadProgressCaption(1000000, 1000000), "正在下载(100%)");
}

TEST(DownloadProgress, NeverAbove100AndAmountsWithoutALength) {
  EXPECT_EQ(DownloadProgressCaption(3000, 1000), "正在下载(100%)");
  EXPECT_EQ(DownloadProgressCaption(512 * 1024, -1), "正在下载(512KB)");
  EXPECT_EQ(DownloadProgressCaption(1023, 0), "正在下载(0KB)");
  EXPECT_EQ(DownloadProgressCaption(5 * 1024 * 1024 + 10, 0), "正在下载(5120KB)");
}

TEST(ReminderPlacement, RisesIntoTheLowerRightCorner) {
  // 1024 x 768 screen, 30-pixel taskbar at the bottom.
  const int outerW = 358, outerH = 267;
  ReminderStart s = ReminderStartPosition(1024, 738, outerW);
  EXPECT_EQ(s.top, 738);
  EXPECT_EQ(s.left + outerW, 1019);
  int top = s.top, ticks = 0;
  bool done = false;
  while (!done) {
    top = ReminderRiseStep(top, outerH, 738, done);
    ++ticks;
  }
  EXPECT_LE(top + outerH, 738);      // lower edge at or above the line
  EXPECT_GT(top + outerH, 738 - 5);  // and stopped at the first such tick
  EXPECT_EQ(ticks, (outerH + 4) / 5);
}

}  // namespace
}  // namespace mt
