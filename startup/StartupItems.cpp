#include "startup/StartupItems.h"

#include <exception>

#include "app/AdminRights.h"
#include "app/Backup.h"
#include "app/ChangeFile.h"
#include "app/ChangeRegistry.h"
#include "app/Constants.h"
#include "app/Error.h"
#include "app/Path.h"
#include "app/Text.h"
#include "app/Worker.h"
#include "startup/ScheduledTasks.h"
#include "startup/StartupApproved.h"
#include "startup/TaskChange.h"

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
    {S::MachineRun, kLM, kNative, kRunKeyPath, PlaceKind::RunList},
    {S::MachineRun32, kLM, k32, kRunKeyPath, PlaceKind::RunList},
    {S::UserRun, kCU, kNative, kRunKeyPath, PlaceKind::RunList},
    {S::MachineRunOnce, kLM, kNative, kRunOnceKeyPath, PlaceKind::ValueList},
    {S::MachineRunOnce32, kLM, k32, kRunOnceKeyPath, PlaceKind::ValueList},
    {S::UserRunOnce, kCU, kNative, kRunOnceKeyPath, PlaceKind::ValueList},
    {S::MachineRunOnceEx, kLM, kNative, kRunOnceExKeyPath, PlaceKind::RunOnceEx},
    {S::MachineRunOnceEx32, kLM, k32, kRunOnceExKeyPath, PlaceKind::RunOnceEx},
    {S::MachinePolicyRun, kLM, kNative, kPolicyRunKeyPath, PlaceKind::ValueList},
    {S::UserPolicyRun, kCU, kNative, kPolicyRunKeyPath, PlaceKind::ValueList},
    {S::UserWindowsLoad, kCU, kNative, kWindowsKeyPath, PlaceKind::Named},
    {S::Winlogon, kLM, kNative, kWinlogonKeyPath, PlaceKind::Winlogon},
    {S::Winlogon32, kLM, k32, kWinlogonKeyPath, PlaceKind::Winlogon},
};

// The values of the Windows key that start programs.
constexpr const char* kWindowsValues[] = {"Load", "Run"};
constexpr const char* kWinlogonValues[] = {"Shell", "Userinit"};

bool IsText(const std::optional<RegValue>& v) {
  return v && (v->type == RegDataType::String || v->type == RegDataType::ExpandString);
}

}  // namespace

const RegistryPlace* RegistryPlaceOf(StartupSource source) {
  for (const RegistryPlace& place : kPlaces)
    if (place.source == source) return &place;
  return nullptr;
}

bool Is32BitSource(StartupSource source) {
  const RegistryPlace* place = RegistryPlaceOf(source);
  return place && place->view == RegView::Wow32;
}

bool IsFolderSource(StartupSource source) {
  return source == S::UserFolder || source == S::CommonFolder;
}

bool IsMachineSource(StartupSource source) {
  if (source == S::CommonFolder || source == S::ScheduledTask) return true;
  const RegistryPlace* place = RegistryPlaceOf(source);
  return place && place->root == RegRoot::LocalMachine;
}

std::string SourceText(StartupSource source) {
  switch (source) {
    case S::MachineRun: return "HKLM\\Run";
    case S::MachineRun32: return "HKLM\\Run (32位)";
    case S::UserRun: return "HKCU\\Run";
    case S::UserFolder: return "用户启动文件夹";
    case S::CommonFolder: return "公共启动文件夹";
    case S::MachineRunOnce: return "HKLM\\RunOnce";
    case S::MachineRunOnce32: return "HKLM\\RunOnce (32位)";
    case S::UserRunOnce: return "HKCU\\RunOnce";
    case S::MachineRunOnceEx: return "HKLM\\RunOnceEx";
    case S::MachineRunOnceEx32: return "HKLM\\RunOnceEx (32位)";
    case S::MachinePolicyRun: return "HKLM\\策略\\Run";
    case S::UserPolicyRun: return "HKCU\\策略\\Run";
    case S::UserWindowsLoad: return "HKCU\\Windows";
    case S::Winlogon: return "Winlogon";
    case S::Winlogon32: return "Winlogon (32位)";
    case S::ScheduledTask: return kScheduledTaskSourceText;
  }
  return std::string();
}

