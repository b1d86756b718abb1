// The backup sets' seal secret in HKLM\SOFTWARE\MRTKBOX\BackupSeal (the 64-bit view), a key
// whose ACL admits only the Administrators group and the system, made with 32 random bytes at
// the first need. A standard user can neither read nor make it: their sets stay unsealed,
// which only keeps machine-wide items (which they could not change anyway) from a restore.
#pragma once

#include "app/SetSeal.h"

namespace mt {

class WinSealKeys : public SealKeyStore {
 public:
  std::optional<std::string> Key(bool create) override;
};

}  // namespace mt
