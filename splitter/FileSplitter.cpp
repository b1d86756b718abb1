#include "splitter/FileSplitter.h"

#include <exception>
#include <memory>
#include <optional>

#include "app/Constants.h"
#include "app/Error.h"
#include "app/Path.h"
#include "app/Settings.h"
#include "app/Text.h"
#include "splitter/CheckedMerge.h"
#include "splitter/MergeList.h"
#include "splitter/PartFiles.h"
#include "splitter/PieceNames.h"
#include "splitter/PieceSize.h"
#include "splitter/ProblemText.h"
#include "splitter/Rebuild.h"
#include "splitter/SetCheck.h"
#include "splitter/SetRecord.h"
#include "splitter/Split.h"

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

bool ReadRecoveryBox(Services& svc) {
  TIniFile ini = ProgramSettings(svc);
  return ini.ReadBool(kSettingsSection, kKeyRecoveryBox, true);
}

void SaveRecoveryBox(Services& svc, bool ticked) {
  TIniFile ini = ProgramSettings(svc);
  ini.WriteBool(kSettingsSection, kKeyRecoveryBox, ticked);
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

void ChoosePieces(Services& svc, SplitterView& view, const FileDialogOptions& openDialog2,
                  std::string& indexPath) {
  std::optional<std::vector<std::string>> chosen = svc.dialogs->OpenFile(view.Owner(), openDialog2);
  if (chosen) AddPieces(view, *chosen, indexPath);
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

  SplitRequest request;
  request.pieceSize = PieceSizeBytes(ParseMegabytes(view.PieceSizeText()));
  request.sourcePath = svc.files->FullPath(source);
  request.prefix = TargetPrefix(*folder);
  request.extension = ExtensionOf(source);
  request.recovery = view.RecoveryTicked();
  FileSystem* files = svc.files;
  ProfileStore* profile = svc.profile;
  EnterWork(view, work, SplitterWork::kSplit, kSplittingCaption);
  RunWork(host, view, work, kSplittingCaption, kSplitDoneCaption, [=](CopyMonitor& monitor) {
    try {
      SplitIntoSet(*files, *profile, request, &monitor);
    } catch (const SourceChanged&) {
      return Outcome::Notice(FormatMessage1(kSourceChangedText, request.sourcePath));
    }
    return Outcome{};
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
