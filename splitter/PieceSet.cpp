#include "splitter/PieceSet.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>

#include "app/Error.h"
#include "app/Path.h"
#include "app/Text.h"
#include "splitter/Digest.h"

namespace mt::splitter {

std::string PieceName(uint64_t number) { return std::to_string(number) + ".ds"; }

std::optional<uint64_t> PieceNumber(const std::string& path) {
  std::string name = FileNameOf(path);
  if (name.size() < 4 || !EqualsNoCase(name.substr(name.size() - 3), ".ds")) return std::nullopt;
  std::string digits = name.substr(0, name.size() - 3);
  uint64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    uint64_t d = static_cast<uint64_t>(c - '0');
    if (value > (UINT64_MAX - d) / 10) return std::nullopt;
    value = value * 10 + d;
  }
  return value;
}

bool IsIndexPiece(const std::string& path) { return EqualsNoCase(FileNameOf(path), kIndexName); }

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

// ---- copying ------------------------------------------------------------------------------

CopyEngine::CopyEngine(CopyMonitor* monitor)
    : buffer_(new char[kCopyBufferSize]), monitor_(monitor) {}

namespace {

// Fills `want` bytes: a short read before the end of the count means the source failed or
// ended early.
void ReadFull(FileStream& from, char* buf, size_t want) {
  size_t got = 0;
  while (got < want) {
    size_t n = 0;
    try {
      n = from.Read(buf + got, want - got);
    } catch (const AppError&) {
      throw AppError("Stream read error");
    }
    if (n == 0) throw AppError("Stream read error");
    got += n;
  }
}

void WriteFull(FileStream& to, const char* buf, size_t n) {
  if (to.Write(buf, n) != n) throw AppError("Stream write error");
}

void XorInto(char* acc, const char* in, size_t n) {
  // Whole words first; the compiler widens this loop further.
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t a, b;
    std::memcpy(&a, acc + i, 8);
    std::memcpy(&b, in + i, 8);
    a ^= b;
    std::memcpy(acc + i, &a, 8);
  }
  for (; i < n; ++i) acc[i] ^= in[i];
}

}  // namespace

char* CopyEngine::Second() {
  if (!second_) second_.reset(new char[kCopyBufferSize]);
  return second_.get();
}

void CopyEngine::Copy(FileStream& from, FileStream& to, uint64_t count, Digest* hash) {
  char* buf = buffer_.get();
  while (count > 0) {
    size_t want = count < kCopyBufferSize ? static_cast<size_t>(count) : kCopyBufferSize;
    ReadFull(from, buf, want);
    WriteFull(to, buf, want);
    if (hash) hash->Update(buf, want);
    count -= want;
    if (monitor_ && !monitor_->Copied(want)) throw WorkStopped();
  }
}

void CopyEngine::CopyFolding(FileStream& from, FileStream& to, uint64_t count, Digest* hash,
                             FileStream& parity, bool firstPiece, Digest* parityHash) {
  char* buf = buffer_.get();
  char* par = firstPiece ? nullptr : Second();
  uint64_t at = 0;
  if (!firstPiece) parity.Seek(0);
  while (count > 0) {
    size_t want = count < kCopyBufferSize ? static_cast<size_t>(count) : kCopyBufferSize;
    ReadFull(from, buf, want);
    WriteFull(to, buf, want);
    if (hash) hash->Update(buf, want);
    if (firstPiece) {
      WriteFull(parity, buf, want);
      if (parityHash) parityHash->Update(buf, want);
    } else {
      parity.Seek(at);
      ReadFull(parity, par, want);
      XorInto(par, buf, want);
      parity.Seek(at);
      WriteFull(parity, par, want);
      if (parityHash) parityHash->Update(par, want);
    }
    at += want;
    count -= want;
    if (monitor_ && !monitor_->Copied(want)) throw WorkStopped();
  }
}

