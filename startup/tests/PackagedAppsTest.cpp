// Packaged apps' start-up tasks as their manifests declare them, and the names the package
// identity gives.
#include <gtest/gtest.h>

#include "app/Text.h"
#include "startup/PackagedApps.h"

namespace mt::test {
namespace {

// A manifest with a packaged desktop app (its task's program on the extension), a store app
// (the task runs the application's own program) and what is not a start-up task.
constexpr const char* kManifest = R"(<?xml version="1.0" encoding="utf-8"?>
<Package xmlns="http://schemas.microsoft.com/appx/manifest/foundation/windows10"
  xmlns:desktop="http://schemas.microsoft.com/appx/manifest/desktop/windows10"
  xmlns:uap5="http://schemas.microsoft.com/appx/manifest/uap/windows10/5">
  <Applications>
    <Application Id="Tray" Executable="bin\tray.exe" EntryPoint="Windows.FullTrustApplication">
      <Extensions>
        <desktop:Extension Category="windows.fileTypeAssociation" Executable="bin/other.exe"/>
        <desktop:Extension Category="windows.startupTask" Executable="bin/helper.exe"
                           EntryPoint="Windows.FullTrustApplication">
          <desktop:StartupTask TaskId="HelperTask" Enabled="true" DisplayName="Tray &amp; helper"/>
        </desktop:Extension>
        <!-- <desktop:Extension Category="windows.startupTask" Executable="c.exe">
               <desktop:StartupTask TaskId="InAComment"/></desktop:Extension> -->
      </Extensions>
    </Application>
    <Application Id='Store' Executable='Store.exe' EntryPoint='Store.App'>
      <Extensions>
        <uap5:Extension Category='windows.startupTask'>
          <uap5:StartupTask TaskId='StoreTask' Enabled='true' DisplayName='ms-resource:TaskName'/>
        </uap5:Extension>
        <uap5:Extension Category="windows.startupTask">
          <uap5:StartupTask Enabled="true" DisplayName="no id"/>
        </uap5:Extension>
      </Extensions>
    </Application>
  </Applications>
</Package>)";

TEST(PackagedApps, AManifestsStartupTasksAreReadWithTheirProgramAndKind) {
  for (const std::string& bytes : {std::string(kManifest), "\xEF\xBB\xBF" + std::string(kManifest),
                                   "\xFF\xFE" + Utf16Le(kManifest)}) {
    const std::vector<ManifestStartupTask> tasks = ReadManifestStartupTasks(bytes);
    ASSERT_EQ(tasks.size(), 2u);
    EXPECT_EQ(tasks[0].taskId, "HelperTask");
    EXPECT_EQ(tasks[0].displayName, "Tray & helper");
    EXPECT_EQ(tasks[0].executable, "bin/helper.exe");
    EXPECT_EQ(tasks[0].enabled, std::optional<bool>(true));
    EXPECT_TRUE(tasks[0].desktopApp);
    EXPECT_EQ(tasks[1].taskId, "StoreTask");
    EXPECT_EQ(tasks[1].displayName, "ms-resource:TaskName");
    EXPECT_EQ(tasks[1].executable, "Store.exe");
    EXPECT_FALSE(tasks[1].desktopApp);
  }
  EXPECT_TRUE(ReadManifestStartupTasks("not a manifest").empty());
  EXPECT_TRUE(ReadManifestStartupTasks("<Application Executable=\"a.exe\"><Extension "
                                       "Category=\"windows.startupTask\"><StartupTask")
                  .empty());
}

TEST(PackagedApps, FamilyNamesAndResourceNamesComeFromTheFullName) {
  EXPECT_EQ(PackageFamilyName("Contoso.Tray_1.2.3.0_x64__8wekyb3d8bbwe"),
            "Contoso.Tray_8wekyb3d8bbwe");
  EXPECT_EQ(PackageFamilyName("Contoso.Tray_1.2.3.0_neutral_~_8wekyb3d8bbwe"),
            "Contoso.Tray_8wekyb3d8bbwe");
  EXPECT_EQ(PackageFamilyName("Contoso.Tray_1.2.3.0_x64_8wekyb3d8bbwe"), "");
  EXPECT_EQ(PackageFamilyName("_1.0_x64__p"), "");

  const std::string full = "Contoso.Tray_1.2.3.0_x64__8wekyb3d8bbwe";
  EXPECT_EQ(IndirectDisplayName(full, "Tray"), "");
  EXPECT_EQ(IndirectDisplayName(full, "ms-resource:TaskName"),
            "@{" + full + "?ms-resource://Contoso.Tray/Resources/TaskName}");
  EXPECT_EQ(IndirectDisplayName(full, "ms-resource:/Strings/TaskName"),
            "@{" + full + "?ms-resource://Contoso.Tray/Strings/TaskName}");
  EXPECT_EQ(IndirectDisplayName(full, "ms-resource://Other/Resources/X"),
            "@{" + full + "?ms-resource://Other/Resources/X}");
}

}  // namespace
}  // namespace mt::test
