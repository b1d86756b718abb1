#include "startup/ServiceFamily.h"

#include <algorithm>
#include <map>
#include <memory>

#include "app/Backup.h"
#include "app/ChangeRegistry.h"
#include "app/Path.h"
#include "app/Text.h"
#include "startup/ServiceChange.h"

namespace mt {

namespace {

using S = StartupSource;

// The service type bits ("Type"): the Win32 kinds, the per-user ones, and the driver kinds.
constexpr uint32_t kOwnProcess = 0x10;
constexpr uint32_t kShareProcess = 0x20;
constexpr uint32_t kUserService = 0x40;
constexpr uint32_t kUserServiceInstance = 0x80;
constexpr uint32_t kDriverBits = 0x0F;  // kernel and file system drivers, adapters, recognizers
// The record of a switched-off service: the start type in the low byte, this bit when delayed.
constexpr uint32_t kSavedDelayedBit = 0x100;

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string ServiceKey(const std::string& name) {
  return std::string(kServicesKeyPath) + "\\" + name;
}

std::optional<uint32_t> DwordOf(RegistryBackend& registry, const RegKey& key,
                                const std::string& name) {
  const std::optional<RegValue> v = registry.Query(key, name);
  if (!v || v->type != RegDataType::Integer) return std::nullopt;
  return v->dword;
}

std::optional<std::string> TextOf(RegistryBackend& registry, const RegKey& key,
                                  const std::string& name) {
  const std::optional<RegValue> v = registry.Query(key, name);
  if (!v || (v->type != RegDataType::String && v->type != RegDataType::ExpandString))
    return std::nullopt;
  return v->text;
}

// The image path's program and what follows it. A quote without its closing twin takes the
// rest of the text as the program.
struct ImageCommand {
  std::string program, arguments;
};

ImageCommand SplitImagePath(const std::string& text) {
  ImageCommand out;
  const std::string t = TrimControl(text);
  if (!t.empty() && t[0] == '"') {
    const size_t close = t.find('"', 1);
    if (close == std::string::npos) {
      out.program = TrimControl(t.substr(1));
    } else {
      out.program = t.substr(1, close - 1);
      out.arguments = TrimControl(t.substr(close + 1));
    }
    return out;
  }
  // Unquoted: the program ends at the first program extension followed by a blank or the
  // end, as the system's search for the program stops there.
  for (size_t at = t.find('.'); at != std::string::npos; at = t.find('.', at + 1)) {
    if (at + 4 > t.size() || (at + 4 < t.size() && t[at + 4] != ' ' && t[at + 4] != '\t')) continue;
    const std::string ext = t.substr(at, 4);
    if (EqualsNoCase(ext, ".exe") || EqualsNoCase(ext, ".sys") || EqualsNoCase(ext, ".com")) {
      out.program = t.substr(0, at + 4);
      out.arguments = TrimControl(t.substr(at + 4));
      return out;
    }
  }
  const size_t blank = t.find_first_of(" \t");
  out.program = t.substr(0, blank);
  if (blank != std::string::npos) out.arguments = TrimControl(t.substr(blank));
  return out;
}

// The kernel's spellings the service manager also takes: "\SystemRoot\..." and "\??\C:\...".
std::string ResolvePrefixes(const std::string& path, const std::string& windowsDir) {
  if (StartsWithNoCase(path, "\\SystemRoot\\") && !windowsDir.empty())
    return windowsDir + path.substr(std::string("\\SystemRoot").size());
  if (path.rfind("\\??\\", 0) == 0) return path.substr(4);
  return path;
}

std::string Quoted(const std::string& program) {
  return program.find_first_of(" \t") == std::string::npos ? program : "\"" + program + "\"";
}

std::string Expanded(const std::string& text, const EnvironmentLookup& environment) {
  return environment ? ExpandEnvironmentText(text, environment) : text;
}

// The row's location of a service key, or the reason it is left out.
bool LocationOf(RegistryBackend& registry, const RegKey& key, const std::string& windowsDir,
                const EnvironmentLookup& environment, std::string& location, std::string& reason) {
  const std::optional<std::string> image = TextOf(registry, key, "ImagePath");
  if (!image || TrimControl(*image).empty()) {
    reason = "没有 ImagePath（或不是文本）";
    return false;
  }
  ImageCommand command = SplitImagePath(Expanded(*image, environment));
  command.program = ResolvePrefixes(command.program, windowsDir);
  if (command.program.empty()) {
    reason = "ImagePath 中没有程序：" + *image;
    return false;
  }
  if (EndsWithNoCase(command.program, ".sys")) {
    reason = "ImagePath 指向驱动程序：" + command.program;
    return false;
  }
  if (EqualsNoCase(FileNameOf(command.program), "svchost.exe")) {
    // svchost.exe loads the DLL of Parameters\ServiceDll (older services keep it in the
    // service's own key).
    std::optional<std::string> dll;
    if (auto parameters = registry.Open(RegRoot::LocalMachine, &key, "Parameters", false))
      dll = TextOf(registry, *parameters, "ServiceDll");
    if (!dll || TrimControl(*dll).empty()) dll = TextOf(registry, key, "ServiceDll");
    if (dll && !TrimControl(*dll).empty()) {
      location = Quoted(ResolvePrefixes(TrimControl(Expanded(*dll, environment)), windowsDir));
      return true;
    }
  }
  location = Quoted(command.program);
  if (!command.arguments.empty()) location += " " + command.arguments;
  return true;
}

bool HasTriggers(RegistryBackend& registry, const RegKey& key) {
  auto triggers = registry.Open(RegRoot::LocalMachine, &key, "TriggerInfo", false);
  return triggers && !registry.KeyNames(*triggers).empty();
}

// The source of a start type that starts with Windows; none for any other.
std::optional<S> SourceOf(const ServiceStart& start, bool triggers, bool perUser) {
  std::optional<S> source;
  if (start.start == kServiceAutoStart) source = start.delayed ? S::ServiceDelayed : S::ServiceAuto;
  else if (start.start == kServiceDemandStart && triggers) source = S::ServiceTrigger;
  if (source && perUser) source = S::ServiceUserTemplate;
  return source;
}

// What a service key lists as, or why not; nothing for a key of no interest to the list
// (another type, a start type that does not start with Windows).
void ScanOne(RegistryBackend& registry, const RegKey& services, const std::string& name,
             const std::string& windowsDir, const EnvironmentLookup& environment,
             ServiceScan& scan) {
  auto key = registry.Open(RegRoot::LocalMachine, &services, name, false);
  if (!key) {
    scan.skipped.push_back({name, "无法打开注册表项"});
    return;
  }
  const std::optional<uint32_t> type = DwordOf(registry, *key, "Type");
  if (!type || (*type & kDriverBits) || (*type & kUserServiceInstance) ||
      !(*type & (kOwnProcess | kShareProcess)))
    return;
  const std::optional<uint32_t> start = DwordOf(registry, *key, "Start");
  if (!start) return;
  ServiceStart effective{*start, DwordOf(registry, *key, "DelayedAutostart").value_or(0) != 0};
  bool enabled = true;
  if (*start == kServiceDisabled) {
    // Listed only when this list switched it off: it shows as off, with its kind from then.
    const std::optional<ServiceStart> saved = SavedServiceStart(registry, name);
    if (!saved) return;
    effective = *saved;
    enabled = false;
  }
  const std::optional<S> source = SourceOf(effective, HasTriggers(registry, *key),
                                           (*type & kUserService) != 0);
  if (!source) return;
  ServiceEntry entry{name, *source, std::string(), enabled};
  std::string reason;
  if (!LocationOf(registry, *key, windowsDir, environment, entry.location, reason)) {
    scan.skipped.push_back({name, reason});
    return;
  }
  scan.found.push_back(std::move(entry));
}

// The rows of a scan, in source order, with each service's state from the manager.
void AppendRows(StartupView& view, const ServiceScan& scan,
                const std::vector<ServiceRunState>& states) {
  std::map<std::string, bool> running;
  for (const ServiceRunState& s : states) running[Lower(s.name)] = s.running;
  std::vector<const ServiceEntry*> order;
  for (const ServiceEntry& e : scan.found) order.push_back(&e);
  std::stable_sort(order.begin(), order.end(), [](const ServiceEntry* a, const ServiceEntry* b) {
    return a->source < b->source;
  });
  for (const ServiceEntry* e : order) {
    StartupRow row{e->name, e->location, e->source, false, e->enabled};
    const auto it = running.find(Lower(e->name));
    // A service the manager does not know (written into the registry since the system
    // started) shows no state.
    if (it != running.end()) row.status = it->second ? kServiceRunningText : kServiceStoppedText;
    view.Append(row);
  }
}

ServiceScan ScanOf(const StartupContext& ctx) {
  return ScanServices(*ctx.svc.registry, ctx.places.WindowsDirectory(), ctx.svc.environment);
}

std::string RegistryStartText(RegistryBackend& registry, const std::string& name,
                              ServiceStart& out) {
  auto key = registry.Open(RegRoot::LocalMachine, nullptr, ServiceKey(name), false);
  if (!key) return "服务不存在";
  const std::optional<uint32_t> start = DwordOf(registry, *key, "Start");
  if (!start) return "服务没有启动类型";
  out.start = *start;
  out.delayed = DwordOf(registry, *key, "DelayedAutostart").value_or(0) != 0;
  return std::string();
}

class Family : public StartupFamily {
 public:
  std::vector<StartupSource> Sources() const override {
    return {S::ServiceAuto, S::ServiceDelayed, S::ServiceTrigger, S::ServiceUserTemplate};
  }
  std::string SourceText(StartupSource source) const override {
    switch (source) {
      case S::ServiceAuto: return "服务";
      case S::ServiceDelayed: return "服务 (延迟启动)";
      case S::ServiceTrigger: return "服务 (触发启动)";
      case S::ServiceUserTemplate: return "服务 (每用户)";
      default: return std::string();
    }
  }
  bool MachineWide(StartupSource) const override { return true; }

