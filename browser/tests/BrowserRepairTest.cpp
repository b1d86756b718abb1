#include <gtest/gtest.h>

#include <algorithm>

#include "app/Backup.h"
#include "app/Restore.h"
#include "app/Error.h"
#include "browser/BrowserRepair.h"
#include "browser/tests/FakePage.h"
#include "tests/support/StandIns.h"

namespace mt {
namespace {

constexpr RegRoot LM = RegRoot::LocalMachine, CU = RegRoot::CurrentUser, CR = RegRoot::ClassesRoot;
const std::string kMain = "Software\\Microsoft\\Internet explorer\\Main";
const std::string kExt = std::string(kExtensionStore) + "\\";
const std::string kMenu = std::string(kMenuExtensionStore) + "\\";

class Page : public ::testing::Test {
 protected:
  // Backups land in a temporary program folder.
  test::TempDir tmp;
  test::TestServices ts{[this] {
    std::string p = tmp.path();
    std::replace(p.begin(), p.end(), '/', '\\');
    return p;
  }()};
  test::MemoryRegistry& reg = ts.registry;
  test::ScriptedIcons icons;
  test::MemoryPageView view;
  BrowserRepairPage page{ts.services, icons, view, nullptr};

  void Toolbar(const std::string& id, const std::string& name, const std::string& server) {
    reg.SetString(LM, kToolbarStore, id, "");
    if (!name.empty()) reg.SetString(CR, "CLSID\\" + id, "", name);
    if (!server.empty()) reg.SetString(CR, "CLSID\\" + id + "\\InprocServer32", "", server);
  }
  void Menu(const std::string& text, const std::string& address) {
    reg.CreatePath(CU, kMenu + text);
    if (!address.empty()) reg.SetString(CU, kMenu + text, "", address);
  }
  std::string Cols(int i) {
    const AddOnRow& r = view.rows.at(i);
    return r.caption + "|" + r.column2 + "|" + r.column3 + "|" + std::to_string(r.image);
  }
  void ExpectMessage(const std::string& text) {
    ASSERT_EQ(ts.messages.shown.size(), 1u);
    EXPECT_EQ(ts.messages.shown[0].text, text);
    EXPECT_EQ(ts.messages.shown[0].caption, "温馨提示");
    EXPECT_EQ(ts.messages.shown[0].style, kMbOk);
  }
};

TEST_F(Page, FirstShowWritesDefaultsAndCreatesOnlyThePolicyKeys) {
  page.TabSheet3Show();
  EXPECT_EQ(view.edtitle, "Microsoft Internet explorer");
  EXPECT_EQ(view.edpage, "about:blank");
  EXPECT_EQ(reg.Get(LM, kMain, "Start Page")->text, "about:blank");
  EXPECT_EQ(reg.Get(LM, kMain, "Window Title")->type, RegDataType::String);
  EXPECT_TRUE(reg.HasKey(CU, kRegistryToolsLockKey));
  EXPECT_TRUE(reg.HasKey(CU, kHomePageLockKey));
  EXPECT_TRUE(view.rbregtooln && !view.rbregtool && !view.cbsetpage);
  EXPECT_TRUE(view.rows.empty());
  EXPECT_FALSE(reg.HasKey(LM, kToolbarStore) || reg.HasKey(CU, kMenuExtensionStore) ||
               reg.HasKey(CR, "CLSID"));
  // An existing page is shown, not replaced; the apply with no stores removes nothing.
  reg.SetString(LM, kMain, "Start Page", "http://other.invalid/");
  page.TabSheet3Show();
  EXPECT_EQ(view.edpage, "http://other.invalid/");
  page.SbiedefaultClick();
  EXPECT_TRUE(ts.messages.shown.empty());
}

// A user without administrator rights may only read the machine's key: the show writes no
// default there (the write would be refused and end the show), it shows what is there.
TEST_F(Page, WithoutAdministratorRightsTheShowOnlyReadsTheMachinesSettings) {
  ts.admin.held = false;
  page.TabSheet3Show();
  EXPECT_FALSE(reg.HasKey(LM, kMain));
  EXPECT_EQ(view.edtitle, "");
  EXPECT_EQ(view.edpage, "");
  reg.SetString(LM, kMain, "Start Page", "http://start.invalid/");
  reg.MakeReadOnly(LM, kMain);
  page.TabSheet3Show();
  EXPECT_EQ(view.edpage, "http://start.invalid/");
  EXPECT_EQ(view.edtitle, "");
  EXPECT_FALSE(reg.Get(LM, kMain, "Window Title"));
  EXPECT_TRUE(ts.messages.shown.empty());
}

TEST_F(Page, ShowOnlyEverSetsTheLockControls) {
  reg.SetDword(CU, kRegistryToolsLockKey, kRegistryToolsLockValue, 0);
  page.TabSheet3Show();  // DWORD 0 and absent "homepage": nothing selected, nothing ticked
  EXPECT_FALSE(view.rbregtool || view.rbregtooln || view.cbsetpage);
  reg.SetDword(CU, kRegistryToolsLockKey, kRegistryToolsLockValue, 1);
  reg.SetDword(CU, kHomePageLockKey, kHomePageLockValue, 0);
  page.TabSheet3Show();
  EXPECT_TRUE(view.rbregtool && !view.rbregtooln);
  EXPECT_FALSE(view.cbsetpage);
  for (bool asText : {false, true}) {
    view.cbsetpage = false;
    if (asText) reg.SetString(CU, kHomePageLockKey, kHomePageLockValue, "1");
    else reg.SetDword(CU, kHomePageLockKey, kHomePageLockValue, 1);
    page.TabSheet3Show();
    EXPECT_TRUE(view.cbsetpage) << asText;
  }
  reg.SetBinary(CU, kHomePageLockKey, kHomePageLockValue, "\x01");
  ASSERT_NO_THROW(page.TabSheet3Show());
  EXPECT_TRUE(view.cbsetpage);  // left as it was
}

TEST_F(Page, UnreachableKeysCountAsAbsentAndNothingLandsAtTheRoot) {
  reg.SetDword(CU, kHomePageLockKey, kHomePageLockValue, 1);
  reg.Deny(LM, kMain);
  reg.Deny(CU, "Software\\Policies");
  reg.CreatePath(CU, "software\\Microsoft\\Windows\\CurrentVersion\\Policies");
  reg.MakeReadOnly(CU, "software\\Microsoft\\Windows\\CurrentVersion\\Policies");
  view.edpage = "typed";
  ASSERT_NO_THROW(page.TabSheet3Show());
  EXPECT_EQ(view.edpage, "typed");
  EXPECT_TRUE(view.rbregtooln);
  EXPECT_FALSE(view.cbsetpage);
  for (const char* stray : {"System", "Internet Explorer", "Control Panel"})
    EXPECT_FALSE(reg.HasKey(CU, stray)) << stray;
  // Apply: the machine key is skipped silently, clearing a lock without its key too.
  page.SbiedefaultClick();
  EXPECT_TRUE(ts.messages.shown.empty());
}

TEST_F(Page, NonTextValuesStopTheShowWhereTheyAreRead) {
  Toolbar("{T}", "Bar", "");
  reg.SetDword(LM, kExt + "{E}", "MenuText", 9);
  view.edtitle = "kept";
  try {
    page.TabSheet3Show();
    FAIL();
  } catch (const AppError& e) {
    EXPECT_STREQ(e.what(), "Invalid data type for 'MenuText'");
  }
  // The failing row was added before its caption was read: it stays, as far as it got.
  ASSERT_EQ(view.rows.size(), 2u);
  EXPECT_EQ(Cols(0), "Bar|{T}||-2");
  EXPECT_EQ(Cols(1), "|||-1");
  EXPECT_EQ(view.rows[1].store, AddOnStore::Extension);
  EXPECT_EQ(view.held, 0);  // the list is painted again
  EXPECT_EQ(view.edtitle, "kept");
  EXPECT_FALSE(reg.Get(LM, kMain, "Window Title"));

  // A non-text "ButtonText" ends the show the same way; a server path that is not text
  // keeps the toolbar row with its name and class id.
  reg.DeleteTree(LM, nullptr, kExt + "{E}");
  reg.SetBinary(LM, kExt + "{E}", "ButtonText", "\x01");
  reg.SetDword(CR, "CLSID\\{T}\\InprocServer32", "", 7);
  EXPECT_THROW(page.TabSheet3Show(), AppError);
  ASSERT_EQ(view.rows.size(), 1u);
  EXPECT_EQ(Cols(0), "Bar|{T}||-1");
  reg.DeleteTree(CR, nullptr, "CLSID\\{T}\\InprocServer32");
  EXPECT_THROW(page.TabSheet3Show(), AppError);
  ASSERT_EQ(view.rows.size(), 2u);
  EXPECT_EQ(Cols(1), "|||-1");

  reg.DeleteTree(LM, nullptr, kExt + "{E}");
  reg.SetString(CU, kRegistryToolsLockKey, kRegistryToolsLockValue, "1");
  EXPECT_THROW(page.TabSheet3Show(), AppError);
  EXPECT_EQ(view.edpage, "about:blank");
  EXPECT_FALSE(reg.HasKey(CU, kHomePageLockKey));  // step 5 not reached
}

TEST_F(Page, RowsCarryTheirColumnsIconsAndStores) {
  Toolbar("{T1}", "Search Bar", "C:\\Program Files\\Bar\\bar.dll");
  icons.shortPaths["C:\\Program Files\\Bar\\bar.dll"] = "C:\\PROGRA~1\\Bar\\bar.dll";
  Toolbar("{T2}", "", "");
  icons.noIcon.insert("");
  reg.SetString(LM, kExt + "{E1}", "MenuText", "menu");
  reg.SetString(LM, kExt + "{E1}", "ButtonText", "button");
  reg.SetString(LM, kExt + "{E1}", "HotIcon", "C:\\x.dll,3");
  reg.SetString(LM, kExt + "{E2}", "MenuText", "only menu");
  reg.SetString(LM, kExt + "{E2}", "HotIcon", "C:\\y.dll,abc");
  reg.SetString(LM, kExt + "{E3}", "HotIcon", "C:\\z.ico");
  Menu("Translate", "res://t.htm");
  Menu("Blank", "");
  page.TabSheet3Show();
  ASSERT_EQ(view.rows.size(), 7u);
  // No icon is taken before the list asks for it; each row asks once.
  EXPECT_TRUE(icons.calls.empty());
  for (int i = 0; i < 7; ++i) EXPECT_EQ(view.rows[i].image, i < 5 ? kImageOnDemand : -1) << i;
  for (int i = 0; i < 7; ++i) page.RowImage(i);
  EXPECT_EQ(page.RowImage(2), 1);
  EXPECT_EQ(Cols(0), "Search Bar|{T1}|C:\\PROGRA~1\\Bar\\bar.dll|0");
  EXPECT_EQ(Cols(1), "|{T2}||-1");
  EXPECT_EQ(Cols(2), "button|{E1}|C:\\x.dll,3|1");
  EXPECT_EQ(Cols(3), "only menu|{E2}|C:\\y.dll,abc|2");
  EXPECT_EQ(Cols(4), "|{E3}|C:\\z.ico|3");
  EXPECT_EQ(Cols(5), "Translate|res://t.htm||-1");
  EXPECT_EQ(Cols(6), "Blank|||-1");
  const std::vector<AddOnStore> stores = {AddOnStore::Toolbar,      AddOnStore::Toolbar,
                                          AddOnStore::Extension,    AddOnStore::Extension,
                                          AddOnStore::Extension,    AddOnStore::MenuExtension,
                                          AddOnStore::MenuExtension};
  for (size_t i = 0; i < stores.size(); ++i) EXPECT_EQ(view.rows[i].store, stores[i]);
  ASSERT_EQ(icons.calls.size(), 5u);                             // menu entries ask for no icon
  EXPECT_EQ(icons.calls[0].path, "C:\\PROGRA~1\\Bar\\bar.dll");  // the short form
  EXPECT_EQ(icons.calls[1].path, "");
  EXPECT_EQ(icons.calls[2].path + "#" + std::to_string(icons.calls[2].index), "C:\\x.dll#3");
  EXPECT_EQ(icons.calls[3].path + "#" + std::to_string(icons.calls[3].index), "C:\\y.dll#0");
  EXPECT_EQ(icons.calls[4].path + "#" + std::to_string(icons.calls[4].index), "C:\\z.ico#0");
}

// Hovering a row shows it whole: the caption, then what each column holds in that store,
// and nothing for an empty column.
TEST(AddOnTip, TheWholeCaptionAndEachColumnUnderTheWordForIt) {
  AddOnRow row;
  row.caption = "Search Bar";
  row.column2 = "{T1}";
  row.column3 = "C:\\PROGRA~1\\Bar\\bar.dll";
  EXPECT_EQ(AddOnRowTip(row), "Search Bar\n标识：{T1}\n文件：C:\\PROGRA~1\\Bar\\bar.dll");
  row.store = AddOnStore::Extension;
  EXPECT_EQ(AddOnRowTip(row), "Search Bar\n标识：{T1}\n图标：C:\\PROGRA~1\\Bar\\bar.dll");
  row.store = AddOnStore::MenuExtension;
  row.column2 = "res://t.htm";
  row.column3.clear();
  EXPECT_EQ(AddOnRowTip(row), "Search Bar\n网页：res://t.htm");
  row.store = AddOnStore::Hijack;
  row.caption = "Edge 主页（策略）：http://hijack.cn/" + std::string(300, 'a');
  row.column2 = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Microsoft\\Edge\\HomepageLocation";
  row.column3 = "删除";
  EXPECT_EQ(AddOnRowTip(row), row.caption + "\n位置：" + row.column2 + "\n修复：删除");
  row.column2.clear();
  row.column3.clear();
  EXPECT_EQ(AddOnRowTip(row), row.caption);
}

TEST_F(Page, ApplyWritesTheDefaultsAndSetsThenLiftsTheLocks) {
  page.TabSheet3Show();
  view.edpage = view.edtitle = "typed";
  view.cbsetpage = true;
  view.SelectRbregtool();
  page.SbiedefaultClick();
  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_EQ(view.edpage, "about:blank");
  EXPECT_EQ(reg.Get(LM, kMain, "Start Page")->text, "about:blank");
  EXPECT_EQ(reg.Get(LM, kMain, "Window Title")->text, "Microsoft Internet explorer");
  // The 32-bit browser's copy of the key is repaired too.
  EXPECT_EQ(
      reg.Get(LM, "Software\\WOW6432Node\\Microsoft\\Internet explorer\\Main", "Start Page")->text,
      "about:blank");
  EXPECT_EQ(reg.Get(LM, kMain, "Window Title", RegView::Wow32)->text,
            "Microsoft Internet explorer");
  EXPECT_EQ(reg.Get(CU, kHomePageLockKey, kHomePageLockValue)->dword, 1u);
  EXPECT_EQ(reg.Get(CU, kRegistryToolsLockKey, kRegistryToolsLockValue)->type,
            RegDataType::Integer);
  view.cbsetpage = view.rbregtool = false;  // neither radio selected also clears
  page.SbiedefaultClick();
  EXPECT_FALSE(reg.Get(CU, kHomePageLockKey, kHomePageLockValue));
  EXPECT_FALSE(reg.Get(CU, kRegistryToolsLockKey, kRegistryToolsLockValue));
}

TEST_F(Page, RefusedPolicyWriteShowsTheMessageAndRemovesNoAddOn) {
  Toolbar("{T}", "Bar", "");
  page.TabSheet3Show();
  view.ticks[0] = true;
  reg.MakeReadOnly(CU, kHomePageLockKey);
  view.cbsetpage = true;
  page.SbiedefaultClick();
  // The set was written before the write that failed: the way back is named.
  ExpectMessage(std::string(kApplyRefused) + "\n\n" + kBackedUpLine);
  EXPECT_EQ(reg.Get(LM, kMain, "Start Page")->text, "about:blank");  // done before
  EXPECT_TRUE(reg.Get(LM, kToolbarStore, "{T}"));
  EXPECT_TRUE(view.ticks[0]);  // neither pruned nor refilled
}

TEST_F(Page, TickedRowIsRemovedFromItsOwnStoreOnly) {
  // A toolbar named like a context-menu entry, whose class id is also an extension subkey.
  Toolbar("{S}", "Translate", "");
  reg.SetString(LM, kExt + "{S}", "ButtonText", "Button");
  Menu("Translate", "res://t.htm");
  Menu("Blank", "");
  page.TabSheet3Show();
  ASSERT_EQ(view.rows.size(), 4u);
  view.ticks[0] = true;  // the toolbar
  view.ticks[3] = true;  // "Blank", no address
  page.SbiedefaultClick();
  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_FALSE(reg.Get(LM, kToolbarStore, "{S}"));
  EXPECT_TRUE(reg.HasKey(LM, kExt + "{S}"));
  EXPECT_TRUE(reg.HasKey(CU, kMenu + "Translate"));
  EXPECT_FALSE(reg.HasKey(CU, kMenu + "Blank"));
  ASSERT_EQ(view.rows.size(), 2u);  // refilled from the registry, unticked
  EXPECT_EQ(view.rows[0].store, AddOnStore::Extension);
  EXPECT_EQ(view.ticks, std::vector<bool>(2, false));
  // Every change of the list, removals and refills, was made with painting held.
  EXPECT_EQ(view.changedUnheld, 0);
  EXPECT_EQ(view.held, 0);
  view.ticks[0] = true;
  page.SbiedefaultClick();
  EXPECT_FALSE(reg.HasKey(LM, kExt + "{S}"));
  EXPECT_TRUE(reg.HasKey(CU, kMenu + "Translate"));
}

TEST_F(Page, NonTextValueDuringTheRefillEndsTheApply) {
  Toolbar("{T}", "Bar", "");
  Menu("Translate", "res://t.htm");
  page.TabSheet3Show();
  view.ticks[0] = true;
  reg.SetDword(CU, kMenu + "Translate", "", 4);
  page.SbiedefaultClick();
  // The set was written before the write that failed: the way back is named.
  ExpectMessage(std::string(kApplyRefused) + "\n\n" + kBackedUpLine);
  EXPECT_FALSE(reg.Get(LM, kToolbarStore, "{T}"));  // removed before the failure stays removed
}

TEST_F(Page, ThirtyTwoBitAddOnsFollowTheNativeOnesAndLeaveOnlyFromTheirOwnView) {
  constexpr RegView W32 = RegView::Wow32;
  // One toolbar and one extension registered for both browsers under the same class id,
  // with other names in each view; a 32-bit toolbar without a class registration.
  Toolbar("{B}", "Bar", "C:\\bar64.dll");
  reg.SetString(LM, kToolbarStore, "{B}", "", W32);
  reg.SetString(CR, "CLSID\\{B}", "", "Bar x86", W32);
  reg.SetString(CR, "CLSID\\{B}\\InprocServer32", "", "C:\\bar32.dll", W32);
  icons.shortPaths = {{"C:\\bar64.dll", "C:\\BAR64.DLL"}, {"C:\\bar32.dll", "C:\\BAR32.DLL"}};
  reg.SetString(LM, kToolbarStore, "{O}", "", W32);
  reg.SetString(LM, kExt + "{E}", "ButtonText", "Button");
  reg.SetString(LM, kExt + "{E}", "ButtonText", "Button x86", W32);
  reg.SetString(LM, kExt + "{E}", "HotIcon", "C:\\e32.dll,2", W32);
  Menu("Translate", "res://t.htm");
  page.TabSheet3Show();

  // Native toolbars, native extensions, menu extensions, 32-bit toolbars, 32-bit extensions.
  std::string kinds;
  for (const AddOnRow& r : view.rows) {
    const char* letters = r.view == W32 ? "tem" : "TEM";
    kinds += letters[static_cast<int>(r.store)];
  }
  EXPECT_EQ(kinds, "TEMtte");
  auto find = [&](AddOnStore store, RegView v, const std::string& id) {
    for (size_t i = 0; i < view.rows.size(); ++i)
      if (view.rows[i].store == store && view.rows[i].view == v && view.rows[i].column2 == id)
        return static_cast<int>(i);
    return -1;
  };
  int bar32 = find(AddOnStore::Toolbar, W32, "{B}");
  ASSERT_GE(bar32, 0);
  EXPECT_EQ(Cols(find(AddOnStore::Toolbar, RegView::Native, "{B}")), "Bar|{B}|C:\\BAR64.DLL|-2");
  EXPECT_EQ(Cols(bar32), "Bar x86 (32位)|{B}|C:\\BAR32.DLL|-2");
  EXPECT_EQ(Cols(find(AddOnStore::Toolbar, W32, "{O}")), " (32位)|{O}||-2");
  int ext32 = find(AddOnStore::Extension, W32, "{E}");
  EXPECT_EQ(Cols(ext32), "Button x86 (32位)|{E}|C:\\e32.dll,2|-2");
  page.RowImage(bar32);
  page.RowImage(ext32);
  ASSERT_EQ(icons.calls.size(), 2u);
  EXPECT_EQ(icons.calls[0].path, "C:\\BAR32.DLL");
  EXPECT_EQ(icons.calls[1].path + "#" + std::to_string(icons.calls[1].index), "C:\\e32.dll#2");

  // The 32-bit toolbar and the native extension go, each from its own view only; class
  // registrations and the menu entry stay.
  view.ticks[bar32] = true;
  view.ticks[find(AddOnStore::Extension, RegView::Native, "{E}")] = true;
  page.SbiedefaultClick();
  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_FALSE(reg.Get(LM, kToolbarStore, "{B}", W32));
  EXPECT_TRUE(reg.Get(LM, kToolbarStore, "{B}"));
  EXPECT_FALSE(reg.HasKey(LM, kExt + "{E}"));
  EXPECT_TRUE(reg.HasKey(LM, kExt + "{E}", W32));
  EXPECT_TRUE(reg.HasKey(CR, "CLSID\\{B}", W32) && reg.HasKey(CR, "CLSID\\{B}"));
  EXPECT_TRUE(reg.HasKey(CU, kMenu + "Translate"));
  kinds.clear();
  for (const AddOnRow& r : view.rows) kinds += r.caption + ";";
  EXPECT_EQ(kinds, "Bar;Translate; (32位);Button x86 (32位);");

  // A 32-bit store that cannot be opened lists nothing and says nothing.
  reg.Deny(LM, kExtensionStore, W32);
  page.TabSheet3Show();
  EXPECT_EQ(view.rows.size(), 3u);
  EXPECT_EQ(view.rows.back().column2, "{O}");
}

TEST(Sweeper, DeletionNameRulesAndIconSpecifications) {
  test::MemoryRegistry reg;
  test::ScriptedIcons icons;
  TIESweeper s(reg, icons);
  reg.SetString(LM, kToolbarStore, "", "store default");
  reg.CreatePath(LM, kExt + "Outer\\Inner");
  reg.CreatePath(CU, kMenu + "Outer\\Inner");
  s.DeleteToolbar("");
  s.DeleteExtension("");
  s.DeleteExtension("Outer\\Inner");
  s.DeleteMenuExtension("Outer\\Inner");
  EXPECT_TRUE(reg.Get(LM, kToolbarStore, ""));
  EXPECT_TRUE(reg.HasKey(LM, kExt + "Outer\\Inner"));
  EXPECT_TRUE(reg.HasKey(CU, kMenu + "Outer\\Inner"));
  s.DeleteMenuExtension("outer");
  EXPECT_FALSE(reg.HasKey(CU, kMenu + "Outer"));
  // Reads take direct subkeys only, too: never the store itself, never a key below a subkey.
  reg.SetString(LM, kExt + "Outer\\Inner", "ButtonText", "deep");
  reg.SetString(CR, "CLSID", "", "class store");
  EXPECT_EQ(s.ReadExtensionCaption("Outer\\Inner"), "");
  EXPECT_EQ(s.ReadClassName(""), "");
  EXPECT_EQ(s.ReadClassServer(""), "");

  using V = std::vector<std::string>;
  EXPECT_EQ(SplitIconText(""), V{});
  EXPECT_EQ(SplitIconText("a.dll,"), V{"a.dll"});
  EXPECT_EQ(SplitIconText("a,,b"), (V{"a", "", "b"}));
  s.AddIconFromSpec({"a.dll", "70000", "x"}, nullptr);  // only 16 bits reach the shell
  s.AddIconFromSpec({}, nullptr);
  EXPECT_EQ(icons.calls[0].index, 70000 - 65536);
  EXPECT_EQ(icons.calls[1].path, "");
}

// The set the last apply wrote, as text (ASCII content only), or "" when there is none.
std::string LastBackupText(test::TestServices& ts) {
  auto sets = ts.files.Find(BackupRoot(ts.services.exeDir), "*");
  if (sets.empty()) return std::string();
  std::sort(sets.begin(), sets.end(),
            [](const FindEntry& a, const FindEntry& b) { return a.name < b.name; });
  std::string bytes = test::ReadWholeFile(BackupRoot(ts.services.exeDir) + "\\" + sets.back().name +
                                          "\\" + kBackupRegFileName);
  std::string text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) text += bytes[i];
  return text;
}

TEST_F(Page, ApplySavesTheTickedAddOnsAndClearedLocksBeforeDeletingThem) {
  constexpr RegView W32 = RegView::Wow32;
  Toolbar("{T}", "Bar", "");
  reg.SetString(LM, kToolbarStore, "{T32}", "", W32);
  reg.SetString(LM, kExt + "{E}", "ButtonText", "Btn", W32);
  reg.SetString(LM, kExt + "{E}\\Sub", "x", "y", W32);
  Menu("Open", "res://o.htm");
  reg.SetDword(CU, kRegistryToolsLockKey, kRegistryToolsLockValue, 1);
  page.TabSheet3Show();
  for (size_t i = 0; i < view.ticks.size(); ++i) view.ticks[i] = true;
  view.rbregtool = false;
  page.SbiedefaultClick();
  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_FALSE(reg.Get(LM, kToolbarStore, "{T32}", W32));
  EXPECT_FALSE(reg.HasKey(LM, kExt + "{E}", W32));

  const std::string text = LastBackupText(ts);
  for (const char* expected :
       {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet Explorer\\Toolbar]\r\n\"{T}\"=\"\"\r\n",
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Microsoft\\Internet Explorer\\Toolbar]\r\n"
        "\"{T32}\"=\"\"\r\n",
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Microsoft\\Internet Explorer\\Extensions\\{E}]"
        "\r\n\"ButtonText\"=\"Btn\"\r\n",
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Microsoft\\Internet Explorer\\Extensions\\{E}"
        "\\Sub]\r\n\"x\"=\"y\"\r\n",
        "[HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Internet Explorer\\MenuExt\\Open]\r\n"
        "@=\"res://o.htm\"\r\n",
        "[HKEY_CURRENT_USER\\software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System]\r\n"
        "\"DisableRegistryTools\"=dword:00000001\r\n"})
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n---\n" << text;
}

TEST_F(Page, ABackupThatCannotBeWrittenStopsTheWholeApply) {
  Toolbar("{T}", "Bar", "");
  page.TabSheet3Show();
  view.ticks[0] = true;
  reg.SetString(LM, kMain, "Start Page", "http://kept.invalid/");
  test::WriteWholeFile(BackupRoot(ts.services.exeDir), "a file in the way");
  page.SbiedefaultClick();
  ExpectMessage(kBackupFailedText);
  EXPECT_TRUE(reg.Get(LM, kToolbarStore, "{T}"));
  EXPECT_EQ(reg.Get(LM, kMain, "Start Page")->text, "http://kept.invalid/");
  EXPECT_TRUE(view.ticks[0]);
}

}  // namespace
}  // namespace mt
