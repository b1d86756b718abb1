// The "IE修复" page: its controls, and the view through which the repair logic
// (browser/BrowserRepair) reads and sets them.
#include <windows.h>
#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

#include "browser/win/BrowserPage.h"

#include "app/Backup.h"
#include "app/win/Unit1.h"
#include "app/win/RestoreWindow.h"
#include "app/win/Window.h"
#include "browser/BrowserRepair.h"

namespace mt {
namespace {

class Tab3View : public RepairPageView {
 public:
  Tab3View(TForm1& form, BrowserPage& page, std::vector<AddOnRow>& rows)
      : f_(form), p_(page), rows_(rows) {}

  std::string Edpage() override { return TForm1::GetText(p_.Edpage); }
  void SetEdpage(const std::string& text) override { TForm1::SetText(p_.Edpage, text); }
  std::string Edtitle() override { return TForm1::GetText(p_.Edtitle); }
  void SetEdtitle(const std::string& text) override { TForm1::SetText(p_.Edtitle, text); }

  bool RbregtoolChecked() override { return Button_GetCheck(p_.rbregtool) == BST_CHECKED; }
  void SelectRbregtool() override {
    Button_SetCheck(p_.rbregtool, BST_CHECKED);
    Button_SetCheck(p_.rbregtooln, BST_UNCHECKED);
  }
  void SelectRbregtooln() override {
    Button_SetCheck(p_.rbregtooln, BST_CHECKED);
    Button_SetCheck(p_.rbregtool, BST_UNCHECKED);
  }
  bool CbsetpageChecked() override { return Button_GetCheck(p_.cbsetpage) == BST_CHECKED; }
  void SetCbsetpage(bool checked) override {
    Button_SetCheck(p_.cbsetpage, checked ? BST_CHECKED : BST_UNCHECKED);
  }

