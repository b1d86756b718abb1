// app_smoke MirtakTools.exe: starts the shipped program itself (its entry point, manifest and
// real services), waits for its main window, closes it and expects exit code 0.
// The per-user key is deleted first so that the start is a first start: no offer dialog can
// come before the main window.
#include <windows.h>

#include <cstdio>
#include <string>

#include "tools/bench/LaunchWait.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fputs("usage: app_smoke MirtakTools.exe\n", stderr);
    return 2;
  }
  const LSTATUS st = RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\MRTKBOX");
  if (st != ERROR_SUCCESS && st != ERROR_FILE_NOT_FOUND) {
    std::fprintf(stderr, "app_smoke: cannot delete HKCU\\Software\\MRTKBOX (%ld)\n",
                 static_cast<long>(st));
    return 1;
  }
  bench::Launch l = bench::StartAndWait(argv[1], L"TForm1", 60000);
  switch (l.outcome) {
    case bench::Outcome::NotStarted:
      std::fprintf(stderr, "app_smoke: CreateProcess failed (%lu)\n", l.error);
      return 1;
    case bench::Outcome::Exited:
      std::fprintf(stderr, "app_smoke: the program ended (code %lu) without its window\n", l.error);
      return 1;
    case bench::Outcome::TimedOut:
      std::fputs("app_smoke: no visible TForm1 window within 60 s\n", stderr);
      return 1;
    case bench::Outcome::Shown: break;
  }
  std::printf("main window visible after %.0f ms\n", l.ms);
  WaitForInputIdle(l.process.get(), 5000);
  if (!bench::CloseAndWait(l.window, l.process.get(), 10000)) {
    std::fputs("app_smoke: the program did not end within 10 s of WM_CLOSE\n", stderr);
    return 1;
  }
  DWORD code = 1;
  GetExitCodeProcess(l.process.get(), &code);
  std::printf("exit code %lu\n", code);
  return code == 0 ? 0 : 1;
}
