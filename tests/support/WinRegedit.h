// Runs the platform's registry editor silently on a registry export file, as a double click
// on the file does after confirmation, and waits for it. Windows tests only.
#pragma once

#include <windows.h>

#include <string>

#include "app/win/Handles.h"

namespace mt::test {

// The editor's exit code, or the error of starting it.
inline DWORD ImportWithRegedit(const std::string& file) {
  std::wstring cmd = L"regedit.exe /S \"" + Widen(file) + L"\"";
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return GetLastError();
  WaitForSingleObject(pi.hProcess, 60000);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}

}  // namespace mt::test
