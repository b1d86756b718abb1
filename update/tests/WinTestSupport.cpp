#include "update/tests/WinTestSupport.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "app/win/Handles.h"

namespace mt::test {

void LoopbackServer::SetUp() {
  const char* file = std::getenv("MT_UPDATE_PORT_FILE");
  if (!file) GTEST_SKIP() << "MT_UPDATE_PORT_FILE not set (run through ctest)";
  std::FILE* f = std::fopen(file, "r");  // a Unix path: Wine finds it on drive Z:
  ASSERT_NE(f, nullptr) << file;
  unsigned port = 0;
  if (std::fscanf(f, "%u", &port) != 1) port = 0;
  std::fclose(f);
  ASSERT_NE(port, 0u);
  port_ = static_cast<int>(port);
}

namespace {
void RemoveTree(const std::wstring& dir) {
  WIN32_FIND_DATAW fd;
  HANDLE h = ::FindFirstFileW((dir + L"\\*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = fd.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring full = dir + L"\\" + name;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(full);
      else ::DeleteFileW(full.c_str());
    } while (::FindNextFileW(h, &fd));
    ::FindClose(h);
  }
  ::RemoveDirectoryW(dir.c_str());
}
}  // namespace

WinTempDir::WinTempDir() {
  wchar_t base[MAX_PATH];
  ::GetTempPathW(MAX_PATH, base);
  static int counter = 0;
  std::wstring dir = std::wstring(base) + L"mt_update_" + std::to_wstring(::GetCurrentProcessId()) +
                     L"_" + std::to_wstring(++counter) + L" 目录";
  ::CreateDirectoryW(dir.c_str(), nullptr);
  path_ = Narrow(dir);
}

WinTempDir::~WinTempDir() { RemoveTree(Widen(path_)); }

long long FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data)) return -1;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
  const DWORD end = ::GetTickCount() + static_cast<DWORD>(timeoutMs);
  for (;;) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    if (done()) return true;
    if (static_cast<int>(::GetTickCount() - end) >= 0) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

}  // namespace mt::test
