// The recovery piece, the fast digest and "校验分割文件": through the page's handlers on real
// temp files, and the engine killed at every step.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/Error.h"
#include "splitter/Digest.h"
#include "splitter/FileSplitter.h"
#include "splitter/CheckedMerge.h"
#include "splitter/ChunkWorker.h"
#include "splitter/CopyEngine.h"
#include "splitter/MergeList.h"
#include "splitter/ParityFold.h"
#include "splitter/PartFiles.h"
#include "splitter/PieceNames.h"
#include "splitter/PieceSize.h"
#include "splitter/Rebuild.h"
#include "splitter/SetCheck.h"
#include "splitter/SetRecord.h"
#include "splitter/Split.h"
#include "splitter/tests/SplitterTestSupport.h"
#include "tests/support/StandIns.h"

namespace mt::splitter {
namespace {

using test::PatternBytes;
using test::ReadWholeFile;
using test::WriteWholeFile;
namespace fs = std::filesystem;

fs::path Native(const std::string& path) {
  return fs::u8path(test::PosixFileSystem::ToPosix(path));
}

// The XOR of the pieces of `bytes` cut at `piece`, the last padded with zeros.
std::string Parity(const std::string& bytes, size_t piece) {
  std::string out(std::min(piece, bytes.size()), '\0');
  for (size_t i = 0; i < bytes.size(); ++i) out[i % piece] ^= bytes[i];
  return out;
}

// Known digests, fed whole and in uneven parts, and again after a digest was taken.
TEST(Digest, Xxh3And256KnownValuesInPartsAndAfterReuse) {
  EXPECT_EQ(DigestHex(HashAlg::kXxh3, ""), "99aa06d3014798d86001c324468d497f");
  EXPECT_EQ(DigestHex(HashAlg::kXxh3, "abc"), "06b05ab6733a618578af5f94892f3950");
  EXPECT_EQ(DigestHex(HashAlg::kSha256, "abc"),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const std::string big = PatternBytes(300000, 5);
  for (HashAlg alg : {HashAlg::kXxh3, HashAlg::kSha256}) {
    Digest d(alg);
    d.Update(big.data(), 7);
    d.Update(big.data() + 7, 61440);
    d.Update(big.data() + 61447, big.size() - 61447);
    EXPECT_EQ(d.FinishHex(), DigestHex(alg, big));
    d.Update("abc", 3);
    EXPECT_EQ(d.FinishHex(), DigestHex(alg, "abc"));
    EXPECT_EQ(DigestHex(alg, "abc").size(), DigestHexLength(alg));
  }
  EXPECT_EQ(HashAlgNamed("XXH3-128"), HashAlg::kXxh3);
  EXPECT_EQ(HashAlgNamed("SHA-256"), HashAlg::kSha256);
  EXPECT_FALSE(HashAlgNamed("xxh3-128"));
}

// A set of 3 MiB + 5 in 1 MB pieces split with the box ticked, merged from dir/set.
class RecoveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    t.services.profile = &profile;
    fs::create_directory(Native(dir / "set"));
    bytes = PatternBytes(3 * kMegabyte + 5, 21);
    SplitWithBox(true);
  }
  void SplitWithBox(bool ticked) {
    WriteWholeFile(dir / "disk.img", bytes);
    view.edit2 = dir / "disk.img";
    view.edit1 = "1";
    view.recoveryTicked = ticked;
    t.dialogs.folderAnswers.push_back(dir / "set");
    SplitSourceFile(t.services, view, host, work);
    host.RunPosted();
    ASSERT_EQ(view.caption, kSplitDoneCaption);
  }
  std::string Set(const std::string& name) { return dir / "set" + "\\" + name; }
  std::string Piece(uint64_t k) {
    return bytes.substr((k - 1) * kMegabyte,
                        std::min<size_t>(kMegabyte, bytes.size() - (k - 1) * kMegabyte));
  }
  // Lists 0.ds and the pieces still there, as the pieces dialog would.
  void ChooseAll() {
    std::vector<std::string> chosen = {Set("0.ds")};
    for (int k = 1; k <= 4; ++k)
      if (fs::exists(Native(Set(PieceName(k))))) chosen.push_back(Set(PieceName(k)));
    t.dialogs.openAnswers.push_back(chosen);
    ChoosePieces(t.services, view, OpenDialog2Defaults(), indexPath);
  }
  // Merges into dir/out.img; the notices shown.
  std::vector<std::string> Merge() {
    view.notices.clear();
    view.questions.clear();
    t.dialogs.saveAnswers.push_back(dir / "out.img");
    MergePieces(t.services, view, saveDialog1, indexPath, host, work);
    host.RunPosted();
    return view.notices;
  }
  std::string Verify() {
    view.notices.clear();
    VerifyPieces(t.services, view, host, work);
    host.RunPosted();
    EXPECT_EQ(view.notices.size(), 1u);
    return view.notices.empty() ? "" : view.notices[0];
  }
  bool OutputExists() { return fs::exists(Native(dir / "out.img")); }
  void Alter(const std::string& name, size_t at) {
    std::string b = ReadWholeFile(Set(name));
    b[at] ^= 0x40;
    WriteWholeFile(Set(name), b);
  }

