// Recovery: one bad piece rebuilt from the others and the recovery piece (the XOR of all
// pieces, the shorter last one padded with zeros), and the rebuilt piece written back.
#pragma once

#include <cstdint>
#include <string>

#include "app/Services.h"
#include "splitter/CheckedMerge.h"
#include "splitter/CopyEngine.h"
#include "splitter/SetRecord.h"

namespace mt::splitter {

// Rebuilds piece `bad.number` into its place in `output`: every other piece and the recovery
// piece are read side by side, a chunk at a time, and XORed into the bad piece's chunk, each
// piece's digest taken on the way, so every piece is read once. With `placeOthers` every other
// piece's chunk is written to its place in the output too (a join in one pass, as a plain merge
// reads and writes); without, only the bad piece's bytes are written, over what is there. The
// output is sought to every place written. Throws TooManyBad (`bad` first, then every other
// piece whose digest differs) or PieceMismatch kRecoveryDamaged when only the rebuilt piece
// fails its digest.
void RebuildPass(FileSystem& files, FileStream& output, const CheckedPlan& plan,
                 const SetRecord& record, const PieceProblem& bad, bool placeOthers,
                 CopyMonitor* monitor = nullptr);

// Writes piece `number` back to `piecePath` from the joined file `outputPath`, where its bytes
// lie, through the temporary name; its digest must match the record before the rename.
void WriteBackPiece(FileSystem& files, const std::string& outputPath, const std::string& piecePath,
                    uint64_t number, const SetRecord& record, CopyMonitor* monitor = nullptr);

}  // namespace mt::splitter
