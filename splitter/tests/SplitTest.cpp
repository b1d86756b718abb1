// The piece names, the piece size and the split, on real temporary files (and virtual ones
// beyond 4 GiB).
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

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/Error.h"
#include "splitter/tests/SplitterTestSupport.h"
#include "tests/support/StandIns.h"

namespace mt::splitter {
namespace {

using test::PatternBytes;
using test::ReadWholeFile;
using test::TempDir;
using test::WriteWholeFile;
namespace fs = std::filesystem;

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const AppError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(PieceSetNames, PieceNumbersAndIndexPieces) {
  EXPECT_EQ(PieceName(1), "1.ds");
  EXPECT_EQ(PieceName(4294967297ull), "4294967297.ds");
  EXPECT_EQ(PieceNumber("C:\\s\\12.ds"), 12u);
  EXPECT_EQ(PieceNumber("C:\\s\\3.DS"), 3u);
  EXPECT_EQ(PieceNumber("C:\\s\\0.ds"), 0u);
  EXPECT_FALSE(PieceNumber("C:\\s\\a1.ds"));
  EXPECT_FALSE(PieceNumber("C:\\s\\.ds"));
  EXPECT_FALSE(PieceNumber("C:\\s\\1.dss"));
  EXPECT_FALSE(PieceNumber("C:\\s\\99999999999999999999999.ds"));
  EXPECT_TRUE(IsIndexPiece("C:\\other\\0.DS"));
  EXPECT_FALSE(IsIndexPiece("C:\\0.ds\\1.ds"));
  EXPECT_EQ(TargetPrefix("C:\\out"), "C:\\out\\");
  EXPECT_EQ(TargetPrefix("C:\\"), "C:\\");
}

TEST(PieceSetSize, EditTextToPieceSize) {
  EXPECT_EQ(PieceSizeBytes(ParseMegabytes("1024")), 1073741824ull);
  EXPECT_EQ(PieceSizeBytes(ParseMegabytes("2048")), 2147483648ull);
  EXPECT_EQ(PieceSizeBytes(ParseMegabytes("4096")), 4294967296ull);
  EXPECT_EQ(PieceSizeBytes(ParseMegabytes(" $10 ")), 16 * kMegabyte);
  EXPECT_EQ(ErrorOf([] { ParseMegabytes("1,024"); }), "'1,024' is not a valid integer value");
  EXPECT_EQ(ErrorOf([] { ParseMegabytes(""); }), "'' is not a valid integer value");
  EXPECT_EQ(ErrorOf([] { ParseMegabytes("99999999999"); }),
            "'99999999999' is not a valid integer value");
  EXPECT_EQ(ErrorOf([] { PieceSizeBytes(ParseMegabytes("0")); }), "Division by zero");
}

TEST(PieceSetSize, PlanCountsFullPiecesAndTheRest) {
  const uint64_t gib = 1073741824ull;
  PiecePlan p = PlanPieces(gib * 5 / 2, gib);
  EXPECT_EQ(p.fullPieces, 2u);
  EXPECT_EQ(p.remainder, gib / 2);
  EXPECT_EQ(p.Count(), 3u);
  p = PlanPieces(2 * gib, gib);
  EXPECT_EQ(p.Count(), 2u);
  EXPECT_EQ(p.remainder, 0u);
  p = PlanPieces(3 * gib, 2 * gib);
  EXPECT_EQ(p.fullPieces, 1u);
  EXPECT_EQ(p.remainder, gib);
  EXPECT_EQ(PlanPieces(0, gib).Count(), 0u);
  EXPECT_EQ(PlanPieces(10, gib).Count(), 1u);
}

// Split into real files and join them back, for sizes around the piece size. The piece size
// is not a multiple of the copy buffer, so buffer and piece boundaries fall apart.
class PieceSetRoundTripBySize : public ::testing::TestWithParam<uint64_t> {
 protected:
  static constexpr uint64_t P = 150001;
};

TEST_P(PieceSetRoundTripBySize, SplitThenJoinGivesTheSameBytesThroughOneSmallBuffer) {
  const uint64_t size = GetParam();
  TempDir dir;
  test::PosixFileSystem real;
  test::WatchingFileSystem files(real);
  std::string source = PatternBytes(size, static_cast<unsigned>(size));
  WriteWholeFile(dir / "src.bin", source);
  fs::create_directory(fs::u8path(dir / "set"));
  std::string prefix = TargetPrefix(dir / "set");

  uint64_t pieces = WriteDataPieces(files, dir / "src.bin", prefix, P);
  EXPECT_EQ(pieces, (size + P - 1) / P);
  std::vector<std::string> rows{prefix + "0.ds"};
  for (uint64_t k = 1; k <= pieces; ++k) {
    EXPECT_EQ(ReadWholeFile(prefix + PieceName(k)), source.substr((k - 1) * P, P)) << "piece " << k;
    rows.push_back(prefix + PieceName(k));
  }
  // A size of exactly N pieces leaves no empty piece N+1 behind.
  EXPECT_FALSE(
      fs::exists(fs::u8path(test::PosixFileSystem::ToPosix(prefix + PieceName(pieces + 1)))));

  auto out = files.Create(dir / "joined.bin");
  AppendRows(files, *out, RowsToJoin(rows));
  out.reset();
  EXPECT_EQ(ReadWholeFile(dir / "joined.bin"), source);
  // Every read and write of the split and the join goes through one 61,440-byte buffer, used
  // whole while the data lasts.
  EXPECT_LE(files.largestRead, 61440u);
  EXPECT_LE(files.largestWrite, 61440u);
  if (size >= 61440) {
    EXPECT_EQ(files.largestRead, 61440u);
    EXPECT_EQ(files.largestWrite, 61440u);
  }
}

// 0, 1, P-1, P, P+1 and 3P+17 bytes.
INSTANTIATE_TEST_SUITE_P(AroundThePieceSize, PieceSetRoundTripBySize,
                         ::testing::Values(uint64_t{0}, uint64_t{1}, uint64_t{150000},
                                           uint64_t{150001}, uint64_t{150002},
                                           uint64_t{3 * 150001 + 17}),
                         [](const ::testing::TestParamInfo<uint64_t>& info) {
                           return "Bytes" + std::to_string(info.param);
                         });

// The pieces with the same numbers are replaced and the older set's higher-numbered ones go,
// so the folder holds one set; leftovers of a run that died are swept, other files stay.
TEST(PieceSetRoundTrip, SplittingOverAnOlderSetLeavesOnlyTheNewSet) {
  TempDir dir;
  test::PosixFileSystem files;
  std::string prefix = TargetPrefix(dir.path());
  WriteWholeFile(prefix + "1.ds", std::string(5000, 'x'));
  WriteWholeFile(prefix + "2.ds", std::string(5000, 'x'));
  WriteWholeFile(prefix + "5.ds", "old");
  WriteWholeFile(prefix + "3.ds.dspart", "half");
  WriteWholeFile(prefix + "out.rar.dspart", "half");
  WriteWholeFile(prefix + "notes.txt", "keep");
  WriteWholeFile(prefix + "a.ds", "keep");
  WriteWholeFile(dir / "src", "0123456789");
  EXPECT_EQ(WriteDataPieces(files, dir / "src", prefix, 6), 2u);
  EXPECT_EQ(ReadWholeFile(prefix + "1.ds"), "012345");
  EXPECT_EQ(ReadWholeFile(prefix + "2.ds"), "6789");
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(fs::u8path(test::PosixFileSystem::ToPosix(prefix))))
    names.push_back(e.path().filename().u8string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"1.ds", "2.ds", "a.ds", "notes.txt", "src"}));
  // An empty source writes no piece and still leaves no older one.
  WriteWholeFile(dir / "empty", "");
  EXPECT_EQ(WriteDataPieces(files, dir / "empty", prefix, 6), 0u);
  EXPECT_FALSE(fs::exists(fs::u8path(test::PosixFileSystem::ToPosix(prefix + "1.ds"))));
}

