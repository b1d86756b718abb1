// The piece size the user types into Edit1, and how a source divides into pieces of it.
// Sizes are 64-bit throughout, so sources and pieces beyond 4 GiB work.
#pragma once

#include <cstdint>
#include <string>

namespace mt::splitter {

inline constexpr uint64_t kMegabyte = 1048576;

// The text of Edit1 as a whole number of megabytes; throws "'%s' is not a valid integer
// value" with the text for anything else.
int32_t ParseMegabytes(const std::string& edit1Text);
// Megabytes to bytes in 64-bit arithmetic; throws "Division by zero" for 0. Negative counts
// are refused by the caller before anything is written.
uint64_t PieceSizeBytes(int32_t megabytes);

// Piece k holds bytes [(k-1)*P, k*P) of the source, the last one the rest.
struct PiecePlan {
  uint64_t fullPieces = 0;  // pieces of exactly the piece size
  uint64_t remainder = 0;   // bytes of the one extra piece, 0 when there is none
  uint64_t Count() const { return fullPieces + (remainder > 0 ? 1 : 0); }
};
PiecePlan PlanPieces(uint64_t sourceSize, uint64_t pieceSize);

}  // namespace mt::splitter
