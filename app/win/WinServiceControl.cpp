#include "app/win/WinServiceControl.h"

#include <windows.h>

#include <vector>

#include "app/Error.h"
#include "app/win/Handles.h"

namespace mt {

namespace {

ServiceOutcome OutcomeOf(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED: return ServiceOutcome::AccessDenied;
    case ERROR_SERVICE_MARKED_FOR_DELETE: return ServiceOutcome::MarkedForDelete;
    case ERROR_SERVICE_DOES_NOT_EXIST: return ServiceOutcome::NoSuchService;
    default: return ServiceOutcome::Failed;
  }
}

UniqueService OpenManager(DWORD access) {
  return UniqueService(::OpenSCManagerW(nullptr, nullptr, access));
}

// The delayed flag of an automatic service; false where the system does not know the flag.
bool DelayedOf(SC_HANDLE service) {
  SERVICE_DELAYED_AUTO_START_INFO info = {};
  DWORD needed = 0;
  if (!::QueryServiceConfig2W(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO,
                              reinterpret_cast<BYTE*>(&info), sizeof info, &needed))
    return false;
  return info.fDelayedAutostart != FALSE;
}

std::optional<DWORD> StartTypeOf(SC_HANDLE service) {
  DWORD needed = 0;
  ::QueryServiceConfigW(service, nullptr, 0, &needed);
  if (needed == 0) return std::nullopt;
  std::vector<BYTE> buffer(needed);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (!::QueryServiceConfigW(service, config, needed, &needed)) return std::nullopt;
  return config->dwStartType;
}

}  // namespace

std::vector<ServiceRunState> WinServiceControl::States() {
  UniqueService manager = OpenManager(SC_MANAGER_ENUMERATE_SERVICE);
  if (!manager) throw AppError("无法连接服务管理器：" + SystemErrorText(::GetLastError()));
  std::vector<ServiceRunState> out;
  DWORD resume = 0;
  std::vector<BYTE> buffer(64 * 1024);
  for (;;) {
    DWORD needed = 0, count = 0;
    const BOOL ok = ::EnumServicesStatusExW(manager.get(), SC_ENUM_PROCESS_INFO, SERVICE_WIN32,
                                            SERVICE_STATE_ALL, buffer.data(),
                                            static_cast<DWORD>(buffer.size()), &needed, &count,
                                            &resume, nullptr);
    const DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();
    if (!ok && error != ERROR_MORE_DATA) throw AppError("无法列出服务：" + SystemErrorText(error));
    const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
      out.push_back({Narrow(entries[i].lpServiceName),
                     entries[i].ServiceStatusProcess.dwCurrentState != SERVICE_STOPPED});
    if (ok) break;
    // More to come: a bigger buffer when not even one entry fitted.
    if (count == 0) buffer.resize(std::max<size_t>(buffer.size() * 2, needed));
  }
  return out;
}

std::optional<ServiceStart> WinServiceControl::StartOf(const std::string& name) {
  UniqueService manager = OpenManager(SC_MANAGER_CONNECT);
  if (!manager) throw AppError("无法连接服务管理器：" + SystemErrorText(::GetLastError()));
  UniqueService service(::OpenServiceW(manager.get(), Widen(name).c_str(), SERVICE_QUERY_CONFIG));
  if (!service) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_SERVICE_DOES_NOT_EXIST) return std::nullopt;
    throw AppError("无法打开服务 " + name + "：" + SystemErrorText(error));
  }
  const std::optional<DWORD> start = StartTypeOf(service.get());
  if (!start) throw AppError("无法读取服务 " + name + " 的配置");
  return ServiceStart{*start, *start == SERVICE_AUTO_START && DelayedOf(service.get())};
}

ServiceOutcome WinServiceControl::SetStart(const std::string& name, const ServiceStart& start) {
  UniqueService manager = OpenManager(SC_MANAGER_CONNECT);
  if (!manager) return OutcomeOf(::GetLastError());
  UniqueService service(::OpenServiceW(manager.get(), Widen(name).c_str(),
                                       SERVICE_CHANGE_CONFIG | SERVICE_QUERY_CONFIG));
  if (!service) return OutcomeOf(::GetLastError());
  if (!::ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, start.start, SERVICE_NO_CHANGE,
                              nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr))
    return OutcomeOf(::GetLastError());
  // The delayed flag is written only when it changes, so a service whose flag was never set
  // keeps no "DelayedAutostart" value of ours.
  if (DelayedOf(service.get()) != start.delayed) {
    SERVICE_DELAYED_AUTO_START_INFO info = {};
    info.fDelayedAutostart = start.delayed ? TRUE : FALSE;
    // A manager that knows no delayed flag (ERROR_INVALID_LEVEL: Wine's) keeps the start type
    // alone; the "DelayedAutostart" value a set keeps beside it still comes back exactly.
    if (!::ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &info) &&
        ::GetLastError() != ERROR_INVALID_LEVEL)
      return OutcomeOf(::GetLastError());
  }
  return ServiceOutcome::Done;
}

}  // namespace mt
