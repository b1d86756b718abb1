// The checked merge: the listed rows matched to the pieces of the Index piece's record before
// anything is written, then joined with each piece's digest compared as it is copied. A set
// whose record names a recovery piece may have one bad piece; it is rebuilt while joining.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/Error.h"
#include "app/Services.h"
#include "splitter/CopyEngine.h"
#include "splitter/SetRecord.h"

namespace mt::splitter {

// What is wrong with a listed piece against the Index piece's record.
struct PieceProblem {
  enum Kind {
    kNotListed,        // piece `number` of the set is not in the list (`piece`: where it belongs)
    kExtra,            // `piece` is listed beyond the set's last piece, or twice
    kGone,             // `piece` is listed but cannot be opened (deleted, moved, in use)
    kWrongSize,        // `piece` has `actual` bytes instead of `expected`
    kWrongHash,        // `piece`'s content is not the one recorded (altered, swapped, another set)
    kWholeWrong,       // the pieces match one by one but not the record of the whole file
    kRecoveryDamaged,  // piece `number` (`piece`) rebuilt from the recovery piece `other` did
                       // not match its digest, and every other piece did: `other` is damaged
    kNoRecovery,  // `piece` is bad and the recovery piece `other` is missing or of the wrong size
  };
  Kind kind;
  std::string piece;
  uint64_t number = 0;
  uint64_t expected = 0, actual = 0;
  std::string other{};
};

// One piece does not match the record and cannot be rebuilt.
class PieceMismatch : public AppError {
 public:
  explicit PieceMismatch(PieceProblem p) : AppError("piece mismatch"), problem(std::move(p)) {}
  PieceProblem problem;
};

// More than one piece is bad, or a rebuild failed because another piece is bad too.
class TooManyBad : public AppError {
 public:
  explicit TooManyBad(std::vector<PieceProblem> p)
      : AppError("too many bad pieces"), problems(std::move(p)) {}
  std::vector<PieceProblem> problems;
};

// The listed rows of a set with a record, matched to its pieces before anything is written.
// A piece that is not listed, cannot be opened or has the wrong size is bad; the recovery piece
// (when the record names one) may be listed (a row of its name, any case) or lie beside the
// Index piece.
struct CheckedPlan {
  std::optional<PieceProblem> refusal;  // a row that is not one of this set's pieces
  std::vector<std::string> pieces;      // piece k at [k-1]: its row, or where it belongs
  std::vector<PieceProblem> bad;        // lowest number first
  std::string recovery;                 // its path (listed or beside 0.ds); "" without one
  bool recoveryUsable = false;          // it exists with its recorded size
  bool IsBad(uint64_t number) const;
};
CheckedPlan PlanCheckedMerge(FileSystem& files, const std::string& indexPath,
                             const std::vector<std::string>& rows, const SetRecord& record);

// What keeps a plan from being joined, known before anything is written: throws TooManyBad
// (two or more bad pieces of a set with a recovery piece) or PieceMismatch (a bad piece of a
// set without one, or kNoRecovery when its recovery piece is missing or of the wrong size).
void RefuseUnjoinable(const CheckedPlan& plan, const SetRecord& record);

// Joins the pieces of `plan` into `output` (positioned at its start), each piece's digest
// compared as it is copied. A piece found bad before copying is rebuilt in one pass over the
// others (see RebuildPass); a piece whose digest differs while copying is rebuilt over the
// bytes just written from one more read of the others. The rebuilt bytes must match the
// recorded digest. Returns the number of the piece rebuilt, 0 when none was. Throws what
// RefuseUnjoinable throws, PieceMismatch (kWrongHash, kWrongSize, kWholeWrong,
// kRecoveryDamaged) or TooManyBad.
uint64_t JoinChecked(FileSystem& files, FileStream& output, const CheckedPlan& plan,
                     const SetRecord& record, CopyMonitor* monitor = nullptr);

}  // namespace mt::splitter
