#include "app/Services.h"

#include "app/Error.h"

namespace mt {

void FileStream::Seek(uint64_t) { throw AppError("Stream seek error"); }

std::string ReadAllBytes(FileSystem& files, const std::string& path, uint64_t limit) {
  auto in = files.OpenRead(path);
  if (in->Size() > limit) throw AppError("文件过大：" + path);
  std::string bytes;
  std::string buffer(65536, '\0');
  for (size_t n; (n = in->Read(&buffer[0], buffer.size())) > 0;) bytes.append(buffer, 0, n);
  return bytes;
}

void FileSystem::WriteAll(const std::string& path, const std::string& bytes) {
  std::unique_ptr<FileStream> out = Create(path);
  if (out->Write(bytes.data(), bytes.size()) != bytes.size())
    throw AppError(FormatMessage1("Unable to write to %s", path));
}

}  // namespace mt