  // The whole family is listed at its first source, from one walk of the keys.
  void List(const StartupContext& ctx, StartupView& view, StartupSource source) const override {
    if (source != S::ServiceAuto || !ctx.svc.serviceControl) return;
    AppendRows(view, ScanOf(ctx), ctx.svc.serviceControl->States());
  }
  // The manager's answer goes through RPC, and the walk reads hundreds of keys: both are
  // read on the list's other thread.
  bool ReadsAhead(const StartupContext& ctx) const override {
    return ctx.svc.serviceControl != nullptr;
  }
  std::function<void(StartupView&)> ReadAhead(const StartupContext& ctx) const override {
    ServiceScan scan = ScanOf(ctx);
    std::vector<ServiceRunState> states = ctx.svc.serviceControl->States();
    return [scan = std::move(scan), states = std::move(states)](StartupView& view) {
      AppendRows(view, scan, states);
    };
  }

  bool Deletable(StartupSource) const override { return false; }
  std::string NotDeletableText(StartupSource) const override { return kServiceNotDeletedText; }
  bool SaveForDeletion(const StartupContext&, DeletionBackup&, const StartupRow&) const override {
    return false;
  }
  bool Delete(const StartupContext&, const StartupRow&) const override { return false; }

  bool Switchable(StartupSource) const override { return true; }
  bool SaveForSwitch(const StartupContext& ctx, DeletionBackup& backup,
                     const StartupRow& row) const override {
    if (!ctx.svc.serviceControl || !ctx.svc.serviceControl->StartOf(row.name)) return false;
    const std::string key = ServiceKey(row.name);
    // The manager's start type first: a restore tells the manager, which rewrites "Start"
    // (and "DelayedAutostart" when the flag changes); the exact values follow it.
    return backup.Add(std::make_unique<ServiceStartChange>(row.name)) &&
           backup.Add(std::make_unique<RegistryValueChange>(RegRoot::LocalMachine, RegView::Native,
                                                            key, "Start"),
                      true) &&
           backup.Add(std::make_unique<RegistryValueChange>(RegRoot::LocalMachine, RegView::Native,
                                                            key, "DelayedAutostart"),
                      true) &&
           backup.Add(std::make_unique<RegistryValueChange>(RegRoot::LocalMachine, RegView::Native,
                                                            kDisabledServicesKeyPath, row.name),
                      true);
  }
  bool Switch(const StartupContext& ctx, const StartupRow& row, bool enabled,
              uint64_t now) const override {
    return SwitchOrReason(ctx, row, enabled, now).empty();
  }
  std::string SwitchOrReason(const StartupContext& ctx, const StartupRow& row, bool enabled,
                             uint64_t) const override {
    if (!ctx.svc.serviceControl) return "无法连接服务管理器";
    RegistryBackend& registry = *ctx.svc.registry;
    ServiceStart now;
    const std::string missing = RegistryStartText(registry, row.name, now);
    if (!missing.empty()) return missing;
    if (enabled == (now.start != kServiceDisabled)) return std::string();  // already so
    ServiceStart target{kServiceDisabled, now.delayed};
    if (enabled) target = SavedServiceStart(registry, row.name).value_or(ServiceStart{});
    const ServiceOutcome outcome = ctx.svc.serviceControl->SetStart(row.name, target);
    if (outcome != ServiceOutcome::Done) return ServiceOutcomeText(outcome);
    // The record follows the manager's answer: kept while off, gone once on again.
    auto record = registry.Open(RegRoot::LocalMachine, nullptr, kDisabledServicesKeyPath, !enabled);
    if (enabled) {
      if (record && registry.Query(*record, row.name)) registry.DeleteValue(*record, row.name);
      return std::string();
    }
    RegValue value;
    value.type = RegDataType::Integer;
    value.dword = now.start | (now.delayed ? kSavedDelayedBit : 0);
    if (!record || !registry.Set(*record, row.name, value))
      return "已禁用，但无法记下原来的启动类型";
    return std::string();
  }
};

}  // namespace

std::optional<ServiceStart> SavedServiceStart(RegistryBackend& registry, const std::string& name) {
  auto key = registry.Open(RegRoot::LocalMachine, nullptr, kDisabledServicesKeyPath, false);
  if (!key) return std::nullopt;
  const std::optional<uint32_t> v = DwordOf(registry, *key, name);
  if (!v) return std::nullopt;
  const ServiceStart saved{*v & 0xFF, (*v & kSavedDelayedBit) != 0};
  if (saved.start != kServiceAutoStart && saved.start != kServiceDemandStart) return std::nullopt;
  return saved;
}

ServiceScan ScanServices(RegistryBackend& registry, const std::string& windowsDir,
                         const EnvironmentLookup& environment) {
  ServiceScan scan;
  auto services = registry.Open(RegRoot::LocalMachine, nullptr, kServicesKeyPath, false);
  if (!services) return scan;
  for (const std::string& name : registry.KeyNames(*services))
    ScanOne(registry, *services, name, windowsDir, environment, scan);
  return scan;
}

const StartupFamily& ServiceFamily() {
  static const Family family;
  return family;
}

}  // namespace mt
