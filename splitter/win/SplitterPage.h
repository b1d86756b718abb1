// The "分割文件" page of the Main window: the split group above, the merge group below. The
// handlers hand the work to the portable logic (splitter/FileSplitter.h), which runs it on a
// worker thread of the page's own.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "app/win/TabPage.h"

namespace mt {

struct Services;
struct SplitterPageState;

class SplitterPage : public TabPage {
 public:
  static constexpr int kTab = 0;
  SplitterPage(TForm1& form, HWND sheet);
  ~SplitterPage() override;

  bool MayClose() override;
  // Stops the work and waits for its worker to clean up.
  void Shutdown() override;
  // Files dropped on the page: on group "分割文件" or on ListBox1.
  void DropFiles(HDROP drop) override;

  void Button1Click();
  void Button3Click();
  void Button4Click();
  void Button5Click();
  void CheckBox1Click();
  // ListBox1's context menu: "校验分割文件".
  void VerifyPiecesClick();
  // True while a split, merge or check runs.
  bool SplitterWorking() const;

  // Group "分割文件" (upper) and group "合并文件" (lower). CheckBox1: "生成恢复文件".
  HWND GroupBox1 = nullptr, Label1 = nullptr, Edit2 = nullptr, Button1 = nullptr, Label2 = nullptr,
       Edit1 = nullptr, UpDown1 = nullptr, Label3 = nullptr, Button3 = nullptr, CheckBox1 = nullptr;
  HWND GroupBox2 = nullptr, Label4 = nullptr, ListBox1 = nullptr, Button4 = nullptr,
       Button5 = nullptr;
  // First file of the latest confirmed piece selection; during a merge, the extension read
  // from that Index piece.
  std::string IndexPath;

 private:
  Services& svc_;
  // The page's view, its worker thread and the running split or merge.
  std::unique_ptr<SplitterPageState> state_;
};

}  // namespace mt
