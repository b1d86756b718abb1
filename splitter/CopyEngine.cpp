#include "splitter/CopyEngine.h"

#include <algorithm>
#include <cstring>

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

void CopyEngine::Copy(FileStream& from, FileStream& to, uint64_t count, Digest* hash) {
  Chunks(from, count, [&](const char* buf, size_t n, uint64_t) {
    WriteFull(to, buf, n);
    if (hash) hash->Update(buf, n);
  });
}

void CopyEngine::Hash(FileStream& from, uint64_t count, Digest& hash) {
  Chunks(from, count, [&](const char* buf, size_t n, uint64_t) { hash.Update(buf, n); });
}

ParityFold::ParityFold(FileStream& file, uint64_t size, size_t memory)
    : file_(file),
      size_(size),
      held_(static_cast<size_t>(std::min<uint64_t>(size, memory))),
      memory_(new char[held_ > 0 ? held_ : 1]) {}

void ParityFold::BeginPiece(bool first) {
  Flush();
  first_ = first;
}

void ParityFold::Fold(const char* data, size_t n, uint64_t at) {
  if (at < held_) {
    const size_t take = static_cast<size_t>(std::min<uint64_t>(n, held_ - at));
    if (first_) std::memcpy(memory_.get() + at, data, take);
    else XorInto(memory_.get() + at, data, take);
    data += take;
    n -= take;
    at += take;
  }
  if (n == 0) return;
  if (first_) {
    // Piece 1 beyond the memory goes to the file as it comes, in order.
    file_.Seek(at);
    WriteFull(file_, data, n);
    return;
  }
  if (!block_) block_.reset(new char[kParityBlock]);
  while (n > 0) {
    if (blockBytes_ == 0 || at < blockAt_ || at >= blockAt_ + blockBytes_) {
      Flush();
      blockAt_ = held_ + (at - held_) / kParityBlock * kParityBlock;
      blockBytes_ = static_cast<size_t>(std::min<uint64_t>(kParityBlock, size_ - blockAt_));
      file_.Seek(blockAt_);
      ReadFull(file_, block_.get(), blockBytes_);
    }
    const size_t off = static_cast<size_t>(at - blockAt_);
    const size_t take = std::min(n, blockBytes_ - off);
    XorInto(block_.get() + off, data, take);
    blockDirty_ = true;
    data += take;
    n -= take;
    at += take;
  }
}

void ParityFold::Flush() {
  if (blockDirty_) {
    file_.Seek(blockAt_);
    WriteFull(file_, block_.get(), blockBytes_);
  }
  blockDirty_ = false;
  blockBytes_ = 0;
}

void ParityFold::Finish(Digest& hash) {
  Flush();
  file_.Seek(0);
  WriteFull(file_, memory_.get(), held_);
  hash.Update(memory_.get(), held_);
  // The rest lies in the file only: read once more for the digest.
  if (size_ > held_) {
    if (!block_) block_.reset(new char[kParityBlock]);
    file_.Seek(held_);
    for (uint64_t at = held_; at < size_;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(kParityBlock, size_ - at));
      ReadFull(file_, block_.get(), n);
      hash.Update(block_.get(), n);
      at += n;
    }
  }
}

}  // namespace mt::splitter
