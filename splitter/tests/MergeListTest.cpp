// The merge list's rules: the selection's order, the rows joined, the order problems and an
// output that is a listed file; the plain join.
#include "splitter/MergeList.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/Error.h"
#include "splitter/PieceNames.h"
#include "splitter/tests/SplitterTestSupport.h"
#include "tests/support/StandIns.h"

namespace mt::splitter {
namespace {

using test::TempDir;
using test::WriteWholeFile;
namespace fs = std::filesystem;

TEST(MergeRules, SelectionPutsNumberedPiecesInNumericOrderFirst) {
  // The dialog hands back the focused file first.
  std::vector<std::string> dialog{"F:\\s\\12.ds", "F:\\s\\0.ds", "F:\\s\\note.ds", "F:\\s\\1.ds",
                                  "F:\\s\\10.ds", "F:\\s\\9.ds", "F:\\s\\2.DS",    "F:\\s\\a.ds"};
  std::vector<std::string> want{"F:\\s\\0.ds",  "F:\\s\\1.ds",  "F:\\s\\2.DS",    "F:\\s\\9.ds",
                                "F:\\s\\10.ds", "F:\\s\\12.ds", "F:\\s\\note.ds", "F:\\s\\a.ds"};
  EXPECT_EQ(OrderSelection(dialog), want);
  EXPECT_TRUE(OrderSelection({}).empty());
}

TEST(MergeRules, JoinSkipsTheFirstRowAndEveryIndexPiece) {
  std::vector<std::string> list{"A\\0.ds", "A\\1.ds", "A\\2.ds", "B\\0.DS", "B\\1.ds", "B\\x.bin"};
  EXPECT_EQ(RowsToJoin(list),
            (std::vector<std::string>{"A\\1.ds", "A\\2.ds", "B\\1.ds", "B\\x.bin"}));
  EXPECT_EQ(RowsToJoin({"A\\1.ds", "A\\2.ds"}), std::vector<std::string>{"A\\2.ds"});
  EXPECT_TRUE(RowsToJoin({"A\\0.ds"}).empty());
}

// The check before a merge, on the whole list (its first row is where the Index piece
// belongs): which problem it finds and which pieces it names.
struct ListCase {
  const char* name;
  std::vector<std::string> rows;
  std::optional<ListProblem::Kind> kind = std::nullopt;  // empty: the list can be joined
  std::string piece = {}, before = {};
};
void PrintTo(const ListCase& c, std::ostream* os) { *os << c.name; }

class MergeListCheck : public ::testing::TestWithParam<ListCase> {};

TEST_P(MergeListCheck, FindsTheRealProblem) {
  const ListCase& c = GetParam();
  std::optional<ListProblem> p = CheckListOrder(c.rows);
  ASSERT_EQ(p.has_value(), c.kind.has_value());
  if (!p) return;
  EXPECT_EQ(p->kind, *c.kind);
  EXPECT_EQ(p->piece, c.piece);
  EXPECT_EQ(p->before, c.before);
}

using K = ListProblem::Kind;
INSTANTIATE_TEST_SUITE_P(
    MergeRules, MergeListCheck,
    ::testing::Values(
        ListCase{"Complete", {"C:\\s\\0.ds", "C:\\s\\1.ds", "C:\\s\\2.ds", "C:\\s\\3.ds"}},
        ListCase{"Empty", {}}, ListCase{"IndexOnly", {"C:\\s\\0.ds"}},
        ListCase{"GapIsMissing",
                 {"C:\\s\\0.ds", "C:\\s\\1.ds", "C:\\s\\2.ds", "C:\\s\\4.ds"},
                 K::kMissing,
                 "C:\\s\\3.ds"},
        ListCase{"FirstPieceMissing", {"C:\\s\\0.ds", "C:\\s\\2.ds"}, K::kMissing, "C:\\s\\1.ds"},
        ListCase{"Rows1243AreOutOfOrder",
                 {"C:\\s\\0.ds", "C:\\s\\1.ds", "C:\\s\\2.ds", "C:\\s\\4.ds", "C:\\s\\3.ds"},
                 K::kOutOfOrder,
                 "C:\\s\\3.ds",
                 "C:\\s\\4.ds"},
        ListCase{"Rows132AreOutOfOrder",
                 {"C:\\s\\0.ds", "C:\\s\\1.ds", "C:\\s\\3.ds", "C:\\s\\2.ds"},
                 K::kOutOfOrder,
                 "C:\\s\\2.ds",
                 "C:\\s\\3.ds"},
        ListCase{"NoIndexFirst",
                 {"C:\\s\\1.ds", "C:\\s\\2.ds", "C:\\s\\3.ds"},
                 K::kNoIndexFirst,
                 "C:\\s\\1.ds"},
        ListCase{"LonePieceIsNoIndex", {"C:\\s\\2.ds"}, K::kNoIndexFirst, "C:\\s\\2.ds"},
        // Another name first is not taken for a piece; the join skips it as ever.
        ListCase{"OtherNameFirst", {"C:\\s\\x.ds", "C:\\s\\1.ds", "C:\\s\\2.ds"}},
        // Two sets from two folders, a set listed twice, other names between: all fine.
        ListCase{"TwoSetsAndARepeat",
                 {"C:\\a\\0.ds", "C:\\a\\1.ds", "C:\\a\\2.ds", "C:\\b\\0.ds", "C:\\b\\1.ds",
                  "x.bin", "C:\\a\\1.ds", "C:\\a\\2.ds"}},
        // Folders compare like Windows names: one set across spellings, named as first spelt.
        ListCase{"GapAcrossSpellings",
                 {"C:\\Set\\0.ds", "C:\\Set\\1.ds", "c:/set/3.ds"},
                 K::kMissing,
                 "C:\\Set\\2.ds"},
        ListCase{"OrderAcrossSpellings",
                 {"C:\\Set\\0.ds", "C:\\Set\\1.ds", "c:/set/3.ds", "C:\\SET\\2.ds"},
                 K::kOutOfOrder,
                 "C:\\SET\\2.ds",
                 "c:/set/3.ds"},
        // A piece of the same number in another folder does not fill the gap.
        ListCase{"OtherFolderDoesNotFillTheGap",
                 {"C:\\a\\0.ds", "C:\\a\\1.ds", "C:\\a\\3.ds", "C:\\b\\2.ds"},
                 K::kMissing,
                 "C:\\a\\2.ds"}),
    [](const ::testing::TestParamInfo<ListCase>& info) { return std::string(info.param.name); });

// The output check by file identity, on scripted identities: each kind of alias, and the
// cases where identity must not decide.
TEST(MergeRules, OutputIsAListedFileByPathTextOrByIdentity) {
  test::VirtualFileSystem v;
  const std::vector<std::string> rows{"C:\\s\\0.ds", "C:\\s\\1.ds", "C:\\s\\2.ds"};
  FileIdentity index{7, 100, false, 0, {0, 0}};
  FileIdentity piece2{7, 102, false, 0, {0, 0}};
  v.identities["C:\\s\\0.ds"] = index;
  v.identities["C:\\s\\2.ds"] = piece2;  // 1.ds: this file system cannot tell

  EXPECT_TRUE(IsListedFile(v, "c:/S/1.DS", rows));  // path text alone, no identity needed
  v.identities["Z:\\alias\\2.ds"] = piece2;
  EXPECT_TRUE(IsListedFile(v, "Z:\\alias\\2.ds", rows));
  v.identities["Z:\\alias\\0.ds"] = index;  // the Index row counts too
  EXPECT_TRUE(IsListedFile(v, "Z:\\alias\\0.ds", rows));
  v.identities["Z:\\other"] = FileIdentity{8, 102, false, 0, {0, 0}};  // another volume
  EXPECT_FALSE(IsListedFile(v, "Z:\\other", rows));
  EXPECT_FALSE(IsListedFile(v, "Z:\\new-file", rows));  // does not exist yet

  // The 128-bit ids decide when both sides have them (ReFS: equal 64-bit index, other file)...
  v.identities["C:\\s\\2.ds"] = FileIdentity{7, 102, true, 0x77, {102, 1}};
  v.identities["R:\\refs"] = FileIdentity{7, 102, true, 0x77, {102, 2}};
  EXPECT_FALSE(IsListedFile(v, "R:\\refs", rows));
  v.identities["R:\\same"] = FileIdentity{7, 102, true, 0x77, {102, 1}};
  EXPECT_TRUE(IsListedFile(v, "R:\\same", rows));
  // ...and the classic pair when one side has only that (a redirector without the long form).
  EXPECT_TRUE(IsListedFile(v, "Z:\\alias\\2.ds", rows));
}

}  // namespace
}  // namespace mt::splitter
