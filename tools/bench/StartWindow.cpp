// start_window TARGET.exe CLASS SECONDS   starts TARGET and waits until its top-level window
//                                         of class CLASS is visible; TARGET keeps running.
// start_window --close CLASS SECONDS      closes that window (WM_CLOSE) and waits for its
//                                         process to end, ending it forcibly after SECONDS.
// Exit codes: 0 done, 1 usage or start failure, 2 TARGET ended first, 3 time-out,
// 4 not found (--close) or closed only forcibly.
// Used by run.sh --screenshot: under a Wine virtual desktop the program's windows are not
// X windows, so only a Windows process can see when the window is up.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "LaunchWait.h"

static int Close(const wchar_t* cls, DWORD timeoutMs) {
  HWND w = FindWindowW(cls, nullptr);
  if (!w) {
    std::fputs("start_window: no window of that class\n", stderr);
    return 4;
  }
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  mt::UniqueKernelHandle process(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid));
  if (!process) {
    PostMessageW(w, WM_CLOSE, 0, 0);
    return 0;
  }
  return bench::CloseAndWait(w, process.get(), timeoutMs) ? 0 : 4;
}

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fputs("usage: start_window TARGET.exe CLASS SECONDS | --close CLASS SECONDS\n", stderr);
    return 1;
  }
  DWORD timeoutMs = static_cast<DWORD>(_wtoi(argv[3])) * 1000;
  if (std::wstring(argv[1]) == L"--close") return Close(argv[2], timeoutMs);
  bench::Launch l = bench::StartAndWait(argv[1], argv[2], timeoutMs);
  switch (l.outcome) {
    case bench::Outcome::NotStarted:
      std::fprintf(stderr, "start_window: CreateProcess failed (%lu)\n", l.error);
      return 1;
    case bench::Outcome::Exited:
      std::fprintf(stderr, "start_window: the program ended (code %lu) without its window\n",
                   l.error);
      return 2;
    case bench::Outcome::TimedOut: return 3;
    case bench::Outcome::Shown: break;
  }
  // Let it finish its first paint: the shot is taken right after this returns.
  WaitForInputIdle(l.process.get(), 5000);
  std::printf("%.0f\n", l.ms);
  return 0;
}
