// Packaged (Store and packaged desktop) apps' start-up tasks: the `windows.startupTask`
// extensions of the packages installed for the current user, and whether each starts at
// log-on.
//
// The platform's StartupTask API answers only for the calling package's own tasks, so the
// tasks of other packages are read where the system keeps them for the user:
//   - the installed packages: HKCU ...\AppModel\Repository\Packages\<full name>, whose
//     PackageRootFolder holds the package's AppxManifest.xml;
//   - a task's state: HKCU ...\AppModel\SystemAppData\<family name>\<task id>, "State", a
//     DWORD holding a StartupTaskState (0 Disabled, 1 DisabledByUser, 2 Enabled,
//     3 DisabledByPolicy, 4 EnabledByPolicy).
// A task without a state has not been registered yet: a packaged desktop app's task then
// starts as its manifest's Enabled says, any other app's starts off.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace mt {

class FileSystem;
class RegistryBackend;

inline constexpr const char* kAppModelKeyPath =
    "Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\CurrentVersion\\AppModel";
inline constexpr const char* kPackageRepositoryKeyPath =
    "Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\CurrentVersion\\AppModel"
    "\\Repository\\Packages";
inline constexpr const char* kSystemAppDataKeyPath =
    "Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\CurrentVersion\\AppModel"
    "\\SystemAppData";

// One start-up task as a package manifest declares it.
struct ManifestStartupTask {
  std::string taskId;
  std::string displayName;      // as written: plain text or an "ms-resource:" reference
  std::string executable;       // relative to the package's folder
  std::optional<bool> enabled;  // the Enabled attribute, when written
  bool desktopApp = false;      // a packaged desktop (full trust) app's task
};

// The start-up tasks of a manifest (UTF-8 text, with or without a byte-order mark). An
// extension without a task id, or whose program cannot be found, is left out.
std::vector<ManifestStartupTask> ReadManifestStartupTasks(const std::string& xml);

// The family name of a package's full name ("Name_Version_Arch_ResourceId_PublisherId" gives
// "Name_PublisherId"); empty when the full name is not of that form.
std::string PackageFamilyName(const std::string& fullName);

// The text to hand the shell's indirect-string loader for a manifest's display name:
// "@{<full name>?ms-resource://<name>/Resources/<key>}", or empty for plain text.
std::string IndirectDisplayName(const std::string& fullName, const std::string& displayName);

// One start-up task of an installed package.
struct PackagedStartupTask {
  std::string packageFullName;
  std::string taskId;
  std::string displayName;  // as the manifest writes it
  std::string program;      // the task's program, full path
  bool startsAtLogon = false;
};

// Every start-up task of the packages installed for the current user, in the registry's
// order of packages. A package whose folder or manifest cannot be read is left out.
std::vector<PackagedStartupTask> InstalledStartupTasks(RegistryBackend& registry,
                                                       FileSystem& files);

}  // namespace mt
