// The page's four handlers against stand-in dialogs, a recording view and real temp files.
#include "splitter/FileSplitter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <chrono>
#include <fstream>
#include <thread>

#include "app/Error.h"
#include "splitter/CheckedMerge.h"
#include "splitter/CopyEngine.h"
#include "splitter/MergeList.h"
#include "splitter/PartFiles.h"
#include "splitter/PieceNames.h"
#include "splitter/PieceSize.h"
#include "splitter/Rebuild.h"
#include "splitter/SetCheck.h"
#include "splitter/SetRecord.h"
#include "splitter/Split.h"
#include "splitter/Digest.h"
#include "app/Sha256.h"
#include "splitter/tests/SplitterTestSupport.h"
#include "tests/support/StandIns.h"

namespace mt::splitter {
namespace {

using test::PatternBytes;
using test::ReadWholeFile;
using test::WriteWholeFile;
namespace fs = std::filesystem;

const std::string kStartCaption = "Mirtak工具合集 v1.3";

// The captions of one run: the working caption, its percentages rising to 100, then `end`.
void ExpectProgressCaptions(const std::vector<test::FakeSplitterView::CaptionChange>& captions,
                            const std::string& working, const std::string& end) {
  ASSERT_GE(captions.size(), 3u);
  EXPECT_EQ(captions.front().text, working);
  EXPECT_EQ(captions.back().text, end);
  int last = -1;
  for (size_t i = 1; i + 1 < captions.size(); ++i) {
    const std::string& c = captions[i].text;
    ASSERT_EQ(c.rfind(working + " ", 0), 0u) << c;
    ASSERT_EQ(c.back(), '%') << c;
    int percent = std::stoi(c.substr(working.size() + 1));
    EXPECT_GE(percent, last) << c;
    last = percent;
  }
  EXPECT_EQ(last, 100);
}

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
  void Split() {
    SplitSourceFile(svc(), view, host, work);
    host.RunPosted();
  }
  void Choose(std::vector<std::string> files) {
    t.dialogs.openAnswers.push_back(std::move(files));
    ChoosePieces(svc(), view, OpenDialog2Defaults(), indexPath);
  }
  void Merge() {
    MergePieces(svc(), view, saveDialog1, indexPath, host, work);
    host.RunPosted();
  }
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

  void SetUp() override {
    t.services.profile = &profile;
    fs::create_directory(fs::u8path(dir / "set"));
  }

