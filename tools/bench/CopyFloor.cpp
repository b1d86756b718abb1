// bench_copyfloor SOURCE TARGET: copies SOURCE into TARGET through one 61,440-byte buffer with
// plain ReadFile/WriteFile calls, as the splitter's engine does, and nothing else: no hashing,
// no pieces, no progress. Under Wine it is the floor any copy engine there can reach, so
// tools/bench/split.sh reports the engine against it. Exit status 0 on success, 1 on failure.
#include <windows.h>

#include <cstdio>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_copyfloor SOURCE TARGET\n");
    return 1;
  }
  HANDLE in = CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                          nullptr);
  if (in == INVALID_HANDLE_VALUE) return 1;
  HANDLE out = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    CloseHandle(in);
    return 1;
  }
  std::vector<char> buffer(61440);
  int status = 0;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(in, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
      status = 1;
      break;
    }
    if (got == 0) break;
    DWORD put = 0;
    if (!WriteFile(out, buffer.data(), got, &put, nullptr) || put != got) {
      status = 1;
      break;
    }
  }
  CloseHandle(out);
  CloseHandle(in);
  return status;
}
