#include "startup/ActiveSetupFamily.h"

#include <memory>

#include "app/Backup.h"
#include "app/ChangeRegistry.h"
#include "app/Registry.h"
#include "app/Text.h"

namespace mt {

namespace {

using S = StartupSource;

RegView ViewOf(StartupSource source) {
  return source == S::ActiveSetup32 ? RegView::Wow32 : RegView::Native;
}

// The component's key from its row's name: one key name, nothing above or below.
std::string ComponentKey(const std::string& name) {
  if (name.empty() || name == "." || name == ".." || name.find('\\') != std::string::npos)
    return std::string();
  return std::string(kActiveSetupKey) + "\\" + name;
}

class Family : public UnswitchableFamily {
 public:
  std::vector<StartupSource> Sources() const override { return {S::ActiveSetup, S::ActiveSetup32}; }
  std::string SourceText(StartupSource source) const override {
    return source == S::ActiveSetup32 ? "Active Setup (32位)" : "Active Setup";
  }
  bool MachineWide(StartupSource) const override { return true; }
  bool Is32Bit(StartupSource source) const override { return source == S::ActiveSetup32; }

  void List(const StartupContext& ctx, StartupView& view, StartupSource source) const override {
    RegistryBackend& registry = *ctx.svc.registry;
    const RegView regView = ViewOf(source);
    auto components = registry.Open(RegRoot::LocalMachine, nullptr, kActiveSetupKey, false,
                                    regView);
    if (!components) return;
    for (const std::string& name : registry.KeyNames(*components)) {
      // Each component is opened in the place's own view: the registry does not remember the
      // view of the key below which it is opened.
      auto component = registry.Open(RegRoot::LocalMachine, nullptr, ComponentKey(name), false,
                                     regView);
      if (!component) continue;
      const std::optional<RegValue> stub = registry.Query(*component, "StubPath");
      if (!stub || (stub->type != RegDataType::String && stub->type != RegDataType::ExpandString))
        continue;
      if (TrimControl(stub->text).empty()) continue;
      view.Append({name, stub->text, source, false, true});
    }
  }

  bool SaveForDeletion(const StartupContext&, DeletionBackup& backup,
                       const StartupRow& row) const override {
    const std::string key = ComponentKey(row.name);
    return !key.empty() &&
           backup.Add(std::make_unique<RegistryTreeChange>(RegRoot::LocalMachine,
                                                           ViewOf(row.source), key));
  }
  bool Delete(const StartupContext& ctx, const StartupRow& row) const override {
    const std::string key = ComponentKey(row.name);
    return !key.empty() &&
           ctx.svc.registry->DeleteTree(RegRoot::LocalMachine, nullptr, key, ViewOf(row.source));
  }
};

}  // namespace

const StartupFamily& ActiveSetupFamily() {
  static const Family family;
  return family;
}

}  // namespace mt
