// A mutex and a condition variable for the worker threads. On Windows they are the system's
// slim reader/writer lock and condition variable. The C++ library's own, through MinGW's
// pthreads layer, block on semaphores and events, which are kernel objects: under Wine every
// such wait and wake is a round trip to its server, and a split that hands a slot over a
// thousand times a second measured about a quarter slower for it. Elsewhere they are std::mutex and
// std::condition_variable.
#pragma once

#include <chrono>
#include <mutex>

#ifndef _WIN32
#include <condition_variable>
#endif

namespace mt {

#ifdef _WIN32

// Meets BasicLockable: use it with std::lock_guard and std::unique_lock.
class Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;
  void lock();
  void unlock();
  bool try_lock();

 private:
  friend class CondVar;
  void* srw_ = nullptr;  // an SRWLOCK, SRWLOCK_INIT being all zero
};

class CondVar {
 public:
  CondVar() = default;
  CondVar(const CondVar&) = delete;
  CondVar& operator=(const CondVar&) = delete;
  void notify_one();
  void notify_all();
  // Waits until woken (or spuriously); `lock` holds the mutex before and after.
  void wait(std::unique_lock<Mutex>& lock);
  template <typename Pred>
  void wait(std::unique_lock<Mutex>& lock, Pred pred) {
    while (!pred()) wait(lock);
  }
  // Waits until `pred` holds or `timeout` has passed; gives pred's last value.
  template <typename Rep, typename Period, typename Pred>
  bool wait_for(std::unique_lock<Mutex>& lock, std::chrono::duration<Rep, Period> timeout,
                Pred pred) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      if (left.count() <= 0) return pred();
      WaitMs(lock, static_cast<unsigned long>(left.count()));
    }
    return true;
  }

 private:
  void WaitMs(std::unique_lock<Mutex>& lock, unsigned long ms);
  void* cv_ = nullptr;  // a CONDITION_VARIABLE, CONDITION_VARIABLE_INIT being all zero
};

#else

using Mutex = std::mutex;
using CondVar = std::condition_variable;

#endif

}  // namespace mt