  test::TempDir dir;
  test::TestServices t;
  test::DiskProfile profile;  // 0.ds on disk, so that it can be renamed
  test::FakeSplitterView view;
  FileDialogOptions saveDialog1;
  std::string indexPath;
  test::TestWorkHost host;
  SplitterWork work;
  std::string bytes;
};

TEST_F(RecoveryTest, RecoveryPieceIsTheXorOfThePiecesAndIsRecordedBeforeHashalg) {
  const std::string parity = ReadWholeFile(Set(kRecoveryName));
  EXPECT_EQ(parity.size(), kMegabyte);
  EXPECT_TRUE(parity == Parity(bytes, kMegabyte));
  const std::string text = profile.FileText(Set("0.ds"));
  const std::string keys = "recovery=" + std::string(kRecoveryName) +
                           "\r\nrecoverysize=1048576\r\n" +
                           "recoveryhash=" + DigestHex(HashAlg::kXxh3, parity) +
                           "\r\nhashalg=XXH3-128\r\n";
  EXPECT_EQ(text.substr(text.size() - keys.size()), keys) << text;
  // Not a "*.ds" name, so older versions' pieces dialog never lists it.
  EXPECT_FALSE(PieceNumber(kRecoveryName));
  EXPECT_FALSE(fs::exists(Native(PartName(Set(kRecoveryName)))));

  // One piece only: the recovery piece is that piece. Unticked: no recovery piece, the keys
  // say so, and the older set's one is gone.
  bytes = "short file";
  SplitWithBox(true);
  EXPECT_EQ(ReadWholeFile(Set(kRecoveryName)), bytes);
  bytes = PatternBytes(2 * kMegabyte, 2);
  SplitWithBox(false);
  EXPECT_FALSE(fs::exists(Native(Set(kRecoveryName))));
  EXPECT_EQ(profile.ReadString(Set("0.ds"), "fghb", "recovery", "?"), "");
  EXPECT_EQ(ReadSetRecord(profile, Set("0.ds")).kind, RecordRead::kValid);
}

// A piece deleted (so not listed) is rebuilt while joining: the first, a middle one and the
// short last one. The notice names it, and "yes" writes it back whole.
TEST_F(RecoveryTest, MissingFirstMiddleAndLastPieceAreRebuiltAndWrittenBack) {
  for (uint64_t k : {1, 2, 4}) {
    SCOPED_TRACE(k);
    fs::remove(Native(Set(PieceName(k))));
    view.rows.clear();
    ChooseAll();
    view.answerYes = true;
    EXPECT_EQ(Merge(), std::vector<std::string>{});
    EXPECT_TRUE(ReadWholeFile(dir / "out.img") == bytes);
    ASSERT_EQ(view.questions.size(), 1u);
    EXPECT_EQ(view.questions[0], FormatMessage1(kRebuiltText, Set(PieceName(k))));
    EXPECT_TRUE(ReadWholeFile(Set(PieceName(k))) == Piece(k));
    EXPECT_EQ(view.caption, kWriteBackDoneCaption);
  }
  // "No" leaves the folder as it is.
  fs::remove(Native(Set("3.ds")));
  view.rows.clear();
  ChooseAll();
  view.answerYes = false;
  EXPECT_EQ(Merge(), std::vector<std::string>{});
  EXPECT_TRUE(ReadWholeFile(dir / "out.img") == bytes);
  EXPECT_EQ(view.questions.size(), 1u);
  EXPECT_FALSE(fs::exists(Native(Set("3.ds"))));
  EXPECT_EQ(view.caption, kMergeDoneCaption);
}

// Altered (found only by its digest, after it was written to the output) and truncated pieces.
TEST_F(RecoveryTest, AlteredAndShortPiecesAreRebuilt) {
  ChooseAll();
  for (uint64_t k : {1, 3, 4}) {
    SCOPED_TRACE(k);
    Alter(PieceName(k), k == 4 ? 2 : 70000);
    EXPECT_EQ(Merge(), std::vector<std::string>{});
    EXPECT_TRUE(ReadWholeFile(dir / "out.img") == bytes);
    ASSERT_EQ(view.questions.size(), 1u);
    EXPECT_EQ(view.questions[0], FormatMessage1(kRebuiltText, Set(PieceName(k))));
    WriteWholeFile(Set(PieceName(k)), Piece(k));
  }
  WriteWholeFile(Set("2.ds"), Piece(2).substr(0, 1000));
  EXPECT_EQ(Merge(), std::vector<std::string>{});
  EXPECT_TRUE(ReadWholeFile(dir / "out.img") == bytes);
  EXPECT_EQ(view.questions.size(), 1u);
}

// Two bad pieces: the notice names both, and nothing stays under the output's name, whether
// both were found before copying or one only by its digest on the way.
TEST_F(RecoveryTest, TwoBadPiecesAreRefusedAndNamed) {
  const std::string lines2and3 = Set("2.ds") + "（缺少）\n" + Set("3.ds") + "（缺少）";
  fs::rename(Native(Set("2.ds")), Native(dir / "2.keep"));
  fs::rename(Native(Set("3.ds")), Native(dir / "3.keep"));
  ChooseAll();
  EXPECT_EQ(Merge(), std::vector<std::string>{FormatMessage1(kTooManyBadText, lines2and3)});
  EXPECT_FALSE(OutputExists());
  fs::rename(Native(dir / "3.keep"), Native(Set("3.ds")));
  Alter("4.ds", 1);  // missing 2 rebuilt first from a damaged 4: the rebuild fails its digest
  view.rows.clear();
  ChooseAll();
  EXPECT_EQ(Merge(),
            std::vector<std::string>{FormatMessage1(
                kTooManyBadLateText, Set("2.ds") + "（缺少）\n" + Set("4.ds") + "（内容不对）")});
  EXPECT_FALSE(OutputExists());
  EXPECT_FALSE(fs::exists(Native(PartName(dir / "out.img"))));
  fs::rename(Native(dir / "2.keep"), Native(Set("2.ds")));
  Alter("1.ds", 5);  // both found by their digests
  view.rows.clear();
  ChooseAll();
  EXPECT_EQ(Merge(), std::vector<std::string>{
                         FormatMessage1(kTooManyBadLateText, Set("1.ds") + "（内容不对）\n" +
                                                                 Set("4.ds") + "（内容不对）")});
  EXPECT_FALSE(OutputExists());
}

// The recovery piece itself damaged or gone: with every data piece good the merge goes through;
// with a piece bad it says the piece cannot be rebuilt.
TEST_F(RecoveryTest, DamagedOrMissingRecoveryPiece) {
  ChooseAll();
  Alter(kRecoveryName, 10);
  EXPECT_EQ(Merge(), std::vector<std::string>{});
  EXPECT_TRUE(ReadWholeFile(dir / "out.img") == bytes);
  EXPECT_TRUE(view.questions.empty());
  fs::remove(Native(dir / "out.img"));
  Alter("2.ds", 10);
  EXPECT_EQ(Merge(), std::vector<std::string>{
                         FormatMessage2(kRecoveryDamagedText, Set("2.ds"), Set(kRecoveryName))});
  EXPECT_FALSE(OutputExists());
  // Missing instead of altered: rebuilt in the one pass, the digest still tells.
  const std::string piece2 = ReadWholeFile(Set("2.ds"));
  fs::remove(Native(Set("2.ds")));
  view.rows.clear();
  ChooseAll();
  EXPECT_EQ(Merge(), std::vector<std::string>{
                         FormatMessage2(kRecoveryDamagedText, Set("2.ds"), Set(kRecoveryName))});
  EXPECT_FALSE(OutputExists());
  EXPECT_TRUE(view.questions.empty());
  WriteWholeFile(Set("2.ds"), piece2);
  view.rows.clear();
  ChooseAll();
  fs::remove(Native(Set(kRecoveryName)));
  EXPECT_EQ(Merge(), std::vector<std::string>{FormatMessage1(kPieceHashText, Set("2.ds"))});
  fs::remove(Native(Set("2.ds")));
  view.rows.clear();
  ChooseAll();
  EXPECT_EQ(Merge(), std::vector<std::string>{
                         FormatMessage2(kNoRecoveryText, Set("2.ds"), Set(kRecoveryName))});
  EXPECT_FALSE(OutputExists());
}

// A gap in a list that is not the set once (a full set listed again without a piece) is still
// the list's order problem, named as before.
TEST_F(RecoveryTest, GapInAListOfAnotherShapeKeepsTheOrderNotice) {
  ChooseAll();
  fs::remove(Native(Set("2.ds")));
  ChooseAll();
  EXPECT_EQ(Merge(), std::vector<std::string>{FormatMessage1(kMissingPieceText, Set("2.ds"))});
  EXPECT_TRUE(t.dialogs.saveAsked.empty());
}

// A set split without the box is an older set: a deleted piece is refused as before.
TEST_F(RecoveryTest, SetWithoutRecoveryPieceRefusesAMissingPieceAsBefore) {
  SplitWithBox(false);
  fs::remove(Native(Set("2.ds")));
  ChooseAll();
  EXPECT_EQ(Merge(), std::vector<std::string>{FormatMessage1(kMissingPieceText, Set("2.ds"))});
  EXPECT_FALSE(OutputExists());
}

// A record written with SHA-256 still verifies: a whole set joins, an altered piece is named,
// and its recovery piece rebuilds a lost piece.
TEST_F(RecoveryTest, Sha256SetsStillVerifyAndRebuild) {
  SetRecord r;
  r.alg = HashAlg::kSha256;
  const std::string prefix = TargetPrefix(dir / "set");
  ASSERT_EQ(WriteDataPieces(t.files, dir / "disk.img", prefix, kMegabyte, &r, nullptr, true), 4u);
  WriteIndexPiece(profile, prefix + kIndexName, ".img");
  WriteSetRecord(profile, prefix + kIndexName, r);
  EXPECT_EQ(profile.ReadString(Set("0.ds"), "fghb", "hashalg", ""), "SHA-256");
  EXPECT_EQ(r.pieceHashes[0], DigestHex(HashAlg::kSha256, Piece(1)));
  EXPECT_EQ(r.pieceHashes[0].size(), 64u);
  ChooseAll();
  EXPECT_EQ(Merge(), std::vector<std::string>{});
  EXPECT_TRUE(ReadWholeFile(dir / "out.img") == bytes);
  Alter("3.ds", 3);
  fs::remove(Native(Set(kRecoveryName)));
  EXPECT_EQ(Merge(), std::vector<std::string>{FormatMessage1(kPieceHashText, Set("3.ds"))});
  WriteDataPieces(t.files, dir / "disk.img", prefix, kMegabyte, &r, nullptr, true);
  WriteSetRecord(profile, prefix + kIndexName, r);
  Alter("3.ds", 3);
  EXPECT_EQ(Merge(), std::vector<std::string>{});
  EXPECT_TRUE(ReadWholeFile(dir / "out.img") == bytes);
  EXPECT_EQ(view.questions, std::vector<std::string>{FormatMessage1(kRebuiltText, Set("3.ds"))});
}

// A recovery entry that does not fit the set is a damaged record.
TEST_F(RecoveryTest, DamagedRecoveryKeysAreRefused) {
  ChooseAll();
  const struct {
    const char* key;
    std::string value;
  } cases[] = {{"recoverysize", "1048575"}, {"recoverysize", ""},     {"recoveryhash", "abc"},
               {"recovery", "..\\x.dsr"},   {"recovery", "../x.dsr"}, {"recovery", "C:x.dsr"},
               {"recovery", "5.ds"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.key) + "=" + c.value);
    const std::string good = profile.ReadString(Set("0.ds"), "fghb", c.key, "");
    profile.WriteString(Set("0.ds"), "fghb", c.key, c.value);
    EXPECT_EQ(Merge(), std::vector<std::string>{FormatMessage1(kIndexDamagedText, Set("0.ds"))});
    profile.WriteString(Set("0.ds"), "fghb", c.key, good);
  }
  EXPECT_EQ(Merge(), std::vector<std::string>{});
}

