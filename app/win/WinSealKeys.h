// The backup sets' seal secret in HKLM\SOFTWARE\MRTKBOX\BackupSeal (the 64-bit view), a key
// whose ACL admits only the Administrators group and the system, made with 32 random bytes at
// the first need. A standard user can neither read nor make it: their sets stay unsealed,
// which only keeps machine-wide items (which they could not change anyway) from a restore.
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "app/SetSeal.h"

namespace mt {

class WinSealKeys : public SealKeyStore {
 public:
  // Once read or made, the secret is kept for the life of the object: listing the sets asks
  // for it once per set, and the program never replaces it.
  std::optional<std::string> Key(bool create) override;

 private:
  std::optional<std::string> ReadOrMake(bool create);
  std::mutex mutex_;
  std::optional<std::string> known_;
};

}  // namespace mt
