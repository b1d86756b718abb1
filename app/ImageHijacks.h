// Image hijacks: registry entries that make the system start another program instead of, or
// as soon as, a given program file. Two kinds, both below HKLM\SOFTWARE in each registry view
// (a 64-bit program names the 32-bit view explicitly):
// - "Image File Execution Options\<exe>" "Debugger": whenever <exe> is started, the system
//   starts that command instead, with the program's own command line appended;
// - "SilentProcessExit\<exe>" "MonitorProcess": started when <exe> ends by ExitProcess or is
//   ended by another program, when the IFEO key of <exe> has GlobalFlag bit 0x200 (monitor
//   silent exit) and the SilentProcessExit key's ReportingMode has bit 0x1 (launch the
//   monitor process).
// The startup tab lists every program's entries, the browser tab the browsers'. The repair
// deletes exactly the value that starts the other program (and clears the monitor bit of
// GlobalFlag, see RepairImageHijack), each saved into the backup set first.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/Registry.h"

namespace mt {

class DeletionBackup;

inline constexpr const char* kIfeoKeyPath =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options";
inline constexpr const char* kSilentExitKeyPath =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SilentProcessExit";
inline constexpr const char* kDebuggerValue = "Debugger";
inline constexpr const char* kGlobalFlagValue = "GlobalFlag";
inline constexpr const char* kReportingModeValue = "ReportingMode";
inline constexpr const char* kMonitorProcessValue = "MonitorProcess";
// GlobalFlag's bit that turns on the monitoring of silent exits (FLG_MONITOR_SILENT_PROCESS_EXIT).
inline constexpr uint32_t kMonitorSilentExitFlag = 0x200;
// ReportingMode's bit that asks for MonitorProcess to be started (LAUNCH_MONITORPROCESS).
inline constexpr uint32_t kLaunchMonitorProcess = 0x1;

enum class ImageHijackKind { Debugger, ExitMonitor };

struct ImageHijack {
  std::string exe;  // the program file's name, as its key is spelled
  RegView view = RegView::Native;
  ImageHijackKind kind = ImageHijackKind::Debugger;
  std::string command;  // the program started in its place (Debugger or MonitorProcess)
};

// A program's key that could not be read: it is left out of the list, for this reason.
struct SkippedImageKey {
  std::string exe;
  RegView view = RegView::Native;
  std::string reason;
};

struct ImageHijackScan {
  std::vector<ImageHijack> found;  // native view first, then the 32-bit view; keys in order
  std::vector<SkippedImageKey> skipped;
};

// Every image hijack of both views. A 32-bit view entry equal to the native one of the same
// program (same kind and command) is left out: where the system shares the key between the
// views, both views show the one entry.
ImageHijackScan FindImageHijacks(RegistryBackend& registry);
// The same for one view: the native view's entries, or what the 32-bit view adds to them.
ImageHijackScan FindImageHijacks(RegistryBackend& registry, RegView view);

// GlobalFlag as the system reads it: a REG_DWORD, or text (hexadecimal "0x200" as the global
// flags editor writes it, or decimal). Nothing for a missing value, another type or text that
// is not a number.
std::optional<uint32_t> GlobalFlagOf(const RegValue& value);

// The values the repair changes, as (key below HKLM, value name): the Debugger value; or the
// MonitorProcess value and the IFEO key's GlobalFlag.
std::vector<std::pair<std::string, std::string>> ImageHijackValues(const ImageHijack& h);

// Saves every value the repair changes into `backup` (registry value changes of the
// hijack's view). False when one could not be saved: nothing may be changed then.
bool SaveImageHijack(DeletionBackup& backup, const ImageHijack& h);

// Deletes the value that starts the other program. For an exit monitor it also clears the
// monitor bit of GlobalFlag, keeping the other bits and the value's type: the bit exists only
// to watch the program's exits for the monitor, and left set it would arm the hijack again as
// soon as anything wrote a MonitorProcess. False when the system refused a write; a value
// that is already gone is not an error.
bool RepairImageHijack(RegistryBackend& registry, const ImageHijack& h);

}  // namespace mt
