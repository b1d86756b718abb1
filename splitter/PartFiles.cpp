#include "splitter/PartFiles.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "app/Error.h"
#include "splitter/PieceNames.h"

namespace mt::splitter {

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

void RemoveQuietly(FileSystem& files, const std::string& path) {
  try {
    files.RemoveFile(path);
  } catch (const AppError&) {
  }
}

void RemoveLeftoverParts(FileSystem& files, const std::string& prefix) {
  for (const FindEntry& e : files.Find(prefix, std::string("*") + kPartSuffix))
    if (!e.isDirectory) RemoveQuietly(files, prefix + e.name);
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
    RemoveQuietly(files, part);
    throw;
  }
}

}  // namespace mt::splitter
