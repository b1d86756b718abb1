// Backups taken before the tools change anything. Each action saves the state of what it is
// about to delete or overwrite in a folder of its own, named by the date and time, below
// "备份" in the folder the program writes into (beside the program, or per-user:
// app/DataPlaces.h). The set's manifest ("备份清单.json") records every item (app/Change.h)
// for the restore window; beside it, for restoring by hand, registry values and keys as a
// registry export file ("注册表.reg", the text the registry editor itself exports, so that a
// double click puts them back), files the action deletes or rewrites (shortcuts, a browser's
// policies file) as copies, and scheduled tasks' exported definitions with a script that
// registers them again. When the set cannot be written, the action is called off before
// anything is changed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <memory>

#include <nlohmann/json.hpp>

#include "app/Change.h"
#include "app/Registry.h"
#include "app/Services.h"

namespace mt {

inline constexpr const char* kBackupFolderName = "备份";
inline constexpr const char* kBackupRegFileName = "注册表.reg";
// The record of every item of a set (JSON): what the restore window lists and restores.
inline constexpr const char* kBackupManifestName = "备份清单.json";
// The command script that brings back what the set holds beside the export file (scheduled
// tasks). GBK (code page 936), switched to with chcp first.
inline constexpr const char* kBackupRestoreScriptName = "恢复计划任务.cmd";
inline constexpr const char* kBackupFailedText =
    "无法保存备份，为防止数据丢失，本次没有删除任何项目";
inline constexpr const char* kOpenBackupFolderText = "打开备份文件夹";

// "<folder>\备份".
std::string BackupRoot(const std::string& folder);

// The key as the registry editor names it: the root's full name and the key's physical path,
// so that a key of the 32-bit view under HKEY_LOCAL_MACHINE\SOFTWARE reads
// "HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\...". `path` may start with "\".
std::string RegFileKeyName(RegRoot root, const std::string& path, RegView view);

// The keys RegFileKeyName leaves in place for the 32-bit view: those directly below
// HKLM\SOFTWARE that both views share, and (below HKCR) the class keys that WOW64 redirects
// to WOW6432Node.
bool SharedBelowSoftware(const std::string& part);
bool RedirectedClassKey(const std::string& part);

// One value line (or several, for long hexadecimal data) of an export file, ending in CRLF.
// Text is written quoted, with "\" and """ escaped; text holding a line break, expandable
// text, binary data and other types are written as hex(1):, hex(2):, hex: and hex(N): with
// their bytes in the registry's UTF-16LE form, wrapped as the registry editor wraps them.
std::string RegFileValueLine(const std::string& name, const RegValue& value);

// A registry export file being put together.
class RegFileText {
 public:
  // A key header and the given values (name, value) below it.
  void AddKey(const std::string& keyName,
              const std::vector<std::pair<std::string, RegValue>>& values);
  // "[-key]": importing the file deletes the key with everything below it.
  void AddKeyDeletion(const std::string& keyName);
  // The key header and "name"=-: importing the file deletes that one value.
  void AddValueDeletion(const std::string& keyName, const std::string& name);
  bool Empty() const { return body_.empty(); }
  // The whole file: "Windows Registry Editor Version 5.00", the keys, each followed by an
  // empty line; CRLF line ends.
  std::string Text() const;
  // The file's bytes: UTF-16LE with a byte-order mark.
  std::string Bytes() const;

 private:
  std::string body_;
};

// The backup of one action. Record everything first, then Write(); only when it succeeded
// does the caller change anything (the set holds copies: the originals are the caller's to
// remove). Once the action is done, Seal() records the state it left and seals the set.
//
// Each item is a Change (app/Change.h) kept in the set's manifest (kBackupManifestName) with
// the tool, the caption its row showed, its place and the state before; the export file, the
// copies and the task script are written as well, so a set still restores by hand.
class DeletionBackup {
 public:
  // `dataDir`: the folder that holds "备份" (DataFolder, app/DataPlaces.h). `tool`: the
  // manifest's name of the tool making the change ("startup", "browser", "vdrive").
  DeletionBackup(const ChangeEnv& env, std::string dataDir, std::string tool);
  DeletionBackup(RegistryBackend& registry, FileSystem& files, std::string dataDir);
  ~DeletionBackup();

  // The caption of the items saved from now on: the words of the row the user ticked.
  void SetCaption(std::string caption) { caption_ = std::move(caption); }

