// The "IE修复" page end to end under Wine: a real Main window over the prefix's registry,
// the real shell icons and short paths, driven through the tab and its controls.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <windowsx.h>

#include <memory>
#include <string>
#include <vector>

#include "app/Registry.h"
#include "app/Unit1.h"
#include "app/win/WinRegistry.h"
#include "tests/support/StandIns.h"

namespace mt {
namespace {

constexpr RegRoot LM = RegRoot::LocalMachine;
constexpr RegRoot CU = RegRoot::CurrentUser;
constexpr RegRoot CR = RegRoot::ClassesRoot;

// Class ids of our own, so rows that the prefix brings along are told apart.
const std::string kBarId = "{6D3C1A00-5E1B-4F7A-9C11-00000000B001}";
const std::string kGoneId = "{6D3C1A00-5E1B-4F7A-9C11-00000000B002}";
const std::string kButtonId = "{6D3C1A00-5E1B-4F7A-9C11-00000000B003}";
const std::string kPlainId = "{6D3C1A00-5E1B-4F7A-9C11-00000000B004}";
const std::string kMenuSame = "Mirtak Test Bar";   // equals the toolbar's display name
const std::string kMenuOther = "Mirtak Test Menu";

std::string SystemDll(const char* name) {
  wchar_t dir[MAX_PATH] = {};
  ::GetSystemDirectoryW(dir, MAX_PATH);
  return Narrow(dir, wcslen(dir)) + "\\" + name;
}

struct Row {
  std::string c1, c2, c3, c4;
  int image;
  bool checked;
};

class BrowserTab : public ::testing::Test {
 protected:
  test::TestServices ts;
  WinRegistry real;
  std::unique_ptr<TForm1> form;

  void SetUp() override {
    ts.services.registry = &real;
    RemoveOurEntries();
    form = std::make_unique<TForm1>(ts.services);
    form->Create();
  }
  void TearDown() override {
    form.reset();
    RemoveOurEntries();
    TRegistry reg(real);
    reg.SetRootKey(CU);
    if (reg.OpenKey(std::string("\\") + kHomePageLockKey, false))
      reg.DeleteValue(kHomePageLockValue);
    if (reg.OpenKey(std::string("\\") + kRegistryToolsLockKey, false))
      reg.DeleteValue(kRegistryToolsLockValue);
  }

  void Write(RegRoot root, const std::string& path, const std::string& name,
             const std::string& text) {
    TRegistry reg(real);
    reg.SetRootKey(root);
    ASSERT_TRUE(reg.OpenKey("\\" + path, true)) << path;
    reg.WriteString(name, text);
  }
  void WriteDword(RegRoot root, const std::string& path, const std::string& name, int v) {
    TRegistry reg(real);
    reg.SetRootKey(root);
    ASSERT_TRUE(reg.OpenKey("\\" + path, true)) << path;
    reg.WriteInteger(name, v);
  }
  bool HasValue(RegRoot root, const std::string& path, const std::string& name) {
    TRegistry reg(real);
    reg.SetRootKey(root);
    return reg.OpenKey("\\" + path, false) && reg.ValueExists(name);
  }
  bool HasKey(RegRoot root, const std::string& path) {
    TRegistry reg(real);
    reg.SetRootKey(root);
    return reg.KeyExists("\\" + path);
  }
  std::optional<int32_t> Dword(RegRoot root, const std::string& path, const std::string& name) {
    TRegistry reg(real);
    reg.SetRootKey(root);
    if (!reg.OpenKey("\\" + path, false) || !reg.ValueExists(name)) return std::nullopt;
    return reg.ReadInteger(name);
  }
  std::string Text(RegRoot root, const std::string& path, const std::string& name) {
    TRegistry reg(real);
    reg.SetRootKey(root);
    if (!reg.OpenKey("\\" + path, false)) return "<no key>";
    return reg.ReadString(name);
  }

