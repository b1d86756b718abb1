#include "tests/support/StandIns.h"

#include <chrono>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "app/Error.h"
#include "app/Path.h"
#include "app/Text.h"

namespace fs = std::filesystem;

#ifdef _WIN32
#define ftello _ftelli64
#define fseeko _fseeki64
#endif

namespace mt::test {

// ---- MemoryProfile -----------------------------------------------------------------------

namespace {

// What GetPrivateProfileString gives for a value line: blanks around it dropped, then one
// pair of double quotes around the whole of it.
std::string ProfileValueAsRead(const std::string& stored) {
  size_t b = 0, e = stored.size();
  while (b < e && (stored[b] == ' ' || stored[b] == '\t')) ++b;
  while (e > b && (stored[e - 1] == ' ' || stored[e - 1] == '\t')) --e;
  if (e - b >= 2 && stored[b] == '"' && stored[e - 1] == '"') {
    ++b;
    --e;
  }
  return stored.substr(b, e - b);
}

}  // namespace

std::string MemoryProfile::ReadString(const std::string& path, const std::string& section,
                                      const std::string& key, const std::string& def) {
  auto f = files_.find(path);
  if (f == files_.end()) return def;
  for (const Section& s : f->second) {
    if (!EqualsNoCase(s.name, section)) continue;
    for (const auto& e : s.entries)
      if (EqualsNoCase(e.first, key)) return ProfileValueAsRead(e.second).substr(0, 2047);
  }
  return def;
}

void MemoryProfile::WriteString(const std::string& path, const std::string& section,
                                const std::string& key, const std::string& value) {
  for (const std::string& p : readOnly_)
    if (p == path) throw AppError(FormatMessage1("Unable to write to %s", path));
  auto& sections = files_[path];
  for (Section& s : sections) {
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
}

std::string MemoryProfile::FileText(const std::string& path) const {
  auto f = files_.find(path);
  if (f == files_.end()) return std::string();
  std::string out;
  for (const Section& s : f->second) {
    out += "[" + s.name + "]\r\n";
    for (const auto& e : s.entries) out += e.first + "=" + e.second + "\r\n";
  }
  return out;
}

bool MemoryProfile::Exists(const std::string& path) const { return files_.count(path) != 0; }

// ---- PosixFileSystem ---------------------------------------------------------------------

namespace {

class StdFileStream : public FileStream {
 public:
  explicit StdFileStream(std::FILE* f) : f_(f) {}
  ~StdFileStream() override { std::fclose(f_); }
  size_t Read(void* buffer, size_t n) override { return std::fread(buffer, 1, n, f_); }
  size_t Write(const void* buffer, size_t n) override { return std::fwrite(buffer, 1, n, f_); }
  uint64_t Size() override {
    long long at = ftello(f_);
    fseeko(f_, 0, SEEK_END);
    long long end = ftello(f_);
    fseeko(f_, at, SEEK_SET);
    return static_cast<uint64_t>(end);
  }
  // Also the switch between reading and writing that stdio asks for.
  void Seek(uint64_t offset) override {
    if (fseeko(f_, static_cast<long long>(offset), SEEK_SET) != 0)
      throw AppError("Stream seek error");
  }

 private:
  std::FILE* f_;
};

fs::path P(const std::string& path) { return fs::u8path(PosixFileSystem::ToPosix(path)); }

// fopen of a UTF-8 path; on Windows the narrow fopen would take it as ANSI.
std::FILE* OpenStdFile(const std::string& path, const wchar_t* mode) {
#ifdef _WIN32
  return _wfopen(P(path).c_str(), mode);
#else
  std::string narrow(mode, mode + std::wcslen(mode));
  return std::fopen(PosixFileSystem::ToPosix(path).c_str(), narrow.c_str());
#endif
}

// Shell-style match of "*" and "?" against a name, ASCII letters in any case.
bool Matches(const std::string& name, const std::string& pattern) {
  if (pattern == "*" || pattern == "*.*") return true;
  size_t n = 0, p = 0, starP = std::string::npos, starN = 0;
  auto eq = [](char a, char b) { return EqualsNoCase(std::string(1, a), std::string(1, b)); };
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || eq(pattern[p], name[n]))) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

std::string PosixFileSystem::ToPosix(const std::string& path) {
  std::string out = path;
  for (char& c : out)
    if (c == '\\') c = '/';
  return out;
}

std::unique_ptr<FileStream> PosixFileSystem::OpenRead(const std::string& path) {
  std::FILE* f = OpenStdFile(path, L"rb");
  if (!f || fs::is_directory(P(path))) {
    if (f) std::fclose(f);
    throw AppError(FormatMessage2("Cannot open file \"%s\". %s", path, "系统找不到指定的文件。"));
  }
  return std::make_unique<StdFileStream>(f);
}

std::unique_ptr<FileStream> PosixFileSystem::Create(const std::string& path) {
  std::FILE* f = OpenStdFile(path, L"w+b");
  if (!f) throw AppError(FormatMessage2("Cannot create file \"%s\". %s", path, "拒绝访问。"));
  return std::make_unique<StdFileStream>(f);
}

bool PosixFileSystem::FileExists(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(P(path), ec);
}

bool PosixFileSystem::DirectoryExists(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(P(path), ec);
}

bool PosixFileSystem::IsListableFolder(const std::string& path) {
  std::error_code ec;
  if (fs::symlink_status(P(path), ec).type() != fs::file_type::directory || ec) return false;
  fs::directory_iterator listing(P(path), ec);
  return !ec;
}

bool PosixFileSystem::RemoveFile(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(P(path), ec) && fs::remove(P(path), ec);
}

bool PosixFileSystem::RemoveFolder(const std::string& path) {
  std::error_code ec;
  const fs::file_status st = fs::symlink_status(P(path), ec);
  if (ec) return false;
  if (fs::is_symlink(st)) {
    // Only a link to a folder passes for a folder, and it goes as a link.
    if (!fs::is_directory(P(path), ec)) return false;
    return fs::remove(P(path), ec) && !ec;
  }
  if (!fs::is_directory(st)) return false;
  // remove_all takes symbolic links inside as links, never following them.
  fs::remove_all(P(path), ec);
  return !ec && !fs::exists(fs::symlink_status(P(path), ec));
}

std::vector<FindEntry> PosixFileSystem::Find(const std::string& folder,
                                             const std::string& pattern) {
  std::vector<FindEntry> out;
  std::error_code ec;
  for (auto it = fs::directory_iterator(P(folder), ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    std::string name = it->path().filename().u8string();
    if (!Matches(name, pattern)) continue;
    FindEntry e;
    e.name = name;
    e.isDirectory = it->is_directory(ec);
    out.push_back(e);
  }
  return out;
}

bool PosixFileSystem::CreateDirectories(const std::string& path) {
  std::error_code ec;
  fs::create_directories(P(path), ec);
  return fs::is_directory(P(path), ec);
}

std::string PosixFileSystem::FullPath(const std::string& path) {
  std::error_code ec;
  return fs::absolute(P(path), ec).u8string();
}

std::optional<FileIdentity> PosixFileSystem::Identity(const std::string& path) {
#ifdef _WIN32
  (void)path;
  return std::nullopt;
#else
  struct stat st {};
  if (::stat(ToPosix(path).c_str(), &st) != 0) return std::nullopt;
  FileIdentity id;
  id.volumeSerial = static_cast<uint32_t>(st.st_dev);
  id.fileIndex = static_cast<uint64_t>(st.st_ino);
  id.hasId128 = true;
  id.volumeSerial64 = static_cast<uint64_t>(st.st_dev);
  id.id128[0] = static_cast<uint64_t>(st.st_ino);
  return id;
#endif
}

std::optional<FileMeta> PosixFileSystem::Meta(const std::string& path) {
  std::error_code ec;
  const fs::file_status st = fs::status(P(path), ec);
  if (ec || !fs::is_regular_file(st)) return std::nullopt;
  FileMeta meta;
  // Read-only is the one attribute this file system keeps: no write permission.
  meta.attributes = (st.permissions() & fs::perms::owner_write) == fs::perms::none ? 1u : 0u;
  const auto written = fs::last_write_time(P(path), ec);
  if (!ec)
    meta.written = static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(written.time_since_epoch()).count() /
        100);
  return meta;
}

bool PosixFileSystem::SetAttributes(const std::string& path, uint32_t attributes) {
  std::error_code ec;
  if (!fs::is_regular_file(P(path), ec)) return false;
  fs::permissions(P(path), fs::perms::owner_write,
                  (attributes & 1u) ? fs::perm_options::remove : fs::perm_options::add, ec);
  return !ec;
}

void PosixFileSystem::WriteRestored(const std::string& path, const std::string& bytes,
                                    const FileMeta& meta) {
  // A symbolic link stands for a reparse point: on the way or at the file, it is refused.
  fs::path walked;
  for (const fs::path& part : P(path)) {
    walked /= part;
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(walked, ec)))
      throw AppError("路径中有链接或连接点，没有写入：" + path);
  }
  std::error_code ec;
  if (fs::exists(P(path), ec))
    fs::permissions(P(path), fs::perms::owner_write, fs::perm_options::add, ec);
  WriteAll(path, bytes);
  if (meta.written) {
    const auto since = std::chrono::nanoseconds(static_cast<int64_t>(meta.written) * 100);
    fs::last_write_time(
        P(path),
        fs::file_time_type(std::chrono::duration_cast<fs::file_time_type::duration>(since)), ec);
  }
  if (meta.attributes & 1u)
    fs::permissions(P(path),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove, ec);
}

