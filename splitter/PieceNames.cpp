#include "splitter/PieceNames.h"

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

std::string FolderPrefix(const std::string& path) {
  return path.substr(0, path.size() - FileNameOf(path).size());
}

std::string TargetPrefix(const std::string& folder) {
  if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) return folder;
  return folder + "\\";
}

}  // namespace mt::splitter
