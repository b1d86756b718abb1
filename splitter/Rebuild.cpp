#include "splitter/Rebuild.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "splitter/PartFiles.h"

namespace mt::splitter {

void RebuildPass(FileSystem& files, FileStream& output, const CheckedPlan& plan,
                 const SetRecord& record, const PieceProblem& bad, bool placeOthers,
                 CopyMonitor* monitor) {
  const uint64_t count = plan.pieces.size();
  const uint64_t number = bad.number;
  std::unique_ptr<FileStream> parity;
  try {
    parity = files.OpenRead(plan.recovery);
  } catch (const AppError&) {
    // Gone since the plan was made: the bad piece cannot be rebuilt.
    PieceProblem p = bad;
    p.kind = PieceProblem::kNoRecovery;
    p.other = plan.recovery;
    throw PieceMismatch(p);
  }
  std::vector<std::unique_ptr<FileStream>> in(count);
  std::vector<std::unique_ptr<Digest>> digest(count);
  for (uint64_t k = 1; k <= count; ++k) {
    if (k != number) in[k - 1] = files.OpenRead(plan.pieces[k - 1]);
    digest[k - 1] = std::make_unique<Digest>(record.alg);
  }
  std::unique_ptr<char[]> accBuffer(new char[kCopyBufferSize]), inBuffer(new char[kCopyBufferSize]);
  char* acc = accBuffer.get();
  char* buf = inBuffer.get();
  auto place = [&](uint64_t k, uint64_t at, const char* data, size_t n, bool write) {
    if (write) {
      output.Seek((k - 1) * record.pieceSize + at);
      WriteFull(output, data, n);
    }
    digest[k - 1]->Update(data, n);
    // Progress counts the output's bytes; a rebuild over bytes already counted only asks
    // whether to stop.
    if (monitor && !monitor->Copied(placeOthers ? n : 0)) throw WorkStopped();
  };
  const uint64_t span = record.recovery->size;
  const uint64_t badBytes = record.PieceBytes(number);
  for (uint64_t at = 0; at < span; at += kCopyBufferSize) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(kCopyBufferSize, span - at));
    ReadFull(*parity, acc, want);
    for (uint64_t k = 1; k <= count; ++k) {
      const uint64_t bytes = record.PieceBytes(k);
      if (k == number || at >= bytes) continue;
      const size_t take = static_cast<size_t>(std::min<uint64_t>(want, bytes - at));
      ReadFull(*in[k - 1], buf, take);
      XorInto(acc, buf, take);
      place(k, at, buf, take, placeOthers);
    }
    if (at < badBytes)
      place(number, at, acc, static_cast<size_t>(std::min<uint64_t>(want, badBytes - at)), true);
  }
  std::vector<PieceProblem> wrong = {bad};
  for (uint64_t k = 1; k <= count; ++k)
    if (k != number && digest[k - 1]->FinishHex() != record.pieceHashes[k - 1])
      wrong.push_back({PieceProblem::kWrongHash, plan.pieces[k - 1], k, 0, 0});
  if (wrong.size() > 1) throw TooManyBad(wrong);
  if (digest[number - 1]->FinishHex() != record.pieceHashes[number - 1])
    throw PieceMismatch(
        {PieceProblem::kRecoveryDamaged, plan.pieces[number - 1], number, 0, 0, plan.recovery});
}

void WriteBackPiece(FileSystem& files, const std::string& outputPath, const std::string& piecePath,
                    uint64_t number, const SetRecord& record, CopyMonitor* monitor) {
  const uint64_t bytes = record.PieceBytes(number);
  if (monitor) monitor->Begin(bytes);
  std::unique_ptr<FileStream> in = files.OpenRead(outputPath);
  in->Seek(record.pieceSize * (number - 1));
  CopyEngine engine(monitor);
  Digest hash(record.alg);
  WriteThroughPart(
      files, piecePath,
      [&](FileStream& out) {
        engine.Copy(*in, out, bytes, &hash);
        if (hash.FinishHex() != record.pieceHashes[number - 1])
          throw PieceMismatch({PieceProblem::kWrongHash, outputPath, number, 0, 0});
      },
      bytes);
}

}  // namespace mt::splitter
