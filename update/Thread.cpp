#include "update/Thread.h"

#include <cassert>

#include "app/Worker.h"

namespace mt {

TThread::TThread(bool createSuspended) {
  assert(createSuspended);
  (void)createSuspended;
}

void TThread::Run(TThread* thread) {
  try {
    thread->Execute();
  } catch (...) {
    // Absorbed here, so that the object is still freed: the thread simply ends.
  }
  if (thread->FreeOnTerminate) delete thread;
}

void TThread::Resume() {
  if (started_.exchange(true)) return;
  try {
    Worker::StartDetached([this] { Run(this); });
  } catch (...) {
    started_ = false;
    throw;
  }
}

}  // namespace mt