std::string ShownName(const StartupRow& row) {
  return Is32BitSource(row.source) ? row.name + kRun32Mark : row.name;
}

std::string NameFromShown(const std::string& shown, StartupSource source) {
  const std::string mark = kRun32Mark;
  if (Is32BitSource(source) && shown.size() >= mark.size() &&
      shown.compare(shown.size() - mark.size(), mark.size(), mark) == 0)
    return shown.substr(0, shown.size() - mark.size());
  return shown;
}

void StartupItems::Refresh(StartupView& view) {
  // The scheduler answers slowly (a call into its service per task): it is asked on a thread
  // of its own while the registry and the folders are read.
  // What the store throws is handed back to this thread with the list.
  std::vector<TaskInfo> tasks;
  std::exception_ptr tasksFailed;
  Worker taskReader;  // joined at the latest when it goes, before the two above
  if (svc_.tasks) {
    TaskStore* store = svc_.tasks;
    taskReader = Worker([store, &tasks, &tasksFailed] {
      try {
        tasks = store->Tasks();
      } catch (...) {
        tasksFailed = std::current_exception();
      }
    });
  }
  view.Clear();
  ListRunKey(view, StartupSource::MachineRun);
  ListRunKey(view, StartupSource::MachineRun32);
  ListRunKey(view, StartupSource::UserRun);
  ListFolder(view, UserStartupFolder(), StartupSource::UserFolder);
  ListFolder(view, CommonStartupFolder(), StartupSource::CommonFolder);
  for (const RegistryPlace& place : kPlaces)
    if (place.kind != PlaceKind::RunList) ListPlace(view, place);
  if (taskReader.Joinable()) {
    taskReader.Join();
    if (tasksFailed) std::rethrow_exception(tasksFailed);
    ListTasks(view, tasks);
  }
  view.SetReadOnly();
}

void StartupItems::ListTasks(StartupView& view) {
  if (svc_.tasks) ListTasks(view, svc_.tasks->Tasks());
}

void StartupItems::ListTasks(StartupView& view, const std::vector<TaskInfo>& tasks) {
  for (const TaskInfo& task : tasks)
    if (IsStartupTask(task))
      view.Append({task.path, TaskCommandLine(task), S::ScheduledTask, false, task.enabled});
}

void StartupItems::ListRunKey(StartupView& view, StartupSource source) {
  const RegistryPlace* place = RegistryPlaceOf(source);
  if (place && place->kind == PlaceKind::RunList) ListPlace(view, *place);
}

std::string StartupItems::WinlogonDefault(const std::string& name) {
  if (EqualsNoCase(name, "Shell")) return kDefaultShell;
  if (EqualsNoCase(name, "Userinit")) {
    std::string windows = WithoutTrailingBackslash(places_.WindowsDirectory());
    if (windows.empty()) windows = "C:\\Windows";
    return windows + kUserinitTail;
  }
  return std::string();
}

bool StartupItems::IsWinlogonDefault(const std::string& name, const std::string& data) {
  std::string value = TrimControl(data);
  if (EqualsNoCase(name, "Shell")) return EqualsNoCase(value, kDefaultShell);
  // The system writes the user-init program with a comma after it; without one it is the
  // same single program.
  if (!value.empty() && value.back() == ',') value.pop_back();
  std::string own = WinlogonDefault(name);
  if (own.empty()) return false;
  own.pop_back();
  return SamePathText(value, own);
}

