#include "splitter/WorkProtocol.h"

#include <chrono>
#include <utility>

#include "app/Constants.h"
#include "splitter/SplitterTexts.h"

namespace mt::splitter {

namespace {

// Counts the bytes copied on the worker and posts the percentage to the caption when it
// changes, a few times a second at most (and always the final 100).
class ProgressMonitor : public CopyMonitor {
 public:
  ProgressMonitor(std::shared_ptr<std::atomic<bool>> stop, std::function<void(int)> report)
      : stop_(std::move(stop)), report_(std::move(report)) {}
  void Begin(uint64_t total) override {
    total_ = total;
    Report(0);
  }
  bool Copied(uint64_t bytes) override {
    done_ += bytes;
    int percent = total_ ? static_cast<int>(100.0 * static_cast<double>(done_) /
                                            static_cast<double>(total_))
                         : 100;
    if (percent > 100) percent = 100;
    if (percent != last_) {
      auto now = std::chrono::steady_clock::now();
      if (percent == 100 || now - lastPost_ >= std::chrono::milliseconds(150)) Report(percent);
    }
    return !stop_->load();
  }
  // The work is over: the caption shows 100 before the completion text replaces it.
  void Finish() {
    if (last_ != 100) Report(100);
  }

 private:
  void Report(int percent) {
    last_ = percent;
    lastPost_ = std::chrono::steady_clock::now();
    report_(percent);
  }
  std::shared_ptr<std::atomic<bool>> stop_;
  std::function<void(int)> report_;
  uint64_t total_ = 0, done_ = 0;
  int last_ = -1;
  std::chrono::steady_clock::time_point lastPost_{};
};

}  // namespace

void EnterWork(SplitterView& view, SplitterWork& work, SplitterWork::Kind kind,
               const std::string& caption) {
  work.running = kind;
  ++work.id;
  work.stop = std::make_shared<std::atomic<bool>>(false);
  work.captionBefore = view.Caption();
  if (kind == SplitterWork::kSplit) {
    view.SetSplitButtonText(kStopSplitText);
    view.SetMergeEnabled(false);
  } else if (kind == SplitterWork::kVerify) {
    view.SetMergeButtonText(kStopVerifyText);
    view.SetSplitEnabled(false);
  } else {
    view.SetMergeButtonText(kStopMergeText);
    view.SetSplitEnabled(false);
  }
  view.SetCaption(caption);
  view.SetTaskbarProgress(SplitterView::Taskbar::kProgress, 0);
}

void LeaveWork(SplitterView& view, SplitterWork& work) {
  work.running = SplitterWork::kIdle;
  view.SetSplitButtonText(kSplitButtonText);
  view.SetMergeButtonText(kMergeButtonText);
  view.SetSplitEnabled(true);
  view.SetMergeEnabled(true);
}

namespace {

// On the UI thread, once the worker has ended: buttons back, the caption to the completion
// text (or back to what it was when the work did not complete), then the notice or error.
void FinishWork(SplitterView& view, SplitterWork& work, const Outcome& outcome,
                const char* doneCaption) {
  LeaveWork(view, work);
  view.SetCaption(outcome.kind == Outcome::kDone ? std::string(doneCaption) : work.captionBefore);
  // A run refused on the way or ended by an error stays marked until the next one starts.
  const bool failed = outcome.kind == Outcome::kNotice || outcome.kind == Outcome::kError;
  view.SetTaskbarProgress(failed ? SplitterView::Taskbar::kError : SplitterView::Taskbar::kNone, 0);
  std::function<void()> after = std::move(work.afterWork);
  work.afterWork = nullptr;
  if (after) {
    // The window is going away: no notice is shown to a user who asked to leave.
    after();
    return;
  }
  // A completed run may report too (the verdict of a check); a refused one always does.
  if (outcome.kind == Outcome::kNotice ||
      (outcome.kind == Outcome::kDone && !outcome.notice.empty()))
    view.Notice(outcome.notice);
  if (outcome.kind == Outcome::kError) std::rethrow_exception(outcome.error);
  if (outcome.followUp) outcome.followUp();
}

}  // namespace

void RunWork(WorkHost& host, SplitterView& view, SplitterWork& work, const std::string& working,
             const char* doneCaption, std::function<Outcome(CopyMonitor&)> body) {
  const uint64_t id = work.id;
  SplitterView* v = &view;
  SplitterWork* w = &work;
  WorkHost* h = &host;
  std::shared_ptr<std::atomic<bool>> stop = work.stop;
  host.Start([h, v, w, id, stop, working, doneCaption, body = std::move(body)] {
    ProgressMonitor monitor(stop, [h, v, w, id, working](int percent) {
      h->Post([v, w, id, working, percent] {
        if (!w->Running() || w->id != id) return;
        v->SetCaption(working + " " + std::to_string(percent) + "%");
        v->SetTaskbarProgress(SplitterView::Taskbar::kProgress, percent);
      });
    });
    Outcome outcome;
    try {
      outcome = body(monitor);
      if (outcome.kind == Outcome::kDone) monitor.Finish();
    } catch (const WorkStopped&) {
      outcome.kind = Outcome::kStopped;
    } catch (...) {
      outcome.kind = Outcome::kError;
      outcome.error = std::current_exception();
    }
    // A stop asked for at the very end still counts as a stop only when the work had not
    // completed; otherwise the finished result stands.
    h->Post([v, w, outcome, doneCaption] { FinishWork(*v, *w, outcome, doneCaption); });
  });
}

void StopWork(SplitterWork& work) {
  if (work.Running() && work.stop) work.stop->store(true);
}

bool MayCloseWindow(Services& svc, SplitterView& view, SplitterWork& work,
                    std::function<void()> close) {
  if (!work.Running()) return true;
  int answer = svc.messages->Show(view.Owner(), kCloseWhileWorkingText, kNoticeCaption,
                                  kMbYesNo | kMbIconQuestion);
  // The work may have ended while the question was open.
  if (!work.Running()) return answer == kIdYes;
  if (answer != kIdYes) return false;
  work.afterWork = std::move(close);
  StopWork(work);
  return false;
}

}  // namespace mt::splitter
