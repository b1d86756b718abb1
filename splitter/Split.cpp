#include "splitter/Split.h"

#include <memory>
#include <optional>

#include "splitter/PartFiles.h"
#include "splitter/PieceNames.h"
#include "splitter/PieceSize.h"

namespace mt::splitter {

uint64_t WriteDataPieces(FileSystem& files, const std::string& sourcePath,
                         const std::string& prefix, uint64_t pieceSize, SetRecord* record,
                         CopyMonitor* monitor, bool recovery) {
  std::unique_ptr<FileStream> source = files.OpenRead(sourcePath);
  const uint64_t size = source->Size();
  PiecePlan plan = PlanPieces(size, pieceSize);
  if (monitor) monitor->Begin(size);
  CopyEngine engine(monitor);
  std::optional<Digest> hash;
  if (record) {
    hash.emplace(record->alg);
    record->fileSize = size;
    record->pieceSize = pieceSize;
    record->pieceHashes.clear();
    record->recovery.reset();
  }
  RemoveLeftoverParts(files, prefix);
  // The recovery piece is open under its temporary name for the whole split and folded into as
  // each piece is copied; it takes its name only after the last piece is in.
  const bool withParity = recovery && record && plan.Count() > 0;
  const std::string parityName = prefix + kRecoveryName;
  std::unique_ptr<FileStream> parity;
  std::optional<Digest> parityHash;
  if (withParity) {
    parity = CreatePart(files, parityName);
    parityHash.emplace(record->alg);
  }
  try {
    uint64_t written = 0;
    // The older set in the folder stays whole until the first new piece is complete; then it
    // goes at once (its first piece is about to be replaced, so what is left of it could never
    // be joined again), and from then on the folder holds only pieces of this split.
    auto removeOlderSet = [&] {
      if (written == 0) RemoveDataPieces(files, prefix);
    };
    auto piece = [&](uint64_t bytes) {
      const std::string name = prefix + PieceName(written + 1);
      try {
        const bool last = written + 1 == plan.Count();
        WriteThroughPart(
            files, name,
            [&](FileStream& out) {
              if (parity)
                engine.CopyFolding(*source, out, bytes, &*hash, *parity, written == 0,
                                   last ? &*parityHash : nullptr);
              else engine.Copy(*source, out, bytes, hash ? &*hash : nullptr);
            },
            bytes, removeOlderSet);
      } catch (...) {
        // A source that ends before the size it had at the start was changed meanwhile.
        if (source->Size() != size) throw SourceChanged();
        throw;
      }
      if (record) record->pieceHashes.push_back(hash->FinishHex());
      ++written;
    };
    for (uint64_t k = 0; k < plan.fullPieces; ++k) piece(pieceSize);
    if (plan.remainder > 0) piece(plan.remainder);
    // An empty source writes no piece; the older set still has to go.
    if (written == 0) RemoveDataPieces(files, prefix);
    if (source->Size() != size) throw SourceChanged();
    if (record) record->wholeHash = WholeHash(record->alg, record->pieceHashes);
    if (parity) {
      // The last pass gave the parity's bytes up to the last piece's length; the rest holds what
      // the full pieces before it left, read once more for the digest.
      const uint64_t parityBytes = record->PieceBytes(1);
      const uint64_t lastBytes = record->PieceBytes(plan.Count());
      if (lastBytes < parityBytes) {
        parity->Seek(lastBytes);
        CopyEngine().Hash(*parity, parityBytes - lastBytes, *parityHash);
      }
      if (parity->Size() != parityBytes) throw AppError("Stream write error");
      parity.reset();
      files.Rename(PartName(parityName), parityName);
      record->recovery = RecoveryRecord{kRecoveryName, parityBytes, parityHash->FinishHex()};
    }
    return written;
  } catch (...) {
    if (parity) {
      parity.reset();
      RemoveQuietly(files, PartName(parityName));
    }
    throw;
  }
}

}  // namespace mt::splitter
