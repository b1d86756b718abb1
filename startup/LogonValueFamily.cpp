#include "startup/LogonValueFamily.h"

#include <memory>

#include "app/Backup.h"
#include "app/ChangeRegistry.h"
#include "app/Text.h"

namespace mt {

namespace {

using S = StartupSource;
constexpr RegRoot kLM = RegRoot::LocalMachine;
constexpr RegRoot kCU = RegRoot::CurrentUser;

constexpr const char* kNone[] = {nullptr};
// Windows 2000 and XP kept the old control-panel command there; both are the system's own.
constexpr const char* kVmAppletOwn[] = {kDefaultVmApplet,
                                        "rundll32 shell32,Control_RunDLL \"sysdm.cpl\"", nullptr};
// Terminal servers run their compatibility scripts from AppSetup; clients have no value.
constexpr const char* kAppSetupOwn[] = {"UsrLogon.Cmd", nullptr};
constexpr const char* kShellOwn[] = {"explorer.exe", nullptr};

// Explorer runs "TaskMan" as the task list when it starts; no Windows writes the value.
constexpr LogonValue kWinlogonExtras[] = {
    {"VmApplet", kVmAppletOwn, kDefaultVmApplet},
    {"TaskMan", kNone, nullptr},
    {"AppSetup", kAppSetupOwn, nullptr},
};
// The user's own "Shell" takes the place of the machine's; without it the machine's is used.
constexpr LogonValue kUserShell[] = {{"Shell", kShellOwn, nullptr}};
// A shell set by policy replaces Winlogon's for the user; explorer.exe there is no change.
constexpr LogonValue kPolicyShell[] = {{"Shell", kShellOwn, nullptr}};
// Userinit runs the command in the user's environment variable UserInitMprLogonScript at
// log-on. No Windows writes it.
constexpr LogonValue kLogonScript[] = {{kLogonScriptValue, kNone, nullptr}};

struct Place {
  StartupSource source;
  RegRoot root;
  RegView view;
  const char* keyPath;  // no leading "\"
  const char* text;
  const LogonValue* values;
  size_t count;
};

template <size_t N>
constexpr Place P(StartupSource s, RegRoot root, RegView view, const char* key, const char* text,
                  const LogonValue (&values)[N]) {
  return {s, root, view, key, text, values, N};
}

// HKLM\SOFTWARE is redirected for 32-bit programs: Winlogon has a WOW6432Node twin there.
const Place kPlaces[] = {
    P(S::MachineWinlogonExtra, kLM, RegView::Native, kWinlogonKey, "Winlogon 附加程序",
      kWinlogonExtras),
    P(S::MachineWinlogonExtra32, kLM, RegView::Wow32, kWinlogonKey, "Winlogon 附加程序 (32位)",
      kWinlogonExtras),
    P(S::UserWinlogonShell, kCU, RegView::Native, kWinlogonKey, "HKCU\\Winlogon", kUserShell),
    // ...\CurrentVersion\Policies is one key in both views.
    P(S::MachinePolicyShell, kLM, RegView::Native, kPolicySystemKey, "HKLM\\策略\\Shell",
      kPolicyShell),
    P(S::UserPolicyShell, kCU, RegView::Native, kPolicySystemKey, "HKCU\\策略\\Shell",
      kPolicyShell),
    P(S::UserLogonScriptValue, kCU, RegView::Native, kEnvironmentKey, "HKCU\\登录脚本",
      kLogonScript),
};

const Place* PlaceOf(StartupSource source) {
  for (const Place& place : kPlaces)
    if (place.source == source) return &place;
  return nullptr;
}

const LogonValue* ValueOf(const Place& place, const std::string& name) {
  for (size_t i = 0; i < place.count; ++i)
    if (EqualsNoCase(place.values[i].name, name)) return &place.values[i];
  return nullptr;
}

class Family : public UnswitchableFamily {
 public:
  std::vector<StartupSource> Sources() const override {
    std::vector<StartupSource> out;
    for (const Place& place : kPlaces) out.push_back(place.source);
    return out;
  }
  std::string SourceText(StartupSource source) const override {
    const Place* place = PlaceOf(source);
    return place ? place->text : std::string();
  }
  bool MachineWide(StartupSource source) const override {
    const Place* place = PlaceOf(source);
    return place && place->root == kLM;
  }
  bool Is32Bit(StartupSource source) const override {
    const Place* place = PlaceOf(source);
    return place && place->view == RegView::Wow32;
  }

  void List(const StartupContext& ctx, StartupView& view, StartupSource source) const override {
    const Place* place = PlaceOf(source);
    if (!place) return;
    RegistryBackend& registry = *ctx.svc.registry;
    auto key = registry.Open(place->root, nullptr, place->keyPath, false, place->view);
    if (!key) return;
    for (size_t i = 0; i < place->count; ++i) {
      const LogonValue& value = place->values[i];
      // The system reads these as text; a number or binary value there starts nothing and is
      // left out (so is a blank one), and the list goes on.
      const std::optional<RegValue> data = registry.Query(*key, value.name);
      if (!data || (data->type != RegDataType::String && data->type != RegDataType::ExpandString))
        continue;
      if (TrimControl(data->text).empty() || IsOwnLogonValue(value, data->text)) continue;
      view.Append({value.name, data->text, source, false, true});
    }
  }

  bool SaveForDeletion(const StartupContext&, DeletionBackup& backup,
                       const StartupRow& row) const override {
    const Place* place = PlaceOf(row.source);
    if (!place || !ValueOf(*place, row.name)) return false;
    return backup.Add(
        std::make_unique<RegistryValueChange>(place->root, place->view, place->keyPath, row.name));
  }
  bool Delete(const StartupContext& ctx, const StartupRow& row) const override {
    const Place* place = PlaceOf(row.source);
    const LogonValue* value = place ? ValueOf(*place, row.name) : nullptr;
    if (!value) return false;
    RegistryBackend& registry = *ctx.svc.registry;
    auto key = registry.Open(place->root, nullptr, place->keyPath, false, place->view);
    if (!key) return false;
    if (value->writeBack) {
      RegValue own;
      own.type = RegDataType::String;
      own.text = value->writeBack;
      return registry.Set(*key, value->name, own);
    }
    return registry.DeleteValue(*key, value->name);
  }
};

}  // namespace

bool IsOwnLogonValue(const LogonValue& value, const std::string& data) {
  const std::string trimmed = TrimControl(data);
  for (const char* const* own = value.own; *own; ++own)
    if (EqualsNoCase(trimmed, *own)) return true;
  return false;
}

const StartupFamily& LogonValueFamily() {
  static const Family family;
  return family;
}

}  // namespace mt