  test::TempDir dir;
  test::TestServices t;
  test::DiskProfile profile;  // 0.ds on disk, so that it can be renamed
  test::FakeSplitterView view;
  FileDialogOptions saveDialog1;
  std::string indexPath;
  test::TestWorkHost host;
  SplitterWork work;
};

// The platform's SHA-256 against the standard's examples, fed whole (DigestHex, as the record
// is checked) and in parts, and again after a digest was taken (the object starts over empty).
TEST(Sha256, StandardDigestsWholeInPartsAndAfterReuse) {
  const std::string empty = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
  const std::string abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  EXPECT_EQ(DigestHex(HashAlg::kSha256, ""), empty);
  EXPECT_EQ(DigestHex(HashAlg::kSha256, "abc"), abc);
  Sha256 h;
  h.Update("a", 1);
  h.Update("bc", 2);
  EXPECT_EQ(h.FinishHex(), abc);
  EXPECT_EQ(h.FinishHex(), empty);
  h.Update("abc", 3);
  EXPECT_EQ(h.FinishHex(), abc);
}

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
  // "kzm" first, as older versions wrote it; the record follows, "hashalg" last.
  const std::string text = profile.FileText(Set("0.ds"));
  EXPECT_EQ(text.rfind("[fghb]\r\nkzm=.rar\r\nfilesize=2097452\r\npiecesize=1048576\r\n"
                       "pieces=3\r\nhash1=",
                       0),
            0u)
      << text;
  EXPECT_NE(text.find("\r\nhash3=" + DigestHex(HashAlg::kXxh3, bytes.substr(2 * kMegabyte)) +
                      "\r\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.substr(text.size() - 18), "hashalg=XXH3-128\r\n");
  EXPECT_EQ(ReadWholeFile(Set("1.ds")), bytes.substr(0, kMegabyte));
  EXPECT_EQ(ReadWholeFile(Set("2.ds")), bytes.substr(kMegabyte, kMegabyte));
  EXPECT_EQ(ReadWholeFile(Set("3.ds")), bytes.substr(2 * kMegabyte));
  ExpectProgressCaptions(view.captions, "正在分割，请稍侯...", "分割完成");
  // While it ran, Button3 was the stop button and Button5 could not start a merge.
  EXPECT_TRUE(view.captions[0].splitEnabled);
  EXPECT_FALSE(view.captions[0].mergeEnabled);
  EXPECT_EQ(view.button3, "分割文件");
  EXPECT_TRUE(view.splitEnabled);
  EXPECT_TRUE(view.mergeEnabled);
  EXPECT_TRUE(view.notices.empty());
}

TEST_F(SplitterPageTest, EmptyFileGivesOnlyTheIndexAndAFileWithoutExtensionAnEmptyOne) {
  SplitFile("README", "");
  EXPECT_EQ(profile.FileText(Set("0.ds")).rfind("[fghb]\r\nkzm=\r\nfilesize=0\r\n", 0), 0u);
  EXPECT_EQ(ReadSetRecord(profile, Set("0.ds")).kind, RecordRead::kValid);
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
  EXPECT_FALSE(profile.Exists(Set("0.ds")));
}

TEST_F(SplitterPageTest, FailedSplitRestoresButtonAndCaptionThenReports) {
  view.edit2 = dir / "gone.rar";
  t.dialogs.folderAnswers.push_back(dir / "set");
  EXPECT_EQ(Error([&] { Split(); }), "Cannot open file \"" + t.files.FullPath(dir / "gone.rar") +
                                         "\". 系统找不到指定的文件。");
  EXPECT_TRUE(view.splitEnabled);
  EXPECT_EQ(view.caption, kStartCaption);
  // A split that failed leaves no Index piece, nor its temporary file.
  EXPECT_FALSE(profile.Exists(Set("0.ds")));
  EXPECT_FALSE(profile.Exists(PartName(Set("0.ds"))));
}

TEST_F(SplitterPageTest, BadSizeTextsAreReportedBeforeAnythingIsWritten) {
  WriteWholeFile(dir / "a.txt", "abc");
  view.edit2 = dir / "a.txt";
  view.edit1 = "12a";
  t.dialogs.folderAnswers.push_back(dir / "set");
  EXPECT_EQ(Error([&] { Split(); }), "'12a' is not a valid integer value");
  EXPECT_FALSE(profile.Exists(Set("0.ds")));
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
  EXPECT_FALSE(profile.Exists(Set("0.ds")));
  EXPECT_TRUE(fs::is_empty(fs::u8path(dir / "set")));
  EXPECT_TRUE(view.captions.empty());
}

TEST_F(SplitterPageTest, UnwritableIndexPieceDoesNotStopTheSplit) {
  profile.MakeReadOnly(PartName(Set("0.ds")));
  view.recoveryTicked = true;
  SplitFile("a.txt", "hello");
  EXPECT_EQ(ReadWholeFile(Set("1.ds")), "hello");
  EXPECT_EQ(view.caption, "分割完成");
  // No Index piece, and no recovery piece without the record that would name it.
  EXPECT_FALSE(fs::exists(fs::u8path(test::PosixFileSystem::ToPosix(Set("0.ds")))));
  EXPECT_FALSE(fs::exists(fs::u8path(test::PosixFileSystem::ToPosix(Set(kRecoveryName)))));
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
  ExpectProgressCaptions(view.captions, "正在合并，请稍侯...", "合并完成");
  EXPECT_FALSE(view.captions[0].splitEnabled);
  EXPECT_EQ(view.button5, "合并文件");
  EXPECT_TRUE(view.mergeEnabled);
  EXPECT_TRUE(view.splitEnabled);
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
  EXPECT_EQ(view.caption, "分割完成");
  EXPECT_EQ(view.captions.back().text, "分割完成");
  // The Index row counts too.
  t.dialogs.saveAnswers.push_back(Set("0.ds"));
  Merge();
  EXPECT_EQ(view.notices.size(), 2u);
}

TEST_F(SplitterPageTest, IndexPieceOfASecondSetIsNotJoined) {
  SplitFile("a.txt", std::string(kMegabyte + 3, 'a'));
  // A set written by an older version: no record, so rows of another set may follow.
  profile.WriteString(Set("0.ds"), "fghb", "hashalg", "");
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
  EXPECT_EQ(view.caption, "分割完成");
  EXPECT_EQ(view.captions.back().text, "分割完成");
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
  // Without a record the missing piece is found only when the merge reaches it.
  profile.WriteString(Set("0.ds"), "fghb", "hashalg", "");
  t.dialogs.saveAnswers.push_back(dir / "joined");
  EXPECT_EQ(Error([&] { Merge(); }),
            "Cannot open file \"" + Set("2.ds") + "\". 系统找不到指定的文件。");
  EXPECT_EQ(view.caption, "分割完成");
  EXPECT_TRUE(view.mergeEnabled);
  // What was appended before the failure is no whole file: it is removed.
  EXPECT_FALSE(fs::exists(fs::u8path(dir / "joined")));
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
  EXPECT_FALSE(fs::exists(fs::u8path(dir / "joined")));
  EXPECT_TRUE(view.mergeEnabled);
  EXPECT_EQ(view.caption, "分割完成");
  t.services.files = &t.files;
}

}  // namespace
}  // namespace mt::splitter

