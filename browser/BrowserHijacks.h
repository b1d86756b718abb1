// What other programs set to take over today's browsers, beside the Internet Explorer
// add-ons: policy values of Edge, Chrome, Chromium and Brave in both policy roots, device-
// management enrolments that no server stands behind, browser shortcuts that carry an
// address or point at something else, Firefox's policies.json and extensions installed
// through the browsers' external-extension keys, image hijacks of the browsers' program
// files, and what redirects them: the user's system proxy and hosts-file lines for
// well-known sites, and fake browser icons on the desktop. Each kind is a module of
// its own (browser/Hijack.h); this is the list of them and what the page calls.
#pragma once

#include <vector>

#include "app/Services.h"
#include "browser/BrowserImageHijacks.h"
#include "browser/BrowserTable.h"
#include "browser/ChromiumProfileHijacks.h"
#include "browser/DesktopItemHijacks.h"
#include "browser/EnrolmentHijacks.h"
#include "browser/ExtensionKeyHijacks.h"
#include "browser/FirefoxAutoconfigHijacks.h"
#include "browser/FirefoxPolicyHijacks.h"
#include "browser/FirefoxProfileHijacks.h"
#include "browser/Hijack.h"
#include "browser/HostsHijacks.h"
#include "browser/InstalledBrowsers.h"
#include "browser/PolicyHijacks.h"
#include "browser/ProxyHijacks.h"
#include "browser/ShortcutHijacks.h"

namespace mt {

// The kinds, in the order their rows follow each other.
const std::vector<const HijackModule*>& HijackModules();

// The findings of every kind.
std::vector<Hijack> FindBrowserHijacks(Services& svc);

// True when repairing `h` changes what belongs to the whole machine, which needs
// administrator rights: an HKLM policy or enrolment, Firefox's policies.json in the
// program's folder, a shortcut in one of `folders` that all users share (the public Desktop,
// the common Start menu).
bool IsMachineWide(const Hijack& h, const std::vector<ShortcutFolder>& folders);

// Records in `backup` what repairing `h` changes or removes.
void SaveHijack(DeletionBackup& backup, const Hijack& h);
// Why `h` cannot be repaired now (its browser runs); empty when it can. The apply neither
// saves nor repairs a refused finding.
std::string HijackRefusal(Services& svc, const Hijack& h);
// Undoes `h`. Throws AppError when it cannot be done.
void RepairHijack(Services& svc, const Hijack& h);

}  // namespace mt
