// What other programs set to take over today's browsers, beside the Internet Explorer
// add-ons: policy values of Edge, Chrome, Chromium and Brave in both policy roots, device-
// management enrolments that no server stands behind (without which the browsers ignore the
// sensitive policies on a home PC), browser shortcuts that carry an address or point at
// something else, and Firefox's policies.json. Each finding becomes one row of the add-on
// list; its repair saves what it changes in the backup set first.
#pragma once

#include <string>
#include <vector>

#include "app/Registry.h"
#include "app/Services.h"
#include "browser/Shortcuts.h"

namespace mt {

class DeletionBackup;

// Where the policies of each browser live, below HKLM and HKCU. HKLM\SOFTWARE\Policies is a
// key that WOW64 shares between the two views, so the native view reads what a 32-bit
// program wrote there too.
struct PolicyStore {
  const char* browser;  // as the row names it
  const char* key;      // below the root
  const char* exe;      // the browser whose icon the row shows
  bool recommended;
};
extern const std::vector<PolicyStore> kPolicyStores;

// The policy names the tab looks at and the type each must have. A list policy is a subkey
// whose values "1", "2", ... hold the entries.
enum class PolicyType { Text, Flag, Number, Json, List };
struct PolicyName {
  const char* name;
  PolicyType type;
  const char* what;  // as the row says it
};
extern const std::vector<PolicyName> kPolicyNames;

inline constexpr const char* kEnrollmentsKey = "SOFTWARE\\Microsoft\\Enrollments";
inline constexpr const char* kOmadmAccountsKey =
    "SOFTWARE\\Microsoft\\Provisioning\\OMADM\\Accounts";

// A browser that shortcuts are checked for: its program file, the name rows use and the
// names its own shortcuts carry.
struct KnownBrowser {
  const char* exe;
  const char* name;
  std::vector<const char*> shortcutNames;
};
extern const std::vector<KnownBrowser> kKnownBrowsers;
// The browser whose program file `exeName` is (case-insensitive), or null.
const KnownBrowser* BrowserByExe(const std::string& exeName);

// Where each installed browser's program is, from App Paths (the machine's, in both views,
// and the user's), for the browsers whose file exists.
struct InstalledBrowsers {
  std::vector<std::pair<std::string, std::string>> paths;  // exe name, full path
  std::string PathOf(const std::string& exe) const;
};
InstalledBrowsers FindInstalledBrowsers(RegistryBackend& registry, FileSystem& files);

enum class HijackKind { Policy, PolicyList, Enrolment, Shortcut, FirefoxPolicies };
enum class ShortcutRepair { StripAddress, Retarget, Delete };

struct Hijack {
  HijackKind kind = HijackKind::Policy;
  std::string caption;   // column 1
  std::string where;     // column 2: the registry path or the file
  std::string action;    // column 3: what the repair does
  std::string iconPath;  // file whose icon the row shows; empty for none
  // Policy: the value `value` of `key`; PolicyList: the key `key`; Enrolment: the
  // enrolment's id in `value`. All in the native view.
  RegRoot root = RegRoot::LocalMachine;
  std::string key, value;
  // Shortcut and FirefoxPolicies: the file.
  std::string path;
  ShortcutRepair repair = ShortcutRepair::Delete;
  // False for a finding the tab can only show (a policies.json too large to read).
  bool repairable = true;
  ShellLinkData repaired;    // what the shortcut holds after StripAddress or Retarget
  std::string repairedText;  // FirefoxPolicies: the file's new text
};

// The policy values and list keys of every browser in both roots. A value of the wrong type
// still gives a row (the browser ignores it, but it is a leftover of the same hijack); a
// list key gives one row however many entries it holds.
std::vector<Hijack> FindPolicyHijacks(RegistryBackend& registry,
                                      const InstalledBrowsers& installed);

// Enrolments (HKLM, native view) that no management server stands behind: an active entry
// of the Enrollments key, or an account of the OMA-DM client, in which no value anywhere
// names a server address.
std::vector<Hijack> FindFakeEnrolments(RegistryBackend& registry);

// Browser shortcuts in the known folders that carry an address or impersonate a browser,
// and shortcut files that cannot be read.
std::vector<Hijack> FindShortcutHijacks(ShortcutFiles& shortcuts, FileSystem& files,
                                        const InstalledBrowsers& installed);

// The most bytes of policies.json the tab reads; a larger file gives a row of its own.
inline constexpr size_t kMaxPoliciesJson = 1024 * 1024;
// "distribution\policies.json" beside each installed firefox.exe, when it sets a home page,
// start page, new-tab page, search engine or extensions.
std::vector<Hijack> FindFirefoxPolicies(FileSystem& files, const InstalledBrowsers& installed);

// Everything above, in that order.
std::vector<Hijack> FindBrowserHijacks(Services& svc);

// True when repairing `h` changes what belongs to the whole machine, which needs
// administrator rights: an HKLM policy or enrolment, Firefox's policies.json in the
// program's folder, a shortcut in one of `folders` that all users share (the public Desktop,
// the common Start menu).
bool IsMachineWide(const Hijack& h, const std::vector<ShortcutFolder>& folders);

// Records in `backup` what repairing `h` changes or removes.
void SaveHijack(DeletionBackup& backup, const Hijack& h);
// Undoes `h`. Throws AppError when it cannot be done.
void RepairHijack(Services& svc, const Hijack& h);

}  // namespace mt
