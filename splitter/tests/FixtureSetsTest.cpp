// The piece sets that earlier versions wrote (tests/data, made by tests/data/make-sets.sh with
// each version's own split), merged, checked and rebuilt as they are, through the page's
// handlers; and today's split of the same source, byte for byte the set of today's version.
// A change of the set's format on both the writing and the reading side fails here.
#include <gtest/gtest.h>

#include <filesystem>

#include "splitter/FileSplitter.h"
#include "splitter/PieceNames.h"
#include "splitter/SetRecord.h"
#include "splitter/Split.h"
#include "splitter/tests/SplitterTestSupport.h"
#include "tests/support/StandIns.h"

namespace mt::splitter {
namespace {

using test::ReadWholeFile;
using test::WriteWholeFile;
namespace fs = std::filesystem;

const std::string kData = MT_SPLITTER_DATA;
const std::string kSourceName = "年度报告.表格";

fs::path Native(const std::string& path) {
  return fs::u8path(test::PosixFileSystem::ToPosix(path));
}

class FixtureSet : public ::testing::Test {
 protected:
  void SetUp() override { t.services.profile = &profile; }
  // The set `name` of tests/data copied to dir/set, and the source it was split from.
  void Use(const std::string& name) {
    fs::copy(Native(kData + "/" + name), Native(dir / "set"));
    source = ReadWholeFile(kData + "/source/" + kSourceName);
    ASSERT_EQ(source.size(), 3u * 4096 + 1234);
  }
  std::string Set(const std::string& name) { return dir / "set" + "\\" + name; }
  void ChooseAll() {
    std::vector<std::string> chosen = {Set("0.ds")};
    for (int k = 1; k <= 4; ++k)
      if (fs::exists(Native(Set(PieceName(k))))) chosen.push_back(Set(PieceName(k)));
    view.rows.clear();
    AddPieces(view, chosen, indexPath);
  }
  // Merges the listed set into dir/out; the notices shown.
  std::vector<std::string> Merge() {
    view.notices.clear();
    view.questions.clear();
    fs::remove(Native(dir / "out"));
    t.dialogs.saveAnswers.push_back(dir / "out");
    MergePieces(t.services, view, saveDialog1, indexPath, host, work);
    host.RunPosted();
    return view.notices;
  }
  std::string Verify() {
    view.notices.clear();
    VerifyPieces(t.services, view, host, work);
    host.RunPosted();
    return view.notices.size() == 1 ? view.notices[0] : "(" + std::to_string(view.notices.size());
  }
  std::string Piece(uint64_t k) { return source.substr((k - 1) * 4096, 4096); }
  void Alter(const std::string& name) {
    std::string b = ReadWholeFile(Set(name));
    b[b.size() / 2] ^= 0x21;
    WriteWholeFile(Set(name), b);
  }

