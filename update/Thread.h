// A worker thread object: created suspended, started by Resume on a detached thread of the
// app's Worker (never waited for, not even at the program's end), and (with FreeOnTerminate,
// the default) deleting itself when its body returns. Whatever the body throws ends it
// quietly: background work never reports to the user.
#pragma once

#include <atomic>

namespace mt {

class TThread {
 public:
  // The body only ever starts at Resume, so a derived object is complete before it runs;
  // `createSuspended` is kept for the callers' sake and must be true.
  explicit TThread(bool createSuspended);
  virtual ~TThread() = default;
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Starts the body on a thread of its own (once; later calls do nothing). Throws
  // std::system_error when no thread can be made; the object then belongs to the caller.
  void Resume();

  bool FreeOnTerminate = true;

 protected:
  virtual void Execute() = 0;

 private:
  // The body as the new thread runs it: Execute, then (with FreeOnTerminate) delete.
  static void Run(TThread* thread);

  std::atomic<bool> started_{false};
};

}  // namespace mt
