// The one way the program runs work on a thread of its own.
//
// Worker is a joinable thread whose body is a std::function; StartDetached starts one that
// nobody waits for, not even at the program's end. On Windows both come straight from the C
// runtime's _beginthreadex: a detached std::thread of MinGW's threads library now and then never
// started its body under Wine (about one in 150), and whatever hands work over from such a
// thread would be lost with it. Elsewhere they are std::threads.
//
// Whatever the body throws ends its thread quietly at the thread's entry: background work never
// reports, and a stray exception must not end the program.
#pragma once

#include <cstdint>
#include <functional>

#ifndef _WIN32
#include <thread>
#endif

namespace mt {

class Worker {
 public:
  using Body = std::function<void()>;

  // No thread: not joinable.
  Worker() = default;
  // Starts `body` on a new thread. Throws std::system_error when no thread can be made.
  explicit Worker(Body body);
  // Waits for the body when it is still joinable (unlike std::thread, which would end the
  // program). On the worker's own thread, where waiting could never end, it lets the thread go
  // instead.
  ~Worker();
  // The thread moves with the object; assigning over a joinable worker waits for its body first.
  Worker(Worker&& other) noexcept;
  Worker& operator=(Worker&& other) noexcept;
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // True from the start until Join.
  bool Joinable() const;
  // Waits for the body to end; does nothing when not joinable. Throws std::system_error
  // (resource_deadlock_would_occur) on the worker's own thread.
  void Join();

  // Starts `body` on a thread that is never waited for. Throws std::system_error when no
  // thread can be made (the body is then not run).
  static void StartDetached(Body body);

 private:
  void JoinOrLetGo() noexcept;
#ifdef _WIN32
  uintptr_t handle_ = 0;  // the thread's HANDLE
  unsigned id_ = 0;
#else
  std::thread thread_;
#endif
};

}  // namespace mt