void PosixFileSystem::Rename(const std::string& from, const std::string& to) {
  std::error_code ec;
  fs::rename(P(from), P(to), ec);
  if (ec) throw AppError(FormatMessage2("Cannot rename \"%s\". %s", from, ec.message()));
}

// ---- MemoryFileSystem ----------------------------------------------------------------------

namespace {

// Reads a copy of the bytes; writes land in the file system as they are made.
class MemoryStream : public FileStream {
 public:
  MemoryStream(std::string bytes) : bytes_(std::move(bytes)) {}
  MemoryStream(std::string* target) : target_(target) {}
  size_t Read(void* buffer, size_t n) override {
    n = std::min(n, bytes_.size() - at_);
    std::memcpy(buffer, bytes_.data() + at_, n);
    at_ += n;
    return n;
  }
  size_t Write(const void* buffer, size_t n) override {
    target_->append(static_cast<const char*>(buffer), n);
    return n;
  }
  uint64_t Size() override { return target_ ? target_->size() : bytes_.size(); }

 private:
  std::string bytes_;
  size_t at_ = 0;
  std::string* target_ = nullptr;
};

}  // namespace

std::unique_ptr<FileStream> MemoryFileSystem::OpenRead(const std::string& path) {
  auto it = files.find(path);
  if (it == files.end() || held.count(path))
    throw AppError(FormatMessage2("Cannot open file \"%s\". %s", path, "拒绝访问。"));
  return std::make_unique<MemoryStream>(it->second);
}

