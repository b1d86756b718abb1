// The restore's questions answered as a user who wants everything back would: yes to every
// item changed since and to the machine-wide writes, overwrite a file in the way, and no to
// the follow-up questions (so a test never maps a drive).
#pragma once

#include <string>
#include <vector>

#include "app/Restore.h"

namespace mt::test {

class YesToAll : public RestoreQuestions {
 public:
  bool ConfirmChanged(const SetItem&, const std::string&) override { return true; }
  FileChoice FileConflict(const SetItem&) override { return FileChoice::Overwrite; }
  bool ConfirmMachineWide(const std::vector<const SetItem*>&,
                          const std::vector<std::string>&) override {
    return true;
  }
  bool AskFollowUp(const std::string&) override { return false; }
};

}  // namespace mt::test