void CopyEngine::Xor(const std::vector<FileStream*>& sources,
                     const std::vector<uint64_t>& sourceBytes, FileStream& to, uint64_t count,
                     Digest* hash) {
  char* acc = buffer_.get();
  char* in = Second();
  uint64_t at = 0;
  while (count > 0) {
    size_t want = count < kCopyBufferSize ? static_cast<size_t>(count) : kCopyBufferSize;
    std::memset(acc, 0, want);
    for (size_t s = 0; s < sources.size(); ++s) {
      if (sourceBytes[s] <= at) continue;
      size_t take = static_cast<size_t>(std::min<uint64_t>(want, sourceBytes[s] - at));
      ReadFull(*sources[s], in, take);
      XorInto(acc, in, take);
    }
    WriteFull(to, acc, want);
    if (hash) hash->Update(acc, want);
    at += want;
    count -= want;
    // Progress counts the output's bytes; a rebuild is only asked whether to stop.
    if (monitor_ && !monitor_->Copied(0)) throw WorkStopped();
  }
}

// ---- integrity record -------------------------------------------------------------------------

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

void ClearSetRecord(ProfileStore& profile, const std::string& prefix) {
  const std::string index = prefix + kIndexName;
  if (!profile.ReadString(index, kIndexSection, kKeyHashAlg, "").empty())
    profile.WriteString(index, kIndexSection, kKeyHashAlg, "");
}

void WriteSetRecord(ProfileStore& profile, const std::string& prefix, const SetRecord& record) {
  const std::string index = prefix + kIndexName;
  profile.WriteString(index, kIndexSection, kKeyFileSize, std::to_string(record.fileSize));
  profile.WriteString(index, kIndexSection, kKeyPieceSize, std::to_string(record.pieceSize));
  profile.WriteString(index, kIndexSection, kKeyPieces, std::to_string(record.pieceHashes.size()));
  for (size_t i = 0; i < record.pieceHashes.size(); ++i)
    profile.WriteString(index, kIndexSection, PieceHashKey(i + 1), record.pieceHashes[i]);
  profile.WriteString(index, kIndexSection, kKeyWholeHash, record.wholeHash);
  // A set without a recovery piece says so, so that the keys of an older set in the same
  // Index piece cannot stand for it.
  profile.WriteString(index, kIndexSection, kKeyRecovery,
                      record.recovery ? record.recovery->name : "");
  profile.WriteString(index, kIndexSection, kKeyRecoverySize,
                      record.recovery ? std::to_string(record.recovery->size) : "");
  profile.WriteString(index, kIndexSection, kKeyRecoveryHash,
                      record.recovery ? record.recovery->hash : "");
  profile.WriteString(index, kIndexSection, kKeyHashAlg, HashAlgName(record.alg));
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

// ---- temporary names ---------------------------------------------------------------------

std::string PartName(const std::string& finalPath) { return finalPath + kPartSuffix; }

std::unique_ptr<FileStream> CreatePart(FileSystem& files, const std::string& finalPath) {
  const std::string part = PartName(finalPath);
  try {
    return files.Create(part);
  } catch (const AppError& e) {
    std::string text = e.what();
    if (size_t at = text.find(part); at != std::string::npos)
      text.replace(at, part.size(), finalPath);
    throw AppError(text);
  }
}

void RemoveLeftoverParts(FileSystem& files, const std::string& prefix) {
  for (const FindEntry& e : files.Find(prefix, std::string("*") + kPartSuffix)) {
    if (e.isDirectory) continue;
    try {
      files.RemoveFile(prefix + e.name);
    } catch (const AppError&) {
    }
  }
}

void RemoveDataPieces(FileSystem& files, const std::string& prefix) {
  // Lowest number first: a run cut off here leaves the older set without its first piece, so
  // what remains can never be joined as if it were whole.
  std::vector<std::pair<uint64_t, std::string>> pieces;
  for (const FindEntry& e : files.Find(prefix, "*.ds")) {
    std::optional<uint64_t> n = PieceNumber(e.name);
    if (!e.isDirectory && n && *n > 0) pieces.emplace_back(*n, e.name);
  }
  std::sort(pieces.begin(), pieces.end());
  // The older set's recovery piece goes first: beside a set it does not belong to it would be
  // mistaken for that set's.
  files.RemoveFile(prefix + kRecoveryName);
  for (const auto& piece : pieces) files.RemoveFile(prefix + piece.second);
}

void WriteThroughPart(FileSystem& files, const std::string& finalPath,
                      const std::function<void(FileStream&)>& write,
                      std::optional<uint64_t> expectedSize,
                      const std::function<void()>& beforeRename) {
  const std::string part = PartName(finalPath);
  std::unique_ptr<FileStream> out = CreatePart(files, finalPath);
  try {
    write(*out);
    if (expectedSize && out->Size() != *expectedSize) throw AppError("Stream write error");
    out.reset();
    if (beforeRename) beforeRename();
    files.Rename(part, finalPath);
  } catch (...) {
    out.reset();
    try {
      files.RemoveFile(part);
    } catch (const AppError&) {
    }
    throw;
  }
}

// ---- split ---------------------------------------------------------------------------------

std::string TargetPrefix(const std::string& folder) {
  if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) return folder;
  return folder + "\\";
}