  // Saves the item's state before. An item that does not exist is left out unless
  // `keepAbsent` (an overwrite: the restore then removes what the action adds). False when
  // it could not be read whole: the action must not go on.
  bool Add(std::unique_ptr<Change> change, bool keepAbsent = false);
  // The same with the state before already read by the caller (a restore has just observed
  // every item it is about to write): saves without reading it again.
  bool AddObserved(std::unique_ptr<Change> change, nlohmann::json before, bool keepAbsent);

  // The value as it is now; nothing when it does not exist.
  void SaveValue(RegRoot root, RegView view, const std::string& keyPath, const std::string& name);
  // The key with its values and all its subkeys; nothing when it does not exist.
  void SaveKey(RegRoot root, RegView view, const std::string& keyPath);
  // A value the action is about to write: as it is now, or, when it does not exist yet, a
  // line that deletes it on import; when its key does not exist, the outermost missing key
  // on the path, deleted on import. So importing the set takes back what the action adds.
  // A key that exists but cannot be opened is recorded not at all.
  void SaveOverwrite(RegRoot root, RegView view, const std::string& keyPath,
                     const std::string& name);
  // A file to be copied into the set by Write; a path that is not a file is left out. Two
  // files of one name get numbered names in the set. `label`: the manifest's kind.
  void SaveFile(const std::string& path, const std::string& label = "file");
  bool Empty() const { return records_.empty(); }
  size_t Count() const { return records_.size(); }
  // True when the set already holds an item of `kind` at `place` (as Change names them):
  // several rows that change one file save it once, as it was before any of them.
  bool Holds(const std::string& kind, const std::string& place) const;

  // ---- for the kinds, while their Save runs ------------------------------------------------
  // The state before of the item being saved: what Add observed just before it called Save
  // (null outside a Save).
  const nlohmann::json& Before() const;
  // The set's registry export file.
  RegFileText& Reg() { return reg_; }
  // Copies `path` into the set when it is written; the copy's name goes into the item's
  // saved state as "copy".
  void AddCopy(const std::string& path);
  // A file of the set written from `bytes` (a scheduled task's exported definition) under
  // `name`, or a numbered name when the set holds that name already; its name goes into the
  // item's saved state as "file". With `restoreLine`, the set also gets the script
  // kBackupRestoreScriptName, one line per such file: what `restoreLine` makes of the name
  // the file got, so that a double click puts them all back.
  void AddText(const std::string& name, std::string bytes,
               std::function<std::string(const std::string& savedName)> restoreLine = nullptr);

  // Writes the set (the manifest, the export file, copies of the files) into a new folder
  // named by `stamp` (see BackupStamp). False when any of it could not be written.
  bool Write(const std::string& stamp);
  // Records the state each item is in now (what the action left) in the manifest and seals
  // it when the seal's secret can be had. False when the manifest could not be rewritten
  // (the set still restores, asking about every item).
  bool Seal();
  // The same with the states the caller has just read itself, one per item in the order they
  // were added (a restore reads every item back right after writing it); an item whose state
  // is missing there is observed again.
  bool Seal(const std::vector<const nlohmann::json*>& now);
  // The folder the last Write made (empty before).
  const std::string& Folder() const { return folder_; }
  // Where the copy of `path` went in the set (empty when it was not saved).
  std::string CopyOf(const std::string& path) const;
  // Marks the set as the one a restore made before writing (listed, but left out of
  // "restore everything the tools did").
  void SetRestoreOf(std::string folderName) { restoreOf_ = std::move(folderName); }

 private:
  struct Record;
  nlohmann::json ManifestJson(bool withAfter);
  bool WriteManifest(bool withAfter);

  ChangeEnv env_;
  std::string exeDir_;
  std::string tool_;
  std::string caption_;
  std::string stamp_;
  std::string restoreOf_;
  RegFileText reg_;
  std::vector<std::pair<std::string, std::string>> files_;  // original, name in the set
  struct Text {
    std::string asked, name, bytes;  // the name asked for, the name in the set, the content
    std::function<std::string(const std::string&)> restoreLine;
  };
  std::vector<Text> texts_;
  std::vector<std::unique_ptr<Record>> records_;
  Record* current_ = nullptr;
  std::vector<std::string> written_;  // names of the files the set holds
  std::string folder_;
};

// The local date and time as a folder name: "2026-12-08 15.54.00".
std::string BackupStamp();

// Shows the backup folder in the shell, creating it first when missing.
void OpenBackupFolder(Services& svc, WindowRef owner);

}  // namespace mt
