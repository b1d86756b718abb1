// Temporary names. A piece or a merge output is written as its final name followed by
// ".dspart" and renamed to its final name only once it is complete, so a run cut off by a
// crash, a power cut or a kill leaves nothing that looks whole. The suffix is never matched by
// "*.ds" (nor by the 8.3 short name, whose extension becomes "DSP").
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/Services.h"

namespace mt::splitter {

inline constexpr const char* kPartSuffix = ".dspart";
std::string PartName(const std::string& finalPath);
// Creates the temporary file of `finalPath`. Its error names `finalPath`, the file the user
// knows of: "Cannot create file "%s". %s".
std::unique_ptr<FileStream> CreatePart(FileSystem& files, const std::string& finalPath);
// Removes a file whose removal may fail without harm (a part that is already gone).
void RemoveQuietly(FileSystem& files, const std::string& path);
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
// Removes every numbered data piece ("<n>.ds", n >= 1) in the folder `prefix`, lowest first,
// and before them the recovery piece of the set they belong to.
void RemoveDataPieces(FileSystem& files, const std::string& prefix);

}  // namespace mt::splitter
