#include "splitter/FileSplitter.h"

#include <chrono>
#include <exception>
#include <memory>
#include <optional>

#include "app/Constants.h"
#include "app/Error.h"
#include "app/Settings.h"
#include "app/Text.h"
#include "splitter/PieceSet.h"

namespace mt::splitter {

FileDialogOptions OpenDialog1Defaults() {
  FileDialogOptions o;
  o.filter = "all|*.*";
  return o;
}

FileDialogOptions OpenDialog2Defaults() {
  FileDialogOptions o;
  o.filter = "*.ds|*.ds";
  o.multiSelect = true;
  o.hideReadOnly = true;
  return o;
}

std::string ListProblemText(const ListProblem& problem) {
  switch (problem.kind) {
    case ListProblem::kNoIndexFirst: return FormatMessage1(kNoIndexFirstText, problem.piece);
    case ListProblem::kOutOfOrder:
      return FormatMessage2(kOutOfOrderText, problem.piece, FileNameOf(problem.before));
    case ListProblem::kMissing: break;
  }
  return FormatMessage1(kMissingPieceText, problem.piece);
}

std::string PieceProblemText(const PieceProblem& p, uint64_t pieceCount) {
  switch (p.kind) {
    case PieceProblem::kNotListed:
      return FormatMessage2(kPieceNotListedText, p.piece, std::to_string(pieceCount));
    case PieceProblem::kExtra: return FormatMessage1(kPieceExtraText, p.piece);
    case PieceProblem::kGone: return FormatMessage1(kPieceGoneText, p.piece);
    case PieceProblem::kWrongSize:
      return FormatMessage2(FormatMessage1(kPieceSizeText, p.piece), std::to_string(p.expected),
                            std::to_string(p.actual));
    case PieceProblem::kWrongHash: return FormatMessage1(kPieceHashText, p.piece);
    case PieceProblem::kRecoveryDamaged:
      return FormatMessage2(kRecoveryDamagedText, p.piece, p.other);
    case PieceProblem::kNoRecovery: return FormatMessage2(kNoRecoveryText, p.piece, p.other);
    case PieceProblem::kWholeWrong: break;
  }
  return kWholeHashText;
}

std::string BadPieceLines(const std::vector<PieceProblem>& problems) {
  std::string out;
  for (const PieceProblem& p : problems) {
    if (!out.empty()) out += "\n";
    out += p.piece;
    switch (p.kind) {
      case PieceProblem::kNotListed: out += "（缺少）"; break;
      case PieceProblem::kGone: out += "（无法打开）"; break;
      case PieceProblem::kWrongSize: out += "（大小不对）"; break;
      default: out += "（内容不对）"; break;
    }
  }
  return out;
}

std::string SetCheckText(const SetCheck& check) {
  if (check.bad.empty()) {
    if (check.recovery == SetCheck::kRecoveryMissing ||
        check.recovery == SetCheck::kRecoveryDamaged)
      return FormatMessage1(kSetWholeRecoveryBadText, check.recoveryPath);
    return kSetWholeText;
  }
  std::string verdict;
  if (check.recovery == SetCheck::kNoRecovery) verdict = kNoRecoveryPieceText;
  else if (check.recovery != SetCheck::kRecoveryGood)
    verdict = FormatMessage1(kRecoveryAlsoBadText, check.recoveryPath);
  else if (check.bad.size() > 1) verdict = kTooManyToRebuildText;
  else verdict = kCanRebuildText;
  return FormatMessage2(kSetBadText, BadPieceLines(check.bad), verdict);
}

bool ReadRecoveryBox(Services& svc) {
  TIniFile ini = ProgramSettings(svc);
  return ini.ReadBool(kSettingsSection, kKeyRecoveryBox, true);
}

void SaveRecoveryBox(Services& svc, bool ticked) {
  TIniFile ini = ProgramSettings(svc);
  ini.WriteBool(kSettingsSection, kKeyRecoveryBox, ticked);
}

namespace {

// How a worker's run ended, handed to the UI thread.
struct Outcome {
  enum Kind { kDone, kStopped, kNotice, kError } kind = kDone;
  std::string notice;
  std::exception_ptr error;
  // Runs on the UI thread once the buttons are back (a question after a completed run).
  std::function<void()> followUp;
};

// Counts the bytes copied on the worker and posts the percentage to the caption when it
// changes, a few times a second at most (and always the final 100).
class ProgressMonitor : public CopyMonitor {
 public:
  ProgressMonitor(std::shared_ptr<std::atomic<bool>> stop, std::function<void(int)> report)
      : stop_(std::move(stop)), report_(std::move(report)) {}
  void Begin(uint64_t total) override {
    total_ = total;
    Report(0);
  }
  bool Copied(uint64_t bytes) override {
    done_ += bytes;
    int percent = total_ ? static_cast<int>(100.0 * static_cast<double>(done_) /
                                            static_cast<double>(total_))
                         : 100;
    if (percent > 100) percent = 100;
    if (percent != last_) {
      auto now = std::chrono::steady_clock::now();
      if (percent == 100 || now - lastPost_ >= std::chrono::milliseconds(150)) Report(percent);
    }
    return !stop_->load();
  }
  // The work is over: the caption shows 100 before the completion text replaces it.
  void Finish() {
    if (last_ != 100) Report(100);
  }

