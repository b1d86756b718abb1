// Test helper: with "--wait" it only waits; otherwise it writes the id of its parent process and its arguments, one a line, into the
// file named by its first argument (UTF-8), then exits.
#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 2) return 2;
  if (std::wstring(argv[1]) == L"--wait") {  // stands in for a long-running parent
    Sleep(30000);
    return 0;
  }
  DWORD parent = 0;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W pe{};
  pe.dwSize = sizeof(pe);
  for (BOOL ok = Process32FirstW(snap, &pe); ok; ok = Process32NextW(snap, &pe))
    if (pe.th32ProcessID == GetCurrentProcessId()) parent = pe.th32ParentProcessID;
  CloseHandle(snap);
  std::string out = std::to_string(parent) + "\n";
  for (int i = 2; i < argc; ++i) {
    char buf[4096];
    int n = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, buf, sizeof(buf), nullptr, nullptr);
    out += std::string(buf, n > 0 ? n - 1 : 0) + "\n";
  }
  FILE* f = _wfopen(argv[1], L"wb");
  if (!f) return 3;
  fwrite(out.data(), 1, out.size(), f);
  fclose(f);
  return 0;
}
