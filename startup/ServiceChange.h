// A service's start type as the service manager holds it, as "禁用"/"启用" of the startup
// list change it: the restore gives it back through the manager (which reads the registry
// only when the system starts, so writing the registry values back alone would not reach
// it). The set also keeps the "Start" and "DelayedAutostart" values themselves, restored
// after this, so the registry comes back exactly.
#pragma once

#include <memory>
#include <string>

#include "app/Change.h"

namespace mt {

inline constexpr const char* kServiceStartKind = "service-start";

class ServiceStartChange : public Change {
 public:
  explicit ServiceStartChange(std::string name);
  static std::unique_ptr<ServiceStartChange> FromPlace(const nlohmann::json& place);

  std::string Kind() const override { return kServiceStartKind; }
  bool MachineWide(const ChangeEnv&) const override { return true; }
  std::string Place() const override { return "服务 " + name_ + "（启动类型）"; }
  nlohmann::json PlaceJson() const override;
  // {"start": 0..4, "delayed": true|false}, or absent when the manager knows no such service.
  nlohmann::json Observe(const ChangeEnv& env) const override;
  bool Save(const ChangeEnv& env, DeletionBackup& set, nlohmann::json& saved) override;
  void Restore(const ChangeEnv& env, const nlohmann::json& before,
               const nlohmann::json& saved) override;
  std::string DescribeState(const nlohmann::json& state) const override;
  bool PlaceAllowed(const ChangeEnv& env) const override;
  std::unique_ptr<Change> AtSamePlace() const override;

 private:
  std::string name_;
};

// The words of a start type ("自动（延迟启动）", "手动", "已禁用"...).
std::string ServiceStartText(uint32_t start, bool delayed);

}  // namespace mt
