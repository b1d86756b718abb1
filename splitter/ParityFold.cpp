#include "splitter/ParityFold.h"

#include <algorithm>
#include <cstring>

#include "splitter/CopyEngine.h"

namespace mt::splitter {

ParityFold::ParityFold(FileStream& file, uint64_t length, Digest& digest, uint64_t inMemory)
    : file_(file),
      digest_(digest),
      length_(length),
      held_(static_cast<size_t>(std::min(length, inMemory))),
      // Not cleared: the first piece writes every byte before any is read.
      memory_(new char[held_ > 0 ? held_ : 1]) {}

void ParityFold::StartPiece(bool first, bool last) {
  first_ = first;
  last_ = last;
}

void ParityFold::Fold(const char* data, size_t n, uint64_t at) {
  if (at < held_) {
    const size_t take = static_cast<size_t>(std::min<uint64_t>(n, held_ - at));
    char* held = memory_.get() + at;
    if (first_) std::memcpy(held, data, take);
    else XorInto(held, data, take);
    if (last_) {
      // These bytes are final: out to the file while the copy goes on.
      file_.Seek(at);
      WriteFull(file_, held, take);
      digest_.Update(held, take);
      final_ = at + take;
    }
    data += take;
    n -= take;
    at += take;
  }
  if (n > 0) FoldInFile(data, n, at);
}

void ParityFold::FoldInFile(const char* data, size_t n, uint64_t at) {
  file_.Seek(at);
  const char* result = data;
  if (!first_) {
    if (scratchBytes_ < n) {
      scratch_.reset(new char[n]);
      scratchBytes_ = n;
    }
    ReadFull(file_, scratch_.get(), n);
    XorInto(scratch_.get(), data, n);
    file_.Seek(at);
    result = scratch_.get();
  }
  WriteFull(file_, result, n);
  if (last_) {
    digest_.Update(result, n);
    final_ = at + n;
  }
}

void ParityFold::Finish() {
  // A short last piece leaves the bytes after it as the pieces before it made them.
  if (final_ < held_) {
    file_.Seek(final_);
    WriteFull(file_, memory_.get() + final_, held_ - final_);
    digest_.Update(memory_.get() + final_, held_ - final_);
    final_ = held_;
  }
  if (final_ < length_) {
    file_.Seek(final_);
    CopyEngine().Hash(file_, length_ - final_, digest_);
  }
}

}  // namespace mt::splitter
