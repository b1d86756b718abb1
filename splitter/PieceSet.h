// The piece-set format and the copy engine behind "分割文件" and "合并文件".
//
// A piece set is one folder holding the Index piece "0.ds" (an INI file: section "fghb", key
// "kzm" = the source file's extension with its dot) and the data pieces 1.ds, 2.ds, ... of a
// fixed piece size: piece k holds bytes [(k-1)*P, k*P) of the source, the last one the rest.
// Sizes are 64-bit throughout, so sources and pieces beyond 4 GiB work.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Error.h"
#include "app/Path.h"
#include "app/Services.h"
#include "splitter/Digest.h"

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

// Watches a long copy from the thread doing it: told of every chunk moved, it reports the
// progress and says when the user has asked to stop.
class CopyMonitor {
 public:
  virtual ~CopyMonitor() = default;
  // The number of bytes the whole work will copy, told once before the first chunk.
  virtual void Begin(uint64_t total) { (void)total; }
  // `bytes` more were copied; false stops the copy (it throws WorkStopped).
  virtual bool Copied(uint64_t bytes) = 0;
};

// Thrown by the engine when its monitor asked it to stop; not an error the user is told of.
class WorkStopped : public AppError {
 public:
  WorkStopped() : AppError("stopped") {}
};

// Copies through one buffer of kCopyBufferSize bytes, allocated once per engine and reused,
// reading the source strictly front to back.
class CopyEngine {
 public:
  explicit CopyEngine(CopyMonitor* monitor = nullptr);
  // Copies exactly `count` bytes, feeding them to `hash` when given. Throws "Stream read
  // error" when the source fails or ends first, "Stream write error" when the target takes
  // fewer bytes than given, WorkStopped when the monitor says so.
  void Copy(FileStream& from, FileStream& to, uint64_t count, Digest* hash = nullptr);
  // Copies the whole of `from` (its size when the copy starts).
  void CopyAll(FileStream& from, FileStream& to, Digest* hash = nullptr) {
    Copy(from, to, from.Size(), hash);
  }
  // Copy, folding the bytes into `parity` from its start: the first piece of a set is written
  // to it as it is, every later one XORed into the bytes at the same offsets (read back, XORed,
  // written over), so the parity of a whole set needs two buffers, never a piece in memory.
  // With `parityHash` the parity's resulting bytes are fed to it (the last piece's pass).
  void CopyFolding(FileStream& from, FileStream& to, uint64_t count, Digest* hash,
                   FileStream& parity, bool firstPiece, Digest* parityHash = nullptr);
  // Writes `count` bytes to `to` that are the XOR of the same offsets of every stream in
  // `sources` (each read from its current position; one that ends early counts as zeros from
  // there), feeding them to `hash`. Rebuilds a lost piece from the others and the parity.
  void Xor(const std::vector<FileStream*>& sources, const std::vector<uint64_t>& sourceBytes,
           FileStream& to, uint64_t count, Digest* hash);

 private:
  char* Second();
  std::unique_ptr<char[]> buffer_;
  std::unique_ptr<char[]> second_;
  CopyMonitor* monitor_;
};

// ---- integrity record in the Index piece ----------------------------------------------------
// Keys added to section "fghb" beside "kzm"; older versions read only "kzm" and ignore them.
// "hashalg" is written last and names the hash, so a set whose split did not finish (or an
// older set) has no record and merges unchecked, as before. "hash" is the digest (of the same
// algorithm) of the piece digests' hex texts in order: with the sizes it pins down the whole
// file without hashing its bytes a second time. New sets use XXH3-128, sets of SHA-256 still
// verify. The recovery piece's name, size and digest come before "hashalg"; an empty
// "recovery" means the set has none.
inline constexpr const char* kKeyFileSize = "filesize";
inline constexpr const char* kKeyPieceSize = "piecesize";
inline constexpr const char* kKeyPieces = "pieces";
inline constexpr const char* kKeyHashAlg = "hashalg";
inline constexpr const char* kKeyWholeHash = "hash";
inline constexpr const char* kKeyRecovery = "recovery";
inline constexpr const char* kKeyRecoverySize = "recoverysize";
inline constexpr const char* kKeyRecoveryHash = "recoveryhash";
// The recovery piece beside 0.ds: never matched by "*.ds", so an older version's pieces dialog
// does not show it and its merge never appends it.
inline constexpr const char* kRecoveryName = "恢复.dsr";
// Piece k's digest is under "hash<k>" ("hash1", "hash2", ...).
std::string PieceHashKey(uint64_t number);

