#include "splitter/tests/SplitterTestSupport.h"

#include <algorithm>
#include <cstring>

#include "app/Error.h"
#include "app/Text.h"
#include "tests/support/StandIns.h"

namespace mt::test {

void TestWorkHost::RunPosted() {
  for (;;) {
    std::function<void()> next;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (queue_.empty()) return;
      next = std::move(queue_.front());
      queue_.pop_front();
    }
    next();
  }
}

void TestWorkHost::RunUntilIdle(const splitter::SplitterWork& work,
                                const std::function<void()>& each) {
  while (work.Running()) {
    std::function<void()> next;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ready_.wait(lock, [&] { return !queue_.empty(); });
      next = std::move(queue_.front());
      queue_.pop_front();
    }
    next();
    if (each && work.Running()) each();
  }
  Join();
  RunPosted();
}

namespace {

class WatchedStream : public FileStream {
 public:
  WatchedStream(std::unique_ptr<FileStream> inner, WatchingFileSystem& fs)
      : inner_(std::move(inner)), fs_(fs) {}
  size_t Read(void* buffer, size_t n) override {
    std::lock_guard<std::recursive_mutex> hold(fs_.lock);
    fs_.Step();
    fs_.largestRead = std::max(fs_.largestRead, n);
    if (read_ + n > fs_.readFailsAfter) throw AppError("设备未就绪。");
    size_t got = inner_->Read(buffer, n);
    read_ += got;
    fs_.totalRead += got;
    if (fs_.onRead) fs_.onRead(fs_.totalRead);
    return got;
  }
  size_t Write(const void* buffer, size_t n) override {
    std::lock_guard<std::recursive_mutex> hold(fs_.lock);
    fs_.Step();
    fs_.largestWrite = std::max(fs_.largestWrite, n);
    size_t take = static_cast<size_t>(std::min<uint64_t>(n, fs_.writeBudget));
    size_t put = take ? inner_->Write(buffer, take) : 0;
    fs_.writeBudget -= put;
    return put;
  }
  uint64_t Size() override {
    std::lock_guard<std::recursive_mutex> hold(fs_.lock);
    return inner_->Size();
  }
  void Seek(uint64_t offset) override {
    std::lock_guard<std::recursive_mutex> hold(fs_.lock);
    fs_.Step();
    inner_->Seek(offset);
  }

 private:
  std::unique_ptr<FileStream> inner_;
  WatchingFileSystem& fs_;
  uint64_t read_ = 0;
};

class VirtualSource : public FileStream {
 public:
  explicit VirtualSource(const VirtualFileSystem::File& f) : f_(f) {}
  size_t Read(void* buffer, size_t n) override {
    uint64_t left = f_.size - at_;
    size_t take = static_cast<size_t>(std::min<uint64_t>(n, left));
    std::memset(buffer, 0, take);
    for (auto it = f_.marks.lower_bound(at_); it != f_.marks.end() && it->first < at_ + take; ++it)
      static_cast<unsigned char*>(buffer)[it->first - at_] = it->second;
    at_ += take;
    return take;
  }
  size_t Write(const void*, size_t) override { return 0; }
  uint64_t Size() override { return f_.size; }

 private:
  const VirtualFileSystem::File& f_;
  uint64_t at_ = 0;
};

class VirtualSink : public FileStream {
 public:
  explicit VirtualSink(VirtualFileSystem::File& f) : f_(f) { f_ = {}; }
  size_t Read(void*, size_t) override { return 0; }
  size_t Write(const void* buffer, size_t n) override {
    RecordMarks(static_cast<const char*>(buffer), n, f_.size, f_.marks);
    f_.size += n;
    return n;
  }
  uint64_t Size() override { return f_.size; }

 private:
  VirtualFileSystem::File& f_;
};

}  // namespace

std::unique_ptr<FileStream> WatchingFileSystem::OpenRead(const std::string& path) {
  Step();
  opened.push_back(path);
  return std::make_unique<WatchedStream>(inner_.OpenRead(path), *this);
}

