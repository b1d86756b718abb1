// "校验分割文件": the state of a set against its record, without joining it.
#pragma once

#include <string>
#include <vector>

#include "app/Services.h"
#include "splitter/CheckedMerge.h"
#include "splitter/CopyEngine.h"
#include "splitter/SetRecord.h"

namespace mt::splitter {

struct SetCheck {
  enum Recovery { kNoRecovery, kRecoveryGood, kRecoveryMissing, kRecoveryDamaged };
  std::vector<PieceProblem> bad;  // lowest number first
  Recovery recovery = kNoRecovery;
  std::string recoveryPath;
  bool Whole() const {
    return bad.empty() && recovery != kRecoveryMissing && recovery != kRecoveryDamaged;
  }
  bool Repairable() const { return bad.size() == 1 && recovery == kRecoveryGood; }
};

// Reads every piece of `rows` (as ListBox1 holds them after the Index piece) and the recovery
// piece once. A set with no recovery piece is checked the same way (its recovery state is
// kNoRecovery); a recovery piece missing or of another size than recorded is kRecoveryMissing.
// Throws WorkStopped through the monitor only.
SetCheck CheckSet(FileSystem& files, const std::string& indexPath,
                  const std::vector<std::string>& rows, const SetRecord& record,
                  CopyMonitor* monitor = nullptr);

}  // namespace mt::splitter
