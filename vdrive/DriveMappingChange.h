// A drive mapping the page removes: the Mapping entry of one view of the machine's Run key,
// kept like any registry value, and, once it is back, the offer to map the drive now (the
// entry itself only maps it at the next log-on).
#pragma once

#include <memory>
#include <string>

#include "app/ChangeRegistry.h"

namespace mt {

inline constexpr const char* kDriveMappingKind = "drive-mapping";

class DriveMappingChange : public RegistryValueChange {
 public:
  DriveMappingChange(RegView view, std::string letter);
  static std::unique_ptr<DriveMappingChange> FromPlace(const nlohmann::json& place);

  std::string Kind() const override { return kDriveMappingKind; }
  std::unique_ptr<Change> AtSamePlace() const override;
  bool PlaceAllowed(const ChangeEnv& env) const override;
  // "是否立即映射 X: ？" for an entry that maps a drive.
  std::string FollowUpQuestion(const nlohmann::json& before) const override;
  // Runs subst with the entry's arguments, as the page's "建立" does.
  void FollowUp(const ChangeEnv& env, const nlohmann::json& before) const override;
};

// The arguments of subst in a Mapping entry's command ("subst X: \"folder\""): the drive, a
// blank and the quoted folder; empty for anything else.
std::string SubstArgumentsOfEntry(const std::string& entry);

}  // namespace mt
