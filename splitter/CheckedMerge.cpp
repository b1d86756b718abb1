#include "splitter/CheckedMerge.h"

#include <memory>

#include "app/Path.h"
#include "app/Text.h"
#include "splitter/PieceNames.h"
#include "splitter/Rebuild.h"

namespace mt::splitter {

bool CheckedPlan::IsBad(uint64_t number) const {
  for (const PieceProblem& p : bad)
    if (p.number == number) return true;
  return false;
}

CheckedPlan PlanCheckedMerge(FileSystem& files, const std::string& indexPath,
                             const std::vector<std::string>& rows, const SetRecord& record) {
  CheckedPlan plan;
  const uint64_t count = record.pieceHashes.size();
  const std::string folder = FolderPrefix(indexPath);
  plan.pieces.resize(count);
  std::vector<bool> listed(count, false);
  for (const std::string& row : rows) {
    if (record.recovery && EqualsNoCase(FileNameOf(row), record.recovery->name)) {
      plan.recovery = row;
      continue;
    }
    std::optional<uint64_t> n = PieceNumber(row);
    if (!n || *n == 0 || *n > count || listed[*n - 1]) {
      if (!plan.refusal) plan.refusal = PieceProblem{PieceProblem::kExtra, row, n ? *n : 0, 0, 0};
      continue;
    }
    listed[*n - 1] = true;
    plan.pieces[*n - 1] = row;
  }
  for (uint64_t k = 1; k <= count; ++k) {
    std::string& path = plan.pieces[k - 1];
    if (!listed[k - 1]) {
      path = folder + PieceName(k);
      plan.bad.push_back({PieceProblem::kNotListed, path, k, 0, 0});
      continue;
    }
    uint64_t actual = 0;
    try {
      actual = files.OpenRead(path)->Size();
    } catch (const AppError&) {
      plan.bad.push_back({PieceProblem::kGone, path, k, 0, 0});
      continue;
    }
    if (actual != record.PieceBytes(k))
      plan.bad.push_back({PieceProblem::kWrongSize, path, k, record.PieceBytes(k), actual});
  }
  if (record.recovery) {
    if (plan.recovery.empty()) plan.recovery = folder + record.recovery->name;
    try {
      plan.recoveryUsable = files.OpenRead(plan.recovery)->Size() == record.recovery->size;
    } catch (const AppError&) {
      plan.recoveryUsable = false;
    }
  }
  return plan;
}

void RefuseUnjoinable(const CheckedPlan& plan, const SetRecord& record) {
  if (plan.bad.empty()) return;
  // Without a recovery piece the first bad piece is the one to name, as the merge would meet
  // it first.
  if (!record.recovery) throw PieceMismatch(plan.bad.front());
  if (plan.bad.size() > 1) throw TooManyBad(plan.bad);
  if (!plan.recoveryUsable) {
    PieceProblem p = plan.bad.front();
    p.kind = PieceProblem::kNoRecovery;
    p.other = plan.recovery;
    throw PieceMismatch(p);
  }
}

uint64_t JoinChecked(FileSystem& files, FileStream& output, const CheckedPlan& plan,
                     const SetRecord& record, CopyMonitor* monitor) {
  RefuseUnjoinable(plan, record);
  // Every piece is compared with its recorded digest, so the record of the whole file must be
  // the one of those digests.
  if (WholeHash(record.alg, record.pieceHashes) != record.wholeHash)
    throw PieceMismatch({PieceProblem::kWholeWrong, "", 0, 0, 0});
  if (monitor) monitor->Begin(record.fileSize);
  if (!plan.bad.empty()) {
    RebuildPass(files, output, plan, record, plan.bad.front(), true, monitor);
    return plan.bad.front().number;
  }
  CopyEngine engine(monitor);
  Digest hash(record.alg);
  uint64_t rebuilt = 0;
  for (uint64_t k = 1; k <= plan.pieces.size(); ++k) {
    const uint64_t bytes = record.PieceBytes(k);
    std::unique_ptr<FileStream> in = files.OpenRead(plan.pieces[k - 1]);
    // The size checked before the merge started: a piece changed since copies no more.
    if (in->Size() != bytes)
      throw PieceMismatch({PieceProblem::kWrongSize, plan.pieces[k - 1], k, bytes, in->Size()});
    engine.Copy(*in, output, bytes, &hash);
    in.reset();
    if (hash.FinishHex() == record.pieceHashes[k - 1]) continue;
    const PieceProblem wrong{PieceProblem::kWrongHash, plan.pieces[k - 1], k, 0, 0};
    // The one piece the recovery piece can stand for was rebuilt already.
    if (rebuilt)
      throw TooManyBad(
          {{PieceProblem::kWrongHash, plan.pieces[rebuilt - 1], rebuilt, 0, 0}, wrong});
    if (!plan.recoveryUsable) throw PieceMismatch(wrong);
    // Written over where it was just copied to; the output goes on after it.
    RebuildPass(files, output, plan, record, wrong, false, monitor);
    rebuilt = k;
  }
  return rebuilt;
}

}  // namespace mt::splitter
