#include "app/Restore.h"

#include "app/Backup.h"
#include "app/CachedRegistry.h"
#include "app/ChangeFile.h"
#include "app/Error.h"

namespace mt {

namespace {

enum class Plan { Write, WriteBeside, AlreadyBack, Skip };

struct Step {
  const SetItem* item = nullptr;
  Plan plan = Plan::Write;
  RestoreOutcome outcome;
  std::string besidePath;
  // The state found when the restore looked at the item first.
  nlohmann::json now;
  // The state read back right after the write (null when it was not read): also what the
  // restore's own set records as the state the restore left.
  nlohmann::json readBack;
};

std::string ChangedText(const SetItem& item, const nlohmann::json& now) {
  return item.change->DescribeState(now);
}

}  // namespace

std::string RestoreReport::Text() const {
  if (!refused.empty()) return refused;
  std::string back, notBack;
  size_t nBack = 0, nNot = 0;
  for (const RestoreOutcome& o : items) {
    const std::string line = (o.caption.empty() ? o.place : o.caption) +
                             (o.reason.empty() ? "" : "（" + o.reason + "）");
    if (o.back) {
      ++nBack;
      back += "\n  " + line;
    } else {
      ++nNot;
      notBack += "\n  " + line;
    }
  }
  std::string text = "已恢复 " + std::to_string(nBack) + " 项";
  if (nBack) text += "：" + back;
  if (nNot) text += "\n未恢复 " + std::to_string(nNot) + " 项：" + notBack;
  if (!undoFolder.empty()) text += std::string("\n\n") + kBackedUpLine;
  return text;
}

RestoreReport RestoreItems(const ChangeEnv& envIn, const std::string& dataDir,
                           const BackupSetInfo& set, const std::vector<size_t>& chosen,
                           RestoreQuestions& ask) {
  RestoreReport report;
  std::string damage = set.damage;
  const bool sealed = damage.empty() && SealHolds(envIn, set, &damage);
  if (!damage.empty()) {
    report.refused = "这个备份已损坏，没有恢复任何项目。\n" + damage;
    return report;
  }
  // The keys of the items are opened once for all their reads, writes and read-backs.
  CachedRegistry keys(*envIn.registry);
  ChangeEnv env = envIn;
  env.registry = &keys;
  env.setFolder = set.folder;
  try {
    // 1. What each item needs, asked item by item.
    std::vector<Step> steps;
    // Whether the user was asked anything: the states read before may be stale by then.
    bool asked = false;
    for (size_t index : chosen) {
      if (index >= set.items.size()) continue;
      const SetItem& item = set.items[index];
      Step step;
      step.item = &item;
      step.outcome.caption = item.caption;
      step.outcome.place = item.change->Place();
      const bool machine = item.change->MachineWide(env);
      if (machine && !sealed && !set.legacy) {
        step.plan = Plan::Skip;
        step.outcome.reason = "备份未通过验证，只能恢复当前用户的项目";
        steps.push_back(step);
        continue;
      }
      nlohmann::json now;
      try {
        now = item.change->Observe(env);
      } catch (const std::exception& e) {
        step.plan = Plan::Skip;
        step.outcome.reason = e.what();
        steps.push_back(step);
        continue;
      }
      if (item.change->SameState(now, item.before)) {
        step.plan = Plan::AlreadyBack;
        step.outcome.back = true;
        step.outcome.reason = "已是备份时的状态";
        steps.push_back(step);
        continue;
      }
      // Did someone change it since the action? Without a record of what the action left,
      // anything but "absent" (what a deletion leaves) counts as changed.
      const bool changed = item.after.is_null() ? !IsAbsent(now)
                                                : !item.change->SameState(now, item.after);
      if (changed) asked = true;
      if (changed && item.change->IsFile() && !IsAbsent(now) && !IsAbsent(item.before)) {
        switch (ask.FileConflict(item)) {
          case RestoreQuestions::FileChoice::Overwrite: break;
          case RestoreQuestions::FileChoice::KeepBoth: step.plan = Plan::WriteBeside; break;
          case RestoreQuestions::FileChoice::Skip:
            step.plan = Plan::Skip;
            step.outcome.reason = "已跳过：原位置有其他文件";
            break;
        }
      } else if (changed && !ask.ConfirmChanged(item, ChangedText(item, now))) {
        step.plan = Plan::Skip;
        step.outcome.reason = "已跳过：备份后又被改动过";
      }
      step.now = std::move(now);
      steps.push_back(std::move(step));
    }
    // 2. Machine-wide writes only once the user saw their data.
    std::vector<const SetItem*> machine;
    std::vector<std::string> data;
    for (const Step& step : steps)
      if ((step.plan == Plan::Write || step.plan == Plan::WriteBeside) &&
          step.item->change->MachineWide(env)) {
        machine.push_back(step.item);
        data.push_back(step.item->change->DescribeState(step.item->before));
      }
    if (!machine.empty()) asked = true;
    if (!machine.empty() && !ask.ConfirmMachineWide(machine, data))
      for (Step& step : steps)
        if ((step.plan == Plan::Write || step.plan == Plan::WriteBeside) &&
            step.item->change->MachineWide(env)) {
          step.plan = Plan::Skip;
          step.outcome.reason = "已取消";
        }
    // 3. The restore's own set: what it will overwrite or remove, saved first.
    ChangeEnv saveEnv = env;
    saveEnv.setFolder.clear();
    DeletionBackup undo(saveEnv, dataDir, set.tool);
    undo.SetRestoreOf(set.name);
    bool any = false;
    for (const Step& step : steps) {
      if (step.plan != Plan::Write) continue;  // a file kept beside overwrites nothing
      undo.SetCaption(step.item->caption);
      // What the item holds now is saved as read above, unless the user was asked something
      // in between (and may have changed it meanwhile): then it is read again.
      const bool saved = asked ? undo.Add(step.item->change->AtSamePlace(), true)
                               : undo.AddObserved(step.item->change->AtSamePlace(), step.now, true);
      if (!saved) {
        report.refused = kRestoreBackupFailedText;
        return report;
      }
      any = true;
    }
    if (any && !undo.Write(BackupStamp())) {
      report.refused = kRestoreBackupFailedText;
      return report;
    }
    if (any) report.undoFolder = undo.Folder();
    // 4. Write, then read back and compare.
    for (Step& step : steps) {
      if (step.plan == Plan::Write || step.plan == Plan::WriteBeside) {
        const SetItem& item = *step.item;
        try {
          if (step.plan == Plan::WriteBeside) {
            step.besidePath = item.change->RestoreBeside(env, item.before, item.saved);
          } else {
            item.change->Restore(env, item.before, item.saved);
          }
        } catch (const std::exception& e) {
          step.outcome.reason = e.what();
          report.items.push_back(step.outcome);
          continue;
        }
        bool same = false;
        try {
          if (step.plan == Plan::WriteBeside) {
            // The file kept beside is compared by its content.
            same = FileSha256(*env.files, step.besidePath) == item.before.value("sha256", "");
            step.outcome.reason = "已保留两者：" + step.besidePath;
          } else {
            step.readBack = item.change->Observe(env);
            same = item.change->SameState(step.readBack, item.before);
          }
        } catch (const std::exception& e) {
          step.outcome.reason = e.what();
        }
        step.outcome.back = same;
        if (!same && step.outcome.reason.empty()) step.outcome.reason = "读回的内容与备份不同";
      }
      report.items.push_back(step.outcome);
    }
    if (any) {
      // The restore's own set, one entry per item written, in the order they were added.
      std::vector<const nlohmann::json*> now;
      for (const Step& step : steps)
        if (step.plan == Plan::Write)
          now.push_back(step.readBack.is_null() ? nullptr : &step.readBack);
      undo.Seal(now);
    }
    // 5. Questions items ask once they are back.
    for (const Step& step : steps) {
      if (step.plan != Plan::Write || !step.outcome.back) continue;
      const std::string question = step.item->change->FollowUpQuestion(step.item->before);
      if (!question.empty() && ask.AskFollowUp(question)) {
        try {
          step.item->change->FollowUp(env, step.item->before);
        } catch (const std::exception&) {
        }
      }
    }
  } catch (const std::exception& e) {
    report.refused = std::string("恢复没有完成：") + e.what();
  }
  return report;
}

}  // namespace mt
