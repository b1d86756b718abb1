#include "startup/ServiceChange.h"

#include "app/Error.h"
#include "app/ServiceControl.h"

namespace mt {

namespace {

ServiceControl& ManagerOf(const ChangeEnv& env) {
  if (!env.serviceControl) throw AppError("无法连接服务管理器");
  return *env.serviceControl;
}

}  // namespace

std::string ServiceStartText(uint32_t start, bool delayed) {
  switch (start) {
    case kServiceBootStart: return "引导";
    case kServiceSystemStart: return "系统";
    case kServiceAutoStart: return delayed ? "自动（延迟启动）" : "自动";
    case kServiceDemandStart: return "手动";
    case kServiceDisabled: return "已禁用";
    default: return "未知（" + std::to_string(start) + "）";
  }
}

ServiceStartChange::ServiceStartChange(std::string name) : name_(std::move(name)) {}

std::unique_ptr<ServiceStartChange> ServiceStartChange::FromPlace(const nlohmann::json& place) {
  if (!place.is_object() || !place.contains("name")) throw AppError("服务位置不完整");
  return std::make_unique<ServiceStartChange>(NameFromJson(place["name"]));
}

nlohmann::json ServiceStartChange::PlaceJson() const {
  return nlohmann::json{{"name", NameJson(name_)}};
}

nlohmann::json ServiceStartChange::Observe(const ChangeEnv& env) const {
  const std::optional<ServiceStart> start = ManagerOf(env).StartOf(name_);
  if (!start) return AbsentState();
  return nlohmann::json{{"start", start->start}, {"delayed", start->delayed}};
}

bool ServiceStartChange::Save(const ChangeEnv&, DeletionBackup&, nlohmann::json&) {
  // The state Add observed is all a restore needs; by hand, the registry values the set's
  // export file holds give the start type back at the next start of the system.
  return true;
}

void ServiceStartChange::Restore(const ChangeEnv& env, const nlohmann::json& before,
                                 const nlohmann::json&) {
  ServiceControl& manager = ManagerOf(env);
  if (IsAbsent(before) || !before.contains("start") || !before["start"].is_number_integer())
    throw AppError("备份中没有这个服务的启动类型");
  const int64_t number = before["start"].get<int64_t>();
  if (number < 0 || number > kServiceDisabled) throw AppError("备份中的启动类型无效");
  ServiceStart start;
  start.start = static_cast<uint32_t>(number);
  start.delayed = before.value("delayed", false);
  const ServiceOutcome outcome = manager.SetStart(name_, start);
  if (outcome != ServiceOutcome::Done)
    throw AppError("服务 " + name_ + "：" + ServiceOutcomeText(outcome));
}

std::string ServiceStartChange::DescribeState(const nlohmann::json& state) const {
  if (IsAbsent(state)) return "（不存在）";
  return "启动类型 " + ServiceStartText(state.value("start", 99u), state.value("delayed", false));
}

bool ServiceStartChange::PlaceAllowed(const ChangeEnv&) const {
  // A service name is a single key name below Services.
  return !name_.empty() && name_ != "." && name_ != ".." &&
         name_.find_first_of("\\/") == std::string::npos;
}

std::unique_ptr<Change> ServiceStartChange::AtSamePlace() const {
  return std::make_unique<ServiceStartChange>(name_);
}

}  // namespace mt
