#include <gtest/gtest.h>

#include "app/DataPlaces.h"
#include "app/Settings.h"
#include "tests/support/StandIns.h"

namespace mt {
namespace {

struct ScriptedProbe : DataFolderProbe {
  bool writable = true;
  std::string userDir = "C:\\Users\\u\\AppData\\Local\\MirtakTools";
  std::vector<std::string> asked;
  bool CanWrite(const std::string& folder) override {
    asked.push_back(folder);
    return writable;
  }
  std::string PerUserFolder() override { return userDir; }
};

constexpr const char* kExe = "C:\\Program Files\\Mirtak";
constexpr const char* kUser = "C:\\Users\\u\\AppData\\Local\\MirtakTools";

DataPlaces Places(bool writable, std::string userDir = kUser) {
  ScriptedProbe probe;
  probe.writable = writable;
  probe.userDir = std::move(userDir);
  DataPlaces places = ProbeDataPlaces(kExe, probe);
  EXPECT_EQ(probe.asked, std::vector<std::string>{kExe});
  return places;
}

TEST(DataPlaces, WritableProgramFolderKeepsEverythingBesideTheProgram) {
  test::MemoryFileSystem fs;
  const DataPlaces places = Places(true);
  {
    test::TestServices ts(kExe);
    ts.services.files = &fs;
    ts.services.places = places;
    EXPECT_EQ(ProgramSettings(ts.services).FileName(), std::string(kExe) + "\\config.ini");
    EXPECT_TRUE(fs.created.empty());  // no per-user folder made
  }
  EXPECT_EQ(DataFolder(kExe, places), kExe);
  const SettingsFiles settings = ChooseSettingsFiles(kExe, places, fs);
  EXPECT_EQ(settings.path, std::string(kExe) + "\\config.ini");
  EXPECT_EQ(settings.fallback, "");
  EXPECT_EQ(BackupFolder(kExe, places), std::string(kExe) + "\\备份");
  EXPECT_EQ(InstallerDownloadPath(kExe, places, fs, "1"),
            std::string(kExe) + "\\rar\\tbxsetup.exe");
  EXPECT_TRUE(fs.created.empty());
}

TEST(DataPlaces, UnwritableProgramFolderWritesPerUserAndReadsTheOldFileAsFallback) {
  test::MemoryFileSystem fs;
  const DataPlaces places = Places(false, std::string(kUser) + "\\");  // a trailing "\" goes
  EXPECT_EQ(places.userDir, kUser);
  EXPECT_EQ(DataFolder(kExe, places), kUser);
  const SettingsFiles settings = ChooseSettingsFiles(kExe, places, fs);
  EXPECT_EQ(settings.path, std::string(kUser) + "\\config.ini");
  EXPECT_EQ(settings.fallback, std::string(kExe) + "\\config.ini");
  EXPECT_EQ(BackupFolder(kExe, places), std::string(kUser) + "\\备份");

  // Nowhere else to go: beside the program, as before.
  const DataPlaces nowhere = Places(false, "");
  EXPECT_EQ(DataFolder(kExe, nowhere), kExe);
  EXPECT_EQ(ChooseSettingsFiles(kExe, nowhere, fs).path, std::string(kExe) + "\\config.ini");
  EXPECT_EQ(ChooseSettingsFiles(kExe, nowhere, fs).fallback, "");
}

TEST(DataPlaces, AnExistingPerUserSettingsFileWinsEvenBesideAWritableProgram) {
  test::MemoryFileSystem fs;
  fs.files[std::string(kUser) + "\\config.ini"] = "[DS_config]\r\n";
  const SettingsFiles settings = ChooseSettingsFiles(kExe, Places(true), fs);
  EXPECT_EQ(settings.path, std::string(kUser) + "\\config.ini");
  EXPECT_EQ(settings.fallback, std::string(kExe) + "\\config.ini");
}

TEST(DataPlaces, PerUserDownloadsGoIntoAFreshFolderOfTheirOwn) {
  test::MemoryFileSystem fs;
  const DataPlaces places = Places(false);
  const std::string rar = std::string(kUser) + "\\rar";
  // The seed's folder is taken (a file in it, as another program might leave): the next name.
  fs.dirs.insert(rar + "\\42");
  fs.files[rar + "\\42\\tbxsetup.exe"] = "planted";
  EXPECT_EQ(InstallerDownloadPath(kExe, places, fs, "42"), rar + "\\42-1\\tbxsetup.exe");
  EXPECT_TRUE(fs.dirs.count(rar + "\\42-1"));
  // The folder just made is taken on the next call.
  EXPECT_EQ(InstallerDownloadPath(kExe, places, fs, "42"), rar + "\\42-2\\tbxsetup.exe");
  // A folder that cannot be made: no download place.
  fs.unmakeable.insert(rar + "\\7");
  EXPECT_EQ(InstallerDownloadPath(kExe, places, fs, "7"), "");
}

// The settings as the tools see them: the per-user file, with keys it lacks read beside the
// program; writes go to the per-user file only.
TEST(DataPlaces, ProgramSettingsReadTheFallbackOnlyForMissingKeys) {
  test::TestServices ts(kExe);
  test::MemoryFileSystem fs;
  ts.services.files = &fs;
  ts.services.places = Places(false);
  const std::string old = std::string(kExe) + "\\config.ini";
  const std::string perUser = std::string(kUser) + "\\config.ini";
  ts.profile.WriteString(old, kSettingsSection, kKeyFirstRun, "0");
  ts.profile.WriteString(old, kSettingsSection, kKeySjtxVer, "v1.2");

  ASSERT_FALSE(fs.DirectoryExists(kUser));
  TIniFile ini = ProgramSettings(ts.services);
  EXPECT_EQ(ini.FileName(), perUser);
  // The profile functions would not make the folder of a file they write.
  EXPECT_TRUE(fs.DirectoryExists(kUser));
  EXPECT_FALSE(ini.ReadBool(kSettingsSection, kKeyFirstRun, true));
  EXPECT_EQ(ini.ReadString(kSettingsSection, kKeySjtxVer, ""), "v1.2");
  EXPECT_EQ(ini.ReadString(kSettingsSection, "missing", "def"), "def");
  ini.WriteString(kSettingsSection, kKeySjtxVer, "v1.4");
  EXPECT_EQ(ini.ReadString(kSettingsSection, kKeySjtxVer, ""), "v1.4");
  EXPECT_EQ(ts.profile.FileText(perUser), "[DS_config]\r\nsjtxver=v1.4\r\n");
  EXPECT_EQ(ts.profile.ReadString(old, kSettingsSection, kKeySjtxVer, ""), "v1.2");
  // An empty value stored per-user is a value, not a missing key.
  ini.WriteString(kSettingsSection, kKeyFirstRun, "");
  EXPECT_EQ(ini.ReadString(kSettingsSection, kKeyFirstRun, "x"), "");
}

}  // namespace
}  // namespace mt
