#include "app/Settings.h"

#include <cstdlib>

#include "app/DataPlaces.h"
#include "app/Text.h"

namespace mt {

bool ParseProfileBool(const std::string& text, bool def) {
  // Integer conversion of the stored text: decimal, or hexadecimal with a "0x"/"0X" prefix
  // when the text is longer than two characters.
  std::string t = text;
  long long value = 0;
  bool hex = t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X');
  std::string digits = hex ? t.substr(2) : t;
  size_t i = 0;
  bool negative = false;
  if (!hex && !digits.empty() && (digits[0] == '-' || digits[0] == '+')) {
    negative = digits[0] == '-';
    i = 1;
  }
  if (i >= digits.size()) return def;
  for (; i < digits.size(); ++i) {
    char c = digits[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return def;
    value = value * (hex ? 16 : 10) + d;
    if (value > 0xFFFFFFFFLL) return def;  // does not fit an integer
  }
  if (negative) value = -value;
  return value != 0;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) {
  if (fallback_.empty()) return store_.ReadString(path_, section, key, def);
  // A line break cannot be part of a stored value, so a default with one means "no such
  // key" (not a blank at its end: the platform strips those from a default).
  constexpr const char* kMissing = "\n<missing>";
  std::string value = store_.ReadString(path_, section, key, kMissing);
  if (value != kMissing) return value;
  return store_.ReadString(fallback_, section, key, def);
}

void TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
  store_.WriteString(path_, section, key, value);
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool def) {
  // The default passes through as its own text so that "missing" and "unreadable" agree.
  return ParseProfileBool(ReadString(section, key, def ? "1" : "0"), def);
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  store_.WriteString(path_, section, key, value ? "1" : "0");
}

std::string SettingsFilePath(const std::string& folder) { return folder + "\\config.ini"; }

TIniFile ProgramSettings(Services& svc) {
  SettingsFiles chosen = ChooseSettingsFiles(svc.exeDir, svc.places, *svc.files);
  // The profile functions create a missing file but not its folder: the per-user folder is
  // made the first time the settings go there.
  if (chosen.path != SettingsFilePath(svc.exeDir) && !svc.places.userDir.empty() &&
      !svc.files->DirectoryExists(svc.places.userDir))
    svc.files->CreateDirectories(svc.places.userDir);
  return TIniFile(*svc.profile, std::move(chosen.path), std::move(chosen.fallback));
}

}  // namespace mt
