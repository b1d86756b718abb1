#include "app/win/WinSealKeys.h"

#include <windows.h>
#include <bcrypt.h>
#include <sddl.h>

namespace mt {

namespace {

constexpr const wchar_t* kSealKey = L"SOFTWARE\\MRTKBOX\\BackupSeal";
constexpr const wchar_t* kSealValue = L"Key";
constexpr DWORD kSecretSize = 32;

std::optional<std::string> ReadSecret(HKEY key) {
  BYTE data[kSecretSize];
  DWORD type = 0, size = sizeof data;
  if (RegQueryValueExW(key, kSealValue, nullptr, &type, data, &size) != ERROR_SUCCESS ||
      type != REG_BINARY || size != kSecretSize)
    return std::nullopt;
  return std::string(reinterpret_cast<const char*>(data), size);
}

}  // namespace

std::optional<std::string> WinSealKeys::Key(bool create) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!known_) known_ = ReadOrMake(create);
  return known_;
}

std::optional<std::string> WinSealKeys::ReadOrMake(bool create) {
  HKEY raw = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSealKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &raw) ==
      ERROR_SUCCESS) {
    std::optional<std::string> secret = ReadSecret(raw);
    RegCloseKey(raw);
    if (secret || !create) return secret;
  } else if (!create) {
    return std::nullopt;
  }
  // Protected DACL: full access for Administrators and SYSTEM, nobody else, inherited below.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;GA;;;BA)(A;OICI;GA;;;SY)",
                                                            SDDL_REVISION_1, &descriptor, nullptr))
    return std::nullopt;
  SECURITY_ATTRIBUTES sa{sizeof sa, descriptor, FALSE};
  DWORD disposition = 0;
  const LONG made = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSealKey, 0, nullptr, 0,
                                    KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY, &sa, &raw,
                                    &disposition);
  LocalFree(descriptor);
  if (made != ERROR_SUCCESS) return std::nullopt;
  std::optional<std::string> secret = ReadSecret(raw);
  if (!secret) {
    BYTE data[kSecretSize];
    if (BCryptGenRandom(nullptr, data, kSecretSize, BCRYPT_USE_SYSTEM_PREFERRED_RNG) >= 0 &&
        RegSetValueExW(raw, kSealValue, 0, REG_BINARY, data, kSecretSize) == ERROR_SUCCESS)
      secret = std::string(reinterpret_cast<const char*>(data), kSecretSize);
  }
  RegCloseKey(raw);
  return secret;
}

}  // namespace mt