namespace mt::splitter {
namespace {

fs::path Native(const std::string& path) {
  return fs::u8path(test::PosixFileSystem::ToPosix(path));
}

// A checked set: 3 MiB + 5 split into 1 MB pieces, then the list chosen in full.
class CheckedMergeTest : public SplitterPageTest {
 protected:
  void SetUp() override {
    SplitterPageTest::SetUp();
    bytes = PatternBytes(3 * kMegabyte + 5, 11);
    SplitFile("disk.img", bytes);
    ASSERT_EQ(ReadSetRecord(profile, Set("0.ds")).kind, RecordRead::kValid);
  }
  void ChooseAll() { Choose({Set("0.ds"), Set("1.ds"), Set("2.ds"), Set("3.ds"), Set("4.ds")}); }
  // Merges into dir/out.img; the one notice shown, or "" when none.
  std::string MergeNotice() {
    view.notices.clear();
    t.dialogs.saveAnswers.push_back(dir / "out.img");
    Merge();
    EXPECT_LE(view.notices.size(), 1u);
    return view.notices.empty() ? "" : view.notices[0];
  }
  bool OutputExists() { return fs::exists(fs::u8path(dir / "out.img")); }
  std::string bytes;
};

TEST_F(CheckedMergeTest, RecordReadBackAndAWholeSetJoins) {
  RecordRead r = ReadSetRecord(profile, Set("0.ds"));
  EXPECT_EQ(r.record.fileSize, 3 * kMegabyte + 5);
  EXPECT_EQ(r.record.pieceSize, kMegabyte);
  ASSERT_EQ(r.record.pieceHashes.size(), 4u);
  EXPECT_EQ(r.record.pieceHashes[1], DigestHex(HashAlg::kXxh3, bytes.substr(kMegabyte, kMegabyte)));
  EXPECT_EQ(r.record.PieceBytes(4), 5u);
  ChooseAll();
  EXPECT_EQ(MergeNotice(), "");
  EXPECT_EQ(ReadWholeFile(dir / "out.img"), bytes);
  EXPECT_EQ(view.caption, "合并完成");
}

TEST_F(CheckedMergeTest, DeletedPiece) {
  ChooseAll();
  fs::remove(Native(Set("3.ds")));
  EXPECT_EQ(MergeNotice(), FormatMessage1(kPieceGoneText, Set("3.ds")));
  EXPECT_FALSE(OutputExists());
  EXPECT_TRUE(t.dialogs.saveAsked.size() == 1 && view.mergeEnabled);
}

TEST_F(CheckedMergeTest, TruncatedPiece) {
  ChooseAll();
  fs::resize_file(Native(Set("2.ds")), kMegabyte - 1);
  // Caught before anything is written, not only once the copy reaches the piece.
  test::WatchingFileSystem watched(t.files);
  t.services.files = &watched;
  EXPECT_EQ(MergeNotice(), "分割文件大小不对：" + Set("2.ds") +
                               "\n应为 1048576 字节，实际为 1048575 "
                               "字节，文件不完整或不是这一组的分割文件。合并没有进行。");
  EXPECT_FALSE(OutputExists());
  EXPECT_TRUE(watched.created.empty());
  t.services.files = &t.files;
}

TEST_F(CheckedMergeTest, SwappedPieces) {
  ChooseAll();
  std::string one = ReadWholeFile(Set("1.ds")), two = ReadWholeFile(Set("2.ds"));
  WriteWholeFile(Set("1.ds"), two);
  WriteWholeFile(Set("2.ds"), one);
  EXPECT_EQ(MergeNotice(), FormatMessage1(kPieceHashText, Set("1.ds")));
  EXPECT_FALSE(OutputExists());
  EXPECT_EQ(view.caption, "分割完成");
}

TEST_F(CheckedMergeTest, AlteredPiece) {
  ChooseAll();
  std::string three = ReadWholeFile(Set("3.ds"));
  three[kMegabyte - 1] ^= 1;  // the very last byte of the piece
  WriteWholeFile(Set("3.ds"), three);
  EXPECT_EQ(MergeNotice(), FormatMessage1(kPieceHashText, Set("3.ds")));
  EXPECT_FALSE(OutputExists());
}

TEST_F(CheckedMergeTest, PieceOfAnotherSetWithTheSameNumber) {
  // Another file of the same size split the same way: its 2.ds fits by name and size.
  fs::create_directory(fs::u8path(dir / "other"));
  WriteWholeFile(dir / "other.img", PatternBytes(3 * kMegabyte + 5, 12));
  view.edit2 = dir / "other.img";
  t.dialogs.folderAnswers.push_back(dir / "other");
  Split();
  WriteWholeFile(Set("2.ds"), ReadWholeFile(dir / "other" + "\\2.ds"));
  ChooseAll();
  EXPECT_EQ(MergeNotice(), FormatMessage1(kPieceHashText, Set("2.ds")));
  EXPECT_FALSE(OutputExists());
}

TEST_F(CheckedMergeTest, MissingAndExtraRowsAreRefusedBeforeWriting) {
  Choose({Set("0.ds"), Set("1.ds"), Set("2.ds"), Set("3.ds")});
  EXPECT_EQ(MergeNotice(), FormatMessage2(kPieceNotListedText, Set("4.ds"), "4"));
  EXPECT_FALSE(OutputExists());
  view.rows.clear();
  ChooseAll();
  // A 5.ds left in the folder by an older, longer set.
  WriteWholeFile(Set("5.ds"), "x");
  view.rows.push_back(Set("5.ds"));
  EXPECT_EQ(MergeNotice(), FormatMessage1(kPieceExtraText, Set("5.ds")));
  EXPECT_FALSE(OutputExists());
}

TEST_F(CheckedMergeTest, DamagedRecordIsRefusedAndAnOlderSetMergesUnchecked) {
  ChooseAll();
  profile.WriteString(Set("0.ds"), "fghb", "pieces", "7");
  EXPECT_EQ(MergeNotice(), FormatMessage1(kIndexDamagedText, Set("0.ds")));
  profile.WriteString(Set("0.ds"), "fghb", "pieces", "4");
  profile.WriteString(Set("0.ds"), "fghb", "hashalg", "MD5");
  EXPECT_EQ(MergeNotice(), FormatMessage1(kIndexDamagedText, Set("0.ds")));
  EXPECT_FALSE(OutputExists());
  // Without "hashalg" (older versions never write it) an altered piece goes through as before.
  profile.WriteString(Set("0.ds"), "fghb", "hashalg", "");
  std::string two = ReadWholeFile(Set("2.ds"));
  two[0] ^= 1;
  WriteWholeFile(Set("2.ds"), two);
  EXPECT_EQ(MergeNotice(), "");
  EXPECT_EQ(ReadWholeFile(dir / "out.img").size(), bytes.size());
}

// A damaged record is bad input: a notice naming the Index piece and nothing written, never a
// crash (a piece size of 0 would divide by zero) nor a count that wrapped past 64 bits.
TEST_F(CheckedMergeTest, DamagedRecordValuesAreRefused) {
  ChooseAll();
  const std::string hash2 = profile.ReadString(Set("0.ds"), "fghb", "hash2", "");
  const std::string whole = profile.ReadString(Set("0.ds"), "fghb", "hash", "");
  const struct {
    const char* key;
    std::string value, good;
  } cases[] = {
      {"piecesize", "0", std::to_string(kMegabyte)},
      {"piecesize", "", std::to_string(kMegabyte)},
      {"filesize", "3145733x", std::to_string(3 * kMegabyte + 5)},
      {"hash2", hash2 + "0", hash2},            // 33 digits
      {"hash2", hash2.substr(1), hash2},        // 31 digits
      {"hash2", hash2 + hash2, hash2},          // 64: a SHA-256 length under XXH3-128
      {"hashalg", "SHA-256", "XXH3-128"},       // the same digests under another name
      {"hash2", "g" + hash2.substr(1), hash2},  // a letter past "f"
      {"hash2", "A" + hash2.substr(1), hash2},  // digits are written in lower case
      {"hash", whole + "0", whole},
      {"hash", "", whole},
      // 2^64 + 4: twenty digits that would wrap to the right count of 4.
      {"pieces", "18446744073709551620", "4"},
      {"pieces", "-4", "4"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.key) + "=" + c.value);
    profile.WriteString(Set("0.ds"), "fghb", c.key, c.value);
    EXPECT_EQ(MergeNotice(), FormatMessage1(kIndexDamagedText, Set("0.ds")));
    EXPECT_FALSE(OutputExists());
    profile.WriteString(Set("0.ds"), "fghb", c.key, c.good);
  }
  EXPECT_EQ(MergeNotice(), "");
  EXPECT_EQ(ReadWholeFile(dir / "out.img"), bytes);
}

// The taskbar button of one run, as the captions of that run give it: 0 when the run begins,
// then each percentage the caption showed, then `end`.
std::vector<std::string> TaskbarOf(
    const std::vector<test::FakeSplitterView::CaptionChange>& captions, const std::string& end) {
  std::vector<std::string> out = {"0%"};
  for (const auto& c : captions)
    if (!c.text.empty() && c.text.back() == '%')
      out.push_back(c.text.substr(c.text.rfind(' ') + 1));
  out.push_back(end);
  return out;
}

// The taskbar button shows the caption's percentages while a split or merge runs, nothing once
// it ended, and the error state after a merge that failed, until the next run begins.
TEST_F(CheckedMergeTest, TaskbarButtonFollowsTheCaptionAndShowsAFailure) {
  EXPECT_EQ(view.taskbar, TaskbarOf(view.captions, "none"));
  EXPECT_GE(view.taskbar.size(), 4u);
  ChooseAll();
  const std::string two = ReadWholeFile(Set("2.ds"));
  std::string altered = two;
  altered[7] ^= 1;
  WriteWholeFile(Set("2.ds"), altered);
  view.taskbar.clear();
  view.captions.clear();
  EXPECT_EQ(MergeNotice(), FormatMessage1(kPieceHashText, Set("2.ds")));
  EXPECT_EQ(view.taskbar, TaskbarOf(view.captions, "error"));
  WriteWholeFile(Set("2.ds"), two);
  view.taskbar.clear();
  view.captions.clear();
  EXPECT_EQ(MergeNotice(), "");
  EXPECT_EQ(view.taskbar, TaskbarOf(view.captions, "none"));
}

// The record of the whole file is compared too: pieces that each match their digest but not
// the whole (a record edited by hand, or pieces of two splits of the same file) are refused.
TEST_F(CheckedMergeTest, WholeFileDigestIsCompared) {
  ChooseAll();
  profile.WriteString(Set("0.ds"), "fghb", "hash", DigestHex(HashAlg::kXxh3, "another file"));
  EXPECT_EQ(MergeNotice(), kWholeHashText);
  EXPECT_FALSE(OutputExists());
}

// The program killed at every step of a checked merge in turn, saving over an older file:
// that file keeps its old content or holds the whole result, never a part; the next merge
// into the folder sweeps the leftover.
TEST_F(SplitterPageTest, KilledMergeNeverLeavesAPartialOutputUnderItsName) {
  const std::string bytes = PatternBytes(2 * kMegabyte + 7, 5);
  SplitFile("disk.img", bytes);
  Choose({Set("0.ds"), Set("1.ds"), Set("2.ds"), Set("3.ds")});
  const std::string out = dir / "out.img";
  bool completed = false;
  for (uint64_t step = 1; !completed; ++step) {
    SCOPED_TRACE(step);
    ASSERT_LT(step, 1000u);
    WriteWholeFile(out, "old content");
    test::WatchingFileSystem dying(t.files);
    dying.killAtStep = step;
    t.services.files = &dying;
    t.dialogs.saveAnswers.push_back(out);
    try {
      Merge();
      completed = dying.steps < step;
    } catch (const AppError&) {
    }
    const std::string now = ReadWholeFile(out);
    EXPECT_TRUE(now == "old content" || now == bytes) << now.size();
    if (completed) {
      EXPECT_TRUE(now == bytes);
    }
    t.services.files = &t.files;
    t.dialogs.saveAnswers.push_back(out);
    Merge();
    EXPECT_TRUE(ReadWholeFile(out) == bytes);
    EXPECT_FALSE(fs::exists(Native(PartName(out))));
  }
}

// A split with the recovery piece over a longer set, killed at every file-system and profile
// step in turn: whatever the folder holds then, listed whole with its 0.ds, either is refused
// or joins into one of the two files exactly, never into a short or mixed one. Once it
// completes, 0.ds describes the new set alone.
TEST_F(SplitterPageTest, KilledSplitNeverLeavesASetThatMergesWrong) {
  const std::string older = PatternBytes(2 * kMegabyte + 7, 8);
  const std::string newer = PatternBytes(kMegabyte + 9, 9);
  view.recoveryTicked = true;
  SplitFile("older.img", older);
  ASSERT_EQ(view.caption, kSplitDoneCaption);
  const fs::path set = fs::u8path(dir / "set");
  const fs::path withRecord = fs::u8path(dir / "older-record");
  fs::copy(set, withRecord);
  // The older set as an earlier version left it: "kzm" only, so it merges unchecked.
  const fs::path plain = fs::u8path(dir / "older-plain");
  fs::copy(set, plain);
  WriteWholeFile(dir / "older-plain" + "\\0.ds", "[fghb]\r\nkzm=.img\r\n");
  WriteWholeFile(dir / "newer.img", newer);
  for (const fs::path& olderSet : {withRecord, plain}) {
    bool completed = false;
    for (uint64_t step = 1; !completed; ++step) {
      SCOPED_TRACE(olderSet.filename().string() + " step " + std::to_string(step));
      ASSERT_LT(step, 2000u);
      fs::remove_all(set);
      fs::copy(olderSet, set);
      test::WatchingFileSystem dying(t.files);
      dying.killAtStep = step;
      t.services.files = &dying;
      profile.alive = [&] { return dying.Alive(); };
      view.edit2 = dir / "newer.img";
      t.dialogs.folderAnswers.push_back(dir / "set");
      try {
        Split();
        completed = dying.steps < step;
      } catch (const AppError&) {
      }
      t.services.files = &t.files;
      profile.alive = nullptr;
      if (!fs::exists(set / "0.ds")) continue;
      std::vector<std::string> listed = {Set("0.ds")};
      for (int k = 1; k <= 3; ++k)
        if (fs::exists(set / PieceName(k))) listed.push_back(Set(PieceName(k)));
      view.rows.clear();
      view.notices.clear();
      Choose(listed);
      fs::remove(fs::u8path(dir / "out.img"));
      t.dialogs.saveAnswers.push_back(dir / "out.img");
      Merge();
      if (view.notices.empty()) {
        const std::string joined = ReadWholeFile(dir / "out.img");
        EXPECT_TRUE(joined == older || joined == newer) << joined.size();
        if (completed) {
          EXPECT_TRUE(joined == newer);
        }
      }
    }
    // The record of the two-piece set keeps no digest of the older set's third piece, and
    // nothing temporary is left.
    EXPECT_EQ(profile.ReadString(Set("0.ds"), "fghb", "hash3", "none"), "none");
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(set))
      names.push_back(e.path().filename().u8string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"0.ds", "1.ds", "2.ds", kRecoveryName}));
  }
}

