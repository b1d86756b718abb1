// Starting a program and waiting until its top-level window is visible; closing it again.
// Shared by bench_launch (launch-time measurement) and start_window (run.sh --screenshot).
#pragma once

#include <windows.h>

#include <string>

#include "app/CommandLine.h"
#include "app/win/Handles.h"

namespace bench {

// The visible top-level window of class `cls` that belongs to process `pid`, or null.
inline HWND FindVisibleWindow(const wchar_t* cls, DWORD pid) {
  for (HWND w = FindWindowExW(nullptr, nullptr, cls, nullptr); w;
       w = FindWindowExW(nullptr, w, cls, nullptr)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == pid && IsWindowVisible(w)) return w;
  }
  return nullptr;
}

enum class Outcome { Shown, Exited, TimedOut, NotStarted };

struct Launch {
  Outcome outcome = Outcome::NotStarted;
  mt::UniqueKernelHandle process;
  DWORD pid = 0;
  HWND window = nullptr;
  double ms = 0;    // CreateProcess until the window was seen visible
  DWORD error = 0;  // CreateProcess failure, or the exit code when the program ended early
};

// Directory part of a Windows path ("" when it has none).
inline std::wstring DirectoryOf(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// Starts `exe` (in its own folder, as a shell launch would) and polls every millisecond for
// its visible top-level window of class `cls`, for at most `timeoutMs`.
inline Launch StartAndWait(const std::wstring& exe, const wchar_t* cls, DWORD timeoutMs) {
  Launch r;
  std::wstring cmd = mt::QuoteArgument(exe);
  std::wstring dir = DirectoryOf(exe);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  LARGE_INTEGER freq, t0, t1;
  QueryPerformanceFrequency(&freq);
  QueryPerformanceCounter(&t0);
  if (!CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      dir.empty() ? nullptr : dir.c_str(), &si, &pi)) {
    r.error = GetLastError();
    return r;
  }
  CloseHandle(pi.hThread);
  r.process.reset(pi.hProcess);
  r.pid = pi.dwProcessId;
  auto elapsed = [&] {
    QueryPerformanceCounter(&t1);
    return double(t1.QuadPart - t0.QuadPart) * 1000.0 / double(freq.QuadPart);
  };
  for (;;) {
    if (HWND w = FindVisibleWindow(cls, r.pid)) {
      r.ms = elapsed();
      r.window = w;
      r.outcome = Outcome::Shown;
      return r;
    }
    if (WaitForSingleObject(r.process.get(), 0) == WAIT_OBJECT_0) {
      GetExitCodeProcess(r.process.get(), &r.error);
      r.outcome = Outcome::Exited;
      return r;
    }
    if (elapsed() > timeoutMs) {
      r.outcome = Outcome::TimedOut;
      return r;
    }
    Sleep(1);
  }
}

// Asks the window to close (WM_CLOSE) and waits up to `timeoutMs` for its process to end;
// ends it forcibly after that. True when it closed by itself.
inline bool CloseAndWait(HWND window, HANDLE process, DWORD timeoutMs) {
  PostMessageW(window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0) return true;
  TerminateProcess(process, 1);
  WaitForSingleObject(process, 5000);
  return false;
}

}  // namespace bench
