// The "IE修复" page of the Main window: the add-on list on the left, the start page, title and
// registry-tool settings on the right, "自动反修" below them. The repair logic is
// browser/BrowserRepair.h; this page shows its rows and hands it the controls.
#pragma once

#include <windows.h>

#include <memory>

#include "app/win/TabPage.h"

namespace mt {

struct Services;
struct BrowserPageState;

class BrowserPage : public TabPage {
 public:
  static constexpr int kTab = 2;
  BrowserPage(TForm1& form, HWND sheet);
  ~BrowserPage() override;

  void Shown() override { TabSheet3Show(); }
  void DpiChanged() override { SizeColumns(); }

  void TabSheet3Show();
  void SbiedefaultClick();
  void FillAddOnList();
  void RemoveCheckedAddOns();
  // The columns share the list's width: the caption gets the most, each column at least its
  // header.
  void SizeColumns();
  // The text the list shows on hovering row `index`: its whole caption and, below it, its
  // place and what its repair does.
  std::string RowTip(int index) const;

  HWND ListView1 = nullptr;
  HWND Label12 = nullptr, Edpage = nullptr, Label13 = nullptr, Edtitle = nullptr;
  HWND FlatGroupBox7 = nullptr, rbregtool = nullptr, rbregtooln = nullptr;
  HWND FlatGroupBox6 = nullptr, cbsetpage = nullptr;
  HWND Sbiedefault = nullptr;

 private:
  Services& svc_;
  // The add-on list's rows (texts, image, the store and registry view each came from), the
  // repair logic and its view of the controls.
  std::unique_ptr<BrowserPageState> state_;
};

}  // namespace mt