 private:
  void Report(int percent) {
    last_ = percent;
    lastPost_ = std::chrono::steady_clock::now();
    report_(percent);
  }
  std::shared_ptr<std::atomic<bool>> stop_;
  std::function<void(int)> report_;
  uint64_t total_ = 0, done_ = 0;
  int last_ = -1;
  std::chrono::steady_clock::time_point lastPost_{};
};

// The buttons and caption while work of `kind` runs: its own button stops it, the other
// start button is disabled.
void EnterWork(SplitterView& view, SplitterWork& work, SplitterWork::Kind kind,
               const std::string& caption) {
  work.running = kind;
  ++work.id;
  work.stop = std::make_shared<std::atomic<bool>>(false);
  work.captionBefore = view.Caption();
  if (kind == SplitterWork::kSplit) {
    view.SetSplitButtonText(kStopSplitText);
    view.SetMergeEnabled(false);
  } else if (kind == SplitterWork::kVerify) {
    view.SetMergeButtonText(kStopVerifyText);
    view.SetSplitEnabled(false);
  } else {
    view.SetMergeButtonText(kStopMergeText);
    view.SetSplitEnabled(false);
  }
  view.SetCaption(caption);
}

void LeaveWork(SplitterView& view, SplitterWork& work) {
  work.running = SplitterWork::kIdle;
  view.SetSplitButtonText(kSplitButtonText);
  view.SetMergeButtonText(kMergeButtonText);
  view.SetSplitEnabled(true);
  view.SetMergeEnabled(true);
}

// On the UI thread, once the worker has ended: buttons back, the caption to the completion
// text (or back to what it was when the work did not complete), then the notice or error.
void FinishWork(SplitterView& view, SplitterWork& work, const Outcome& outcome,
                const char* doneCaption) {
  LeaveWork(view, work);
  view.SetCaption(outcome.kind == Outcome::kDone ? std::string(doneCaption) : work.captionBefore);
  std::function<void()> after = std::move(work.afterWork);
  work.afterWork = nullptr;
  if (after) {
    // The window is going away: no notice is shown to a user who asked to leave.
    after();
    return;
  }
  // A completed run may report too (the verdict of a check); a refused one always does.
  if (outcome.kind == Outcome::kNotice ||
      (outcome.kind == Outcome::kDone && !outcome.notice.empty()))
    view.Notice(outcome.notice);
  if (outcome.kind == Outcome::kError) std::rethrow_exception(outcome.error);
  if (outcome.followUp) outcome.followUp();
}

// Runs `body` on the worker and hands its outcome to FinishWork; the percentage goes to the
// caption as "<working caption> <n>%" while the run is current. A stop reaches the body
// through its monitor: the copy engine throws WorkStopped at the next chunk.
void RunWork(WorkHost& host, SplitterView& view, SplitterWork& work, const std::string& working,
             const char* doneCaption, std::function<Outcome(CopyMonitor&)> body) {
  const uint64_t id = work.id;
  SplitterView* v = &view;
  SplitterWork* w = &work;
  WorkHost* h = &host;
  std::shared_ptr<std::atomic<bool>> stop = work.stop;
  host.Start([h, v, w, id, stop, working, doneCaption, body = std::move(body)] {
    ProgressMonitor monitor(stop, [h, v, w, id, working](int percent) {
      h->Post([v, w, id, working, percent] {
        if (w->Running() && w->id == id)
          v->SetCaption(working + " " + std::to_string(percent) + "%");
      });
    });
    Outcome outcome;
    try {
      outcome = body(monitor);
      if (outcome.kind == Outcome::kDone) monitor.Finish();
    } catch (const WorkStopped&) {
      outcome.kind = Outcome::kStopped;
    } catch (...) {
      outcome.kind = Outcome::kError;
      outcome.error = std::current_exception();
    }
    // A stop asked for at the very end still counts as a stop only when the work had not
    // completed; otherwise the finished result stands.
    h->Post([v, w, outcome, doneCaption] { FinishWork(*v, *w, outcome, doneCaption); });
  });
}

}  // namespace

void StopWork(SplitterWork& work) {
  if (work.Running() && work.stop) work.stop->store(true);
}

bool MayCloseWindow(Services& svc, SplitterView& view, SplitterWork& work,
                    std::function<void()> close) {
  if (!work.Running()) return true;
  int answer = svc.messages->Show(view.Owner(), kCloseWhileWorkingText, kNoticeCaption,
                                  kMbYesNo | kMbIconQuestion);
  // The work may have ended while the question was open.
  if (!work.Running()) return answer == kIdYes;
  if (answer != kIdYes) return false;
  work.afterWork = std::move(close);
  StopWork(work);
  return false;
}

void DropSourceFile(SplitterView& view, const std::vector<std::string>& dropped) {
  if (!dropped.empty()) view.SetSourceText(dropped.front());
}

void AddPieces(SplitterView& view, const std::vector<std::string>& chosen, std::string& indexPath) {
  if (chosen.empty()) return;
  std::vector<std::string> ordered = OrderSelection(chosen);
  for (const std::string& path : ordered) view.AppendListRow(path);
  indexPath = ordered.front();
}

void ChooseSourceFile(Services& svc, SplitterView& view, const FileDialogOptions& openDialog1) {
  std::optional<std::vector<std::string>> chosen = svc.dialogs->OpenFile(view.Owner(), openDialog1);
  if (chosen && !chosen->empty()) view.SetSourceText(chosen->front());
}

void SplitSourceFile(Services& svc, SplitterView& view, WorkHost& host, SplitterWork& work) {
  if (work.running == SplitterWork::kSplit) {
    StopWork(work);
    return;
  }
  if (work.Running()) return;
  const std::string source = view.SourceText();
  if (source.empty()) {
    svc.messages->Beep();
    return;
  }
  // A negative count would make a nonsense piece size; refuse it before anything is asked
  // or written. Other bad texts are reported by the size step below, as usual.
  std::optional<int32_t> typed = ParseInt32(view.PieceSizeText());
  if (typed && *typed < 0) {
    view.Notice(kNegativeSizeText);
    return;
  }
  std::optional<std::string> folder = svc.dialogs->BrowseFolder(view.Owner(), kFolderTitle);
  if (!folder) return;

  const std::string prefix = TargetPrefix(*folder);
  // The Index piece is a convenience for the merge: when it cannot be written the pieces are
  // still worth having, so its errors are dropped. A record left by an older set in the same
  // Index piece is withdrawn until this split has written every piece.
  bool indexWritten = false;
  try {
    EnterWork(view, work, SplitterWork::kSplit, kSplittingCaption);
    WriteIndexPiece(*svc.profile, prefix, ExtensionOf(source));
    ClearSetRecord(*svc.profile, prefix);
    indexWritten = true;
  } catch (const std::exception&) {
  }
  const bool recovery = view.RecoveryTicked();
  uint64_t pieceSize = 0;
  std::string fullSource;
  try {
    pieceSize = PieceSizeBytes(ParseMegabytes(view.PieceSizeText()));
    fullSource = svc.files->FullPath(source);
  } catch (...) {
    LeaveWork(view, work);
    view.SetCaption(work.captionBefore);
    throw;
  }
  FileSystem* files = svc.files;
  ProfileStore* profile = svc.profile;
  RunWork(host, view, work, kSplittingCaption, kSplitDoneCaption, [=](CopyMonitor& monitor) {
    Outcome outcome;
    SetRecord record;
    try {
      // The recovery piece is of use only with the record that names it.
      WriteDataPieces(*files, fullSource, prefix, pieceSize, &record, &monitor,
                      recovery && indexWritten);
    } catch (const SourceChanged&) {
      outcome.kind = Outcome::kNotice;
      outcome.notice = FormatMessage1(kSourceChangedText, fullSource);
      return outcome;
    }
    if (indexWritten) {
      try {
        WriteSetRecord(*profile, prefix, record);
      } catch (const std::exception&) {
        // As with "kzm": the pieces stand without the record.
      }
    }
    return outcome;
  });
}

void ChoosePieces(Services& svc, SplitterView& view, const FileDialogOptions& openDialog2,
                  std::string& indexPath) {
  std::optional<std::vector<std::string>> chosen = svc.dialogs->OpenFile(view.Owner(), openDialog2);
  if (chosen) AddPieces(view, *chosen, indexPath);
}

namespace {

// True when the list's first row is an Index piece whose record names a recovery piece and
// the other rows are that set's pieces, each once: such a set may lack a piece, which the
// merge rebuilds. A list of any other shape keeps the notice about its order.
bool GapMayBeRebuilt(Services& svc, const std::vector<std::string>& rows) {
  if (rows.empty() || !IsIndexPiece(rows.front())) return false;
  RecordRead read = ReadSetRecord(*svc.profile, rows.front());
  if (read.kind != RecordRead::kValid || !read.record.recovery) return false;
  return !PlanCheckedMerge(*svc.files, rows.front(), RowsToJoin(rows), read.record).refusal;
}

// Writes the rebuilt piece back where it belongs, on the worker, from the joined file.
void StartWriteBack(Services& svc, SplitterView& view, WorkHost& host, SplitterWork& work,
                    const std::string& outputPath, const std::string& piecePath, uint64_t number,
                    const SetRecord& record) {
  if (work.Running()) return;
  EnterWork(view, work, SplitterWork::kMerge, kWriteBackCaption);
  FileSystem* files = svc.files;
  RunWork(host, view, work, kWriteBackCaption, kWriteBackDoneCaption,
          [files, outputPath, piecePath, number, record](CopyMonitor& monitor) {
            Outcome outcome;
            try {
              WriteBackPiece(*files, outputPath, piecePath, number, record, &monitor);
            } catch (const PieceMismatch& m) {
              outcome.kind = Outcome::kNotice;
              outcome.notice = PieceProblemText(m.problem, record.pieceHashes.size());
            }
            return outcome;
          });
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
  if (std::optional<ListProblem> problem = CheckListOrder(rows)) {
    // A gap in a set with a recovery piece is left to the record's check: the piece may be
    // rebuilt.
    if (problem->kind != ListProblem::kMissing || !GapMayBeRebuilt(svc, rows)) {
      view.Notice(ListProblemText(*problem));
      return;
    }
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

  // A set whose Index piece (the first row) carries a record is checked against it before
  // anything is written.
  const std::vector<std::string> join = RowsToJoin(rows);
  std::optional<SetRecord> record;
  std::optional<CheckedPlan> plan;
  if (IsIndexPiece(rows.front())) {
    RecordRead read = ReadSetRecord(*svc.profile, rows.front());
    if (read.kind == RecordRead::kDamaged) {
      view.Notice(FormatMessage1(kIndexDamagedText, rows.front()));
      return;
    }
    if (read.kind == RecordRead::kValid && read.record.recovery) {
      CheckedPlan p = PlanCheckedMerge(*svc.files, rows.front(), join, read.record);
      if (p.refusal) {
        view.Notice(PieceProblemText(*p.refusal, read.record.pieceHashes.size()));
        return;
      }
      if (p.bad.size() > 1) {
        view.Notice(FormatMessage1(kTooManyBadText, BadPieceLines(p.bad)));
        return;
      }
      if (!p.bad.empty() && !p.recoveryUsable) {
        view.Notice(FormatMessage2(kNoRecoveryText, p.bad.front().piece, p.recovery));
        return;
      }
      plan = std::move(p);
      record = std::move(read.record);
    } else if (read.kind == RecordRead::kValid) {
      if (std::optional<PieceProblem> p = CheckRowsAgainstRecord(*svc.files, rows.front(), join,
                                                                 read.record)) {
        view.Notice(PieceProblemText(*p, read.record.pieceHashes.size()));
        return;
      }
      record = std::move(read.record);
    }
  }

  // The output is joined under its temporary name and takes its own name only when every
  // piece is in (and, for a checked set, every digest matched): a file saved over keeps its
  // old content until then, and a run that dies leaves nothing that looks whole.
  const std::string outputPath = *target;
  const std::string partPath = PartName(outputPath);
  RemoveLeftoverParts(*svc.files,
                      outputPath.substr(0, outputPath.size() - FileNameOf(outputPath).size()));
  std::shared_ptr<FileStream> output = CreatePart(*svc.files, outputPath);
  EnterWork(view, work, SplitterWork::kMerge, kMergingCaption);
  FileSystem* files = svc.files;
  Services* services = &svc;
  SplitterView* v = &view;
  WorkHost* h = &host;
  SplitterWork* w = &work;
  RunWork(host, view, work, kMergingCaption, kMergeDoneCaption,
          // The output travels to the worker: nothing else may hold it open, or a stopped or
          // refused merge could not remove it.
          [files, outputPath, partPath, join, record, plan, output = std::move(output), services, v,
           h, w](CopyMonitor& monitor) mutable {
            Outcome outcome;
            try {
              uint64_t rebuilt = 0;
              if (plan) rebuilt = JoinChecked(*files, *output, *plan, *record, &monitor);
              else if (record) AppendCheckedRows(*files, *output, join, *record, &monitor);
              else AppendRows(*files, *output, join, &monitor);
              output.reset();
              files->Rename(partPath, outputPath);
              if (rebuilt) {
                // The merge is complete; the user says whether the piece goes back in place.
                const std::string piece = plan->pieces[rebuilt - 1];
                const SetRecord r = *record;
                outcome.followUp = [services, v, h, w, outputPath, piece, rebuilt, r] {
                  if (v->Ask(FormatMessage1(kRebuiltText, piece)))
                    StartWriteBack(*services, *v, *h, *w, outputPath, piece, rebuilt, r);
                };
              }
            } catch (const TooManyBad& m) {
              output.reset();
              files->RemoveFile(partPath);
              outcome.kind = Outcome::kNotice;
              outcome.notice = FormatMessage1(kTooManyBadLateText, BadPieceLines(m.problems));
            } catch (const PieceMismatch& m) {
              output.reset();
              files->RemoveFile(partPath);
              outcome.kind = Outcome::kNotice;
              outcome.notice = PieceProblemText(m.problem, record->pieceHashes.size());
            } catch (...) {
              // Stopped or failed: what was joined so far is no whole file.
              output.reset();
              files->RemoveFile(partPath);
              throw;
            }
            return outcome;
          });
}

void VerifyPieces(Services& svc, SplitterView& view, WorkHost& host, SplitterWork& work) {
  if (work.Running()) return;
  const std::vector<std::string> rows = view.ListRows();
  if (rows.empty()) {
    svc.messages->Beep();
    return;
  }
  if (!IsIndexPiece(rows.front())) {
    view.Notice(kVerifyNoIndexText);
    return;
  }
  RecordRead read = ReadSetRecord(*svc.profile, rows.front());
  if (read.kind == RecordRead::kNone) {
    view.Notice(FormatMessage1(kVerifyNoRecordText, rows.front()));
    return;
  }
  if (read.kind == RecordRead::kDamaged) {
    view.Notice(FormatMessage1(kVerifyIndexDamagedText, rows.front()));
    return;
  }
  const std::vector<std::string> join = RowsToJoin(rows);
  CheckedPlan plan = PlanCheckedMerge(*svc.files, rows.front(), join, read.record);
  if (plan.refusal) {
    view.Notice(PieceProblemText(*plan.refusal, read.record.pieceHashes.size()));
    return;
  }
  EnterWork(view, work, SplitterWork::kVerify, kVerifyingCaption);
  FileSystem* files = svc.files;
  const std::string indexPath = rows.front();
  const SetRecord record = read.record;
  RunWork(host, view, work, kVerifyingCaption, kVerifyDoneCaption,
          [files, indexPath, join, record](CopyMonitor& monitor) {
            Outcome outcome;  // done: "校验完成" in the caption, the verdict in a notice
            outcome.notice = SetCheckText(CheckSet(*files, indexPath, join, record, &monitor));
            return outcome;
          });
}

}  // namespace mt::splitter
