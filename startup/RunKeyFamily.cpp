#include "startup/RunKeyFamily.h"

#include <memory>

#include "app/Backup.h"
#include "app/ChangeRegistry.h"
#include "app/Error.h"
#include "app/Path.h"
#include "app/Text.h"
#include "startup/ApprovedSwitchFamily.h"
#include "startup/StartupApproved.h"

namespace mt {

namespace {

using S = StartupSource;
constexpr RegRoot kLM = RegRoot::LocalMachine;
constexpr RegRoot kCU = RegRoot::CurrentUser;
constexpr RegView kNative = RegView::Native;
constexpr RegView k32 = RegView::Wow32;

// Which view each place is read in. WOW64 redirects HKLM\SOFTWARE, so the machine's Run,
// RunOnce, RunOnceEx and Winlogon keys each have a 32-bit twin below WOW6432Node that
// 32-bit programs write to. HKEY_CURRENT_USER\Software is shared by both views, and so is
// ...\CurrentVersion\Policies: those are one key each.
constexpr RegistryPlace kPlaces[] = {
    {S::MachineRun, kLM, kNative, kRunKeyPath, PlaceKind::RunList, "HKLM\\Run"},
    {S::MachineRun32, kLM, k32, kRunKeyPath, PlaceKind::RunList, "HKLM\\Run (32位)"},
    {S::UserRun, kCU, kNative, kRunKeyPath, PlaceKind::RunList, "HKCU\\Run"},
    {S::MachineRunOnce, kLM, kNative, kRunOnceKeyPath, PlaceKind::ValueList, "HKLM\\RunOnce"},
    {S::MachineRunOnce32, kLM, k32, kRunOnceKeyPath, PlaceKind::ValueList, "HKLM\\RunOnce (32位)"},
    {S::UserRunOnce, kCU, kNative, kRunOnceKeyPath, PlaceKind::ValueList, "HKCU\\RunOnce"},
    {S::MachineRunOnceEx, kLM, kNative, kRunOnceExKeyPath, PlaceKind::RunOnceEx, "HKLM\\RunOnceEx"},
    {S::MachineRunOnceEx32, kLM, k32, kRunOnceExKeyPath, PlaceKind::RunOnceEx,
     "HKLM\\RunOnceEx (32位)"},
    {S::MachinePolicyRun, kLM, kNative, kPolicyRunKeyPath, PlaceKind::ValueList, "HKLM\\策略\\Run"},
    {S::UserPolicyRun, kCU, kNative, kPolicyRunKeyPath, PlaceKind::ValueList, "HKCU\\策略\\Run"},
    {S::UserWindowsLoad, kCU, kNative, kWindowsKeyPath, PlaceKind::Named, "HKCU\\Windows"},
    {S::Winlogon, kLM, kNative, kWinlogonKeyPath, PlaceKind::Winlogon, "Winlogon"},
    {S::Winlogon32, kLM, k32, kWinlogonKeyPath, PlaceKind::Winlogon, "Winlogon (32位)"},
    // No on/off record is kept for the terminal server's copies: text values only, and a
    // value of another type is left out rather than ending the list.
    {S::TerminalRun, kLM, kNative, kTerminalRunPath, PlaceKind::ValueList, "终端服务\\Run"},
    {S::TerminalRun32, kLM, k32, kTerminalRunPath, PlaceKind::ValueList, "终端服务\\Run (32位)"},
    {S::TerminalRunOnce, kLM, kNative, kTerminalRunOncePath, PlaceKind::ValueList,
     "终端服务\\RunOnce"},
    {S::TerminalRunOnce32, kLM, k32, kTerminalRunOncePath, PlaceKind::ValueList,
     "终端服务\\RunOnce (32位)"},
    {S::TerminalRunOnceEx, kLM, kNative, kTerminalRunOnceExPath, PlaceKind::RunOnceEx,
     "终端服务\\RunOnceEx"},
    {S::TerminalRunOnceEx32, kLM, k32, kTerminalRunOnceExPath, PlaceKind::RunOnceEx,
     "终端服务\\RunOnceEx (32位)"},
};

// The values of the Windows key that start programs.
constexpr const char* kWindowsValues[] = {"Load", "Run"};
constexpr const char* kWinlogonValues[] = {"Shell", "Userinit"};

bool IsText(const std::optional<RegValue>& v) {
  return v && (v->type == RegDataType::String || v->type == RegDataType::ExpandString);
}

class Family : public ApprovedSwitchFamily {
 public:
  std::vector<StartupSource> Sources() const override {
    std::vector<StartupSource> out;
    for (const RegistryPlace& place : kPlaces) out.push_back(place.source);
    return out;
  }
  std::string SourceText(StartupSource source) const override {
    const RegistryPlace* place = RegistryPlaceOf(source);
    return place ? place->text : std::string();
  }
  bool MachineWide(StartupSource source) const override {
    const RegistryPlace* place = RegistryPlaceOf(source);
    return place && place->root == RegRoot::LocalMachine;
  }
  bool Is32Bit(StartupSource source) const override {
    const RegistryPlace* place = RegistryPlaceOf(source);
    return place && place->view == RegView::Wow32;
  }

  void List(const StartupContext& ctx, StartupView& view, StartupSource source) const override {
    if (const RegistryPlace* place = RegistryPlaceOf(source)) ListRegistryPlace(ctx, view, *place);
  }