  void RemoveOurEntries() {
    TRegistry reg(real);
    reg.SetRootKey(LM);
    if (reg.OpenKey(std::string("\\") + kToolbarStore, false))
      for (const std::string& id : {kBarId, kGoneId, kButtonId, kPlainId}) reg.DeleteValue(id);
    reg.SetRootKey(LM);
    for (const std::string& id : {kBarId, kGoneId, kButtonId, kPlainId})
      reg.DeleteKey(std::string("\\") + kExtensionStore + "\\" + id);
    reg.SetRootKey(CR);
    for (const std::string& id : {kBarId, kGoneId, kButtonId, kPlainId})
      reg.DeleteKey("\\CLSID\\" + id);
    reg.SetRootKey(CU);
    for (const std::string& name : {kMenuSame, kMenuOther})
      reg.DeleteKey(std::string("\\") + kMenuExtensionStore + "\\" + name);
  }

  // A toolbar served by a system DLL, one whose server file is gone, a button with an
  // indexed icon, a plain extension sharing nothing, and two context-menu entries.
  void RegisterAddOns() {
    const std::string shell32 = SystemDll("shell32.dll");
    Write(LM, kToolbarStore, kBarId, "");
    Write(CR, "CLSID\\" + kBarId, "", kMenuSame);
    Write(CR, "CLSID\\" + kBarId + "\\InprocServer32", "", shell32);
    Write(LM, kToolbarStore, kGoneId, "");
    Write(CR, "CLSID\\" + kGoneId + "\\InprocServer32", "", "C:\\nowhere\\gone.dll");
    Write(LM, std::string(kExtensionStore) + "\\" + kButtonId, "ButtonText", "Mirtak Button");
    Write(LM, std::string(kExtensionStore) + "\\" + kButtonId, "MenuText", "not shown");
    Write(LM, std::string(kExtensionStore) + "\\" + kButtonId, "HotIcon", shell32 + ",3");
    Write(LM, std::string(kExtensionStore) + "\\" + kPlainId, "MenuText", "Mirtak Plain");
    Write(CU, std::string(kMenuExtensionStore) + "\\" + kMenuSame, "", "res://same.htm");
    Write(CU, std::string(kMenuExtensionStore) + "\\" + kMenuOther, "", "");
  }

