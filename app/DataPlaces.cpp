#include "app/DataPlaces.h"

#include "app/Backup.h"
#include "app/Services.h"
#include "app/Settings.h"

namespace mt {

namespace {
constexpr const char* kDownloadFolderName = "rar";
constexpr const char* kInstallerFileName = "tbxsetup.exe";
}  // namespace

DataPlaces ProbeDataPlaces(const std::string& exeDir, DataFolderProbe& probe) {
  DataPlaces places;
  places.exeDirWritable = probe.CanWrite(exeDir);
  places.userDir = probe.PerUserFolder();
  while (!places.userDir.empty() && places.userDir.back() == '\\') places.userDir.pop_back();
  return places;
}

std::string DataFolder(const std::string& exeDir, const DataPlaces& places) {
  if (places.exeDirWritable || places.userDir.empty()) return exeDir;
  return places.userDir;
}

SettingsFiles ChooseSettingsFiles(const std::string& exeDir, const DataPlaces& places,
                                  FileSystem& files) {
  const std::string besideProgram = SettingsFilePath(exeDir);
  if (places.userDir.empty() || places.userDir == exeDir) return {besideProgram, ""};
  const std::string perUser = SettingsFilePath(places.userDir);
  if (files.FileExists(perUser) || !places.exeDirWritable) return {perUser, besideProgram};
  return {besideProgram, ""};
}

std::string BackupFolder(const std::string& exeDir, const DataPlaces& places) {
  return BackupRoot(DataFolder(exeDir, places));
}

std::string InstallerDownloadPath(const std::string& exeDir, const DataPlaces& places,
                                  FileSystem& files, const std::string& seed) {
  const std::string folder = DataFolder(exeDir, places);
  const std::string downloads = folder + "\\" + kDownloadFolderName;
  if (folder == exeDir) return downloads + "\\" + kInstallerFileName;
  for (int n = 0; n < 100; ++n) {
    const std::string fresh = downloads + "\\" + seed + (n ? "-" + std::to_string(n) : "");
    if (files.DirectoryExists(fresh) || files.FileExists(fresh)) continue;
    if (!files.CreateDirectories(fresh)) return "";
    // Made by this call: nothing else can have put a file in it yet.
    if (!files.Find(fresh, "*").empty()) continue;
    return fresh + "\\" + kInstallerFileName;
  }
  return "";
}

}  // namespace mt
