// Policy values of Edge, Chrome, Chromium and Brave below HKLM and HKCU that set the pages,
// the search engine or the extensions.
#pragma once

#include <vector>

#include "browser/Hijack.h"

namespace mt {

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

// The policy values and list keys of every browser in both roots. A value of the wrong type
// still gives a row (the browser ignores it, but it is a leftover of the same hijack); a
// list key gives one row however many entries it holds. A value's row names `value`, a list
// key's row leaves it empty.
std::vector<Hijack> FindPolicyHijacks(RegistryBackend& registry,
                                      const InstalledBrowsers& installed);

const HijackModule& PolicyHijacks();

}  // namespace mt
