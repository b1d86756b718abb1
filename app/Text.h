// Text helpers. Inside the program every string is UTF-8; conversion to UTF-16 happens only
// at the Win32 call, and bytes from the network (GBK) are decoded explicitly.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mt {

// Removes leading and trailing characters with a code of 32 or less (blanks, tabs, CR, LF).
std::string TrimControl(const std::string& s);

// Text inside the program is UTF-8 that may also hold lone surrogates in their three-byte
// form, so that names read from the system go back unchanged (app/Wtf8.h).

// The next code point of the text at `pos` (advancing it). A lone surrogate comes back as
// itself; two three-byte forms that make a surrogate pair come back as the one code point
// of the pair; a malformed sequence as U+FFFD.
char32_t NextCodePoint(const std::string& s, size_t& pos);
// Appends code point `c` as UTF-8; a surrogate or a value past U+10FFFF becomes U+FFFD, so
// that what this appends is always valid UTF-8.
void AppendUtf8(std::string& out, char32_t c);
// The text as UTF-16LE bytes, without a terminator; a lone surrogate becomes its unit.
std::string Utf16Le(const std::string& utf8);
// UTF-16LE bytes to text; an odd last byte is dropped. Lossless:
// Utf16Le(FromUtf16Le(x)) == x for every even-length x.
std::string FromUtf16Le(const std::string& utf16le);
// The text as valid UTF-8 for display and JSON: lone surrogates (and malformed bytes) as
// U+FFFD. Text that is valid UTF-8 already comes back unchanged.
std::string ReadableUtf8(const std::string& wtf8);
// The last code point of UTF-8 text, or 0 for an empty text.
char32_t LastCodePoint(const std::string& s);
bool IsCjkIdeograph(char32_t c);

// Whole decimal number, optionally signed, optionally in hexadecimal with a "$" or "0x"
// prefix; surrounding blanks are allowed. Empty when the text is not such a number or it
// does not fit into 32 bits.
std::optional<int32_t> ParseInt32(const std::string& s);

// Case-insensitive comparison of ASCII letters; other bytes must match exactly. This is how
// the registry and profile files compare names. Views, so that parts of a text compare in
// place.
bool EqualsNoCase(std::string_view a, std::string_view b);
// True when `s` ends with `tail`, compared as EqualsNoCase does (".LNK" ends "a.lnk").
bool EndsWithNoCase(const std::string& s, const std::string& tail);
// True when `s` begins with `head`, compared the same way.
bool StartsWithNoCase(const std::string& s, const std::string& head);

// A value as a one-line list shows it: at most `maxChars` code points (never cut inside a
// character) with "…" after a cut, line breaks and tabs as blanks.
std::string OneLineShort(const std::string& text, size_t maxChars);

// "8-4-4-4-12" hexadecimal digits, with or without braces: how the system names the keys of
// its own objects (classes, enrolments, accounts).
bool IsGuidText(const std::string& s);

// GBK (code page 936) bytes to UTF-8 and back. Bytes that do not decode become U+FFFD;
// characters that GBK cannot hold become "?".
std::string GbkToUtf8(const std::string& gbk);
std::string Utf8ToGbk(const std::string& utf8);

// Splits at every occurrence of `sep`.
std::vector<std::string> Split(const std::string& s, char sep);

// ASCII letters in lower case, every other byte as it is (the way Windows compares names).
std::string LowerAscii(std::string s);

// Two lower-case hex digits per byte, in order ("00ff" for the bytes 0x00 0xff).
std::string LowerHex(const void* data, size_t n);

}  // namespace mt