uint64_t WriteDataPieces(FileSystem& files, const std::string& sourcePath,
                         const std::string& prefix, uint64_t pieceSize, SetRecord* record,
                         CopyMonitor* monitor, bool recovery) {
  std::unique_ptr<FileStream> source = files.OpenRead(sourcePath);
  const uint64_t size = source->Size();
  PiecePlan plan = PlanPieces(size, pieceSize);
  if (monitor) monitor->Begin(size);
  CopyEngine engine(monitor);
  std::optional<Digest> hash;
  if (record) {
    hash.emplace(record->alg);
    record->fileSize = size;
    record->pieceSize = pieceSize;
    record->pieceHashes.clear();
    record->recovery.reset();
  }
  RemoveLeftoverParts(files, prefix);
  // The recovery piece is open under its temporary name for the whole split and folded into as
  // each piece is copied; it takes its name only after the last piece is in.
  const bool withParity = recovery && record && plan.Count() > 0;
  const std::string parityName = prefix + kRecoveryName;
  std::unique_ptr<FileStream> parity;
  std::optional<Digest> parityHash;
  if (withParity) {
    parity = CreatePart(files, parityName);
    parityHash.emplace(record->alg);
  }
  auto dropParity = [&] {
    if (!parity) return;
    parity.reset();
    try {
      files.RemoveFile(PartName(parityName));
    } catch (const AppError&) {
    }
  };
  try {
    uint64_t written = 0;
    // The older set in the folder stays whole until the first new piece is complete; then it
    // goes at once (its first piece is about to be replaced, so what is left of it could never
    // be joined again), and from then on the folder holds only pieces of this split.
    auto removeOlderSet = [&] {
      if (written == 0) RemoveDataPieces(files, prefix);
    };
    auto piece = [&](uint64_t bytes) {
      const std::string name = prefix + PieceName(written + 1);
      try {
        const bool last = written + 1 == plan.Count();
        WriteThroughPart(
            files, name,
            [&](FileStream& out) {
              if (parity)
                engine.CopyFolding(*source, out, bytes, &*hash, *parity, written == 0,
                                   last ? &*parityHash : nullptr);
              else engine.Copy(*source, out, bytes, hash ? &*hash : nullptr);
            },
            bytes, removeOlderSet);
      } catch (...) {
        // A source that ends before the size it had at the start was changed meanwhile.
        if (source->Size() != size) throw SourceChanged();
        throw;
      }
      if (record) record->pieceHashes.push_back(hash->FinishHex());
      ++written;
    };
    for (uint64_t k = 0; k < plan.fullPieces; ++k) piece(pieceSize);
    if (plan.remainder > 0) piece(plan.remainder);
    // An empty source writes no piece; the older set still has to go.
    if (written == 0) RemoveDataPieces(files, prefix);
    if (source->Size() != size) throw SourceChanged();
    if (record) record->wholeHash = WholeHash(record->alg, record->pieceHashes);
    if (parity) {
      // The last pass gave the parity's bytes up to the last piece's length; the rest holds what
      // the full pieces before it left, read once more for the digest.
      const uint64_t parityBytes = record->PieceBytes(1);
      const uint64_t lastBytes = record->PieceBytes(plan.Count());
      if (lastBytes < parityBytes) {
        parity->Seek(lastBytes);
        Digest& h = *parityHash;
        CopyEngine reader;
        struct Sink : FileStream {
          Digest& d;
          explicit Sink(Digest& digest) : d(digest) {}
          size_t Read(void*, size_t) override { return 0; }
          size_t Write(const void* b, size_t n) override {
            d.Update(b, n);
            return n;
          }
          uint64_t Size() override { return 0; }
        } sink(h);
        reader.Copy(*parity, sink, parityBytes - lastBytes);
      }
      if (parity->Size() != parityBytes) throw AppError("Stream write error");
      parity.reset();
      files.Rename(PartName(parityName), parityName);
      record->recovery = RecoveryRecord{kRecoveryName, parityBytes, parityHash->FinishHex()};
    }
    return written;
  } catch (...) {
    dropParity();
    throw;
  }
}

