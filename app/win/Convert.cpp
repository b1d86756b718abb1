#include <windows.h>

#include <string>

#include "app/win/Handles.h"

namespace mt {

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string Narrow(const wchar_t* utf16, size_t length) {
  if (length == 0) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, utf16, static_cast<int>(length), nullptr, 0, nullptr,
                              nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16, static_cast<int>(length), out.data(), n, nullptr, nullptr);
  return out;
}

std::string Narrow(const std::wstring& utf16) { return Narrow(utf16.data(), utf16.size()); }

std::string SystemErrorText(DWORD code) {
  wchar_t* buffer = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = n && buffer ? std::wstring(buffer, n) : std::wstring();
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
    text.pop_back();
  if (text.empty()) return "System error " + std::to_string(code);
  return Narrow(text);
}

}  // namespace mt
