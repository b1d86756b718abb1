#include "app/ChangeFile.h"

#include "app/Backup.h"
#include "app/Error.h"
#include "app/Sha256.h"
#include "app/Text.h"

namespace mt {

namespace {

// The attribute bits a restore gives back (read-only, hidden, system); others (archive,
// compressed...) are the file system's own.
constexpr uint32_t kKeptAttributes = 0x1 | 0x2 | 0x4;

std::string NumberedBeside(FileSystem& files, const std::string& path) {
  const size_t slash = path.rfind('\\');
  const size_t dot = path.rfind('.');
  const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  for (int n = 2;; ++n) {
    const std::string number = " (" + std::to_string(n) + ")";
    const std::string candidate = hasExt ? path.substr(0, dot) + number + path.substr(dot)
                                         : path + number;
    if (!files.FileExists(candidate) && !files.DirectoryExists(candidate)) return candidate;
  }
}

}  // namespace

std::string FileSha256(FileSystem& files, const std::string& path, uint64_t* size) {
  auto in = files.OpenRead(path);
  Sha256 hash;
  std::string buffer(65536, '\0');
  uint64_t total = 0;
  for (size_t n; (n = in->Read(&buffer[0], buffer.size())) > 0;) {
    hash.Update(buffer.data(), n);
    total += n;
  }
  if (size) *size = total;
  return hash.FinishHex();
}

FileChange::FileChange(std::string path, std::string label)
    : path_(TrimControl(path)), label_(std::move(label)) {}

std::unique_ptr<FileChange> FileChange::FromPlace(const nlohmann::json& place, std::string label) {
  if (!place.is_object() || !place.contains("path")) throw AppError("文件位置不完整");
  return std::make_unique<FileChange>(NameFromJson(place["path"]), std::move(label));
}

bool FileChange::MachineWide(const ChangeEnv& env) const {
  return !FilePlaceOfUser(env.fileRoots, path_);
}

nlohmann::json FileChange::PlaceJson() const { return nlohmann::json{{"path", NameJson(path_)}}; }

nlohmann::json FileChange::Observe(const ChangeEnv& env) const {
  FileSystem& files = *env.files;
  if (!files.FileExists(path_)) return AbsentState();
  uint64_t size = 0;
  const std::string sha = FileSha256(files, path_, &size);
  const std::optional<FileMeta> meta = files.Meta(path_);
  return nlohmann::json{{"size", size},
                        {"sha256", sha},
                        {"attributes", meta ? meta->attributes & kKeptAttributes : 0}};
}

bool FileChange::SameState(const nlohmann::json& a, const nlohmann::json& b) const {
  if (IsAbsent(a) || IsAbsent(b)) return IsAbsent(a) == IsAbsent(b);
  return a.value("sha256", "") == b.value("sha256", "") &&
         a.value("attributes", 0u) == b.value("attributes", 0u);
}

bool FileChange::Save(const ChangeEnv& env, DeletionBackup& set, nlohmann::json& saved) {
  if (!env.files->FileExists(path_)) return true;
  set.AddCopy(path_);
  if (const std::optional<FileMeta> meta = env.files->Meta(path_))
    saved = nlohmann::json{{"attributes", meta->attributes},
                           {"created", meta->created},
                           {"written", meta->written}};
  return true;
}

void FileChange::WriteTo(const ChangeEnv& env, const std::string& target,
                         const nlohmann::json& before, const nlohmann::json& saved) const {
  FileSystem& files = *env.files;
  if (!saved.is_object() || !saved.contains("copy") || !saved["copy"].is_string())
    throw AppError("备份中没有这个文件的副本");
  const std::string copyName = saved["copy"].get<std::string>();
  if (copyName.empty() || copyName.find_first_of("\\/:") != std::string::npos || copyName == "." ||
      copyName == "..")
    throw AppError("备份中的副本名称无效");
  const std::string copy = env.setFolder + "\\" + copyName;
  const std::string bytes = ReadAllBytes(files, copy);
  Sha256 hash;
  hash.Update(bytes.data(), bytes.size());
  if (hash.FinishHex() != before.value("sha256", ""))
    throw AppError("备份中的副本已被改动：" + copyName);
  const size_t slash = target.rfind('\\');
  if (slash != std::string::npos && !files.CreateDirectories(target.substr(0, slash)))
    throw AppError("无法创建文件夹 " + target.substr(0, slash));
  FileMeta meta;
  meta.attributes = saved.value("attributes", before.value("attributes", 0u));
  meta.created = saved.value("created", uint64_t{0});
  meta.written = saved.value("written", uint64_t{0});
  files.WriteRestored(target, bytes, meta);
}

void FileChange::Restore(const ChangeEnv& env, const nlohmann::json& before,
                         const nlohmann::json& saved) {
  if (IsAbsent(before)) {
    if (env.files->FileExists(path_) && !env.files->RemoveFile(path_))
      throw AppError("无法删除 " + path_ + "（文件正在使用或拒绝访问）");
    return;
  }
  WriteTo(env, path_, before, saved);
}

std::string FileChange::RestoreBeside(const ChangeEnv& env, const nlohmann::json& before,
                                      const nlohmann::json& saved) {
  const std::string target = NumberedBeside(*env.files, path_);
  WriteTo(env, target, before, saved);
  return target;
}

std::string FileChange::DescribeState(const nlohmann::json& state) const {
  if (IsAbsent(state)) return "（不存在）";
  std::string text = std::to_string(state.value("size", uint64_t{0})) + " 字节";
  if (state.value("attributes", 0u) & 1) text += "，只读";
  return text;
}

bool FileChange::PlaceAllowed(const ChangeEnv& env) const {
  return FilePlaceAllowed(env.fileRoots, path_);
}

std::unique_ptr<Change> FileChange::AtSamePlace() const {
  return std::make_unique<FileChange>(path_, label_);
}

}  // namespace mt
