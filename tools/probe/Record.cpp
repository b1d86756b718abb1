// e2e_record: appends its own command line (UTF-8, one line) to the file beside it that has
// its name with ".log" for ".exe", then ends with exit code 0. The end-to-end tests install
// it in place of programs that the shipped program starts (subst.exe, the downloaded
// installer) to see that they were started, and how. A window program, so that starting
// it opens no console.
#include <windows.h>

#include <string>

#include "app/win/Handles.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  std::wstring self(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
    if (n == 0) return 1;
    if (n < self.size()) {
      self.resize(n);
      break;
    }
    self.resize(self.size() * 2);
  }
  size_t dot = self.find_last_of(L'.');
  size_t slash = self.find_last_of(L'\\');
  std::wstring log = (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)
                          ? self.substr(0, dot)
                          : self) +
                     L".log";
  std::string line = mt::Narrow(GetCommandLineW()) + "\r\n";
  // Several starts may log at once: append under a share mode that lets them take turns.
  for (int attempt = 0; attempt < 100; ++attempt) {
    mt::UniqueFileHandle file(CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
      DWORD written = 0;
      WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
      return written == line.size() ? 0 : 1;
    }
    Sleep(20);
  }
  return 1;
}
