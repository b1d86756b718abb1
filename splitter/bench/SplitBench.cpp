// Benchmark driver for the piece-set copy engine (tools/bench/split.sh runs it):
//   split_bench split SOURCE FOLDER MEGABYTES [hash|recovery]  pieces of SOURCE into FOLDER\1.ds ...
//   split_bench merge OUTPUT FOLDER COUNT [hash|rebuild]        FOLDER\1.ds .. COUNT.ds joined
//   split_bench check FOLDER COUNT                              FOLDER\1.ds .. COUNT.ds and the
//                                                               recovery piece checked (校验)
//   split_bench idle                                            nothing (the memory baseline)
// With "hash" the split takes each piece's digest (XXH3-128, as the program does) while
// copying and keeps the record in FOLDER\record.txt; "recovery" writes the recovery piece in
// the same pass too. The merge with "hash" checks every piece against the record while copying
// (a mismatch ends it with status 3); with "rebuild" it joins the pieces that are there and
// rebuilds the one missing from the others and the recovery piece.
// Prints "seconds=<wall time of the work> peak_rss_kib=<peak resident set of the process>".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

#include "splitter/CheckedMerge.h"
#include "splitter/MergeList.h"
#include "splitter/PieceNames.h"
#include "splitter/PieceSize.h"
#include "splitter/SetCheck.h"
#include "splitter/Split.h"

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#include "app/win/WinServices.h"
#else
#include <sys/resource.h>
#include "splitter/bench/PosixFiles.h"
#endif

namespace {

unsigned long long PeakRssKib() {
#ifdef _WIN32
  PROCESS_MEMORY_COUNTERS pmc{};
  pmc.cb = sizeof pmc;
  GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
  return pmc.PeakWorkingSetSize / 1024;
#else
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<unsigned long long>(ru.ru_maxrss);
#endif
}

int Usage() {
  std::fprintf(stderr,
               "usage: split_bench split SOURCE FOLDER MEGABYTES [hash|recovery] | merge OUTPUT "
               "FOLDER COUNT [hash|rebuild] | check FOLDER COUNT | idle\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace mt::splitter;
#ifdef _WIN32
  mt::WinFileSystem files;
#else
  mt::bench::PosixFiles files;
#endif
  if (argc < 2) return Usage();
  std::string mode = argv[1];
  auto start = std::chrono::steady_clock::now();
  try {
    const std::string option = argc == 6 ? argv[5] : "";
    const bool hash = option == "hash" || option == "recovery" || option == "rebuild";
    const std::string record = std::string(argc > 3 ? argv[3] : "") + "/record.txt";
    if (mode == "split" && (argc == 5 || hash)) {
      uint64_t pieceSize = PieceSizeBytes(ParseMegabytes(argv[4]));
      SetRecord r;
      WriteDataPieces(files, argv[2], TargetPrefix(argv[3]), pieceSize, hash ? &r : nullptr,
                      nullptr, option == "recovery");
      if (hash) {
        std::ofstream f(record);
        f << r.fileSize << ' ' << r.pieceSize << ' ' << r.wholeHash << ' '
          << (r.recovery ? r.recovery->size : 0) << ' ' << (r.recovery ? r.recovery->hash : "-")
          << '\n';
        for (const std::string& h : r.pieceHashes) f << h << '\n';
      }
    } else if (mode == "merge" && (argc == 5 || hash)) {
      std::vector<std::string> rows;
      unsigned long count = std::strtoul(argv[4], nullptr, 10);
      for (unsigned long k = 1; k <= count; ++k)
        rows.push_back(TargetPrefix(argv[3]) + PieceName(k));
      auto out = files.Create(argv[2]);
      if (hash) {
        SetRecord r;
        std::ifstream f(record);
        uint64_t recoverySize = 0;
        std::string recoveryHash;
        f >> r.fileSize >> r.pieceSize >> r.wholeHash >> recoverySize >> recoveryHash;
        for (std::string h; f >> h;) r.pieceHashes.push_back(h);
        if (recoveryHash != "-")
          r.recovery = RecoveryRecord{kRecoveryName, recoverySize, recoveryHash};
        try {
          std::vector<std::string> present;
          for (const std::string& row : rows)
            if (option != "rebuild" || files.FileExists(row)) present.push_back(row);
          CheckedPlan plan = PlanCheckedMerge(files, TargetPrefix(argv[3]) + kIndexName, present,
                                              r);
          if (JoinChecked(files, *out, plan, r) == 0 && option == "rebuild") {
            std::fprintf(stderr, "split_bench: nothing was rebuilt\n");
            return 3;
          }
        } catch (const TooManyBad&) {
          std::fprintf(stderr, "split_bench: more than one piece is bad\n");
          return 3;
        } catch (const PieceMismatch& m) {
          std::fprintf(stderr, "split_bench: piece %s does not match\n", m.problem.piece.c_str());
          return 3;
        }
      } else {
        AppendRows(files, *out, rows);
      }
    } else if (mode == "check" && argc == 4) {
      SetRecord r;
      std::ifstream f(std::string(argv[2]) + "/record.txt");
      uint64_t recoverySize = 0;
      std::string recoveryHash;
      f >> r.fileSize >> r.pieceSize >> r.wholeHash >> recoverySize >> recoveryHash;
      for (std::string h; f >> h;) r.pieceHashes.push_back(h);
      if (recoveryHash != "-")
        r.recovery = RecoveryRecord{kRecoveryName, recoverySize, recoveryHash};
      std::vector<std::string> rows;
      unsigned long count = std::strtoul(argv[3], nullptr, 10);
      for (unsigned long k = 1; k <= count; ++k)
        rows.push_back(TargetPrefix(argv[2]) + PieceName(k));
      if (!CheckSet(files, TargetPrefix(argv[2]) + kIndexName, rows, r).Whole()) {
        std::fprintf(stderr, "split_bench: the set is not whole\n");
        return 3;
      }
    } else if (mode != "idle") {
      return Usage();
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "split_bench: %s\n", e.what());
    return 1;
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("seconds=%.4f peak_rss_kib=%llu\n", seconds, PeakRssKib());
  return 0;
}
