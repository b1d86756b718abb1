/* Entry point of the benchmark's resource-only icon DLL: nothing to set up. */
#include <windows.h>

BOOL WINAPI BenchIconsEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reason;
  (void)reserved;
  return TRUE;
}
