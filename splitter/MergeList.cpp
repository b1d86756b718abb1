#include "splitter/MergeList.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <utility>

#include "app/Path.h"
#include "splitter/PieceNames.h"

namespace mt::splitter {

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
    std::string prefix = FolderPrefix(row);
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

}  // namespace mt::splitter
