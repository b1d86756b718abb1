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

// One scripted answer per URL; a URL without a script fails like an unreachable host.
struct FakeResponse {
  std::string body;
  int32_t contentLength = -1;  // what HEAD reports
  bool fail = false;           // the request throws
  size_t chunk = 0;            // report progress every `chunk` bytes (0: once at the end)
};

class FakeHttp : public HttpService {
 public:
  std::unique_ptr<HttpClient> CreateClient() override;

  std::map<std::string, FakeResponse> responses;
  // What the clients were asked, in order ("GET url", "HEAD url", "GETTEXT url").
  std::vector<std::string> requests;
  std::vector<std::string> userAgents;
  std::vector<bool> followRedirects;
  int clientsAlive = 0;
  bool failCreate = false;  // CreateClient throws
  std::mutex mutex;
};

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

// Gives every file the scripted verdict; a file it accepts is held in `files` (when given)
// until the VerifiedInstaller goes away, as the real verifier holds it open.
class FakeVerifier : public InstallerVerifier {
 public:
  explicit FakeVerifier(MemoryFileSystem* files = nullptr) : files_(files) {}
  TrustResult Verify(const std::string& path) override;

  TrustVerdict verdict = TrustVerdict::kTrusted;
  bool throws = false;
  std::vector<std::string> asked;    // the paths checked, in order
  std::vector<std::string> seen;     // what each file held when it was checked

 private:
  MemoryFileSystem* files_;
};

class RecordingLauncher : public InstallerLauncher {
 public:
  bool Start(VerifiedInstaller installer, int show) override;

  struct Started {
    std::string path;
    int show;
    bool held;  // the file was still held while it was started
  };
  std::vector<Started> started;
  std::function<bool(const std::string& path)> isHeld;
  bool result = true;
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
