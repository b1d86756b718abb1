// The "IE修复" page end to end under Wine: a real Main window over the prefix's registry and
// the real shell icons and short paths, driven through the tab and its controls.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <windowsx.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "app/AdminRights.h"
#include "app/Backup.h"
#include "app/BackupSets.h"
#include "app/Change.h"
#include "app/HostsPath.h"
#include "app/Restore.h"
#include "app/Text.h"
#include "app/win/Unit1.h"
#include "browser/BrowserHijacks.h"
#include "browser/BrowserRepair.h"
#include "browser/win/WinShortcuts.h"
#include "app/win/Handles.h"
#include "app/win/WinRegistry.h"
#include "app/win/WinServices.h"
#include "tests/support/StandIns.h"
#include "tests/support/WinMainWindow.h"
#include "tests/support/WinRegedit.h"
#include "browser/win/BrowserPage.h"
#include "tests/support/YesToAll.h"

namespace mt {
namespace {

constexpr RegRoot LM = RegRoot::LocalMachine, CU = RegRoot::CurrentUser, CR = RegRoot::ClassesRoot;
// Names of our own, so that rows the prefix brings along are told apart.
const std::string kBar = "{6D3C1A00-5E1B-4F7A-9C11-00000000B001}";
const std::string kGone = "{6D3C1A00-5E1B-4F7A-9C11-00000000B002}";
const std::string kButton = "{6D3C1A00-5E1B-4F7A-9C11-00000000B003}";
const std::string kSameName = "Mirtak Test Bar";  // the toolbar's name and a menu entry's
const std::string kMenuOnly = "Mirtak Test Menu";
const std::string kExt = std::string("\\") + kExtensionStore + "\\";
const std::string kMenu = std::string("\\") + kMenuExtensionStore + "\\";
const std::string kMain = "\\Software\\Microsoft\\Internet explorer\\Main";

struct Row {
  std::string c1, c2, c3, c4;
  int image;
  bool ticked;
};

class BrowserTab : public test::MainWindowTest {
 protected:
  WinRegistry& registry = real->registry;
  TRegistry reg{registry};
  TRegistry reg32{registry, RegView::Wow32};  // what the 32-bit browser reads
  std::string shell32;

  void SetUp() override {
    wchar_t dir[MAX_PATH] = {};
    ::GetSystemDirectoryW(dir, MAX_PATH);
    shell32 = Narrow(dir, wcslen(dir)) + "\\shell32.dll";
    // The prefix's registry, files and the real shell icons and short paths.
    ts.services.registry = &registry;
    ts.services.files = real->services.files;
    ts.services.icons = real->services.icons;
    // Backups of the apply go to a program folder of the test's own.
    UseOwnProgramFolder("mt-browser program");
    Clean();
    KeepOfferAway();
    OpenForm(Opening::kCreated);
  }
  void TearDown() override {
    MainWindowTest::TearDown();
    Clean();
  }
  void Clean() {
    for (TRegistry* r : {&reg, &reg32}) {
      r->SetRootKey(LM);
      if (r->OpenKey(std::string("\\") + kToolbarStore, false))
        for (auto& id : {kBar, kGone}) r->DeleteValue(id);
      r->DeleteKey(kExt + kButton);
      r->SetRootKey(CR);
      for (auto& id : {kBar, kGone}) r->DeleteKey("\\CLSID\\" + id);
    }
    reg.SetRootKey(CU);
    for (auto& n : {kSameName, kMenuOnly}) reg.DeleteKey(kMenu + n);
    reg.DeleteKey(std::string("\\") + kHomePageLockKey);
    reg.DeleteKey(std::string("\\") + kRegistryToolsLockKey);
  }
  void Put(RegRoot root, const std::string& key, const std::string& name, const std::string& v,
           RegView view = RegView::Native) {
    TRegistry& r = view == RegView::Wow32 ? reg32 : reg;
    r.SetRootKey(root);
    ASSERT_TRUE(r.OpenKey(key, true)) << key;
    r.WriteString(name, v);
  }
  bool Exists(RegRoot root, const std::string& key, const char* value = nullptr) {
    reg.SetRootKey(root);
    if (!value) return reg.KeyExists(key);
    return reg.OpenKey(key, false) && reg.ValueExists(value);
  }
  void Register() {
    Put(LM, std::string("\\") + kToolbarStore, kBar, "");
    Put(CR, "\\CLSID\\" + kBar, "", kSameName);
    Put(CR, "\\CLSID\\" + kBar + "\\InprocServer32", "", shell32);
    Put(LM, std::string("\\") + kToolbarStore, kGone, "");
    Put(CR, "\\CLSID\\" + kGone + "\\InprocServer32", "", "C:\\nowhere\\gone.dll");
    Put(LM, kExt + kButton, "MenuText", "not shown");
    Put(LM, kExt + kButton, "ButtonText", "Mirtak Button");
    Put(LM, kExt + kButton, "HotIcon", shell32 + ",3");
    Put(CU, kMenu + kSameName, "", "res://same.htm");
    Put(CU, kMenu + kMenuOnly, "", "");
  }
  std::vector<Row> Rows() {
    std::vector<Row> out;
    for (int i = 0; i < ListView_GetItemCount(form->Page<BrowserPage>().ListView1); ++i) {
      Row r;
      std::string* cols[] = {&r.c1, &r.c2, &r.c3, &r.c4};
      for (int c = 0; c < 4; ++c) {
        wchar_t buf[512] = {};
        ListView_GetItemText(form->Page<BrowserPage>().ListView1, i, c, buf, 512);
        *cols[c] = Narrow(buf, wcslen(buf));
      }
      LVITEMW item{};
      item.mask = LVIF_IMAGE;
      item.iItem = i;
      ListView_GetItem(form->Page<BrowserPage>().ListView1, &item);
      r.image = item.iImage;
      r.ticked = ListView_GetCheckState(form->Page<BrowserPage>().ListView1, i) != FALSE;
      out.push_back(r);
    }
    return out;
  }
  // Row whose caption or column 2 is `text`; -1 when there is none.
  int Find(const std::string& text, bool byCaption = false) {
    std::vector<Row> rows = Rows();
    for (size_t i = 0; i < rows.size(); ++i)
      if ((byCaption ? rows[i].c1 : rows[i].c2) == text) return static_cast<int>(i);
    return -1;
  }
  void ShowTab() {
    form->SetActivePage(0);
    form->SetActivePage(2);
  }
  bool On(HWND button) { return Button_GetCheck(button) == BST_CHECKED; }
};

TEST_F(BrowserTab, ListsTheRegisteredAddOnsWithNamesIdsPathsAndIcons) {
  Register();
  DWORD ex = ListView_GetExtendedListViewStyle(form->Page<BrowserPage>().ListView1);
  EXPECT_EQ(ex & (LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT),
            DWORD(LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT));
  // Three named columns that share the list's width, leaving the room of a scroll bar (the
  // DPI test below checks them at each DPI).
  {
    HWND list = form->Page<BrowserPage>().ListView1;
    EXPECT_EQ(Header_GetItemCount(ListView_GetHeader(list)), 3);
    RECT client{};
    ::GetClientRect(list, &client);
    int sum = 0;
    for (int i = 0; i < 3; ++i) sum += ListView_GetColumnWidth(list, i);
    EXPECT_EQ(sum, client.right - ::GetSystemMetrics(SM_CXVSCROLL));
  }
  EXPECT_FALSE(On(form->Page<BrowserPage>().rbregtool) ||
               On(form->Page<BrowserPage>().rbregtooln) || On(form->Page<BrowserPage>().cbsetpage));

  ShowTab();
  ASSERT_EQ(form->ActivePageIndex(), 2);
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  std::vector<Row> rows = Rows();
  int bar = Find(kBar), gone = Find(kGone), button = Find(kButton);
  ASSERT_TRUE(bar >= 0 && gone >= 0 && button >= 0);
  int same = Find("res://same.htm");
  ASSERT_GT(same, button);
  ASSERT_GT(button, std::max(bar, gone));

  wchar_t shortForm[256] = {};
  ::GetShortPathNameW(Widen(shell32).c_str(), shortForm, 256);
  EXPECT_EQ(rows[bar].c1, kSameName);
  EXPECT_EQ(rows[bar].c3, Narrow(shortForm, wcslen(shortForm)));
  EXPECT_GE(rows[bar].image, 0);
  EXPECT_EQ(rows[gone].c1 + rows[gone].c3, "");
  EXPECT_EQ(rows[button].c1, "Mirtak Button");
  EXPECT_EQ(rows[button].c3, shell32 + ",3");
  EXPECT_GE(rows[button].image, 0);
  EXPECT_EQ(rows[same].c1, kSameName);
  EXPECT_LT(rows[same].image, 0);  // menu entries carry no icon
  int images = ImageList_GetImageCount(form->ImageList1.get());
  for (const Row& r : rows) EXPECT_TRUE(!r.ticked && r.c4.empty() && r.image < images);

  // The settings side of the same show.
  reg.SetRootKey(LM);
  ASSERT_TRUE(reg.OpenKey(kMain, false));
  EXPECT_EQ(TForm1::GetText(form->Page<BrowserPage>().Edpage), reg.ReadString("Start Page"));
  EXPECT_EQ(TForm1::GetText(form->Page<BrowserPage>().Edtitle), reg.ReadString("Window Title"));
  EXPECT_TRUE(On(form->Page<BrowserPage>().rbregtooln));
}

TEST_F(BrowserTab, AutoRepairRemovesExactlyTheTickedOnesAndWritesDefaultsAndLocks) {
  Register();
  ShowTab();
  size_t before = Rows().size();
  ListView_SetCheckState(form->Page<BrowserPage>().ListView1, Find(kBar), TRUE);
  ListView_SetCheckState(form->Page<BrowserPage>().ListView1, Find(kMenuOnly, true), TRUE);
  TForm1::SetText(form->Page<BrowserPage>().Edpage, "http://typed.invalid/");
  TForm1::Click(form->Page<BrowserPage>().cbsetpage);
  TForm1::Click(form->Page<BrowserPage>().rbregtool);
  ASSERT_FALSE(On(form->Page<BrowserPage>().rbregtooln));
  TForm1::Click(form->Page<BrowserPage>().Sbiedefault);
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;

  EXPECT_FALSE(Exists(LM, std::string("\\") + kToolbarStore, kBar.c_str()));
  EXPECT_FALSE(Exists(CU, kMenu + kMenuOnly));
  EXPECT_TRUE(Exists(CU, kMenu + kSameName));  // same name as the ticked toolbar, unticked
  EXPECT_TRUE(Exists(LM, std::string("\\") + kToolbarStore, kGone.c_str()));
  EXPECT_TRUE(Exists(LM, kExt + kButton));
  EXPECT_EQ(Rows().size(), before - 2);
  EXPECT_EQ(Find(kBar), -1);
  for (const Row& r : Rows()) EXPECT_FALSE(r.ticked);

  EXPECT_EQ(TForm1::GetText(form->Page<BrowserPage>().Edpage), "about:blank");
  reg.SetRootKey(LM);
  ASSERT_TRUE(reg.OpenKey(kMain, false));
  EXPECT_EQ(reg.ReadString("Start Page"), "about:blank");
  EXPECT_EQ(reg.ReadString("Window Title"), "Microsoft Internet explorer");
  reg.SetRootKey(CU);
  ASSERT_TRUE(reg.OpenKey(std::string("\\") + kHomePageLockKey, false));
  EXPECT_EQ(reg.ReadInteger(kHomePageLockValue), 1);
  ASSERT_TRUE(reg.OpenKey(std::string("\\") + kRegistryToolsLockKey, false));
  EXPECT_EQ(reg.ReadInteger(kRegistryToolsLockValue), 1);

  TForm1::Click(form->Page<BrowserPage>().cbsetpage);
  TForm1::Click(form->Page<BrowserPage>().rbregtooln);
  TForm1::Click(form->Page<BrowserPage>().Sbiedefault);
  EXPECT_FALSE(Exists(CU, std::string("\\") + kHomePageLockKey, kHomePageLockValue));
  EXPECT_FALSE(Exists(CU, std::string("\\") + kRegistryToolsLockKey, kRegistryToolsLockValue));
  ShowTab();
  EXPECT_FALSE(On(form->Page<BrowserPage>().rbregtool));
  EXPECT_TRUE(On(form->Page<BrowserPage>().rbregtooln));
}

// A standard user's 自动反修 through the real window: the user's menu extension and lock are
// done; the machine's toolbar and start page stay, and one notice names them.
TEST_F(BrowserTab, WithoutAdministratorRightsTheMachinesPartIsNamedInOneNotice) {
  Register();
  Put(LM, kMain, "Start Page", "http://hijacked.invalid/");
  ShowTab();
  ListView_SetCheckState(form->Page<BrowserPage>().ListView1, Find(kBar), TRUE);
  ListView_SetCheckState(form->Page<BrowserPage>().ListView1, Find(kMenuOnly, true), TRUE);
  TForm1::Click(form->Page<BrowserPage>().rbregtool);
  ts.admin.held = false;
  TForm1::Click(form->Page<BrowserPage>().Sbiedefault);

  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, AdminNeededText({kMachineSettingsItem, kSameName}));
  EXPECT_EQ(ts.messages.shown[0].owner, form->Handle);
  EXPECT_TRUE(Exists(LM, std::string("\\") + kToolbarStore, kBar.c_str()));
  EXPECT_NE(Find(kBar), -1);
  EXPECT_FALSE(Exists(CU, kMenu + kMenuOnly));
  reg.SetRootKey(LM);
  ASSERT_TRUE(reg.OpenKey(kMain, false));
  EXPECT_EQ(reg.ReadString("Start Page"), "http://hijacked.invalid/");
  reg.WriteString("Start Page", kDefaultStartPage);
  reg.SetRootKey(CU);
  ASSERT_TRUE(reg.OpenKey(std::string("\\") + kRegistryToolsLockKey, false));
  EXPECT_EQ(reg.ReadInteger(kRegistryToolsLockValue), 1);
}

TEST_F(BrowserTab, NonTextValueInTheListReachesTheErrorReport) {
  Register();
  reg.SetRootKey(CU);
  ASSERT_TRUE(reg.OpenKey(kMenu + kSameName, false));
  reg.WriteInteger("", 5);
  TForm1::SetText(form->Page<BrowserPage>().Edtitle, "untouched");
  ShowTab();
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, "Invalid data type for ''");
  EXPECT_EQ(TForm1::GetText(form->Page<BrowserPage>().Edtitle), "untouched");
  EXPECT_GE(Find(kButton), 0);
}

