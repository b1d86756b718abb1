// The profiles of the browsers built on Chromium as files: where each browser keeps its
// "User Data", the profiles its "Local State" names, and reading and rewriting a profile's
// "Preferences" and "Secure Preferences" with every key kept in its order.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "app/Services.h"

namespace mt {

// A browser whose profiles are in Chromium's format.
struct ChromiumBrowser {
  const char* name;     // as the rows name it
  const char* exe;      // its program file: the one that must not run during a repair
  bool roaming;         // "User Data" below the roaming application data (else the local)
  const char* dataDir;  // "User Data" below that folder
  const char* macKey;   // HKCU key holding the registry copy of the integrity entries;
                        // empty: the browser keeps none there
  std::vector<std::string> ownHosts;  // hosts of the browser's own pages and search
};
extern const std::vector<ChromiumBrowser> kChromiumBrowsers;

// The most bytes of a profile file that are read; a larger one is refused.
inline constexpr uint64_t kMaxProfileFile = 16ull * 1024 * 1024;

enum class PrefRead { Ok, Missing, TooLarge, Unreadable, NotJson };

// Reads a JSON settings file into `doc`. Not an object, not UTF-8 JSON, or larger than
// kMaxProfileFile: nothing is parsed.
PrefRead ReadPrefFile(FileSystem& files, const std::string& path, nlohmann::ordered_json& doc);
// The words a row uses for a file that could not be read.
std::string PrefReadProblem(PrefRead r);

struct ChromiumProfile {
  std::string dir;   // folder name below "User Data" ("Default", "Profile 1")
  std::string name;  // as the browser shows it; the folder name when it has none
};
// The profiles named by "Local State" (`profile.info_cache`), in its order. `problem` is set
// when Local State is there but cannot be used; then (and when it is missing) "Default" is
// the one profile. Names that could lead outside "User Data" are left out.
std::vector<ChromiumProfile> ChromiumProfilesOf(FileSystem& files, const std::string& userData,
                                                std::string& problem);

// The value at a dotted path ("session.startup_urls"), or null.
const nlohmann::ordered_json* PrefAt(const nlohmann::ordered_json& doc, const std::string& path);
// Removes the value at a dotted path; true when there was one.
bool ErasePref(nlohmann::ordered_json& doc, const std::string& path);
// Removes every integrity entry for the value at `path` held in the file: in each object
// below "protection" (the MACs and the encrypted hashes), the entry at `path` and the one
// named with "_encrypted_hash" after it. True when any was there.
bool EraseIntegrity(nlohmann::ordered_json& doc, const std::string& path);
// The file's text as the browser writes it: compact, keys in their order.
std::string PrefText(const nlohmann::ordered_json& doc);

// The host of an address, in small letters, without "www."; empty when it has none.
std::string UrlHost(const std::string& url);
// True when `url` is one of the browser's own pages: its internal pages, a blank page, or a
// page of one of its own hosts (or their subdomains).
bool IsOwnAddress(const ChromiumBrowser& browser, const std::string& url);

}  // namespace mt
