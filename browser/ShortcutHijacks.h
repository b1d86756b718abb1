// Browser shortcuts that carry an address or impersonate a browser, and shortcut files that
// cannot be read.
#pragma once

#include <vector>

#include "browser/Hijack.h"

namespace mt {

// The shortcuts of every folder `shortcuts` names (each folder once); `files` lists them.
std::vector<Hijack> FindShortcutHijacks(ShortcutFiles& shortcuts, FileSystem& files,
                                        const InstalledBrowsers& installed);

// Why a shortcut file could not be read, for its row: it cannot be opened, or it holds no
// shortcut.
inline constexpr const char* kNotAShortcut = "文件内容不是有效的快捷方式";

const HijackModule& ShortcutHijacks();

}  // namespace mt
