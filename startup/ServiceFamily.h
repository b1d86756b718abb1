// Services that start with Windows ("服务"): the keys below
// HKLM\SYSTEM\CurrentControlSet\Services of the Win32 types (own or shared process, and per-user service templates; not
// drivers, not the per-user copies the system makes of a template) whose "Start" is 2
// (automatic; "DelayedAutostart" marks the delayed ones), or 3 (on demand) with trigger-start
// information ("TriggerInfo"). Whether each runs comes from the service manager, the rest
// from the registry. The row's location is the program from "ImagePath" ("\SystemRoot\" and
// "\??\" prefixes resolved, environment variables expanded, the program quoted when it holds
// a blank); for a service that svchost.exe hosts it is the DLL of "Parameters\ServiceDll", so
// the publisher column checks the service's own file.
//
// "禁用" saves "Start" and "DelayedAutostart" (and the manager's start type) in the set and
// sets the service to disabled through the manager; the start type it had is kept in
// HKLM\SOFTWARE\MRTKBOX\DisabledServices, so the service stays listed (switched off) and
// "启用" gives that start type back through the manager. A service switched off with no such
// record (by another tool, or the record deleted) is switched on as automatic: the list only
// holds services that start with Windows, and on demand without a trigger would never start
// it. "删除" is never offered: a service is uninstalled by its own program.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/Registry.h"
#include "app/ServiceControl.h"
#include "app/Services.h"
#include "startup/StartupFamily.h"

namespace mt {

inline constexpr const char* kServicesKeyPath = "SYSTEM\\CurrentControlSet\\Services";
inline constexpr const char* kDisabledServicesKeyPath = "SOFTWARE\\MRTKBOX\\DisabledServices";
inline constexpr const char* kServiceRunningText = "正在运行";
inline constexpr const char* kServiceStoppedText = "已停止";
// Told for ticked service rows "删除" leaves alone.
inline constexpr const char* kServiceNotDeletedText =
    "服务不能在这里删除（请用“禁用”停止它随系统启动），以下项目没有删除：";

// One service the list shows.
struct ServiceEntry {
  std::string name;      // the key name
  StartupSource source;  // its start kind (the kind it had before it was switched off)
  std::string location;  // the program, as the row shows it
  bool enabled = true;   // false: switched off by this list (Start 4, record kept)
};

// A service key left out, and why.
struct SkippedService {
  std::string name;
  std::string reason;
};

struct ServiceScan {
  std::vector<ServiceEntry> found;
  std::vector<SkippedService> skipped;
};

// Reads the services of the registry by the rules above. `windowsDir` resolves
// "\SystemRoot\"; `environment` (may be empty) expands "%VAR%".
ServiceScan ScanServices(RegistryBackend& registry, const std::string& windowsDir,
                         const EnvironmentLookup& environment);

// The start type this list switched a service off from, as its record keeps it; none when
// there is no record (or it is not a DWORD of a start type that starts with Windows).
std::optional<ServiceStart> SavedServiceStart(RegistryBackend& registry, const std::string& name);

const StartupFamily& ServiceFamily();

}  // namespace mt