// Stops pressed while the worker copies: at the first read and near the end.
TEST_F(SplitterPageTest, StoppedSplitRemovesThePieceBeingWrittenAndRestoresTheCaption) {
  const std::string bytes = PatternBytes(3 * kMegabyte + 100);
  WriteWholeFile(dir / "src.bin", bytes);
  test::WatchingFileSystem watched(t.files);
  t.services.files = &watched;
  for (uint64_t at : {uint64_t{1}, 3 * kMegabyte + 50}) {
    SCOPED_TRACE(at);
    for (const char* k : {"1.ds", "2.ds", "3.ds", "4.ds"}) fs::remove(Native(Set(k)));
    watched.totalRead = 0;
    watched.onRead = [&](uint64_t n) {
      if (n >= at) SplitSourceFile(svc(), view, host, work);  // Button3 as the stop button
    };
    view.edit2 = dir / "src.bin";
    view.edit1 = "1";
    view.captions.clear();
    t.dialogs.folderAnswers.push_back(dir / "set");
    Split();
    EXPECT_FALSE(work.Running());
    EXPECT_EQ(view.caption, kStartCaption);
    EXPECT_EQ(view.button3, "分割文件");
    EXPECT_TRUE(view.splitEnabled && view.mergeEnabled);
    EXPECT_TRUE(view.notices.empty());
    EXPECT_TRUE(t.messages.shown.empty());
    const bool nearEnd = at > 1;
    EXPECT_EQ(fs::exists(Native(Set("3.ds"))), nearEnd);
    if (nearEnd) {
      EXPECT_EQ(ReadWholeFile(Set("3.ds")), bytes.substr(2 * kMegabyte, kMegabyte));
    }
    EXPECT_FALSE(fs::exists(Native(Set(nearEnd ? "4.ds" : "1.ds"))));
    // No Index piece beside an unfinished set, not even one with "kzm" only: with it the
    // pieces would look like a whole set of an earlier version.
    EXPECT_FALSE(fs::exists(Native(Set("0.ds"))));
    EXPECT_FALSE(fs::exists(Native(PartName(Set("0.ds")))));
  }
  t.services.files = &t.files;
}