struct RecoveryRecord {
  std::string name;   // a file name beside 0.ds
  uint64_t size = 0;  // the size of piece 1
  std::string hash;
};

struct SetRecord {
  HashAlg alg = kNewSetHash;
  uint64_t fileSize = 0;
  uint64_t pieceSize = 0;
  std::vector<std::string> pieceHashes;  // hex, piece 1 first; its size is the piece count
  std::string wholeHash;
  std::optional<RecoveryRecord> recovery;
  // The size piece `number` (from 1) must have.
  uint64_t PieceBytes(uint64_t number) const;
};

// The whole-file digest of a set from its piece digests.
std::string WholeHash(HashAlg alg, const std::vector<std::string>& pieceHashes);

// Takes away the claim of an older record in the same Index piece before a new split writes
// its pieces ("hashalg" emptied).
void ClearSetRecord(ProfileStore& profile, const std::string& prefix);
// Writes the record, "hashalg" last.
void WriteSetRecord(ProfileStore& profile, const std::string& prefix, const SetRecord& record);

struct RecordRead {
  enum Kind { kNone, kValid, kDamaged } kind = kNone;
  SetRecord record;
};
// The record of the Index piece at `indexPath`: none when it has no "hashalg" (an older set,
// or a split that did not finish); damaged when "hashalg" names another hash or the other
// keys do not fit together.
RecordRead ReadSetRecord(ProfileStore& profile, const std::string& indexPath);

// ---- temporary names ------------------------------------------------------------------------
// A piece or a merge output is written as its final name followed by ".dspart" and renamed to
// its final name only once it is complete, so a run cut off by a crash, a power cut or a kill
// leaves nothing that looks whole. The suffix is never matched by "*.ds" (nor by the 8.3 short
// name, whose extension becomes "DSP").
inline constexpr const char* kPartSuffix = ".dspart";
std::string PartName(const std::string& finalPath);
// Creates the temporary file of `finalPath`. Its error names `finalPath`, the file the user
// knows of: "Cannot create file "%s". %s".
std::unique_ptr<FileStream> CreatePart(FileSystem& files, const std::string& finalPath);
// Removes the files "*.dspart" that an earlier run left in the folder `prefix` (with its
// separator); they are never complete. Errors are ignored: a leftover that cannot be removed
// (in use by a run still going) does no harm.
void RemoveLeftoverParts(FileSystem& files, const std::string& prefix);
// Writes `finalPath` through its temporary name: `write` fills the stream, which is then closed
// and checked to hold `expectedSize` bytes (when given) before the rename. On any failure the
// temporary file is removed and the error travels on; the final name is never touched.
// `beforeRename` runs between the check and the rename.
void WriteThroughPart(FileSystem& files, const std::string& finalPath,
                      const std::function<void(FileStream&)>& write,
                      std::optional<uint64_t> expectedSize = std::nullopt,
                      const std::function<void()>& beforeRename = {});
// Removes every numbered data piece ("<n>.ds", n >= 1) in the folder `prefix`, and the recovery
// piece of the set they belong to.
void RemoveDataPieces(FileSystem& files, const std::string& prefix);

// Where the pieces of a split go: `folder` followed by "\" (not doubled).
std::string TargetPrefix(const std::string& folder);

// The source of a split grew or shrank while it was being cut.
class SourceChanged : public AppError {
 public:
  SourceChanged() : AppError("source changed") {}
};

// Writes the data pieces of `sourcePath` as `prefix` + "1.ds", ... Each piece is written under
// its temporary name and replaces a file of its final name only when complete; leftovers of an
// earlier run are removed first, and once every piece is in place the numbered pieces above the
// new count (an older, longer set's, useless once its lower pieces were replaced) are removed,
// so the folder never holds a mixed set. Returns the number of pieces written. Errors are those of the file system
// ("Cannot open file", "Cannot create file") and of the copy engine, SourceChanged when the
// source's size at the end is not the size it had at the start (or it ended early); complete
// pieces stay, the piece being written when it failed or was stopped is removed, the source
// is closed on every path. With `record`, the sizes and each piece's digest (record->alg) are
// filled in while copying. With `recovery` (and a record) the same pass also writes the recovery
// piece kRecoveryName, the XOR of all pieces (the shorter last one padded with zeros), under its
// temporary name, renamed once every piece is in; the record gets its name, size and digest.
uint64_t WriteDataPieces(FileSystem& files, const std::string& sourcePath,
                         const std::string& prefix, uint64_t pieceSize, SetRecord* record = nullptr,
                         CopyMonitor* monitor = nullptr, bool recovery = false);

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
void AppendRows(FileSystem& files, FileStream& output, const std::vector<std::string>& rows,
                CopyMonitor* monitor = nullptr);

