#include "startup/win/WinStartupPlaces.h"

#include <shlobj.h>
#include <knownfolders.h>

#include "app/win/Handles.h"

namespace mt {

namespace {

std::string KnownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  std::string out;
  if (SUCCEEDED(::SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path)) && path)
    out = Narrow(path);
  ::CoTaskMemFree(path);
  return out;
}

}  // namespace

std::string WinStartupPlaces::WindowsDirectory() {
  wchar_t buffer[MAX_PATH + 1] = {};
  UINT n = ::GetWindowsDirectoryW(buffer, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return std::string();
  return Narrow(buffer, n);
}

int WinStartupPlaces::PlatformId() {
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof info;
  if (!::GetVersionExW(&info)) return 0;
  return static_cast<int>(info.dwPlatformId);
}

std::string WinStartupPlaces::KnownUserStartup() { return KnownFolder(FOLDERID_Startup); }

std::string WinStartupPlaces::KnownCommonStartup() { return KnownFolder(FOLDERID_CommonStartup); }

}  // namespace mt
