// The service control manager as the tools see it: which Win32 services run now, and a
// service's start type read and changed through the manager (not by writing the registry,
// which the manager reads only when the system starts). The real one is WinServiceControl
// (app/win); tests use MemoryServiceControl (tests/support).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mt {

// The start types as the registry's "Start" value and the manager number them.
inline constexpr uint32_t kServiceBootStart = 0;
inline constexpr uint32_t kServiceSystemStart = 1;
inline constexpr uint32_t kServiceAutoStart = 2;
inline constexpr uint32_t kServiceDemandStart = 3;
inline constexpr uint32_t kServiceDisabled = 4;

struct ServiceStart {
  uint32_t start = kServiceAutoStart;
  bool delayed = false;  // an automatic service started a while after the others
  bool operator==(const ServiceStart& o) const { return start == o.start && delayed == o.delayed; }
  bool operator!=(const ServiceStart& o) const { return !(*this == o); }
};

struct ServiceRunState {
  std::string name;  // the service's key name
  bool running = false;
};

// How the manager answered a change.
enum class ServiceOutcome {
  Done,
  AccessDenied,     // the caller may not change the service
  MarkedForDelete,  // deleted, gone once its last handle closes
  NoSuchService,
  Failed,  // anything else
};

// The words a refusal is told with ("" for Done).
std::string ServiceOutcomeText(ServiceOutcome outcome);

class ServiceControl {
 public:
  virtual ~ServiceControl() = default;
  // Every Win32 service the manager knows and whether it runs now. Throws AppError when the
  // manager cannot be reached.
  virtual std::vector<ServiceRunState> States() = 0;
  // The start type the manager holds for the service; none when there is no such service.
  virtual std::optional<ServiceStart> StartOf(const std::string& name) = 0;
  // Sets the start type (and, for an automatic start, whether it is delayed) through the
  // manager, which also writes the service's registry values.
  virtual ServiceOutcome SetStart(const std::string& name, const ServiceStart& start) = 0;
};

}  // namespace mt
