// The copy engine: moves bytes between streams through buffers of kCopyBufferSize, reading
// the source strictly front to back, and tells a monitor of every chunk (progress and stop).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "app/Error.h"
#include "app/Services.h"
#include "splitter/ChunkWorker.h"
#include "splitter/Digest.h"

namespace mt::splitter {

inline constexpr size_t kCopyBufferSize = 61440;

class ParityFold;

// Watches a long copy from the thread doing it: told of every chunk moved, it reports the
// progress and says when the user has asked to stop.
class CopyMonitor {
 public:
  virtual ~CopyMonitor() = default;
  // The number of bytes the whole work will copy, told once before the first chunk.
  virtual void Begin(uint64_t total) { (void)total; }
  // `bytes` more were copied; false stops the copy (it throws WorkStopped).
  virtual bool Copied(uint64_t bytes) = 0;
};

// Thrown by the engine when its monitor asked it to stop; not an error the user is told of.
class WorkStopped : public AppError {
 public:
  WorkStopped() : AppError("stopped") {}
};

// Fills `want` bytes: a short read means the source failed or ended early ("Stream read
// error").
void ReadFull(FileStream& from, char* buf, size_t want);
// Writes `n` bytes; a target that takes fewer is "Stream write error".
void WriteFull(FileStream& to, const char* buf, size_t n);
// acc[i] ^= in[i] for the first `n` bytes.
void XorInto(char* acc, const char* in, size_t n);

// Copies through one buffer of kCopyBufferSize bytes, allocated once per engine and reused.
// A copy that folds its bytes into the recovery piece reads and writes them on the calling
// thread, in chunks of kCopyBufferSize all the same, and leaves the digest and the fold to a
// ChunkWorker, started with the first such copy and kept for the engine's life. A digest
// alone stays on the calling thread: handing the bytes over costs more than XXH3.
class CopyEngine {
 public:
  explicit CopyEngine(CopyMonitor* monitor = nullptr);
  ~CopyEngine();
  // Copies exactly `count` bytes, feeding them to `hash` when given. Throws "Stream read
  // error" when the source fails or ends first, "Stream write error" when the target takes
  // fewer bytes than given, WorkStopped when the monitor says so.
  void Copy(FileStream& from, FileStream& to, uint64_t count, Digest* hash = nullptr);
  // Copies the whole of `from` (its size when the copy starts).
  void CopyAll(FileStream& from, FileStream& to, Digest* hash = nullptr) {
    Copy(from, to, from.Size(), hash);
  }
  // Reads `count` bytes of `from` into `hash` only, writing nothing (a check of a piece).
  void Hash(FileStream& from, uint64_t count, Digest& hash);
  // Copy, folding the bytes into the recovery piece `parity` (see ParityFold), whose piece
  // was started.
  void CopyFolding(FileStream& from, FileStream& to, uint64_t count, Digest* hash,
                   ParityFold& parity);

  // The monitor told of every chunk (null: none); false means stop.
  bool Moved(uint64_t bytes) { return !monitor_ || monitor_->Copied(bytes); }

 private:
  template <typename Each>
  void Chunks(FileStream& from, uint64_t count, Each each);
  // Copies `count` bytes of `from` to `to` on this thread, and has `work` done on them, in
  // order, on the worker's.
  void Piped(FileStream& from, FileStream& to, uint64_t count, ChunkWorker::Work work);
  std::unique_ptr<char[]> buffer_;
  std::unique_ptr<ChunkWorker> worker_;
  CopyMonitor* monitor_;
};

}  // namespace mt::splitter
