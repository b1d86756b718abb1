// Plain POSIX files for the native benchmark driver: unbuffered read(2)/write(2), so that
// every copy step is exactly one system call on the engine's buffer.
#pragma once

#include "app/Services.h"

namespace mt::bench {

class PosixFiles : public FileSystem {
 public:
  std::unique_ptr<FileStream> OpenRead(const std::string& path) override;
  std::unique_ptr<FileStream> Create(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  bool DirectoryExists(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  std::vector<FindEntry> Find(const std::string& folder, const std::string& pattern) override;
  bool CreateDirectories(const std::string& path) override;
  void Rename(const std::string& from, const std::string& to) override;
  std::string FullPath(const std::string& path) override;
};

}  // namespace mt::bench