  bool SaveForDeletion(const StartupContext&, DeletionBackup& backup,
                       const StartupRow& row) const override {
    const RegistryPlace* place = RegistryPlaceOf(row.source);
    if (!place) return false;
    const ValueOfRow value = ValueOf(*place, row);
    return backup.Add(
        std::make_unique<RegistryValueChange>(place->root, place->view, value.keyPath, value.name));
  }

  bool Delete(const StartupContext& ctx, const StartupRow& row) const override {
    const RegistryPlace* place = RegistryPlaceOf(row.source);
    if (!place) return false;
    const ValueOfRow value = ValueOf(*place, row);
    TRegistry reg(*ctx.svc.registry, place->view);
    reg.SetRootKey(place->root);
    if (!reg.OpenKey(value.keyPath, false)) return false;
    if (place->kind == PlaceKind::Winlogon) {
      // Without these values nobody would get a desktop: the system's own program goes back.
      const std::string own = WinlogonDefault(ctx.places, value.name);
      if (own.empty()) return false;
      try {
        reg.WriteString(value.name, own);
      } catch (const AppError&) {
        return false;
      }
      return true;
    }
    return reg.DeleteValue(value.name);
  }

  bool Switchable(StartupSource source) const override { return ApprovedKeyOf(source).has_value(); }
};

}  // namespace

const RegistryPlace* RegistryPlaceOf(StartupSource source) {
  for (const RegistryPlace& place : kPlaces)
    if (place.source == source) return &place;
  return nullptr;
}

std::string WinlogonDefault(StartupPlaces& places, const std::string& name) {
  if (EqualsNoCase(name, "Shell")) return kDefaultShell;
  if (EqualsNoCase(name, "Userinit")) {
    std::string windows = WithoutTrailingBackslash(places.WindowsDirectory());
    if (windows.empty()) windows = "C:\\Windows";
    return windows + kUserinitTail;
  }
  return std::string();
}

bool IsWinlogonDefault(StartupPlaces& places, const std::string& name, const std::string& data) {
  std::string value = TrimControl(data);
  if (EqualsNoCase(name, "Shell")) return EqualsNoCase(value, kDefaultShell);
  // The system writes the user-init program with a comma after it; without one it is the
  // same single program.
  if (!value.empty() && value.back() == ',') value.pop_back();
  std::string own = WinlogonDefault(places, name);
  if (own.empty()) return false;
  own.pop_back();
  return SamePathText(value, own);
}

void ListRegistryPlace(const StartupContext& ctx, StartupView& view, const RegistryPlace& place) {
  TRegistry reg(*ctx.svc.registry, place.view);
  reg.SetRootKey(place.root);
  if (!reg.OpenKey(place.path, false)) return;
  const StartupSource source = place.source;
  RegistryBackend& backend = *ctx.svc.registry;
  auto key = backend.Open(place.root, nullptr, reg.CurrentPath(), false, place.view);
  if (!key) return;
  auto text = [&](const RegKey& k, const std::string& name) -> std::optional<std::string> {
    std::optional<RegValue> v = backend.Query(k, name);
    if (!IsText(v)) return std::nullopt;
    return v->text;
  };
  switch (place.kind) {
    case PlaceKind::RunList: break;
    case PlaceKind::ValueList:
      // The system starts text values only; a number or binary value here starts nothing.
      for (const std::string& name : backend.ValueNames(*key))
        if (auto data = text(*key, name)) view.Append({name, *data, source, false, true});
      return;
    case PlaceKind::RunOnceEx:
      // The key's own values (title, flags) and each section's default value (its
      // description) are not commands. A section is opened in the place's own view: the
      // registry does not remember the view of the key below which it is opened.
      for (const std::string& section : backend.KeyNames(*key)) {
        auto sub = backend.Open(place.root, key.get(), section, false, place.view);
        if (!sub) continue;
        for (const std::string& name : backend.ValueNames(*sub))
          if (!name.empty())
            if (auto data = text(*sub, name))
              view.Append({section + "\\" + name, *data, source, false, true});
      }
      return;
    case PlaceKind::Named:
      for (const char* name : kWindowsValues)
        if (auto data = text(*key, name))
          if (!TrimControl(*data).empty()) view.Append({name, *data, source, false, true});
      return;
    case PlaceKind::Winlogon:
      for (const char* name : kWinlogonValues)
        if (auto data = text(*key, name))
          if (!IsWinlogonDefault(ctx.places, name, *data))
            view.Append({name, *data, source, false, true});
      return;
  }
  const std::vector<std::string> names = reg.GetValueNames();
  const ApprovedStates states(*ctx.svc.registry, source);
  for (const std::string& name : names) {
    // The row exists before its data is read: a value that is not text leaves its name
    // listed when the read below throws.
    size_t index = view.Append({name, std::string(), source, false, states.Enabled(name)});
    view.SetLocation(index, reg.ReadString(name));
  }
}

ValueOfRow ValueOf(const RegistryPlace& place, const StartupRow& row) {
  if (place.kind == PlaceKind::RunOnceEx) {
    // Section names are key names, which cannot hold "\"; the value's name can.
    const size_t cut = row.name.find('\\');
    if (cut != std::string::npos)
      return {std::string(place.path) + "\\" + row.name.substr(0, cut), row.name.substr(cut + 1)};
  }
  return {place.path, row.name};
}

const StartupFamily& RunKeyFamily() {
  static const Family family;
  return family;
}

}  // namespace mt
