// The names in a piece set. A set is one folder holding the Index piece "0.ds" (an INI file:
// section "fghb", key "kzm" = the source file's extension with its dot), the data pieces 1.ds,
// 2.ds, ... and, when the split made one, the recovery piece "恢复.dsr".
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace mt::splitter {

inline constexpr const char* kIndexName = "0.ds";
inline constexpr const char* kIndexSection = "fghb";
inline constexpr const char* kIndexKey = "kzm";
// The recovery piece beside 0.ds: never matched by "*.ds", so an older version's pieces dialog
// does not show it and its merge never appends it.
inline constexpr const char* kRecoveryName = "恢复.dsr";

// "7.ds" for 7.
std::string PieceName(uint64_t number);
// The number of a file named "<digits>.ds" (any case), or empty for any other name.
// Numbers too large for 64 bits count as other names.
std::optional<uint64_t> PieceNumber(const std::string& path);
// True for a file named "0.ds" (any case), wherever it lies.
bool IsIndexPiece(const std::string& path);

// The folder part of `path` with its separator, as `path` spells it ("D:\set\" for
// "D:\set\0.ds"; "" for a bare name).
std::string FolderPrefix(const std::string& path);
// Where the pieces of a split go: `folder` followed by "\" (not doubled).
std::string TargetPrefix(const std::string& folder);

}  // namespace mt::splitter