TEST_F(SplitterPageTest, StoppedMergeRemovesTheOutput) {
  const std::string bytes = PatternBytes(2 * kMegabyte + 7);
  SplitFile("a.bin", bytes);
  Choose({Set("0.ds"), Set("1.ds"), Set("2.ds"), Set("3.ds")});
  test::WatchingFileSystem watched(t.files);
  t.services.files = &watched;
  watched.onRead = [&](uint64_t n) {
    if (n >= 2 * kMegabyte) MergePieces(svc(), view, saveDialog1, indexPath, host, work);
  };
  t.dialogs.saveAnswers.push_back(dir / "joined");
  Merge();
  t.services.files = &t.files;
  EXPECT_FALSE(fs::exists(fs::u8path(dir / "joined")));
  EXPECT_EQ(view.caption, "分割完成");
  EXPECT_EQ(view.button5, "合并文件");
  EXPECT_TRUE(view.notices.empty());
}

TEST_F(SplitterPageTest, FullDiskDuringSplitRemovesTheCutPieceAndWritesNoRecord) {
  WriteWholeFile(dir / "src.bin", PatternBytes(2 * kMegabyte + 9));
  test::WatchingFileSystem full(t.files);
  full.writeBudget = kMegabyte + 1000;
  t.services.files = &full;
  view.edit2 = dir / "src.bin";
  view.edit1 = "1";
  t.dialogs.folderAnswers.push_back(dir / "set");
  EXPECT_EQ(Error([&] { Split(); }), "Stream write error");
  t.services.files = &t.files;
  EXPECT_TRUE(fs::exists(Native(Set("1.ds"))));
  EXPECT_FALSE(fs::exists(Native(Set("2.ds"))));
  EXPECT_EQ(ReadSetRecord(profile, Set("0.ds")).kind, RecordRead::kNone);
  EXPECT_EQ(view.caption, kStartCaption);
  EXPECT_TRUE(view.splitEnabled && view.mergeEnabled);
}

