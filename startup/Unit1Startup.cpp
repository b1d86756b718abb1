// The "系统启动项" page of the Main window: the startup list, "添加" and "删除".
// The work is done by StartupItems; this file only shows its rows in ListView2.
#include "app/Unit1.h"

#include "app/Backup.h"
#include "app/Error.h"
#include "startup/StartupApproved.h"
#include "startup/StartupItems.h"
#include "startup/win/WinStartupPlaces.h"

namespace mt {

namespace {

std::string ItemText(HWND list, int item, int column) {
  std::vector<wchar_t> buffer(512);
  for (;;) {
    LVITEMW lv = {};
    lv.iSubItem = column;
    lv.pszText = buffer.data();
    lv.cchTextMax = static_cast<int>(buffer.size());
    int n = static_cast<int>(
        ::SendMessageW(list, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&lv)));
    if (n < static_cast<int>(buffer.size()) - 1) return Narrow(buffer.data(), n);
    buffer.resize(buffer.size() * 4);
  }
}

void SetItemText(HWND list, int item, int column, const std::string& text) {
  std::wstring w = Widen(text);
  LVITEMW lv = {};
  lv.iSubItem = column;
  lv.pszText = w.data();
  ::SendMessageW(list, LVM_SETITEMTEXTW, item, reinterpret_cast<LPARAM>(&lv));
}

StartupRow RowAt(HWND list, int item) {
  StartupRow row;
  row.location = ItemText(list, item, 1);
  LVITEMW lv = {};
  lv.mask = LVIF_PARAM;
  lv.iItem = item;
  ::SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&lv));
  row.source = static_cast<StartupSource>(lv.lParam);
  row.name = NameFromShown(ItemText(list, item, 0), row.source);
  row.checked = ListView_GetCheckState(list, item) != 0;
  row.enabled = ItemText(list, item, 2) != kStateDisabled;
  return row;
}

// ListView2 as the startup logic sees it. Each item's lParam holds its row's source.
// Painting is held back while the list is rebuilt.
class ListViewStartupView : public StartupView {
 public:
  explicit ListViewStartupView(HWND list) : list_(list) {
    ::SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
  }
  ~ListViewStartupView() override {
    ::SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list_, nullptr, TRUE);
  }
  ListViewStartupView(const ListViewStartupView&) = delete;
  ListViewStartupView& operator=(const ListViewStartupView&) = delete;

  void Clear() override { ListView_DeleteAllItems(list_); }
  size_t Append(const StartupRow& row) override {
    std::wstring name = Widen(ShownName(row));
    LVITEMW lv = {};
    lv.mask = LVIF_TEXT | LVIF_PARAM;
    lv.iItem = ListView_GetItemCount(list_);
    lv.pszText = name.data();
    lv.lParam = static_cast<LPARAM>(row.source);
    int index = static_cast<int>(
        ::SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&lv)));
    if (index < 0) throw AppError("Out of system resources");
    if (!row.location.empty()) SetItemText(list_, index, 1, row.location);
    SetItemText(list_, index, 2, row.enabled ? kStateEnabled : kStateDisabled);
    SetItemText(list_, index, 3, SourceText(row.source));
    return static_cast<size_t>(index);
  }
  void SetLocation(size_t index, const std::string& location) override {
    SetItemText(list_, static_cast<int>(index), 1, location);
  }
  size_t Count() override { return static_cast<size_t>(ListView_GetItemCount(list_)); }
  StartupRow Row(size_t index) override { return RowAt(list_, static_cast<int>(index)); }
  void Remove(size_t index) override { ListView_DeleteItem(list_, static_cast<int>(index)); }
  std::optional<size_t> Selected() override {
    const int item = ListView_GetNextItem(list_, -1, LVNI_SELECTED);
    if (item < 0) return std::nullopt;
    return static_cast<size_t>(item);
  }
  void SetReadOnly() override {
    LONG_PTR style = ::GetWindowLongPtrW(list_, GWL_STYLE);
    if (style & LVS_EDITLABELS) ::SetWindowLongPtrW(list_, GWL_STYLE, style & ~LVS_EDITLABELS);
  }

 private:
  HWND list_;
};

StartupPlaces& PlacesOf(TForm1& form) { return *form.svc.startupPlaces; }

// The Startup list refresh: ListView2 rebuilt from the startup places.
void StartupListRefresh(TForm1& form) {
  StartupItems items(form.svc, PlacesOf(form));
  ListViewStartupView view(form.ListView2);
  items.Refresh(view);
}

}  // namespace

std::vector<StartupRow> StartupRowsOf(HWND listView) {
  std::vector<StartupRow> rows;
  int count = ListView_GetItemCount(listView);
  for (int i = 0; i < count; ++i) rows.push_back(RowAt(listView, i));
  return rows;
}

void TForm1::CreateTabSheet4Controls() {
  ListView2 = AddControl(TabSheet4, WC_LISTVIEWW, "",
                         WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS,
                         6, 6, 458, 246, WS_EX_CLIENTEDGE);
  ListView_SetExtendedListViewStyle(
      ListView2, LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
  const struct {
    const char* caption;
    int width;
  } columns[] = {{"启动项名称", 120}, {"启动项位置", 250}, {"状态", 62}, {"来源", 120}};
  // The list keeps its size; the last column is reached by scrolling sideways.
  for (int i = 0; i < 4; ++i) {
    std::wstring caption = Widen(columns[i].caption);
    LVCOLUMNW col = {};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    col.pszText = caption.data();
    col.cx = Scale(columns[i].width);
    col.iSubItem = i;
    ::SendMessageW(ListView2, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&col));
  }
  Button2 = AddButton(TabSheet4, "添加", 302, 258, 75, 25);
  Button6 = AddButton(TabSheet4, "删除", 389, 258, 75, 25);
  OnClick(Button2, [this] { Button2Click(); });
  OnClick(Button6, [this] { Button6Click(); });
  OnContextMenu(ListView2, {{"禁用", [this] { DisableCheckedStartupItems(); }},
                            {"启用", [this] { EnableCheckedStartupItems(); }},
                            {"打开文件位置", [this] { OpenStartupFileLocation(); }},
                            {kOpenBackupFolderText, [this] { OpenBackupFolder(svc, Handle); }}});
}

void TForm1::TabSheet4Show() { StartupListRefresh(*this); }

void TForm1::Button2Click() {
  StartupItems items(svc, PlacesOf(*this));
  ListViewStartupView view(ListView2);
  items.AddClick(view, Handle, OpenDialog3);
}

void TForm1::Button6Click() {
  StartupItems items(svc, PlacesOf(*this));
  ListViewStartupView view(ListView2);
  items.DeleteClick(view, Handle);
}

void TForm1::DisableCheckedStartupItems() {
  StartupItems items(svc, PlacesOf(*this));
  ListViewStartupView view(ListView2);
  items.SetCheckedEnabled(view, false, Handle);
}

void TForm1::OpenStartupFileLocation() {
  StartupItems items(svc, PlacesOf(*this));
  ListViewStartupView view(ListView2);
  items.OpenFileLocation(view, Handle, WinProgramLookup());
}

void TForm1::EnableCheckedStartupItems() {
  StartupItems items(svc, PlacesOf(*this));
  ListViewStartupView view(ListView2);
  items.SetCheckedEnabled(view, true, Handle);
}

}  // namespace mt
