// Folder-to-drive mappings: a subst drive made at once, and a Mapping entry in the machine Run
// key ("x:" = subst x: "D:\Data") that makes it again at every log-on. The Run key is the only
// record of which mappings exist.
//
// On 64-bit Windows the machine Run key has two views, and the system runs the entries of
// both at log-on. The old 32-bit version of this tool wrote its entries in the 32-bit view;
// this one writes the native view. The list shows a letter with an entry in either view, and
// a removal clears the letter from both.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/Services.h"
#include "vdrive/ProcessStarter.h"

namespace mt {

// The machine Run key, relative to HKEY_LOCAL_MACHINE: where a mapping is started at log-on.
inline constexpr const char* kMappingKeyPath = "software\\microsoft\\windows\\currentversion\\run";
inline constexpr const char* kSubstProgram = "subst.exe";

inline constexpr const char* kMsgDriveListed = "已存在此盘，请选择另外分区";
inline constexpr const char* kMsgNoFolder = "请确定你选择了要虚拟的文件夹";
inline constexpr const char* kMsgBadDriveText = "盘符不正确，请填写一个字母加冒号，例如 x:";
inline constexpr const char* kMsgBadFolderText = "文件夹路径中不能含有双引号";
inline constexpr const char* kMsgRunKeyRefused = "被杀毒软件拦截，修改不成功";

// "a:" .. "z:": the items of the drive box and the value names the list probes.
const std::vector<std::string>& DriveLetterTable();

// One ASCII letter (either case) followed by ":".
bool IsDriveText(const std::string& text);

// Arguments of subst for a mapping ("x: \"D:\\My Data\"", the folder quoted by
// QuoteArgument, so "D:\" ends in a doubled backslash) and for its removal ("x: /d").
std::string MappingArguments(const std::string& drive, const std::string& folder);
std::string RemovalArguments(const std::string& drive);
// Data of the Mapping entry: "subst " + the mapping arguments.
std::string MappingEntryData(const std::string& drive, const std::string& folder);

// What the page's handlers need besides their control contents.
struct VdriveContext {
  RegistryBackend& registry;
  MessageBoxes& messages;
  ProcessStarter& starter;
  WindowRef owner;       // the Main window
  std::string appTitle;  // caption of the plain empty-folder notice
  // Where a removal saves the Mapping entries it deletes (the folder that holds "备份",
  // DataFolder of app/DataPlaces.h); without a file system nothing is saved.
  FileSystem* files = nullptr;
  std::string exeDir;
  SealKeyStore* sealKeys = nullptr;  // seals the set (none: unsealed)
  // Whether the machine Run key may be written (app/AdminRights.h). Without the rights a
  // mapping is neither made nor removed: the Run key, which makes it again at every log-on,
  // could not follow the change.
  bool adminRights = true;
};

// Runs subst hidden in this process's session and, when the desktop runs in another session,
// there as well, so that Explorer shows the change at once.
void StartSubst(ProcessStarter& starter, const std::string& arguments);

// "建立": checks the drive text against the listed letters (byte for byte), the folder text,
// and the form of the drive text; without administrator rights it then says they are needed
// and stops; otherwise it starts the mapping and writes the Mapping entry in the
// native view, removing an older entry of that letter from the 32-bit view so that only one
// command runs for it at log-on.
// True when the list is to be refreshed (the checks passed), false when a check stopped it.
bool CreateMapping(VdriveContext& ctx, const std::vector<std::string>& listed,
                   const std::string& driveText, const std::string& folderText);

// "删除": saves the Mapping entries of listed[selected] in a backup set, then removes the
// mapping and its entries in both views. Throws "List index out of bounds (%d)" when nothing
// (or something outside the list) is selected. Without administrator rights, or when the
// backup cannot be written, the user is told so and nothing is removed.
void RemoveMapping(VdriveContext& ctx, const std::vector<std::string>& listed, int selected);

// The refresh: probes "a:" .. "z:" in both views of the Run key and calls `add` once for each
// letter whose value is non-empty text in either. A value that is not text throws
// "Invalid data type for '%s'" at that letter, after the letters before it have been added.
void ListMappedDrives(RegistryBackend& registry,
                      const std::function<void(const std::string&)>& add);

}  // namespace mt
