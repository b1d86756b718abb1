#include "splitter/SetCheck.h"

#include <algorithm>
#include <memory>

namespace mt::splitter {

SetCheck CheckSet(FileSystem& files, const std::string& indexPath,
                  const std::vector<std::string>& rows, const SetRecord& record,
                  CopyMonitor* monitor) {
  SetCheck out;
  CheckedPlan plan = PlanCheckedMerge(files, indexPath, rows, record);
  out.bad = plan.bad;
  out.recoveryPath = plan.recovery;
  uint64_t total = 0;
  for (uint64_t k = 1; k <= plan.pieces.size(); ++k)
    if (!plan.IsBad(k)) total += record.PieceBytes(k);
  if (plan.recoveryUsable) total += record.recovery->size;
  if (monitor) monitor->Begin(total);
  CopyEngine engine(monitor);
  Digest hash(record.alg);
  // The digest of `path`'s first `bytes`; empty when it cannot be read that far.
  auto digestOf = [&](const std::string& path, uint64_t bytes) -> std::string {
    try {
      std::unique_ptr<FileStream> in = files.OpenRead(path);
      engine.Hash(*in, bytes, hash);
      return hash.FinishHex();
    } catch (const WorkStopped&) {
      throw;
    } catch (const AppError&) {
      // Gone or shortened since it was looked at.
      hash.FinishHex();
      return "";
    }
  };
  for (uint64_t k = 1; k <= plan.pieces.size(); ++k) {
    if (plan.IsBad(k)) continue;
    const std::string& path = plan.pieces[k - 1];
    const std::string digest = digestOf(path, record.PieceBytes(k));
    if (digest.empty()) out.bad.push_back({PieceProblem::kGone, path, k, 0, 0});
    else if (digest != record.pieceHashes[k - 1])
      out.bad.push_back({PieceProblem::kWrongHash, path, k, 0, 0});
  }
  std::sort(out.bad.begin(), out.bad.end(),
            [](const PieceProblem& a, const PieceProblem& b) { return a.number < b.number; });
  if (record.recovery) {
    out.recovery = SetCheck::kRecoveryMissing;
    if (plan.recoveryUsable) {
      const std::string digest = digestOf(plan.recovery, record.recovery->size);
      if (!digest.empty())
        out.recovery = digest == record.recovery->hash ? SetCheck::kRecoveryGood
                                                       : SetCheck::kRecoveryDamaged;
    }
  }
  return out;
}

}  // namespace mt::splitter