  // A list view that repaints after every insert or delete takes tens of milliseconds per
  // row under some platforms (Wine); held, the list is laid out and drawn once.
  void BeginUpdate() override {
    if (updates_++ == 0) ::SendMessageW(p_.ListView1, WM_SETREDRAW, FALSE, 0);
  }
  void EndUpdate() override {
    if (--updates_ > 0) return;
    ::SendMessageW(p_.ListView1, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(p_.ListView1, nullptr, TRUE);
  }
  void ClearRows() override {
    ListView_DeleteAllItems(p_.ListView1);
    rows_.clear();
  }
  void AppendRow(const AddOnRow& row) override {
    std::wstring caption = Widen(row.caption);
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = static_cast<int>(rows_.size());
    item.pszText = caption.data();
    // On demand: the list asks through LVN_GETDISPINFO when it first draws the row, so the
    // row is in the page's rows before the list has it.
    item.iImage = row.image == kImageOnDemand ? I_IMAGECALLBACK
                  : row.image >= 0            ? row.image
                                              : I_IMAGENONE;
    rows_.push_back(row);
    int at = static_cast<int>(
        ::SendMessageW(p_.ListView1, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (at < 0) {
      rows_.pop_back();
      return;
    }
    SetSubItem(at, 1, row.column2);
    SetSubItem(at, 2, row.column3);
    ListView_SetCheckState(p_.ListView1, at, FALSE);
  }
  int RowCount() override { return static_cast<int>(rows_.size()); }
  const AddOnRow& Row(int index) override { return rows_.at(index); }
  void SetRowImage(int index, int image) override { rows_.at(index).image = image; }
  bool RowChecked(int index) override {
    return ListView_GetCheckState(p_.ListView1, index) != FALSE;
  }
  void DeleteRow(int index) override {
    ListView_DeleteItem(p_.ListView1, index);
    rows_.erase(rows_.begin() + index);
  }
  ImageListRef Images() override { return f_.ImageList1.get(); }

 private:
  void SetSubItem(int row, int column, const std::string& text) {
    std::wstring wide = Widen(text);
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = wide.data();
    ::SendMessageW(p_.ListView1, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
  }

  TForm1& f_;
  BrowserPage& p_;
  std::vector<AddOnRow>& rows_;
  int updates_ = 0;
};

void AddColumn(HWND list, int index, const std::string& caption, int width) {
  std::wstring text = Widen(caption);
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
  column.pszText = text.data();
  column.cx = width;
  column.iSubItem = index;
  ::SendMessageW(list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
}

}  // namespace

// The "IE修复" page's own state.
struct BrowserPageState {
  BrowserPageState(TForm1& form, BrowserPage& owner)
      : view(form, owner, rows), page(form.svc, *form.svc.icons, view, form.Handle) {}
  // One entry per row of ListView1, in row order: its texts, its image and the store and
  // registry view it was listed from.
  std::vector<AddOnRow> rows;
  Tab3View view;
  BrowserRepairPage page;
};

BrowserPage::~BrowserPage() = default;

BrowserPage::BrowserPage(TForm1& form, HWND sheet)
    : TabPage(form, sheet),
      svc_(form.svc),
      state_(std::make_unique<BrowserPageState>(form, *this)) {
  HWND page = sheet;
  TForm1& f = form;
  // Add-on list on the left. The list only borrows ImageList1, which the window owns.
  ListView1 = f.AddControl(page, WC_LISTVIEWW, "",
                           WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS |
                               LVS_SHAREIMAGELISTS,
                           6, 6, 296, 278, WS_EX_CLIENTEDGE);
  ListView_SetExtendedListViewStyle(ListView1, LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES |
                                                   LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
  AddColumn(ListView1, 0, kAddOnColumns[0], f.Scale(150));
  AddColumn(ListView1, 1, kAddOnColumns[1], f.Scale(80));
  AddColumn(ListView1, 2, kAddOnColumns[2], f.Scale(60));
  SizeColumns();
  f.ImageList1.reset(ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 0, 16));
  ListView_SetImageList(ListView1, f.ImageList1.get(), LVSIL_SMALL);
  // A row's icon is fetched when the list first needs it; the list keeps the answer.
  f.OnNotify(ListView1, [this](NMHDR* nm) -> LRESULT {
    if (nm->code == LVN_GETINFOTIPW) {
      auto* tip = reinterpret_cast<NMLVGETINFOTIPW*>(nm);
      // The list offers what its cell shows (when that is cut): the tip says it all anew.
      FillInfoTip(tip, RowTip(tip->iItem));
      return 0;
    }
    if (nm->code != LVN_GETDISPINFOW && nm->code != LVN_GETDISPINFOA) return 0;
    LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(nm)->item;
    if (!(item.mask & LVIF_IMAGE)) return 0;
    if (item.iItem < 0 || item.iItem >= static_cast<int>(state_->rows.size())) {
      item.iImage = I_IMAGENONE;
      return 0;
    }
    int image = state_->page.RowImage(item.iItem);
    item.iImage = image >= 0 ? image : I_IMAGENONE;
    item.mask |= LVIF_DI_SETITEM;
    return 0;
  });

  // Settings on the right.
  Label12 = f.AddLabel(page, "默认主页：", 312, 10, 150, 14);
  Edpage = f.AddEdit(page, "", 312, 26, 150, 20);
  Label13 = f.AddLabel(page, "窗口标题：", 312, 54, 150, 14);
  Edtitle = f.AddEdit(page, "", 312, 70, 150, 20);

  FlatGroupBox7 = f.AddGroup(page, "注册表", 312, 100, 150, 46);
  rbregtool = f.AddButton(page, "禁止", 322, 120, 60, 18, BS_AUTORADIOBUTTON | WS_GROUP);
  rbregtooln = f.AddButton(page, "不禁止", 388, 120, 66, 18, BS_AUTORADIOBUTTON);

  FlatGroupBox6 = f.AddGroup(page, "设置主页", 312, 154, 150, 46);
  cbsetpage = f.AddButton(page, "禁止", 322, 174, 80, 18, BS_AUTOCHECKBOX | WS_GROUP);

  Sbiedefault = f.AddButton(page, "自动反修", 337, 220, 100, 26);
  f.SetHint(Sbiedefault, "单击默认键之后请单击应用键");
  f.OnClick(Sbiedefault, [this] { SbiedefaultClick(); });
  f.OnContextMenu(ListView1,
                  {{kOpenBackupFolderText, [this] { OpenBackupFolder(svc_, this->form.Handle); }},
                   {kRestoreMenuText, [this] { OpenRestoreWindow(svc_, this->form.Handle); }}});
}

void BrowserPage::SizeColumns() {
  const int width = ListRowWidth(ListView1);
  // A header's own width: its text and the margins the list draws around it.
  auto headerWidth = [&](const char* text) {
    return ListView_GetStringWidth(ListView1, Widen(text).c_str()) + form.Scale(16);
  };
  const int third = std::max(headerWidth(kAddOnColumns[2]), width * 22 / 100);
  const int second = std::max(headerWidth(kAddOnColumns[1]), width * 30 / 100);
  const int first = std::max(headerWidth(kAddOnColumns[0]), width - second - third);
  ListView_SetColumnWidth(ListView1, 0, first);
  ListView_SetColumnWidth(ListView1, 1, second);
  ListView_SetColumnWidth(ListView1, 2, third);
  // Tips wrap at the list's width (300 pixels at 96 DPI at the least) rather than run across
  // the screen.
  if (HWND tips = ListView_GetToolTips(ListView1))
    ::SendMessageW(tips, TTM_SETMAXTIPWIDTH, 0, std::max(width, form.Scale(300)));
}

std::string BrowserPage::RowTip(int index) const {
  if (index < 0 || index >= static_cast<int>(state_->rows.size())) return std::string();
  return AddOnRowTip(state_->rows[index]);
}

void BrowserPage::TabSheet3Show() { state_->page.TabSheet3Show(); }

void BrowserPage::SbiedefaultClick() { state_->page.SbiedefaultClick(); }

void BrowserPage::FillAddOnList() { state_->page.FillAddOnList(); }

void BrowserPage::RemoveCheckedAddOns() { state_->page.RemoveCheckedAddOns(); }

}  // namespace mt
