// Where the system keeps its hosts file: in the folder the TCP/IP service's "DataBasePath"
// names (expandable text, so a moved folder is followed), else in System32\drivers\etc below
// the Windows folder. Both the browser tab (which reads and repairs the file) and the places
// a backup set may name ask here, so the two always agree.
#pragma once

#include <string>

#include "app/Registry.h"
#include "app/Services.h"

namespace mt {

inline constexpr const char* kTcpipParametersKey =
    "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters";
inline constexpr const char* kHostsFolderValue = "DataBasePath";

// The full path of the hosts file; empty when neither DataBasePath nor the Windows folder
// ("SystemRoot") can be had, or DataBasePath names a variable that is not set.
std::string HostsFilePath(RegistryBackend& registry, const EnvironmentLookup& variable);

}  // namespace mt
