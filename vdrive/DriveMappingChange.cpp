#include "vdrive/DriveMappingChange.h"

#include "app/Error.h"
#include "app/Text.h"
#include "vdrive/VirtualDrives.h"

namespace mt {

DriveMappingChange::DriveMappingChange(RegView view, std::string letter)
    : RegistryValueChange(RegRoot::LocalMachine, view, kMappingKeyPath, std::move(letter)) {}

std::unique_ptr<DriveMappingChange> DriveMappingChange::FromPlace(const nlohmann::json& place) {
  std::unique_ptr<RegistryValueChange> value = RegistryValueChange::FromPlace(place);
  if (value->root() != RegRoot::LocalMachine || !EqualsNoCase(value->keyPath(), kMappingKeyPath))
    throw AppError("虚拟硬盘的位置不对");
  return std::make_unique<DriveMappingChange>(value->view(), value->name());
}

std::unique_ptr<Change> DriveMappingChange::AtSamePlace() const {
  return std::make_unique<DriveMappingChange>(view_, name_);
}

bool DriveMappingChange::PlaceAllowed(const ChangeEnv& env) const {
  return IsDriveText(name_) && RegistryValueChange::PlaceAllowed(env);
}

std::string SubstArgumentsOfEntry(const std::string& entry) {
  const std::string prefix = "subst ";
  if (entry.size() < prefix.size() || !EqualsNoCase(entry.substr(0, prefix.size()), prefix))
    return std::string();
  const std::string args = entry.substr(prefix.size());
  // "X: \"folder\"", the folder holding no quote of its own.
  if (args.size() < 6 || !IsDriveText(args.substr(0, 2)) || args[2] != ' ' || args[3] != '"' ||
      args.back() != '"' || args.find('"', 4) != args.size() - 1)
    return std::string();
  return args;
}

namespace {

std::string EntryText(const nlohmann::json& before) {
  if (IsAbsent(before) || !before.is_object() || !before.contains("data")) return std::string();
  RawRegValue raw;
  raw.type = before.value("type", 0u);
  raw.bytes = BytesOfHex(before["data"].get<std::string>());
  const RegValue value = ValueFromRaw(raw);
  return value.type == RegDataType::String ? value.text : std::string();
}

}  // namespace

std::string DriveMappingChange::FollowUpQuestion(const nlohmann::json& before) const {
  if (view_ != RegView::Native || SubstArgumentsOfEntry(EntryText(before)).empty())
    return std::string();
  return "虚拟硬盘 " + name_ + " 已恢复，下次登录时生效。是否现在就建立？";
}

void DriveMappingChange::FollowUp(const ChangeEnv& env, const nlohmann::json& before) const {
  const std::string args = SubstArgumentsOfEntry(EntryText(before));
  if (args.empty() || !env.processes) return;
  StartSubst(*env.processes, args);
}

}  // namespace mt
