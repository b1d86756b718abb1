#include "splitter/PieceSet.h"

#include <algorithm>
#include <map>
#include <utility>

#include "app/Error.h"
#include "app/Path.h"
#include "app/Text.h"

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

CopyEngine::CopyEngine() : buffer_(new char[kCopyBufferSize]) {}

void CopyEngine::Copy(FileStream& from, FileStream& to, uint64_t count) {
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
    count -= want;
  }
}

// ---- split ---------------------------------------------------------------------------------

std::string TargetPrefix(const std::string& folder) {
  if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) return folder;
  return folder + "\\";
}

uint64_t WriteDataPieces(FileSystem& files, const std::string& sourcePath,
                         const std::string& prefix, uint64_t pieceSize) {
  std::unique_ptr<FileStream> source = files.OpenRead(sourcePath);
  PiecePlan plan = PlanPieces(source->Size(), pieceSize);
  CopyEngine engine;
  uint64_t written = 0;
  auto piece = [&](uint64_t bytes) {
    std::unique_ptr<FileStream> out = files.Create(prefix + PieceName(written + 1));
    engine.Copy(*source, *out, bytes);
    ++written;
  };
  for (uint64_t k = 0; k < plan.fullPieces; ++k) piece(pieceSize);
  if (plan.remainder > 0) piece(plan.remainder);
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

void AppendRows(FileSystem& files, FileStream& output, const std::vector<std::string>& rows) {
  CopyEngine engine;
  for (const std::string& row : rows) {
    std::unique_ptr<FileStream> in = files.OpenRead(row);
    engine.CopyAll(*in, output);
  }
}

}  // namespace mt::splitter
