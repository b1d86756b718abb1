#include "startup/StartupItems.h"

#include <exception>

#include "app/Backup.h"
#include "app/Error.h"
#include "app/Path.h"
#include "app/Text.h"
#include "startup/StartupApproved.h"

namespace mt {

namespace {

struct RunKey {
  RegRoot root;
  RegView view;
};

// Where the Run key of a registry row source lives. The machine Run key is redirected by
// WOW64, so it has a 32-bit twin; the user's key is shared by both views.
RunKey RunKeyOf(StartupSource source) {
  switch (source) {
    case StartupSource::MachineRun32: return {RegRoot::LocalMachine, RegView::Wow32};
    case StartupSource::UserRun: return {RegRoot::CurrentUser, RegView::Native};
    default: return {RegRoot::LocalMachine, RegView::Native};  // the machine Run key
  }
}

}  // namespace

std::string ShownName(const StartupRow& row) {
  return row.source == StartupSource::MachineRun32 ? row.name + kRun32Mark : row.name;
}

std::string NameFromShown(const std::string& shown, StartupSource source) {
  const std::string mark = kRun32Mark;
  if (source == StartupSource::MachineRun32 && shown.size() >= mark.size() &&
      shown.compare(shown.size() - mark.size(), mark.size(), mark) == 0)
    return shown.substr(0, shown.size() - mark.size());
  return shown;
}

void StartupItems::Refresh(StartupView& view) {
  view.Clear();
  ListRunKey(view, StartupSource::MachineRun);
  ListRunKey(view, StartupSource::MachineRun32);
  ListRunKey(view, StartupSource::UserRun);
  ListFolder(view, UserStartupFolder(), StartupSource::UserFolder);
  ListFolder(view, CommonStartupFolder(), StartupSource::CommonFolder);
  view.SetReadOnly();
}

void StartupItems::ListRunKey(StartupView& view, StartupSource source) {
  const RunKey key = RunKeyOf(source);
  TRegistry reg(*svc_.registry, key.view);
  reg.SetRootKey(key.root);
  if (!reg.OpenKey(kRunKeyPath, false)) return;
  const std::vector<std::string> names = reg.GetValueNames();
  const ApprovedStates states(*svc_.registry, source);
  for (const std::string& name : names) {
    // The row exists before its data is read: a value that is not text leaves its name
    // listed when the read below throws.
    size_t index = view.Append({name, std::string(), source, false, states.Enabled(name)});
    view.SetLocation(index, reg.ReadString(name));
  }
}

std::string StartupItems::UserStartupFolder() {
  std::string folder;
  {
    TRegistry reg(*svc_.registry);
    reg.SetRootKey(RegRoot::CurrentUser);
    if (reg.OpenKey(kShellFoldersPath, false)) folder = reg.ReadString("Startup");
  }
  // Without the value the search would run over the root of the current drive.
  if (TrimControl(folder).empty()) folder = places_.KnownUserStartup();
  return folder;
}

std::string StartupItems::FixedCommonStartupPath() {
  std::string parent = ParentFolder(places_.WindowsDirectory());
  if (parent.empty()) return std::string();
  return JoinPath(parent, kCommonStartupTail) + "\\";
}

std::string StartupItems::CommonStartupFolder() {
  // The fixed path is the folder itself only on the old Chinese-language NT systems. Later
  // ones keep it as a compatibility junction whose listing is denied, and other languages
  // do not have it: there the platform names the all-users Startup folder itself.
  if (places_.PlatformId() == 2) {
    std::string fixed = FixedCommonStartupPath();
    if (!fixed.empty() && svc_.files->IsListableFolder(WithoutTrailingBackslash(fixed))) return fixed;
  }
  return places_.KnownCommonStartup();
}

void StartupItems::ListFolder(StartupView& view, const std::string& folder,
                              StartupSource source) {
  if (TrimControl(folder).empty()) return;
  const std::vector<FindEntry> entries = svc_.files->Find(WithoutTrailingBackslash(folder), "*.lnk");
  if (entries.empty()) return;
  const ApprovedStates states(*svc_.registry, source);
  for (const FindEntry& entry : entries)
    view.Append({entry.name, JoinPath(folder, entry.name), source, false,
                 states.Enabled(entry.name)});
}

bool StartupItems::AddProgram(const std::string& program) {
  TRegistry reg(*svc_.registry);
  reg.SetRootKey(RegRoot::LocalMachine);
  if (!reg.OpenKey(kRunKeyPath, true)) return false;
  try {
    reg.WriteString(FileNameOf(program), program);
  } catch (const AppError&) {
    return false;
  }
  return true;
}

bool StartupItems::DeleteItem(const StartupRow& row) {
  switch (row.source) {
    case StartupSource::MachineRun:
    case StartupSource::MachineRun32:
    case StartupSource::UserRun: {
      const RunKey key = RunKeyOf(row.source);
      TRegistry reg(*svc_.registry, key.view);
      reg.SetRootKey(key.root);
      if (!reg.OpenKey(kRunKeyPath, false)) return false;
      return reg.DeleteValue(row.name);
    }
    case StartupSource::UserFolder:
    case StartupSource::CommonFolder:
      return svc_.files->DeleteFile(TrimControl(row.location));
  }
  return false;
}

void StartupItems::AddClick(StartupView& view, WindowRef owner, const FileDialogOptions& dialog) {
  bool refused = false;
  try {
    std::optional<std::vector<std::string>> chosen = svc_.dialogs->OpenFile(owner, dialog);
    if (chosen && !chosen->empty()) refused = !AddProgram(chosen->front());
  } catch (const std::exception&) {
    refused = true;
  }
  if (refused) svc_.messages->Show(owner, kAddRefusedText, "温馨提示", kMbOk);
  Refresh(view);
}

void StartupItems::SaveForDeletion(DeletionBackup& backup, const StartupRow& row) {
  switch (row.source) {
    case StartupSource::MachineRun:
    case StartupSource::MachineRun32:
    case StartupSource::UserRun: {
      const RunKey key = RunKeyOf(row.source);
      backup.SaveValue(key.root, key.view, kRunKeyPath, row.name);
      break;
    }
    case StartupSource::UserFolder:
    case StartupSource::CommonFolder:
      backup.SaveFile(row.location);
      break;
  }
}

void StartupItems::DeleteClick(StartupView& view, WindowRef owner) {
  DeletionBackup backup(*svc_.registry, *svc_.files, svc_.exeDir);
  for (size_t i = view.Count(); i-- > 0;) {
    const StartupRow row = view.Row(i);
    if (row.checked) SaveForDeletion(backup, row);
  }
  if (!backup.Empty() && !backup.Write(BackupStamp())) {
    svc_.messages->Show(owner, kBackupFailedText, "温馨提示", kMbOk);
    return;
  }
  for (size_t i = view.Count(); i-- > 0;) {
    StartupRow row = view.Row(i);
    if (!row.checked) continue;
    // What did not go is simply listed again by the refresh.
    DeleteItem(row);
    view.Remove(i);
  }
  Refresh(view);
}

void StartupItems::SetCheckedEnabled(StartupView& view, bool enabled, WindowRef owner) {
  const uint64_t now = FileTimeNow();
  bool refused = false;
  for (size_t i = 0; i < view.Count(); ++i) {
    const StartupRow row = view.Row(i);
    if (row.checked && !WriteApproved(*svc_.registry, row, enabled, now)) refused = true;
  }
  if (refused) svc_.messages->Show(owner, kAddRefusedText, "温馨提示", kMbOk);
  Refresh(view);
}

}  // namespace mt
