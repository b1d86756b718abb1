#include "splitter/Split.h"

#include <memory>
#include <optional>

#include "splitter/ParityFold.h"
#include "splitter/PartFiles.h"
#include "splitter/PieceNames.h"
#include "splitter/PieceSize.h"

namespace mt::splitter {

namespace {

// WriteDataPieces without the sweep of leftovers; `olderSetGone` turns true once the older
// set's pieces were removed (when the first new piece was complete).
uint64_t WritePieces(FileSystem& files, const std::string& sourcePath, const std::string& prefix,
                     uint64_t pieceSize, SetRecord* record, CopyMonitor* monitor, bool recovery,
                     bool& olderSetGone) {
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
  // The recovery piece is open under its temporary name for the whole split and folded into as
  // each piece is copied; it takes its name only after the last piece is in.
  const bool withParity = recovery && record && plan.Count() > 0;
  const std::string parityName = prefix + kRecoveryName;
  std::unique_ptr<FileStream> parity;
  std::optional<Digest> parityHash;
  std::optional<ParityFold> fold;
  if (withParity) {
    parity = CreatePart(files, parityName);
    parityHash.emplace(record->alg);
    fold.emplace(*parity, plan.fullPieces > 0 ? pieceSize : plan.remainder, *parityHash);
  }
  try {
    uint64_t written = 0;
    // The older set in the folder stays whole until the first new piece is complete; then it
    // goes at once (its first piece is about to be replaced, so what is left of it could never
    // be joined again), and from then on the folder holds only pieces of this split.
    auto removeOlderSet = [&] {
      if (written > 0) return;
      RemoveDataPieces(files, prefix);
      olderSetGone = true;
    };
    auto piece = [&](uint64_t bytes) {
      const std::string name = prefix + PieceName(written + 1);
      try {
        WriteThroughPart(
            files, name,
            [&](FileStream& out) {
              if (fold) {
                fold->StartPiece(written == 0, written + 1 == plan.Count());
                engine.CopyFolding(*source, out, bytes, &*hash, *fold);
              } else engine.Copy(*source, out, bytes, hash ? &*hash : nullptr);
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
    if (written == 0) removeOlderSet();
    if (source->Size() != size) throw SourceChanged();
    if (record) record->wholeHash = WholeHash(record->alg, record->pieceHashes);
    if (parity) {
      const uint64_t parityBytes = record->PieceBytes(1);
      fold->Finish();
      fold.reset();
      if (parity->Size() != parityBytes) throw AppError("Stream write error");
      parity.reset();
      files.Rename(PartName(parityName), parityName);
      record->recovery = RecoveryRecord{kRecoveryName, parityBytes, parityHash->FinishHex()};
    }
    return written;
  } catch (...) {
    if (parity) {
      fold.reset();
      parity.reset();
      RemoveQuietly(files, PartName(parityName));
    }
    throw;
  }
}

}  // namespace

uint64_t WriteDataPieces(FileSystem& files, const std::string& sourcePath,
                         const std::string& prefix, uint64_t pieceSize, SetRecord* record,
                         CopyMonitor* monitor, bool recovery) {
  RemoveLeftoverParts(files, prefix);
  bool olderSetGone = false;
  return WritePieces(files, sourcePath, prefix, pieceSize, record, monitor, recovery, olderSetGone);
}

std::string AsideName(const std::string& indexPath) { return indexPath + ".old" + kPartSuffix; }

bool SplitIntoSet(FileSystem& files, ProfileStore& profile, const SplitRequest& request,
                  CopyMonitor* monitor) {
  const std::string& prefix = request.prefix;
  const std::string index = prefix + kIndexName;
  const std::string indexPart = PartName(index);
  const std::string aside = AsideName(index);
  RemoveLeftoverParts(files, prefix);
  // The older Index piece leaves its name before anything else happens: beside pieces of two
  // sets, or of a set cut off, it would make them look like a set of an earlier version.
  const bool hadIndex = files.FileExists(index);
  if (hadIndex) files.Rename(index, aside);
  bool indexWritten = false;
  try {
    WriteIndexPiece(profile, indexPart, request.extension);
    indexWritten = true;
  } catch (const AppError&) {
    // A convenience for the merge: the pieces are worth having without it.
  }
  SetRecord record;
  record.alg = request.alg;
  bool olderSetGone = false;
  try {
    // The recovery piece is of use only with the record that names it.
    WritePieces(files, request.sourcePath, prefix, request.pieceSize, &record, monitor,
                request.recovery && indexWritten, olderSetGone);
  } catch (...) {
    RemoveQuietly(files, indexPart);
    // An older set still whole gets its Index piece back; one partly replaced does not.
    if (hadIndex) {
      try {
        if (olderSetGone) files.RemoveFile(aside);
        else files.Rename(aside, index);
      } catch (const AppError&) {
      }
    }
    throw;
  }
  if (indexWritten) {
    try {
      WriteSetRecord(profile, indexPart, record);
    } catch (const AppError&) {
      // As with "kzm": the pieces stand without the record.
    }
    files.Rename(indexPart, index);
  }
  if (hadIndex) RemoveQuietly(files, aside);
  return indexWritten;
}

}  // namespace mt::splitter
