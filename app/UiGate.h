// How worker threads reach the UI thread. Every hand-over of work from a worker thread to a
// window goes through the window's gate, and the gate keeps these rules:
//
//  1. Work runs on the UI thread only, inside the receiving window's message handling, and
//     what it throws is shown in the general error report like any handler's error.
//  2. Once the window is being destroyed the gate is closed (first thing in WM_DESTROY):
//     from then on Send answers Gone and does nothing, so nothing can reach a window object
//     that is going away. Closing waits for a Send in progress.
//  3. Work that was queued before the close and has not run yet is dropped and freed while
//     the window is destroyed (never run, never leaked).
//  4. Worker threads never read the window's handle: the gate holds its own copy, written once
//     when the gate is made and read under the gate's lock.
//  5. A full message queue answers Busy: the work was not queued, handing it over again later
//     may succeed.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace mt {

// What became of work handed to the UI thread.
enum class Handed {
  Queued,  // it will run on the UI thread
  Busy,    // refused for now (a full message queue); handing it over again may succeed
  Gone,    // the receiving window is gone: it will never run
};

class UiGate {
 public:
  // `post` queues the work for the UI thread; it is called under the gate's lock.
  using Post = std::function<Handed(std::function<void()>)>;
  UiGate() = default;  // closed until Attach
  explicit UiGate(Post post) : post_(std::move(post)) {}

  // Opens the gate onto `post` (once the receiving window exists).
  void Attach(Post post) {
    std::lock_guard<std::mutex> lock(mutex_);
    post_ = std::move(post);
  }

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
  bool IsOpen() {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<bool>(post_);
  }

 private:
  std::mutex mutex_;
  Post post_;
};

// For work that must not be lost (the end of a worker's job): hands `work` over through
// `post` again and again, with growing pauses, while the UI thread answers Busy (or the post
// itself throws, out of memory for the message, say). Returns Queued, or Gone once the window
// is gone. Call it on a worker thread only: it waits for the UI thread.
template <typename PostFn>
Handed HandOverUntilTaken(PostFn&& post, const std::function<void()>& work) {
  for (int pauseMs = 10;; pauseMs = std::min(pauseMs * 2, 500)) {
    Handed handed = Handed::Busy;
    try {
      handed = post(work);
    } catch (...) {
    }
    if (handed != Handed::Busy) return handed;
    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
  }
}

}  // namespace mt
