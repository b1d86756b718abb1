#include "browser/win/WinIconSource.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cwchar>

#include "app/win/Handles.h"

namespace mt {

int WinIconSource::AppendAssociatedIcon(ImageListRef list, const std::string& path,
                                        uint16_t index) {
  // The shell may write the path of the file it took the icon from back into the buffer.
  wchar_t buffer[MAX_PATH] = {};
  std::wstring wide = Widen(path);
  wcsncpy(buffer, wide.c_str(), MAX_PATH - 1);
  WORD iconIndex = index;
  UniqueIcon icon(::ExtractAssociatedIconW(::GetModuleHandleW(nullptr), buffer, &iconIndex));
  if (!icon || !list) return -1;
  // Position -1 appends; the image list keeps its own copy of the icon.
  return ::ImageList_ReplaceIcon(static_cast<HIMAGELIST>(list), -1, icon.get());
}

std::string WinIconSource::ShortPath(const std::string& path) {
  wchar_t buffer[256] = {};
  std::wstring wide = Widen(path);
  DWORD length = ::GetShortPathNameW(wide.c_str(), buffer, 256);
  // A failed conversion, or one that would need more than 255 characters, gives nothing.
  if (length == 0 || length >= 256) return std::string();
  buffer[255] = L'\0';
  return Narrow(buffer, wcslen(buffer));
}

}  // namespace mt
