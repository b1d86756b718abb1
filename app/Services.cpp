#include "app/Services.h"

#include "app/Error.h"

namespace mt {

void FileStream::Seek(uint64_t) { throw AppError("Stream seek error"); }

void FileSystem::WriteAll(const std::string& path, const std::string& bytes) {
  std::unique_ptr<FileStream> out = Create(path);
  if (out->Write(bytes.data(), bytes.size()) != bytes.size())
    throw AppError(FormatMessage1("Unable to write to %s", path));
}

}  // namespace mt
