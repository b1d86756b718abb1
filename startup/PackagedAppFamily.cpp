#include "startup/PackagedAppFamily.h"

#include "app/Text.h"
#include "startup/PackagedApps.h"

namespace mt {

namespace {

class Family : public UnswitchableFamily {
 public:
  std::vector<StartupSource> Sources() const override { return {StartupSource::PackagedApp}; }
  std::string SourceText(StartupSource) const override { return "打包应用"; }
  bool MachineWide(StartupSource) const override { return false; }

  void List(const StartupContext& ctx, StartupView& view, StartupSource) const override {
    for (const PackagedStartupTask& task :
         InstalledStartupTasks(*ctx.svc.registry, *ctx.svc.files)) {
      std::string name = task.displayName;
      const std::string indirect = IndirectDisplayName(task.packageFullName, task.displayName);
      if (!indirect.empty()) name = ctx.places.IndirectString(indirect);
      if (TrimControl(name).empty()) name = task.taskId;
      const std::string location = task.program.find(' ') != std::string::npos
                                       ? "\"" + task.program + "\""
                                       : task.program;
      view.Append({name, location, StartupSource::PackagedApp, false, task.startsAtLogon});
    }
  }

  bool Deletable(StartupSource) const override { return false; }
  std::string NotDeletableText(StartupSource) const override { return kPackagedNotDeletedText; }
  bool SaveForDeletion(const StartupContext&, DeletionBackup&, const StartupRow&) const override {
    return false;
  }
  bool Delete(const StartupContext&, const StartupRow&) const override { return false; }
};

}  // namespace

const StartupFamily& PackagedAppFamily() {
  static const Family family;
  return family;
}

}  // namespace mt