TEST_F(BrowserTab, ThirtyTwoBitAddOnsFollowTheNativeOnesAndAreRemovedFromTheirView) {
  Register();
  constexpr RegView W32 = RegView::Wow32;
  Put(LM, std::string("\\") + kToolbarStore, kBar, "", W32);
  Put(CR, "\\CLSID\\" + kBar, "", "Mirtak Test Bar x86", W32);
  Put(CR, "\\CLSID\\" + kBar + "\\InprocServer32", "", shell32, W32);
  Put(LM, kExt + kButton, "ButtonText", "Mirtak Button x86", W32);
  Put(LM, kExt + kButton, "HotIcon", shell32 + ",3", W32);
  // The 32-bit view is the WOW6432Node keys of the native one.
  const std::string toolbars32 = "\\SOFTWARE\\WOW6432Node\\Microsoft\\Internet Explorer\\Toolbar";
  ASSERT_TRUE(Exists(LM, toolbars32, kBar.c_str()));
  ASSERT_TRUE(Exists(CR, "\\WOW6432Node\\CLSID\\" + kBar));

  ShowTab();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  std::vector<Row> rows = Rows();
  int bar = Find(kBar), menu = Find("res://same.htm");
  int bar32 = Find("Mirtak Test Bar x86 (32位)", true);
  int button32 = Find("Mirtak Button x86 (32位)", true);
  ASSERT_TRUE(bar >= 0 && menu >= 0 && bar32 >= 0 && button32 >= 0);
  EXPECT_EQ(rows[bar].c1, kSameName);
  EXPECT_GT(bar32, menu);
  EXPECT_GT(button32, bar32);
  EXPECT_EQ(rows[bar32].c2, kBar);
  EXPECT_EQ(rows[bar32].c3, rows[bar].c3);
  EXPECT_EQ(rows[button32].c2 + " " + rows[button32].c3, kButton + " " + shell32 + ",3");
  EXPECT_GE(rows[bar32].image, 0);
  EXPECT_GE(rows[button32].image, 0);
  EXPECT_EQ(Find(kButton), Find("Mirtak Button", true));  // the native row comes first

  ListView_SetCheckState(form->Page<BrowserPage>().ListView1, bar32, TRUE);
  ListView_SetCheckState(form->Page<BrowserPage>().ListView1, button32, TRUE);
  TForm1::Click(form->Page<BrowserPage>().Sbiedefault);
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  EXPECT_FALSE(Exists(LM, toolbars32, kBar.c_str()));
  EXPECT_FALSE(
      Exists(LM, "\\SOFTWARE\\WOW6432Node\\Microsoft\\Internet Explorer\\Extensions\\" + kButton));
  EXPECT_TRUE(Exists(LM, std::string("\\") + kToolbarStore, kBar.c_str()));
  EXPECT_TRUE(Exists(LM, kExt + kButton));
  EXPECT_TRUE(Exists(CR, "\\WOW6432Node\\CLSID\\" + kBar));
  EXPECT_EQ(Find("Mirtak Test Bar x86 (32位)", true), -1);
  EXPECT_EQ(Find("Mirtak Button x86 (32位)", true), -1);
  EXPECT_GE(Find(kBar), 0);
}

TEST_F(BrowserTab, ExtensionRowWhoseCaptionIsNotTextStaysAndEndsTheShow) {
  Register();
  reg.SetRootKey(LM);
  ASSERT_TRUE(reg.OpenKey(kExt + kButton, false));
  reg.WriteInteger("ButtonText", 3);
  TForm1::SetText(form->Page<BrowserPage>().Edtitle, "untouched");
  ShowTab();
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, "Invalid data type for 'ButtonText'");
  EXPECT_EQ(TForm1::GetText(form->Page<BrowserPage>().Edtitle), "untouched");
  // The row was added before its caption was read; nothing after it was listed.
  std::vector<Row> rows = Rows();
  ASSERT_FALSE(rows.empty());
  const Row& last = rows.back();
  EXPECT_EQ(last.c1 + last.c2 + last.c3 + last.c4, "");
  EXPECT_LT(last.image, 0);
  EXPECT_GE(Find(kBar), 0);
  EXPECT_EQ(Find("res://same.htm"), -1);
  // The list paints again after the failed show.
  EXPECT_TRUE(::GetWindowLongPtrW(form->Page<BrowserPage>().ListView1, GWL_STYLE) & WS_VISIBLE);
}

