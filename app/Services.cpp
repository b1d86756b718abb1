#include "app/Services.h"

#include "app/Error.h"

namespace mt {

void FileSystem::WriteAll(const std::string& path, const std::string& bytes) {
  std::unique_ptr<FileStream> out = Create(path);
  if (out->Write(bytes.data(), bytes.size()) != bytes.size())
    throw AppError(FormatMessage1("Unable to write to %s", path));
}

void FileSystem::Rename(const std::string& from, const std::string& to) {
  std::string bytes;
  try {
    std::unique_ptr<FileStream> in = OpenRead(from);
    char buffer[65536];
    while (size_t n = in->Read(buffer, sizeof buffer)) bytes.append(buffer, n);
  } catch (const AppError& e) {
    throw AppError(FormatMessage2("Cannot rename \"%s\". %s", from, e.what()));
  }
  WriteAll(to, bytes);
  if (!DeleteFile(from))
    throw AppError(FormatMessage2("Cannot rename \"%s\". %s", from, "the source stays"));
}

}  // namespace mt
