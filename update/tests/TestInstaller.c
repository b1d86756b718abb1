/* A stand-in for the release's installer in the Wine tests: it only leaves a marker beside
   itself, "<its own path>.ran", holding its command line (UTF-8) and the show mode it was
   given, then ends. The tests sign it in several ways at test time. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  (void)instance;
  (void)previous;
  (void)commandLine;
  WCHAR path[MAX_PATH + 8];
  DWORD n = GetModuleFileNameW(NULL, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 1;
  lstrcpyW(path + n, L".ran");

  char text[4096];
  int used = WideCharToMultiByte(CP_UTF8, 0, GetCommandLineW(), -1, text, sizeof text - 32, NULL,
                                 NULL);
  if (used <= 0) return 1;
  used -= 1; /* the terminating NUL */
  used += wsprintfA(text + used, "\nshow=%d\n", show);

  HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              NULL);
  if (marker == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(marker, text, (DWORD)used, &written, NULL);
  CloseHandle(marker);
  return 0;
}
