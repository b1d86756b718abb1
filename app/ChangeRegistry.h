// The registry's kinds of change: one value (deleted, or overwritten by the action), and a
// key with everything below it. Both keep their place in the view it was made in and their
// data in the stored form (type number and bytes), so the restore gives back exactly what was
// there, through the registry API of that view.
#pragma once

#include <memory>
#include <string>

#include "app/Change.h"

namespace mt {

inline constexpr const char* kRegistryValueKind = "registry-value";
inline constexpr const char* kRegistryTreeKind = "registry-tree";

class RegistryValueChange : public Change {
 public:
  RegistryValueChange(RegRoot root, RegView view, std::string keyPath, std::string name);
  // Throws AppError for a place that is not whole.
  static std::unique_ptr<RegistryValueChange> FromPlace(const nlohmann::json& place);

  std::string Kind() const override { return kRegistryValueKind; }
  bool MachineWide(const ChangeEnv& env) const override;
  std::string Place() const override;
  nlohmann::json PlaceJson() const override;
  nlohmann::json Observe(const ChangeEnv& env) const override;
  bool Save(const ChangeEnv& env, DeletionBackup& set, nlohmann::json& saved) override;
  void Restore(const ChangeEnv& env, const nlohmann::json& before,
               const nlohmann::json& saved) override;
  std::string DescribeState(const nlohmann::json& state) const override;
  bool PlaceAllowed(const ChangeEnv& env) const override;
  std::unique_ptr<Change> AtSamePlace() const override;

  RegRoot root() const { return root_; }
  RegView view() const { return view_; }
  const std::string& keyPath() const { return keyPath_; }
  const std::string& name() const { return name_; }

 protected:
  RegRoot root_;
  RegView view_;
  std::string keyPath_;  // no leading "\"
  std::string name_;     // "" is the default value
};

class RegistryTreeChange : public Change {
 public:
  RegistryTreeChange(RegRoot root, RegView view, std::string keyPath);
  static std::unique_ptr<RegistryTreeChange> FromPlace(const nlohmann::json& place);

  std::string Kind() const override { return kRegistryTreeKind; }
  bool MachineWide(const ChangeEnv& env) const override;
  std::string Place() const override;
  nlohmann::json PlaceJson() const override;
  // The whole tree: {"values": [{name, type, data}...], "keys": [{name, values, keys}...]},
  // each list in the order of its names' bytes.
  nlohmann::json Observe(const ChangeEnv& env) const override;
  bool Save(const ChangeEnv& env, DeletionBackup& set, nlohmann::json& saved) override;
  // Replaces whatever stands at the place by the saved tree (or removes it when it was not
  // there before).
  void Restore(const ChangeEnv& env, const nlohmann::json& before,
               const nlohmann::json& saved) override;
  std::string DescribeState(const nlohmann::json& state) const override;
  bool PlaceAllowed(const ChangeEnv& env) const override;
  std::unique_ptr<Change> AtSamePlace() const override;

 private:
  RegRoot root_;
  RegView view_;
  std::string keyPath_;
};

// Readable text of a registry state ({"type", "data"}): the type's name and the data as the
// registry editor would show it.
std::string DescribeRegistryData(const nlohmann::json& state);

}  // namespace mt
