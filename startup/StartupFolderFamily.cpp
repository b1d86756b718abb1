#include "startup/StartupFolderFamily.h"

#include <memory>

#include "app/Backup.h"
#include "app/ChangeFile.h"
#include "app/Path.h"
#include "app/Registry.h"
#include "app/Text.h"
#include "startup/ApprovedSwitchFamily.h"
#include "startup/StartupApproved.h"

namespace mt {

namespace {

using S = StartupSource;
constexpr uint32_t kReadOnlyAttribute = 0x1;  // FILE_ATTRIBUTE_READONLY

class Family : public ApprovedSwitchFamily {
 public:
  std::vector<StartupSource> Sources() const override { return {S::UserFolder, S::CommonFolder}; }
  std::string SourceText(StartupSource source) const override {
    return source == S::UserFolder ? "用户启动文件夹" : "公共启动文件夹";
  }
  bool MachineWide(StartupSource source) const override { return source == S::CommonFolder; }
  bool LocationIsFile(StartupSource) const override { return true; }

  void List(const StartupContext& ctx, StartupView& view, StartupSource source) const override {
    const std::string folder = source == S::UserFolder ? UserStartupFolder(ctx)
                                                       : CommonStartupFolder(ctx);
    if (TrimControl(folder).empty()) return;
    // Every file the folder holds is opened at log-on, not only shortcuts (a program or a
    // script dropped there runs as well); only the folder's own desktop.ini is not.
    const std::vector<FindEntry> entries = ctx.svc.files->Find(WithoutTrailingBackslash(folder),
                                                               "*");
    if (entries.empty()) return;
    const ApprovedStates states(*ctx.svc.registry, source);
    for (const FindEntry& entry : entries) {
      if (entry.isDirectory || EqualsNoCase(entry.name, "desktop.ini")) continue;
      view.Append(
          {entry.name, JoinPath(folder, entry.name), source, false, states.Enabled(entry.name)});
    }
  }

  bool SaveForDeletion(const StartupContext&, DeletionBackup& backup,
                       const StartupRow& row) const override {
    return backup.Add(std::make_unique<FileChange>(row.location));
  }
  bool Delete(const StartupContext& ctx, const StartupRow& row) const override {
    FileSystem& files = *ctx.svc.files;
    const std::string path = TrimControl(row.location);
    if (files.RemoveFile(path)) return true;
    // The system does not delete a read-only file: the attribute is cleared for the deletion
    // (the backup set keeps the file's attributes and the restore puts them back), and put
    // back when the file stays all the same.
    const std::optional<FileMeta> meta = files.Meta(path);
    if (!meta || !(meta->attributes & kReadOnlyAttribute)) return false;
    if (!files.SetAttributes(path, meta->attributes & ~kReadOnlyAttribute)) return false;
    if (files.RemoveFile(path)) return true;
    files.SetAttributes(path, meta->attributes);
    return false;
  }

  bool Switchable(StartupSource) const override { return true; }
};

}  // namespace

std::string UserStartupFolder(const StartupContext& ctx) {
  std::string folder;
  {
    TRegistry reg(*ctx.svc.registry);
    reg.SetRootKey(RegRoot::CurrentUser);
    if (reg.OpenKey(kShellFoldersPath, false)) folder = reg.ReadString("Startup");
  }
  // Without the value the search would run over the root of the current drive.
  if (TrimControl(folder).empty()) folder = ctx.places.KnownUserStartup();
  return folder;
}

std::string FixedCommonStartupPath(StartupPlaces& places) {
  std::string parent = ParentFolder(places.WindowsDirectory());
  if (parent.empty()) return std::string();
  return JoinPath(parent, kCommonStartupTail) + "\\";
}

std::string CommonStartupFolder(const StartupContext& ctx) {
  // The fixed path is the folder itself only on the old Chinese-language NT systems. Later
  // ones keep it as a compatibility junction whose listing is denied, and other languages
  // do not have it: there the platform names the all-users Startup folder itself.
  if (ctx.places.PlatformId() == 2) {
    std::string fixed = FixedCommonStartupPath(ctx.places);
    if (!fixed.empty() && ctx.svc.files->IsListableFolder(WithoutTrailingBackslash(fixed)))
      return fixed;
  }
  return ctx.places.KnownCommonStartup();
}

const StartupFamily& StartupFolderFamily() {
  static const Family family;
  return family;
}

}  // namespace mt