  test::TempDir dir;
  test::TestServices t;
  test::DiskProfile profile;
  test::FakeSplitterView view;
  test::TestWorkHost host;
  SplitterWork work;
  FileDialogOptions saveDialog1;
  std::string indexPath, source;
};

// The last version before the digests wrote "kzm" only: the set merges unchecked, named for
// its Chinese extension, and cannot be checked.
TEST_F(FixtureSet, KzmOnlySetMergesUncheckedAndCannotBeChecked) {
  Use("v1-kzm");
  EXPECT_EQ(ReadSetRecord(profile, Set("0.ds")).kind, RecordRead::kNone);
  ChooseAll();
  EXPECT_EQ(Merge(), std::vector<std::string>{});
  EXPECT_TRUE(ReadWholeFile(dir / "out") == source);
  EXPECT_EQ(saveDialog1.fileName, "ds.表格");
  EXPECT_EQ(Verify(), FormatMessage1(kVerifyNoRecordText, Set("0.ds")));
}

// The last version with SHA-256 records: checked while merging and by the check, an altered
// piece named, and no recovery piece to rebuild it from.
TEST_F(FixtureSet, Sha256SetMergesChecksAndNamesAnAlteredPiece) {
  Use("v2-sha256");
  RecordRead read = ReadSetRecord(profile, Set("0.ds"));
  ASSERT_EQ(read.kind, RecordRead::kValid);
  EXPECT_EQ(read.record.alg, HashAlg::kSha256);
  EXPECT_FALSE(read.record.recovery);
  ChooseAll();
  EXPECT_EQ(Merge(), std::vector<std::string>{});
  EXPECT_TRUE(ReadWholeFile(dir / "out") == source);
  EXPECT_EQ(Verify(), kSetWholeText);
  Alter("3.ds");
  EXPECT_EQ(Merge(), std::vector<std::string>{FormatMessage1(kPieceHashText, Set("3.ds"))});
  EXPECT_FALSE(fs::exists(Native(dir / "out")));
  EXPECT_EQ(Verify(),
            FormatMessage2(kSetBadText, Set("3.ds") + "（内容不对）", kNoRecoveryPieceText));
}

// Today's set, XXH3-128 and the recovery piece: merged, checked, and a missing or altered
// piece (the short last one too) rebuilt and written back.
TEST_F(FixtureSet, Xxh3SetWithRecoveryPieceMergesChecksAndRebuilds) {
  Use("v3-xxh3");
  RecordRead read = ReadSetRecord(profile, Set("0.ds"));
  ASSERT_EQ(read.kind, RecordRead::kValid);
  EXPECT_EQ(read.record.alg, HashAlg::kXxh3);
  ASSERT_TRUE(read.record.recovery);
  EXPECT_EQ(read.record.recovery->name, kRecoveryName);
  ChooseAll();
  EXPECT_EQ(Merge(), std::vector<std::string>{});
  EXPECT_TRUE(ReadWholeFile(dir / "out") == source);
  EXPECT_EQ(Verify(), kSetWholeText);
  view.answerYes = true;
  fs::remove(Native(Set("2.ds")));
  ChooseAll();
  EXPECT_EQ(Merge(), std::vector<std::string>{});
  EXPECT_TRUE(ReadWholeFile(dir / "out") == source);
  EXPECT_EQ(view.questions, std::vector<std::string>{FormatMessage1(kRebuiltText, Set("2.ds"))});
  EXPECT_TRUE(ReadWholeFile(Set("2.ds")) == Piece(2));
  Alter("4.ds");
  ChooseAll();
  EXPECT_EQ(Verify(), FormatMessage2(kSetBadText, Set("4.ds") + "（内容不对）", kCanRebuildText));
  EXPECT_EQ(Merge(), std::vector<std::string>{});
  EXPECT_TRUE(ReadWholeFile(dir / "out") == source);
  EXPECT_TRUE(ReadWholeFile(Set("4.ds")) == source.substr(3 * 4096));
}

// Today's split of the same source writes today's set byte for byte: its Index piece's text,
// every piece and the recovery piece.
TEST_F(FixtureSet, TodaysSplitWritesTheSetOfTodaysVersion) {
  Use("v3-xxh3");
  fs::create_directory(Native(dir / "new"));
  SplitRequest request;
  request.sourcePath = kData + "/source/" + kSourceName;
  request.prefix = TargetPrefix(dir / "new");
  request.pieceSize = 4096;
  request.extension = ".表格";
  request.recovery = true;
  ASSERT_TRUE(SplitIntoSet(t.files, profile, request));
  size_t files = 0;
  for (const auto& e : fs::directory_iterator(Native(dir / "new"))) {
    const std::string name = e.path().filename().u8string();
    SCOPED_TRACE(name);
    ++files;
    EXPECT_TRUE(ReadWholeFile(dir / "new" + "\\" + name) == ReadWholeFile(Set(name)));
  }
  EXPECT_EQ(files, 6u);
}

}  // namespace
}  // namespace mt::splitter