TEST_F(BrowserTab, RemovedAddOnsComeBackFromTheBackupSetOfTheApply) {
  Register();
  constexpr RegView W32 = RegView::Wow32;
  Put(LM, std::string("\\") + kToolbarStore, kBar, "", W32);
  Put(CR, "\\CLSID\\" + kBar, "", "Mirtak Test Bar x86", W32);
  Put(LM, kExt + kButton, "ButtonText", "Mirtak Button x86", W32);
  Put(LM, kExt + kButton + "\\Sub", "Deep", "d", W32);
  const std::string toolbars32 = "\\SOFTWARE\\WOW6432Node\\Microsoft\\Internet Explorer\\Toolbar";
  const std::string button32 =
      "\\SOFTWARE\\WOW6432Node\\Microsoft\\Internet Explorer\\Extensions\\" + kButton;
  ShowTab();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  for (const std::string& caption :
       {std::string("Mirtak Test Bar x86 (32位)"), std::string("Mirtak Button x86 (32位)")}) {
    int row = Find(caption, true);
    ASSERT_GE(row, 0) << caption;
    ListView_SetCheckState(form->Page<BrowserPage>().ListView1, row, TRUE);
  }
  int menu = Find("res://same.htm");
  ASSERT_GE(menu, 0);
  ListView_SetCheckState(form->Page<BrowserPage>().ListView1, menu, TRUE);
  TForm1::Click(form->Page<BrowserPage>().Sbiedefault);
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  ASSERT_FALSE(Exists(LM, toolbars32, kBar.c_str()));
  ASSERT_FALSE(Exists(LM, button32));
  ASSERT_FALSE(Exists(CU, kMenu + kSameName));

  std::vector<FindEntry> sets = real->files.Find(BackupRoot(ts.services.exeDir), "*");
  ASSERT_EQ(sets.size(), 1u);
  ASSERT_EQ(test::ImportWithRegedit(BackupRoot(ts.services.exeDir) + "\\" + sets[0].name + "\\" +
                                    kBackupRegFileName),
            0u);
  EXPECT_TRUE(Exists(LM, toolbars32, kBar.c_str()));
  reg.SetRootKey(LM);
  ASSERT_TRUE(reg.OpenKey(button32, false));
  EXPECT_EQ(reg.ReadString("ButtonText"), "Mirtak Button x86");
  ASSERT_TRUE(reg.OpenKey(button32 + "\\Sub", false));
  EXPECT_EQ(reg.ReadString("Deep"), "d");
  reg.SetRootKey(CU);
  ASSERT_TRUE(reg.OpenKey(kMenu + kSameName, false));
  EXPECT_EQ(reg.ReadString(""), "res://same.htm");
  reg.CloseKey();
}

// The platform's shortcut files, with the folders of this test in place of the user's.
class TestFolderShortcuts : public WinShortcuts {
 public:
  std::vector<ShortcutFolder> Folders() override { return folders; }
  std::vector<ShortcutFolder> folders;
};

// Makes a shortcut file with the shell's link object.
bool MakeLink(const std::string& path, const std::string& target, const std::string& args) {
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ComPtr<IShellLinkW> link;
  ComPtr<IPersistFile> file;
  return SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkW, link.put_void())) &&
         SUCCEEDED(link->SetPath(Widen(target).c_str())) &&
         SUCCEEDED(link->SetArguments(Widen(args).c_str())) &&
         SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.put_void())) &&
         SUCCEEDED(file->Save(Widen(path).c_str(), TRUE));
}

std::string FileBytes(const std::string& path) {
  std::string bytes;
  HANDLE h = ::CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return bytes;
  char buf[4096];
  DWORD got = 0;
  while (::ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) bytes.append(buf, got);
  ::CloseHandle(h);
  return bytes;
}

using RestoreAll = test::YesToAll;

class BrowserHijackTab : public BrowserTab {
 protected:
  const std::string kFake = "FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF";
  const std::string kForce = "\\SOFTWARE\\Policies\\Google\\Chrome\\ExtensionInstallForcelist";
  const std::string kEdgePolicy = "\\SOFTWARE\\Policies\\Microsoft\\Edge";
  const std::string kEdgeAppPath =
      "\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\msedge.exe";
  const std::string kChromeAppPath =
      "\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\chrome.exe";
  // An external-extension key of our own id.
  const std::string kExtKey =
      "\\SOFTWARE\\Google\\Chrome\\Extensions\\mtmtmtmtmtmtmtmtmtmtmtmtmtmtmtmt";
  TestFolderShortcuts links;
  std::string folder;

  void SetUp() override {
    wchar_t temp[MAX_PATH] = L"";
    ::GetTempPathW(MAX_PATH, temp);
    folder = Narrow(std::wstring(temp)) + "mt-browser links " +
             std::to_string(::GetCurrentProcessId());
    std::filesystem::create_directories(std::filesystem::path(Widen(folder)));
    links.folders = {{ShortcutPlace::Desktop, folder, false}};
    ts.services.shortcuts = &links;
    CleanHijacks();
    BrowserTab::SetUp();
  }
  void TearDown() override {
    BrowserTab::TearDown();
    CleanHijacks();
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::path(Widen(folder)), ec);
  }
  // Every item of the one backup set the test's repair wrote, put back through RestoreItems:
  // the set must be whole and nothing refused.
  RestoreReport RestoreTheOnlySet() {
    const ChangeEnv env = ChangeEnvOf(ts.services);
    std::vector<FindEntry> sets = real->files.Find(BackupRoot(ts.services.exeDir), "*");
    [&] { ASSERT_EQ(sets.size(), 1u); }();
    if (sets.size() != 1) return {};
    const BackupSetInfo set = ReadBackupSet(env, ChangeKinds::Basic(),
                                            BackupRoot(ts.services.exeDir) + "\\" + sets[0].name);
    [&] { ASSERT_TRUE(set.damage.empty()) << set.damage; }();
    std::vector<size_t> all;
    for (size_t i = 0; i < set.items.size(); ++i) all.push_back(i);
    RestoreAll yes;
    RestoreReport report = RestoreItems(env, ts.services.exeDir, set, all, yes);
    [&] { ASSERT_TRUE(report.refused.empty()) << report.refused; }();
    return report;
  }
  void CleanHijacks() {
    reg.SetRootKey(LM);
    reg.DeleteKey(kForce);
    reg.DeleteKey(kExtKey);
    reg.DeleteKey(std::string("\\") + kEnrollmentsKey + "\\" + kFake);
    reg.DeleteKey(std::string("\\") + kOmadmAccountsKey + "\\" + kFake);
    reg.SetRootKey(CU);
    if (reg.OpenKey(kEdgePolicy, false)) reg.DeleteValue("HomepageLocation");
    reg.CloseKey();
    reg.DeleteKey(kEdgeAppPath);
    reg.DeleteKey(kChromeAppPath);
  }
  void TickRow(const std::string& captionStart) {
    std::vector<Row> rows = Rows();
    for (size_t i = 0; i < rows.size(); ++i)
      if (rows[i].c1.rfind(captionStart, 0) == 0) {
        ListView_SetCheckState(form->Page<BrowserPage>().ListView1, static_cast<int>(i), TRUE);
        return;
      }
    ADD_FAILURE() << "no row " << captionStart;
  }
  std::string StartPage(RegView view) {
    TRegistry r(registry, view);
    r.SetRootKey(LM);
    return r.OpenKey(kMain, false) ? r.ReadString("Start Page") : "(none)";
  }
};

