// The program's one way to run work on a thread of its own: joinable workers (join, moves,
// the destructor's wait), detached starts that are never waited for, and bodies that throw.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

#include "app/Worker.h"

namespace mt {
namespace {

using namespace std::chrono_literals;

// Waits (at most `limit`) until `done` holds.
template <typename Done>
bool WaitFor(Done done, std::chrono::seconds limit = std::chrono::seconds(30)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

TEST(Worker, RunsTheBodyOnAnotherThreadAndJoinWaitsForItsEnd) {
  std::atomic<bool> done{false};
  std::thread::id ranOn;
  Worker worker([&] {
    ranOn = std::this_thread::get_id();
    std::this_thread::sleep_for(100ms);
    done = true;
  });
  EXPECT_TRUE(worker.Joinable());
  worker.Join();
  EXPECT_TRUE(done);
  EXPECT_NE(ranOn, std::this_thread::get_id());
  EXPECT_FALSE(worker.Joinable());
  worker.Join();  // nothing left to wait for

  // Going out of scope waits as well.
  done = false;
  {
    Worker scoped([&] {
      std::this_thread::sleep_for(100ms);
      done = true;
    });
  }
  EXPECT_TRUE(done);
  EXPECT_FALSE(Worker().Joinable());
}

TEST(Worker, MovesCarryTheThreadAndAssigningOverOneWaitsForItFirst) {
  std::atomic<bool> firstDone{false};
  std::atomic<bool> secondDone{false};
  Worker first([&] {
    std::this_thread::sleep_for(100ms);
    firstDone = true;
  });
  Worker moved(std::move(first));
  EXPECT_FALSE(first.Joinable());
  EXPECT_TRUE(moved.Joinable());
  moved = Worker([&] { secondDone = true; });
  EXPECT_TRUE(firstDone);
  EXPECT_TRUE(moved.Joinable());
  moved.Join();
  EXPECT_TRUE(secondDone);
}

TEST(Worker, WhatABodyThrowsEndsOnlyItsOwnThread) {
  Worker([] { throw std::runtime_error("joinable"); }).Join();
  Worker([] { throw 42; }).Join();
  std::atomic<int> ran{0};
  Worker::StartDetached([&] {
    ++ran;
    throw std::runtime_error("detached");
  });
  EXPECT_TRUE(WaitFor([&] { return ran.load() == 1; }));
  // The program goes on: another body still runs.
  Worker([&] { ++ran; }).Join();
  EXPECT_EQ(ran.load(), 2);
}

TEST(Worker, DroppedOnItsOwnThreadItLetsTheThreadGoInsteadOfWaitingForever) {
  auto self = std::make_unique<Worker>();
  std::mutex gate;
  std::atomic<bool> joinRefused{false};
  std::atomic<bool> done{false};
  {
    std::lock_guard<std::mutex> hold(gate);
    *self = Worker([&] {
      std::lock_guard<std::mutex> assigned(gate);
      try {
        self->Join();
      } catch (const std::system_error& e) {
        joinRefused = e.code() == std::errc::resource_deadlock_would_occur;
      }
      self.reset();
      done = true;
    });
  }
  EXPECT_TRUE(WaitFor([&] { return done.load(); }));
  EXPECT_TRUE(joinRefused);
}

TEST(Worker, ManyStartsAllRunTheirBodies) {
  // Under Wine a detached thread of MinGW's std::thread now and then never ran its body; every
  // start here must count.
  constexpr int kStarts = 300;
  std::atomic<int> detached{0};
  for (int i = 0; i < kStarts; ++i) Worker::StartDetached([&] { ++detached; });
  EXPECT_TRUE(WaitFor([&] { return detached.load() == kStarts; })) << detached.load();

  std::atomic<int> joined{0};
  std::vector<Worker> workers;
  for (int i = 0; i < kStarts; ++i) workers.emplace_back([&] { ++joined; });
  for (Worker& w : workers) w.Join();
  EXPECT_EQ(joined.load(), kStarts);
}

}  // namespace
}  // namespace mt
