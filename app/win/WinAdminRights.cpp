#include "app/win/WinAdminRights.h"

#include <windows.h>

#include "app/win/Handles.h"

namespace mt {

bool WinAdminRights::TokenElevated() {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
  UniqueKernelHandle token(raw);
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  if (!GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size))
    return false;
  return elevation.TokenIsElevated != 0;
}

bool WinAdminRights::MachineRunKeyWritable() {
  HKEY raw = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", 0,
                    KEY_SET_VALUE | KEY_WOW64_64KEY, &raw) != ERROR_SUCCESS)
    return false;
  UniqueHKey key(raw);
  return true;
}

bool WinAdminRights::Held() {
  if (!held_) held_ = TokenElevated() || MachineRunKeyWritable();
  return *held_;
}

}  // namespace mt