std::unique_ptr<FileStream> MemoryFileSystem::Create(const std::string& path) {
  if (held.count(path) || !dirs.count(FolderOf(path)))
    throw AppError(FormatMessage2("Cannot create file \"%s\". %s", path, "拒绝访问。"));
  std::string& bytes = files[path];
  bytes.clear();
  return std::make_unique<MemoryStream>(&bytes);
}

bool MemoryFileSystem::FileExists(const std::string& path) { return files.count(path) != 0; }

bool MemoryFileSystem::DirectoryExists(const std::string& path) {
  if (throwOnFolders) throw AppError("cannot look at " + path);
  return dirs.count(path) != 0;
}

bool MemoryFileSystem::RemoveFile(const std::string& path) {
  log.push_back("delete " + path);
  if (undeletable.count(path) || held.count(path)) return false;
  return files.erase(path) != 0;
}

bool MemoryFileSystem::RemoveFolder(const std::string& path) {
  log.push_back("remove folder " + path);
  if (!dirs.count(path)) return false;
  const std::string below = path + "\\";
  std::set<std::string> kept;  // folders that keep a file that could not go
  for (auto it = files.begin(); it != files.end();) {
    if (it->first.compare(0, below.size(), below) != 0) {
      ++it;
    } else if (undeletable.count(it->first) || held.count(it->first)) {
      for (std::string f = FolderOf(it->first); f.size() >= path.size();) {
        kept.insert(f);
        const std::string up = FolderOf(f);
        if (up == f) break;
        f = up;
      }
      ++it;
    } else {
      it = files.erase(it);
    }
  }
  for (auto it = dirs.begin(); it != dirs.end();) {
    const bool inside = *it == path || it->compare(0, below.size(), below) == 0;
    if (inside && !kept.count(*it)) it = dirs.erase(it);
    else ++it;
  }
  return kept.empty();
}

