// The four handlers of the "分割文件" page as portable logic: the window side hands in its
// controls through SplitterView and the services; nothing here touches a window handle.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Services.h"
#include "splitter/PieceSet.h"

namespace mt::splitter {

inline constexpr const char* kFolderTitle = "选择保存目录:";
inline constexpr const char* kSplittingCaption = "正在分割，请稍侯...";
inline constexpr const char* kSplitDoneCaption = "分割完成";
inline constexpr const char* kMergingCaption = "正在合并，请稍侯...";
inline constexpr const char* kMergeDoneCaption = "合并完成";
inline constexpr const char* kNegativeSizeText = "分割为每文件的大小不能是负数，请输入一个正整数。";
inline constexpr const char* kOutputIsInputText =
    "保存的文件不能是文件列表中的文件，请另选一个文件名。";
inline constexpr const char* kMissingPieceText =
    "缺少分割文件：%s\n请按顺序选择 0.ds 和全部分割文件，合并没有进行。";
inline constexpr const char* kOutOfOrderText =
    "分割文件顺序不对：%s 应排在 %s 前面\n请按顺序选择 0.ds 和全部分割文件，合并没有进行。";
inline constexpr const char* kNoIndexFirstText =
    "文件列表的第一个文件不是索引文件 0.ds：%s\n请按顺序选择 0.ds 和全部分割文件，合并没有进行。";
inline constexpr const char* kStopSplitText = "停止分割";
inline constexpr const char* kStopMergeText = "停止合并";
inline constexpr const char* kStopVerifyText = "停止校验";
inline constexpr const char* kSplitButtonText = "分割文件";
inline constexpr const char* kMergeButtonText = "合并文件";
inline constexpr const char* kCloseWhileWorkingText =
    "文件正在分割或合并，还没有完成。\n要停止并关闭程序吗？未完成的文件会被删除。";
inline constexpr const char* kSourceChangedText =
    "要分割的文件在分割过程中被改动了（大小变了），分割没有完成：%s\n"
    "请在文件不再被改动时重新分割。";
// Notices of a checked merge; each names the piece and says what is wrong with it.
inline constexpr const char* kIndexDamagedText =
    "索引文件 0.ds 中的校验信息不完整或无法识别：%s\n合并没有进行。";
inline constexpr const char* kPieceNotListedText =
    "缺少分割文件：%s\n这一组共有 %s 个分割文件，请按顺序全部选择，合并没有进行。";
inline constexpr const char* kPieceExtraText =
    "文件列表中多了一个文件：%s\n它不属于这一组分割文件，合并没有进行。";
inline constexpr const char* kPieceGoneText =
    "分割文件无法打开（已被删除、移走或正在使用）：%s\n合并没有进行。";
inline constexpr const char* kPieceSizeText =
    "分割文件大小不对：%s\n应为 %s 字节，实际为 %s 字节，文件不完整或不是这一组的分割文件。"
    "合并没有进行。";
inline constexpr const char* kPieceHashText =
    "分割文件内容不对：%s\n文件已损坏、被改动、顺序被调换或不是这一组的分割文件。"
    "合并已停止，未完成的合并文件已删除。";
inline constexpr const char* kWholeHashText =
    "合并后的文件与分割时记录的校验值不符，合并已停止，未完成的合并文件已删除。";
// The recovery piece.
inline constexpr const char* kRecoveryBoxText = "生成恢复文件";
inline constexpr const char* kKeyRecoveryBox = "recovery";  // in config.ini, section DS_config
inline constexpr const char* kRebuiltText =
    "分割文件缺少或已损坏：%s\n已用恢复文件重建了它的内容，合并完成。\n"
    "要把修复好的分割文件写回原处吗？";
inline constexpr const char* kTooManyBadText =
    "这些分割文件缺少或已损坏：\n%s\n一个恢复文件只能修复一个分割文件，合并没有进行。";
inline constexpr const char* kTooManyBadLateText =
    "这些分割文件缺少或已损坏：\n%s\n一个恢复文件只能修复一个分割文件。"
    "合并已停止，未完成的合并文件已删除。";
inline constexpr const char* kNoRecoveryText =
    "分割文件缺少或已损坏：%s\n恢复文件缺少或大小不对：%s\n无法重建，合并没有进行。";
inline constexpr const char* kRecoveryDamagedText =
    "用恢复文件重建的分割文件与记录的校验值不符：%s\n恢复文件已损坏：%s\n"
    "合并已停止，未完成的合并文件已删除。";
inline constexpr const char* kWriteBackCaption = "正在写回分割文件，请稍侯...";
inline constexpr const char* kWriteBackDoneCaption = "写回完成";
// "校验分割文件" in the list's context menu.
inline constexpr const char* kVerifyMenuText = "校验分割文件";
inline constexpr const char* kVerifyingCaption = "正在校验，请稍侯...";
inline constexpr const char* kVerifyDoneCaption = "校验完成";
inline constexpr const char* kSetWholeText = "完好";
inline constexpr const char* kSetWholeRecoveryBadText = "分割文件完好，但恢复文件缺少或已损坏：%s";
inline constexpr const char* kSetBadText = "这些分割文件缺少或已损坏：\n%s\n%s";
inline constexpr const char* kCanRebuildText = "可以用恢复文件重建，合并时会自动重建。";
inline constexpr const char* kTooManyToRebuildText = "一个恢复文件只能修复一个分割文件，无法重建。";
inline constexpr const char* kRecoveryAlsoBadText = "恢复文件缺少或已损坏，无法重建：%s";
inline constexpr const char* kNoRecoveryPieceText = "这一组分割文件没有恢复文件，无法重建。";
inline constexpr const char* kVerifyNoIndexText =
    "文件列表的第一个文件不是索引文件 0.ds，无法校验。请先选择 0.ds 和它的分割文件。";
inline constexpr const char* kVerifyNoRecordText =
    "索引文件 0.ds 中没有校验信息（较早的版本分割的文件），无法校验：%s";
inline constexpr const char* kVerifyIndexDamagedText =
    "索引文件 0.ds 中的校验信息不完整或无法识别：%s\n校验没有进行。";

// The page's controls as the handlers use them.
class SplitterView {
 public:
  virtual ~SplitterView() = default;
  virtual WindowRef Owner() = 0;
  virtual std::string Caption() = 0;  // the Main window's caption
  virtual void SetCaption(const std::string& caption) = 0;
  virtual std::string SourceText() = 0;  // Edit2
  virtual void SetSourceText(const std::string& text) = 0;
  virtual std::string PieceSizeText() = 0;         // Edit1
  virtual void SetSplitEnabled(bool enabled) = 0;  // Button3
  virtual void SetMergeEnabled(bool enabled) = 0;  // Button5
  // Button3 / Button5 captions: "分割文件" / "合并文件", or the stop captions while working.
  virtual void SetSplitButtonText(const std::string& text) = 0;
  virtual void SetMergeButtonText(const std::string& text) = 0;
  virtual std::vector<std::string> ListRows() = 0;  // ListBox1, top to bottom
  virtual void AppendListRow(const std::string& row) = 0;
  virtual void Notice(const std::string& text) = 0;  // kNoticeCaption box, OK, no icon
  // kNoticeCaption box with yes and no; true for yes.
  virtual bool Ask(const std::string& text) = 0;
  // The "生成恢复文件" tick box.
  virtual bool RecoveryTicked() = 0;
};

// The notice for a list that cannot be joined as it stands.
std::string ListProblemText(const ListProblem& problem);
// The notice for a piece that does not match the Index piece's record.
std::string PieceProblemText(const PieceProblem& problem, uint64_t pieceCount);
// One line per bad piece: its path and what is wrong with it.
std::string BadPieceLines(const std::vector<PieceProblem>& problems);
// The notice of "校验分割文件".
std::string SetCheckText(const SetCheck& check);

// The tick box's state in config.ini (ticked when nothing is stored), and its change.
bool ReadRecoveryBox(Services& svc);
void SaveRecoveryBox(Services& svc, bool ticked);

// Where a split or merge runs: a thread of its own, and the way back to the UI thread.
class WorkHost {
 public:
  virtual ~WorkHost() = default;
  // Runs `work` away from the UI thread (one at a time).
  virtual void Start(std::function<void()> work) = 0;
  // From the worker: runs `ui` later on the UI thread, in the order posted; dropped once the
  // window is gone.
  virtual void Post(std::function<void()> ui) = 0;
};

// The page's running work, kept on the UI thread by the window.
struct SplitterWork {
  enum Kind { kIdle, kSplit, kMerge, kVerify };
  Kind running = kIdle;
  uint64_t id = 0;  // tells posts of an earlier run from those of the current one
  std::shared_ptr<std::atomic<bool>> stop;
  std::string captionBefore;
  // Runs on the UI thread once the current work has ended and cleaned up (closing the window
  // after "yes, stop").
  std::function<void()> afterWork;
  bool Running() const { return running != kIdle; }
};

// Asks the running work to stop; it ends within one buffer's copy, removes the file it was
// writing and puts the caption back as it was before the work began.
void StopWork(SplitterWork& work);

// The Main window is being closed: true when it may close now. While work runs the user is
// asked whether to stop it; "yes" stops it and runs `close` once it has cleaned up, "no" keeps
// it running and the window open.
bool MayCloseWindow(Services& svc, SplitterView& view, SplitterWork& work,
                    std::function<void()> close);

// OpenDialog1 ("all|*.*") and OpenDialog2 ("*.ds|*.ds", several files, no read-only box).
FileDialogOptions OpenDialog1Defaults();
FileDialogOptions OpenDialog2Defaults();

// Button1Click: the file to split into Edit2; a cancel leaves Edit2 as it is.
void ChooseSourceFile(Services& svc, SplitterView& view, const FileDialogOptions& openDialog1);

// Button3Click: Index piece and data pieces into a folder the user picks, on a worker, with
// the percentage in the caption; the record of sizes and digests goes into the Index piece
// when every piece is written. While the split runs Button3 stops it. A cancelled folder
// dialog changes nothing; a failure re-enables the buttons and puts the caption back before
// the error travels on to the error report.
void SplitSourceFile(Services& svc, SplitterView& view, WorkHost& host, SplitterWork& work);

// Button4Click: appends a confirmed selection to ListBox1, numbered pieces in numeric order
// first; `indexPath` becomes the first file of it (a cancel keeps the previous one).
void ChoosePieces(Services& svc, SplitterView& view, const FileDialogOptions& openDialog2,
                  std::string& indexPath);

// Files dropped on ListBox1: appended like a confirmed selection of OpenDialog2.
void AddPieces(SplitterView& view, const std::vector<std::string>& chosen, std::string& indexPath);
// Files dropped on the split group: the first one into Edit2.
void DropSourceFile(SplitterView& view, const std::vector<std::string>& dropped);

// Button5Click: joins the listed data pieces into a file the user names, on a worker. Refuses,
// writing nothing, when the list does not start with the Index piece, when a numbered piece is
// missing or out of order, or when the output is one of the listed files. When the first row
// is an Index piece with a record, the rows must also be its pieces with their sizes, and each
// piece's digest is checked as it is copied; a mismatch stops the merge, removes the output
// and names the piece. The output is joined under its temporary name and renamed when whole,
// so a file saved over stays as it was until then. While the merge runs Button5 stops it.
// A set whose record names a recovery piece may have one piece missing, short or altered: it is
// rebuilt while joining, and the user is asked whether to write it back.
void MergePieces(Services& svc, SplitterView& view, FileDialogOptions& saveDialog1,
                 std::string& indexPath, WorkHost& host, SplitterWork& work);

// "校验分割文件": checks the listed set against its record on a worker, with the percentage in
// the caption; the notice says "完好" or names the bad pieces and whether they can be rebuilt.
// Nothing is written. Refused while other work runs.
void VerifyPieces(Services& svc, SplitterView& view, WorkHost& host, SplitterWork& work);

}  // namespace mt::splitter