// What is wrong with a listed piece against the Index piece's record.
struct PieceProblem {
  enum Kind {
    kNotListed,        // piece `number` of the set is not in the list (`piece`: where it belongs)
    kExtra,            // `piece` is listed beyond the set's last piece
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

// Thrown while joining a checked set when a piece's digest differs from the record.
class PieceMismatch : public AppError {
 public:
  explicit PieceMismatch(PieceProblem p) : AppError("piece mismatch"), problem(std::move(p)) {}
  PieceProblem problem;
};

// Before anything is written: the rows to join must be pieces 1..n of the record, once each,
// in order, each of its recorded size. `indexPath` gives the folder named for a missing piece.
std::optional<PieceProblem> CheckRowsAgainstRecord(FileSystem& files, const std::string& indexPath,
                                                   const std::vector<std::string>& rows,
                                                   const SetRecord& record);

// AppendRows for a checked set: each row's digest is taken while it is copied and compared
// with the record when the row is done; a difference throws PieceMismatch.
void AppendCheckedRows(FileSystem& files, FileStream& output, const std::vector<std::string>& rows,
                       const SetRecord& record, CopyMonitor* monitor = nullptr);

// ---- sets with a recovery piece -------------------------------------------------------------
// The listed rows of a set whose record names a recovery piece, matched to its pieces before
// anything is written. A piece that is not listed, cannot be opened or has the wrong size is
// bad; the recovery piece may be listed (a row of its name) or lie beside the Index piece.
struct CheckedPlan {
  std::optional<PieceProblem> refusal;  // a row that is not one of this set's pieces
  std::vector<std::string> pieces;      // piece k at [k-1]: its row, or where it belongs
  std::vector<PieceProblem> bad;        // lowest number first
  std::string recovery;                 // its path (listed or beside 0.ds)
  bool recoveryUsable = false;          // it exists with its recorded size
  bool IsBad(uint64_t number) const;
};
CheckedPlan PlanCheckedMerge(FileSystem& files, const std::string& indexPath,
                             const std::vector<std::string>& rows, const SetRecord& record);

// More than one piece is bad, or a rebuild failed because another piece is bad too.
class TooManyBad : public AppError {
 public:
  explicit TooManyBad(std::vector<PieceProblem> p)
      : AppError("too many bad pieces"), problems(std::move(p)) {}
  std::vector<PieceProblem> problems;
};

// Joins the pieces of `plan` into `output` (positioned at its start), each piece's digest
// compared as it is copied. With a piece found bad before copying, every other piece and the
// recovery piece are read side by side in one pass, each chunk written to its place in the
// output and XORed into the bad piece's chunk, so the rebuild reads and writes no more than a
// plain merge; a piece whose digest differs while copying is rebuilt over the bytes just
// written (the output is sought back to its start) from one more read of the others. The rebuilt bytes must match the recorded digest. Returns the
// number of the piece rebuilt, 0 when none was. Throws PieceMismatch (a bad piece that cannot
// be rebuilt: kWrongHash, kNoRecovery, kRecoveryDamaged) or TooManyBad.
uint64_t JoinChecked(FileSystem& files, FileStream& output, const CheckedPlan& plan,
                     const SetRecord& record, CopyMonitor* monitor = nullptr);

// The state of a set against its record, every piece and the recovery piece read once.
struct SetCheck {
  enum Recovery { kNoRecovery, kRecoveryGood, kRecoveryMissing, kRecoveryDamaged };
  std::vector<PieceProblem> bad;  // lowest number first
  Recovery recovery = kNoRecovery;
  std::string recoveryPath;
  bool Whole() const {
    return bad.empty() && recovery != kRecoveryMissing && recovery != kRecoveryDamaged;
  }
  bool Repairable() const { return bad.size() == 1 && recovery == kRecoveryGood; }
};
// `rows` as ListBox1 holds them after the Index piece; a set with no recovery piece is checked
// the same way (its recovery state is kNoRecovery). Throws "stopped" through the monitor only.
SetCheck CheckSet(FileSystem& files, const std::string& indexPath,
                  const std::vector<std::string>& rows, const SetRecord& record,
                  CopyMonitor* monitor = nullptr);

// Writes piece `number` back to `piecePath` from the joined file `outputPath`, where its bytes
// lie, through the temporary name; its digest must match the record before the rename.
void WriteBackPiece(FileSystem& files, const std::string& outputPath, const std::string& piecePath,
                    uint64_t number, const SetRecord& record, CopyMonitor* monitor = nullptr);

}  // namespace mt::splitter
