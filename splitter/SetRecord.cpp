#include "splitter/SetRecord.h"

#include <utility>

#include "splitter/PieceNames.h"
#include "splitter/PieceSize.h"

namespace mt::splitter {

std::string PieceHashKey(uint64_t number) { return kKeyWholeHash + std::to_string(number); }

uint64_t SetRecord::PieceBytes(uint64_t number) const {
  if (number < pieceHashes.size()) return pieceSize;
  return fileSize - (pieceHashes.size() - 1) * pieceSize;
}

std::string WholeHash(HashAlg alg, const std::vector<std::string>& pieceHashes) {
  std::string all;
  for (const std::string& h : pieceHashes) all += h;
  return DigestHex(alg, all);
}

void WriteIndexPiece(ProfileStore& profile, const std::string& indexPath,
                     const std::string& extension) {
  profile.WriteString(indexPath, kIndexSection, kIndexKey, extension);
}

std::string ReadIndexExtension(ProfileStore& profile, const std::string& indexPath) {
  return profile.ReadString(indexPath, kIndexSection, kIndexKey, indexPath);
}

void WriteSetRecord(ProfileStore& profile, const std::string& indexPath, const SetRecord& record) {
  auto put = [&](const std::string& key, const std::string& value) {
    profile.WriteString(indexPath, kIndexSection, key, value);
  };
  put(kKeyFileSize, std::to_string(record.fileSize));
  put(kKeyPieceSize, std::to_string(record.pieceSize));
  put(kKeyPieces, std::to_string(record.pieceHashes.size()));
  for (size_t i = 0; i < record.pieceHashes.size(); ++i)
    put(PieceHashKey(i + 1), record.pieceHashes[i]);
  put(kKeyWholeHash, record.wholeHash);
  // A set without a recovery piece says so, so that keys of another set cannot stand for it.
  put(kKeyRecovery, record.recovery ? record.recovery->name : "");
  put(kKeyRecoverySize, record.recovery ? std::to_string(record.recovery->size) : "");
  put(kKeyRecoveryHash, record.recovery ? record.recovery->hash : "");
  put(kKeyHashAlg, HashAlgName(record.alg));
}

namespace {

std::optional<uint64_t> ParseCount(const std::string& text) {
  if (text.empty() || text.size() > 19) return std::nullopt;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  return v;
}

bool IsDigest(const std::string& text, HashAlg alg) {
  if (text.size() != DigestHexLength(alg)) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

}  // namespace

RecordRead ReadSetRecord(ProfileStore& profile, const std::string& indexPath) {
  RecordRead out;
  auto get = [&](const std::string& key) {
    return profile.ReadString(indexPath, kIndexSection, key, "");
  };
  const std::string alg = get(kKeyHashAlg);
  if (alg.empty()) return out;
  out.kind = RecordRead::kDamaged;
  std::optional<HashAlg> named = HashAlgNamed(alg);
  if (!named) return out;
  std::optional<uint64_t> fileSize = ParseCount(get(kKeyFileSize));
  std::optional<uint64_t> pieceSize = ParseCount(get(kKeyPieceSize));
  std::optional<uint64_t> pieces = ParseCount(get(kKeyPieces));
  if (!fileSize || !pieceSize || !pieces || *pieceSize == 0) return out;
  // The count must be the one the sizes give, so PieceBytes cannot underflow.
  PiecePlan plan = PlanPieces(*fileSize, *pieceSize);
  if (plan.Count() != *pieces) return out;
  SetRecord& r = out.record;
  r.alg = *named;
  r.fileSize = *fileSize;
  r.pieceSize = *pieceSize;
  for (uint64_t k = 1; k <= *pieces; ++k) {
    std::string h = get(PieceHashKey(k));
    if (!IsDigest(h, r.alg)) return out;
    r.pieceHashes.push_back(std::move(h));
  }
  r.wholeHash = get(kKeyWholeHash);
  if (!IsDigest(r.wholeHash, r.alg)) return out;
  const std::string recovery = get(kKeyRecovery);
  if (!recovery.empty()) {
    // A plain name beside 0.ds, of the size of piece 1 (its parity covers every offset).
    std::optional<uint64_t> size = ParseCount(get(kKeyRecoverySize));
    std::string hash = get(kKeyRecoveryHash);
    if (recovery.find_first_of("\\/:") != std::string::npos || PieceNumber(recovery) || !size ||
        *pieces == 0 || *size != r.PieceBytes(1) || !IsDigest(hash, r.alg))
      return out;
    r.recovery = RecoveryRecord{recovery, *size, std::move(hash)};
  }
  out.kind = RecordRead::kValid;
  return out;
}

}  // namespace mt::splitter
