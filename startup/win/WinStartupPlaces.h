// The real platform places of the startup list (known folders, Windows directory, version).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "startup/ProgramPath.h"
#include "startup/StartupItems.h"

namespace mt {

class WinStartupPlaces : public StartupPlaces {
 public:
  std::string WindowsDirectory() override;
  int PlatformId() override;
  std::string KnownUserStartup() override;
  std::string KnownCommonStartup() override;
  std::string IndirectString(const std::string& source) override;
};

// The environment and the file system of this machine, for finding the program of a command
// line; bare names are looked for in the system folder, then the Windows folder.
ProgramLookup WinProgramLookup();

}  // namespace mt
