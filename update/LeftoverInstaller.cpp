#include "update/LeftoverInstaller.h"

#include <chrono>
#include <thread>

#include "update/Thread.h"
#include "update/Uhzbdown.h"
#include "update/UpdateConstants.h"

namespace mt {

LeftoverInstaller::LeftoverInstaller(FileSystem& files, std::string installerPath)
    : files_(files), paths_{std::move(installerPath)} {}

LeftoverInstaller::LeftoverInstaller(FileSystem& files, std::vector<std::string> installerPaths)
    : files_(files), paths_(std::move(installerPaths)) {}

bool LeftoverInstaller::TryOnce() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopped_) return true;
  bool gone = true;
  for (const std::string& installer : paths_) {
    for (const std::string& path : {installer, PartialFileOf(installer)}) {
      try {
        if (files_.FileExists(path) && !files_.RemoveFile(path)) gone = false;
      } catch (...) {
        gone = false;
      }
    }
  }
  return gone;
}

void LeftoverInstaller::Stop() {
  std::lock_guard<std::mutex> lock(mutex_);
  stopped_ = true;
}

void LeftoverInstaller::Retry(int tries, int pauseMs) {
  for (int i = 0; i < tries; ++i) {
    if (TryOnce()) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
  }
}

namespace {

std::shared_ptr<LeftoverInstaller> gLeftover;  // used on the UI thread only

class LeftoverThread : public TThread {
 public:
  explicit LeftoverThread(std::shared_ptr<LeftoverInstaller> leftover)
      : TThread(true), leftover_(std::move(leftover)) {}

 protected:
  void Execute() override { leftover_->Retry(60, 500); }

 private:
  std::shared_ptr<LeftoverInstaller> leftover_;
};

}  // namespace

void RemoveLeftoverInstaller(FileSystem& files, const std::string& exeDir,
                             const std::string& userDir) {
  StopRemovingLeftoverInstaller();
  std::vector<std::string> paths{exeDir + "\\" + kInstallerRelativePath};
  if (!userDir.empty() && userDir != exeDir) {
    const std::string downloads = userDir + "\\rar";
    try {
      for (const FindEntry& entry : files.Find(downloads, "*")) {
        if (entry.isDirectory) paths.push_back(downloads + "\\" + entry.name + "\\tbxsetup.exe");
      }
    } catch (...) {
      // Not listable: nothing of ours to find there.
    }
  }
  auto leftover = std::make_shared<LeftoverInstaller>(files, std::move(paths));
  if (leftover->TryOnce()) return;
  auto* thread = new LeftoverThread(leftover);
  try {
    thread->Resume();
    gLeftover = std::move(leftover);
  } catch (...) {
    delete thread;  // no thread: the next start tries again
  }
}

void StopRemovingLeftoverInstaller() {
  if (gLeftover) gLeftover->Stop();
  gLeftover.reset();
}

}  // namespace mt
