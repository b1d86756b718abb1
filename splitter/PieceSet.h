// The piece-set format and the copy engine behind "分割文件" and "合并文件".
//
// A piece set is one folder holding the Index piece "0.ds" (an INI file: section "fghb", key
// "kzm" = the source file's extension with its dot) and the data pieces 1.ds, 2.ds, ... of a
// fixed piece size: piece k holds bytes [(k-1)*P, k*P) of the source, the last one the rest.
// Sizes are 64-bit throughout, so sources and pieces beyond 4 GiB work.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Path.h"
#include "app/Services.h"

namespace mt::splitter {

inline constexpr size_t kCopyBufferSize = 61440;
inline constexpr uint64_t kMegabyte = 1048576;
inline constexpr const char* kIndexName = "0.ds";
inline constexpr const char* kIndexSection = "fghb";
inline constexpr const char* kIndexKey = "kzm";

// "7.ds" for 7.
std::string PieceName(uint64_t number);
// The number of a file named "<digits>.ds" (any case), or empty for any other name.
// Numbers too large for 64 bits count as other names.
std::optional<uint64_t> PieceNumber(const std::string& path);
// True for a file named "0.ds" (any case), wherever it lies.
bool IsIndexPiece(const std::string& path);

// The text of Edit1 as a whole number of megabytes; throws "'%s' is not a valid integer
// value" with the text for anything else.
int32_t ParseMegabytes(const std::string& edit1Text);
// Megabytes to bytes in 64-bit arithmetic; throws "Division by zero" for 0. Negative counts
// are refused by the caller before anything is written.
uint64_t PieceSizeBytes(int32_t megabytes);

struct PiecePlan {
  uint64_t fullPieces = 0;  // pieces of exactly the piece size
  uint64_t remainder = 0;   // bytes of the one extra piece, 0 when there is none
  uint64_t Count() const { return fullPieces + (remainder > 0 ? 1 : 0); }
};
PiecePlan PlanPieces(uint64_t sourceSize, uint64_t pieceSize);

// Copies through one buffer of kCopyBufferSize bytes, allocated once per engine and reused,
// reading the source strictly front to back.
class CopyEngine {
 public:
  CopyEngine();
  // Copies exactly `count` bytes. Throws "Stream read error" when the source fails or ends
  // first, "Stream write error" when the target takes fewer bytes than given.
  void Copy(FileStream& from, FileStream& to, uint64_t count);
  // Copies the whole of `from` (its size when the copy starts).
  void CopyAll(FileStream& from, FileStream& to) { Copy(from, to, from.Size()); }

 private:
  std::unique_ptr<char[]> buffer_;
};

// Where the pieces of a split go: `folder` followed by "\" (not doubled).
std::string TargetPrefix(const std::string& folder);

// Writes the data pieces of `sourcePath` as `prefix` + "1.ds", ... Each piece replaces a file
// of that name. Returns the number of pieces written. Errors are those of the file system
// ("Cannot open file", "Cannot create file") and of the copy engine; pieces written so far
// stay, the source is closed on every path.
uint64_t WriteDataPieces(FileSystem& files, const std::string& sourcePath,
                         const std::string& prefix, uint64_t pieceSize);

// Writes the Index piece `prefix` + "0.ds" through the profile write, so other lines stay.
void WriteIndexPiece(ProfileStore& profile, const std::string& prefix,
                     const std::string& extension);
// The extension recorded in the Index piece at `indexPath`; `indexPath` itself when the file
// holds none.
std::string ReadIndexExtension(ProfileStore& profile, const std::string& indexPath);

// ---- merge rules ------------------------------------------------------------------------
// One confirmed selection in the order the list keeps it: "<number>.ds" names in numeric
// order first (0.ds, 1.ds, ..., 9.ds, 10.ds), then every other name in the given order.
std::vector<std::string> OrderSelection(const std::vector<std::string>& selection);

// The rows a merge joins: every row after the first except Index pieces, in list order.
std::vector<std::string> RowsToJoin(const std::vector<std::string>& listRows);

// What keeps a list from being joined as it stands.
struct ListProblem {
  enum Kind {
    kNoIndexFirst,  // the first row, which the join skips, is a data piece: `piece` is that row
    kMissing,       // `piece` (a path in the folder of its set) is not listed where it is needed
    kOutOfOrder,    // `piece` is listed, but only after `before`, a later piece of its set
  };
  Kind kind;
  std::string piece;
  std::string before;
};

// Checks the ListBox1 rows before a merge. The first row must not be a data piece. Then the
// numbered rows of each folder, in list order, must follow one another (1.ds, 2.ds, 3.ds, ...);
// a number at or below one already passed starts the run again (a set listed twice). A row
// that jumps ahead is out of order when the piece it skips comes later in the list, otherwise
// that piece is missing. Folders compare without regard to case, "\" and "/" alike; rows of
// other names are not looked at.
std::optional<ListProblem> CheckListOrder(const std::vector<std::string>& listRows);

// True when both paths name the same file (full paths, "\" and "/" alike, any case).
bool SameFile(FileSystem& files, const std::string& a, const std::string& b);

// True when `target` is one of `rows` and so must not be created over: by its path text, or,
// when the target exists, by its file identity, however either is spelled.
bool IsListedFile(FileSystem& files, const std::string& target,
                  const std::vector<std::string>& rows);

// Appends the whole of every row to `output`, in order, through one engine.
void AppendRows(FileSystem& files, FileStream& output, const std::vector<std::string>& rows);

}  // namespace mt::splitter
