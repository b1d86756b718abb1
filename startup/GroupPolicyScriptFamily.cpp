#include "startup/GroupPolicyScriptFamily.h"

#include <memory>

#include "app/Backup.h"
#include "app/ChangeRegistry.h"
#include "app/Path.h"
#include "app/Registry.h"
#include "app/Text.h"

namespace mt {

namespace {

using S = StartupSource;

struct Place {
  StartupSource source;
  RegRoot root;
  const char* kind;  // the key below ...\Scripts, and the folder below the policy's own
  const char* text;
};

// ...\CurrentVersion\Group Policy is one key in both registry views: read in the native one.
constexpr Place kPlaces[] = {
    {S::MachineStartupScript, RegRoot::LocalMachine, "Startup", "组策略启动脚本"},
    {S::UserLogonScript, RegRoot::CurrentUser, "Logon", "组策略登录脚本"},
};

const Place* PlaceOf(StartupSource source) {
  for (const Place& place : kPlaces)
    if (place.source == source) return &place;
  return nullptr;
}

std::string KindKey(const Place& place) {
  return std::string(kGroupPolicyScriptsKey) + "\\" + place.kind;
}

std::optional<std::string> Text(RegistryBackend& registry, const RegKey& key,
                                const std::string& name) {
  const std::optional<RegValue> v = registry.Query(key, name);
  if (!v || (v->type != RegDataType::String && v->type != RegDataType::ExpandString))
    return std::nullopt;
  return v->text;
}

// The script's key from its row's name ("policy\script"); empty for a name that is not two
// key names.
std::string ScriptKey(const Place& place, const std::string& name) {
  const std::vector<std::string> parts = Split(name, '\\');
  if (parts.size() != 2 || parts[0].empty() || parts[1].empty()) return std::string();
  for (const std::string& part : parts)
    if (part == "." || part == "..") return std::string();
  return KindKey(place) + "\\" + name;
}

bool IsAbsolute(const std::string& path) {
  return (path.size() >= 2 && path[1] == ':') || path.rfind("\\\\", 0) == 0 ||
         path.rfind("%", 0) == 0;
}

class Family : public UnswitchableFamily {
 public:
  std::vector<StartupSource> Sources() const override {
    return {S::MachineStartupScript, S::UserLogonScript};
  }
  std::string SourceText(StartupSource source) const override {
    const Place* place = PlaceOf(source);
    return place ? place->text : std::string();
  }
  bool MachineWide(StartupSource source) const override {
    const Place* place = PlaceOf(source);
    return place && place->root == RegRoot::LocalMachine;
  }

  void List(const StartupContext& ctx, StartupView& view, StartupSource source) const override {
    const Place* place = PlaceOf(source);
    if (!place) return;
    RegistryBackend& registry = *ctx.svc.registry;
    auto scripts = registry.Open(place->root, nullptr, KindKey(*place), false);
    if (!scripts) return;
    // The keys are read by name rather than counted from "0": one taken out by hand leaves
    // the others to list.
    for (const std::string& policyName : registry.KeyNames(*scripts)) {
      auto policy = registry.Open(place->root, nullptr, KindKey(*place) + "\\" + policyName, false);
      if (!policy) continue;
      const std::string folder = Text(registry, *policy, "FileSysPath").value_or(std::string());
      for (const std::string& scriptName : registry.KeyNames(*policy)) {
        auto script = registry.Open(place->root, nullptr,
                                    KindKey(*place) + "\\" + policyName + "\\" + scriptName, false);
        if (!script) continue;
        const std::optional<std::string> path = Text(registry, *script, "Script");
        if (!path || TrimControl(*path).empty()) continue;
        const std::string parameters =
            Text(registry, *script, "Parameters").value_or(std::string());
        view.Append({policyName + "\\" + scriptName,
                     GroupPolicyScriptCommand(folder, place->kind, *path, parameters), source,
                     false, true});
      }
    }
  }

  bool SaveForDeletion(const StartupContext&, DeletionBackup& backup,
                       const StartupRow& row) const override {
    const Place* place = PlaceOf(row.source);
    const std::string key = place ? ScriptKey(*place, row.name) : std::string();
    return !key.empty() &&
           backup.Add(std::make_unique<RegistryTreeChange>(place->root, RegView::Native, key));
  }
  bool Delete(const StartupContext& ctx, const StartupRow& row) const override {
    const Place* place = PlaceOf(row.source);
    const std::string key = place ? ScriptKey(*place, row.name) : std::string();
    return !key.empty() && ctx.svc.registry->DeleteTree(place->root, nullptr, key);
  }
};

}  // namespace

std::string GroupPolicyScriptCommand(const std::string& fileSysPath, const std::string& kind,
                                     const std::string& script, const std::string& parameters) {
  std::string path = TrimControl(script);
  if (!IsAbsolute(path) && !TrimControl(fileSysPath).empty())
    path = WithoutTrailingBackslash(TrimControl(fileSysPath)) + "\\Scripts\\" + kind + "\\" + path;
  if (path.find(' ') != std::string::npos && path.front() != '"') path = "\"" + path + "\"";
  const std::string args = TrimControl(parameters);
  return args.empty() ? path : path + " " + args;
}

const StartupFamily& GroupPolicyScriptFamily() {
  static const Family family;
  return family;
}

}  // namespace mt
