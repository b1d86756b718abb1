#include "splitter/ChunkWorker.h"

#include <utility>

namespace mt::splitter {

ChunkWorker::ChunkWorker(size_t slotBytes, size_t slots) : slotBytes_(slotBytes) {
  for (size_t i = 0; i < slots; ++i) {
    slots_.emplace_back(new char[slotBytes]);
    free_.push_back(i);
  }
  thread_ = std::thread([this] { Run(); });
}

ChunkWorker::~ChunkWorker() {
  {
    std::lock_guard<Mutex> lock(mutex_);
    stop_ = true;
    jobs_.clear();
  }
  wake_.notify_all();
  thread_.join();
}

void ChunkWorker::RethrowLocked() {
  if (!failure_) return;
  std::exception_ptr failure = std::exchange(failure_, nullptr);
  std::rethrow_exception(failure);
}

char* ChunkWorker::Free() {
  std::unique_lock<Mutex> lock(mutex_);
  done_.wait(lock, [&] { return !free_.empty() || failure_; });
  RethrowLocked();
  filling_ = free_.back();
  free_.pop_back();
  return slots_[filling_].get();
}

void ChunkWorker::Hand(size_t n, uint64_t at) {
  {
    std::lock_guard<Mutex> lock(mutex_);
    jobs_.push_back({filling_, n, at});
  }
  wake_.notify_one();
}

void ChunkWorker::Drain() {
  std::unique_lock<Mutex> lock(mutex_);
  // After a failure the jobs left are only passed over, so this does not wait for long.
  done_.wait(lock, [&] { return jobs_.empty() && !busy_; });
  RethrowLocked();
}

void ChunkWorker::Abandon() noexcept {
  std::unique_lock<Mutex> lock(mutex_);
  for (const Job& job : jobs_) free_.push_back(job.slot);
  jobs_.clear();
  done_.wait(lock, [&] { return !busy_; });
  failure_ = nullptr;
  // A slot taken by Free and never handed over is free again too.
  free_.clear();
  for (size_t i = 0; i < slots_.size(); ++i) free_.push_back(i);
}

void ChunkWorker::Run() {
  std::unique_lock<Mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return stop_ || !jobs_.empty(); });
    if (stop_) return;
    const Job job = jobs_.front();
    jobs_.pop_front();
    if (!failure_) {
      busy_ = true;
      lock.unlock();
      std::exception_ptr failed;
      try {
        work_(slots_[job.slot].get(), job.n, job.at);
      } catch (...) {
        failed = std::current_exception();
      }
      lock.lock();
      busy_ = false;
      if (failed) failure_ = failed;
    }
    free_.push_back(job.slot);
    done_.notify_all();
  }
}

}  // namespace mt::splitter
