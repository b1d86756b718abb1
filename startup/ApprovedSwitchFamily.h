// A family whose rows are switched off and on as Task Manager switches them: through the
// StartupApproved value of the row's name (the Run keys and the Startup folders).
#pragma once

#include "app/Backup.h"
#include "startup/StartupApproved.h"
#include "startup/StartupFamily.h"

namespace mt {

class ApprovedSwitchFamily : public StartupFamily {
 public:
  bool SaveForSwitch(const StartupContext&, DeletionBackup& backup,
                     const StartupRow& row) const override {
    return SaveApprovedState(backup, row);
  }
  bool Switch(const StartupContext& ctx, const StartupRow& row, bool enabled,
              uint64_t now) const override {
    return WriteApproved(*ctx.svc.registry, row, enabled, now);
  }
};

}  // namespace mt
