// The program's UTF-8 <-> UTF-16 conversion keeps malformed UTF-16 (lone surrogates), so
// that names read from the registry or the file system can be written back unchanged; and
// ReadableUtf8 makes such text valid UTF-8 for display and JSON.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "app/Text.h"
#ifdef _WIN32
#include "app/CodePage.h"
#endif

namespace mt {
namespace {

// UTF-16LE bytes of the given units.
std::string Units(std::initializer_list<uint16_t> units) {
  std::string out;
  for (uint16_t u : units) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  }
  return out;
}

TEST(LosslessText, LoneSurrogatesKeepTheirThreeByteFormBothWays) {
  struct Case {
    std::string units, wtf8;
  };
  const Case cases[] = {
      {Units({'R', 'u', 'n', 0xD800, 'x'}), "Run\xED\xA0\x80x"},  // lone high
      {Units({0xDFFF}), "\xED\xBF\xBF"},                          // lone low
      {Units({0xDBFF, 'a'}),
       "\xED\xAF\xBF"
       "a"},                                                  // high, then no low
      {Units({'a', 0xD800}), "a\xED\xA0\x80"},                // high at the very end
      {Units({0xDC00, 0xD800}), "\xED\xB0\x80\xED\xA0\x80"},  // low before high: no pair
      {Units({0xD83D, 0xDE00}), "\xF0\x9F\x98\x80"},          // a proper pair
      {Units({0xD800, 0xD83D, 0xDE00}), "\xED\xA0\x80\xF0\x9F\x98\x80"},
      {Units({0x4E2D, 0x00E9, 0, 0xFFFF}), std::string("\xE4\xB8\xAD\xC3\xA9\0\xEF\xBF\xBF", 9)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FromUtf16Le(c.units), c.wtf8);
    EXPECT_EQ(Utf16Le(c.wtf8), c.units);
  }
}

TEST(LosslessText, EveryUnitSequenceRoundTrips) {
  for (uint32_t u = 0; u < 0x10000; ++u) {
    const std::string one = Units({static_cast<uint16_t>(u)});
    ASSERT_EQ(Utf16Le(FromUtf16Le(one)), one) << std::hex << u;
  }
  // Random sequences, mostly of surrogates and their neighbours, where pairs and lone
  // halves sit next to each other.
  std::mt19937 rng(29);
  const uint16_t pool[] = {'a',    0x7F,   0x80,   0x7FF,  0x800,  0x4E2D, 0xD7FF, 0xD800,
                           0xDBFF, 0xDC00, 0xDFFF, 0xE000, 0xFFFD, 0xFFFF, 0};
  for (int round = 0; round < 20000; ++round) {
    std::string units;
    const size_t n = rng() % 9;
    for (size_t i = 0; i < n; ++i) {
      uint16_t u = pool[rng() % (sizeof pool / sizeof pool[0])];
      if (rng() % 4 == 0) u = static_cast<uint16_t>(rng());
      units += Units({u});
    }
    ASSERT_EQ(Utf16Le(FromUtf16Le(units)), units) << ::testing::PrintToString(units);
  }
  // An odd last byte is dropped.
  EXPECT_EQ(FromUtf16Le(Units({'a'}) + "\x62"), "a");
}

TEST(LosslessText, HalvesOfAPairWrittenApartAreJoined) {
  // Two three-byte forms that make a pair are that pair in UTF-16, and come back in the
  // proper four-byte form; one code point for NextCodePoint.
  const std::string halves = "\xED\xA0\xBD\xED\xB8\x80";
  EXPECT_EQ(Utf16Le(halves), Units({0xD83D, 0xDE00}));
  EXPECT_EQ(FromUtf16Le(Utf16Le(halves)), "\xF0\x9F\x98\x80");
  size_t pos = 0;
  EXPECT_EQ(NextCodePoint(halves, pos), U'\U0001F600');
  EXPECT_EQ(pos, 6u);
  // A high half followed by something else stays alone.
  const std::string lone =
      "\xED\xA0\xBD"
      "b\xED\xB8\x80";
  pos = 0;
  EXPECT_EQ(NextCodePoint(lone, pos), 0xD83Du);
  EXPECT_EQ(pos, 3u);
  EXPECT_EQ(NextCodePoint(lone, pos), U'b');
  EXPECT_EQ(NextCodePoint(lone, pos), 0xDE00u);
  EXPECT_EQ(pos, lone.size());
}

TEST(LosslessText, BytesThatAreNoUtf8BecomeReplacementCharacters) {
  const std::string r = "\xEF\xBF\xBD";
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"\xFF", r},
      {"a\x80"
       "b",
       "a" + r + "b"},
      {"\xC0\x80", r + r},          // overlong NUL
      {"\xE0\x80\xAF", r + r + r},  // overlong "/"
      {"\xE4\xB8"
       "A",
       r + "A"},                                         // cut short: one for the whole start
      {"\xE4\xB8", r},                                   // cut short at the end
      {"\xF4\x90\x80\x80", r + r + r + r},               // past U+10FFFF
      {"\xF0\x9F\x98", r},                               // four-byte form cut short
      {"\xC3\xA9\xE4\xB8\xAD", "\xC3\xA9\xE4\xB8\xAD"},  // valid text passes
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FromUtf16Le(Utf16Le(c.in)), c.out) << ::testing::PrintToString(c.in);
    EXPECT_EQ(FromUtf16Le(Utf16Le(c.in)), ReadableUtf8(c.in));
  }
}

