// What an update downloaded does not stay behind. The installer runs from "rar\tbxsetup.exe"
// beside the program (or from a per-user download folder) and cannot delete its own file, so
// the program it installed removes it when it starts. The installer starts that program as its last step and may not have ended
// yet: a file that cannot go at once is tried again for a while on a worker thread. A
// download started meanwhile stops those tries first, so they never touch a fresh installer.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/Services.h"

namespace mt {

class LeftoverInstaller {
 public:
  LeftoverInstaller(FileSystem& files, std::string installerPath);
  LeftoverInstaller(FileSystem& files, std::vector<std::string> installerPaths);

  // One try: removes the installers and a partial download beside each. True when nothing of
  // them is left, or after Stop.
  bool TryOnce();
  // No try runs once this returns, none ever again.
  void Stop();
  // Tries up to `tries` times, `pauseMs` apart, until nothing is left or it is stopped.
  void Retry(int tries, int pauseMs);

 private:
  FileSystem& files_;
  const std::vector<std::string> paths_;
  std::mutex mutex_;
  bool stopped_ = false;
};

// At the program's start: removes the last update's installer beside `exeDir`, and those in
// the per-user download folders ("<userDir>\rar\<each>\", app/DataPlaces.h), or goes on
// trying on a worker thread (about half a minute) while one is still in use.
void RemoveLeftoverInstaller(FileSystem& files, const std::string& exeDir,
                             const std::string& userDir = "");
// Before a new download into the same place.
void StopRemovingLeftoverInstaller();

}  // namespace mt
