// A file the action deletes or rewrites (a shortcut, a browser's policies file): kept as a
// copy in the set with its attributes and time stamps, restored to its recorded full path
// (the folder made again when it is gone) through FileSystem::WriteRestored, which never
// follows a link put on the path since.
#pragma once

#include <memory>
#include <string>

#include "app/Change.h"

namespace mt {

inline constexpr const char* kFileKind = "file";

class FileChange : public Change {
 public:
  // `label`: the manifest's kind for files the tools know by another name ("shortcut",
  // "policies-json"); the behaviour is the same.
  explicit FileChange(std::string path, std::string label = kFileKind);
  static std::unique_ptr<FileChange> FromPlace(const nlohmann::json& place,
                                               std::string label = kFileKind);

  std::string Kind() const override { return label_; }
  bool MachineWide(const ChangeEnv& env) const override;
  std::string Place() const override { return path_; }
  nlohmann::json PlaceJson() const override;
  // {"size", "sha256", "attributes"}: the content and the read-only, hidden and system bits.
  nlohmann::json Observe(const ChangeEnv& env) const override;
  bool Save(const ChangeEnv& env, DeletionBackup& set, nlohmann::json& saved) override;
  void Restore(const ChangeEnv& env, const nlohmann::json& before,
               const nlohmann::json& saved) override;
  std::string DescribeState(const nlohmann::json& state) const override;
  bool PlaceAllowed(const ChangeEnv& env) const override;
  std::unique_ptr<Change> AtSamePlace() const override;
  bool IsFile() const override { return true; }
  std::string RestoreBeside(const ChangeEnv& env, const nlohmann::json& before,
                            const nlohmann::json& saved) override;
  bool SameState(const nlohmann::json& a, const nlohmann::json& b) const override;

  const std::string& path() const { return path_; }

 private:
  void WriteTo(const ChangeEnv& env, const std::string& target, const nlohmann::json& before,
               const nlohmann::json& saved) const;

  std::string path_;
  std::string label_;
};

// The content's SHA-256 as lower-case hex, read through `files`.
std::string FileSha256(FileSystem& files, const std::string& path, uint64_t* size = nullptr);

}  // namespace mt
