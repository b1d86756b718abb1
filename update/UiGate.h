// The way worker threads reach the UI thread while the Main window may be going away: a post
// through the gate runs only while the gate is open, and closing it waits for any post in
// progress. The Main window closes it when it is destroyed, so a thread that finishes late
// (after the window was closed) can no longer touch the destroyed window object.
#pragma once

#include <functional>
#include <memory>
#include <mutex>

namespace mt {

// What became of work handed to the UI thread.
enum class Handed {
  Queued,  // it will run on the UI thread
  Busy,    // refused for now (a full message queue); handing it over again may succeed
  Gone,    // the receiving window is gone: it will never run
};

class UiGate {
 public:
  using Post = std::function<Handed(std::function<void()>)>;
  explicit UiGate(Post post) : post_(std::move(post)) {}

  // Hands `work` to the UI thread; Gone (and nothing done) once the gate is closed.
  Handed Send(std::function<void()> work) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!post_) return Handed::Gone;
    return post_(std::move(work));
  }
  void Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    post_ = nullptr;
  }

 private:
  std::mutex mutex_;
  Post post_;
};

// An owner that closes the gate when it is released (kept as a member of the window).
inline std::shared_ptr<void> GateCloser(const std::shared_ptr<UiGate>& gate) {
  return std::shared_ptr<void>(static_cast<void*>(nullptr), [gate](void*) { gate->Close(); });
}

}  // namespace mt
