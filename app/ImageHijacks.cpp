#include "app/ImageHijacks.h"

#include <cstdio>
#include <memory>

#include "app/Backup.h"
#include "app/ChangeRegistry.h"
#include "app/Text.h"

namespace mt {

namespace {

constexpr const char* kCannotOpenKey = "无法打开（可能无权读取）";
constexpr const char* kDebuggerNotText = "Debugger 不是文本值，系统不会执行";

std::string IfeoKey(const std::string& exe) { return std::string(kIfeoKeyPath) + "\\" + exe; }
std::string SilentExitKey(const std::string& exe) {
  return std::string(kSilentExitKeyPath) + "\\" + exe;
}

bool IsText(const RegValue& v) {
  return v.type == RegDataType::String || v.type == RegDataType::ExpandString;
}

// The text a value holds when it is text and not blank.
std::optional<std::string> CommandOf(RegistryBackend& registry, const RegKey& key,
                                     const char* name) {
  const std::optional<RegValue> v = registry.Query(key, name);
  if (!v || !IsText(*v) || TrimControl(v->text).empty()) return std::nullopt;
  return v->text;
}

// The exit monitor of `exe` in `view`, when the IFEO key `ifeo` turns monitoring on and the
// program's SilentProcessExit key asks for a monitor process that it names.
std::optional<std::string> ExitMonitorOf(RegistryBackend& registry, const RegKey& ifeo,
                                         const std::string& exe, RegView view) {
  const std::optional<RegValue> flagValue = registry.Query(ifeo, kGlobalFlagValue);
  const std::optional<uint32_t> flag = flagValue ? GlobalFlagOf(*flagValue) : std::nullopt;
  if (!flag || !(*flag & kMonitorSilentExitFlag)) return std::nullopt;
  auto key = registry.Open(RegRoot::LocalMachine, nullptr, SilentExitKey(exe), false, view);
  if (!key) return std::nullopt;
  const std::optional<RegValue> mode = registry.Query(*key, kReportingModeValue);
  if (!mode || mode->type != RegDataType::Integer || !(mode->dword & kLaunchMonitorProcess))
    return std::nullopt;
  return CommandOf(registry, *key, kMonitorProcessValue);
}

void ScanView(RegistryBackend& registry, RegView view, ImageHijackScan& scan) {
  auto parent = registry.Open(RegRoot::LocalMachine, nullptr, kIfeoKeyPath, false, view);
  if (!parent) return;
  for (const std::string& exe : registry.KeyNames(*parent)) {
    // A name that is not one key below IFEO could only lead the repair elsewhere.
    if (exe.empty() || exe.find('\\') != std::string::npos) continue;
    auto key = registry.Open(RegRoot::LocalMachine, nullptr, IfeoKey(exe), false, view);
    if (!key) {
      scan.skipped.push_back({exe, view, kCannotOpenKey});
      continue;
    }
    const std::optional<RegValue> debugger = registry.Query(*key, kDebuggerValue);
    if (debugger && !IsText(*debugger)) scan.skipped.push_back({exe, view, kDebuggerNotText});
    else if (debugger && !TrimControl(debugger->text).empty())
      scan.found.push_back({exe, view, ImageHijackKind::Debugger, debugger->text});
    if (std::optional<std::string> monitor = ExitMonitorOf(registry, *key, exe, view))
      scan.found.push_back({exe, view, ImageHijackKind::ExitMonitor, *monitor});
  }
}

bool SameEntry(const ImageHijack& a, const ImageHijack& b) {
  return a.kind == b.kind && EqualsNoCase(a.exe, b.exe) && a.command == b.command;
}

}  // namespace

std::optional<uint32_t> GlobalFlagOf(const RegValue& value) {
  if (value.type == RegDataType::Integer) return value.dword;
  if (!IsText(value)) return std::nullopt;
  const std::string text = TrimControl(value.text);
  if (text.empty()) return std::nullopt;
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  uint64_t n = 0;
  for (size_t i = hex ? 2 : 0; i < text.size(); ++i) {
    const char c = text[i];
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return std::nullopt;
    n = n * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
    if (n > UINT32_MAX) return std::nullopt;
  }
  return static_cast<uint32_t>(n);
}

namespace {

// What the 32-bit view adds to the native one.
void AddWow32(const ImageHijackScan& native, ImageHijackScan wow, ImageHijackScan& out) {
  for (ImageHijack& h : wow.found) {
    bool same = false;
    for (const ImageHijack& n : native.found) same = same || SameEntry(n, h);
    if (!same) out.found.push_back(std::move(h));
  }
  for (SkippedImageKey& s : wow.skipped) {
    bool same = false;
    for (const SkippedImageKey& n : native.skipped)
      same = same || (EqualsNoCase(n.exe, s.exe) && n.reason == s.reason);
    if (!same) out.skipped.push_back(std::move(s));
  }
}

}  // namespace

ImageHijackScan FindImageHijacks(RegistryBackend& registry) {
  ImageHijackScan scan, wow;
  ScanView(registry, RegView::Native, scan);
  ScanView(registry, RegView::Wow32, wow);
  const ImageHijackScan native = scan;
  AddWow32(native, std::move(wow), scan);
  return scan;
}

ImageHijackScan FindImageHijacks(RegistryBackend& registry, RegView view) {
  ImageHijackScan native;
  ScanView(registry, RegView::Native, native);
  if (view == RegView::Native) return native;
  ImageHijackScan wow, out;
  ScanView(registry, RegView::Wow32, wow);
  AddWow32(native, std::move(wow), out);
  return out;
}

std::vector<std::pair<std::string, std::string>> ImageHijackValues(const ImageHijack& h) {
  if (h.kind == ImageHijackKind::Debugger) return {{IfeoKey(h.exe), kDebuggerValue}};
  return {{SilentExitKey(h.exe), kMonitorProcessValue}, {IfeoKey(h.exe), kGlobalFlagValue}};
}

bool SaveImageHijack(DeletionBackup& backup, const ImageHijack& h) {
  for (const auto& [key, name] : ImageHijackValues(h))
    if (!backup.Add(
            std::make_unique<RegistryValueChange>(RegRoot::LocalMachine, h.view, key, name)))
      return false;
  return true;
}

bool RepairImageHijack(RegistryBackend& registry, const ImageHijack& h) {
  constexpr RegRoot LM = RegRoot::LocalMachine;
  if (h.kind == ImageHijackKind::Debugger) {
    auto key = registry.Open(LM, nullptr, IfeoKey(h.exe), false, h.view);
    if (!key || !registry.Query(*key, kDebuggerValue)) return true;
    return registry.DeleteValue(*key, kDebuggerValue);
  }
  if (auto key = registry.Open(LM, nullptr, SilentExitKey(h.exe), false, h.view)) {
    if (registry.Query(*key, kMonitorProcessValue) &&
        !registry.DeleteValue(*key, kMonitorProcessValue))
      return false;
  }
  auto ifeo = registry.Open(LM, nullptr, IfeoKey(h.exe), false, h.view);
  if (!ifeo) return true;
  const std::optional<RegValue> flagValue = registry.Query(*ifeo, kGlobalFlagValue);
  const std::optional<uint32_t> flag = flagValue ? GlobalFlagOf(*flagValue) : std::nullopt;
  if (!flag || !(*flag & kMonitorSilentExitFlag)) return true;
  RegValue cleared = *flagValue;
  const uint32_t rest = *flag & ~kMonitorSilentExitFlag;
  if (cleared.type == RegDataType::Integer) {
    cleared.dword = rest;
  } else {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(rest));
    cleared.text = text;
  }
  return registry.Set(*ifeo, kGlobalFlagValue, cleared);
}

}  // namespace mt