TEST_F(RecoveryTest, VerifyReportsWholeBadAndRebuildable) {
  ChooseAll();
  EXPECT_EQ(Verify(), "完好");
  EXPECT_EQ(view.caption, kVerifyDoneCaption);
  Alter("3.ds", 9);
  EXPECT_EQ(Verify(), FormatMessage2(kSetBadText, Set("3.ds") + "（内容不对）", kCanRebuildText));
  WriteWholeFile(Set("1.ds"), "x");
  EXPECT_EQ(Verify(), FormatMessage2(kSetBadText,
                                     Set("1.ds") + "（大小不对）\n" + Set("3.ds") + "（内容不对）",
                                     kTooManyToRebuildText));
  WriteWholeFile(Set("1.ds"), Piece(1));
  Alter(kRecoveryName, 0);
  EXPECT_EQ(Verify(), FormatMessage2(kSetBadText, Set("3.ds") + "（内容不对）",
                                     FormatMessage1(kRecoveryAlsoBadText, Set(kRecoveryName))));
  WriteWholeFile(Set("3.ds"), Piece(3));
  EXPECT_EQ(Verify(), FormatMessage1(kSetWholeRecoveryBadText, Set(kRecoveryName)));
  // Nothing was written: the verify only reads.
  EXPECT_FALSE(OutputExists());
  // A set without a record cannot be checked.
  profile.WriteString(Set("0.ds"), "fghb", "hashalg", "");
  EXPECT_EQ(Verify(), FormatMessage1(kVerifyNoRecordText, Set("0.ds")));
}

