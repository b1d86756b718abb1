// Text in the system's code pages, through UTF-16: the conversions every Win32 call and the
// GBK of network bodies go through. Inside, text is UTF-8; a call that takes UTF-16 gets
// Widen(text), and what it returns comes back through Narrow. Bytes in another code page
// (GBK: 936, or the system's CP_ACP) go through the same two functions. Windows builds only;
// elsewhere app/Text.h's GBK conversions stand on iconv.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <cstddef>
#include <string>

namespace mt {

// `text` in `codePage` (UTF-8 unless told) as UTF-16. UTF-8 goes through app/Wtf8.h: a lone
// surrogate's three-byte form becomes that unit again, so Widen(Narrow(w)) == w for any w.
std::wstring Widen(const std::string& text, UINT codePage = CP_UTF8);
// UTF-16 as UTF-8 (lone surrogates in their three-byte form), or as `codePage` text (a character the code page cannot hold becomes its
// default character).
std::string Narrow(const std::wstring& utf16);
std::string Narrow(const wchar_t* utf16, size_t length, UINT codePage = CP_UTF8);
// `text` from one code page to another, through UTF-16.
std::string Recode(const std::string& text, UINT from, UINT to);

}  // namespace mt
#endif
