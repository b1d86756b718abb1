#include "splitter/PieceSize.h"

#include <optional>

#include "app/Error.h"
#include "app/Text.h"

namespace mt::splitter {

int32_t ParseMegabytes(const std::string& edit1Text) {
  std::optional<int32_t> n = ParseInt32(edit1Text);
  if (!n) throw AppError(FormatMessage1("'%s' is not a valid integer value", edit1Text));
  return *n;
}

uint64_t PieceSizeBytes(int32_t megabytes) {
  if (megabytes == 0) throw AppError("Division by zero");
  return static_cast<uint64_t>(static_cast<int64_t>(megabytes)) * kMegabyte;
}

PiecePlan PlanPieces(uint64_t sourceSize, uint64_t pieceSize) {
  PiecePlan plan;
  plan.fullPieces = sourceSize / pieceSize;
  plan.remainder = sourceSize - plan.fullPieces * pieceSize;
  return plan;
}

}  // namespace mt::splitter
