#include "startup/win/WinStartupPlaces.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <knownfolders.h>

#include "app/win/Handles.h"
#include "app/win/WinServices.h"

namespace mt {

namespace {

std::string KnownFolder(REFKNOWNFOLDERID id) {
  UniqueCoTaskMemString path;
  std::string out;
  if (SUCCEEDED(::SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, path.put())) && path)
    out = Narrow(path.get());
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

ProgramLookup WinProgramLookup() {
  ProgramLookup lookup;
  lookup.variable = WinEnvironmentVariable;
  lookup.exists = [](const std::string& path) {
    const DWORD a = ::GetFileAttributesW(Widen(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
  };
  wchar_t buffer[MAX_PATH + 1] = {};
  UINT n = ::GetSystemDirectoryW(buffer, MAX_PATH + 1);
  if (n > 0 && n <= MAX_PATH) lookup.searchFolders.push_back(Narrow(buffer, n));
  n = ::GetWindowsDirectoryW(buffer, MAX_PATH + 1);
  if (n > 0 && n <= MAX_PATH) lookup.searchFolders.push_back(Narrow(buffer, n));
  return lookup;
}

std::string WinStartupPlaces::KnownUserStartup() { return KnownFolder(FOLDERID_Startup); }

std::string WinStartupPlaces::KnownCommonStartup() { return KnownFolder(FOLDERID_CommonStartup); }

std::string WinStartupPlaces::IndirectString(const std::string& source) {
  // A display name is at most 256 characters; the resource may hold a longer text, cut.
  wchar_t buffer[1024] = {};
  if (FAILED(::SHLoadIndirectString(Widen(source).c_str(), buffer, 1024, nullptr))) return {};
  return Narrow(buffer);
}

}  // namespace mt
