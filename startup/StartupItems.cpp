#include "startup/StartupItems.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

#include "app/AdminRights.h"
#include "app/Backup.h"
#include "app/Constants.h"
#include "app/Error.h"
#include "app/Path.h"
#include "app/Text.h"
#include "app/Worker.h"
#include "startup/ScheduledTasks.h"
#include "startup/StartupApproved.h"
#include "startup/TaskFamily.h"

namespace mt {

namespace {

// A family read on a thread of its own while the others list; the worker is joined at the
// latest when this goes, before the fields it writes.
struct ReadingAhead {
  StartupReadAhead::Read read;
  Worker worker;
};

StartupReadAhead::Read ReadFamily(const StartupFamily* family, const StartupContext& ctx) {
  StartupReadAhead::Read read;
  read.family = family;
  try {
    read.listRows = family->ReadAhead(ctx);
  } catch (...) {
    read.failed = std::current_exception();
  }
  return read;
}

// Lists every source in order. A family that reads ahead is listed (all its rows at the place
// of its first source) from what `readOf` gives for it; none: left out.
template <typename ReadOf>
void ListAll(const StartupContext& ctx, StartupView& view, ReadOf&& readOf) {
  std::vector<const StartupFamily*> listed;
  view.Clear();
  for (StartupSource source : ListedSources()) {
    const StartupFamily* family = FamilyOf(source);
    if (!family->ReadsAhead(ctx)) {
      family->List(ctx, view, source);
      continue;
    }
    if (std::find(listed.begin(), listed.end(), family) != listed.end()) continue;
    listed.push_back(family);
    const StartupReadAhead::Read* read = readOf(family);
    if (!read) continue;
    if (read->failed) std::rethrow_exception(read->failed);
    if (read->listRows) read->listRows(view);
  }
  view.SetReadOnly();
}

// The rows of one read; none when it failed or lists nothing.
std::optional<std::vector<StartupRow>> RowsOf(const StartupReadAhead::Read& read) {
  if (read.failed) return std::nullopt;
  RowList collector;
  try {
    if (read.listRows) read.listRows(collector);
  } catch (...) {
    return std::nullopt;
  }
  return collector.rows;
}

bool SameRow(const StartupRow& a, const StartupRow& b) {
  return a.name == b.name && a.location == b.location && a.source == b.source &&
         a.enabled == b.enabled && a.status == b.status;
}

}  // namespace

bool StartupReadAhead::SameRowsAs(const StartupReadAhead& other) const {
  if (reads.size() != other.reads.size()) return false;
  for (size_t i = 0; i < reads.size(); ++i) {
    if (reads[i].family != other.reads[i].family) return false;
    const auto mine = RowsOf(reads[i]);
    const auto theirs = RowsOf(other.reads[i]);
    if (!mine || !theirs || mine->size() != theirs->size()) return false;
    for (size_t k = 0; k < mine->size(); ++k)
      if (!SameRow((*mine)[k], (*theirs)[k])) return false;
  }
  return true;
}

void StartupItems::Refresh(StartupView& view) {
  std::vector<std::unique_ptr<ReadingAhead>> ahead;
  for (const StartupFamily* family : StartupFamilies()) {
    if (!family->ReadsAhead(ctx_)) continue;
    auto reading = std::make_unique<ReadingAhead>();
    ReadingAhead* r = reading.get();
    r->read.family = family;
    const StartupContext ctx = ctx_;
    // What the family's store throws is handed back to this thread with the list.
    r->worker = Worker([r, family, ctx] { r->read = ReadFamily(family, ctx); });
    ahead.push_back(std::move(reading));
  }
  ListAll(ctx_, view, [&ahead](const StartupFamily* family) -> const StartupReadAhead::Read* {
    for (auto& r : ahead)
      if (r->read.family == family) {
        r->worker.Join();
        return &r->read;
      }
    return nullptr;
  });
}

void StartupItems::Refresh(StartupView& view, const StartupReadAhead& ahead) {
  ListAll(ctx_, view, [&ahead](const StartupFamily* family) -> const StartupReadAhead::Read* {
    for (const StartupReadAhead::Read& read : ahead.reads)
      if (read.family == family) return &read;
    return nullptr;
  });
}

StartupReadAhead StartupItems::ReadAhead() const {
  // Each family on a thread of its own, as Refresh does: the slowest one sets the time.
  std::vector<std::unique_ptr<ReadingAhead>> reading;
  for (const StartupFamily* family : StartupFamilies()) {
    if (!family->ReadsAhead(ctx_)) continue;
    auto r = std::make_unique<ReadingAhead>();
    ReadingAhead* at = r.get();
    const StartupContext ctx = ctx_;
    at->worker = Worker([at, family, ctx] { at->read = ReadFamily(family, ctx); });
    reading.push_back(std::move(r));
  }
  StartupReadAhead ahead;
  for (auto& r : reading) {
    r->worker.Join();
    ahead.reads.push_back(std::move(r->read));
  }
  return ahead;
}

void StartupItems::ListTasks(StartupView& view) {
  TaskFamily().List(ctx_, view, StartupSource::ScheduledTask);
}

void StartupItems::ListTasks(StartupView& view, const std::vector<TaskInfo>& tasks) {
  ListTaskRows(view, tasks);
}

void StartupItems::ListRunKey(StartupView& view, StartupSource source) {
  const RegistryPlace* place = RegistryPlaceOf(source);
  if (place && place->kind == PlaceKind::RunList) ListRegistryPlace(ctx_, view, *place);
}

void StartupItems::ListPlace(StartupView& view, const RegistryPlace& place) {
  ListRegistryPlace(ctx_, view, place);
}

std::string StartupItems::WinlogonDefault(const std::string& name) {
  return mt::WinlogonDefault(places_, name);
}

bool StartupItems::IsWinlogonDefault(const std::string& name, const std::string& data) {
  return mt::IsWinlogonDefault(places_, name, data);
}

std::string StartupItems::UserStartupFolder() { return mt::UserStartupFolder(ctx_); }

std::string StartupItems::FixedCommonStartupPath() { return mt::FixedCommonStartupPath(places_); }

std::string StartupItems::CommonStartupFolder() { return mt::CommonStartupFolder(ctx_); }

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
  const StartupFamily* family = FamilyOf(row.source);
  return family && family->Delete(ctx_, row);
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

namespace {

// Whether a checked row is left as it is for want of administrator rights.
bool LeftForAdmin(const StartupRow& row, bool adminRights) {
  return !adminRights && IsMachineSource(row.source);
}

// Whether "禁用" and "启用" change anything for a row of `source`.
bool Switchable(StartupSource source) {
  const StartupFamily* family = FamilyOf(source);
  return family && family->Switchable(source);
}

// Whether "删除" is offered for a row of `source`.
bool Deletable(StartupSource source) {
  const StartupFamily* family = FamilyOf(source);
  return !family || family->Deletable(source);
}

// The checked rows left for want of administrator rights, top to bottom, as the notice
// names them: the name as shown and its place. Only the rows the action could have changed
// (switched, or deleted).
std::vector<std::string> RowsLeftForAdmin(StartupView& view, bool adminRights, bool switching) {
  std::vector<std::string> left;
  for (size_t i = 0; i < view.Count(); ++i) {
    const StartupRow row = view.Row(i);
    if (row.checked && LeftForAdmin(row, adminRights) &&
        (switching ? Switchable(row.source) : Deletable(row.source)))
      left.push_back(ShownName(row) + "（" + SourceText(row.source) + "）");
  }
  return left;
}

// A row as a notice names it: the name as shown and its place.
std::string NoticeName(const StartupRow& row) {
  return ShownName(row) + "（" + SourceText(row.source) + "）";
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += (out.empty() ? "" : "\n") + line;
  return out;
}

// The checked rows "删除" leaves alone because their family offers no deletion, as notices:
// the family's words, then its rows, one per line.
std::vector<std::string> NotDeletedNotices(StartupView& view) {
  std::vector<std::pair<std::string, std::vector<std::string>>> notices;
  for (size_t i = 0; i < view.Count(); ++i) {
    const StartupRow row = view.Row(i);
    if (!row.checked || Deletable(row.source)) continue;
    std::string words = FamilyOf(row.source)->NotDeletableText(row.source);
    if (words.empty()) words = kNotDeletableText;
    auto it = std::find_if(notices.begin(), notices.end(),
                           [&](const auto& notice) { return notice.first == words; });
    if (it == notices.end()) it = notices.insert(notices.end(), {words, {}});
    it->second.push_back(NoticeName(row));
  }
  std::vector<std::string> texts;
  for (const auto& [words, names] : notices) texts.push_back(words + "\n" + JoinLines(names));
  return texts;
}

}  // namespace

void StartupItems::DeleteClick(StartupView& view, WindowRef owner) {
  const bool admin = HoldsAdminRights(svc_);
  const std::vector<std::string> skipped = RowsLeftForAdmin(view, admin, false);
  const std::vector<std::string> notDeleted = NotDeletedNotices(view);
  DeletionBackup backup(ChangeEnvOf(svc_), DataFolder(svc_.exeDir, svc_.places), "startup");
  bool saved = true;
  for (size_t i = view.Count(); i-- > 0;) {
    const StartupRow row = view.Row(i);
    if (!row.checked || LeftForAdmin(row, admin) || !Deletable(row.source)) continue;
    const StartupFamily* family = FamilyOf(row.source);
    // The item is named in the restore window with the words of its row.
    backup.SetCaption(row.name + "  " + row.location);
    if (!family || !family->SaveForDeletion(ctx_, backup, row)) saved = false;
  }
  if (!saved || (!backup.Empty() && !backup.Write(BackupStamp()))) {
    svc_.messages->Show(owner, kBackupFailedText, kNoticeCaption, kMbOk);
    return;
  }
  std::vector<std::string> failed;
  for (size_t i = view.Count(); i-- > 0;) {
    StartupRow row = view.Row(i);
    if (!row.checked || LeftForAdmin(row, admin) || !Deletable(row.source)) continue;
    // What did not go is listed again by the refresh, and named in a notice.
    if (!DeleteItem(row)) failed.insert(failed.begin(), NoticeName(row));
    view.Remove(i);
  }
  if (!backup.Empty()) backup.Seal();
  Refresh(view);
  if (!failed.empty())
    svc_.messages->Show(owner, std::string(kDeleteFailedText) + "\n" + JoinLines(failed),
                        kNoticeCaption, kMbOk);
  if (!skipped.empty()) TellAdminNeeded(*svc_.messages, owner, skipped, !backup.Empty());
  for (const std::string& text : notDeleted)
    svc_.messages->Show(owner, text, kNoticeCaption, kMbOk);
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
  // The rows this click switches: checked, switchable, and not left for want of rights.
  std::vector<StartupRow> rows;
  for (size_t i = 0; i < view.Count(); ++i) {
    const StartupRow row = view.Row(i);
    if (row.checked && !LeftForAdmin(row, admin) && Switchable(row.source)) rows.push_back(row);
  }
  // One set for the click: the state of every row before, so the whole click can be taken
  // back. A row whose state cannot be read is reported like a refused write.
  DeletionBackup backup(ChangeEnvOf(svc_), DataFolder(svc_.exeDir, svc_.places), "startup");
  std::vector<bool> saved(rows.size(), false);
  bool refused = false;
  for (size_t i = 0; i < rows.size(); ++i) {
    backup.SetCaption(std::string(enabled ? "启用 " : "禁用 ") + rows[i].name + "  " +
                      rows[i].location);
    saved[i] = FamilyOf(rows[i].source)->SaveForSwitch(ctx_, backup, rows[i]);
    if (!saved[i]) refused = true;
  }
  if (!backup.Empty() && !backup.Write(BackupStamp())) {
    svc_.messages->Show(owner, kSwitchBackupFailedText, kNoticeCaption, kMbOk);
    return;
  }
  // A refusal with words of its own is named with its row; the others share the old notice.
  std::vector<std::string> reasons;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (!saved[i]) continue;
    const std::string reason =
        FamilyOf(rows[i].source)->SwitchOrReason(ctx_, rows[i], enabled, now);
    if (reason.empty()) continue;
    if (reason == kSwitchRefusedReason) refused = true;
    else reasons.push_back(NoticeName(rows[i]) + "：" + reason);
  }
  if (!backup.Empty()) backup.Seal();
  if (refused) svc_.messages->Show(owner, kAddRefusedText, kNoticeCaption, kMbOk);
  if (!reasons.empty())
    svc_.messages->Show(owner, std::string(kSwitchRefusedText) + "\n" + JoinLines(reasons),
                        kNoticeCaption, kMbOk);
  Refresh(view);
  if (!skipped.empty()) TellAdminNeeded(*svc_.messages, owner, skipped, !backup.Empty());
}

}  // namespace mt