void StartupItems::ListPlace(StartupView& view, const RegistryPlace& place) {
  TRegistry reg(*svc_.registry, place.view);
  reg.SetRootKey(place.root);
  if (!reg.OpenKey(place.path, false)) return;
  const StartupSource source = place.source;
  RegistryBackend& backend = *svc_.registry;
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
      // description) are not commands.
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
          if (!IsWinlogonDefault(name, *data)) view.Append({name, *data, source, false, true});
      return;
  }
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
    if (!fixed.empty() && svc_.files->IsListableFolder(WithoutTrailingBackslash(fixed)))
      return fixed;
  }
  return places_.KnownCommonStartup();
}

void StartupItems::ListFolder(StartupView& view, const std::string& folder, StartupSource source) {
  if (TrimControl(folder).empty()) return;
  const std::vector<FindEntry> entries = svc_.files->Find(WithoutTrailingBackslash(folder),
                                                          "*.lnk");
  if (entries.empty()) return;
  const ApprovedStates states(*svc_.registry, source);
  for (const FindEntry& entry : entries)
    view.Append(
        {entry.name, JoinPath(folder, entry.name), source, false, states.Enabled(entry.name)});
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

namespace {

// Where a registry row's value lives: the key below the place (a RunOnceEx section) and the
// value's name.
struct ValueOfRow {
  std::string keyPath;  // from the root, with the leading "\"
  std::string name;
};

ValueOfRow ValueOf(const RegistryPlace& place, const StartupRow& row) {
  if (place.kind == PlaceKind::RunOnceEx) {
    const size_t cut = row.name.find('\\');
    if (cut != std::string::npos)
      return {std::string(place.path) + "\\" + row.name.substr(0, cut), row.name.substr(cut + 1)};
  }
  return {place.path, row.name};
}

}  // namespace

bool StartupItems::DeleteItem(const StartupRow& row) {
  if (row.source == S::ScheduledTask) return svc_.tasks && svc_.tasks->Delete(row.name);
  const RegistryPlace* place = RegistryPlaceOf(row.source);
  if (!place) return svc_.files->RemoveFile(TrimControl(row.location));
  const ValueOfRow value = ValueOf(*place, row);
  TRegistry reg(*svc_.registry, place->view);
  reg.SetRootKey(place->root);
  if (!reg.OpenKey(value.keyPath, false)) return false;
  if (place->kind == PlaceKind::Winlogon) {
    // Without these values nobody would get a desktop: the system's own program goes back.
    const std::string own = WinlogonDefault(value.name);
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

void StartupItems::AddClick(StartupView& view, WindowRef owner, const FileDialogOptions& dialog) {
  if (!HoldsAdminRights(svc_)) {
    TellAdminNeeded(*svc_.messages, owner);
    return;
  }
  bool refused = false;
  try {
    std::optional<std::vector<std::string>> chosen = svc_.dialogs->OpenFile(owner, dialog);
    if (chosen && !chosen->empty()) refused = !AddProgram(chosen->front());
  } catch (const std::exception&) {
    refused = true;
  }
  if (refused) svc_.messages->Show(owner, kAddRefusedText, kNoticeCaption, kMbOk);
  Refresh(view);
}

bool StartupItems::SaveForDeletion(DeletionBackup& backup, const StartupRow& row) {
  // The item is named in the restore window with the words of its row.
  backup.SetCaption(row.name + "  " + row.location);
  if (row.source == S::ScheduledTask) {
    // Without its definition a deleted task could not be brought back.
    if (!svc_.tasks || !svc_.tasks->Xml(row.name)) return false;
    return backup.Add(std::make_unique<TaskChange>(row.name));
  }
  const RegistryPlace* place = RegistryPlaceOf(row.source);
  if (!place) return backup.Add(std::make_unique<FileChange>(row.location));
  const ValueOfRow value = ValueOf(*place, row);
  return backup.Add(
      std::make_unique<RegistryValueChange>(place->root, place->view, value.keyPath, value.name));
}

namespace {

// Whether a checked row is left as it is for want of administrator rights.
bool LeftForAdmin(const StartupRow& row, bool adminRights) {
  return !adminRights && IsMachineSource(row.source);
}

// Whether "禁用" and "启用" change anything for a row of `source`: a scheduled task, or a
// place whose on/off record the system keeps.
bool Switchable(StartupSource source) {
  return source == S::ScheduledTask || ApprovedKeyOf(source).has_value();
}

// The checked rows left for want of administrator rights, top to bottom, as the notice
// names them: the name as shown and its place. When switching, only the rows that could
// have been switched.
std::vector<std::string> RowsLeftForAdmin(StartupView& view, bool adminRights, bool switching) {
  std::vector<std::string> left;
  for (size_t i = 0; i < view.Count(); ++i) {
    const StartupRow row = view.Row(i);
    if (row.checked && LeftForAdmin(row, adminRights) && (!switching || Switchable(row.source)))
      left.push_back(ShownName(row) + "（" + SourceText(row.source) + "）");
  }
  return left;
}

}  // namespace

void StartupItems::DeleteClick(StartupView& view, WindowRef owner) {
  const bool admin = HoldsAdminRights(svc_);
  const std::vector<std::string> skipped = RowsLeftForAdmin(view, admin, false);
  DeletionBackup backup(ChangeEnvOf(svc_), DataFolder(svc_.exeDir, svc_.places), "startup");
  bool saved = true;
  for (size_t i = view.Count(); i-- > 0;) {
    const StartupRow row = view.Row(i);
    if (row.checked && !LeftForAdmin(row, admin) && !SaveForDeletion(backup, row)) saved = false;
  }
  if (!saved || (!backup.Empty() && !backup.Write(BackupStamp()))) {
    svc_.messages->Show(owner, kBackupFailedText, kNoticeCaption, kMbOk);
    return;
  }
  for (size_t i = view.Count(); i-- > 0;) {
    StartupRow row = view.Row(i);
    if (!row.checked || LeftForAdmin(row, admin)) continue;
    // What did not go is simply listed again by the refresh.
    DeleteItem(row);
    view.Remove(i);
  }
  if (!backup.Empty()) backup.Seal();
  Refresh(view);
  if (!skipped.empty()) TellAdminNeeded(*svc_.messages, owner, skipped, !backup.Empty());
}

void StartupItems::OpenFileLocation(StartupView& view, WindowRef owner,
                                    const ProgramLookup& lookup) {
  const std::optional<size_t> selected = view.Selected();
  if (!selected || *selected >= view.Count()) {
    svc_.messages->Beep();
    return;
  }
  const StartupRow row = view.Row(*selected);
  const std::string path = IsFolderSource(row.source) ? TrimControl(row.location)
                                                      : ProgramOfCommand(row.location, lookup).path;
  if (path.empty() || !lookup.exists || !lookup.exists(path)) {
    svc_.messages->Beep();
    return;
  }
  svc_.shell->ShellOpen(owner, "open", "explorer.exe", "/select,\"" + path + "\"", "", kShowNormal);
}

void StartupItems::SetCheckedEnabled(StartupView& view, bool enabled, WindowRef owner) {
  const uint64_t now = FileTimeNow();
  const bool admin = HoldsAdminRights(svc_);
  const std::vector<std::string> skipped = RowsLeftForAdmin(view, admin, true);
  bool refused = false;
  for (size_t i = 0; i < view.Count(); ++i) {
    const StartupRow row = view.Row(i);
    if (!row.checked || LeftForAdmin(row, admin)) continue;
    if (row.source == S::ScheduledTask) {
      if (!svc_.tasks || !svc_.tasks->SetEnabled(row.name, enabled)) refused = true;
      continue;
    }
    // Rows of places that the system cannot switch off are left as they are.
    if (!ApprovedKeyOf(row.source)) continue;
    if (!WriteApproved(*svc_.registry, row, enabled, now)) refused = true;
  }
  if (refused) svc_.messages->Show(owner, kAddRefusedText, kNoticeCaption, kMbOk);
  Refresh(view);
  if (!skipped.empty()) TellAdminNeeded(*svc_.messages, owner, skipped);
}

}  // namespace mt