// A set of one piece shorter than the piece size: its recovery piece is that piece, recorded
// with the piece's own size, and the set merges and rebuilds its one piece.
TEST_F(RecoveryTest, OnePieceSetShorterThanThePieceSizeKeepsAValidRecord) {
  bytes = "short file";
  SplitWithBox(true);
  RecordRead read = ReadSetRecord(profile, Set("0.ds"));
  ASSERT_EQ(read.kind, RecordRead::kValid);
  ASSERT_TRUE(read.record.recovery);
  EXPECT_EQ(read.record.recovery->size, bytes.size());
  ChooseAll();
  EXPECT_EQ(Merge(), std::vector<std::string>{});
  EXPECT_EQ(ReadWholeFile(dir / "out.img"), bytes);
  fs::remove(Native(Set("1.ds")));
  view.rows.clear();
  ChooseAll();
  EXPECT_EQ(Merge(), std::vector<std::string>{});
  EXPECT_EQ(ReadWholeFile(dir / "out.img"), bytes);
  EXPECT_EQ(view.questions, std::vector<std::string>{FormatMessage1(kRebuiltText, Set("1.ds"))});
}

// The checked join called directly, without the page's checks before it: a missing piece with
// the recovery piece gone is the no-recovery problem, not an error opening the recovery piece.
TEST_F(RecoveryTest, JoinWithAMissingPieceAndNoRecoveryPieceIsRefusedAsSuch) {
  const SetRecord record = ReadSetRecord(profile, Set("0.ds")).record;
  const std::vector<std::string> rows = {Set("1.ds"), Set("3.ds"), Set("4.ds")};
  fs::remove(Native(Set("2.ds")));
  // Planned with the recovery piece there (it goes before the join starts), and without.
  const CheckedPlan planned = PlanCheckedMerge(t.files, Set("0.ds"), rows, record);
  fs::remove(Native(Set(kRecoveryName)));
  for (const CheckedPlan& plan : {planned, PlanCheckedMerge(t.files, Set("0.ds"), rows, record)}) {
    SCOPED_TRACE(plan.recoveryUsable);
    std::shared_ptr<FileStream> out = t.files.Create(dir / "out.img");
    try {
      JoinChecked(t.files, *out, plan, record);
      ADD_FAILURE() << "joined";
    } catch (const PieceMismatch& m) {
      EXPECT_EQ(m.problem.kind, PieceProblem::kNoRecovery);
      EXPECT_EQ(m.problem.piece, Set("2.ds"));
      EXPECT_EQ(m.problem.other, Set(kRecoveryName));
    }
  }
}

