// The wire form of a download address taken from the Update page (GBK bytes).
#include <gtest/gtest.h>

#include "update/HttpUrl.h"

namespace mt {
namespace {

// Undoes every %XX escape.
std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

TEST(EscapeRequestTarget, GbkBytesAndBlanksTravelAsTheirOwnBytes) {
  // "安装包 新版.exe" in GBK, in the path and in the query.
  const std::string gbk = "\xB0\xB2\xD7\xB0\xB0\xFC \xD0\xC2\xB0\xE6";
  EXPECT_EQ(EscapeRequestTarget("/soft/" + gbk + ".exe?name=" + gbk),
            "/soft/%B0%B2%D7%B0%B0%FC%20%D0%C2%B0%E6.exe"
            "?name=%B0%B2%D7%B0%B0%FC%20%D0%C2%B0%E6");
  // A trail byte in the ASCII range stays the page's byte: "乗" is 81 5C, "亅" 81 7C.
  EXPECT_EQ(EscapeRequestTarget("/\x81\\\x81|.exe"), "/%81%5C%81%7C.exe");
  EXPECT_EQ(EscapeRequestTarget("/\x80\xFF"), "/%80%FF");
}

TEST(EscapeRequestTarget, ExistingEscapesAndAllowedBytesAreLeftAlone) {
  EXPECT_EQ(EscapeRequestTarget("/a%20b/%e5%AE%89.exe?q=%2F"), "/a%20b/%e5%AE%89.exe?q=%2F");
  const std::string allowed = "/AZaz09-._~!$&'()*+,;=:@/?x=1&y=a+b";
  EXPECT_EQ(EscapeRequestTarget(allowed), allowed);
  // A "%" that starts no escape is a byte like any other.
  EXPECT_EQ(EscapeRequestTarget("/100%.exe"), "/100%25.exe");
  EXPECT_EQ(EscapeRequestTarget("/%G1%4"), "/%25G1%254");
}

TEST(EscapeRequestTarget, NothingCanBreakTheRequestLine) {
  EXPECT_EQ(EscapeRequestTarget("/a\r\nHost: x\tb\x7F"), "/a%0D%0AHost:%20x%09b%7F");
  EXPECT_EQ(EscapeRequestTarget(std::string("/\0z", 3)), "/%00z");
  EXPECT_EQ(EscapeRequestTarget("/\"<>\\^`{|}[]#"), "/%22%3C%3E%5C%5E%60%7B%7C%7D%5B%5D%23");
  // Every byte comes out as printable ASCII and decodes back to itself.
  for (int b = 0; b < 256; ++b) {
    const std::string in(1, static_cast<char>(b));
    const std::string out = EscapeRequestTarget(in);
    for (char c : out) ASSERT_TRUE(c > 0x20 && c < 0x7F) << b;
    EXPECT_EQ(Unescape(out), in) << b;
  }
}

TEST(SplitHttpUrl, OriginAsGivenTargetInWireForm) {
  HttpUrlParts p = SplitHttpUrl(
      "http://user@www.example.com:8080/\xC9\xFD\xBC\xB6/a b.exe?v=1#top");
  EXPECT_EQ(p.origin, "http://user@www.example.com:8080");
  EXPECT_EQ(p.target, "/%C9%FD%BC%B6/a%20b.exe?v=1");  // the fragment is not sent

  p = SplitHttpUrl("http://h?q=\xB0\xB2");
  EXPECT_EQ(p.origin, "http://h");
  EXPECT_EQ(p.target, "/?q=%B0%B2");
  for (const char* bare : {"http://h", "http://h/", "http://h#x"}) {
    EXPECT_EQ(SplitHttpUrl(bare).origin, "http://h") << bare;
    EXPECT_EQ(SplitHttpUrl(bare).target, "/") << bare;
  }
  // No "://": nothing to split; the client refuses such an address.
  EXPECT_EQ(SplitHttpUrl("not a url").origin, "not a url");
  EXPECT_EQ(SplitHttpUrl("not a url").target, "");
  EXPECT_EQ(SplitHttpUrl("").origin, "");
}

}  // namespace
}  // namespace mt
