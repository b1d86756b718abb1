#include "update/Thread.h"

#include <cassert>
#include <thread>

namespace mt {

TThread::TThread(bool createSuspended) {
  assert(createSuspended);
  (void)createSuspended;
}

void TThread::Resume() {
  if (started_.exchange(true)) return;
  try {
    std::thread([this] {
      try {
        Execute();
      } catch (...) {
        // Absorbed here: the thread simply ends.
      }
      if (FreeOnTerminate) delete this;
    }).detach();
  } catch (...) {
    started_ = false;
    throw;
  }
}

}  // namespace mt
