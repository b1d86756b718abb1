// The workers' mutex and condition variable (the system's slim locks on Windows): a hand-over
// between threads loses and reorders nothing, the lock excludes, and timed waits end on time
// or when woken.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "app/Sync.h"

namespace mt {
namespace {

using namespace std::chrono_literals;

TEST(Sync, AQueueHandedBetweenThreadsThroughTheConditionVariableKeepsEveryItemInOrder) {
  // A bounded queue, as the copy hands slots to its worker: both sides wait, both wake.
  Mutex mutex;
  CondVar changed;
  std::deque<int> queue;
  constexpr int kItems = 20000;
  constexpr size_t kRoom = 4;
  std::vector<int> got;
  std::thread consumer([&] {
    for (int n = 0; n < kItems; ++n) {
      std::unique_lock<Mutex> lock(mutex);
      changed.wait(lock, [&] { return !queue.empty(); });
      got.push_back(queue.front());
      queue.pop_front();
      changed.notify_all();
    }
  });
  for (int i = 0; i < kItems; ++i) {
    std::unique_lock<Mutex> lock(mutex);
    changed.wait(lock, [&] { return queue.size() < kRoom; });
    queue.push_back(i);
    changed.notify_one();
  }
  consumer.join();
  ASSERT_EQ(got.size(), static_cast<size_t>(kItems));
  for (int i = 0; i < kItems; ++i) ASSERT_EQ(got[i], i) << "at " << i;
}

TEST(Sync, TheMutexExcludesAnotherThreadUntilReleasedAndCountsStayExact) {
  Mutex mutex;
  std::unique_lock<Mutex> held(mutex);
  std::atomic<int> tries{0};
  bool gotIt = true;
  std::thread other([&] {
    gotIt = mutex.try_lock();
    if (gotIt) mutex.unlock();
    ++tries;
  });
  other.join();
  EXPECT_EQ(tries.load(), 1);
  EXPECT_FALSE(gotIt) << "try_lock succeeded while another thread held the lock";
  held.unlock();
  ASSERT_TRUE(mutex.try_lock());
  mutex.unlock();

  // Unsynchronised increments would lose some of these.
  long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 50000; ++i) {
        std::lock_guard<Mutex> lock(mutex);
        ++counter;
      }
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(counter, 4 * 50000);
}

TEST(Sync, ATimedWaitEndsAfterItsTimeOrWhenThePredicateComesTrue) {
  Mutex mutex;
  CondVar changed;
  bool flag = false;
  {
    std::unique_lock<Mutex> lock(mutex);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(changed.wait_for(lock, 50ms, [&] { return flag; }));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 45ms);
    EXPECT_TRUE(lock.owns_lock());
  }
  std::thread setter([&] {
    std::this_thread::sleep_for(20ms);
    std::lock_guard<Mutex> lock(mutex);
    flag = true;
    changed.notify_all();
  });
  {
    std::unique_lock<Mutex> lock(mutex);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(changed.wait_for(lock, 30s, [&] { return flag; }));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  }
  setter.join();
}

}  // namespace
}  // namespace mt
