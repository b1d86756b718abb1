// The program's own settings: "config.ini" (section "DS_config"; where: app/DataPlaces.h) and
// the per-user Product key "\Software\MRTKBOX" with its launch counter "cs". Every access
// opens, reads or writes, and closes; nothing is cached.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/Services.h"

namespace mt {

inline constexpr const char* kSettingsSection = "DS_config";
inline constexpr const char* kKeyFirstRun = "firstrun";
inline constexpr const char* kKeySjtx = "sjtx";
inline constexpr const char* kKeySjtxVer = "sjtxver";
inline constexpr const char* kProductKey = "\\Software\\MRTKBOX";
inline constexpr const char* kLaunchCounterValue = "cs";

// Boolean rules of the settings file: decimal, or hex with "0x"/"0X" when longer than two
// characters; non-zero is true; anything that is not a number gives `def`.
bool ParseProfileBool(const std::string& text, bool def);

// An INI file opened by path, like the profile-file object of the platform library. With a
// fallback file, a key that `path` does not have is read from the fallback; writes go to
// `path` only.
class TIniFile {
 public:
  TIniFile(ProfileStore& store, std::string path, std::string fallback = "")
      : store_(store), path_(std::move(path)), fallback_(std::move(fallback)) {}
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& def);
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  bool ReadBool(const std::string& section, const std::string& key, bool def);
  void WriteBool(const std::string& section, const std::string& key, bool value);
  const std::string& FileName() const { return path_; }

 private:
  ProfileStore& store_;
  std::string path_;
  std::string fallback_;
};

// folder + "\config.ini".
std::string SettingsFilePath(const std::string& folder);

// The program's settings file as ChooseSettingsFiles (app/DataPlaces.h) picks it now; the
// per-user folder is made when the settings go there and it is missing.
TIniFile ProgramSettings(Services& svc);

}  // namespace mt
