#include "app/LegacySet.h"

#include "app/Backup.h"
#include "app/ChangeRegistry.h"
#include "app/Error.h"
#include "app/Text.h"

namespace mt {

void ReadLegacySet(const ChangeEnv& env, BackupSetInfo& set) {
  FileSystem& files = *env.files;
  for (const FindEntry& entry : files.Find(set.folder, "*")) {
    if (entry.isDirectory) continue;
    if (entry.name == kBackupRegFileName || EqualsNoCase(entry.name, kBackupRestoreScriptName))
      continue;
    set.unplacedFiles.push_back(set.folder + "\\" + entry.name);
  }
  // The export file's entries come with the registry export reader.
}

}  // namespace mt
