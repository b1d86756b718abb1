#include "splitter/FileSplitter.h"

#include <memory>
#include <optional>

#include "app/Error.h"
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
    case ListProblem::kNoIndexFirst:
      return FormatMessage1(kNoIndexFirstText, problem.piece);
    case ListProblem::kOutOfOrder:
      return FormatMessage2(kOutOfOrderText, problem.piece, FileNameOf(problem.before));
    case ListProblem::kMissing:
      break;
  }
  return FormatMessage1(kMissingPieceText, problem.piece);
}

void ChooseSourceFile(Services& svc, SplitterView& view, const FileDialogOptions& openDialog1) {
  std::optional<std::vector<std::string>> chosen = svc.dialogs->OpenFile(view.Owner(), openDialog1);
  if (chosen && !chosen->empty()) view.SetSourceText(chosen->front());
}

void SplitSourceFile(Services& svc, SplitterView& view) {
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
  const std::string captionBefore = view.Caption();
  // The Index piece is a convenience for the merge: when it cannot be written the pieces are
  // still worth having, so its errors are dropped.
  try {
    view.SetSplitEnabled(false);
    view.SetCaption(kSplittingCaption);
    WriteIndexPiece(*svc.profile, prefix, ExtensionOf(source));
  } catch (const std::exception&) {
  }
  try {
    uint64_t pieceSize = PieceSizeBytes(ParseMegabytes(view.PieceSizeText()));
    WriteDataPieces(*svc.files, svc.files->FullPath(source), prefix, pieceSize);
  } catch (...) {
    view.SetSplitEnabled(true);
    view.SetCaption(captionBefore);
    throw;
  }
  view.SetSplitEnabled(true);
  view.SetCaption(kSplitDoneCaption);
}

void ChoosePieces(Services& svc, SplitterView& view, const FileDialogOptions& openDialog2,
                  std::string& indexPath) {
  std::optional<std::vector<std::string>> chosen = svc.dialogs->OpenFile(view.Owner(), openDialog2);
  if (!chosen || chosen->empty()) return;
  std::vector<std::string> ordered = OrderSelection(*chosen);
  for (const std::string& path : ordered) view.AppendListRow(path);
  indexPath = ordered.front();
}

void MergePieces(Services& svc, SplitterView& view, FileDialogOptions& saveDialog1,
                 std::string& indexPath) {
  const std::vector<std::string> rows = view.ListRows();
  if (rows.empty()) {
    svc.messages->Beep();
    return;
  }
  if (std::optional<ListProblem> problem = CheckListOrder(rows)) {
    view.Notice(ListProblemText(*problem));
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
  if (IsListedFile(*svc.files, *target, rows)) {
    view.Notice(kOutputIsInputText);
    return;
  }

  std::unique_ptr<FileStream> output = svc.files->Create(*target);
  const std::string captionBefore = view.Caption();
  view.SetCaption(kMergingCaption);
  view.SetMergeEnabled(false);
  try {
    AppendRows(*svc.files, *output, RowsToJoin(rows));
    output.reset();
  } catch (...) {
    output.reset();
    view.SetCaption(captionBefore);
    view.SetMergeEnabled(true);
    throw;
  }
  view.SetCaption(kMergeDoneCaption);
  view.SetMergeEnabled(true);
}

}  // namespace mt::splitter
