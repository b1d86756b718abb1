#include "app/ServiceControl.h"

namespace mt {

std::string ServiceOutcomeText(ServiceOutcome outcome) {
  switch (outcome) {
    case ServiceOutcome::Done: return std::string();
    case ServiceOutcome::AccessDenied: return "拒绝访问";
    case ServiceOutcome::MarkedForDelete: return "服务已标记为删除";
    case ServiceOutcome::NoSuchService: return "服务不存在";
    case ServiceOutcome::Failed: break;
  }
  return "服务管理器拒绝了更改";
}

}  // namespace mt
