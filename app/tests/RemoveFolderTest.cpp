// Removing a backup set's folder through the file system stand-ins: everything below goes,
// a link inside is taken away as a link and what it points to stays, a name that merely
// starts like the folder is not inside it.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/StandIns.h"

namespace mt {
namespace {

namespace fs = std::filesystem;
using test::MemoryFileSystem;
using test::PosixFileSystem;
using test::ReadWholeFile;
using test::TempDir;
using test::WriteWholeFile;

TEST(RemoveFolder, PosixRemovesTheTreeButNeverFollowsALink) {
  TempDir dir;
  PosixFileSystem files;
  const std::string set = dir / "备份/2026-12-08 15.54.00";
  fs::create_directories(fs::u8path(set + "/sub/deeper"));
  WriteWholeFile(set + "/注册表.reg", "reg");
  WriteWholeFile(set + "/sub/deeper/a.lnk", "lnk");
  // A folder outside the set, reached from inside it through a link, and a sibling whose
  // name starts with the set's name.
  const std::string outside = dir / "outside";
  fs::create_directories(fs::u8path(outside));
  WriteWholeFile(outside + "/keep.txt", "keep");
#ifndef _WIN32  // Wine makes no symbolic links; the real file system's test covers its links
  fs::create_directory_symlink(fs::u8path(outside), fs::u8path(set + "/sub/link"));
#endif
  const std::string sibling = set + " (2)";
  fs::create_directories(fs::u8path(sibling));

  EXPECT_TRUE(files.RemoveFolder(set));
  EXPECT_FALSE(fs::exists(fs::u8path(set)));
  EXPECT_EQ(ReadWholeFile(outside + "/keep.txt"), "keep");
  EXPECT_TRUE(fs::is_directory(fs::u8path(sibling)));
  // Not a folder, or gone already.
  WriteWholeFile(dir / "file", "x");
  EXPECT_FALSE(files.RemoveFolder(dir / "file"));
  EXPECT_TRUE(fs::exists(fs::u8path(dir / "file")));
  EXPECT_FALSE(files.RemoveFolder(set));
#ifndef _WIN32
  // The path itself a link: the link goes, the folder it names stays whole.
  fs::create_directory_symlink(fs::u8path(outside), fs::u8path(dir / "link"));
  EXPECT_TRUE(files.RemoveFolder(dir / "link"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(fs::u8path(dir / "link"))));
  EXPECT_EQ(ReadWholeFile(outside + "/keep.txt"), "keep");
#endif
}

TEST(RemoveFolder, MemoryKeepsWhatCannotGoAndLeavesLookAlikeNames) {
  MemoryFileSystem files;
  const std::string root = "C:\\Tools\\备份", set = root + "\\2026-12-08 15.54.00";
  ASSERT_TRUE(files.CreateDirectories(set + "\\sub"));
  ASSERT_TRUE(files.CreateDirectories(set + " (2)"));
  files.WriteAll(set + "\\注册表.reg", "reg");
  files.WriteAll(set + "\\sub\\a.lnk", "lnk");
  files.WriteAll(set + " (2)\\注册表.reg", "other");

  EXPECT_TRUE(files.RemoveFolder(set));
  EXPECT_FALSE(files.DirectoryExists(set));
  EXPECT_FALSE(files.DirectoryExists(set + "\\sub"));
  EXPECT_FALSE(files.FileExists(set + "\\sub\\a.lnk"));
  EXPECT_TRUE(files.FileExists(set + " (2)\\注册表.reg"));
  EXPECT_TRUE(files.DirectoryExists(root));
  EXPECT_FALSE(files.RemoveFolder(set));

  // A file held open stays, and so do the folders that hold it.
  const std::string other = set + " (2)";
  ASSERT_TRUE(files.CreateDirectories(other + "\\deep\\er"));
  files.WriteAll(other + "\\deep\\er\\held.lnk", "x");
  files.WriteAll(other + "\\deep\\free.lnk", "y");
  files.held[other + "\\deep\\er\\held.lnk"] = 1;
  EXPECT_FALSE(files.RemoveFolder(other));
  EXPECT_TRUE(files.FileExists(other + "\\deep\\er\\held.lnk"));
  EXPECT_TRUE(files.DirectoryExists(other + "\\deep\\er"));
  EXPECT_FALSE(files.FileExists(other + "\\deep\\free.lnk"));
  EXPECT_FALSE(files.FileExists(other + "\\注册表.reg"));
}

}  // namespace
}  // namespace mt
