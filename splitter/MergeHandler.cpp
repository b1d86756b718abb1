#include "splitter/FileSplitter.h"

#include <memory>
#include <optional>

#include "app/Error.h"
#include "splitter/CheckedMerge.h"
#include "splitter/MergeList.h"
#include "splitter/PartFiles.h"
#include "splitter/PieceNames.h"
#include "splitter/ProblemText.h"
#include "splitter/Rebuild.h"
#include "splitter/SetRecord.h"

// "合并文件" (Button5Click): the list's checks, the output, the checked or plain join on the
// worker, and the rebuilt piece's write-back.
namespace mt::splitter {

namespace {

// The page's state a handler hands on to work that ends later on the UI thread.
struct Page {
  Services* svc;
  SplitterView* view;
  WorkHost* host;
  SplitterWork* work;
};

// What a merge joins: the rows as listed, or (`checked`) the pieces of the Index piece's record
// matched to the rows.
struct MergeJob {
  std::vector<std::string> rows;
  RecordRead read;  // of the first row when it is an Index piece
  bool checked = false;
  CheckedPlan plan;
};

// The notice that refuses the list `rows` (as ListBox1 holds them) before the output is asked
// for, or nothing. A gap in the list of a set with a recovery piece is left to the record's
// check, since the piece may be rebuilt; a list of any other shape keeps its order notice.
std::optional<std::string> CheckList(Services& svc, const std::vector<std::string>& rows,
                                     MergeJob& job) {
  job.rows = RowsToJoin(rows);
  if (IsIndexPiece(rows.front())) job.read = ReadSetRecord(*svc.profile, rows.front());
  std::optional<ListProblem> problem = CheckListOrder(rows);
  if (!problem) return std::nullopt;
  const SetRecord& record = job.read.record;
  if (problem->kind == ListProblem::kMissing && job.read.kind == RecordRead::kValid &&
      record.recovery && !PlanCheckedMerge(*svc.files, rows.front(), job.rows, record).refusal)
    return std::nullopt;
  return ListProblemText(*problem);
}

// Once the output is known and before anything is written: the notice that refuses a set with
// a record whose pieces cannot make the file, or nothing, with the plan of a checked set made.
std::optional<std::string> CheckPieces(Services& svc, const std::string& indexPath, MergeJob& job) {
  if (job.read.kind == RecordRead::kNone) return std::nullopt;
  if (job.read.kind == RecordRead::kDamaged) return FormatMessage1(kIndexDamagedText, indexPath);
  const SetRecord& record = job.read.record;
  job.checked = true;
  job.plan = PlanCheckedMerge(*svc.files, indexPath, job.rows, record);
  const uint64_t count = record.pieceHashes.size();
  if (job.plan.refusal) return PieceProblemText(*job.plan.refusal, count);
  try {
    RefuseUnjoinable(job.plan, record);
  } catch (const TooManyBad& m) {
    return TooManyBadText(m.problems, false);
  } catch (const PieceMismatch& m) {
    return PieceProblemText(m.problem, count);
  }
  return std::nullopt;
}

// Writes the rebuilt piece back where it belongs, on the worker, from the joined file.
void StartWriteBack(Page page, const std::string& outputPath, const std::string& piecePath,
                    uint64_t number, const SetRecord& record) {
  if (page.work->Running()) return;
  EnterWork(*page.view, *page.work, SplitterWork::kMerge, kWriteBackCaption);
  FileSystem* files = page.svc->files;
  RunWork(*page.host, *page.view, *page.work, kWriteBackCaption, kWriteBackDoneCaption,
          [files, outputPath, piecePath, number, record](CopyMonitor& monitor) {
            try {
              WriteBackPiece(*files, outputPath, piecePath, number, record, &monitor);
            } catch (const PieceMismatch& m) {
              return Outcome::Notice(PieceProblemText(m.problem, record.pieceHashes.size()));
            }
            return Outcome{};
          });
}

// Joins `job` into `output` on the worker; the output takes `outputPath`'s name only when it is
// whole (and, for a checked set, every digest matched). A rebuilt piece ends with the question
// whether to write it back.
Outcome RunMerge(Page page, const MergeJob& job, std::shared_ptr<FileStream>& output,
                 const std::string& outputPath, CopyMonitor& monitor) {
  FileSystem& files = *page.svc->files;
  const std::string partPath = PartName(outputPath);
  auto dropOutput = [&] {
    output.reset();
    files.RemoveFile(partPath);
  };
  Outcome outcome;
  try {
    uint64_t rebuilt = 0;
    if (job.checked) rebuilt = JoinChecked(files, *output, job.plan, job.read.record, &monitor);
    else AppendRows(files, *output, job.rows, &monitor);
    output.reset();
    files.Rename(partPath, outputPath);
    if (rebuilt) {
      const std::string piece = job.plan.pieces[rebuilt - 1];
      const SetRecord record = job.read.record;
      outcome.followUp = [page, outputPath, piece, rebuilt, record] {
        if (page.view->Ask(FormatMessage1(kRebuiltText, piece)))
          StartWriteBack(page, outputPath, piece, rebuilt, record);
      };
    }
  } catch (const TooManyBad& m) {
    dropOutput();
    return Outcome::Notice(TooManyBadText(m.problems, true));
  } catch (const PieceMismatch& m) {
    dropOutput();
    return Outcome::Notice(PieceProblemText(m.problem, job.read.record.pieceHashes.size()));
  } catch (...) {
    // Stopped or failed: what was joined so far is no whole file.
    dropOutput();
    throw;
  }
  return outcome;
}

}  // namespace

void MergePieces(Services& svc, SplitterView& view, FileDialogOptions& saveDialog1,
                 std::string& indexPath, WorkHost& host, SplitterWork& work) {
  if (work.running == SplitterWork::kMerge || work.running == SplitterWork::kVerify) {
    StopWork(work);
    return;
  }
  if (work.Running()) return;
  const std::vector<std::string> rows = view.ListRows();
  if (rows.empty()) {
    svc.messages->Beep();
    return;
  }
  auto job = std::make_shared<MergeJob>();
  if (std::optional<std::string> refusal = CheckList(svc, rows, *job)) {
    view.Notice(*refusal);
    return;
  }

  indexPath = ReadIndexExtension(*svc.profile, indexPath);
  const std::string pattern = "*" + indexPath;
  saveDialog1.filter = pattern + "|" + pattern;
  saveDialog1.fileName = "ds" + indexPath;
  std::optional<std::string> target = svc.dialogs->SaveFile(view.Owner(), saveDialog1);
  if (!target) return;
  // Creating the output truncates it: it must not be a file the merge is about to read,
  // under whatever name the save dialog reached it.
  if (IsListedFile(*svc.files, *target, rows) ||
      IsListedFile(*svc.files, PartName(*target), rows)) {
    view.Notice(kOutputIsInputText);
    return;
  }
  if (std::optional<std::string> refusal = CheckPieces(svc, rows.front(), *job)) {
    view.Notice(*refusal);
    return;
  }

  // The output is joined under its temporary name and takes its own name only when every
  // piece is in: a file saved over keeps its old content until then, and a run that dies
  // leaves nothing that looks whole.
  const std::string outputPath = *target;
  RemoveLeftoverParts(*svc.files, FolderPrefix(outputPath));
  // The output travels to the worker: nothing else may hold it open, or a stopped or refused
  // merge could not remove it.
  std::shared_ptr<FileStream> output = CreatePart(*svc.files, outputPath);
  EnterWork(view, work, SplitterWork::kMerge, kMergingCaption);
  const Page page{&svc, &view, &host, &work};
  RunWork(host, view, work, kMergingCaption, kMergeDoneCaption,
          [page, job, outputPath, output = std::move(output)](CopyMonitor& monitor) mutable {
            return RunMerge(page, *job, output, outputPath, monitor);
          });
}

}  // namespace mt::splitter