std::unique_ptr<FileStream> WatchingFileSystem::Create(const std::string& path) {
  Step();
  created.push_back(path);
  return std::make_unique<WatchedStream>(inner_.Create(path), *this);
}

std::unique_ptr<FileStream> VirtualFileSystem::OpenRead(const std::string& path) {
  auto it = files.find(path);
  if (it == files.end())
    throw AppError(FormatMessage2("Cannot open file \"%s\". %s", path, "系统找不到指定的文件。"));
  return std::make_unique<VirtualSource>(it->second);
}

std::unique_ptr<FileStream> VirtualFileSystem::Create(const std::string& path) {
  return std::make_unique<VirtualSink>(files[path]);
}

void VirtualFileSystem::Rename(const std::string& from, const std::string& to) {
  auto it = files.find(from);
  if (it == files.end())
    throw AppError(FormatMessage2("Cannot rename \"%s\". %s", from, "系统找不到指定的文件。"));
  File moved = std::move(it->second);
  files.erase(it);
  files[to] = std::move(moved);
}

void RecordMarks(const char* data, size_t n, uint64_t at,
                 std::map<uint64_t, unsigned char>& marks) {
  static const char zeros[4096] = {};
  for (size_t i = 0; i < n; i += sizeof zeros) {
    size_t len = std::min(sizeof zeros, n - i);
    if (std::memcmp(data + i, zeros, len) == 0) continue;
    for (size_t j = i; j < i + len; ++j)
      if (data[j]) marks[at + j] = static_cast<unsigned char>(data[j]);
  }
}

std::string PatternBytes(size_t n, unsigned seed) {
  std::string s(n, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    s[i] = static_cast<char>(x >> 24);
  }
  return s;
}

namespace {

struct IniSection {
  std::string name;
  std::vector<std::pair<std::string, std::string>> entries;
};

std::vector<IniSection> ParseIni(const std::string& text) {
  std::vector<IniSection> out;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      out.push_back({line.substr(1, line.size() - 2), {}});
    } else if (size_t eq = line.find('='); eq != std::string::npos && !out.empty()) {
      out.back().entries.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    }
  }
  return out;
}

}  // namespace

bool DiskProfile::Exists(const std::string& path) const {
  return PosixFileSystem().FileExists(path);
}

std::string DiskProfile::FileText(const std::string& path) const {
  return Exists(path) ? ReadWholeFile(path) : std::string();
}

std::string DiskProfile::ReadString(const std::string& path, const std::string& section,
                                    const std::string& key, const std::string& def) {
  for (const IniSection& s : ParseIni(FileText(path))) {
    if (!EqualsNoCase(s.name, section)) continue;
    for (const auto& e : s.entries)
      if (EqualsNoCase(e.first, key)) return e.second.substr(0, 2047);
  }
  return def;
}

void DiskProfile::WriteString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& value) {
  if ((alive && !alive()) || std::find(readOnly_.begin(), readOnly_.end(), path) != readOnly_.end())
    throw AppError(FormatMessage1("Unable to write to %s", path));
  std::vector<IniSection> sections = ParseIni(FileText(path));
  auto put = [&] {
    for (IniSection& s : sections) {
      if (!EqualsNoCase(s.name, section)) continue;
      for (auto& e : s.entries)
        if (EqualsNoCase(e.first, key)) {
          e.second = value;
          return;
        }
      s.entries.emplace_back(key, value);
      return;
    }
    sections.push_back({section, {{key, value}}});
  };
  put();
  std::string text;
  for (const IniSection& s : sections) {
    text += "[" + s.name + "]\r\n";
    for (const auto& e : s.entries) text += e.first + "=" + e.second + "\r\n";
  }
  // Written whole through the file system, so a missing folder fails as the platform's does.
  try {
    PosixFileSystem().WriteAll(path, text);
  } catch (const AppError&) {
    throw AppError(FormatMessage1("Unable to write to %s", path));
  }
}

}  // namespace mt::test
