// The last update's installer is removed when the new program starts, and a new download
// stops the removal for good.
#include <gtest/gtest.h>

#include <thread>

#include "tests/support/StandIns.h"
#include "update/LeftoverInstaller.h"

namespace mt {
namespace {

const std::string kDir = "C:\\Program Files\\Mirtak";
const std::string kInstaller = kDir + "\\rar\\tbxsetup.exe";

TEST(LeftoverInstaller, TheInstallerAndAPartialDownloadGoAtTheStart) {
  test::MemoryFileSystem files;
  files.files[kInstaller] = "installer";
  files.files[kInstaller + ".part"] = "half";
  files.files[kDir + "\\config.ini"] = "[DS_config]";
  RemoveLeftoverInstaller(files, kDir);
  EXPECT_EQ(files.files.count(kInstaller), 0u);
  EXPECT_EQ(files.files.count(kInstaller + ".part"), 0u);
  EXPECT_EQ(files.files.count(kDir + "\\config.ini"), 1u);

  test::MemoryFileSystem empty;  // nothing there: nothing done
  RemoveLeftoverInstaller(empty, kDir);
  EXPECT_TRUE(empty.log.empty());
}

TEST(LeftoverInstaller, PerUserDownloadsGoToo) {
  const std::string user = "C:\\Users\\u\\AppData\\Local\\MirtakTools";
  test::MemoryFileSystem files;
  files.dirs.insert(user + "\\rar");
  for (const char* name : {"1-2", "3-4"}) {
    files.dirs.insert(user + "\\rar\\" + name);
    files.files[user + "\\rar\\" + name + "\\tbxsetup.exe"] = "installer";
  }
  files.files[user + "\\rar\\3-4\\tbxsetup.exe.part"] = "half";
  files.files[user + "\\rar\\3-4\\other.txt"] = "not ours";
  files.files[user + "\\config.ini"] = "[DS_config]";
  RemoveLeftoverInstaller(files, kDir, user);
  EXPECT_EQ(files.files.count(user + "\\rar\\1-2\\tbxsetup.exe"), 0u);
  EXPECT_EQ(files.files.count(user + "\\rar\\3-4\\tbxsetup.exe"), 0u);
  EXPECT_EQ(files.files.count(user + "\\rar\\3-4\\tbxsetup.exe.part"), 0u);
  EXPECT_EQ(files.files.count(user + "\\rar\\3-4\\other.txt"), 1u);
  EXPECT_EQ(files.files.count(user + "\\config.ini"), 1u);

  test::MemoryFileSystem none;  // no per-user downloads folder
  RemoveLeftoverInstaller(none, kDir, user);
  EXPECT_TRUE(none.log.empty());
}

TEST(LeftoverInstaller, AFileInUseIsTriedAgainUntilItGoes) {
  test::MemoryFileSystem files;
  files.files[kInstaller] = "installer";
  files.undeletable.insert(kInstaller);
  LeftoverInstaller leftover(files, kInstaller);
  EXPECT_FALSE(leftover.TryOnce());
  leftover.Retry(3, 1);
  EXPECT_EQ(files.files.count(kInstaller), 1u);
  files.undeletable.clear();  // the installer has ended
  EXPECT_TRUE(leftover.TryOnce());
  EXPECT_EQ(files.files.count(kInstaller), 0u);
}

// A download that starts while the tries go on must keep its file.
TEST(LeftoverInstaller, NoTryAfterStop) {
  test::MemoryFileSystem files;
  files.files[kInstaller] = "installer";
  files.undeletable.insert(kInstaller);
  LeftoverInstaller leftover(files, kInstaller);
  std::thread tries([&leftover] { leftover.Retry(1000, 1); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  leftover.Stop();
  files.undeletable.clear();  // from now on a try would succeed
  files.files[kInstaller] = "fresh download";
  tries.join();
  EXPECT_TRUE(leftover.TryOnce());
  EXPECT_EQ(files.files[kInstaller], "fresh download");
}

}  // namespace
}  // namespace mt
