// Questions a worker thread asks the user. The question runs on the UI thread, handed over
// through the window's gate (app/UiGate.h), while the worker waits for its answer; the UI
// thread stays free to paint and answer in between.
//
// Cancel() (on the UI thread, before the window's gate closes: in OnDestroying) answers the
// question waiting, and every later one, with its fallback, so a worker waited for as the
// window goes away never waits for a question that will not be asked. A question that throws
// is answered with its fallback too; what it threw is shown as the gate shows any error.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "app/UiGate.h"

namespace mt {

class UiAsker {
 public:
  explicit UiAsker(std::shared_ptr<UiGate> gate)
      : gate_(std::move(gate)), state_(std::make_shared<State>()) {}

  // Asks `question` on the UI thread and waits for the answer (on a worker thread only).
  template <typename T>
  T Ask(std::function<T()> question, T fallback) {
    std::shared_ptr<State> state = state_;
    auto answer = std::make_shared<std::optional<T>>();
    {
      std::lock_guard<std::mutex> lock(state->mutex);
      if (state->cancelled) return fallback;
    }
    const std::function<void()> work = [state, answer, question, fallback] {
      T value = fallback;
      struct Tell {  // the waiting worker learns the answer however the question ends
        State& state;
        std::optional<T>& answer;
        T& value;
        ~Tell() {
          std::lock_guard<std::mutex> lock(state.mutex);
          answer = value;
          state.answered.notify_all();
        }
      } tell{*state, *answer, value};
      value = question();
    };
    const Handed handed = HandOverUntilTaken(
        [this](std::function<void()> w) { return gate_->Send(std::move(w)); }, work);
    if (handed != Handed::Queued) return fallback;
    std::unique_lock<std::mutex> lock(state->mutex);
    state->answered.wait(lock, [&] { return answer->has_value() || state->cancelled; });
    return answer->has_value() ? **answer : fallback;
  }

  // Answers every question waiting or still to come with its fallback (UI thread).
  void Cancel() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->cancelled = true;
    state_->answered.notify_all();
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable answered;
    bool cancelled = false;
  };
  std::shared_ptr<UiGate> gate_;
  std::shared_ptr<State> state_;
};

}  // namespace mt
