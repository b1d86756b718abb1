// The real answer to "may the machine's settings be changed": the process token's elevation,
// and where that says no, whether the machine's Run key opens for writing (an administrator
// on a system without UAC, or a machine whose owner opened the key to its users).
#pragma once

#include <optional>

#include "app/AdminRights.h"

namespace mt {

class WinAdminRights : public AdminRights {
 public:
  // Asked once, the first time; the rights of a running process do not change.
  bool Held() override;

  // The two questions on their own.
  static bool TokenElevated();
  static bool MachineRunKeyWritable();

 private:
  std::optional<bool> held_;
};

}  // namespace mt