void WriteIndexPiece(ProfileStore& profile, const std::string& prefix,
                     const std::string& extension) {
  profile.WriteString(prefix + kIndexName, kIndexSection, kIndexKey, extension);
}

std::string ReadIndexExtension(ProfileStore& profile, const std::string& indexPath) {
  return profile.ReadString(indexPath, kIndexSection, kIndexKey, indexPath);
}

// ---- merge rules ---------------------------------------------------------------------------

std::vector<std::string> OrderSelection(const std::vector<std::string>& selection) {
  std::vector<std::pair<uint64_t, std::string>> numbered;
  std::vector<std::string> others;
  for (const std::string& path : selection) {
    if (std::optional<uint64_t> n = PieceNumber(path)) numbered.emplace_back(*n, path);
    else others.push_back(path);
  }
  std::stable_sort(numbered.begin(), numbered.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> out;
  out.reserve(selection.size());
  for (auto& n : numbered) out.push_back(std::move(n.second));
  for (auto& o : others) out.push_back(std::move(o));
  return out;
}

std::vector<std::string> RowsToJoin(const std::vector<std::string>& listRows) {
  std::vector<std::string> rows;
  for (size_t i = 1; i < listRows.size(); ++i)
    if (!IsIndexPiece(listRows[i])) rows.push_back(listRows[i]);
  return rows;
}

std::optional<ListProblem> CheckListOrder(const std::vector<std::string>& listRows) {
  if (listRows.empty()) return std::nullopt;
  std::optional<uint64_t> first = PieceNumber(listRows.front());
  if (first && *first > 0) return ListProblem{ListProblem::kNoIndexFirst, listRows.front(), ""};

  struct Folder {
    std::string prefix;  // the folder with its separator, as its first row spells it
    std::vector<std::pair<uint64_t, std::string>> pieces;  // number and row, in list order
  };
  std::vector<Folder> folders;  // in the order they first appear
  std::map<std::string, size_t> byKey;
  for (const std::string& row : RowsToJoin(listRows)) {
    std::optional<uint64_t> n = PieceNumber(row);
    if (!n || *n == 0) continue;
    std::string prefix = row.substr(0, row.size() - FileNameOf(row).size());
    std::string key = PathKey(prefix);
    auto it = byKey.find(key);
    if (it == byKey.end()) {
      it = byKey.emplace(key, folders.size()).first;
      folders.push_back({prefix, {}});
    }
    folders[it->second].pieces.emplace_back(*n, row);
  }
  for (const Folder& f : folders) {
    uint64_t expected = 1;
    for (size_t i = 0; i < f.pieces.size(); ++i) {
      const auto& [n, row] = f.pieces[i];
      if (n > expected) {
        for (size_t j = i + 1; j < f.pieces.size(); ++j)
          if (f.pieces[j].first == expected)
            return ListProblem{ListProblem::kOutOfOrder, f.pieces[j].second, row};
        return ListProblem{ListProblem::kMissing, f.prefix + PieceName(expected), ""};
      }
      expected = n + 1;
    }
  }
  return std::nullopt;
}

bool SameFile(FileSystem& files, const std::string& a, const std::string& b) {
  return SamePathText(files.FullPath(a), files.FullPath(b));
}

bool IsListedFile(FileSystem& files, const std::string& target,
                  const std::vector<std::string>& rows) {
  // A target that does not exist yet has no identity; creating it can harm no listed file.
  const std::optional<FileIdentity> targetId = files.Identity(target);
  for (const std::string& row : rows) {
    if (SameFile(files, target, row)) return true;
    if (!targetId) continue;
    std::optional<FileIdentity> rowId = files.Identity(row);
    if (rowId && *rowId == *targetId) return true;
  }
  return false;
}

void AppendRows(FileSystem& files, FileStream& output, const std::vector<std::string>& rows,
                CopyMonitor* monitor) {
  CopyEngine engine(monitor);
  if (monitor) {
    uint64_t total = 0;
    for (const std::string& row : rows) total += files.OpenRead(row)->Size();
    monitor->Begin(total);
  }
  for (const std::string& row : rows) {
    std::unique_ptr<FileStream> in = files.OpenRead(row);
    engine.CopyAll(*in, output);
  }
}

std::optional<PieceProblem> CheckRowsAgainstRecord(FileSystem& files, const std::string& indexPath,
                                                   const std::vector<std::string>& rows,
                                                   const SetRecord& record) {
  const uint64_t count = record.pieceHashes.size();
  const std::string folder = indexPath.substr(0, indexPath.size() - FileNameOf(indexPath).size());
  for (uint64_t k = 1; k <= count; ++k) {
    if (k > rows.size())
      return PieceProblem{PieceProblem::kNotListed, folder + PieceName(k), k, 0, 0};
    const std::string& row = rows[k - 1];
    std::optional<uint64_t> n = PieceNumber(row);
    // The list order checks have passed, so a row of another number here means piece k is
    // not listed at all.
    if (!n || *n != k)
      return PieceProblem{PieceProblem::kNotListed, folder + PieceName(k), k, 0, 0};
    uint64_t actual = 0;
    try {
      actual = files.OpenRead(row)->Size();
    } catch (const AppError&) {
      return PieceProblem{PieceProblem::kGone, row, k, 0, 0};
    }
    if (actual != record.PieceBytes(k))
      return PieceProblem{PieceProblem::kWrongSize, row, k, record.PieceBytes(k), actual};
  }
  if (rows.size() > count) return PieceProblem{PieceProblem::kExtra, rows[count], count + 1, 0, 0};
  return std::nullopt;
}

void AppendCheckedRows(FileSystem& files, FileStream& output, const std::vector<std::string>& rows,
                       const SetRecord& record, CopyMonitor* monitor) {
  if (monitor) monitor->Begin(record.fileSize);
  CopyEngine engine(monitor);
  Digest hash(record.alg);
  std::vector<std::string> digests;
  for (size_t i = 0; i < rows.size(); ++i) {
    std::unique_ptr<FileStream> in = files.OpenRead(rows[i]);
    // The size checked before the merge started: a piece changed since copies no more.
    const uint64_t want = record.PieceBytes(i + 1);
    if (in->Size() != want)
      throw PieceMismatch({PieceProblem::kWrongSize, rows[i], i + 1, want, in->Size()});
    engine.Copy(*in, output, want, &hash);
    digests.push_back(hash.FinishHex());
    if (i >= record.pieceHashes.size() || digests.back() != record.pieceHashes[i])
      throw PieceMismatch({PieceProblem::kWrongHash, rows[i], i + 1, 0, 0});
  }
  if (WholeHash(record.alg, digests) != record.wholeHash)
    throw PieceMismatch({PieceProblem::kWholeWrong, "", 0, 0, 0});
}

// ---- sets with a recovery piece -------------------------------------------------------------

namespace {

std::string FolderPrefixOf(const std::string& path) {
  return path.substr(0, path.size() - FileNameOf(path).size());
}

}  // namespace

bool CheckedPlan::IsBad(uint64_t number) const {
  for (const PieceProblem& p : bad)
    if (p.number == number) return true;
  return false;
}

CheckedPlan PlanCheckedMerge(FileSystem& files, const std::string& indexPath,
                             const std::vector<std::string>& rows, const SetRecord& record) {
  CheckedPlan plan;
  const uint64_t count = record.pieceHashes.size();
  const std::string folder = FolderPrefixOf(indexPath);
  plan.pieces.resize(count);
  std::vector<bool> listed(count, false);
  for (const std::string& row : rows) {
    if (record.recovery && EqualsNoCase(FileNameOf(row), record.recovery->name)) {
      plan.recovery = row;
      continue;
    }
    std::optional<uint64_t> n = PieceNumber(row);
    if (!n || *n == 0 || *n > count || listed[*n - 1]) {
      if (!plan.refusal) plan.refusal = PieceProblem{PieceProblem::kExtra, row, n ? *n : 0, 0, 0};
      continue;
    }
    listed[*n - 1] = true;
    plan.pieces[*n - 1] = row;
  }
  for (uint64_t k = 1; k <= count; ++k) {
    std::string& path = plan.pieces[k - 1];
    if (!listed[k - 1]) {
      path = folder + PieceName(k);
      plan.bad.push_back({PieceProblem::kNotListed, path, k, 0, 0});
      continue;
    }
    uint64_t actual = 0;
    try {
      actual = files.OpenRead(path)->Size();
    } catch (const AppError&) {
      plan.bad.push_back({PieceProblem::kGone, path, k, 0, 0});
      continue;
    }
    if (actual != record.PieceBytes(k))
      plan.bad.push_back({PieceProblem::kWrongSize, path, k, record.PieceBytes(k), actual});
  }
  if (record.recovery) {
    if (plan.recovery.empty()) plan.recovery = folder + record.recovery->name;
    try {
      plan.recoveryUsable = files.OpenRead(plan.recovery)->Size() == record.recovery->size;
    } catch (const AppError&) {
      plan.recoveryUsable = false;
    }
  }
  return plan;
}

namespace {

// Writes piece `number`'s bytes to `to` from every other piece and the recovery piece, read
// side by side; returns their digest.
std::string RebuildPiece(FileSystem& files, CopyEngine& engine, const CheckedPlan& plan,
                         const SetRecord& record, uint64_t number, FileStream& to) {
  std::vector<std::unique_ptr<FileStream>> open;
  std::vector<FileStream*> sources;
  std::vector<uint64_t> sizes;
  open.push_back(files.OpenRead(plan.recovery));
  sizes.push_back(record.recovery->size);
  for (uint64_t k = 1; k <= plan.pieces.size(); ++k) {
    if (k == number) continue;
    open.push_back(files.OpenRead(plan.pieces[k - 1]));
    sizes.push_back(record.PieceBytes(k));
  }
  for (auto& s : open) sources.push_back(s.get());
  Digest hash(record.alg);
  engine.Xor(sources, sizes, to, record.PieceBytes(number), &hash);
  return hash.FinishHex();
}

PieceProblem PieceHashProblem(const CheckedPlan& plan, uint64_t number) {
  return {PieceProblem::kWrongHash, plan.pieces[number - 1], number, 0, 0};
}

// Joins a set with piece `bad` known to be missing in one pass: every other piece and the
// recovery piece are read side by side, a chunk at a time; each chunk goes to its place in the
// output (sought to) and into the XOR that becomes the bad piece's chunk. Every piece, the
// rebuilt one too, gets its digest on the way, so each is read once and the output written
// once, as in a plain merge.
void JoinRebuilding(FileSystem& files, FileStream& output, const CheckedPlan& plan,
                    const SetRecord& record, uint64_t bad, CopyMonitor* monitor) {
  const uint64_t count = plan.pieces.size();
  std::unique_ptr<FileStream> parity = files.OpenRead(plan.recovery);
  std::vector<std::unique_ptr<FileStream>> in(count);
  std::vector<std::unique_ptr<Digest>> digest(count);
  for (uint64_t k = 1; k <= count; ++k) {
    if (k != bad) in[k - 1] = files.OpenRead(plan.pieces[k - 1]);
    digest[k - 1] = std::make_unique<Digest>(record.alg);
  }
  std::unique_ptr<char[]> accBuffer(new char[kCopyBufferSize]), inBuffer(new char[kCopyBufferSize]);
  char* acc = accBuffer.get();
  char* buf = inBuffer.get();
  const uint64_t span = record.recovery->size;
  auto place = [&](uint64_t k, uint64_t at, const char* data, size_t n) {
    output.Seek((k - 1) * record.pieceSize + at);
    WriteFull(output, data, n);
    digest[k - 1]->Update(data, n);
    if (monitor && !monitor->Copied(n)) throw WorkStopped();
  };
  for (uint64_t at = 0; at < span; at += kCopyBufferSize) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(kCopyBufferSize, span - at));
    ReadFull(*parity, acc, want);
    for (uint64_t k = 1; k <= count; ++k) {
      const uint64_t bytes = record.PieceBytes(k);
      if (k == bad || at >= bytes) continue;
      const size_t take = static_cast<size_t>(std::min<uint64_t>(want, bytes - at));
      ReadFull(*in[k - 1], buf, take);
      XorInto(acc, buf, take);
      place(k, at, buf, take);
    }
    const uint64_t badBytes = record.PieceBytes(bad);
    if (at < badBytes)
      place(bad, at, acc, static_cast<size_t>(std::min<uint64_t>(want, badBytes - at)));
  }
  std::vector<PieceProblem> wrong = {plan.bad.front()};
  for (uint64_t k = 1; k <= count; ++k)
    if (k != bad && digest[k - 1]->FinishHex() != record.pieceHashes[k - 1])
      wrong.push_back(PieceHashProblem(plan, k));
  if (wrong.size() > 1) throw TooManyBad(wrong);
  if (digest[bad - 1]->FinishHex() != record.pieceHashes[bad - 1])
    throw PieceMismatch(
        {PieceProblem::kRecoveryDamaged, plan.pieces[bad - 1], bad, 0, 0, plan.recovery});
}

}  // namespace