// A recovery piece one byte longer than recorded is not a good one: the check says so, and a
// missing piece is not rebuilt from it.
TEST_F(RecoveryTest, RecoveryPieceOfAnotherSizeIsNotGood) {
  WriteWholeFile(Set(kRecoveryName), ReadWholeFile(Set(kRecoveryName)) + "x");
  ChooseAll();
  EXPECT_EQ(Verify(), FormatMessage1(kSetWholeRecoveryBadText, Set(kRecoveryName)));
  fs::remove(Native(Set("3.ds")));
  view.rows.clear();
  ChooseAll();
  EXPECT_EQ(Merge(), std::vector<std::string>{
                         FormatMessage2(kNoRecoveryText, Set("3.ds"), Set(kRecoveryName))});
  EXPECT_FALSE(OutputExists());
}

// The check names bad pieces by number, whichever way each was found: 1.ds only by its digest
// while reading, 3.ds by its size before.
TEST_F(RecoveryTest, CheckListsBadPiecesByNumber) {
  ChooseAll();
  Alter("1.ds", 7);
  fs::resize_file(Native(Set("3.ds")), 100);
  EXPECT_EQ(Verify(), FormatMessage2(kSetBadText,
                                     Set("1.ds") + "（内容不对）\n" + Set("3.ds") + "（大小不对）",
                                     kTooManyToRebuildText));
}