TEST(PieceSetErrors, MissingSourceAndUncreatablePiece) {
  TempDir dir;
  test::PosixFileSystem files;
  std::string missing = dir / "nothing.rar";
  EXPECT_EQ(ErrorOf([&] { WriteDataPieces(files, missing, TargetPrefix(dir.path()), 10); }),
            "Cannot open file \"" + missing + "\". 系统找不到指定的文件。");
  WriteWholeFile(dir / "src", "abc");
  std::string prefix = TargetPrefix(dir / "no-such-folder");
  EXPECT_EQ(ErrorOf([&] { WriteDataPieces(files, dir / "src", prefix, 10); }),
            "Cannot create file \"" + prefix + "1.ds\". 拒绝访问。");
}

TEST(PieceSetErrors, FullDiskStopsWithAWriteErrorKeepsWholePiecesAndRemovesTheCutOne) {
  TempDir dir;
  test::PosixFileSystem real;
  test::WatchingFileSystem files(real);
  WriteWholeFile(dir / "src", PatternBytes(100000));
  files.writeBudget = 70000;  // piece 1 (40000) fits, piece 2 is cut at 30000
  std::string prefix = TargetPrefix(dir.path());
  EXPECT_EQ(ErrorOf([&] { WriteDataPieces(files, dir / "src", prefix, 40000); }),
            "Stream write error");
  EXPECT_EQ(fs::file_size(fs::u8path(test::PosixFileSystem::ToPosix(prefix + "1.ds"))), 40000u);
  // The cut piece is removed: it must not pass for a whole one.
  EXPECT_FALSE(fs::exists(fs::u8path(test::PosixFileSystem::ToPosix(prefix + "2.ds"))));
  EXPECT_FALSE(fs::exists(fs::u8path(test::PosixFileSystem::ToPosix(prefix + "3.ds"))));
  EXPECT_EQ(files.created.size(), 2u);
}