SetCheck CheckSet(FileSystem& files, const std::string& indexPath,
                  const std::vector<std::string>& rows, const SetRecord& record,
                  CopyMonitor* monitor) {
  SetCheck out;
  CheckedPlan plan = PlanCheckedMerge(files, indexPath, rows, record);
  out.bad = plan.bad;
  out.recoveryPath = plan.recovery;
  uint64_t total = 0;
  for (uint64_t k = 1; k <= plan.pieces.size(); ++k)
    if (!plan.IsBad(k)) total += record.PieceBytes(k);
  if (plan.recoveryUsable) total += record.recovery->size;
  if (monitor) monitor->Begin(total);
  CopyEngine engine(monitor);
  struct HashSink : FileStream {
    size_t Read(void*, size_t) override { return 0; }
    size_t Write(const void*, size_t n) override { return n; }
    uint64_t Size() override { return 0; }
  } sink;
  Digest hash(record.alg);
  for (uint64_t k = 1; k <= plan.pieces.size(); ++k) {
    if (plan.IsBad(k)) continue;
    std::string digest;
    try {
      std::unique_ptr<FileStream> in = files.OpenRead(plan.pieces[k - 1]);
      engine.Copy(*in, sink, record.PieceBytes(k), &hash);
      digest = hash.FinishHex();
    } catch (const WorkStopped&) {
      throw;
    } catch (const AppError&) {
      // Gone or shortened since it was looked at.
      hash.FinishHex();
      out.bad.push_back({PieceProblem::kGone, plan.pieces[k - 1], k, 0, 0});
      continue;
    }
    if (digest != record.pieceHashes[k - 1]) out.bad.push_back(PieceHashProblem(plan, k));
  }
  std::sort(out.bad.begin(), out.bad.end(),
            [](const PieceProblem& a, const PieceProblem& b) { return a.number < b.number; });
  if (record.recovery) {
    out.recovery = SetCheck::kRecoveryMissing;
    if (plan.recoveryUsable) {
      try {
        std::unique_ptr<FileStream> in = files.OpenRead(plan.recovery);
        engine.Copy(*in, sink, record.recovery->size, &hash);
        out.recovery = hash.FinishHex() == record.recovery->hash ? SetCheck::kRecoveryGood
                                                                 : SetCheck::kRecoveryDamaged;
      } catch (const WorkStopped&) {
        throw;
      } catch (const AppError&) {
        out.recovery = SetCheck::kRecoveryMissing;
      }
    }
  }
  return out;
}

