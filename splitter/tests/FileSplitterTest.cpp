// The page's four handlers against stand-in dialogs, a recording view and real temp files.
#include "splitter/FileSplitter.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/Error.h"
#include "splitter/PieceSet.h"
#include "splitter/tests/SplitterTestSupport.h"
#include "tests/support/StandIns.h"

namespace mt::splitter {
namespace {

using test::PatternBytes;
using test::ReadWholeFile;
using test::WriteWholeFile;
namespace fs = std::filesystem;

const std::string kStartCaption = "Mirtak工具合集 v1.3";

class SplitterPageTest : public ::testing::Test {
 protected:
  std::string Error(const std::function<void()>& f) {
    try {
      f();
    } catch (const AppError& e) {
      return e.what();
    }
    return "(no error)";
  }
  void Split() { SplitSourceFile(svc(), view); }
  void Choose(std::vector<std::string> files) {
    t.dialogs.openAnswers.push_back(std::move(files));
    ChoosePieces(svc(), view, OpenDialog2Defaults(), indexPath);
  }
  void Merge() { MergePieces(svc(), view, saveDialog1, indexPath); }
  Services& svc() { return t.services; }
  std::string Set(const std::string& name) { return dir / "set" + "\\" + name; }
  // Splits `bytes` stored as `name` into dir/set with pieces of 1 MB.
  void SplitFile(const std::string& name, const std::string& bytes) {
    WriteWholeFile(dir / name, bytes);
    view.edit2 = dir / name;
    view.edit1 = "1";
    t.dialogs.folderAnswers.push_back(dir / "set");
    Split();
  }

  void SetUp() override { fs::create_directory(fs::u8path(dir / "set")); }