  std::vector<Row> Rows() {
    std::vector<Row> out;
    HWND lv = form->ListView1;
    int n = ListView_GetItemCount(lv);
    for (int i = 0; i < n; ++i) {
      Row r;
      std::string* cols[] = {&r.c1, &r.c2, &r.c3, &r.c4};
      for (int c = 0; c < 4; ++c) {
        wchar_t buf[1024] = {};
        ListView_GetItemText(lv, i, c, buf, 1024);
        *cols[c] = Narrow(buf, wcslen(buf));
      }
      LVITEMW item{};
      item.mask = LVIF_IMAGE;
      item.iItem = i;
      ::SendMessageW(lv, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
      r.image = item.iImage;
      r.checked = ListView_GetCheckState(lv, i) != FALSE;
      out.push_back(r);
    }
    return out;
  }
  int IndexOf(const std::string& column2) {
    std::vector<Row> rows = Rows();
    for (size_t i = 0; i < rows.size(); ++i)
      if (rows[i].c2 == column2) return static_cast<int>(i);
    return -1;
  }
  int IndexOfCaption(const std::string& caption) {
    std::vector<Row> rows = Rows();
    for (size_t i = 0; i < rows.size(); ++i)
      if (rows[i].c1 == caption && rows[i].image < 0) return static_cast<int>(i);
    return -1;
  }
  void ShowTab() {
    form->SetActivePage(0);
    form->SetActivePage(2);
    ASSERT_EQ(form->ActivePageIndex(), 2);
  }
  bool Checked(HWND button) { return Button_GetCheck(button) == BST_CHECKED; }
};

TEST_F(BrowserTab, PageHasItsControlsAndColumns) {
  ASSERT_NE(form->ListView1, nullptr);
  DWORD ex = ListView_GetExtendedListViewStyle(form->ListView1);
  EXPECT_TRUE(ex & LVS_EX_CHECKBOXES);
  EXPECT_TRUE(ex & LVS_EX_GRIDLINES);
  EXPECT_TRUE(ex & LVS_EX_FULLROWSELECT);
  LONG style = ::GetWindowLongW(form->ListView1, GWL_STYLE);
  EXPECT_EQ(style & LVS_TYPEMASK, LVS_REPORT);
  EXPECT_FALSE(style & LVS_EDITLABELS);
  wchar_t buf[64] = {};
  LVCOLUMNW col{};
  col.mask = LVCF_TEXT | LVCF_WIDTH;
  col.pszText = buf;
  col.cchTextMax = 64;
  ASSERT_TRUE(::SendMessageW(form->ListView1, LVM_GETCOLUMNW, 0, reinterpret_cast<LPARAM>(&col)));
  EXPECT_EQ(Narrow(buf, wcslen(buf)), "IE扩展项目");
  EXPECT_EQ(col.cx, form->Scale(150));
  const int widths[] = {150, 300, 50, 50};
  for (int i = 1; i < 4; ++i) EXPECT_EQ(ListView_GetColumnWidth(form->ListView1, i), form->Scale(widths[i]));
  EXPECT_EQ(ListView_GetImageList(form->ListView1, LVSIL_SMALL), form->ImageList1.get());
  int cx = 0, cy = 0;
  ImageList_GetIconSize(form->ImageList1.get(), &cx, &cy);
  EXPECT_EQ(cx, 16);
  EXPECT_EQ(cy, 16);
  EXPECT_EQ(TForm1::GetText(form->Sbiedefault), "自动反修");
  EXPECT_EQ(TForm1::GetText(form->FlatGroupBox7), "注册表");
  EXPECT_EQ(TForm1::GetText(form->FlatGroupBox6), "设置主页");
  EXPECT_EQ(TForm1::GetText(form->rbregtool), "禁止");
  EXPECT_EQ(TForm1::GetText(form->rbregtooln), "不禁止");
  EXPECT_EQ(TForm1::GetText(form->cbsetpage), "禁止");
  EXPECT_EQ(TForm1::GetText(form->Label12), "默认主页：");
  EXPECT_EQ(TForm1::GetText(form->Label13), "窗口标题：");
  // Before the first showing nothing is selected.
  EXPECT_FALSE(Checked(form->rbregtool));
  EXPECT_FALSE(Checked(form->rbregtooln));
  EXPECT_FALSE(Checked(form->cbsetpage));
}

TEST_F(BrowserTab, ShowingTheTabListsTheAddOnsWithNamesIdsPathsAndIcons) {
  RegisterAddOns();
  WriteDword(CU, kHomePageLockKey, kHomePageLockValue, 1);
  ShowTab();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;

  std::vector<Row> rows = Rows();
  int bar = IndexOf(kBarId), gone = IndexOf(kGoneId), button = IndexOf(kButtonId),
      plain = IndexOf(kPlainId), same = IndexOf("res://same.htm");
  ASSERT_GE(bar, 0);
  ASSERT_GE(gone, 0);
  ASSERT_GE(button, 0);
  ASSERT_GE(plain, 0);
  ASSERT_GE(same, 0);
  // Toolbars first, then extensions, then menu entries.
  EXPECT_LT(std::max(bar, gone), std::min(button, plain));
  EXPECT_LT(std::max(button, plain), same);

  wchar_t shortForm[256] = {};
  ::GetShortPathNameW(Widen(SystemDll("shell32.dll")).c_str(), shortForm, 256);
  EXPECT_EQ(rows[bar].c1, kMenuSame);
  EXPECT_EQ(rows[bar].c3, Narrow(shortForm, wcslen(shortForm)));
  EXPECT_FALSE(rows[bar].c3.empty());
  EXPECT_GE(rows[bar].image, 0);
  EXPECT_EQ(rows[gone].c1, "");
  EXPECT_EQ(rows[gone].c3, "");
  EXPECT_EQ(rows[button].c1, "Mirtak Button");
  EXPECT_EQ(rows[button].c3, SystemDll("shell32.dll") + ",3");
  EXPECT_GE(rows[button].image, 0);
  EXPECT_NE(rows[button].image, rows[bar].image);
  EXPECT_EQ(rows[plain].c1, "Mirtak Plain");
  EXPECT_EQ(rows[same].c1, kMenuSame);
  EXPECT_LT(rows[same].image, 0);  // menu entries have no icon
  for (const Row& r : rows) {
    EXPECT_FALSE(r.checked);
    EXPECT_EQ(r.c4, "");
    EXPECT_LT(r.image, ImageList_GetImageCount(form->ImageList1.get()));
  }
  // Each show appends the icons again.
  int images = ImageList_GetImageCount(form->ImageList1.get());
  ShowTab();
  EXPECT_GT(ImageList_GetImageCount(form->ImageList1.get()), images);

  // Settings side: the machine-wide values exist (written as defaults where missing) and
  // the home-page lock ticks the box.
  EXPECT_EQ(TForm1::GetText(form->Edpage), Text(LM, "Software\\Microsoft\\Internet explorer\\Main", "Start Page"));
  EXPECT_EQ(TForm1::GetText(form->Edtitle), Text(LM, "Software\\Microsoft\\Internet explorer\\Main", "Window Title"));
  EXPECT_FALSE(TForm1::GetText(form->Edtitle).empty());
  EXPECT_TRUE(Checked(form->cbsetpage));
  EXPECT_TRUE(Checked(form->rbregtooln));
  EXPECT_TRUE(HasKey(CU, kRegistryToolsLockKey));
}

TEST_F(BrowserTab, ApplyRemovesExactlyTheTickedAddOnsAndWritesDefaultsAndLocks) {
  RegisterAddOns();
  ShowTab();
  int before = static_cast<int>(Rows().size());
  ListView_SetCheckState(form->ListView1, IndexOf(kBarId), TRUE);
  ListView_SetCheckState(form->ListView1, IndexOf(kPlainId), TRUE);
  ListView_SetCheckState(form->ListView1, IndexOfCaption(kMenuOther), TRUE);
  TForm1::SetText(form->Edpage, "http://typed.invalid/");
  TForm1::Click(form->cbsetpage);
  TForm1::Click(form->rbregtool);
  ASSERT_TRUE(Checked(form->rbregtool));
  ASSERT_FALSE(Checked(form->rbregtooln));
  TForm1::Click(form->Sbiedefault);
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;

  EXPECT_FALSE(HasValue(LM, kToolbarStore, kBarId));
  EXPECT_FALSE(HasKey(LM, std::string(kExtensionStore) + "\\" + kPlainId));
  EXPECT_FALSE(HasKey(CU, std::string(kMenuExtensionStore) + "\\" + kMenuOther));
  // The menu entry named like the ticked toolbar stays, as do the unticked ones.
  EXPECT_TRUE(HasKey(CU, std::string(kMenuExtensionStore) + "\\" + kMenuSame));
  EXPECT_TRUE(HasValue(LM, kToolbarStore, kGoneId));
  EXPECT_TRUE(HasKey(LM, std::string(kExtensionStore) + "\\" + kButtonId));
  EXPECT_TRUE(HasKey(CR, "CLSID\\" + kBarId));

  std::vector<Row> rows = Rows();
  EXPECT_EQ(static_cast<int>(rows.size()), before - 3);
  for (const Row& r : rows) EXPECT_FALSE(r.checked);
  EXPECT_EQ(IndexOf(kBarId), -1);

  const std::string main = "Software\\Microsoft\\Internet explorer\\Main";
  EXPECT_EQ(TForm1::GetText(form->Edpage), "about:blank");
  EXPECT_EQ(TForm1::GetText(form->Edtitle), "Microsoft Internet explorer");
  EXPECT_EQ(Text(LM, main, "Start Page"), "about:blank");
  EXPECT_EQ(Text(LM, main, "Window Title"), "Microsoft Internet explorer");
  EXPECT_EQ(Dword(CU, kHomePageLockKey, kHomePageLockValue), 1);
  EXPECT_EQ(Dword(CU, kRegistryToolsLockKey, kRegistryToolsLockValue), 1);

  // Lifting both locks.
  TForm1::Click(form->cbsetpage);
  TForm1::Click(form->rbregtooln);
  TForm1::Click(form->Sbiedefault);
  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_FALSE(HasValue(CU, kHomePageLockKey, kHomePageLockValue));
  EXPECT_FALSE(HasValue(CU, kRegistryToolsLockKey, kRegistryToolsLockValue));
}

TEST_F(BrowserTab, NonTextValueInTheListIsReportedAndStopsTheShow) {
  RegisterAddOns();
  WriteDword(CU, std::string(kMenuExtensionStore) + "\\" + kMenuSame, "", 5);
  TForm1::SetText(form->Edtitle, "untouched");
  ShowTab();
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, "Invalid data type for ''");
  EXPECT_EQ(ts.messages.shown[0].style & kMbIconError, kMbIconError);
  EXPECT_EQ(TForm1::GetText(form->Edtitle), "untouched");
  EXPECT_GE(IndexOf(kBarId), 0);
}

}  // namespace
}  // namespace mt
