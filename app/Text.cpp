#include "app/Text.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "app/Error.h"
#include "app/Wtf8.h"

#ifdef _WIN32
#include "app/CodePage.h"
#else
#include <iconv.h>
#endif

namespace mt {

std::string FormatMessage1(const std::string& pattern, const std::string& arg) {
  std::string out = pattern;
  size_t at = out.find("%s");
  if (at != std::string::npos) out.replace(at, 2, arg);
  return out;
}

std::string FormatMessage2(const std::string& pattern, const std::string& a, const std::string& b) {
  std::string out = pattern;
  size_t at = out.find("%s");
  if (at == std::string::npos) return out;
  out.replace(at, 2, a);
  at = out.find("%s", at + a.size());
  if (at != std::string::npos) out.replace(at, 2, b);
  return out;
}

std::string ErrorReportText(const std::string& message) {
  char32_t last = LastCodePoint(message);
  bool alnum = (last >= U'0' && last <= U'9') || (last >= U'a' && last <= U'z') ||
               (last >= U'A' && last <= U'Z');
  if (alnum || IsCjkIdeograph(last)) return message + ".";
  return message;
}

std::string TrimControl(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
  return s.substr(b, e - b);
}

void AppendUtf8(std::string& out, char32_t c) {
  if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

char32_t NextCodePoint(const std::string& s, size_t& pos) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(s.data());
  const char32_t c = wtf8::DecodeOne(bytes, s.size(), pos);
  if (wtf8::IsHigh(c) && pos < s.size() && bytes[pos] == 0xED) {
    size_t next = pos;
    const char32_t low = wtf8::DecodeOne(bytes, s.size(), next);
    if (wtf8::IsLow(low)) {
      pos = next;
      return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
    }
  }
  return c;
}

char32_t LastCodePoint(const std::string& s) {
  if (s.empty()) return 0;
  size_t start = s.size() - 1;
  while (start > 0 && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80 && s.size() - start < 4)
    --start;
  size_t pos = start;
  char32_t cp = NextCodePoint(s, pos);
  return pos == s.size() ? cp : 0xFFFD;
}

bool IsCjkIdeograph(char32_t c) {
  return (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0x20000 && c <= 0x3134F);
}

std::optional<int32_t> ParseInt32(const std::string& text) {
  std::string s = TrimControl(text);
  if (s.empty()) return std::nullopt;
  size_t i = 0;
  bool negative = false;
  if (s[i] == '+' || s[i] == '-') negative = s[i++] == '-';
  int base = 10;
  if (i < s.size() && s[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= s.size()) return std::nullopt;
  long long value = 0;
  for (; i < s.size(); ++i) {
    char c = s[i];
    int d = (c >= '0' && c <= '9')                 ? c - '0'
            : (base == 16 && c >= 'a' && c <= 'f') ? c - 'a' + 10
            : (base == 16 && c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                   : -1;
    if (d < 0) return std::nullopt;
    value = value * base + d;
    if (value > 0x100000000LL) return std::nullopt;
  }
  if (negative) value = -value;
  if (base == 16 && !negative && value <= 0xFFFFFFFFLL)
    return static_cast<int32_t>(static_cast<uint32_t>(value));
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x += 32;
    if (y >= 'A' && y <= 'Z') y += 32;
    if (x != y) return false;
  }
  return true;
}

bool EndsWithNoCase(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && EqualsNoCase(s.substr(s.size() - tail.size()), tail);
}

bool StartsWithNoCase(const std::string& s, const std::string& head) {
  return s.size() >= head.size() && EqualsNoCase(s.substr(0, head.size()), head);
}

std::string OneLineShort(const std::string& text, size_t maxChars) {
  size_t pos = 0, chars = 0;
  while (pos < text.size() && chars < maxChars) {
    NextCodePoint(text, pos);
    ++chars;
  }
  std::string out = text.substr(0, pos);
  for (char& c : out)
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  return pos < text.size() ? out + "…" : out;
}

bool IsGuidText(const std::string& s) {
  std::string t = s;
  if (t.size() == 38 && t.front() == '{' && t.back() == '}') t = t.substr(1, 36);
  if (t.size() != 36) return false;
  for (size_t i = 0; i < t.size(); ++i) {
    const char c = t[i];
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (c != '-') return false;
    } else if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) {
      return false;
    }
  }
  return true;
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t at = s.find(sep, start);
    parts.push_back(s.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) break;
    start = at + 1;
  }
  return parts;
}

#ifdef _WIN32
std::string GbkToUtf8(const std::string& gbk) { return Recode(gbk, 936, CP_UTF8); }
std::string Utf8ToGbk(const std::string& utf8) { return Recode(utf8, CP_UTF8, 936); }
#else
namespace {
std::string Convert(const std::string& in, const char* from, const char* to,
                    const std::string& bad) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) throw AppError("iconv_open failed");
  std::string out;
  char buf[4096];
  char* src = const_cast<char*>(in.data());
  size_t left = in.size();
  while (left > 0) {
    char* dst = buf;
    size_t room = sizeof buf;
    size_t r = iconv(cd, &src, &left, &dst, &room);
    out.append(buf, static_cast<size_t>(dst - buf));
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      // Skip one undecodable unit: a byte of GBK, or one whole UTF-8 character.
      size_t pos = 0;
      std::string rest(src, left);
      if (std::string(from) == "UTF-8") NextCodePoint(rest, pos);
      else pos = 1;
      src += pos;
      left -= pos;
      out += bad;
    }
  }
  iconv_close(cd);
  return out;
}
}  // namespace
std::string GbkToUtf8(const std::string& gbk) {
  return Convert(gbk, "GBK", "UTF-8", "\xEF\xBF\xBD");
}
std::string Utf8ToGbk(const std::string& utf8) { return Convert(utf8, "UTF-8", "GBK", "?"); }
#endif

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string LowerHex(const void* data, size_t n) {
  static const char digits[] = "0123456789abcdef";
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::string out;
  out.reserve(2 * n);
  for (size_t i = 0; i < n; ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
  return out;
}

std::string Utf16Le(const std::string& utf8) {
  std::u16string units(utf8.size(), u'\0');
  units.resize(
      static_cast<size_t>(wtf8::ToUtf16(utf8.data(), utf8.size(), units.data()) - units.data()));
  std::string out(2 * units.size(), '\0');
  for (size_t i = 0; i < units.size(); ++i) {
    out[2 * i] = static_cast<char>(units[i] & 0xFF);
    out[2 * i + 1] = static_cast<char>(units[i] >> 8);
  }
  return out;
}

std::string FromUtf16Le(const std::string& utf16le) {
  std::u16string units(utf16le.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(utf16le[2 * i]) |
                                     static_cast<unsigned char>(utf16le[2 * i + 1]) << 8);
  std::string out(wtf8::SizeOf(units.data(), units.size()), '\0');
  wtf8::FromUtf16(units.data(), units.size(), out.data());
  return out;
}

std::string ReadableUtf8(const std::string& wtf8) {
  size_t pos = 0;
  while (pos < wtf8.size() && static_cast<unsigned char>(wtf8[pos]) < 0x80) ++pos;
  if (pos == wtf8.size()) return wtf8;
  std::string out = wtf8.substr(0, pos);
  out.reserve(wtf8.size());
  while (pos < wtf8.size()) AppendUtf8(out, NextCodePoint(wtf8, pos));
  return out;
}

}  // namespace mt
