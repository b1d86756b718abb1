#include <windows.h>

#include "app/Sync.h"

namespace mt {

namespace {
static_assert(sizeof(SRWLOCK) == sizeof(void*) && sizeof(CONDITION_VARIABLE) == sizeof(void*),
              "the lock and the condition variable are kept in one pointer each");
PSRWLOCK Srw(void** p) { return reinterpret_cast<PSRWLOCK>(p); }
PCONDITION_VARIABLE Cv(void** p) { return reinterpret_cast<PCONDITION_VARIABLE>(p); }
}  // namespace

void Mutex::lock() { ::AcquireSRWLockExclusive(Srw(&srw_)); }
void Mutex::unlock() { ::ReleaseSRWLockExclusive(Srw(&srw_)); }
bool Mutex::try_lock() { return ::TryAcquireSRWLockExclusive(Srw(&srw_)) != 0; }

void CondVar::notify_one() { ::WakeConditionVariable(Cv(&cv_)); }
void CondVar::notify_all() { ::WakeAllConditionVariable(Cv(&cv_)); }

void CondVar::wait(std::unique_lock<Mutex>& lock) {
  ::SleepConditionVariableSRW(Cv(&cv_), Srw(&lock.mutex()->srw_), INFINITE, 0);
}

void CondVar::WaitMs(std::unique_lock<Mutex>& lock, unsigned long ms) {
  ::SleepConditionVariableSRW(Cv(&cv_), Srw(&lock.mutex()->srw_), ms, 0);
}

}  // namespace mt
