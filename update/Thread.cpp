#include "update/Thread.h"

#include <cassert>
#include <cerrno>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#include <process.h>
#else
#include <thread>
#endif

namespace mt {

TThread::TThread(bool createSuspended) {
  assert(createSuspended);
  (void)createSuspended;
}

void TThread::Run(TThread* thread) {
  try {
    thread->Execute();
  } catch (...) {
    // Absorbed here: the thread simply ends.
  }
  if (thread->FreeOnTerminate) delete thread;
}

#ifdef _WIN32
unsigned __stdcall TThread::Entry(void* thread) {
  Run(static_cast<TThread*>(thread));
  return 0;
}
#endif

void TThread::Resume() {
  if (started_.exchange(true)) return;
#ifdef _WIN32
  // Straight from the C runtime: a detached std::thread of MinGW's threads library now and
  // then never starts its body (seen under Wine: about one in 150), which would leave the
  // update's hand-over to the window undone for good.
  const uintptr_t handle = _beginthreadex(nullptr, 0, Entry, this, 0, nullptr);
  if (handle == 0) {
    started_ = false;
    throw std::system_error(errno, std::generic_category(), "cannot start a thread");
  }
  ::CloseHandle(reinterpret_cast<HANDLE>(handle));
#else
  try {
    std::thread(Run, this).detach();
  } catch (...) {
    started_ = false;
    throw;
  }
#endif
}

}  // namespace mt
