// A worker's question asked on the "UI thread" (here the test's own thread, draining what
// the gate queued): the answer reaches the worker, a cancelled or refused question gives the
// fallback, and a question that throws does not leave the worker waiting.
#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <stdexcept>
#include <thread>

#include "app/UiAsker.h"
#include "app/Worker.h"

namespace mt {
namespace {

class UiAskerTest : public ::testing::Test {
 protected:
  UiAskerTest()
      : gate(std::make_shared<UiGate>([this](std::function<void()> work) {
          std::lock_guard<std::mutex> lock(mutex);
          queue.push_back(std::move(work));
          return Handed::Queued;
        })) {}

  // Runs what was queued until `done`; what a question throws is counted, as the window
  // reports it.
  void PumpUntil(const std::atomic<bool>& done) {
    while (!done) {
      std::function<void()> work;
      {
        std::lock_guard<std::mutex> lock(mutex);
        if (!queue.empty()) {
          work = std::move(queue.front());
          queue.pop_front();
        }
      }
      if (work) {
        try {
          work();
        } catch (const std::exception&) {
          ++thrown;
        }
      } else {
        std::this_thread::yield();
      }
    }
  }
  size_t Queued() {
    std::lock_guard<std::mutex> lock(mutex);
    return queue.size();
  }

  std::mutex mutex;
  std::deque<std::function<void()>> queue;
  std::shared_ptr<UiGate> gate;
  int thrown = 0;
};

TEST_F(UiAskerTest, TheAnswerIsGivenOnTheUiThreadAndReachesTheWorker) {
  UiAsker asker(gate);
  const std::thread::id ui = std::this_thread::get_id();
  std::atomic<bool> done{false};
  int answer = 0;
  std::thread::id askedOn;
  Worker worker([&] {
    answer = asker.Ask<int>(
        [&] {
          askedOn = std::this_thread::get_id();
          return 42;
        },
        -1);
    done = true;
  });
  PumpUntil(done);
  worker.Join();
  EXPECT_EQ(answer, 42);
  EXPECT_EQ(askedOn, ui);
}

TEST_F(UiAskerTest, ACancelledRefusedOrThrowingQuestionGivesTheFallback) {
  {
    // Cancelled while the worker waits: the question never runs.
    UiAsker asker(gate);
    std::atomic<int> answer{0};
    Worker worker([&] { answer = asker.Ask<int>([] { return 1; }, -1); });
    while (Queued() == 0) std::this_thread::yield();
    asker.Cancel();
    worker.Join();
    EXPECT_EQ(answer, -1);
    // Asked after the cancel: not even handed over.
    queue.clear();
    EXPECT_EQ(asker.Ask<int>([] { return 1; }, -2), -2);
    EXPECT_EQ(Queued(), 0u);
  }
  {
    // The question throws: the error goes where the UI thread reports errors, and the worker
    // goes on with the fallback.
    UiAsker asker(gate);
    std::atomic<bool> done{false};
    int answer = 0;
    Worker worker([&] {
      answer = asker.Ask<int>([]() -> int { throw std::runtime_error("x"); }, -3);
      done = true;
    });
    PumpUntil(done);
    worker.Join();
    EXPECT_EQ(answer, -3);
    EXPECT_EQ(thrown, 1);
  }
  {
    // The window is gone: its gate is closed.
    gate->Close();
    UiAsker asker(gate);
    EXPECT_EQ(asker.Ask<int>([] { return 1; }, -4), -4);
  }
}

}  // namespace
}  // namespace mt