// The recovery piece listed under another spelling of its name (and in another folder) is
// taken as the recovery piece, not refused as a row of another set.
TEST_F(RecoveryTest, ListedRecoveryPieceInCapitalsIsTheRecoveryPiece) {
  fs::create_directory(Native(dir / "elsewhere"));
  const std::string listed = dir / "elsewhere" + "\\恢复.DSR";
  fs::rename(Native(Set(kRecoveryName)), Native(listed));
  fs::remove(Native(Set("2.ds")));
  ChooseAll();
  AddPieces(view, {listed}, indexPath);
  indexPath = Set("0.ds");
  EXPECT_EQ(Merge(), std::vector<std::string>{});
  EXPECT_TRUE(ReadWholeFile(dir / "out.img") == bytes);
  EXPECT_EQ(view.questions, std::vector<std::string>{FormatMessage1(kRebuiltText, Set("2.ds"))});
}

// The tick box's state lives in config.ini, ticked when nothing is stored there.
TEST(RecoveryBox, StateIsKeptInConfigIni) {
  test::TestServices t;
  EXPECT_TRUE(ReadRecoveryBox(t.services));
  SaveRecoveryBox(t.services, false);
  EXPECT_EQ(t.profile.ReadString("C:\\Tools\\config.ini", "DS_config", "recovery", ""), "0");
  EXPECT_FALSE(ReadRecoveryBox(t.services));
  SaveRecoveryBox(t.services, true);
  EXPECT_TRUE(ReadRecoveryBox(t.services));
}

