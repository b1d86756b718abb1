// The Index piece "0.ds": the source's extension under "kzm", and the record of sizes and
// digests that lets a merge check every piece.
//
// The record's keys go into section "fghb" beside "kzm"; older versions read only "kzm" and
// ignore them. "hashalg" is written last and names the hash, so a set whose split did not
// finish (or an older set) has no record and merges unchecked, as before. "hash" is the digest
// (of the same algorithm) of the piece digests' hex texts in order: with the sizes it pins down
// the whole file without hashing its bytes a second time. New sets use XXH3-128, sets of
// SHA-256 still verify. The recovery piece's name, size and digest come before "hashalg"; an
// empty "recovery" means the set has none.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/Services.h"
#include "splitter/Digest.h"

namespace mt::splitter {

inline constexpr const char* kKeyFileSize = "filesize";
inline constexpr const char* kKeyPieceSize = "piecesize";
inline constexpr const char* kKeyPieces = "pieces";
inline constexpr const char* kKeyHashAlg = "hashalg";
inline constexpr const char* kKeyWholeHash = "hash";
inline constexpr const char* kKeyRecovery = "recovery";
inline constexpr const char* kKeyRecoverySize = "recoverysize";
inline constexpr const char* kKeyRecoveryHash = "recoveryhash";
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

// Writes "kzm" into the Index piece at `indexPath` through the profile write, so other lines
// stay.
void WriteIndexPiece(ProfileStore& profile, const std::string& indexPath,
                     const std::string& extension);
// The extension recorded in the Index piece at `indexPath`; `indexPath` itself when the file
// holds none.
std::string ReadIndexExtension(ProfileStore& profile, const std::string& indexPath);

// Writes the record into the Index piece at `indexPath`, "hashalg" last.
void WriteSetRecord(ProfileStore& profile, const std::string& indexPath, const SetRecord& record);

struct RecordRead {
  enum Kind { kNone, kValid, kDamaged } kind = kNone;
  SetRecord record;
};
// The record of the Index piece at `indexPath`: none when it has no "hashalg" (an older set,
// or a split that did not finish); damaged when "hashalg" names another hash or the other
// keys do not fit together (a recovery name that is not a plain name beside 0.ds among them).
RecordRead ReadSetRecord(ProfileStore& profile, const std::string& indexPath);

}  // namespace mt::splitter
