// Where the program keeps what it writes: settings ("config.ini"), backup sets ("备份") and
// update downloads ("rar\"). Beside the program when that folder can be written; otherwise
// in a per-user folder, "%LOCALAPPDATA%\MirtakTools" (a copy installed in Program Files is
// not writable for a standard user). A settings file in the per-user folder wins wherever
// the program runs from; the one beside the program is then only read for keys the per-user
// file does not have.
#pragma once

#include <string>

namespace mt {

class FileSystem;

// What the platform says about the folders, asked once at the program's start.
class DataFolderProbe {
 public:
  virtual ~DataFolderProbe() = default;
  // True when a file can be created in `folder` (and removed again).
  virtual bool CanWrite(const std::string& folder) = 0;
  // The per-user folder of the program; empty when the platform names none.
  virtual std::string PerUserFolder() = 0;
};

// The answers of the probe. The default: the program's folder is written, no per-user one.
struct DataPlaces {
  bool exeDirWritable = true;
  std::string userDir;  // per-user folder, no trailing "\"; empty: none
};

DataPlaces ProbeDataPlaces(const std::string& exeDir, DataFolderProbe& probe);

// The folder the program writes into: `exeDir` when it can be written or there is no
// per-user folder, the per-user folder otherwise.
std::string DataFolder(const std::string& exeDir, const DataPlaces& places);

// The settings file to read and write, and the one read for keys it lacks (empty: none).
struct SettingsFiles {
  std::string path;
  std::string fallback;
};
SettingsFiles ChooseSettingsFiles(const std::string& exeDir, const DataPlaces& places,
                                  FileSystem& files);

// "<data folder>\备份".
std::string BackupFolder(const std::string& exeDir, const DataPlaces& places);

// Where the update's installer is downloaded: "<exeDir>\rar\tbxsetup.exe" when the program's
// folder can be written (the installer upgrades the folder above "rar\"); otherwise in a
// fresh subfolder of "<per-user folder>\rar\", one that did not exist before (so nothing
// another program of the user left there is taken up), named from `seed` and created here.
// Empty when no such folder could be made.
std::string InstallerDownloadPath(const std::string& exeDir, const DataPlaces& places,
                                  FileSystem& files, const std::string& seed);

}  // namespace mt
