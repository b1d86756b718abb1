// Makes one small piece set with the split of the version it is built in (make-sets.sh builds
// it inside an older commit's tree). The steps are those of that version's split handler, with
// a piece size in bytes so that the pieces stay a few KiB:
//   1  the last version before the digests: "kzm", then the pieces
//   2  the last version with SHA-256 records: "kzm", the pieces, the record
//   3  this version: the set with its XXH3-128 record and the recovery piece
// The Index piece goes through the profile stand-in of that version; versions 1 and 2 keep it
// in memory, so its text (as the profile functions lay it out) is written to FOLDER/0.ds.
//   make_set SOURCE FOLDER PIECE-BYTES
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "tests/support/StandIns.h"
#if MT_SET_VERSION == 3
#include "app/Path.h"
#include "splitter/PieceNames.h"
#include "splitter/Split.h"
#include "splitter/tests/SplitterTestSupport.h"
#else
#include "splitter/PieceSet.h"
#endif

int main(int argc, char** argv) {
  using namespace mt::splitter;
  if (argc != 4) {
    std::fprintf(stderr, "usage: make_set SOURCE FOLDER PIECE-BYTES\n");
    return 2;
  }
  const std::string source = argv[1];
  const std::string prefix = TargetPrefix(argv[2]);
  const uint64_t pieceSize = std::strtoull(argv[3], nullptr, 10);
  mt::test::TestServices t;
  try {
#if MT_SET_VERSION == 1
    WriteIndexPiece(t.profile, prefix, FileExtension(source));
    WriteDataPieces(t.files, source, prefix, pieceSize);
#elif MT_SET_VERSION == 2
    WriteIndexPiece(t.profile, prefix, mt::ExtensionOf(source));
    ClearSetRecord(t.profile, prefix);
    SetRecord record;
    WriteDataPieces(t.files, source, prefix, pieceSize, &record);
    WriteSetRecord(t.profile, prefix, record);
#else
    mt::test::DiskProfile profile;
    SplitRequest request;
    request.sourcePath = source;
    request.prefix = prefix;
    request.pieceSize = pieceSize;
    request.extension = mt::ExtensionOf(source);
    request.recovery = true;
    SplitIntoSet(t.files, profile, request);
#endif
#if MT_SET_VERSION != 3
    mt::test::WriteWholeFile(prefix + "0.ds", t.profile.FileText(prefix + "0.ds"));
#endif
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_set: %s\n", e.what());
    return 1;
  }
  return 0;
}
