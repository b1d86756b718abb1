#include "vdrive/VirtualDrives.h"

#include "app/AdminRights.h"
#include "app/Backup.h"
#include "app/CommandLine.h"
#include "app/Constants.h"
#include "app/Error.h"
#include "app/Registry.h"
#include "app/Text.h"
#include "vdrive/DriveMappingChange.h"

namespace mt {

const std::vector<std::string>& DriveLetterTable() {
  static const std::vector<std::string> table = [] {
    std::vector<std::string> t;
    for (char c = 'a'; c <= 'z'; ++c) t.push_back(std::string(1, c) + ":");
    return t;
  }();
  return table;
}

bool IsDriveText(const std::string& text) {
  if (text.size() != 2 || text[1] != ':') return false;
  char c = text[0];
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string MappingArguments(const std::string& drive, const std::string& folder) {
  return drive + " " + QuoteArgument(folder);
}

std::string RemovalArguments(const std::string& drive) { return drive + " /d"; }

std::string MappingEntryData(const std::string& drive, const std::string& folder) {
  return "subst " + MappingArguments(drive, folder);
}

namespace {

// Deletes the Mapping entry `name` from one view of the Run key; the outcome is not examined.
void DeleteEntry(RegistryBackend& registry, RegView view, const std::string& name, bool createKey) {
  TRegistry reg(registry, view);
  reg.SetRootKey(RegRoot::LocalMachine);
  if (reg.OpenKey(kMappingKeyPath, createKey)) reg.DeleteValue(name);
}

}  // namespace

void StartSubst(ProcessStarter& starter, const std::string& arguments) {
  // The outcome is not examined: the refresh that follows shows what the Run key records.
  starter.StartHidden(kSubstProgram, arguments, LaunchSession::Own);
  if (starter.SeparateDesktopSession())
    starter.StartHidden(kSubstProgram, arguments, LaunchSession::Desktop);
}

bool CreateMapping(VdriveContext& ctx, const std::vector<std::string>& listed,
                   const std::string& driveText, const std::string& folderText) {
  for (const std::string& entry : listed) {
    if (entry == driveText) {
      ctx.messages.Show(ctx.owner, kMsgDriveListed, "提示", kMbOk);
      return false;
    }
  }
  if (folderText.empty()) {
    ctx.messages.Show(ctx.owner, kMsgNoFolder, ctx.appTitle, kMbOk);
    return false;
  }
  // Both texts end up in a command line that runs now and at every log-on: only a plain drive
  // letter is taken, and a quote would end the quoted folder argument early.
  if (!IsDriveText(driveText)) {
    ctx.messages.Show(ctx.owner, kMsgBadDriveText, kNoticeCaption, kMbOk);
    return false;
  }
  if (folderText.find('"') != std::string::npos) {
    ctx.messages.Show(ctx.owner, kMsgBadFolderText, kNoticeCaption, kMbOk);
    return false;
  }
  // A mapping made now but missing from the Run key would be gone at the next log-on.
  if (!ctx.adminRights) {
    TellAdminNeeded(ctx.messages, ctx.owner);
    return false;
  }

  try {
    StartSubst(ctx.starter, MappingArguments(driveText, folderText));
    TRegistry reg(ctx.registry);
    reg.SetRootKey(RegRoot::LocalMachine);
    reg.OpenKey(kMappingKeyPath, true);
    reg.WriteString(driveText, MappingEntryData(driveText, folderText));
    // An entry the old 32-bit version left for this letter would map it a second time, to
    // its old folder, at the next log-on.
    DeleteEntry(ctx.registry, RegView::Wow32, driveText, false);
  } catch (const std::exception&) {
    ctx.messages.Show(ctx.owner, kMsgRunKeyRefused, kNoticeCaption, kMbOk);
  }
  return true;
}

void RemoveMapping(VdriveContext& ctx, const std::vector<std::string>& listed, int selected) {
  if (selected < 0 || static_cast<size_t>(selected) >= listed.size())
    throw AppError("List index out of bounds (" + std::to_string(selected) + ")");
  std::string letter = TrimControl(listed[static_cast<size_t>(selected)]);
  if (!ctx.adminRights) {
    TellAdminNeeded(ctx.messages, ctx.owner);
    return;
  }
  std::unique_ptr<DeletionBackup> backup;
  if (ctx.files) {
    ChangeEnv env;
    env.registry = &ctx.registry;
    env.files = ctx.files;
    env.processes = &ctx.starter;
    env.sealKeys = ctx.sealKeys;
    backup = std::make_unique<DeletionBackup>(env, ctx.exeDir, "vdrive");
    backup->SetCaption("虚拟硬盘 " + letter);
    bool saved = true;
    for (RegView view : {RegView::Native, RegView::Wow32})
      saved = backup->Add(std::make_unique<DriveMappingChange>(view, letter)) && saved;
    if (!saved || (!backup->Empty() && !backup->Write(BackupStamp()))) {
      ctx.messages.Show(ctx.owner, kBackupFailedText, kNoticeCaption, kMbOk);
      return;
    }
  }
  StartSubst(ctx.starter, RemovalArguments(letter));
  DeleteEntry(ctx.registry, RegView::Native, letter, true);
  DeleteEntry(ctx.registry, RegView::Wow32, letter, false);
  if (backup && !backup->Empty()) backup->Seal();
}

void ListMappedDrives(RegistryBackend& registry,
                      const std::function<void(const std::string&)>& add) {
  TRegistry native(registry);
  native.SetRootKey(RegRoot::LocalMachine);
  native.OpenKey(kMappingKeyPath, true);
  // The 32-bit view is only read: a missing key there is simply empty.
  TRegistry wow32(registry, RegView::Wow32);
  wow32.SetRootKey(RegRoot::LocalMachine);
  wow32.OpenKey(kMappingKeyPath, false);
  for (const std::string& letter : DriveLetterTable())
    if (!native.ReadString(letter).empty() || !wow32.ReadString(letter).empty()) add(letter);
}

}  // namespace mt
