// Stand-ins for the update's services: a scripted HTTP client, a reminder window that records
// what the download asked of it, and a scripted signature check with a launcher that records
// what it was given. Files in memory are the shared MemoryFileSystem.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <ostream>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "update/HttpClient.h"
#include "update/InstallerTrust.h"
#include "tests/support/StandIns.h"
#include "update/Uhzbdown.h"

namespace mt::test {

class RecordingTarget : public DownloadTarget {
 public:
  void SetButton2Caption(const std::string& caption) override;
  void EnableButton2() override;
  void SetInstallerPath(const std::string& path) override;
  void HoldInstaller(VerifiedInstaller installer) override;
  void SetDownloadFinished() override;
  void CloseWindow() override;

  // "caption X", "enable", "path P", "installer P", "finished", "close"
  std::vector<std::string> calls;
  std::vector<std::string> captions;
  std::optional<VerifiedInstaller> installer;
};

// A UI thread in miniature: work posted from any thread, run in order by Drain.
class UiQueue {
 public:
  void Post(std::function<void()> work);
  // Runs posted work until `done` says stop or the timeout passes; false on timeout.
  bool RunUntil(const std::function<bool()>& done, int timeoutMs = 5000);

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> queue_;
};

}  // namespace mt::test

namespace mt {
// Verdicts by name in test failures.
inline void PrintTo(TrustVerdict verdict, std::ostream* os) { *os << TrustVerdictName(verdict); }
}  // namespace mt
