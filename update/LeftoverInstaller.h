// What an update downloaded does not stay behind. The installer runs from "rar\tbxsetup.exe"
// beside the program and cannot delete its own file, so the program it installed removes it
// when it starts. The installer starts that program as its last step and may not have ended
// yet: a file that cannot go at once is tried again for a while on a worker thread. A
// download started meanwhile stops those tries first, so they never touch a fresh installer.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "app/Services.h"

namespace mt {

class LeftoverInstaller {
 public:
  LeftoverInstaller(FileSystem& files, std::string installerPath);

  // One try: removes the installer and a partial download beside it. True when nothing of
  // them is left, or after Stop.
  bool TryOnce();
  // No try runs once this returns, none ever again.
  void Stop();
  // Tries up to `tries` times, `pauseMs` apart, until nothing is left or it is stopped.
  void Retry(int tries, int pauseMs);

 private:
  FileSystem& files_;
  const std::string path_;
  std::mutex mutex_;
  bool stopped_ = false;
};

// At the program's start: removes the last update's installer beside `exeDir`, or goes on
// trying on a worker thread (about half a minute) while it is still in use.
void RemoveLeftoverInstaller(FileSystem& files, const std::string& exeDir);
// Before a new download into the same place.
void StopRemovingLeftoverInstaller();

}  // namespace mt
