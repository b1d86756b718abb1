// The copy engine: moves bytes between streams through buffers of kCopyBufferSize, reading
// the source strictly front to back, and tells a monitor of every chunk (progress and stop).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "app/Error.h"
#include "app/Services.h"
#include "splitter/Digest.h"

namespace mt::splitter {

inline constexpr size_t kCopyBufferSize = 61440;

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
class CopyEngine {
 public:
  explicit CopyEngine(CopyMonitor* monitor = nullptr);
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
  // Copy, handing every chunk to `each(data, n, offset in the piece)` after it was written.
  template <typename Each>
  void CopyEach(FileStream& from, FileStream& to, uint64_t count, Digest* hash, Each each) {
    Chunks(from, count, [&](const char* buf, size_t n, uint64_t at) {
      WriteFull(to, buf, n);
      if (hash) hash->Update(buf, n);
      each(buf, n, at);
    });
  }

  // The monitor told of every chunk (null: none); false means stop.
  bool Moved(uint64_t bytes) { return !monitor_ || monitor_->Copied(bytes); }

 private:
  // Reads `count` bytes of `from` a buffer at a time; `each(buf, n, at)` handles every chunk,
  // then the monitor is told of it.
  template <typename Each>
  void Chunks(FileStream& from, uint64_t count, Each each) {
    char* buf = buffer_.get();
    uint64_t at = 0;
    while (at < count) {
      const size_t want = count - at < kCopyBufferSize ? static_cast<size_t>(count - at)
                                                       : kCopyBufferSize;
      ReadFull(from, buf, want);
      each(buf, want, at);
      at += want;
      if (!Moved(want)) throw WorkStopped();
    }
  }
  std::unique_ptr<char[]> buffer_;
  CopyMonitor* monitor_;
};

// The most the recovery piece keeps in memory while a split folds the pieces into it.
inline constexpr size_t kParityMemory = 64 * 1024 * 1024;
// The block in which the rest of a longer recovery piece is read back, XORed and written over.
inline constexpr size_t kParityBlock = 1024 * 1024;

// The recovery piece being made: the XOR of every piece, the shorter last one padded with
// zeros, `size` bytes (piece 1's). Its first kParityMemory bytes are kept in memory, so that
// for pieces up to that size the file is written once, at the end; beyond them the file holds
// the bytes, read back, XORed and written over a kParityBlock at a time.
class ParityFold {
 public:
  // `memory`: the most kept in memory (kParityMemory; tests pass less).
  ParityFold(FileStream& file, uint64_t size, size_t memory = kParityMemory);
  // The piece starting now is the first one (its bytes are the parity as they are) or not.
  void BeginPiece(bool first);
  // The bytes at `at` of the current piece, in order.
  void Fold(const char* data, size_t n, uint64_t at);
  // After the last piece: the parity written whole, its digest fed to `hash`.
  void Finish(Digest& hash);

 private:
  void Flush();
  FileStream& file_;
  const uint64_t size_;
  const size_t held_;  // bytes kept in memory: min(size, memory)
  std::unique_ptr<char[]> memory_;
  std::unique_ptr<char[]> block_;
  uint64_t blockAt_ = 0;
  size_t blockBytes_ = 0;  // 0: no block loaded
  bool blockDirty_ = false;
  bool first_ = true;
};

}  // namespace mt::splitter