TEST_F(SplitterPageTest, SourceGrowingDuringTheSplitIsNamedAndGetsNoRecord) {
  WriteWholeFile(dir / "log.txt", PatternBytes(kMegabyte + 10));
  test::WatchingFileSystem watched(t.files);
  t.services.files = &watched;
  bool grown = false;
  watched.onRead = [&](uint64_t) {
    if (grown) return;
    grown = true;
    std::ofstream(fs::u8path(dir / "log.txt"), std::ios::binary | std::ios::app) << "more";
  };
  view.edit2 = dir / "log.txt";
  view.edit1 = "1";
  t.dialogs.folderAnswers.push_back(dir / "set");
  Split();
  t.services.files = &t.files;
  ASSERT_EQ(view.notices.size(), 1u);
  EXPECT_EQ(view.notices[0], FormatMessage1(kSourceChangedText, t.files.FullPath(dir / "log.txt")));
  EXPECT_EQ(ReadSetRecord(profile, Set("0.ds")).kind, RecordRead::kNone);
  EXPECT_EQ(view.caption, kStartCaption);
}

TEST_F(SplitterPageTest, ClosingTheWindowAsksWhileWorkRuns) {
  bool closed = false;
  auto close = [&] { closed = true; };
  EXPECT_TRUE(MayCloseWindow(svc(), view, work, close));  // idle: no question
  EXPECT_TRUE(t.messages.shown.empty());

  const std::string bytes = PatternBytes(2 * kMegabyte + 3);
  WriteWholeFile(dir / "src.bin", bytes);
  test::WatchingFileSystem watched(t.files);
  t.services.files = &watched;
  bool asked = false;
  // "No" at the first read keeps the work going; "yes" at the second piece stops it.
  t.messages.answers = {7, kIdYes};
  watched.onRead = [&](uint64_t n) {
    if (!asked) {
      asked = true;
      EXPECT_FALSE(MayCloseWindow(svc(), view, work, close));
      EXPECT_TRUE(work.Running());
      EXPECT_FALSE(work.stop->load());
    } else if (n >= kMegabyte + 1 && !work.stop->load()) {
      EXPECT_FALSE(MayCloseWindow(svc(), view, work, close));
    }
  };
  view.edit2 = dir / "src.bin";
  view.edit1 = "1";
  t.dialogs.folderAnswers.push_back(dir / "set");
  Split();
  t.services.files = &t.files;
  ASSERT_EQ(t.messages.shown.size(), 2u);
  EXPECT_EQ(t.messages.shown[0].text, kCloseWhileWorkingText);
  EXPECT_EQ(t.messages.shown[0].caption, "温馨提示");
  EXPECT_EQ(t.messages.shown[0].style, kMbYesNo | kMbIconQuestion);
  EXPECT_TRUE(closed);
  EXPECT_FALSE(fs::exists(Native(Set("2.ds"))));  // the piece being written went
  EXPECT_TRUE(fs::exists(Native(Set("1.ds"))));
}

