// The backup sets as the restore window lists them: every folder below "备份", newest first,
// read with its manifest (or, for sets of earlier versions, its registry export file) and
// judged before anything of it is offered for restoring.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/Change.h"

namespace mt {

inline constexpr const char* kLegacySetText = "旧版备份";
inline constexpr const char* kDamagedSetText = "已损坏";
inline constexpr const char* kUnknownPlaceText = "原位置未知";

struct SetItem {
  std::unique_ptr<Change> change;
  std::string tool, kind, caption;
  nlohmann::json before, saved, after;  // after: null when the set does not know it
};

// What a set's seal is checked against, kept when the check is left for later.
struct SealEvidence;

struct BackupSetInfo {
  std::string folder;     // full path
  std::string name;       // the folder's name: the date and time it was made
  std::string tool;       // "startup", "browser", "vdrive"; empty when unknown
  std::string restoreOf;  // made by a restore of this set (its name); empty otherwise
  bool legacy = false;    // written by an earlier version: no manifest
  bool sealed = false;    // its seal was checked and holds
  // A seal not checked yet (read with SealCheck::Later): CheckSeal checks it.
  std::shared_ptr<const SealEvidence> sealToCheck;
  // Why nothing of the set may be restored ("已损坏" and the first bad line); empty when it
  // may be.
  std::string damage;
  std::vector<SetItem> items;
  // Sets of earlier versions: copies of files whose place nothing recorded.
  std::vector<std::string> unplacedFiles;
};

// The folders of the sets below `dataDir`'s "备份", newest first (their names are the date
// and time they were made).
std::vector<std::string> BackupSetFolders(FileSystem& files, const std::string& dataDir);

// When a set's seal is checked: while it is read, or when it is shown or restored. Checking
// digests every file of the set; a list of many sets leaves it to the one the user looks at.
enum class SealCheck { Now, Later };

// Reads one set; never throws (what cannot be read becomes `damage`). `env.setFolder` is
// ignored; `env.sealKeys` checks the seal.
BackupSetInfo ReadBackupSet(const ChangeEnv& env, const ChangeKinds& kinds,
                            const std::string& folder, SealCheck check = SealCheck::Now);

// Whether the set's seal holds, checking it now when it was left for later. Never throws.
// A check that finds the set damaged (a folder inside it) says why in `damage`.
bool SealHolds(const ChangeEnv& env, const BackupSetInfo& set, std::string* damage = nullptr);
// Checks a seal left for later and records the answer in `set.sealed`, or the damage it
// found in `set.damage` (and then no items).
void CheckSeal(const ChangeEnv& env, BackupSetInfo& set);

// The tool's name as the window shows it ("系统启动项"...).
std::string ToolTitle(const std::string& tool);

}  // namespace mt
