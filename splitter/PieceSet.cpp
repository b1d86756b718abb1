#include "splitter/PieceSet.h"

#include <algorithm>
#include <map>
#include <utility>

#include "app/Error.h"
#include "app/Path.h"
#include "app/Text.h"
#include "splitter/Sha256.h"

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

void CopyEngine::Copy(FileStream& from, FileStream& to, uint64_t count, Sha256* hash) {
  char* buf = buffer_.get();
  while (count > 0) {
    size_t want = count < kCopyBufferSize ? static_cast<size_t>(count) : kCopyBufferSize;
    // Fill the whole chunk: a short read before the end of the count means the source failed
    // or ended early.
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
    if (to.Write(buf, want) != want) throw AppError("Stream write error");
    if (hash) hash->Update(buf, want);
    count -= want;
    if (monitor_ && !monitor_->Copied(want)) throw WorkStopped();
  }
}

// ---- integrity record -------------------------------------------------------------------------

std::string PieceHashKey(uint64_t number) { return kKeyWholeHash + std::to_string(number); }

uint64_t SetRecord::PieceBytes(uint64_t number) const {
  if (number < pieceHashes.size()) return pieceSize;
  return fileSize - (pieceHashes.size() - 1) * pieceSize;
}

std::string WholeHash(const std::vector<std::string>& pieceHashes) {
  std::string all;
  for (const std::string& h : pieceHashes) all += h;
  return Sha256Hex(all);
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
  profile.WriteString(index, kIndexSection, kKeyHashAlg, kHashAlgorithm);
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

bool IsDigest(const std::string& text) {
  if (text.size() != 64) return false;
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
  if (alg != kHashAlgorithm) return out;
  std::optional<uint64_t> fileSize = ParseCount(get(kKeyFileSize));
  std::optional<uint64_t> pieceSize = ParseCount(get(kKeyPieceSize));
  std::optional<uint64_t> pieces = ParseCount(get(kKeyPieces));
  if (!fileSize || !pieceSize || !pieces || *pieceSize == 0) return out;
  // The count must be the one the sizes give, so PieceBytes cannot underflow.
  PiecePlan plan = PlanPieces(*fileSize, *pieceSize);
  if (plan.Count() != *pieces) return out;
  SetRecord& r = out.record;
  r.fileSize = *fileSize;
  r.pieceSize = *pieceSize;
  for (uint64_t k = 1; k <= *pieces; ++k) {
    std::string h = get(PieceHashKey(k));
    if (!IsDigest(h)) return out;
    r.pieceHashes.push_back(std::move(h));
  }
  r.wholeHash = get(kKeyWholeHash);
  if (!IsDigest(r.wholeHash)) return out;
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
      files.DeleteFile(prefix + e.name);
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
  for (const auto& piece : pieces) files.DeleteFile(prefix + piece.second);
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
      files.DeleteFile(part);
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
                         CopyMonitor* monitor) {
  std::unique_ptr<FileStream> source = files.OpenRead(sourcePath);
  const uint64_t size = source->Size();
  PiecePlan plan = PlanPieces(size, pieceSize);
  if (monitor) monitor->Begin(size);
  CopyEngine engine(monitor);
  std::optional<Sha256> hash;
  if (record) {
    hash.emplace();
    record->fileSize = size;
    record->pieceSize = pieceSize;
    record->pieceHashes.clear();
  }
  RemoveLeftoverParts(files, prefix);
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
      WriteThroughPart(
          files, name,
          [&](FileStream& out) { engine.Copy(*source, out, bytes, hash ? &*hash : nullptr); },
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
  if (record) record->wholeHash = WholeHash(record->pieceHashes);
  return written;
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
  Sha256 hash;
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
  if (WholeHash(digests) != record.wholeHash)
    throw PieceMismatch({PieceProblem::kWholeWrong, "", 0, 0, 0});
}

}  // namespace mt::splitter