// On a real thread: the posts come back in order, the stop reaches the worker.
TEST(SplitterWorker, ProgressComesBackFromTheThreadAndAStopEndsIt) {
  test::TempDir dir;
  test::TestServices t;
  test::DiskProfile profile;
  t.services.profile = &profile;
  test::FakeSplitterView view;
  test::TestWorkHost host(true);
  SplitterWork work;
  fs::create_directory(fs::u8path(dir / "set"));
  WriteWholeFile(dir / "big.bin", PatternBytes(16 * kMegabyte + 1));
  // A slow disk, so the work is still running when the percentages arrive.
  test::WatchingFileSystem slow(t.files);
  slow.onRead = [](uint64_t) { std::this_thread::sleep_for(std::chrono::milliseconds(2)); };
  t.services.files = &slow;
  view.edit2 = dir / "big.bin";
  view.edit1 = "1";
  t.dialogs.folderAnswers.push_back(dir / "set");
  SplitSourceFile(t.services, view, host, work);
  EXPECT_TRUE(work.Running());
  EXPECT_EQ(view.button3, "停止分割");
  host.RunUntilIdle(work, [&] {
    if (view.caption != "正在分割，请稍侯... 0%" && view.caption.back() == '%')
      SplitSourceFile(t.services, view, host, work);
  });
  EXPECT_EQ(view.caption, kStartCaption);
  EXPECT_EQ(ReadSetRecord(profile, dir / "set" + "\\0.ds").kind, RecordRead::kNone);
  // Whatever pieces stayed are whole ones.
  for (const auto& e : fs::directory_iterator(fs::u8path(dir / "set"))) {
    if (e.path().filename() != "0.ds") {
      EXPECT_EQ(e.file_size(), kMegabyte) << e.path();
    }
  }
  EXPECT_FALSE(fs::exists(fs::u8path(dir / "set/17.ds")));
}

}  // namespace
}  // namespace mt::splitter
