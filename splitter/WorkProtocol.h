// The worker protocol of the page: a split, merge, check or write-back runs on a worker
// (WorkHost); its percentage comes back to the caption, its own button stops it, and its end is
// handed to the UI thread, which puts the buttons and the caption back and shows the outcome.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "app/Services.h"
#include "splitter/CopyEngine.h"
#include "splitter/SplitterView.h"

namespace mt::splitter {

// Where a split or merge runs: a thread of its own, and the way back to the UI thread.
class WorkHost {
 public:
  virtual ~WorkHost() = default;
  // Runs `work` away from the UI thread (one at a time).
  virtual void Start(std::function<void()> work) = 0;
  // From the worker: runs `ui` later on the UI thread, in the order posted; dropped once the
  // window is gone.
  virtual void Post(std::function<void()> ui) = 0;
};

// The page's running work, kept on the UI thread by the window.
struct SplitterWork {
  enum Kind { kIdle, kSplit, kMerge, kVerify };
  Kind running = kIdle;
  uint64_t id = 0;  // tells posts of an earlier run from those of the current one
  std::shared_ptr<std::atomic<bool>> stop;
  std::string captionBefore;
  // Runs on the UI thread once the current work has ended and cleaned up (closing the window
  // after "yes, stop").
  std::function<void()> afterWork;
  bool Running() const { return running != kIdle; }
};

// Asks the running work to stop; it ends within one buffer's copy, removes the file it was
// writing and puts the caption back as it was before the work began.
void StopWork(SplitterWork& work);

// The Main window is being closed: true when it may close now. While work runs the user is
// asked whether to stop it; "yes" stops it and runs `close` once it has cleaned up, "no" keeps
// it running and the window open.
bool MayCloseWindow(Services& svc, SplitterView& view, SplitterWork& work,
                    std::function<void()> close);

// How a worker's run ended, handed to the UI thread.
struct Outcome {
  enum Kind { kDone, kStopped, kNotice, kError } kind = kDone;
  std::string notice;
  std::exception_ptr error;
  // Runs on the UI thread once the buttons are back (a question after a completed run).
  std::function<void()> followUp;
  static Outcome Notice(std::string text) {
    Outcome o;
    o.kind = kNotice;
    o.notice = std::move(text);
    return o;
  }
};

// The buttons and caption while work of `kind` runs: its own button stops it, the other
// start button is disabled; the caption becomes `caption`.
void EnterWork(SplitterView& view, SplitterWork& work, SplitterWork::Kind kind,
               const std::string& caption);
// The buttons back to their idle state (the caption is the caller's).
void LeaveWork(SplitterView& view, SplitterWork& work);

// Runs `body` on the worker and hands its outcome to the UI thread: the buttons back, the
// caption `doneCaption` (or what it was before when the run did not complete), then the notice,
// the error or the follow-up. While the run is current the percentage goes to the caption as
// "<working> <n>%". A stop reaches the body through its monitor: the copy engine throws
// WorkStopped at the next chunk.
void RunWork(WorkHost& host, SplitterView& view, SplitterWork& work, const std::string& working,
             const char* doneCaption, std::function<Outcome(CopyMonitor&)> body);

}  // namespace mt::splitter