uint64_t JoinChecked(FileSystem& files, FileStream& output, const CheckedPlan& plan,
                     const SetRecord& record, CopyMonitor* monitor) {
  const uint64_t count = plan.pieces.size();
  if (plan.bad.size() > 1) throw TooManyBad(plan.bad);
  if (!plan.bad.empty() && !plan.recoveryUsable) {
    PieceProblem p = plan.bad.front();
    p.kind = PieceProblem::kNoRecovery;
    p.other = plan.recovery;
    throw PieceMismatch(p);
  }
  // Every piece is compared with its recorded digest, so the record of the whole file must be
  // the one of those digests.
  if (WholeHash(record.alg, record.pieceHashes) != record.wholeHash)
    throw PieceMismatch({PieceProblem::kWholeWrong, "", 0, 0, 0});
  if (monitor) monitor->Begin(record.fileSize);
  if (!plan.bad.empty()) {
    JoinRebuilding(files, output, plan, record, plan.bad.front().number, monitor);
    return plan.bad.front().number;
  }
  CopyEngine engine(monitor);
  Digest hash(record.alg);
  uint64_t rebuilt = 0;
  uint64_t offset = 0;
  // A rebuilt piece that does not match: the other pieces (not all read yet) or the recovery
  // piece are damaged; which, a check of the whole set tells.
  auto rebuildFailed = [&](uint64_t number) {
    std::vector<std::string> rows(plan.pieces.begin(), plan.pieces.end());
    rows.push_back(plan.recovery);
    SetCheck check = CheckSet(files, "", rows, record);
    std::vector<PieceProblem> bad = {PieceHashProblem(plan, number)};
    for (const PieceProblem& p : check.bad)
      if (p.number != number) bad.push_back(p);
    if (bad.size() > 1) throw TooManyBad(bad);
    throw PieceMismatch(
        {PieceProblem::kRecoveryDamaged, plan.pieces[number - 1], number, 0, 0, plan.recovery});
  };
  for (uint64_t k = 1; k <= count; ++k) {
    const uint64_t bytes = record.PieceBytes(k);
    std::unique_ptr<FileStream> in = files.OpenRead(plan.pieces[k - 1]);
    if (in->Size() != bytes)
      throw PieceMismatch({PieceProblem::kWrongSize, plan.pieces[k - 1], k, bytes, in->Size()});
    engine.Copy(*in, output, bytes, &hash);
    in.reset();
    if (hash.FinishHex() != record.pieceHashes[k - 1]) {
      // The one piece the recovery piece can stand for was rebuilt already.
      if (rebuilt) throw TooManyBad({PieceHashProblem(plan, rebuilt), PieceHashProblem(plan, k)});
      if (!plan.recoveryUsable) throw PieceMismatch(PieceHashProblem(plan, k));
      // Written over where it was just copied to; the output goes on after it.
      output.Seek(offset);
      if (RebuildPiece(files, engine, plan, record, k, output) != record.pieceHashes[k - 1])
        rebuildFailed(k);
      rebuilt = k;
    }
    offset += bytes;
  }
  return rebuilt;
}

void WriteBackPiece(FileSystem& files, const std::string& outputPath, const std::string& piecePath,
                    uint64_t number, const SetRecord& record, CopyMonitor* monitor) {
  const uint64_t bytes = record.PieceBytes(number);
  if (monitor) monitor->Begin(bytes);
  std::unique_ptr<FileStream> in = files.OpenRead(outputPath);
  in->Seek(record.pieceSize * (number - 1));
  CopyEngine engine(monitor);
  Digest hash(record.alg);
  WriteThroughPart(
      files, piecePath,
      [&](FileStream& out) {
        engine.Copy(*in, out, bytes, &hash);
        if (hash.FinishHex() != record.pieceHashes[number - 1])
          throw PieceMismatch({PieceProblem::kWrongHash, outputPath, number, 0, 0});
      },
      bytes);
}

}  // namespace mt::splitter