  test::TempDir dir;
  test::TestServices t;
  test::FakeSplitterView view;
  FileDialogOptions saveDialog1;
  std::string indexPath;
};

TEST_F(SplitterPageTest, ChoosingTheSourceFillsEdit2UnlessCancelled) {
  t.dialogs.openAnswers.push_back(std::vector<std::string>{"C:\\soft\\archive.rar"});
  ChooseSourceFile(svc(), view, OpenDialog1Defaults());
  EXPECT_EQ(view.edit2, "C:\\soft\\archive.rar");
  ChooseSourceFile(svc(), view, OpenDialog1Defaults());  // unscripted: cancel
  EXPECT_EQ(view.edit2, "C:\\soft\\archive.rar");
  ASSERT_EQ(t.dialogs.openAsked.size(), 2u);
  EXPECT_EQ(t.dialogs.openAsked[0].filter, "all|*.*");
  EXPECT_FALSE(t.dialogs.openAsked[0].multiSelect);
}

TEST_F(SplitterPageTest, SplitWritesIndexAndPiecesWithCaptions) {
  std::string bytes = PatternBytes(2 * kMegabyte + 300);
  SplitFile("archive.rar", bytes);
  EXPECT_EQ(t.dialogs.folderTitles, std::vector<std::string>{"选择保存目录:"});
  EXPECT_EQ(t.profile.FileText(Set("0.ds")), "[fghb]\r\nkzm=.rar\r\n");
  EXPECT_EQ(ReadWholeFile(Set("1.ds")), bytes.substr(0, kMegabyte));
  EXPECT_EQ(ReadWholeFile(Set("2.ds")), bytes.substr(kMegabyte, kMegabyte));
  EXPECT_EQ(ReadWholeFile(Set("3.ds")), bytes.substr(2 * kMegabyte));
  ASSERT_EQ(view.captions.size(), 2u);
  EXPECT_EQ(view.captions[0].text, "正在分割，请稍侯...");
  EXPECT_FALSE(view.captions[0].splitEnabled);
  EXPECT_EQ(view.captions[1].text, "分割完成");
  EXPECT_TRUE(view.splitEnabled);
  EXPECT_TRUE(view.notices.empty());
}

TEST_F(SplitterPageTest, EmptyFileGivesOnlyTheIndexAndAFileWithoutExtensionAnEmptyOne) {
  SplitFile("README", "");
  EXPECT_EQ(t.profile.FileText(Set("0.ds")), "[fghb]\r\nkzm=\r\n");
  EXPECT_FALSE(fs::exists(fs::u8path(test::PosixFileSystem::ToPosix(Set("1.ds")))));
  EXPECT_EQ(view.caption, "分割完成");
}

TEST_F(SplitterPageTest, NothingToSplitOnlyBeeps) {
  Split();
  EXPECT_EQ(t.messages.beeps, 1);
  EXPECT_TRUE(t.dialogs.folderTitles.empty());
  EXPECT_TRUE(view.captions.empty());
}

TEST_F(SplitterPageTest, CancelledFolderDialogChangesNothing) {
  WriteWholeFile(dir / "a.bin", "abc");
  view.edit2 = dir / "a.bin";
  Split();
  EXPECT_EQ(t.dialogs.folderTitles.size(), 1u);
  EXPECT_EQ(view.caption, kStartCaption);
  EXPECT_TRUE(view.captions.empty());
  EXPECT_TRUE(view.splitEnabled);
  EXPECT_FALSE(t.profile.Exists(Set("0.ds")));
}

TEST_F(SplitterPageTest, FailedSplitRestoresButtonAndCaptionThenReports) {
  view.edit2 = dir / "gone.rar";
  t.dialogs.folderAnswers.push_back(dir / "set");
  EXPECT_EQ(Error([&] { Split(); }),
            "Cannot open file \"" + t.files.FullPath(dir / "gone.rar") + "\". 系统找不到指定的文件。");
  EXPECT_TRUE(view.splitEnabled);
  EXPECT_EQ(view.caption, kStartCaption);
  // The Index piece was written before the failure, and stays.
  EXPECT_EQ(t.profile.ReadString(Set("0.ds"), "fghb", "kzm", "?"), ".rar");
}

TEST_F(SplitterPageTest, BadSizeTextsAreReportedAfterTheIndexPiece) {
  WriteWholeFile(dir / "a.txt", "abc");
  view.edit2 = dir / "a.txt";
  view.edit1 = "12a";
  t.dialogs.folderAnswers.push_back(dir / "set");
  EXPECT_EQ(Error([&] { Split(); }), "'12a' is not a valid integer value");
  EXPECT_EQ(t.profile.ReadString(Set("0.ds"), "fghb", "kzm", "?"), ".txt");
  EXPECT_EQ(view.caption, kStartCaption);
  EXPECT_TRUE(view.splitEnabled);

  view.edit1 = "0";
  t.dialogs.folderAnswers.push_back(dir / "set");
  EXPECT_EQ(Error([&] { Split(); }), "Division by zero");
  EXPECT_FALSE(fs::exists(fs::u8path(test::PosixFileSystem::ToPosix(Set("1.ds")))));
  EXPECT_TRUE(view.splitEnabled);
}

TEST_F(SplitterPageTest, NegativeSizeIsRefusedBeforeAnythingIsWritten) {
  WriteWholeFile(dir / "a.txt", "abc");
  view.edit2 = dir / "a.txt";
  view.edit1 = "-5";
  t.dialogs.folderAnswers.push_back(dir / "set");
  Split();
  EXPECT_EQ(view.notices, std::vector<std::string>{kNegativeSizeText});
  EXPECT_TRUE(t.dialogs.folderTitles.empty());
  EXPECT_FALSE(t.profile.Exists(Set("0.ds")));
  EXPECT_TRUE(fs::is_empty(fs::u8path(dir / "set")));
  EXPECT_TRUE(view.captions.empty());
}

TEST_F(SplitterPageTest, UnwritableIndexPieceDoesNotStopTheSplit) {
  t.profile.MakeReadOnly(Set("0.ds"));
  SplitFile("a.txt", "hello");
  EXPECT_EQ(ReadWholeFile(Set("1.ds")), "hello");
  EXPECT_EQ(view.caption, "分割完成");
}

TEST_F(SplitterPageTest, ChoosingPiecesOrdersEachSelectionAndKeepsTheIndexPath) {
  // The dialog returns the focused file first.
  Choose({Set("3.ds"), Set("0.ds"), Set("1.ds"), Set("2.ds"), Set("11.ds"), Set("10.ds")});
  EXPECT_EQ(view.rows, (std::vector<std::string>{Set("0.ds"), Set("1.ds"), Set("2.ds"), Set("3.ds"),
                                                 Set("10.ds"), Set("11.ds")}));
  EXPECT_EQ(indexPath, Set("0.ds"));
  const FileDialogOptions& asked = t.dialogs.openAsked.back();
  EXPECT_EQ(asked.filter, "*.ds|*.ds");
  EXPECT_TRUE(asked.multiSelect);
  EXPECT_TRUE(asked.hideReadOnly);

  ChoosePieces(svc(), view, OpenDialog2Defaults(), indexPath);  // cancel
  EXPECT_EQ(indexPath, Set("0.ds"));
  EXPECT_EQ(view.rows.size(), 6u);
  Choose({"E:\\b\\1.ds", "E:\\b\\0.ds"});
  EXPECT_EQ(view.rows.size(), 8u);
  EXPECT_EQ(view.rows[6], "E:\\b\\0.ds");
  EXPECT_EQ(indexPath, "E:\\b\\0.ds");
}

TEST_F(SplitterPageTest, MergeJoinsTheSetBackWithTheRecordedExtension) {
  std::string bytes = PatternBytes(3 * kMegabyte + 17, 7);
  SplitFile("archive.rar", bytes);
  Choose({Set("2.ds"), Set("0.ds"), Set("1.ds"), Set("3.ds"), Set("4.ds")});
  t.dialogs.saveAnswers.push_back(dir / "joined.rar");
  view.captions.clear();
  view.events.clear();
  Merge();
  ASSERT_EQ(t.dialogs.saveAsked.size(), 1u);
  EXPECT_EQ(t.dialogs.saveAsked[0].filter, "*.rar|*.rar");
  EXPECT_EQ(t.dialogs.saveAsked[0].fileName, "ds.rar");
  EXPECT_EQ(ReadWholeFile(dir / "joined.rar"), bytes);
  EXPECT_EQ(view.events, (std::vector<std::string>{"正在合并，请稍侯...", "Button5 off", "合并完成",
                                                   "Button5 on"}));
  EXPECT_TRUE(view.mergeEnabled);
  EXPECT_EQ(indexPath, ".rar");

  // Merging again without choosing keeps the extension.
  t.dialogs.saveAnswers.push_back(dir / "again.rar");
  Merge();
  EXPECT_EQ(t.dialogs.saveAsked[1].filter, "*.rar|*.rar");
  EXPECT_EQ(ReadWholeFile(dir / "again.rar"), bytes);
}

TEST_F(SplitterPageTest, EmptyExtensionAndEmptySet) {
  SplitFile("README", "");
  Choose({Set("0.ds")});
  t.dialogs.saveAnswers.push_back(dir / "out");
  WriteWholeFile(dir / "out", "previous content");
  Merge();
  EXPECT_EQ(t.dialogs.saveAsked[0].filter, "*|*");
  EXPECT_EQ(t.dialogs.saveAsked[0].fileName, "ds");
  EXPECT_TRUE(fs::exists(fs::u8path(dir / "out")));
  EXPECT_EQ(ReadWholeFile(dir / "out"), "");
}

TEST_F(SplitterPageTest, MergeWithAnEmptyListOnlyBeeps) {
  Merge();
  EXPECT_EQ(t.messages.beeps, 1);
  EXPECT_TRUE(t.dialogs.saveAsked.empty());
  EXPECT_TRUE(view.captions.empty());
}

TEST_F(SplitterPageTest, CancelledSaveDialogChangesNothing) {
  SplitFile("a.txt", "abc");
  Choose({Set("0.ds"), Set("1.ds")});
  view.captions.clear();
  view.caption = "分割完成";
  Merge();
  EXPECT_EQ(t.dialogs.saveAsked.size(), 1u);
  EXPECT_EQ(view.caption, "分割完成");
  EXPECT_TRUE(view.captions.empty());
  EXPECT_TRUE(view.mergeEnabled);
}

TEST_F(SplitterPageTest, OutputThatIsAListedFileIsRefusedBeforeItIsTruncated) {
  SplitFile("a.txt", "abcdef");
  Choose({Set("0.ds"), Set("1.ds")});
  // The same file as Windows names it, with other separators and case.
  t.dialogs.saveAnswers.push_back(dir.path() + "\\SET\\1.DS");
  Merge();
  EXPECT_EQ(view.notices, std::vector<std::string>{kOutputIsInputText});
  EXPECT_EQ(ReadWholeFile(Set("1.ds")), "abcdef");
  EXPECT_TRUE(view.captions.size() == 2 && view.caption == "分割完成");
  // The Index row counts too.
  t.dialogs.saveAnswers.push_back(Set("0.ds"));
  Merge();
  EXPECT_EQ(view.notices.size(), 2u);
}

TEST_F(SplitterPageTest, IndexPieceOfASecondSetIsNotJoined) {
  SplitFile("a.txt", std::string(kMegabyte + 3, 'a'));
  Choose({Set("0.ds"), Set("1.ds"), Set("2.ds")});
  fs::create_directory(fs::u8path(dir / "two"));
  WriteWholeFile(dir / "two" + "\\0.ds", "[fghb]\r\nkzm=.bin\r\n");
  WriteWholeFile(dir / "two" + "\\1.ds", "BBB");
  Choose({dir / "two" + "\\1.ds", dir / "two" + "\\0.ds"});
  t.dialogs.saveAnswers.push_back(dir / "joined");
  Merge();
  EXPECT_EQ(ReadWholeFile(dir / "joined"), std::string(kMegabyte + 3, 'a') + "BBB");
}

TEST_F(SplitterPageTest, MissingPieceIsNamedAndNothingIsWritten) {
  SplitFile("a.txt", std::string(3 * kMegabyte + 1, 'z'));
  Choose({Set("0.ds"), Set("1.ds"), Set("2.ds"), Set("4.ds")});
  t.dialogs.saveAnswers.push_back(dir / "joined");
  Merge();
  ASSERT_EQ(view.notices.size(), 1u);
  EXPECT_NE(view.notices[0].find(Set("3.ds")), std::string::npos) << view.notices[0];
  EXPECT_TRUE(t.dialogs.saveAsked.empty());
  EXPECT_FALSE(fs::exists(fs::u8path(dir / "joined")));
}

TEST_F(SplitterPageTest, PiecesOutOfOrderOrWithoutTheIndexFirstAreNamedSo) {
  SplitFile("a.txt", std::string(3 * kMegabyte + 1, 'z'));
  const std::string tail = "\n请按顺序选择 0.ds 和全部分割文件，合并没有进行。";
  // Piece 2 chosen in a second selection: listed, but after 3.ds.
  Choose({Set("0.ds"), Set("1.ds"), Set("3.ds")});
  Choose({Set("2.ds")});
  t.dialogs.saveAnswers.push_back(dir / "joined");
  Merge();
  ASSERT_EQ(view.notices.size(), 1u);
  EXPECT_EQ(view.notices[0], "分割文件顺序不对：" + Set("2.ds") + " 应排在 3.ds 前面" + tail);

  // A selection without 0.ds: its first piece would be skipped as the Index piece.
  view.rows.clear();
  Choose({Set("2.ds"), Set("1.ds"), Set("3.ds"), Set("4.ds")});
  Merge();
  ASSERT_EQ(view.notices.size(), 2u);
  EXPECT_EQ(view.notices[1], "文件列表的第一个文件不是索引文件 0.ds：" + Set("1.ds") + tail);

  EXPECT_TRUE(t.dialogs.saveAsked.empty());
  EXPECT_FALSE(fs::exists(fs::u8path(dir / "joined")));
  EXPECT_TRUE(view.captions.size() == 2 && view.caption == "分割完成");
}

// The same piece reached through a linked folder and through a hard link: the path texts
// differ, the file is one.
TEST_F(SplitterPageTest, OutputThatIsAListedFileByAnotherNameIsRefusedUntouched) {
#ifdef _WIN32
  GTEST_SKIP() << "the stand-in tells files apart by inode; win_splitter_tests covers Windows";
#else
  SplitFile("a.bin", std::string(kMegabyte, 'a') + "bc");
  WriteWholeFile(Set("0.ds"), "[fghb]\r\nkzm=.bin\r\n");  // the profile stand-in keeps it in memory
  Choose({Set("0.ds"), Set("1.ds"), Set("2.ds")});
  fs::create_directory_symlink(fs::u8path(dir / "set"), fs::u8path(dir / "alias"));
  fs::create_hard_link(fs::u8path(dir / "set/2.ds"), fs::u8path(dir / "link.ds"));
  for (const std::string& alias :
       {dir / "alias" + "\\2.ds", dir / "link.ds", dir / "alias" + "\\0.ds"}) {
    SCOPED_TRACE(alias);
    view.notices.clear();
    t.dialogs.saveAnswers.push_back(alias);
    Merge();
    EXPECT_EQ(view.notices, std::vector<std::string>{kOutputIsInputText});
  }
  EXPECT_EQ(ReadWholeFile(Set("2.ds")), "bc");
  EXPECT_EQ(ReadWholeFile(Set("0.ds")), "[fghb]\r\nkzm=.bin\r\n");
  EXPECT_EQ(view.caption, "分割完成");
  // An existing file that is not listed is replaced as before.
  WriteWholeFile(dir / "joined.bin", "old");
  view.notices.clear();
  t.dialogs.saveAnswers.push_back(dir / "joined.bin");
  Merge();
  EXPECT_TRUE(view.notices.empty());
  EXPECT_EQ(ReadWholeFile(dir / "joined.bin"), std::string(kMegabyte, 'a') + "bc");
#endif
}

TEST_F(SplitterPageTest, FailedMergeRestoresButtonAndCaptionThenReports) {
  SplitFile("a.txt", std::string(kMegabyte + 5, 'q'));
  Choose({Set("0.ds"), Set("1.ds"), Set("2.ds")});
  fs::remove(fs::u8path(test::PosixFileSystem::ToPosix(Set("2.ds"))));
  t.dialogs.saveAnswers.push_back(dir / "joined");
  EXPECT_EQ(Error([&] { Merge(); }),
            "Cannot open file \"" + Set("2.ds") + "\". 系统找不到指定的文件。");
  EXPECT_EQ(view.caption, "分割完成");
  EXPECT_TRUE(view.mergeEnabled);
  // What was appended before the failure stays.
  EXPECT_EQ(ReadWholeFile(dir / "joined"), std::string(kMegabyte, 'q'));
}

TEST_F(SplitterPageTest, UncreatableOutputIsReportedBeforeTheCaptionChanges) {
  SplitFile("a.txt", "abc");
  Choose({Set("0.ds"), Set("1.ds")});
  view.captions.clear();
  std::string target = dir / "missing-folder" + "\\out.txt";
  t.dialogs.saveAnswers.push_back(target);
  EXPECT_EQ(Error([&] { Merge(); }), "Cannot create file \"" + target + "\". 拒绝访问。");
  EXPECT_TRUE(view.captions.empty());
  EXPECT_TRUE(view.mergeEnabled);
}

TEST_F(SplitterPageTest, FullDiskDuringMergeIsAWriteError) {
  SplitFile("a.txt", std::string(kMegabyte + 5, 'q'));
  Choose({Set("0.ds"), Set("1.ds"), Set("2.ds")});
  test::WatchingFileSystem full(t.files);
  full.writeBudget = 1000;
  t.services.files = &full;
  t.dialogs.saveAnswers.push_back(dir / "joined");
  EXPECT_EQ(Error([&] { Merge(); }), "Stream write error");
  EXPECT_TRUE(view.mergeEnabled);
  EXPECT_EQ(view.caption, "分割完成");
  t.services.files = &t.files;
}

}  // namespace
}  // namespace mt::splitter