// The program killed at every step of a split in turn, over an older set: whatever the step,
// every file with a piece's name is a whole piece, all of one set (the older one untouched, or
// the first pieces of the new one), and the next split cleans up after the dead one.
TEST(PieceSetErrors, KilledAtAnyStepLeavesNoPartialPieceUnderItsName) {
  TempDir dir;
  test::PosixFileSystem real;
  const std::string prefix = TargetPrefix(dir.path());
  const std::string source = PatternBytes(250000, 3), olderBytes = PatternBytes(400000, 4);
  WriteWholeFile(dir / "src", source);
  const uint64_t P = 100000;
  auto pieceOf = [&](const std::string& bytes, uint64_t k) { return bytes.substr((k - 1) * P, P); };
  auto native = [&](const std::string& name) {
    return fs::u8path(test::PosixFileSystem::ToPosix(prefix + name));
  };
  bool completed = false;
  for (uint64_t step = 1; !completed; ++step) {
    SCOPED_TRACE(step);
    ASSERT_LT(step, 1000u);
    for (uint64_t k = 1; k <= 4; ++k) WriteWholeFile(prefix + PieceName(k), pieceOf(olderBytes, k));
    test::WatchingFileSystem dying(real);
    dying.killAtStep = step;
    try {
      EXPECT_EQ(WriteDataPieces(dying, dir / "src", prefix, P), 3u);
      completed = true;
    } catch (const AppError&) {
    }
    std::vector<uint64_t> present;
    for (uint64_t k = 1; k <= 4; ++k)
      if (fs::exists(native(PieceName(k)))) present.push_back(k);
    // Cut off while the older set was being removed, what is left of it has no first piece.
    const bool olderSet = !present.empty() && present.back() == 4;
    for (size_t i = 0; i < present.size(); ++i) {
      const uint64_t k = present[i];
      if (olderSet) {
        EXPECT_EQ(k, 4 - (present.size() - 1 - i)) << "the older set's last pieces, no gap";
        EXPECT_TRUE(ReadWholeFile(prefix + PieceName(k)) == pieceOf(olderBytes, k)) << k;
      } else {
        EXPECT_EQ(k, i + 1) << "the new set's first pieces, no gap";
        EXPECT_TRUE(ReadWholeFile(prefix + PieceName(k)) == pieceOf(source, k)) << k;
      }
    }
    if (completed) {
      EXPECT_EQ(present, (std::vector<uint64_t>{1, 2, 3}));
    }
    // The next run into the folder finishes and sweeps what the dead one left.
    EXPECT_EQ(WriteDataPieces(real, dir / "src", prefix, P), 3u);
    for (const auto& e : fs::directory_iterator(fs::u8path(test::PosixFileSystem::ToPosix(prefix))))
      EXPECT_EQ(e.path().filename().u8string().find(kPartSuffix), std::string::npos);
    EXPECT_FALSE(fs::exists(native("4.ds")));
  }
}

TEST(PieceSetErrors, ReadFailureAndShortSourceAreReadErrors) {
  TempDir dir;
  test::PosixFileSystem real;
  test::WatchingFileSystem files(real);
  WriteWholeFile(dir / "src", PatternBytes(200000));
  files.readFailsAfter = 100000;
  EXPECT_EQ(ErrorOf([&] { WriteDataPieces(files, dir / "src", TargetPrefix(dir.path()), 150000); }),
            "Stream read error");
  // A source that ends before its announced size.
  test::VirtualFileSystem v;
  v.files["short"] = {10, {}};
  auto in = v.OpenRead("short");
  auto out = v.Create("out");
  CopyEngine engine;
  EXPECT_EQ(ErrorOf([&] { engine.Copy(*in, *out, 11); }), "Stream read error");
}