TEST_F(BrowserHijackTab, RepairsTheTickedFindingsAndTheBackupRestoresTheMachine) {
  const std::string edge = folder + "\\msedge.exe";
  { std::ofstream(std::filesystem::path(Widen(edge))) << "MZ"; }
  Put(CU, kEdgeAppPath, "", edge);
  const std::string chrome = folder + "\\chrome.exe";
  { std::ofstream(std::filesystem::path(Widen(chrome))) << "MZ"; }
  Put(CU, kChromeAppPath, "", chrome);
  Put(CU, kEdgePolicy, "HomepageLocation", "http://hijack.invalid/home");
  Put(LM, kForce, "1", "abcdefghijklmnopabcdefghijklmnop;https://hijack.invalid/u");
  Put(LM, kExtKey, "update_url", "https://hijack.invalid/update.xml");
  reg.SetRootKey(LM);
  ASSERT_TRUE(reg.OpenKey(std::string("\\") + kEnrollmentsKey + "\\" + kFake, true));
  reg.WriteInteger("EnrollmentState", 1);
  ASSERT_TRUE(reg.OpenKey(std::string("\\") + kOmadmAccountsKey + "\\" + kFake, true));
  reg.WriteString("ProtoVer", "1.2");
  reg.CloseKey();
  const std::string edgeLnk = folder + "\\Microsoft Edge.lnk";
  const std::string foxLnk = folder + "\\Firefox.lnk";
  const std::string chromeLnk = folder + "\\Google Chrome.lnk";
  ASSERT_TRUE(MakeLink(edgeLnk, edge, "--profile-directory=Default http://hijack.invalid/e"));
  ASSERT_TRUE(MakeLink(chromeLnk, chrome, "http://hijack.invalid/c"));
  ASSERT_TRUE(MakeLink(foxLnk, folder + "\\open.bat", ""));
  const std::string edgeBytes = FileBytes(edgeLnk), foxBytes = FileBytes(foxLnk);
  const std::string chromeBytes = FileBytes(chromeLnk);

  ShowTab();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  TickRow("Edge 主页（策略）：http://hijack.invalid/home");
  TickRow("Chrome 强制安装的扩展（策略）：abcdefghijklmnop");
  TickRow("设备管理注册（无管理服务器，使浏览器策略生效）：" + kFake);
  TickRow(
      "Chrome 外部扩展（注册表）：mtmtmtmtmtmtmtmtmtmtmtmtmtmtmtmt 更新地址 "
      "https://hijack.invalid/update.xml");
  TickRow("桌面快捷方式 Microsoft Edge.lnk 附加网址 http://hijack.invalid/e");
  TickRow("桌面快捷方式 Firefox.lnk 目标不是Firefox");
  TickRow("桌面快捷方式 Google Chrome.lnk 附加网址 http://hijack.invalid/c");
  const std::string page64 = StartPage(RegView::Native), page32 = StartPage(RegView::Wow32);
  TForm1::Click(form->Page<BrowserPage>().Sbiedefault);
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;

  EXPECT_FALSE(Exists(CU, kEdgePolicy, "HomepageLocation"));
  EXPECT_FALSE(Exists(LM, kForce));
  EXPECT_FALSE(Exists(LM, kExtKey));
  EXPECT_FALSE(Exists(LM, std::string("\\") + kEnrollmentsKey + "\\" + kFake));
  EXPECT_FALSE(Exists(LM, std::string("\\") + kOmadmAccountsKey + "\\" + kFake));
  ShellLinkData now = links.Read(edgeLnk);
  EXPECT_EQ(now.arguments, "--profile-directory=Default");
  EXPECT_EQ(now.target, edge);
  ShellLinkData chromeNow = links.Read(chromeLnk);
  EXPECT_EQ(chromeNow.arguments, "");
  EXPECT_EQ(chromeNow.target, chrome);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(Widen(foxLnk))));
  for (const Row& r : Rows()) EXPECT_EQ(r.c1.find("hijack.invalid"), std::string::npos) << r.c1;

  // The set brings back every value and key, and its copies every byte of the shortcuts.
  std::vector<FindEntry> sets = real->files.Find(BackupRoot(ts.services.exeDir), "*");
  ASSERT_EQ(sets.size(), 1u);
  const std::string set = BackupRoot(ts.services.exeDir) + "\\" + sets[0].name;
  ASSERT_EQ(test::ImportWithRegedit(set + "\\" + kBackupRegFileName), 0u);
  // A copy was refused once, in a loaded run: another process of the prefix (its desktop
  // window shows the desktop's shortcuts) may hold a changed shortcut open for a moment. A
  // copy refused for sharing or access is tried again for up to 5 s; the error is named.
  for (const char* name : {"Microsoft Edge.lnk", "Firefox.lnk", "Google Chrome.lnk"}) {
    DWORD error = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
      if (::CopyFileW(Widen(set + "\\" + name).c_str(), Widen(folder + "\\" + name).c_str(),
                      FALSE)) {
        error = 0;
        break;
      }
      error = ::GetLastError();
      if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION &&
          error != ERROR_ACCESS_DENIED)
        break;
      ::Sleep(50);
    }
    ASSERT_EQ(error, 0u) << name << ": " << SystemErrorText(error);
  }
  EXPECT_EQ(FileBytes(edgeLnk), edgeBytes);
  EXPECT_EQ(FileBytes(foxLnk), foxBytes);
  EXPECT_EQ(FileBytes(chromeLnk), chromeBytes);
  reg.SetRootKey(CU);
  ASSERT_TRUE(reg.OpenKey(kEdgePolicy, false));
  EXPECT_EQ(reg.ReadString("HomepageLocation"), "http://hijack.invalid/home");
  reg.SetRootKey(LM);
  ASSERT_TRUE(reg.OpenKey(kForce, false));
  EXPECT_EQ(reg.ReadString("1"), "abcdefghijklmnopabcdefghijklmnop;https://hijack.invalid/u");
  ASSERT_TRUE(reg.OpenKey(kExtKey, false));
  EXPECT_EQ(reg.ReadString("update_url"), "https://hijack.invalid/update.xml");
  ASSERT_TRUE(reg.OpenKey(std::string("\\") + kEnrollmentsKey + "\\" + kFake, false));
  EXPECT_EQ(reg.ReadInteger("EnrollmentState"), 1);
  ASSERT_TRUE(reg.OpenKey(std::string("\\") + kOmadmAccountsKey + "\\" + kFake, false));
  EXPECT_EQ(reg.ReadString("ProtoVer"), "1.2");
  reg.CloseKey();
  EXPECT_EQ(StartPage(RegView::Native), page64);
  EXPECT_EQ(StartPage(RegView::Wow32), page32);
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(Widen(path)).parent_path());
  std::ofstream(std::filesystem::path(Widen(path)), std::ios::binary) << bytes;
}

// A hijacked Edge profile and a clean one in a local application data folder of the test's
// own: only the hijacked one is listed, the repair takes out the home page and its integrity
// entries in the file and the registry, and the set's restore brings back every byte.
TEST_F(BrowserHijackTab, ChromiumProfileHomePageIsRepairedAndRestored) {
  const std::string local = folder + "\\Local";
  const std::string userData = local + "\\Microsoft\\Edge\\User Data";
  const std::string macs = "\\Software\\Microsoft\\Edge\\PreferenceMACs\\Default";
  ts.services.localAppData = local;
  ts.services.fileRoots.userFolders = {local};
  WriteBytes(userData + "\\Local State",
             R"({"profile":{"info_cache":{"Default":{"name":"P1"},"Profile 1":{"name":"P2"}}}})");
  const std::string hijacked =
      R"({"homepage":"http://hijack.invalid/p","big":13359911149064621,"session":)"
      R"({"restore_on_startup":4,"startup_urls":["http://hijack.invalid/s"]},"protection":)"
      R"({"macs":{"homepage":"AB","session":{"restore_on_startup":"RS","startup_urls":"CD"}}}})";
  const std::string clean = R"({"homepage":"https://www.bing.com/","protection":{"macs":{}}})";
  WriteBytes(userData + "\\Default\\Secure Preferences", hijacked);
  WriteBytes(userData + "\\Profile 1\\Secure Preferences", clean);
  Put(CU, macs, "homepage", "REGMAC");
  Put(CU, macs, "session.startup_urls", "SU");
  Put(CU, macs, "session.restore_on_startup", "KEEP");

  ShowTab();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  std::vector<std::string> edgeRows;
  for (const Row& r : Rows())
    if (r.c1.rfind("Edge ", 0) == 0) edgeRows.push_back(r.c1);
  const std::vector<std::string> want = {"Edge 主页（配置 P1）：http://hijack.invalid/p",
                                         "Edge 启动页（配置 P1）：http://hijack.invalid/s"};
  EXPECT_EQ(edgeRows, want);
  // Two rows of one profile: the set saves its file for each, and the restore brings back
  // the one state before.
  TickRow("Edge 主页（配置 P1）");
  TickRow("Edge 启动页（配置 P1）");
  TForm1::Click(form->Page<BrowserPage>().Sbiedefault);
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;

  EXPECT_EQ(FileBytes(userData + "\\Default\\Secure Preferences"),
            R"({"big":13359911149064621,"session":{"restore_on_startup":4},"protection":)"
            R"({"macs":{"session":{"restore_on_startup":"RS"}}}})");
  EXPECT_EQ(FileBytes(userData + "\\Profile 1\\Secure Preferences"), clean);
  EXPECT_FALSE(Exists(CU, macs, "homepage"));
  EXPECT_FALSE(Exists(CU, macs, "session.startup_urls"));
  EXPECT_TRUE(Exists(CU, macs, "session.restore_on_startup"));

  const RestoreReport report = RestoreTheOnlySet();
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_EQ(FileBytes(userData + "\\Default\\Secure Preferences"), hijacked);
  reg.SetRootKey(CU);
  ASSERT_TRUE(reg.OpenKey(macs, false));
  EXPECT_EQ(reg.ReadString("homepage"), "REGMAC");
  EXPECT_EQ(reg.ReadString("session.startup_urls"), "SU");
  // Only the test's own values go again.
  for (const char* name : {"homepage", "session.startup_urls", "session.restore_on_startup"})
    reg.DeleteValue(name);
  reg.CloseKey();
}

// A Firefox profile whose user.js sets a foreign home page, in a roaming folder of the test's
// own: listed with the file, its line taken out through the tab with every other byte kept,
// and the set's restore brings back the file as it was.
TEST_F(BrowserHijackTab, FirefoxUserJsHomePageIsRepairedAndRestored) {
  const std::string roaming = folder + "\\Roaming";
  const std::string profile = roaming + "\\Mozilla\\Firefox\\Profiles\\t.default";
  ts.services.roamingAppData = roaming;
  ts.services.fileRoots.userFolders = {roaming};
  WriteBytes(roaming + "\\Mozilla\\Firefox\\profiles.ini",
             "[Profile0]\r\nName=T\r\nIsRelative=1\r\nPath=Profiles/t.default\r\n");
  const std::string hijacked =
      "// written by someone\r\n"
      "user_pref(\"browser.startup.homepage\", \"http://hijack.invalid/ff\");\r\n"
      "user_pref(\"browser.startup.page\", 1);\r\n";
  WriteBytes(profile + "\\user.js", hijacked);

  ShowTab();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  std::vector<std::string> firefoxRows;
  for (const Row& r : Rows())
    if (r.c1.rfind("Firefox ", 0) == 0) firefoxRows.push_back(r.c1 + " | " + r.c2);
  const std::vector<std::string> want = {
      "Firefox 主页（配置 T，user.js 每次启动时写入）：http://hijack.invalid/ff | " + profile +
      "\\user.js"};
  EXPECT_EQ(firefoxRows, want);
  TickRow("Firefox 主页（配置 T");
  TForm1::Click(form->Page<BrowserPage>().Sbiedefault);
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  EXPECT_EQ(FileBytes(profile + "\\user.js"),
            "// written by someone\r\nuser_pref(\"browser.startup.page\", 1);\r\n");

  const RestoreReport report = RestoreTheOnlySet();
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_EQ(FileBytes(profile + "\\user.js"), hijacked);
}

