// The "分割文件" page as its handlers see it: its controls, the Main window's caption and the
// page's notices, without a window handle.
#pragma once

#include <string>
#include <vector>

#include "app/Services.h"

namespace mt::splitter {

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
  // The progress on the program's taskbar button: `percent` (0..100) while work runs, the
  // error state after a run that failed, none once a run ended otherwise. Called on the UI
  // thread only.
  enum class Taskbar { kNone, kProgress, kError };
  virtual void SetTaskbarProgress(Taskbar state, int percent) = 0;
};

}  // namespace mt::splitter
