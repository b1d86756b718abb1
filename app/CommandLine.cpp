#include "app/CommandLine.h"

namespace mt {

namespace {

template <typename Char>
std::basic_string<Char> Quote(const std::basic_string<Char>& argument) {
  const Char quote = static_cast<Char>('"'), backslash = static_cast<Char>('\\');
  std::basic_string<Char> out(1, quote);
  size_t backslashes = 0;
  for (Char c : argument) {
    if (c == backslash) {
      ++backslashes;
      continue;
    }
    if (c == quote) {
      // The backslashes before a quote are doubled and one more escapes the quote itself.
      out.append(backslashes * 2 + 1, backslash);
    } else {
      out.append(backslashes, backslash);  // elsewhere backslashes stand for themselves
    }
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, backslash);  // they come before the closing quote
  out += quote;
  return out;
}

}  // namespace

std::string QuoteArgument(const std::string& argument) { return Quote(argument); }
std::wstring QuoteArgument(const std::wstring& argument) { return Quote(argument); }

}  // namespace mt
