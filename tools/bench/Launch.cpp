// bench_launch TARGET.exe CLASS [RUNS]
// Measures, RUNS times (default 1), the milliseconds from CreateProcess until TARGET's
// top-level window of class CLASS is visible, then closes it with WM_CLOSE. Prints one
// figure per line. Before every start the per-user key "Software\MRTKBOX" is deleted, so
// the Main window's launch counter always reads as a first start and no offer dialog
// stands between the start and the window.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "LaunchWait.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 3 || argc > 4) {
    std::fputs("usage: bench_launch TARGET.exe CLASS [RUNS]\n", stderr);
    return 1;
  }
  const std::wstring target = argv[1];
  const wchar_t* cls = argv[2];
  int runs = argc == 4 ? _wtoi(argv[3]) : 1;
  if (runs < 1) runs = 1;
  for (int i = 0; i < runs; ++i) {
    LSTATUS st = RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\MRTKBOX");
    if (st != ERROR_SUCCESS && st != ERROR_FILE_NOT_FOUND) {
      std::fprintf(stderr, "bench_launch: cannot delete HKCU\\Software\\MRTKBOX (%ld)\n",
                   static_cast<long>(st));
      return 1;
    }
    bench::Launch l = bench::StartAndWait(target, cls, 60000);
    switch (l.outcome) {
      case bench::Outcome::NotStarted:
        std::fprintf(stderr, "bench_launch: CreateProcess failed (%lu)\n", l.error);
        return 1;
      case bench::Outcome::Exited:
        std::fprintf(stderr, "bench_launch: the program ended (code %lu) without a window\n",
                     l.error);
        return 2;
      case bench::Outcome::TimedOut:
        std::fputs("bench_launch: no visible window of that class within 60 s\n", stderr);
        TerminateProcess(l.process.get(), 1);
        return 3;
      case bench::Outcome::Shown: break;
    }
    std::printf("%.1f\n", l.ms);
    std::fflush(stdout);
    if (!bench::CloseAndWait(l.window, l.process.get(), 10000)) {
      std::fputs("bench_launch: the program did not end within 10 s of WM_CLOSE\n", stderr);
      return 4;
    }
  }
  return 0;
}
