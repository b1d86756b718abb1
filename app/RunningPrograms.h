// Whether a program is running now, asked before a tool rewrites files that program keeps
// open and writes back on exit (a browser's profile settings).
#pragma once

#include <string>

namespace mt {

class RunningPrograms {
 public:
  virtual ~RunningPrograms() = default;
  // True when a process whose program file is named `exeName` ("msedge.exe"; letter case
  // does not matter) runs in the session, or when that cannot be told.
  virtual bool IsRunning(const std::string& exeName) = 0;
};

}  // namespace mt
