// Backup sets of earlier versions: no manifest, only the registry export file "注册表.reg",
// copies of files and saved task definitions. Their export file is read as the program wrote
// it and each line becomes an item restored through the registry API; their copies are
// listed with "原位置未知" (nothing recorded where they came from).
#pragma once

#include "app/BackupSets.h"

namespace mt {

// Fills set.items and set.unplacedFiles; throws AppError naming the first bad line.
void ReadLegacySet(const ChangeEnv& env, BackupSetInfo& set);

}  // namespace mt
