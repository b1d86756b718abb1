#include "startup/CommandProcessorFamily.h"

#include <memory>

#include "app/Backup.h"
#include "app/ChangeRegistry.h"
#include "app/Registry.h"
#include "app/Text.h"

namespace mt {

namespace {

using S = StartupSource;

struct Place {
  StartupSource source;
  RegRoot root;
  RegView view;
  const char* text;
};

// HKLM\SOFTWARE is redirected for 32-bit programs: a 32-bit cmd.exe reads the WOW6432Node
// twin. HKCU\Software is one key in both views.
constexpr Place kPlaces[] = {
    {S::MachineCmdAutoRun, RegRoot::LocalMachine, RegView::Native, "HKLM\\命令处理器"},
    {S::MachineCmdAutoRun32, RegRoot::LocalMachine, RegView::Wow32, "HKLM\\命令处理器 (32位)"},
    {S::UserCmdAutoRun, RegRoot::CurrentUser, RegView::Native, "HKCU\\命令处理器"},
};

const Place* PlaceOf(StartupSource source) {
  for (const Place& place : kPlaces)
    if (place.source == source) return &place;
  return nullptr;
}

class Family : public UnswitchableFamily {
 public:
  std::vector<StartupSource> Sources() const override {
    return {S::MachineCmdAutoRun, S::MachineCmdAutoRun32, S::UserCmdAutoRun};
  }
  std::string SourceText(StartupSource source) const override {
    const Place* place = PlaceOf(source);
    return place ? place->text : std::string();
  }
  bool MachineWide(StartupSource source) const override {
    const Place* place = PlaceOf(source);
    return place && place->root == RegRoot::LocalMachine;
  }
  bool Is32Bit(StartupSource source) const override {
    const Place* place = PlaceOf(source);
    return place && place->view == RegView::Wow32;
  }

  void List(const StartupContext& ctx, StartupView& view, StartupSource source) const override {
    const Place* place = PlaceOf(source);
    if (!place) return;
    RegistryBackend& registry = *ctx.svc.registry;
    auto key = registry.Open(place->root, nullptr, kCommandProcessorKeyPath, false, place->view);
    if (!key) return;
    // cmd.exe runs text and expandable text; another type, or a blank, runs nothing.
    const std::optional<RegValue> value = registry.Query(*key, kAutoRunValue);
    if (!value || (value->type != RegDataType::String && value->type != RegDataType::ExpandString))
      return;
    if (TrimControl(value->text).empty()) return;
    view.Append({kAutoRunValue, value->text, source, false, true});
  }

  bool SaveForDeletion(const StartupContext&, DeletionBackup& backup,
                       const StartupRow& row) const override {
    const Place* place = PlaceOf(row.source);
    return place && backup.Add(std::make_unique<RegistryValueChange>(
                        place->root, place->view, kCommandProcessorKeyPath, kAutoRunValue));
  }
  bool Delete(const StartupContext& ctx, const StartupRow& row) const override {
    const Place* place = PlaceOf(row.source);
    if (!place) return false;
    RegistryBackend& registry = *ctx.svc.registry;
    auto key = registry.Open(place->root, nullptr, kCommandProcessorKeyPath, false, place->view);
    return key && registry.DeleteValue(*key, kAutoRunValue);
  }
};

}  // namespace

const StartupFamily& CommandProcessorFamily() {
  static const Family family;
  return family;
}

}  // namespace mt
