// Firefox's settings as files: the profiles that "profiles.ini" names, the preference calls
// of a profile's "prefs.js" and "user.js" (and of the install folder's "defaults\pref" files
// and the autoconfig file they name), and taking one call out with every other byte kept.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/Services.h"

namespace mt {

inline constexpr const char* kFirefoxExe = "firefox.exe";
inline constexpr const char* kFirefoxHomePage = "browser.startup.homepage";

// The most bytes of a settings file that are read; a larger one is refused.
inline constexpr uint64_t kMaxFirefoxPrefFile = 16ull * 1024 * 1024;

// One call that sets a preference: `user_pref("name", value);` and its kin.
struct PrefCall {
  std::string function;  // as written: "user_pref", "pref", "lockPref", "defaultPref"...
  std::string name;      // the preference's name, escapes resolved
  bool isString = false;
  std::string value;  // a string's text with its escapes resolved, else the token as written
  size_t begin = 0;   // the call's bytes: from its function name through ")" and a ";" after it
  size_t end = 0;
};

// Every call of one of `functions` in `text`, in order. Comments ("//", "/* */", "#") and
// string literals are skipped, so a call inside either is not one. Strings may be quoted with
// " or ' and hold the escapes \" \' \\ \n \r \t \xHH and \uHHHH. The bytes are read as they
// are: text in another encoding than UTF-8 keeps its bytes in the names and values.
std::vector<PrefCall> FindPrefCalls(const std::string& text,
                                    const std::vector<std::string>& functions);

// `text` without `call`: when the call is alone on its line (blanks around it), the whole line
// goes with its line end ("\r\n", "\n" or "\r"); otherwise only the call's bytes. Every other
// byte stays as it was.
std::string CutPrefCall(const std::string& text, const PrefCall& call);

// A value as a row shows it: UTF-8 as it is, other bytes read as GBK (the ANSI code page of
// the Chinese systems, which a program writing the file may have used).
std::string PrefShown(const std::string& bytes);

// True when every page of a home-page value ("|" between several) is one of Firefox's own:
// its about: pages, an empty value, or a page of Mozilla's own sites.
bool IsFirefoxOwnHomePage(const std::string& value);

enum class FirefoxRead { Ok, Missing, TooLarge, Unreadable, NotText };
// Reads a settings file whole. Larger than kMaxFirefoxPrefFile: nothing is read. UTF-16 (a
// byte-order mark, or NUL bytes) is not text Firefox reads: NotText.
FirefoxRead ReadFirefoxFile(FileSystem& files, const std::string& path, std::string& text);
// The words a row uses for a file that could not be read.
std::string FirefoxReadProblem(FirefoxRead r);

struct FirefoxProfile {
  std::string name;  // as profiles.ini names it; its folder's name when it has none
  std::string dir;   // the folder, full path with "\"
};
// The profiles "profiles.ini" in `firefoxData` (the roaming "Mozilla\Firefox") names, in its
// order, each folder once: a relative Path= below `firefoxData`, an absolute one as written.
// A relative path with "." or ".." parts is left out. `problem` is set when the file is
// there but cannot be read.
std::vector<FirefoxProfile> FirefoxProfilesOf(FileSystem& files, const std::string& firefoxData,
                                              std::string& problem);

}  // namespace mt
