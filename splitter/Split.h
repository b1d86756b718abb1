// The split: the data pieces of a source, and in the same pass the recovery piece.
#pragma once

#include <cstdint>
#include <string>

#include "app/Error.h"
#include "app/Services.h"
#include "splitter/CopyEngine.h"
#include "splitter/SetRecord.h"

namespace mt::splitter {

// The source of a split grew or shrank while it was being cut.
class SourceChanged : public AppError {
 public:
  SourceChanged() : AppError("source changed") {}
};

// Writes the data pieces of `sourcePath` as `prefix` + "1.ds", ... Each piece is written under
// its temporary name and replaces a file of its final name only when complete; leftovers of an
// earlier run are removed first. An older set in the folder stays whole until the first new
// piece is complete, then its numbered pieces go (lowest first) before that piece takes its
// name, so the folder never holds a mixed set. Returns the number of pieces written. Errors are
// those of the file system ("Cannot open file", "Cannot create file") and of the copy engine,
// SourceChanged when the source's size at the end is not the size it had at the start (or it
// ended early); complete pieces stay, the piece being written when it failed or was stopped is
// removed, the source is closed on every path. With `record`, the sizes and each piece's digest
// (record->alg) are filled in while copying. With `recovery` (and a record) the same pass also
// writes the recovery piece kRecoveryName, the XOR of all pieces (the shorter last one padded
// with zeros), under its temporary name, renamed once every piece is in; the record gets its
// name, size and digest.
uint64_t WriteDataPieces(FileSystem& files, const std::string& sourcePath,
                         const std::string& prefix, uint64_t pieceSize, SetRecord* record = nullptr,
                         CopyMonitor* monitor = nullptr, bool recovery = false);

}  // namespace mt::splitter
