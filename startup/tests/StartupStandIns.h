// Stand-ins for the startup-item tests: a list in memory, scripted platform places and a
// file system that refuses to delete chosen files.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "startup/ScheduledTasks.h"
#include "startup/StartupItems.h"

namespace mt::test {

// The list in memory, counting what was done to it.
class MemoryStartupView : public RowList {
 public:
  void Clear() override {
    RowList::Clear();
    ++clears;
  }
  void Remove(size_t index) override {
    RowList::Remove(index);
    removed.push_back(index);
  }
  void SetReadOnly() override { readOnly = true; }
  std::optional<size_t> Selected() override { return selected; }

  // Ticks the first row with that name and source; false when there is none.
  bool Check(const std::string& name, StartupSource source) {
    for (StartupRow& r : rows)
      if (r.name == name && r.source == source) return r.checked = true;
    return false;
  }
  bool Has(const std::string& name, StartupSource source) const {
    for (const StartupRow& r : rows)
      if (r.name == name && r.source == source) return true;
    return false;
  }

  std::vector<size_t> removed;
  int clears = 0;
  bool readOnly = false;
  std::optional<size_t> selected;
};

// Passes everything to `inner` but refuses to delete the paths in `locked` (a file held
// open by another program) and to list the folders in `unlistable` (access denied), and,
// as the system does, refuses to delete a read-only file.
class LockingFileSystem : public FileSystem {
 public:
  explicit LockingFileSystem(FileSystem& inner) : inner_(inner) {}
  std::unique_ptr<FileStream> OpenRead(const std::string& p) override { return inner_.OpenRead(p); }
  std::unique_ptr<FileStream> Create(const std::string& p) override { return inner_.Create(p); }
  bool FileExists(const std::string& p) override { return inner_.FileExists(p); }
  bool DirectoryExists(const std::string& p) override { return inner_.DirectoryExists(p); }
  bool IsListableFolder(const std::string& p) override {
    return !unlistable.count(p) && inner_.IsListableFolder(p);
  }
  bool RemoveFile(const std::string& p) override {
    deleted.push_back(p);
    const std::optional<FileMeta> meta = inner_.Meta(p);
    if (locked.count(p) || (meta && (meta->attributes & 1u))) return false;
    return inner_.RemoveFile(p);
  }
  std::optional<FileMeta> Meta(const std::string& p) override { return inner_.Meta(p); }
  bool SetAttributes(const std::string& p, uint32_t attributes) override {
    return !unchangeable.count(p) && inner_.SetAttributes(p, attributes);
  }
  void WriteRestored(const std::string& p, const std::string& bytes,
                     const FileMeta& meta) override {
    inner_.WriteRestored(p, bytes, meta);
  }
  std::vector<FindEntry> Find(const std::string& folder, const std::string& pattern) override {
    if (unlistable.count(folder)) return {};
    return inner_.Find(folder, pattern);
  }
  bool CreateDirectories(const std::string& p) override { return inner_.CreateDirectories(p); }
  void Rename(const std::string& from, const std::string& to) override { inner_.Rename(from, to); }
  std::string FullPath(const std::string& p) override { return inner_.FullPath(p); }

  std::set<std::string> locked, unlistable;
  std::set<std::string> unchangeable;  // SetAttributes is refused
  std::vector<std::string> deleted;

 private:
  FileSystem& inner_;
};

// A scheduler in memory: each task's definition is its XML, read by the same rules as the real
// store's. Tasks in `unreadable` have no exported definition; writes to `refused` fail.
class MemoryTaskStore : public TaskStore {
 public:
  struct Stored {
    std::string xml;
    bool enabled = true;
  };
  std::vector<TaskInfo> Tasks() override {
    std::vector<TaskInfo> out;
    for (const auto& [path, task] : tasks) {
      TaskInfo info;
      info.path = path;
      info.enabled = task.enabled;
      ReadTaskXml(task.xml, info);
      out.push_back(info);
    }
    return out;
  }
  bool SetEnabled(const std::string& path, bool enabled) override {
    auto it = tasks.find(path);
    if (it == tasks.end() || refused.count(path)) return false;
    it->second.enabled = enabled;
    return true;
  }
  std::optional<bool> Enabled(const std::string& path) override {
    auto it = tasks.find(path);
    if (it == tasks.end()) return std::nullopt;
    return it->second.enabled;
  }
  std::optional<std::string> Xml(const std::string& path) override {
    auto it = tasks.find(path);
    if (it == tasks.end() || unreadable.count(path)) return std::nullopt;
    return it->second.xml;
  }
  bool Delete(const std::string& path) override {
    if (refused.count(path)) return false;
    return tasks.erase(path) > 0;
  }
  bool Register(const std::string& path, const std::string& xml) override {
    if (refused.count(path)) return false;
    tasks[path] = Stored{xml, true};
    return true;
  }

  std::map<std::string, Stored> tasks;
  std::set<std::string> unreadable, refused;
};

}  // namespace mt::test
