// QuoteArgument: the exact text natively; under Windows every case also goes through the
// system's own splitter (CommandLineToArgvW) and must come back as the same argument.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/CommandLine.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace mt {
namespace {

struct Case {
  std::wstring argument;
  std::wstring quoted;
};

// Arguments that would split, merge with their neighbour or smuggle in another command when
// written naively.
const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      {L"plain", L"\"plain\""},
      {L"", L"\"\""},
      {L"C:\\Program Files\\My App\\setup.exe", L"\"C:\\Program Files\\My App\\setup.exe\""},
      {L"D:\\", L"\"D:\\\\\""},                          // a root: the closing quote stays one
      {L"D:\\data\\\\\\", L"\"D:\\data\\\\\\\\\\\\\""},  // three trailing become six
      {L"\\\\srv\\share", L"\"\\\\srv\\share\""},        // leading ones stand for themselves
      {L"a\"b", L"\"a\\\"b\""},
      {L"a\\\"b", L"\"a\\\\\\\"b\""},        // one before a quote: 2n+1 = 3
      {L"a\\\\\"b", L"\"a\\\\\\\\\\\"b\""},  // two before a quote: 2n+1 = 5
      {L"\"", L"\"\\\"\""},
      {L"x\" & calc.exe & \"", L"\"x\\\" & calc.exe & \\\"\""},
      {L"x\\\" /d & \"y", L"\"x\\\\\\\" /d & \\\"y\""},
      {L"tab\there", L"\"tab\there\""},
      {L"资料 备份\\", L"\"资料 备份\\\\\""},
  };
  return cases;
}

std::string Narrow8(const std::wstring& w) {
  std::string out;
  for (wchar_t c : w) {
    if (c >= 0x80) return {};  // only ASCII cases are checked in the 8-bit form
    out += static_cast<char>(c);
  }
  return out;
}

TEST(QuoteArgument, QuotesAlwaysAndEscapesOnlyWhereAQuoteFollows) {
  for (const Case& c : Cases()) EXPECT_EQ(QuoteArgument(c.argument), c.quoted) << c.quoted;
}

TEST(QuoteArgument, Utf8TextIsQuotedByteForByteLikeUtf16) {
  for (const Case& c : Cases()) {
    std::string narrow = Narrow8(c.argument);
    if (narrow.empty() && !c.argument.empty()) continue;
    EXPECT_EQ(QuoteArgument(narrow), Narrow8(c.quoted));
  }
  // Lead and trail bytes of UTF-8 are all >= 0x80: none of them reads as "\" or a quote.
  EXPECT_EQ(QuoteArgument(std::string("资料\\")), "\"资料\\\\\"");
}

#ifdef _WIN32
std::vector<std::wstring> SplitLikeWindows(const std::wstring& line) {
  int count = 0;
  LPWSTR* argv = ::CommandLineToArgvW(line.c_str(), &count);
  std::vector<std::wstring> out;
  if (!argv) return out;
  for (int i = 0; i < count; ++i) out.emplace_back(argv[i]);
  ::LocalFree(argv);
  return out;
}

TEST(QuoteArgument, CommandLineToArgvWGivesEveryArgumentBack) {
  for (const Case& c : Cases()) {
    // Between a program name and a following argument, so that a quote that ends too early
    // or a trailing backslash that escapes the closing quote shows as a wrong count.
    std::wstring line = L"prog.exe " + QuoteArgument(c.argument) + L" next";
    std::vector<std::wstring> args = SplitLikeWindows(line);
    ASSERT_EQ(args.size(), 3u) << c.quoted;
    EXPECT_EQ(args[1], c.argument) << c.quoted;
    EXPECT_EQ(args[2], L"next") << c.quoted;
  }
}

TEST(QuoteArgument, AllCasesOnOneLineStayApart) {
  std::wstring line = L"prog.exe";
  for (const Case& c : Cases()) line += L" " + QuoteArgument(c.argument);
  std::vector<std::wstring> args = SplitLikeWindows(line);
  ASSERT_EQ(args.size(), Cases().size() + 1);
  for (size_t i = 0; i < Cases().size(); ++i) EXPECT_EQ(args[i + 1], Cases()[i].argument);
}
#endif

}  // namespace
}  // namespace mt
