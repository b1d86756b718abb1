#include <gtest/gtest.h>

#include "app/Path.h"

namespace mt {
namespace {

TEST(Path, FolderAndNameSplitAtTheLastSeparatorOrDrive) {
  EXPECT_EQ(FolderOf("C:\\a\\b\\setup.exe"), "C:\\a\\b");
  EXPECT_EQ(FolderOf("C:\\setup.exe"), "C:");
  EXPECT_EQ(FolderOf("C:/data/x.iso"), "C:/data");
  EXPECT_EQ(FolderOf("D:x.iso"), "D:");
  EXPECT_EQ(FolderOf("x.iso"), "");
  EXPECT_EQ(FolderOf("\\\\srv\\share\\x"), "\\\\srv\\share");
  EXPECT_EQ(FileNameOf("C:\\a\\"), "");
  EXPECT_EQ(FileNameOf("C:/data/x.iso"), "x.iso");
  EXPECT_EQ(FileNameOf("资料\\年度.文档"), "年度.文档");
  EXPECT_EQ(FileNameOf("C:\\Program Files\\My App\\run me.exe"), "run me.exe");
  EXPECT_EQ(FileNameOf("C:a.exe"), "a.exe");
}

TEST(Path, ExtensionIsTakenFromTheFileNameOnly) {
  EXPECT_EQ(ExtensionOf("C:\\soft\\archive.rar"), ".rar");
  EXPECT_EQ(ExtensionOf("C:\\soft\\backup.tar.gz"), ".gz");
  EXPECT_EQ(ExtensionOf("C:\\data\\README"), "");
  EXPECT_EQ(ExtensionOf("C:\\a.b\\file"), "");
  EXPECT_EQ(ExtensionOf("C:\\a.b\\"), "");
  EXPECT_EQ(ExtensionOf("D:file.iso"), ".iso");
  EXPECT_EQ(ExtensionOf("D:\\资料.备份\\说明"), "");
  EXPECT_EQ(ExtensionOf("D:\\资料\\年度报告.文档"), ".文档");
  EXPECT_EQ(ExtensionOf("E:\\x\\name."), ".");
}

TEST(Path, ParentFolderKeepsTheBackslashOfARoot) {
  EXPECT_EQ(ParentFolder("C:\\WINDOWS"), "C:\\");
  EXPECT_EQ(ParentFolder("C:\\WINDOWS\\"), "C:\\");
  EXPECT_EQ(ParentFolder("D:\\OS\\WINDOWS"), "D:\\OS");
  EXPECT_EQ(ParentFolder("\\WINDOWS"), "\\");
  EXPECT_EQ(ParentFolder("WINDOWS"), "");
  EXPECT_EQ(ParentFolder("\\\\srv\\share\\WINDOWS"), "\\\\srv\\share");
}

TEST(Path, JoinPutsExactlyOneBackslashBetween) {
  EXPECT_EQ(JoinPath("C:\\a", "b.lnk"), "C:\\a\\b.lnk");
  EXPECT_EQ(JoinPath("C:\\", "x.lnk"), "C:\\x.lnk");
  EXPECT_EQ(JoinPath("C:\\a\\", "\\\\b.lnk"), "C:\\a\\b.lnk");
  EXPECT_EQ(JoinPath("", "\\b.lnk"), "b.lnk");
}

TEST(Path, SpellingsOfOnePathCompareEqualWithoutRegardToCase) {
  EXPECT_TRUE(SamePathText("C:\\Data\\A.ds", "c:/data/a.DS"));
  EXPECT_FALSE(SamePathText("C:\\Data\\A.ds", "C:\\Data\\A.ds2"));
  // Only ASCII letters fold: other bytes must match.
  EXPECT_FALSE(SamePathText("C:\\资料", "C:\\资科"));
  EXPECT_EQ(PathKey("C:/ABC\\d"), "c:\\abc\\d");
}

}  // namespace
}  // namespace mt