// The prefix's hosts file and the user's proxy values as they were when it was made, put back
// when it goes, whatever the test did.
struct KeepHostsAndProxy {
  RegistryBackend* registry;
  std::wstring path;
  DWORD attributes;
  std::string bytes;
  std::vector<std::pair<std::string, std::optional<RawRegValue>>> values;
  KeepHostsAndProxy(RegistryBackend& r, const std::string& hosts)
      : registry(&r),
        path(Widen(hosts)),
        attributes(::GetFileAttributesW(path.c_str())),
        bytes(FileBytes(hosts)) {
    if (auto key = r.Open(CU, nullptr, kInternetSettingsKey, true))
      for (const char* name : {"ProxyEnable", "ProxyServer", "AutoConfigURL", "ProxyOverride"})
        values.emplace_back(name, r.QueryRaw(*key, name));
  }
  ~KeepHostsAndProxy() {
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      ::DeleteFileW(path.c_str());
    } else {
      WriteBytes(Narrow(path), bytes);
      ::SetFileAttributesW(path.c_str(), attributes);
    }
    auto key = registry->Open(CU, nullptr, kInternetSettingsKey, true);
    for (const auto& [name, raw] : values) {
      if (!key) break;
      if (raw) registry->SetRaw(*key, name, *raw);
      else registry->DeleteValue(*key, name);
    }
  }
};

// A seeded hosts file (read-only, GBK comment, mixed line ends, no final line end) in the
// prefix's system32\drivers\etc and a proxy of the current user: the ticked lines and the
// proxy go, every other byte and value stays, the file stays read-only, and the set's restore
// brings back the file's bytes and mark and the proxy values exactly.
TEST_F(BrowserHijackTab, HostsLinesAndTheUserProxyAreRepairedAndRestoredExactly) {
  const std::string hosts = HostsFilePath(registry, WinEnvironmentVariable);
  wchar_t system[MAX_PATH] = {};
  ::GetSystemDirectoryW(system, MAX_PATH);
  EXPECT_TRUE(EqualsNoCase(hosts, Narrow(std::wstring(system)) + "\\drivers\\etc\\hosts")) << hosts;
  // The program's own places let a set name the file.
  EXPECT_TRUE(FilePlaceAllowed(real->services.fileRoots, hosts));
  ts.services.environment = real->services.environment;
  ts.services.fileRoots = real->services.fileRoots;

  // The prefix's own file and proxy values come back whatever the test does.
  const std::wstring wideHosts = Widen(hosts);
  KeepHostsAndProxy keep(registry, hosts);
  ASSERT_EQ(keep.values.size(), 4u);

  const std::string gbk = "# \xB0\xD9\xB6\xC8\r\n";
  const std::string seeded = "# mt test\r\n" + gbk +
                             "127.0.0.1 localhost\r\n"
                             "1.2.3.4 www.baidu.com\n"
                             "0.0.0.0 update.microsoft.com\r\n"
                             "10.0.0.9 nas.lan www.google.com\r\n"
                             "::1 localhost";
  WriteBytes(hosts, seeded);
  ASSERT_TRUE(::SetFileAttributesW(wideHosts.c_str(), FILE_ATTRIBUTE_READONLY));
  Put(CU, "\\" + std::string(kInternetSettingsKey), "ProxyServer", "10.9.8.7:3128");
  Put(CU, "\\" + std::string(kInternetSettingsKey), "AutoConfigURL",
      "http://pac.hijack.invalid/p.pac");
  Put(CU, "\\" + std::string(kInternetSettingsKey), "ProxyOverride", "<local>");
  reg.SetRootKey(CU);
  ASSERT_TRUE(reg.OpenKey("\\" + std::string(kInternetSettingsKey), false));
  reg.WriteInteger("ProxyEnable", 1);
  reg.CloseKey();

  ShowTab();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  std::vector<std::string> found;
  for (const Row& r : Rows())
    if (r.c1.rfind("hosts ", 0) == 0 || r.c1.find("（当前用户）") != std::string::npos)
      found.push_back(r.c1);
  const std::vector<std::string> want = {
      "系统代理（当前用户）：10.9.8.7:3128（请确认是否是您自己设置的）",
      "代理自动配置脚本（当前用户）：http://pac.hijack.invalid/p.pac（请确认是否是您自己设置的）",
      "hosts 重定向（搜索引擎）：www.baidu.com → 1.2.3.4",
      "hosts 屏蔽（系统更新，可能是您自己添加的）：update.microsoft.com → 0.0.0.0",
      "hosts 重定向（搜索引擎）：www.google.com → 10.0.0.9（此行另有 1 个名称，保留）",
  };
  EXPECT_EQ(found, want);
  TickRow(want[0]);
  TickRow(want[1]);
  TickRow(want[2]);
  TickRow(want[4]);
  TForm1::Click(form->Page<BrowserPage>().Sbiedefault);
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;

  EXPECT_EQ(FileBytes(hosts), "# mt test\r\n" + gbk +
                                  "127.0.0.1 localhost\r\n"
                                  "0.0.0.0 update.microsoft.com\r\n"
                                  "10.0.0.9 nas.lan\r\n"
                                  "::1 localhost");
  EXPECT_NE(::GetFileAttributesW(wideHosts.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  reg.SetRootKey(CU);
  ASSERT_TRUE(reg.OpenKey("\\" + std::string(kInternetSettingsKey), false));
  EXPECT_EQ(reg.ReadInteger("ProxyEnable"), 0);
  EXPECT_FALSE(reg.ValueExists("ProxyServer"));
  EXPECT_FALSE(reg.ValueExists("AutoConfigURL"));
  EXPECT_EQ(reg.ReadString("ProxyOverride"), "<local>");
  reg.CloseKey();

  const RestoreReport report = RestoreTheOnlySet();
  ASSERT_FALSE(HasFatalFailure());
  for (const RestoreOutcome& o : report.items) EXPECT_TRUE(o.back) << o.place << o.reason;
  EXPECT_EQ(FileBytes(hosts), seeded);
  EXPECT_NE(::GetFileAttributesW(wideHosts.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  reg.SetRootKey(CU);
  ASSERT_TRUE(reg.OpenKey("\\" + std::string(kInternetSettingsKey), false));
  auto enable = registry.Query(*registry.Open(CU, nullptr, kInternetSettingsKey, false),
                               "ProxyEnable");
  ASSERT_TRUE(enable);
  EXPECT_EQ(enable->type, RegDataType::Integer);
  EXPECT_EQ(enable->dword, 1u);
  EXPECT_EQ(reg.ReadString("ProxyServer"), "10.9.8.7:3128");
  EXPECT_EQ(reg.ReadString("AutoConfigURL"), "http://pac.hijack.invalid/p.pac");
  reg.CloseKey();
}

// Quick Launch and the taskbar pins, where the shell keeps them for the user (below the
// roaming application data when the system does not name the Quick Launch folder itself, as
// under Wine): a hijacked shortcut in each is listed and repaired through the tab.
TEST_F(BrowserHijackTab, QuickLaunchAndTaskbarPinsAreListedAndRepaired) {
  std::vector<ShortcutFolder> shellFolders = WinShortcuts().Folders();
  std::string quick, pinned;
  for (const ShortcutFolder& f : shellFolders) {
    if (f.place == ShortcutPlace::QuickLaunch) quick = f.path;
    if (f.place == ShortcutPlace::TaskBar) pinned = f.path;
  }
  UniqueCoTaskMemString roaming;
  ASSERT_TRUE(
      SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, roaming.put())));
  const std::string expected = Narrow(roaming.get(), wcslen(roaming.get())) +
                               "\\Microsoft\\Internet Explorer\\Quick Launch";
  EXPECT_TRUE(EqualsNoCase(quick, expected)) << quick;
  EXPECT_TRUE(EqualsNoCase(pinned, expected + "\\User Pinned\\TaskBar")) << pinned;
  ASSERT_FALSE(quick.empty());
  ASSERT_FALSE(pinned.empty());
  std::filesystem::create_directories(std::filesystem::path(Widen(pinned)));
  links.folders = shellFolders;

  const std::string chrome = folder + "\\chrome.exe";
  { std::ofstream(std::filesystem::path(Widen(chrome))) << "MZ"; }
  Put(CU, kChromeAppPath, "", chrome);
  const std::string foxName = "Firefox (mt).lnk";
  const std::string fox = quick + "\\" + foxName;
  const std::string pin = pinned + "\\Google Chrome (mt).lnk";
  ASSERT_TRUE(MakeLink(fox, folder + "\\open.bat", ""));
  ASSERT_TRUE(MakeLink(pin, chrome, "--profile-directory=Default http://hijack.invalid/pin"));
  const std::string broken = quick + "\\broken (mt).lnk";
  { std::ofstream(std::filesystem::path(Widen(broken))) << "not a shortcut"; }
  struct Cleanup {
    std::vector<std::string> files;
    ~Cleanup() {
      for (const std::string& f : files) ::DeleteFileW(Widen(f).c_str());
    }
  } cleanup{{fox, pin, broken}};

  ShowTab();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  // A file the shell cannot read as a shortcut is named in the program's words.
  EXPECT_GE(Find("快速启动快捷方式 broken (mt).lnk 无法读取：文件内容不是有效的快捷方式", true), 0);
  TickRow("快速启动快捷方式 " + foxName + " 目标不是Firefox");
  TickRow("任务栏快捷方式 Google Chrome (mt).lnk 附加网址 http://hijack.invalid/pin");
  TForm1::Click(form->Page<BrowserPage>().Sbiedefault);
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(Widen(fox))));
  const ShellLinkData now = links.Read(pin);
  EXPECT_EQ(now.arguments, "--profile-directory=Default");
  EXPECT_EQ(now.target, chrome);
  for (const Row& r : Rows()) {
    EXPECT_EQ(r.c1.find(foxName), std::string::npos) << r.c1;
    EXPECT_EQ(r.c1.find("Google Chrome (mt).lnk"), std::string::npos) << r.c1;
  }
}

