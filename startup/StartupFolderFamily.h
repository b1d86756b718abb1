// The two Startup folders, the user's and all users': a row per shortcut file. "删除" moves
// the shortcut into the backup set (a copy kept, the file removed); "禁用"/"启用" write the
// system's own on/off record under StartupApproved\StartupFolder.
#pragma once

#include <string>

#include "startup/StartupFamily.h"

namespace mt {

inline constexpr const char* kShellFoldersPath =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
// Where the all-users Startup folder sits below the Windows directory's parent on the
// Chinese-language systems the program was first made for.
inline constexpr const char* kCommonStartupTail =
    "Documents and Settings\\All Users\\「开始」菜单\\程序\\启动";

// The user Startup folder: "Shell Folders"\"Startup", or the platform's own when that value
// is missing or empty. Empty when neither is known.
std::string UserStartupFolder(const StartupContext& ctx);
// The common Startup folder: the fixed path below the Windows directory's parent when it is
// a real folder that can be listed, otherwise the platform's own all-users Startup folder.
std::string CommonStartupFolder(const StartupContext& ctx);
// The fixed path (with its trailing backslash) the common folder is looked for at first.
std::string FixedCommonStartupPath(StartupPlaces& places);

const StartupFamily& StartupFolderFamily();

}  // namespace mt