std::vector<FindEntry> MemoryFileSystem::Find(const std::string& folder,
                                              const std::string& pattern) {
  std::vector<FindEntry> out;
  for (const auto& [path, bytes] : files)
    if (FolderOf(path) == folder && Matches(FileNameOf(path), pattern))
      out.push_back({FileNameOf(path), false, false, false});
  for (const std::string& dir : dirs)
    if (FolderOf(dir) == folder && dir != folder && Matches(FileNameOf(dir), pattern))
      out.push_back({FileNameOf(dir), true, false, false});
  return out;
}

bool MemoryFileSystem::CreateDirectories(const std::string& path) {
  if (path.empty() || DirectoryExists(path)) return !path.empty();
  const std::string parent = FolderOf(path);
  if (!parent.empty() && parent != path && !CreateDirectories(parent)) return false;
  if (unmakeable.count(path)) return false;
  created.push_back(path);
  dirs.insert(path);
  return true;
}

void MemoryFileSystem::WriteAll(const std::string& path, const std::string& bytes) {
  log.push_back("write " + path);
  if (held.count(path)) throw AppError("Cannot create file \"" + path + "\"");
  if (!dirs.count(FolderOf(path))) throw AppError("Cannot create file \"" + path + "\"");
  if (failWrite) {
    files[path] = bytes.substr(0, bytes.size() / 2);  // a disk that filled up part-way
    throw AppError("Unable to write to \"" + path + "\"");
  }
  files[path] = bytes;
}

void MemoryFileSystem::Rename(const std::string& from, const std::string& to) {
  log.push_back("rename " + from + " " + to);
  if (failRename || !files.count(from) || held.count(from) || held.count(to))
    throw AppError("Cannot rename \"" + from + "\"");
  files[to] = files[from];
  files.erase(from);
}

// ---- ScriptedDialogs ---------------------------------------------------------------------

std::optional<std::vector<std::string>> ScriptedDialogs::OpenFile(WindowRef,
                                                                  const FileDialogOptions& opts) {
  openAsked.push_back(opts);
  if (openAnswers.empty()) return std::nullopt;
  auto a = openAnswers.front();
  openAnswers.pop_front();
  return a;
}

std::optional<std::string> ScriptedDialogs::SaveFile(WindowRef, const FileDialogOptions& opts) {
  saveAsked.push_back(opts);
  if (saveAnswers.empty()) return std::nullopt;
  auto a = saveAnswers.front();
  saveAnswers.pop_front();
  return a;
}

std::optional<std::string> ScriptedDialogs::BrowseFolder(WindowRef, const std::string& title) {
  folderTitles.push_back(title);
  if (folderAnswers.empty()) return std::nullopt;
  auto a = folderAnswers.front();
  folderAnswers.pop_front();
  return a;
}

void RecordingClipboard::SetText(WindowRef, const std::string& t) {
  if (failOpen) throw AppError("Cannot open clipboard: 拒绝访问。");
  text = t;
}

// ---- temporary folders and whole files ---------------------------------------------------

