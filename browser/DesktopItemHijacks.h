// Fake browser icons on the desktop. Two kinds of item put them there:
// - a namespace item of the desktop (`Explorer\Desktop\NameSpace\{CLSID}`, HKCU, and HKLM in
//   both views) whose class (`Software\Classes\CLSID\{CLSID}` of HKCU or HKLM, or its
//   `WOW6432Node` twin) claims to be a browser, by its name, its icon or the program its
//   commands start, and whose commands open a web address or a program that is not that
//   browser;
// - an Internet shortcut (`.url`) on the user's or the public desktop whose name or icon
//   claims to be a browser: a browser is never a `.url`, so the file only looks like one.
// The system's own namespace items (kSystemNameSpaceItems) are never listed. The repair
// removes the namespace entry with every class key it names, or the file.
#pragma once

#include <string>
#include <vector>

#include "browser/BrowserTable.h"
#include "browser/Hijack.h"

namespace mt {

inline constexpr const char* kDesktopNameSpaceKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Desktop\\NameSpace";

// The namespace items Windows itself puts on the desktop or in Explorer's tree (Recycle Bin,
// This PC, Network, Control Panel, the user's files, Libraries, OneDrive, Internet Explorer's
// own item...), braced, upper case.
extern const std::vector<const char*> kSystemNameSpaceItems;
bool IsSystemNameSpaceItem(const std::string& clsid);

// The browser that `text` (a name, a file name without its extension) claims to be: a name
// of the browser table (as a whole word for Latin names: "Edge" is not in "Knowledge"), or
// the plain words for a browser, which claim no browser in particular (the result's `exe`
// is then empty). Null when it claims none.
const KnownBrowser* BrowserClaimedBy(const std::string& text);

// The class keys of `clsid` that exist: HKCU and HKLM `Software\Classes\CLSID\<clsid>` and
// `Software\Classes\WOW6432Node\CLSID\<clsid>`, each named in its native view.
std::vector<std::pair<RegRoot, std::string>> ClassKeysOf(RegistryBackend& registry,
                                                         const std::string& clsid);

std::vector<Hijack> FindDesktopNameSpaceHijacks(RegistryBackend& registry,
                                                const InstalledBrowsers& installed);
// `.url` files of the Desktop and PublicDesktop folders of `shortcuts`.
std::vector<Hijack> FindDesktopUrlHijacks(ShortcutFiles& shortcuts, FileSystem& files,
                                          const InstalledBrowsers& installed);

const HijackModule& DesktopItemHijacks();

}  // namespace mt
