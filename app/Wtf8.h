// The program's UTF-8 <-> UTF-16 conversion, lossless for every sequence of UTF-16 units.
// Names in the registry and the file system are UTF-16 that need not be well formed: a lone
// surrogate (a high one without its low one, or the other way round) is allowed there. Such a
// unit is kept in the UTF-8 text as the three bytes the UTF-8 scheme gives its number
// (ED A0 80 .. ED BF BF), so that converting back yields the same unit again ("WTF-8"). A
// proper pair always becomes its one four-byte character; two such three-byte forms that
// make a pair decode to that pair as well. Bytes that are not UTF-8 decode to U+FFFD.
//
// Header-only so that Widen/Narrow (app/CodePage) write straight into their wchar_t buffers
// and app/Text into its char16_t ones.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mt::wtf8 {

// Decodes the character at s[pos] (n bytes in all) and advances pos past it. A surrogate's
// three-byte form comes back as that surrogate, alone. A malformed sequence comes back as
// U+FFFD; pos then moves past its lead byte and the continuation bytes that could still
// have belonged to it (one U+FFFD per broken sequence, not per byte).
inline char32_t DecodeOne(const unsigned char* s, size_t n, size_t& pos) {
  const unsigned char b = s[pos];
  if (b < 0x80) {
    ++pos;
    return b;
  }
  int extra;
  char32_t cp;
  unsigned char lo = 0x80, hi = 0xBF;  // the range of the first continuation byte
  if (b >= 0xC2 && b <= 0xDF) {
    extra = 1;
    cp = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    extra = 2;
    cp = b & 0x0F;
    if (b == 0xE0) lo = 0xA0;  // no overlong forms; ED A0..BF (surrogates) is allowed
  } else if (b >= 0xF0 && b <= 0xF4) {
    extra = 3;
    cp = b & 0x07;
    if (b == 0xF0) lo = 0x90;  // no overlong forms
    if (b == 0xF4) hi = 0x8F;  // nothing past U+10FFFF
  } else {
    ++pos;
    return 0xFFFD;
  }
  size_t i = pos + 1;
  for (int k = 0; k < extra; ++k, ++i) {
    if (i >= n || s[i] < lo || s[i] > hi) {
      pos = i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (s[i] & 0x3F);
    lo = 0x80;
    hi = 0xBF;
  }
  pos = i;
  return cp;
}

// Writes the UTF-16 units of the n bytes at `text` to `out`, which has room for n units
// (a text never has more units than bytes); returns the end of what was written.
template <class Unit>
Unit* ToUtf16(const char* text, size_t n, Unit* out) {
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  size_t pos = 0;
  while (pos < n) {
    if (s[pos] < 0x80) {
      *out++ = static_cast<Unit>(s[pos++]);
      continue;
    }
    char32_t c = DecodeOne(s, n, pos);
    if (c >= 0x10000) {
      c -= 0x10000;
      *out++ = static_cast<Unit>(0xD800 + (c >> 10));
      *out++ = static_cast<Unit>(0xDC00 + (c & 0x3FF));
    } else {
      *out++ = static_cast<Unit>(c);
    }
  }
  return out;
}

inline bool IsHigh(uint32_t u) { return u >= 0xD800 && u < 0xDC00; }
inline bool IsLow(uint32_t u) { return u >= 0xDC00 && u < 0xE000; }

// The number of bytes FromUtf16 writes for n units.
template <class Unit>
size_t SizeOf(const Unit* units, size_t n) {
  size_t size = n;
  for (size_t i = 0; i < n; ++i) {
    const uint32_t u = static_cast<uint16_t>(units[i]);
    if (u < 0x80) continue;
    if (u < 0x800) {
      size += 1;
    } else {
      size += 2;  // three bytes for one unit, or four for a pair of two
      if (IsHigh(u) && i + 1 < n && IsLow(static_cast<uint16_t>(units[i + 1]))) ++i;
    }
  }
  return size;
}

// Writes n UTF-16 units as WTF-8 to `out` (room for SizeOf(units, n) bytes); returns the
// end of what was written.
template <class Unit>
char* FromUtf16(const Unit* units, size_t n, char* out) {
  for (size_t i = 0; i < n; ++i) {
    uint32_t u = static_cast<uint16_t>(units[i]);
    if (u < 0x80) {
      *out++ = static_cast<char>(u);
    } else if (u < 0x800) {
      *out++ = static_cast<char>(0xC0 | (u >> 6));
      *out++ = static_cast<char>(0x80 | (u & 0x3F));
    } else if (IsHigh(u) && i + 1 < n && IsLow(static_cast<uint16_t>(units[i + 1]))) {
      u = 0x10000 + ((u - 0xD800) << 10) + (static_cast<uint16_t>(units[++i]) - 0xDC00);
      *out++ = static_cast<char>(0xF0 | (u >> 18));
      *out++ = static_cast<char>(0x80 | ((u >> 12) & 0x3F));
      *out++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      *out++ = static_cast<char>(0x80 | (u & 0x3F));
    } else {
      *out++ = static_cast<char>(0xE0 | (u >> 12));
      *out++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      *out++ = static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

}  // namespace mt::wtf8
