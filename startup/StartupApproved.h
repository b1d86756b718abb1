// Whether a startup item is enabled, as the system's own startup manager records it. Since
// Windows 8 an item is switched off without removing it: a REG_BINARY value named like the
// Run value (or the shortcut file) under ...\Explorer\StartupApproved\Run, Run32 or
// StartupFolder, of HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE. Its first byte is even for an
// enabled item (0x02, 0x06) and odd for a disabled one (0x03, 0x07); no value means enabled.
// The record the system writes is 12 bytes: the flag as a little-endian 32-bit number
// (2 or 3) and the FILETIME of the change (zero when enabling).
// These keys are not redirected by WOW64 per se, but the 32-bit machine Run key has its own
// key, Run32, in the native view; so all of them are read and written in the native view.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "app/Registry.h"
#include "app/Text.h"
#include "startup/StartupRows.h"

namespace mt {

class DeletionBackup;

inline constexpr const char* kApprovedRoot =
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\";
inline constexpr size_t kApprovedRecordSize = 12;
inline constexpr const char* kStateEnabled = "已启用";
inline constexpr const char* kStateDisabled = "已禁用";

struct ApprovedKey {
  RegRoot root;
  std::string path;  // from the root, with the leading "\"
};

// The key holding the state values of a row source; none for the places the system's startup
// manager cannot switch off (RunOnce, the policy lists, Winlogon, ...).
std::optional<ApprovedKey> ApprovedKeyOf(StartupSource source);

// True when the value says enabled: absent, or a REG_BINARY of at least 12 bytes whose first
// byte is even. A value of another type or a shorter one is taken as enabled too, since the
// system does not switch an item off on a record it did not write.
bool DecodeApproved(const std::optional<RegValue>& value);

// The record the system writes: flag 2 and a zero time to enable, flag 3 and `changed` (a
// FILETIME, 100 ns since 1601-01-01 UTC) to disable.
std::string EncodeApproved(bool enabled, uint64_t changed);

// The current time as a FILETIME.
uint64_t FileTimeNow();

// The state values of one source, read once per refresh so that each row costs one lookup.
class ApprovedStates {
 public:
  ApprovedStates(RegistryBackend& registry, StartupSource source);
  bool Enabled(const std::string& name) const;

 private:
  struct NoCase {
    bool operator()(const std::string& a, const std::string& b) const;
  };
  std::map<std::string, bool, NoCase> disabled_;
};

// Writes the state of one row the way the system does. False when the key cannot be opened
// or created, or the write is refused.
bool WriteApproved(RegistryBackend& registry, const StartupRow& row, bool enabled,
                   uint64_t changed);

// Saves the row's state value as it is now (absent included: the restore then removes what
// the switch wrote) in `backup`, before WriteApproved changes it. False when the row's source
// keeps no such record or the value cannot be read.
bool SaveApprovedState(DeletionBackup& backup, const StartupRow& row);

}  // namespace mt
