// Starting helper programs of the system (here: subst) without a command interpreter.
#pragma once

#include <string>

namespace mt {

// Where a started program runs. A drive letter made by subst exists only in the log-on
// session of the process that made it, and an administrator's elevated process has a session
// of its own: Explorer, running in the user's normal session, would not see the letter.
enum class LaunchSession {
  Own,      // the session of this process
  Desktop,  // the session of the desktop shell (the user's normal, non-elevated session)
};

class ProcessStarter {
 public:
  virtual ~ProcessStarter() = default;
  // True when this process runs in another log-on session than the desktop shell, which is
  // the case when it runs elevated while the user's desktop does not.
  virtual bool SeparateDesktopSession() = 0;
  // Starts `program` (a file name in the system folder, e.g. "subst.exe") with `arguments`
  // appended to its command line, with no window, and does not wait for it. False when it
  // could not be started.
  virtual bool StartHidden(const std::string& program, const std::string& arguments,
                           LaunchSession session) = 0;
};

}  // namespace mt