// The list reads without widening it at 96, 120 and 144 DPI: every column has its header,
// the columns share the list's width with each header whole, and hovering a row shows its
// whole caption, its place and its repair (the tip the list asks its parent for).
TEST_F(BrowserHijackTab, ColumnsFitTheListAndTheTipShowsTheWholeRowAtEveryDpi) {
  const std::string home = "http://hijack.invalid/" + std::string(150, 'a');
  Put(CU, kEdgePolicy, "HomepageLocation", home);
  ShowTab();
  HWND list = form->Page<BrowserPage>().ListView1;
  int row = -1;
  std::vector<Row> rows = Rows();
  for (size_t i = 0; i < rows.size(); ++i)
    if (rows[i].c1 == "Edge 主页（策略）：" + home) row = static_cast<int>(i);
  ASSERT_GE(row, 0);
  EXPECT_NE(ListView_GetExtendedListViewStyle(list) & LVS_EX_INFOTIP, 0u);
  for (UINT dpi : {96u, 120u, 144u}) {
    SCOPED_TRACE(dpi);
    RECT suggested{};
    ::GetWindowRect(form->Handle, &suggested);
    ::SendMessageW(form->Handle, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                   reinterpret_cast<LPARAM>(&suggested));
    ASSERT_EQ(form->Dpi(), dpi);
    HWND header = ListView_GetHeader(list);
    ASSERT_EQ(Header_GetItemCount(header), 3);
    RECT client{};
    ::GetClientRect(list, &client);
    RECT outer{};
    ::GetWindowRect(list, &outer);
    EXPECT_EQ(outer.right - outer.left, form->Scale(296));
    int sum = 0;
    for (int c = 0; c < 3; ++c) {
      wchar_t text[64] = L"";
      HDITEMW item{};
      item.mask = HDI_TEXT;
      item.pszText = text;
      item.cchTextMax = 64;
      ASSERT_TRUE(Header_GetItem(header, c, &item));
      EXPECT_EQ(Narrow(text, wcslen(text)), kAddOnColumns[c]);
      const int width = ListView_GetColumnWidth(list, c);
      EXPECT_GE(width, ListView_GetStringWidth(list, text) + form->Scale(12)) << c;
      sum += width;
    }
    // All of them inside the list, leaving only the room a scroll bar takes.
    EXPECT_LE(sum, client.right);
    EXPECT_GE(sum, client.right - ::GetSystemMetrics(SM_CXVSCROLL) - 1);
    EXPECT_GT(ListView_GetColumnWidth(list, 0), sum / 3);  // the caption gets the most

    wchar_t tip[2048] = L"cut";
    NMLVGETINFOTIPW nm{};
    nm.hdr.hwndFrom = list;
    nm.hdr.idFrom = static_cast<UINT_PTR>(::GetDlgCtrlID(list));
    nm.hdr.code = LVN_GETINFOTIPW;
    nm.pszText = tip;
    nm.cchTextMax = 2048;
    nm.iItem = row;
    ::SendMessageW(::GetParent(list), WM_NOTIFY, nm.hdr.idFrom, reinterpret_cast<LPARAM>(&nm));
    EXPECT_EQ(Narrow(tip, wcslen(tip)), "Edge 主页（策略）：" + home + "\n位置：HKEY_CURRENT_USER" +
                                            kEdgePolicy + "\\HomepageLocation\n修复：删除");
  }
}

// ---- image hijacks of the browsers -------------------------------------------------------------

const std::wstring kEdgeIfeoW =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\msedge.exe";
const std::wstring kEdgeSilentExitW =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SilentProcessExit\\msedge.exe";

// A value exactly as stored in the given view; nothing when it is missing.
std::optional<std::pair<DWORD, std::string>> RawLM(const std::wstring& key, const char* name,
                                                   REGSAM view) {
  HKEY k = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | view, &k) != ERROR_SUCCESS)
    return std::nullopt;
  BYTE data[1024];
  DWORD size = sizeof data, type = 0;
  const LONG rc = ::RegQueryValueExW(k, Widen(name).c_str(), nullptr, &type, data, &size);
  ::RegCloseKey(k);
  if (rc != ERROR_SUCCESS) return std::nullopt;
  return std::make_pair(type, std::string(reinterpret_cast<char*>(data), size));
}

void SetLM(const std::wstring& key, const char* name, DWORD type, const void* data, DWORD size,
           REGSAM view) {
  HKEY k = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view,
                              nullptr, &k, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(::RegSetValueExW(k, Widen(name).c_str(), 0, type, static_cast<const BYTE*>(data), size),
            ERROR_SUCCESS);
  ::RegCloseKey(k);
}

void SetLMText(const std::wstring& key, const char* name, const std::wstring& text, REGSAM view) {
  SetLM(key, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * 2), view);
}

class BrowserImageHijackTab : public BrowserHijackTab {
 protected:
  void SetUp() override {
    // The prefix holds no image hijack of Edge: everything below is the test's own.
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY})
      for (const std::wstring& key : {kEdgeIfeoW, kEdgeSilentExitW}) {
        HKEY k = nullptr;
        ASSERT_NE(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | view, &k),
                  ERROR_SUCCESS);
      }
    BrowserHijackTab::SetUp();
  }
  void TearDown() override {
    BrowserHijackTab::TearDown();
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY})
      for (const std::wstring& key : {kEdgeIfeoW, kEdgeSilentExitW})
        ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), view, 0);
  }
  // Every value the test seeds, as stored, in both views.
  std::vector<std::optional<std::pair<DWORD, std::string>>> State() {
    std::vector<std::optional<std::pair<DWORD, std::string>>> out;
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY})
      for (const char* name : {"Debugger", "GlobalFlag", "MitigationOptions"})
        out.push_back(RawLM(kEdgeIfeoW, name, view));
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY})
      for (const char* name : {"ReportingMode", "MonitorProcess"})
        out.push_back(RawLM(kEdgeSilentExitW, name, view));
    return out;
  }
};

// Edge's Debugger written through the 32-bit view and an exit monitor for it: two unticked
// rows; "自动反修" with both ticked deletes exactly the two values and the monitor bit, and the
// set restores every value through the program's own restore.
TEST_F(BrowserImageHijackTab, EdgeDebuggerAndExitMonitorAreRepairedAndRestored) {
  SetLMText(kEdgeIfeoW, "Debugger", L"C:\\mt-test\\nav.exe --go", KEY_WOW64_32KEY);
  const DWORD flag = 0x202, mitigation = 0x100, mode = 1;
  SetLM(kEdgeIfeoW, "GlobalFlag", REG_DWORD, &flag, 4, KEY_WOW64_32KEY);
  SetLM(kEdgeIfeoW, "MitigationOptions", REG_DWORD, &mitigation, 4, KEY_WOW64_32KEY);
  SetLM(kEdgeSilentExitW, "ReportingMode", REG_DWORD, &mode, 4, KEY_WOW64_32KEY);
  SetLMText(kEdgeSilentExitW, "MonitorProcess", L"C:\\mt-test\\mon.exe", KEY_WOW64_32KEY);
  const auto before = State();

  ShowTab();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  std::vector<std::string> ours;
  for (const Row& r : Rows())
    if (r.c1.rfind("Edge 映像劫持", 0) == 0) {
      ours.push_back(r.c1);
      EXPECT_FALSE(r.ticked) << r.c1;
      EXPECT_EQ(r.c3, "删除");
    }
  // Where the system keeps a key apart per view, the row says which view it came from.
  const bool monitor32 = !RawLM(kEdgeSilentExitW, "MonitorProcess", KEY_WOW64_64KEY);
  const bool debugger32 = !RawLM(kEdgeIfeoW, "Debugger", KEY_WOW64_64KEY);
  const std::vector<std::string> want = {
      std::string("Edge 映像劫持（启动时改为运行") + (debugger32 ? "，32位" : "") +
          "）：C:\\mt-test\\nav.exe --go",
      std::string("Edge 映像劫持（退出时启动") + (monitor32 ? "，32位" : "") +
          "）：C:\\mt-test\\mon.exe"};
  EXPECT_EQ(ours, want);
  TickRow("Edge 映像劫持（启动时改为运行");
  TickRow("Edge 映像劫持（退出时启动");
  TForm1::Click(form->Page<BrowserPage>().Sbiedefault);
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;

  for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
    EXPECT_FALSE(RawLM(kEdgeIfeoW, "Debugger", view));
    EXPECT_FALSE(RawLM(kEdgeSilentExitW, "MonitorProcess", view));
  }
  const DWORD rest = 0x2;
  EXPECT_EQ(RawLM(kEdgeIfeoW, "GlobalFlag", KEY_WOW64_32KEY),
            std::make_pair(DWORD{REG_DWORD}, std::string(reinterpret_cast<const char*>(&rest), 4)));
  EXPECT_EQ(RawLM(kEdgeIfeoW, "MitigationOptions", KEY_WOW64_32KEY), before[5]);
  EXPECT_EQ(RawLM(kEdgeSilentExitW, "ReportingMode", KEY_WOW64_32KEY), before[8]);
  for (const Row& r : Rows()) EXPECT_EQ(r.c1.find("映像劫持"), std::string::npos) << r.c1;

  const RestoreReport report = RestoreTheOnlySet();
  ASSERT_FALSE(HasFatalFailure());
  for (const RestoreOutcome& o : report.items) EXPECT_TRUE(o.back) << o.place << o.reason;
  EXPECT_EQ(State(), before);
}

