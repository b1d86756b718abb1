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

// Where an older Index piece waits while a split replaces its set: "0.ds.old.dspart".
std::string AsideName(const std::string& indexPath);

struct SplitRequest {
  std::string sourcePath;
  std::string prefix;  // the target folder with its separator
  uint64_t pieceSize = 0;
  std::string extension;  // "kzm": the source's extension with its dot
  bool recovery = false;  // write the recovery piece too
  HashAlg alg = kNewSetHash;
};

// The whole split into a folder: the data pieces (WriteDataPieces, with the record), the
// recovery piece when asked for, and the Index piece. The Index piece is written under its
// temporary name and takes "0.ds" last, once the set is whole and its record in it, so a split
// cut off at any point leaves no Index piece beside pieces it does not describe. An older
// "0.ds" in the folder is moved aside (AsideName) before the first piece is written and removed
// when the new one takes its name; a split that fails or is stopped while the older set is
// still whole puts it back. The Index piece is a convenience for the merge: when it cannot be
// written the pieces are still written, without the recovery piece (of use only with the
// record that names it). Returns whether the Index piece was written. Errors and SourceChanged
// as WriteDataPieces; a file system refusing to move the older Index piece aside stops the
// split before anything is written.
bool SplitIntoSet(FileSystem& files, ProfileStore& profile, const SplitRequest& request,
                  CopyMonitor* monitor = nullptr);

}  // namespace mt::splitter
