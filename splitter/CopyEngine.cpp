#include "splitter/CopyEngine.h"

#include <algorithm>
#include <cstring>

#include "splitter/ParityFold.h"

namespace mt::splitter {

void ReadFull(FileStream& from, char* buf, size_t want) {
  size_t got = 0;
  while (got < want) {
    size_t n = 0;
    try {
      n = from.Read(buf + got, want - got);
    } catch (const AppError&) {
      throw AppError("Stream read error");
    }
    if (n == 0) throw AppError("Stream read error");
    got += n;
  }
}

void WriteFull(FileStream& to, const char* buf, size_t n) {
  if (to.Write(buf, n) != n) throw AppError("Stream write error");
}

void XorInto(char* acc, const char* in, size_t n) {
  // Four words at a time, which the compiler turns into vector instructions; the rest by byte.
  size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    uint64_t a[4], b[4];
    std::memcpy(a, acc + i, 32);
    std::memcpy(b, in + i, 32);
    for (int w = 0; w < 4; ++w) a[w] ^= b[w];
    std::memcpy(acc + i, a, 32);
  }
  for (; i < n; ++i) acc[i] ^= in[i];
}

CopyEngine::CopyEngine(CopyMonitor* monitor)
    : buffer_(new char[kCopyBufferSize]), monitor_(monitor) {}

CopyEngine::~CopyEngine() = default;

// Reads `count` bytes of `from` a buffer at a time; `each(buf, n, at)` handles every chunk,
// then the monitor is told of it.
template <typename Each>
void CopyEngine::Chunks(FileStream& from, uint64_t count, Each each) {
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

void CopyEngine::Piped(FileStream& from, FileStream& to, uint64_t count, ChunkWorker::Work work) {
  // 16 buffers a slot: a hand-over per 960 KiB costs nothing beside the copy; four slots let
  // the copy run up to three ahead of the work.
  if (!worker_) worker_ = std::make_unique<ChunkWorker>(16 * kCopyBufferSize, 4);
  worker_->SetWork(std::move(work));
  try {
    uint64_t at = 0;
    while (at < count) {
      char* slot = worker_->Free();
      size_t filled = 0;
      while (filled < worker_->SlotBytes() && at + filled < count) {
        const size_t want = static_cast<size_t>(
            std::min<uint64_t>(kCopyBufferSize, count - at - filled));
        ReadFull(from, slot + filled, want);
        WriteFull(to, slot + filled, want);
        filled += want;
        if (!Moved(want)) throw WorkStopped();
      }
      worker_->Hand(filled, at);
      at += filled;
    }
    worker_->Drain();
  } catch (...) {
    // The work refers to the caller's digests and files, which may go with this exception.
    worker_->Abandon();
    throw;
  }
}

void CopyEngine::Copy(FileStream& from, FileStream& to, uint64_t count, Digest* hash) {
  Chunks(from, count, [&](const char* buf, size_t n, uint64_t) {
    WriteFull(to, buf, n);
    if (hash) hash->Update(buf, n);
  });
}

void CopyEngine::Hash(FileStream& from, uint64_t count, Digest& hash) {
  Chunks(from, count, [&](const char* buf, size_t n, uint64_t) { hash.Update(buf, n); });
}

void CopyEngine::CopyFolding(FileStream& from, FileStream& to, uint64_t count, Digest* hash,
                             ParityFold& parity) {
  Piped(from, to, count, [hash, &parity](const char* buf, size_t n, uint64_t at) {
    if (hash) hash->Update(buf, n);
    parity.Fold(buf, n, at);
  });
}

}  // namespace mt::splitter
