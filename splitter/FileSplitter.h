// The four handlers of the "分割文件" page as portable logic: the window side hands in its
// controls through SplitterView and the services; nothing here touches a window handle.
#pragma once

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
  virtual std::vector<std::string> ListRows() = 0;   // ListBox1, top to bottom
  virtual void AppendListRow(const std::string& row) = 0;
  virtual void Notice(const std::string& text) = 0;  // "温馨提示" box, OK, no icon
};

// The notice for a list that cannot be joined as it stands.
std::string ListProblemText(const ListProblem& problem);

// OpenDialog1 ("all|*.*") and OpenDialog2 ("*.ds|*.ds", several files, no read-only box).
FileDialogOptions OpenDialog1Defaults();
FileDialogOptions OpenDialog2Defaults();

// Button1Click: the file to split into Edit2; a cancel leaves Edit2 as it is.
void ChooseSourceFile(Services& svc, SplitterView& view, const FileDialogOptions& openDialog1);

// Button3Click: Index piece and data pieces into a folder the user picks. A cancelled folder
// dialog changes nothing; a failure re-enables Button3 and puts the caption back before the
// error travels on to the error report.
void SplitSourceFile(Services& svc, SplitterView& view);

// Button4Click: appends a confirmed selection to ListBox1, numbered pieces in numeric order
// first; `indexPath` becomes the first file of it (a cancel keeps the previous one).
void ChoosePieces(Services& svc, SplitterView& view, const FileDialogOptions& openDialog2,
                  std::string& indexPath);

// Button5Click: joins the listed data pieces into a file the user names. Refuses, writing
// nothing, when the list does not start with the Index piece, when a numbered piece is
// missing or out of order, or when the output is one of the listed files.
void MergePieces(Services& svc, SplitterView& view, FileDialogOptions& saveDialog1,
                 std::string& indexPath);

}  // namespace mt::splitter