// The fold with a small memory: the bytes beyond it go through the file, chunks cross the
// border, and the last piece may end before it, after it or be the only one. Whatever the
// shape, the file and the digest are the XOR of the pieces.
TEST(ParityFoldShapes, FileAndDigestAreTheXorWhereverMemoryEnds) {
  struct Shape {
    size_t size, piece, held, chunk;
  };
  const Shape shapes[] = {
      {4 * 2500 + 700, 2500, 1000, 333},   // last piece shorter than what is held
      {3 * 2500 + 1700, 2500, 1000, 333},  // last piece longer than it
      {2500 * 4, 2500, 1000, 1000},        // pieces all full, chunks on the border
      {1800, 2500, 1000, 333},             // one piece only, shorter than the piece size
      {3 * 2500 + 10, 2500, 4096, 512},    // everything held
      {3 * 2500 + 10, 2500, 0, 777},       // nothing held
  };
  for (const Shape& sh : shapes) {
    SCOPED_TRACE(testing::Message() << sh.size << "/" << sh.piece << " held " << sh.held);
    test::TempDir dir;
    test::PosixFileSystem files;
    const std::string bytes = PatternBytes(sh.size, 9);
    const std::string path = dir / "p.dsr";
    Digest digest(HashAlg::kXxh3);
    {
      std::unique_ptr<FileStream> file = files.Create(path);
      ParityFold fold(*file, std::min(sh.piece, sh.size), digest, sh.held);
      for (size_t start = 0; start < sh.size; start += sh.piece) {
        const size_t len = std::min(sh.piece, sh.size - start);
        fold.StartPiece(start == 0, start + sh.piece >= sh.size);
        for (size_t at = 0; at < len; at += sh.chunk)
          fold.Fold(bytes.data() + start + at, std::min(sh.chunk, len - at), at);
      }
      fold.Finish();
    }
    const std::string want = Parity(bytes, sh.piece);
    EXPECT_TRUE(ReadWholeFile(path) == want);
    EXPECT_EQ(digest.FinishHex(), DigestHex(HashAlg::kXxh3, want));
  }
}

// The worker does its slots in the order handed over; what the work throws comes back at the
// next Free or Drain and no later slot is worked on; after Abandon it starts afresh.
TEST(ChunkWorkerOrder, InOrderFailureComesBackAndAbandonStartsAfresh) {
  ChunkWorker worker(8, 2);
  std::vector<uint64_t> seen;
  worker.SetWork([&](const char* data, size_t n, uint64_t at) {
    EXPECT_EQ(std::string(data, n), std::to_string(at));
    if (at == 13) throw AppError("Stream write error");
    seen.push_back(at);
  });
  auto hand = [&](uint64_t at) {
    const std::string text = std::to_string(at);
    char* slot = worker.Free();
    std::copy(text.begin(), text.end(), slot);
    worker.Hand(text.size(), at);
  };
  for (uint64_t at : {1, 2, 3, 4, 5}) hand(at);
  worker.Drain();
  EXPECT_EQ(seen, (std::vector<uint64_t>{1, 2, 3, 4, 5}));

  seen.clear();
  std::string error;
  try {
    for (uint64_t at : {6, 13, 7, 8, 9, 10, 11}) hand(at);
    worker.Drain();
  } catch (const AppError& e) {
    error = e.what();
  }
  EXPECT_EQ(error, "Stream write error");
  worker.Abandon();
  EXPECT_EQ(seen, (std::vector<uint64_t>{6}));

  seen.clear();
  hand(20);
  worker.Drain();
  EXPECT_EQ(seen, (std::vector<uint64_t>{20}));
}

