// The hosts file's lines as the list reads them and as the repair cuts them: byte ranges in
// every encoding, the well-known sites on a label boundary, blocking addresses, and the exact
// bytes left after a line or some of its names are taken out.
#include <gtest/gtest.h>

#include <chrono>

#include "browser/HostsText.h"

namespace mt {
namespace {

std::string Le(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

std::string Be(const std::string& ascii) {
  std::string out = "\xFE\xFF";
  for (char c : ascii) {
    out += '\0';
    out += c;
  }
  return out;
}

std::string Cut(const std::string& bytes, size_t entry, const std::vector<std::string>& names) {
  const HostsText text = ParseHosts(bytes);
  EXPECT_LT(entry, text.entries.size());
  if (entry >= text.entries.size()) return bytes;
  return WithoutNames(bytes, text.entries[entry], names);
}

TEST(HostsText, EntriesAreLinesWithAnAddressAndNamesUpToTheComment) {
  const std::string bytes =
      "# a comment 1.2.3.4 www.baidu.com\r\n"
      "\r\n"
      "127.0.0.1\tlocalhost   # this machine\r\n"
      "www.bing.com 1.2.3.4\n"  // names first: not an entry, the system ignores it
      "  1.2.3.4 a.cn b.cn#c.cn\n"
      "999.1.1.1 bad.cn\n"
      "fe80::1%4 v6.cn\n"
      "5.6.7.8";  // an address alone names nothing
  const HostsText text = ParseHosts(bytes);
  EXPECT_EQ(text.encoding, HostsEncoding::Bytes);
  ASSERT_EQ(text.entries.size(), 3u);
  const HostsEntry& local = text.entries[0];
  EXPECT_EQ(local.number, 3u);
  EXPECT_EQ(local.address, "127.0.0.1");
  ASSERT_EQ(local.names.size(), 1u);
  EXPECT_EQ(local.names[0].text, "localhost");
  EXPECT_EQ(bytes.substr(local.begin, local.end - local.begin),
            "127.0.0.1\tlocalhost   # this machine");
  EXPECT_EQ(bytes.substr(local.end, local.next - local.end), "\r\n");
  const HostsEntry& two = text.entries[1];
  EXPECT_EQ(two.number, 5u);
  ASSERT_EQ(two.names.size(), 2u);
  EXPECT_EQ(two.names[1].text, "b.cn");
  EXPECT_EQ(bytes.substr(two.names[1].begin, two.names[1].end - two.names[1].begin), "b.cn");
  EXPECT_EQ(text.entries[2].address, "fe80::1%4");
}

TEST(HostsText, Utf16AndUtf8MarksAndANulByteAreRead) {
  HostsText le = ParseHosts(Le("# c\r\n1.2.3.4 www.google.com\r\n"));
  EXPECT_EQ(le.encoding, HostsEncoding::Utf16Le);
  ASSERT_EQ(le.entries.size(), 1u);
  EXPECT_EQ(le.entries[0].number, 2u);
  EXPECT_EQ(le.entries[0].names[0].text, "www.google.com");
  HostsText be = ParseHosts(Be("1.2.3.4 www.google.com"));
  EXPECT_EQ(be.encoding, HostsEncoding::Utf16Be);
  ASSERT_EQ(be.entries.size(), 1u);
  EXPECT_EQ(be.entries[0].names[0].text, "www.google.com");
  // UTF-16 LE without its mark.
  HostsText bare = ParseHosts(Le("1.2.3.4 www.google.com").substr(2));
  EXPECT_EQ(bare.encoding, HostsEncoding::Utf16Le);
  ASSERT_EQ(bare.entries.size(), 1u);
  HostsText bom = ParseHosts(
      "\xEF\xBB\xBF"
      "1.2.3.4 www.google.com\n");
  EXPECT_EQ(bom.encoding, HostsEncoding::Utf8Bom);
  ASSERT_EQ(bom.entries.size(), 1u);
  EXPECT_EQ(bom.entries[0].begin, 3u);
  // A NUL is a blank: the name after it is still seen.
  HostsText nul = ParseHosts(std::string("1.2.3.4\0www.baidu.com\n", 22));
  ASSERT_EQ(nul.entries.size(), 1u);
  EXPECT_EQ(nul.entries[0].names[0].text, "www.baidu.com");
  // GBK text in a name is no ASCII: it stands as "?" and matches nothing.
  HostsText gbk = ParseHosts("1.2.3.4 \xB0\xD9\xB6\xC8.com\n");
  ASSERT_EQ(gbk.entries.size(), 1u);
  EXPECT_EQ(gbk.entries[0].names[0].text, "????.com");
}

TEST(HostsText, WellKnownSitesMatchOnALabelBoundaryOnly) {
  EXPECT_STREQ(WellKnownGroup("google.com"), "搜索引擎");
  EXPECT_STREQ(WellKnownGroup("x.google.com"), "搜索引擎");
  EXPECT_STREQ(WellKnownGroup("WWW.Baidu.COM."), "搜索引擎");
  EXPECT_STREQ(WellKnownGroup("download.windowsupdate.com"), "系统更新");
  EXPECT_STREQ(WellKnownGroup("update.microsoft.com"), "系统更新");
  EXPECT_STREQ(WellKnownGroup("www.kaspersky.com"), "安全软件");
  EXPECT_STREQ(WellKnownGroup("www.so.com"), "搜索引擎");
  EXPECT_STREQ(WellKnownGroup("edge.microsoft.com"), "浏览器");  // the nearer entry wins
  EXPECT_EQ(WellKnownGroup("notgoogle.com"), nullptr);
  EXPECT_EQ(WellKnownGroup("google.com.evil.cn"), nullptr);
  EXPECT_EQ(WellKnownGroup("googlecom"), nullptr);
  EXPECT_EQ(WellKnownGroup("localhost"), nullptr);
  EXPECT_EQ(WellKnownGroup("com"), nullptr);
  EXPECT_EQ(WellKnownGroup(""), nullptr);
  EXPECT_EQ(WellKnownGroup("."), nullptr);
}

TEST(HostsText, BlockingAddressesAreTheNowhereAndLoopbackOnes) {
  for (const char* a :
       {"0.0.0.0", "127.0.0.1", "127.1.2.3", "::1", "::", "0:0:0:0:0:0:0:1", "0::1", "::1%1"})
    EXPECT_TRUE(BlockingAddress(a)) << a;
  for (const char* a : {"1.2.3.4", "10.0.0.1", "128.0.0.1", "::2", "1::", "fe80::1", "0.0.0.1",
                        "localhost", "127.0.0", "::1::"})
    EXPECT_FALSE(BlockingAddress(a)) << a;
}

TEST(HostsText, ALineGoesWithItsLineEndAndEveryOtherByteStays) {
  const std::vector<std::string> baidu = {"www.baidu.com"};
  // CRLF.
  EXPECT_EQ(Cut("# keep\r\n1.2.3.4 www.baidu.com\r\n5.6.7.8 mine.lan\r\n", 0, baidu),
            "# keep\r\n5.6.7.8 mine.lan\r\n");
  // LF.
  EXPECT_EQ(Cut("1.2.3.4 www.baidu.com\n# keep\n", 0, baidu), "# keep\n");
  // Mixed line ends: each other line keeps its own.
  EXPECT_EQ(Cut("a\r\n1.2.3.4 www.baidu.com\nb\r\nc\n", 0, baidu), "a\r\nb\r\nc\n");
  // No final line end: the last line goes, the line before keeps its end.
  EXPECT_EQ(Cut("# keep\r\n1.2.3.4 www.baidu.com", 0, baidu), "# keep\r\n");
  EXPECT_EQ(Cut("1.2.3.4 www.baidu.com", 0, baidu), "");
  // A GBK comment elsewhere stays byte for byte.
  const std::string gbk = "# \xB0\xD9\xB6\xC8\xCB\xD1\xCB\xF7\r\n";
  EXPECT_EQ(Cut(gbk + "1.2.3.4 www.baidu.com # \xD6\xD0\r\n" + gbk, 0, baidu), gbk + gbk);
  // UTF-16 LE with its mark: the units of the line and its end go, nothing else.
  EXPECT_EQ(Cut(Le("# c\r\n1.2.3.4 www.baidu.com\r\nx\r\n"), 0, baidu), Le("# c\r\nx\r\n"));
  EXPECT_EQ(Cut(Be("1.2.3.4 www.baidu.com\nx"), 0, baidu), Be("x"));
  // A UTF-8 mark stays before the next line.
  EXPECT_EQ(Cut("\xEF\xBB\xBF"
                "1.2.3.4 www.baidu.com\r\nx\r\n",
                0, baidu),
            "\xEF\xBB\xBF"
            "x\r\n");
}

TEST(HostsText, OnlyTheListedNamesGoWhenTheLineNamesOthersToo) {
  const std::vector<std::string> known = {"www.baidu.com", "www.google.com"};
  EXPECT_EQ(Cut("1.2.3.4\twww.baidu.com  intranet.lan www.google.com # note\r\nx\r\n", 0, known),
            "1.2.3.4  intranet.lan # note\r\nx\r\n");
  EXPECT_EQ(Cut(Le("1.2.3.4 mine.lan www.baidu.com\r\n"), 0, known), Le("1.2.3.4 mine.lan\r\n"));
  // Letter case does not matter; names not listed stay whatever they are.
  EXPECT_EQ(Cut("1.2.3.4 WWW.BAIDU.COM", 0, known), "");
  EXPECT_EQ(Cut("1.2.3.4 a.cn", 0, known), "1.2.3.4 a.cn");
}

TEST(HostsText, AHundredThousandLinesAreReadQuickly) {
  std::string bytes;
  for (int i = 0; i < 100000; ++i)
    bytes += "10.0." + std::to_string(i / 256 % 256) + "." + std::to_string(i % 256) + " host" +
             std::to_string(i) + ".lan\r\n";
  bytes += "1.2.3.4 www.bing.com";
  const auto start = std::chrono::steady_clock::now();
  const HostsText text = ParseHosts(bytes);
  size_t known = 0;
  for (const HostsEntry& e : text.entries)
    for (const HostsName& n : e.names)
      if (WellKnownGroup(n.text)) ++known;
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(text.entries.size(), 100001u);
  EXPECT_EQ(text.entries.back().number, 100001u);
  EXPECT_EQ(known, 1u);
  // A bound a line-by-line read keeps on any machine; a quadratic one would not.
  EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(took).count(), 30);
}

}  // namespace
}  // namespace mt
