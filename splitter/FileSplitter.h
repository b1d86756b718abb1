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

// The page's controls as the handlers use them.
class SplitterView {
 public:
  virtual ~SplitterView() = default;
  virtual WindowRef Owner() = 0;
  virtual std::string Caption() = 0;                 // the Main window's caption
  virtual void SetCaption(const std::string& caption) = 0;
  virtual std::string SourceText() = 0;              // Edit2
  virtual void SetSourceText(const std::string& text) = 0;
  virtual std::string PieceSizeText() = 0;           // Edit1
  virtual void SetSplitEnabled(bool enabled) = 0;    // Button3
  virtual void SetMergeEnabled(bool enabled) = 0;    // Button5
  // Button3 / Button5 captions: "分割文件" / "合并文件", or the stop captions while working.
  virtual void SetSplitButtonText(const std::string& text) = 0;
  virtual void SetMergeButtonText(const std::string& text) = 0;
  virtual std::vector<std::string> ListRows() = 0;   // ListBox1, top to bottom
  virtual void AppendListRow(const std::string& row) = 0;
  virtual void Notice(const std::string& text) = 0;  // "温馨提示" box, OK, no icon
};

// The notice for a list that cannot be joined as it stands.
std::string ListProblemText(const ListProblem& problem);
// The notice for a piece that does not match the Index piece's record.
std::string PieceProblemText(const PieceProblem& problem, uint64_t pieceCount);

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
  enum Kind { kIdle, kSplit, kMerge };
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
void MergePieces(Services& svc, SplitterView& view, FileDialogOptions& saveDialog1,
                 std::string& indexPath, WorkHost& host, SplitterWork& work);

}  // namespace mt::splitter
