// The recovery piece while a split builds it: the byte-wise XOR of every piece, the first
// piece taken as it is. Its first kParityInMemory bytes are held in memory; the rest, if the
// pieces are longer, is folded in its file (read back, XORed, written over). The last piece's
// pass writes out and digests the bytes it finishes. So a recovery piece costs a split about
// one XOR pass over the source instead of a second read and write of it, and its memory stays
// bounded whatever the piece size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "app/Services.h"
#include "splitter/Digest.h"

namespace mt::splitter {

inline constexpr uint64_t kParityInMemory = 64ull << 20;

class ParityFold {
 public:
  // `file`: the recovery piece, open for reading and writing, empty; `length`: its length,
  // that of the first piece; `digest` is fed its bytes in order; at most `inMemory` bytes of it
  // are held in memory.
  ParityFold(FileStream& file, uint64_t length, Digest& digest,
             uint64_t inMemory = kParityInMemory);
  // The piece folded from now on: the first one's bytes are taken as they are, every later
  // one's XORed in; after the last one's bytes the parity is final.
  void StartPiece(bool first, bool last);
  // Folds `n` bytes of the piece, found at offset `at` of it; a piece's bytes come front to
  // back. The first piece covers the whole length; the others are no longer.
  void Fold(const char* data, size_t n, uint64_t at);
  // Writes what is still held in memory into the file and digests the rest of the parity.
  void Finish();

 private:
  void FoldInFile(const char* data, size_t n, uint64_t at);
  FileStream& file_;
  Digest& digest_;
  const uint64_t length_;
  const size_t held_;  // the first bytes, held in memory
  std::unique_ptr<char[]> memory_;
  std::unique_ptr<char[]> scratch_;  // what is read back of the rest
  size_t scratchBytes_ = 0;
  bool first_ = true;
  bool last_ = false;
  uint64_t final_ = 0;  // the parity's bytes before this offset are written and digested
};

}  // namespace mt::splitter
