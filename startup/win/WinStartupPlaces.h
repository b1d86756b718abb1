// The real platform places of the startup list (known folders, Windows directory, version).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "startup/StartupItems.h"

namespace mt {

class WinStartupPlaces : public StartupPlaces {
 public:
  std::string WindowsDirectory() override;
  int PlatformId() override;
  std::string KnownUserStartup() override;
  std::string KnownCommonStartup() override;
};

// The rows of a startup list view as they stand (texts, source, check state).
std::vector<StartupRow> StartupRowsOf(HWND listView);

}  // namespace mt
