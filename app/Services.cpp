#include "app/Services.h"

#include "app/Error.h"

namespace mt {

void FileStream::Seek(uint64_t) { throw AppError("Stream seek error"); }

std::string ReadAllBytes(FileSystem& files, const std::string& path, uint64_t limit) {
  auto in = files.OpenRead(path);
  const uint64_t size = in->Size();
  if (size > limit) throw AppError("文件过大：" + path);
  // The file's bytes as its size said when it was opened, read straight into the string (one
  // call for most files).
  std::string bytes(static_cast<size_t>(size), '\0');
  size_t have = 0;
  for (size_t n; have < bytes.size() && (n = in->Read(&bytes[have], bytes.size() - have)) > 0;)
    have += n;
  bytes.resize(have);
  return bytes;
}

void FileSystem::WriteAll(const std::string& path, const std::string& bytes) {
  std::unique_ptr<FileStream> out = Create(path);
  if (out->Write(bytes.data(), bytes.size()) != bytes.size())
    throw AppError(FormatMessage1("Unable to write to %s", path));
}

std::string ExpandEnvironmentText(const std::string& text, const EnvironmentLookup& variable) {
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t open = text.find('%', pos);
    if (open == std::string::npos) break;
    const size_t close = text.find('%', open + 1);
    if (close == std::string::npos) break;
    const std::string name = text.substr(open + 1, close - open - 1);
    std::optional<std::string> value;
    if (!name.empty() && variable) value = variable(name);
    out.append(text, pos, open - pos);
    if (value) {
      out += *value;
      pos = close + 1;
    } else {
      // Not a variable: the first "%" stays, the second may open the next name.
      out += '%';
      pos = open + 1;
    }
  }
  out.append(text, pos, std::string::npos);
  return out;
}

}  // namespace mt