TempDir::TempDir() {
  std::random_device rd;
  fs::path base = fs::temp_directory_path();
  for (;;) {
    fs::path candidate = base / ("mt-test-" + std::to_string(rd()));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      path_ = candidate.u8string();
      break;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(fs::u8path(path_), ec);
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(fs::u8path(PosixFileSystem::ToPosix(path)), std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(fs::u8path(PosixFileSystem::ToPosix(path)), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// ---- the tools' own services ----------------------------------------------------------

namespace {

class FakeClient : public HttpClient {
 public:
  explicit FakeClient(FakeHttp& owner) : owner_(owner) {
    std::lock_guard<std::mutex> lock(owner_.mutex);
    ++owner_.clientsAlive;
  }
  ~FakeClient() override {
    std::lock_guard<std::mutex> lock(owner_.mutex);
    --owner_.clientsAlive;
  }
  void SetUserAgent(const std::string& ua) override {
    std::lock_guard<std::mutex> lock(owner_.mutex);
    owner_.userAgents.push_back(ua);
  }
  void SetFollowRedirects(bool follow) override {
    std::lock_guard<std::mutex> lock(owner_.mutex);
    owner_.followRedirects.push_back(follow);
  }
  void SetWorkHandler(WorkHandler handler) override { work_ = std::move(handler); }
  std::string GetText(const std::string& url) override { return Find("GETTEXT", url).body; }
  void Head(const std::string& url) override { length_ = Find("HEAD", url).contentLength; }
  int32_t ResponseContentLength() const override { return length_; }
  void Get(const std::string& url, std::string& stream) override {
    const FakeResponse r = Find("GET", url);
    const size_t step = r.chunk ? r.chunk : (r.body.empty() ? 1 : r.body.size());
    for (size_t done = 0; done < r.body.size();) {
      size_t n = std::min(step, r.body.size() - done);
      stream.append(r.body, done, n);
      done += n;
      if (work_) work_(WorkMode::Read, static_cast<int64_t>(done));
    }
  }

 private:
  FakeResponse Find(const char* verb, const std::string& url) {
    std::lock_guard<std::mutex> lock(owner_.mutex);
    owner_.requests.push_back(std::string(verb) + " " + url);
    auto it = owner_.responses.find(url);
    if (it == owner_.responses.end() || it->second.fail) throw HttpError("cannot connect");
    return it->second;
  }
  FakeHttp& owner_;
  WorkHandler work_;
  int32_t length_ = -1;
};

}  // namespace

std::unique_ptr<HttpClient> FakeHttp::CreateClient() {
  if (failCreate) throw HttpError("no client");
  return std::make_unique<FakeClient>(*this);
}

namespace {
class MemoryHold : public HeldFile {
 public:
  MemoryHold(MemoryFileSystem* files, std::string path) : files_(files), path_(std::move(path)) {
    if (files_) ++files_->held[path_];
  }
  ~MemoryHold() override {
    if (files_ && --files_->held[path_] == 0) files_->held.erase(path_);
  }
  bool ReadAt(uint64_t offset, void* data, size_t size) const override {
    if (!files_) return false;
    auto it = files_->files.find(path_);
    if (it == files_->files.end() || offset > it->second.size() ||
        size > it->second.size() - offset) {
      return false;
    }
    it->second.copy(static_cast<char*>(data), size, static_cast<size_t>(offset));
    return true;
  }

 private:
  MemoryFileSystem* files_;
  std::string path_;
};
}  // namespace

TrustResult FakeVerifier::Verify(const std::string& path) {
  asked.push_back(path);
  if (files_) {
    auto it = files_->files.find(path);
    seen.push_back(it == files_->files.end() ? "(none)" : it->second);
  }
  if (throws) throw AppError("verifier failed");
  if (verdict != TrustVerdict::kTrusted) return Refuse(verdict, TrustVerdictName(verdict));
  return Accept(path, std::make_unique<MemoryHold>(files_, path));
}

LaunchResult RecordingLauncher::Start(VerifiedInstaller installer, const std::string& parameters,
                                      int show) {
  started.push_back({installer.Path(), parameters, show, isHeld ? isHeld(installer.Path()) : true});
  return result;
}

// ---- shortcuts ---------------------------------------------------------------------------

namespace {
constexpr const char* kShortcutMagic = "mt-test-shortcut";
}

ShellLinkData TextShortcuts::Read(const std::string& path) {
  std::string bytes;
  {
    auto in = files_.OpenRead(path);
    char buffer[4096];
    for (size_t n; (n = in->Read(buffer, sizeof buffer)) > 0;) bytes.append(buffer, n);
  }
  std::vector<std::string> lines = Split(bytes, '\n');
  if (lines.size() < 6 || lines[0] != kShortcutMagic) throw AppError("文件不是有效的快捷方式。");
  ShellLinkData link;
  link.target = lines[1];
  link.arguments = lines[2];
  link.workingDirectory = lines[3];
  link.iconLocation = lines[4];
  link.iconIndex = ParseInt32(lines[5]).value_or(0);
  return link;
}

void TextShortcuts::Make(const std::string& path, const ShellLinkData& link) {
  files_.WriteAll(path, std::string(kShortcutMagic) + "\n" + link.target + "\n" + link.arguments +
                            "\n" + link.workingDirectory + "\n" + link.iconLocation + "\n" +
                            std::to_string(link.iconIndex));
}

void TextShortcuts::Write(const std::string& path, const ShellLinkData& link) {
  if (refused.count(path)) throw AppError("拒绝访问。");
  if (!files_.FileExists(path)) throw AppError("系统找不到指定的文件。");
  Make(path, link);
  written.push_back(path);
}

}  // namespace mt::test
