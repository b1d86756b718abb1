#include "app/CodePage.h"

#ifdef _WIN32
#include "app/Wtf8.h"

namespace mt {

std::wstring Widen(const std::string& text, UINT codePage) {
  if (text.empty()) return std::wstring();
  if (codePage == CP_UTF8) {
    // The program's own decoder: it keeps lone surrogates (app/Wtf8.h).
    std::wstring out(text.size(), L'\0');
    out.resize(
        static_cast<size_t>(wtf8::ToUtf16(text.data(), text.size(), out.data()) - out.data()));
    return out;
  }
  const int size = static_cast<int>(text.size());
  int n = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(codePage, 0, text.data(), size, out.data(), n);
  return out;
}

std::string Narrow(const wchar_t* utf16, size_t length, UINT codePage) {
  if (length == 0) return std::string();
  if (codePage == CP_UTF8) {
    std::string out(wtf8::SizeOf(utf16, length), '\0');
    wtf8::FromUtf16(utf16, length, out.data());
    return out;
  }
  const int size = static_cast<int>(length);
  int n = WideCharToMultiByte(codePage, 0, utf16, size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(codePage, 0, utf16, size, out.data(), n, nullptr, nullptr);
  return out;
}

std::string Narrow(const std::wstring& utf16) { return Narrow(utf16.data(), utf16.size()); }

std::string Recode(const std::string& text, UINT from, UINT to) {
  const std::wstring utf16 = Widen(text, from);
  return Narrow(utf16.data(), utf16.size(), to);
}

}  // namespace mt
#endif
