// Records the programs the virtual-drive page would start, instead of starting them.
#pragma once

#include <string>
#include <vector>

#include "vdrive/ProcessStarter.h"

namespace mt::test {

struct StartedProgram {
  std::string program, arguments;
  LaunchSession session;
};

class RecordingStarter : public ProcessStarter {
 public:
  bool SeparateDesktopSession() override { return separateDesktop; }
  bool StartHidden(const std::string& program, const std::string& arguments,
                   LaunchSession session) override {
    started.push_back({program, arguments, session});
    return true;
  }
  bool separateDesktop = false;
  std::vector<StartedProgram> started;
};

}  // namespace mt::test
