// The second thread of a copy: what a copy does with its bytes besides moving them (a split's
// digests and the recovery piece's fold) runs here, in order, while the copying thread goes on
// reading and writing. So two cores share a split with its recovery piece instead of one.
//
// The copying thread fills a slot (several copy buffers long), hands it over and takes the
// next free one; it waits only while every slot is still being worked on. The work runs on
// the worker's thread alone; what it throws comes back to the copying thread at its next
// Free or Drain, and no work runs after it. The hand-over waits on app/Sync.h's lock and
// condition variable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/Sync.h"

namespace mt::splitter {

class ChunkWorker {
 public:
  // `n` bytes at `data`, found at offset `at` of the piece being copied.
  using Work = std::function<void(const char* data, size_t n, uint64_t at)>;

  ChunkWorker(size_t slotBytes, size_t slots);
  // Waits for the slot being worked on and ends the thread; work not started is dropped.
  ~ChunkWorker();
  ChunkWorker(const ChunkWorker&) = delete;
  ChunkWorker& operator=(const ChunkWorker&) = delete;

  size_t SlotBytes() const { return slotBytes_; }
  // The work for the slots handed over from now on. Only while nothing is handed over (after
  // Drain or Abandon, or before the first Hand).
  void SetWork(Work work) { work_ = std::move(work); }
  // A free slot of SlotBytes() bytes, waiting while none is; rethrows what the work threw.
  char* Free();
  // Hands over the slot Free gave last, its first `n` bytes, from offset `at`.
  void Hand(size_t n, uint64_t at);
  // Waits until every slot handed over is done; rethrows what the work threw.
  void Drain();
  // Drops the slots not started and waits for the one being worked on, so that nothing the
  // work refers to is touched any more; a failure of the work is forgotten. For a copy that
  // is leaving by an exception of its own.
  void Abandon() noexcept;

 private:
  struct Job {
    size_t slot;
    size_t n;
    uint64_t at;
  };
  void Run();
  void RethrowLocked();

  const size_t slotBytes_;
  std::vector<std::unique_ptr<char[]>> slots_;
  Work work_;
  Mutex mutex_;
  CondVar wake_;  // the worker: a job, or the end
  CondVar done_;  // the copier: a slot free, or every job done
  std::deque<Job> jobs_;
  std::vector<size_t> free_;
  size_t filling_ = 0;  // the slot Free gave last
  bool busy_ = false;   // a job is being worked on
  bool stop_ = false;
  std::exception_ptr failure_;
  std::thread thread_;
};

}  // namespace mt::splitter
