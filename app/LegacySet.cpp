#include "app/LegacySet.h"

#include "app/Backup.h"
#include "app/ChangeRegistry.h"
#include "app/Error.h"
#include "app/RegFileReader.h"
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
  const std::string regFile = set.folder + "\\" + kBackupRegFileName;
  if (!files.FileExists(regFile)) return;
  const std::string bytes = ReadAllBytes(files, regFile, 64u << 20);
  // Each line of the file is one item; a key header alone (a key the set only names) adds
  // nothing to restore.
  for (const RegFileEntry& entry : ReadRegFile(bytes)) {
    const std::string where = "第 " + std::to_string(entry.line) + " 行：";
    if (!RegistryPlaceAllowed(entry.root, entry.keyPath))
      throw AppError(where + "位置不在本程序修改的范围内：" + entry.keyPath);
    SetItem item;
    item.tool = set.tool;
    switch (entry.op) {
      case RegFileEntry::Op::SetValue:
        item.change = std::make_unique<RegistryValueChange>(entry.root, entry.view, entry.keyPath,
                                                            entry.name);
        item.before = nlohmann::json{{"type", entry.value.type},
                                     {"data", HexOf(entry.value.bytes)}};
        break;
      case RegFileEntry::Op::DeleteValue:
        item.change = std::make_unique<RegistryValueChange>(entry.root, entry.view, entry.keyPath,
                                                            entry.name);
        item.before = AbsentState();
        break;
      case RegFileEntry::Op::DeleteKey:
        item.change = std::make_unique<RegistryTreeChange>(entry.root, entry.view, entry.keyPath);
        item.before = AbsentState();
        break;
      case RegFileEntry::Op::Key: continue;
    }
    item.kind = item.change->Kind();
    item.caption = ReadableUtf8(item.change->Place());
    item.saved = nlohmann::json::object();
    set.items.push_back(std::move(item));
  }
}

}  // namespace mt
