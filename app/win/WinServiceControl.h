// ServiceControl over the service control manager's API (advapi32).
#pragma once

#include "app/ServiceControl.h"

namespace mt {

class WinServiceControl : public ServiceControl {
 public:
  std::vector<ServiceRunState> States() override;
  std::optional<ServiceStart> StartOf(const std::string& name) override;
  ServiceOutcome SetStart(const std::string& name, const ServiceStart& start) override;
};

}  // namespace mt