// 64-bit sizes: a source past 4 GiB, split into a piece of exactly 4 GiB and a rest, then
// joined again, with marked bytes either side of the 4 GiB line landing where they belong.
TEST(PieceSetLarge, MoreThanFourGibThroughVirtualFiles) {
  const uint64_t four = 4294967296ull;
  test::VirtualFileSystem v;
  v.files["C:\\big.iso"] = {four + 4097, {{0, 1}, {four - 1, 2}, {four, 3}, {four + 4096, 4}}};
  EXPECT_EQ(WriteDataPieces(v, "C:\\big.iso", "D:\\set\\", four), 2u);
  const auto& p1 = v.files["D:\\set\\1.ds"];
  const auto& p2 = v.files["D:\\set\\2.ds"];
  EXPECT_EQ(p1.size, four);
  EXPECT_EQ(p1.marks, (std::map<uint64_t, unsigned char>{{0, 1}, {four - 1, 2}}));
  EXPECT_EQ(p2.size, 4097u);
  EXPECT_EQ(p2.marks, (std::map<uint64_t, unsigned char>{{0, 3}, {4096, 4}}));

  auto out = v.Create("D:\\joined.iso");
  AppendRows(v, *out, {"D:\\set\\1.ds", "D:\\set\\2.ds"});
  out.reset();
  EXPECT_EQ(v.files["D:\\joined.iso"].size, four + 4097);
  EXPECT_EQ(v.files["D:\\joined.iso"].marks, v.files["C:\\big.iso"].marks);
}

// The same on a real sparse file, when the file system makes one cheaply.
TEST(PieceSetLarge, SparseFileOverFourGibOnDisk) {
  const uint64_t size = 4294967296ull + 100;
  TempDir dir;
  std::string path = dir / "sparse.bin";
  {
    std::ofstream(fs::u8path(path), std::ios::binary).put('\0');
    std::error_code ec;
    fs::resize_file(fs::u8path(path), size, ec);
    if (ec) GTEST_SKIP() << "no sparse files here: " << ec.message();
    std::fstream f(fs::u8path(path), std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(0);
    f.put('\x11');
    f.seekp(static_cast<std::streamoff>(size - 1));
    f.put('\x22');
  }
  if (fs::space(fs::u8path(dir.path())).available < 64 * kMegabyte) GTEST_SKIP() << "no room";
  test::PosixFileSystem real;
  ASSERT_EQ(real.OpenRead(path)->Size(), size);

  // Pieces go to virtual sinks, the source is the real file.
  struct Mixed : test::VirtualFileSystem {
    test::PosixFileSystem* disk;
    std::unique_ptr<FileStream> OpenRead(const std::string& p) override {
      return disk->OpenRead(p);
    }
  } mixed;
  mixed.disk = &real;
  EXPECT_EQ(WriteDataPieces(mixed, path, "S\\", 2048 * kMegabyte), 3u);
  EXPECT_EQ(mixed.files["S\\1.ds"].size, 2048 * kMegabyte);
  EXPECT_EQ(mixed.files["S\\2.ds"].size, 2048 * kMegabyte);
  EXPECT_EQ(mixed.files["S\\3.ds"].size, 100u);
  EXPECT_EQ(mixed.files["S\\1.ds"].marks, (std::map<uint64_t, unsigned char>{{0, 0x11}}));
  EXPECT_TRUE(mixed.files["S\\2.ds"].marks.empty());
  EXPECT_EQ(mixed.files["S\\3.ds"].marks, (std::map<uint64_t, unsigned char>{{99, 0x22}}));
}

TEST(PieceSetIndex, WrittenThroughTheProfileAndReadBack) {
  test::MemoryProfile profile;
  profile.WriteString("D:\\set\\0.ds", "other", "keep", "1");
  WriteIndexPiece(profile, "D:\\set\\0.ds", ".rar");
  EXPECT_EQ(profile.FileText("D:\\set\\0.ds"), "[other]\r\nkeep=1\r\n[fghb]\r\nkzm=.rar\r\n");
  EXPECT_EQ(ReadIndexExtension(profile, "D:\\set\\0.ds"), ".rar");
  // No Index piece there: the path itself comes back, and reading that again keeps it.
  EXPECT_EQ(ReadIndexExtension(profile, "D:\\set\\1.ds"), "D:\\set\\1.ds");
  EXPECT_EQ(ReadIndexExtension(profile, ".rar"), ".rar");
}

}  // namespace
}  // namespace mt::splitter