// A recovery piece that cannot be written (a full disk) stops the split with a write error
// from the thread that folds it, and leaves neither it nor its part behind.
TEST(RecoveryWriteError, FullDiskWhileWritingTheRecoveryPieceStopsTheSplit) {
  test::TempDir dir;
  test::PosixFileSystem real;
  test::WatchingFileSystem files(real);
  WriteWholeFile(dir / "src", PatternBytes(250000, 5));
  const std::string prefix = TargetPrefix(dir.path());
  // Every piece fits; the recovery piece, written during the last piece's pass, does not.
  files.writeBudget = 250000 + 20000;
  SetRecord record;
  std::string error;
  try {
    WriteDataPieces(files, dir / "src", prefix, 100000, &record, nullptr, true);
  } catch (const AppError& e) {
    error = e.what();
  }
  EXPECT_EQ(error, "Stream write error");
  EXPECT_FALSE(fs::exists(Native(prefix + kRecoveryName)));
  EXPECT_FALSE(fs::exists(Native(PartName(prefix + kRecoveryName))));
}

// The program killed at every step of a split with the recovery piece over an older set that
// has one: the recovery piece under its name is always the whole one of the set beside it.
TEST(RecoveryKill, KilledSplitNeverLeavesAnIncompleteRecoveryPiece) {
  test::TempDir dir;
  test::PosixFileSystem real;
  const std::string prefix = TargetPrefix(dir.path());
  const std::string source = PatternBytes(250000, 3), older = PatternBytes(400000, 4);
  WriteWholeFile(dir / "src", source);
  WriteWholeFile(dir / "older", older);
  const uint64_t P = 100000;
  auto native = [&](const std::string& name) { return Native(prefix + name); };
  bool completed = false;
  for (uint64_t step = 1; !completed; ++step) {
    SCOPED_TRACE(step);
    ASSERT_LT(step, 2000u);
    SetRecord olderRecord;
    WriteDataPieces(real, dir / "older", prefix, P, &olderRecord, nullptr, true);
    test::WatchingFileSystem dying(real);
    dying.killAtStep = step;
    SetRecord r;
    try {
      WriteDataPieces(dying, dir / "src", prefix, P, &r, nullptr, true);
      completed = true;
    } catch (const AppError&) {
    }
    if (fs::exists(native(kRecoveryName))) {
      const std::string parity = ReadWholeFile(prefix + kRecoveryName);
      // The older set's while its pieces are all there (it goes first when they go), otherwise
      // the new set's, complete.
      if (fs::exists(native("4.ds"))) EXPECT_TRUE(parity == Parity(older, P));
      else EXPECT_TRUE(parity == Parity(source, P));
    }
    if (completed) {
      EXPECT_TRUE(ReadWholeFile(prefix + kRecoveryName) == Parity(source, P));
      ASSERT_TRUE(r.recovery);
      EXPECT_EQ(r.recovery->hash, DigestHex(HashAlg::kXxh3, Parity(source, P)));
    }
    WriteDataPieces(real, dir / "src", prefix, P, &r, nullptr, true);
    EXPECT_FALSE(fs::exists(Native(PartName(prefix + kRecoveryName))));
  }
}

// A rebuilding merge and the write-back killed at every step: the output and the piece are
// each absent or whole, never a part under their names.
TEST_F(RecoveryTest, KilledRebuildAndWriteBackNeverLeaveAPartUnderAFinalName) {
  fs::remove(Native(Set("3.ds")));
  ChooseAll();
  bool completed = false;
  for (uint64_t step = 1; !completed; ++step) {
    SCOPED_TRACE(step);
    ASSERT_LT(step, 3000u);
    fs::remove(Native(dir / "out.img"));
    fs::remove(Native(Set("3.ds")));
    test::WatchingFileSystem dying(t.files);
    dying.killAtStep = step;
    t.services.files = &dying;
    view.answerYes = true;
    try {
      Merge();
      completed = dying.steps < step;
    } catch (const AppError&) {
    }
    t.services.files = &t.files;
    if (OutputExists()) {
      EXPECT_TRUE(ReadWholeFile(dir / "out.img") == bytes);
    }
    if (fs::exists(Native(Set("3.ds")))) {
      EXPECT_TRUE(ReadWholeFile(Set("3.ds")) == Piece(3));
    }
    if (completed) {
      EXPECT_TRUE(ReadWholeFile(Set("3.ds")) == Piece(3));
    }
  }
}

}  // namespace
}  // namespace mt::splitter
