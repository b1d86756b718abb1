#include "update/tests/Fakes.h"

#include <chrono>

namespace mt::test {

void RecordingTarget::SetButton2Caption(const std::string& caption) {
  calls.push_back("caption " + caption);
  captions.push_back(caption);
}
void RecordingTarget::EnableButton2() { calls.push_back("enable"); }
void RecordingTarget::SetInstallerPath(const std::string& path) { calls.push_back("path " + path); }
void RecordingTarget::HoldInstaller(VerifiedInstaller v) {
  calls.push_back("installer " + v.Path());
  installer = std::move(v);
}
void RecordingTarget::SetDownloadFinished() { calls.push_back("finished"); }

void RecordingTarget::CloseWindow() { calls.push_back("close"); }

void UiQueue::Post(std::function<void()> work) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(work));
  }
  cv_.notify_all();
}

bool UiQueue::RunUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    std::function<void()> work;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (queue_.empty()) {
        if (done()) return true;
        // `done` may turn true without a post (a thread ending), so look again often.
        if (std::chrono::steady_clock::now() >= deadline) return done();
        cv_.wait_for(lock, std::chrono::milliseconds(5));
        continue;
      }
      work = std::move(queue_.front());
      queue_.pop_front();
    }
    work();
  }
}

}  // namespace mt::test