// ---- one of every kind ---------------------------------------------------------------------

// Key path -> its values by name (type and data bytes); every key is present, with or
// without values. Walked in the native view: the 32-bit keys are their WOW6432Node paths.
using RegImage = std::map<std::string, std::map<std::string, std::string>>;

void Walk(HKEY root, const std::wstring& path, const std::string& shown, RegImage& out,
          int depth = 0) {
  HKEY key = nullptr;
  if (depth > 20 ||
      ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
    return;
  auto& values = out[shown];
  std::vector<wchar_t> name(16384);
  std::vector<BYTE> data(1 << 16);
  for (DWORD i = 0;; ++i) {
    DWORD nameLen = static_cast<DWORD>(name.size()), size = static_cast<DWORD>(data.size()),
          type = 0;
    if (::RegEnumValueW(key, i, name.data(), &nameLen, nullptr, &type, data.data(), &size) !=
        ERROR_SUCCESS)
      break;
    values[Narrow(name.data(), nameLen)] = std::to_string(type) + ":" +
                                           std::string(reinterpret_cast<char*>(data.data()), size);
  }
  std::vector<std::wstring> subkeys;
  for (DWORD i = 0;; ++i) {
    DWORD nameLen = static_cast<DWORD>(name.size());
    if (::RegEnumKeyExW(key, i, name.data(), &nameLen, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    subkeys.emplace_back(name.data(), nameLen);
  }
  ::RegCloseKey(key);
  for (const std::wstring& sub : subkeys)
    Walk(root, path + L"\\" + sub, shown + "\\" + Narrow(sub), out, depth + 1);
}

class EveryKindTab : public BrowserImageHijackTab {
 protected:
  const std::string kNsItem = "{6D3C1A00-5E1B-4F7A-9C11-00000000B101}";
  const std::string kNsDrive = "{6D3C1A00-5E1B-4F7A-9C11-00000000B102}";
  const std::string kNameSpace =
      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Desktop\\NameSpace\\";
  const std::string kUserClasses = "Software\\Classes\\CLSID\\";
  const std::string kFoxAppPath =
      "\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\firefox.exe";
  const std::string kFoxPolicy = "\\Software\\Policies\\Mozilla\\Firefox";
  const std::string kEdgeMacs = "\\Software\\Microsoft\\Edge\\PreferenceMACs\\Default";

  void TearDown() override {
    BrowserImageHijackTab::TearDown();
    reg.SetRootKey(CU);
    for (const std::string& id : {kNsItem, kNsDrive}) {
      reg.DeleteKey("\\" + kNameSpace + id);
      reg.DeleteKey("\\" + kUserClasses + id);
    }
    reg.DeleteKey(kFoxAppPath);
    reg.DeleteKey(kFoxPolicy);
    if (reg.OpenKey(kEdgeMacs, false)) reg.DeleteValue("homepage");
    reg.CloseKey();
  }
  // The keys the kinds change, each walked whole.
  RegImage Registry() {
    RegImage out;
    const std::pair<HKEY, const char*> trees[] = {
        {HKEY_CURRENT_USER, "Software\\Policies"},
        {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"},
        {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Desktop"},
        {HKEY_CURRENT_USER, "Software\\Microsoft\\Edge"},
        {HKEY_CURRENT_USER, "Software\\Classes\\CLSID\\{6D3C1A00-5E1B-4F7A-9C11-00000000B101}"},
        {HKEY_CURRENT_USER, "Software\\Classes\\CLSID\\{6D3C1A00-5E1B-4F7A-9C11-00000000B102}"},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\Policies"},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Enrollments"},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Provisioning\\OMADM"},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\Google"},
        {HKEY_LOCAL_MACHINE,
         "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution "
         "Options\\msedge.exe"},
        {HKEY_LOCAL_MACHINE,
         "SOFTWARE\\WOW6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution "
         "Options\\msedge.exe"},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Desktop"},
    };
    for (const auto& [root, path] : trees)
      Walk(root, Widen(path), (root == HKEY_CURRENT_USER ? "HKCU\\" : "HKLM\\") + std::string(path),
           out);
    return out;
  }
};

// A machine with one finding of every kind the tab knows and, beside them, one harmless item
// of several kinds: the tab lists exactly the findings, unticked; "自动反修" with all of them
// ticked takes out exactly those (every other value, key and byte as it was), and the set
// restores the registry and the files as they were before.
TEST_F(EveryKindTab, EveryKindIsRepairedAloneAndTheSetRestoresTheMachine) {
  const std::string hosts = HostsFilePath(registry, WinEnvironmentVariable);
  KeepHostsAndProxy keep(registry, hosts);
  ASSERT_EQ(keep.values.size(), 4u);
  ts.services.environment = real->services.environment;
  ts.services.fileRoots = real->services.fileRoots;
  ts.services.fileRoots.userFolders.push_back(folder);
  // The key of the home page lock, which every apply opens.
  reg.SetRootKey(CU);
  ASSERT_TRUE(reg.OpenKey(std::string("\\") + kHomePageLockKey, true));
  reg.CloseKey();
  ShowTab();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  std::vector<std::string> prefixRows;
  for (const Row& r : Rows()) prefixRows.push_back(r.c1);

  // Installed browsers.
  const std::string edge = folder + "\\msedge.exe", chrome = folder + "\\chrome.exe";
  const std::string fox = folder + "\\Mozilla Firefox\\firefox.exe";
  for (const std::string& exe : {edge, chrome, fox}) WriteBytes(exe, "MZ");
  Put(CU, kEdgeAppPath, "", edge);
  Put(CU, kChromeAppPath, "", chrome);
  Put(CU, kFoxAppPath, "", fox);
  // Policies, an enrolment, an extension key, Firefox's registry policy.
  Put(CU, kEdgePolicy, "HomepageLocation", "http://hijack.invalid/home");
  Put(CU, kEdgePolicy, "ShowHomeButton", "kept");
  reg.SetRootKey(LM);
  ASSERT_TRUE(reg.OpenKey(std::string("\\") + kEnrollmentsKey + "\\" + kFake, true));
  reg.WriteInteger("EnrollmentState", 1);
  reg.CloseKey();
  Put(LM, kExtKey, "update_url", "https://hijack.invalid/update.xml");
  Put(CU, kFoxPolicy + "\\Homepage", "URL", "http://hijack.invalid/ff");
  // Shortcuts: one carrying an address, one clean; policies.json with one harmless setting.
  const std::string edgeLnk = folder + "\\Microsoft Edge.lnk";
  const std::string chromeLnk = folder + "\\Google Chrome.lnk";
  ASSERT_TRUE(MakeLink(edgeLnk, edge, "http://hijack.invalid/e"));
  ASSERT_TRUE(MakeLink(chromeLnk, chrome, ""));
  const std::string policies = folder + "\\Mozilla Firefox\\distribution\\policies.json";
  WriteBytes(
      policies,
      R"({"policies":{"Homepage":{"URL":"http://hijack.invalid/pj"},"DisableTelemetry":true}})");
  // A hijacked Edge profile and a clean one.
  const std::string local = folder + "\\Local";
  const std::string userData = local + "\\Microsoft\\Edge\\User Data";
  ts.services.localAppData = local;
  WriteBytes(userData + "\\Local State",
             R"({"profile":{"info_cache":{"Default":{"name":"P1"},"Profile 1":{"name":"P2"}}}})");
  WriteBytes(userData + "\\Default\\Secure Preferences",
             R"({"homepage":"http://hijack.invalid/p","protection":{"macs":{"homepage":"AB"}}})");
  WriteBytes(userData + "\\Profile 1\\Secure Preferences",
             R"({"homepage":"https://www.bing.com/","protection":{"macs":{}}})");
  Put(CU, kEdgeMacs, "homepage", "REGMAC");
  // A hosts redirection beside the user's own lines, and a proxy.
  WriteBytes(hosts, "127.0.0.1 localhost\r\n1.2.3.4 www.baidu.com\r\n10.0.0.9 nas.lan\r\n");
  Put(CU, "\\" + std::string(kInternetSettingsKey), "ProxyServer", "10.9.8.7:3128");
  reg.SetRootKey(CU);
  ASSERT_TRUE(reg.OpenKey("\\" + std::string(kInternetSettingsKey), false));
  reg.WriteInteger("ProxyEnable", 1);
  reg.CloseKey();
  // Edge's image hijack.
  SetLMText(kEdgeIfeoW, "Debugger", L"C:\\mt-test\\nav.exe --go", KEY_WOW64_64KEY);
  // A fake Internet Explorer on the desktop and a cloud drive's item.
  Put(CU, "\\" + kNameSpace + kNsItem, "", "Internet Explorer");
  Put(CU, "\\" + kUserClasses + kNsItem, "", "Internet Explorer");
  Put(CU, "\\" + kUserClasses + kNsItem + "\\shell\\open\\command", "",
      "\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" http://nav.hijack.invalid/");
  Put(CU, "\\" + kNameSpace + kNsDrive, "", "Mirtak Drive");
  Put(CU, "\\" + kUserClasses + kNsDrive + "\\shell\\open\\command", "", "C:\\Drive\\drive.exe");
  // A browser-named .url file and the user's own.
  const std::string fakeUrl = folder + "\\Internet Explorer.url";
  const std::string ownUrl = folder + "\\Mirtak Site.url";
  WriteBytes(fakeUrl, "[InternetShortcut]\r\nURL=http://nav.hijack.invalid/u\r\n");
  WriteBytes(ownUrl, "[InternetShortcut]\r\nURL=https://example.org/\r\n");
  // A Firefox profile whose user.js sets a home page at every start (its prefs.js holds the
  // user's own), and an autoconfig file enabled from the install folder beside a channel file
  // that enables nothing.
  const std::string roaming = folder + "\\Roaming";
  const std::string foxProfile = roaming + "\\Mozilla\\Firefox\\Profiles\\t.default";
  ts.services.roamingAppData = roaming;
  WriteBytes(roaming + "\\Mozilla\\Firefox\\profiles.ini",
             "[Profile0]\r\nName=T\r\nIsRelative=1\r\nPath=Profiles/t.default\r\n");
  WriteBytes(foxProfile + "\\user.js",
             "user_pref(\"browser.startup.homepage\", \"http://hijack.invalid/fu\");\r\n"
             "user_pref(\"browser.startup.page\", 1);\r\n");
  WriteBytes(foxProfile + "\\prefs.js",
             "user_pref(\"browser.startup.homepage\", \"https://www.mozilla.org/\");\r\n");
  const std::string foxPrefs = folder + "\\Mozilla Firefox\\defaults\\pref";
  WriteBytes(foxPrefs + "\\autoconfig.js",
             "pref(\"general.config.filename\", \"mozilla.cfg\");\r\n"
             "pref(\"general.config.obscure_value\", 0);\r\n");
  WriteBytes(foxPrefs + "\\channel-prefs.js", "pref(\"app.update.channel\", \"release\");\r\n");
  WriteBytes(
      folder + "\\Mozilla Firefox\\mozilla.cfg",
      "// locked\r\nlockPref(\"browser.startup.homepage\", \"http://hijack.invalid/fc\");\r\n");

  const std::vector<std::string> files = {hosts,
                                          edgeLnk,
                                          chromeLnk,
                                          policies,
                                          userData + "\\Default\\Secure Preferences",
                                          userData + "\\Profile 1\\Secure Preferences",
                                          fakeUrl,
                                          ownUrl,
                                          foxProfile + "\\user.js",
                                          foxProfile + "\\prefs.js",
                                          foxPrefs + "\\autoconfig.js",
                                          foxPrefs + "\\channel-prefs.js",
                                          folder + "\\Mozilla Firefox\\mozilla.cfg"};
  std::vector<std::string> bytesBefore;
  for (const std::string& f : files) bytesBefore.push_back(FileBytes(f));
  const RegImage before = Registry();

  ShowTab();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  std::vector<std::string> listed;
  HWND list = form->Page<BrowserPage>().ListView1;
  std::vector<Row> rows = Rows();
  for (size_t i = 0; i < rows.size(); ++i) {
    if (std::find(prefixRows.begin(), prefixRows.end(), rows[i].c1) != prefixRows.end()) continue;
    EXPECT_FALSE(rows[i].ticked) << rows[i].c1;
    listed.push_back(rows[i].c1);
    ListView_SetCheckState(list, static_cast<int>(i), TRUE);
  }
  std::vector<std::string> want = {
      "Edge 主页（策略）：http://hijack.invalid/home",
      "Firefox 主页（策略）：http://hijack.invalid/ff",
      "设备管理注册（无管理服务器，使浏览器策略生效）：" + kFake,
      "桌面快捷方式 Microsoft Edge.lnk 附加网址 http://hijack.invalid/e",
      "Firefox 策略（policies.json）：主页 http://hijack.invalid/pj",
      "Chrome 外部扩展（注册表）：mtmtmtmtmtmtmtmtmtmtmtmtmtmtmtmt 更新地址 "
      "https://hijack.invalid/update.xml",
      "Edge 主页（配置 P1）：http://hijack.invalid/p",
      "Edge 映像劫持（启动时改为运行）：C:\\mt-test\\nav.exe --go",
      "系统代理（当前用户）：10.9.8.7:3128（请确认是否是您自己设置的）",
      "hosts 重定向（搜索引擎）：www.baidu.com → 1.2.3.4",
      "桌面图标（冒充Internet Explorer，当前用户）：Internet Explorer → "
      "http://nav.hijack.invalid/",
      "桌面网址文件 Internet Explorer.url 冒充Internet Explorer：http://nav.hijack.invalid/u",
      "Firefox 主页（配置 T，user.js 每次启动时写入）：http://hijack.invalid/fu",
      "Firefox 主页（自动配置 mozilla.cfg，lockPref）：http://hijack.invalid/fc",
  };
  std::sort(want.begin(), want.end());
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, want);
  TForm1::Click(form->Page<BrowserPage>().Sbiedefault);
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;

  // Only the findings are gone: the registry as before without them...
  RegImage expected = before;
  auto dropKey = [&](const std::string& path) {
    for (auto it = expected.begin(); it != expected.end();)
      it = it->first == path || it->first.rfind(path + "\\", 0) == 0 ? expected.erase(it)
                                                                     : std::next(it);
  };
  auto dropValue = [&](const std::string& key, const std::string& name) {
    ASSERT_EQ(expected.at(key).erase(name), 1u) << key << " " << name;
  };
  dropValue("HKCU\\Software\\Policies\\Microsoft\\Edge", "HomepageLocation");
  dropValue("HKCU\\Software\\Policies\\Mozilla\\Firefox\\Homepage", "URL");
  dropKey("HKLM\\SOFTWARE\\Microsoft\\Enrollments\\" + kFake);
  dropKey("HKLM\\SOFTWARE\\Google\\Chrome\\Extensions\\mtmtmtmtmtmtmtmtmtmtmtmtmtmtmtmt");
  dropValue("HKCU\\Software\\Microsoft\\Edge\\PreferenceMACs\\Default", "homepage");
  dropValue("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", "ProxyServer");
  const DWORD off = 0;
  expected["HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"]["ProxyEnable"] =
      "4:" + std::string(reinterpret_cast<const char*>(&off), 4);
  dropValue(
      "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution "
      "Options\\msedge.exe",
      "Debugger");
  // Where the system shares the key between the views, the 32-bit path shows the same value.
  auto ifeo32 = expected.find(
      "HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows NT\\CurrentVersion\\"
      "Image File Execution Options\\msedge.exe");
  if (ifeo32 != expected.end()) ifeo32->second.erase("Debugger");
  dropKey("HKCU\\" + kNameSpace + kNsItem);
  dropKey("HKCU\\" + kUserClasses + kNsItem);
  const RegImage after = Registry();
  EXPECT_EQ(after.size(), expected.size());
  for (const auto& [key, values] : expected) {
    auto it = after.find(key);
    if (it == after.end()) {
      ADD_FAILURE() << "gone: " << key;
      continue;
    }
    EXPECT_EQ(it->second, values) << key;
  }
  for (const auto& [key, values] : after) EXPECT_TRUE(expected.count(key)) << "new: " << key;
  // ... and every file's bytes as before, but for what the findings held.
  EXPECT_EQ(FileBytes(hosts), "127.0.0.1 localhost\r\n10.0.0.9 nas.lan\r\n");
  EXPECT_EQ(links.Read(edgeLnk).arguments, "");
  EXPECT_EQ(FileBytes(chromeLnk), bytesBefore[2]);
  EXPECT_EQ(FileBytes(policies).find("hijack.invalid"), std::string::npos);
  EXPECT_NE(FileBytes(policies).find("DisableTelemetry"), std::string::npos);
  EXPECT_EQ(FileBytes(userData + "\\Default\\Secure Preferences"), R"({"protection":{"macs":{}}})");
  EXPECT_EQ(FileBytes(userData + "\\Profile 1\\Secure Preferences"), bytesBefore[5]);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(Widen(fakeUrl))));
  EXPECT_EQ(FileBytes(ownUrl), bytesBefore[7]);
  EXPECT_EQ(FileBytes(foxProfile + "\\user.js"), "user_pref(\"browser.startup.page\", 1);\r\n");
  EXPECT_EQ(FileBytes(foxProfile + "\\prefs.js"), bytesBefore[9]);
  // What enabled the cfg goes whole; the cfg and the channel file stay.
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(Widen(foxPrefs + "\\autoconfig.js"))));
  EXPECT_EQ(FileBytes(foxPrefs + "\\channel-prefs.js"), bytesBefore[11]);
  EXPECT_EQ(FileBytes(folder + "\\Mozilla Firefox\\mozilla.cfg"), bytesBefore[12]);
  for (const Row& r : Rows())
    EXPECT_TRUE(std::find(prefixRows.begin(), prefixRows.end(), r.c1) != prefixRows.end()) << r.c1;

  // The set puts back every value, key and byte.
  const RestoreReport report = RestoreTheOnlySet();
  ASSERT_FALSE(HasFatalFailure());
  for (const RestoreOutcome& o : report.items) EXPECT_TRUE(o.back) << o.place << o.reason;
  EXPECT_EQ(Registry(), before);
  for (size_t i = 0; i < files.size(); ++i)
    EXPECT_EQ(FileBytes(files[i]), bytesBefore[i]) << files[i];
}

}  // namespace
}  // namespace mt
