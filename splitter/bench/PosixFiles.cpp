#include "splitter/bench/PosixFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "app/Error.h"

namespace mt::bench {

namespace {

std::string Posix(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

class FdStream : public FileStream {
 public:
  explicit FdStream(int fd) : fd_(fd) {}
  ~FdStream() override { ::close(fd_); }
  size_t Read(void* buffer, size_t n) override {
    for (;;) {
      ssize_t got = ::read(fd_, buffer, n);
      if (got >= 0) return static_cast<size_t>(got);
      if (errno != EINTR) throw AppError(std::strerror(errno));
    }
  }
  size_t Write(const void* buffer, size_t n) override {
    size_t total = 0;
    while (total < n) {
      ssize_t put = ::write(fd_, static_cast<const char*>(buffer) + total, n - total);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) break;
      total += static_cast<size_t>(put);
    }
    return total;
  }
  uint64_t Size() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) throw AppError(std::strerror(errno));
    return static_cast<uint64_t>(st.st_size);
  }
  void Seek(uint64_t offset) override {
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) throw AppError("Stream seek error");
  }

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<FileStream> PosixFiles::OpenRead(const std::string& path) {
  int fd = ::open(Posix(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    throw AppError(FormatMessage2("Cannot open file \"%s\". %s", path, std::strerror(errno)));
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return std::make_unique<FdStream>(fd);
}

std::unique_ptr<FileStream> PosixFiles::Create(const std::string& path) {
  int fd = ::open(Posix(path).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0)
    throw AppError(FormatMessage2("Cannot create file \"%s\". %s", path, std::strerror(errno)));
  return std::make_unique<FdStream>(fd);
}

bool PosixFiles::FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(Posix(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool PosixFiles::DirectoryExists(const std::string& path) {
  struct stat st {};
  return ::stat(Posix(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PosixFiles::RemoveFile(const std::string& path) { return ::unlink(Posix(path).c_str()) == 0; }

std::vector<FindEntry> PosixFiles::Find(const std::string&, const std::string&) { return {}; }

bool PosixFiles::CreateDirectories(const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directories(Posix(path), ec);
  return DirectoryExists(path);
}

void PosixFiles::Rename(const std::string& from, const std::string& to) {
  if (::rename(Posix(from).c_str(), Posix(to).c_str()) != 0)
    throw AppError(FormatMessage2("Cannot rename \"%s\". %s", from, std::strerror(errno)));
}

std::string PosixFiles::FullPath(const std::string& path) {
  std::error_code ec;
  return std::filesystem::absolute(Posix(path), ec).string();
}

}  // namespace mt::bench