TEST(LosslessText, ReadableTextIsValidUtf8ForJson) {
  EXPECT_EQ(ReadableUtf8("plain ascii"), "plain ascii");
  EXPECT_EQ(ReadableUtf8("启动项 \xF0\x9F\x98\x80"), "启动项 \xF0\x9F\x98\x80");
  EXPECT_EQ(ReadableUtf8("Run\xED\xA0\x80x"), "Run\xEF\xBF\xBDx");
  EXPECT_EQ(ReadableUtf8("\xED\xA0\xBD\xED\xB8\x80"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(ReadableUtf8("a\xC0"), "a\xEF\xBF\xBD");
  // The JSON writer refuses the raw form and takes the readable one.
  const std::string name = FromUtf16Le(Units({'R', 0xDC00}));
  EXPECT_THROW(nlohmann::json(name).dump(), nlohmann::json::type_error);
  EXPECT_EQ(nlohmann::json(ReadableUtf8(name)).dump(), "\"R\xEF\xBF\xBD\"");
}

#ifdef _WIN32
TEST(LosslessText, WidenAndNarrowKeepLoneSurrogates) {
  const std::wstring name = L"Run\xD800x";
  EXPECT_EQ(Narrow(name), "Run\xED\xA0\x80x");
  EXPECT_EQ(Widen(Narrow(name)), name);
  const std::wstring odd[] = {L"\xDC00", L"a\xDBFF", L"\xDC00\xD800", std::wstring(L"x\0y", 3)};
  for (const std::wstring& w : odd) EXPECT_EQ(Widen(Narrow(w)), w);
  EXPECT_EQ(Widen("\xED\xA0\xBD\xED\xB8\x80"), L"\xD83D\xDE00");
  EXPECT_EQ(Narrow(L"\xD83D\xDE00"), "\xF0\x9F\x98\x80");
  // Everything else as the system converts it.
  for (const std::string& text :
       {std::string("升级v1.4 é \xF0\x9F\x98\x80"), std::string(300, 'a')}) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0);
    std::wstring system(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), system.data(), n);
    EXPECT_EQ(Widen(text), system);
    EXPECT_EQ(Narrow(system), text);
  }
  EXPECT_EQ(Widen("a\xFF"
                  "b"),
            L"a\xFFFD"
            L"b");
  // Other code pages still go through the system.
  EXPECT_EQ(Narrow(L"升级", 2, 936), "\xC9\xFD\xBC\xB6");
  EXPECT_EQ(Widen("\xC9\xFD\xBC\xB6", 936), L"升级");
}
#endif

}  // namespace
}  // namespace mt
