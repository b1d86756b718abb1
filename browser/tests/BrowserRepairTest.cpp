#include <gtest/gtest.h>

#include <algorithm>

#include "app/Error.h"
#include "browser/BrowserRepair.h"
#include "browser/tests/FakePage.h"
#include "tests/support/StandIns.h"

namespace mt {
namespace {

constexpr RegRoot LM = RegRoot::LocalMachine;
constexpr RegRoot CU = RegRoot::CurrentUser;
constexpr RegRoot CR = RegRoot::ClassesRoot;
const std::string kMain = "Software\\Microsoft\\Internet explorer\\Main";
const std::string kPolicies = "software\\Microsoft\\Windows\\CurrentVersion\\Policies";

std::string Under(const char* store, const std::string& name) {
  return std::string(store) + "\\" + name;
}

class Page : public ::testing::Test {
 protected:
  test::TestServices ts;
  test::MemoryRegistry& reg = ts.registry;
  test::ScriptedIcons icons;
  test::MemoryPageView view;
  WindowRef owner = reinterpret_cast<WindowRef>(0x77);
  BrowserRepairPage page{ts.services, icons, view, owner};

  void Toolbar(const std::string& id, const std::string& name, const std::string& server) {
    reg.SetString(LM, kToolbarStore, id, "");
    if (!name.empty()) reg.SetString(CR, "CLSID\\" + id, "", name);
    if (!server.empty()) reg.SetString(CR, "CLSID\\" + id + "\\InprocServer32", "", server);
  }
  void Extension(const std::string& id, const std::string& text, const std::string& hotIcon) {
    reg.CreatePath(LM, Under(kExtensionStore, id));
    if (!text.empty()) reg.SetString(LM, Under(kExtensionStore, id), "ButtonText", text);
    if (!hotIcon.empty()) reg.SetString(LM, Under(kExtensionStore, id), "HotIcon", hotIcon);
  }
  void Menu(const std::string& text, const std::string& address) {
    reg.CreatePath(CU, Under(kMenuExtensionStore, text));
    if (!address.empty()) reg.SetString(CU, Under(kMenuExtensionStore, text), "", address);
  }
  const AddOnRow* Find(const std::string& caption) {
    for (auto& r : view.rows)
      if (r.first.caption == caption) return &r.first;
    return nullptr;
  }
  std::optional<RegValue> HomePageLock() {
    return reg.Get(CU, kHomePageLockKey, kHomePageLockValue);
  }
  std::optional<RegValue> RegistryToolsLock() {
    return reg.Get(CU, kRegistryToolsLockKey, kRegistryToolsLockValue);
  }
};

// ---- show --------------------------------------------------------------------------------

TEST_F(Page, FirstShowWritesTheDefaultsCreatesThePolicyKeysAndListsNothing) {
  page.TabSheet3Show();
  EXPECT_EQ(view.edtitle, "Microsoft Internet explorer");
  EXPECT_EQ(view.edpage, "about:blank");
  EXPECT_EQ(reg.Get(LM, kMain, "Window Title")->text, "Microsoft Internet explorer");
  EXPECT_EQ(reg.Get(LM, kMain, "Start Page")->type, RegDataType::String);
  EXPECT_EQ(reg.Get(LM, kMain, "Start Page")->text, "about:blank");
  EXPECT_TRUE(reg.HasKey(CU, kPolicies + "\\System"));
  EXPECT_TRUE(reg.HasKey(CU, kHomePageLockKey));
  EXPECT_TRUE(view.rbregtooln);
  EXPECT_FALSE(view.rbregtool);
  EXPECT_FALSE(view.cbsetpage);
  EXPECT_TRUE(view.rows.empty());
  ASSERT_NE(page.IESweeper(), nullptr);
  // The add-on stores are only read, never created.
  EXPECT_FALSE(reg.HasKey(LM, kToolbarStore));
  EXPECT_FALSE(reg.HasKey(CU, kMenuExtensionStore));
}

TEST_F(Page, ExistingSettingsAreShownUnchangedIncludingExpandStrings) {
  reg.SetString(LM, kMain, "Start Page", "http://example.invalid/");
  RegValue v;
  v.type = RegDataType::ExpandString;
  v.text = "%USERNAME% browser";
  reg.Set(*reg.Open(LM, nullptr, kMain, false), "Window Title", v);
  page.TabSheet3Show();
  EXPECT_EQ(view.edpage, "http://example.invalid/");
  EXPECT_EQ(view.edtitle, "%USERNAME% browser");
  EXPECT_EQ(reg.Get(LM, kMain, "Start Page")->text, "http://example.invalid/");
  EXPECT_EQ(reg.Get(LM, kMain, "Window Title")->type, RegDataType::ExpandString);
}

TEST_F(Page, HomePageLockOnlyEverTicksTheBox) {
  struct Case {
    const char* what;
    std::function<void()> store;
    bool ticks;
  };
  std::vector<Case> cases = {
      {"DWORD 1", [&] { reg.SetDword(CU, kHomePageLockKey, "homepage", 1); }, true},
      {"text 1", [&] { reg.SetString(CU, kHomePageLockKey, "homepage", "1"); }, true},
      {"DWORD 0", [&] { reg.SetDword(CU, kHomePageLockKey, "homepage", 0); }, false},
      {"other text", [&] { reg.SetString(CU, kHomePageLockKey, "homepage", "01"); }, false},
      {"binary", [&] { reg.SetBinary(CU, kHomePageLockKey, "homepage", "\x01"); }, false},
      {"absent", [] {}, false},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    reg.DeleteTree(CU, nullptr, "Software\\Policies");
    c.store();
    view.cbsetpage = false;
    ASSERT_NO_THROW(page.TabSheet3Show());
    EXPECT_EQ(view.cbsetpage, c.ticks);
    // A box the user ticked stays ticked whatever is stored.
    view.cbsetpage = true;
    page.TabSheet3Show();
    EXPECT_TRUE(view.cbsetpage);
  }
}

TEST_F(Page, RegistryToolsLockSelectsOnlyForAbsentOrOne) {
  reg.SetDword(CU, kRegistryToolsLockKey, "DisableRegistryTools", 0);
  page.TabSheet3Show();
  EXPECT_FALSE(view.rbregtool);
  EXPECT_FALSE(view.rbregtooln);
  reg.SetDword(CU, kRegistryToolsLockKey, "DisableRegistryTools", 1);
  page.TabSheet3Show();
  EXPECT_TRUE(view.rbregtool);
  EXPECT_FALSE(view.rbregtooln);
  reg.SetDword(CU, kRegistryToolsLockKey, "DisableRegistryTools", 7);
  page.TabSheet3Show();
  EXPECT_TRUE(view.rbregtool);
  reg.DeleteValue(*reg.Open(CU, nullptr, kRegistryToolsLockKey, false), "DisableRegistryTools");
  page.TabSheet3Show();
  EXPECT_FALSE(view.rbregtool);
  EXPECT_TRUE(view.rbregtooln);
}

TEST_F(Page, NonTextSettingStopsTheShowAtThatStep) {
  reg.SetDword(LM, kMain, "Window Title", 3);
  view.edtitle = "kept";
  try {
    page.TabSheet3Show();
    FAIL();
  } catch (const AppError& e) {
    EXPECT_STREQ(e.what(), "Invalid data type for 'Window Title'");
  }
  EXPECT_EQ(view.edtitle, "kept");
  EXPECT_FALSE(reg.Get(LM, kMain, "Start Page"));
  EXPECT_FALSE(reg.HasKey(CU, kPolicies));
}

TEST_F(Page, TextRegistryToolsLockStopsTheShowBeforeTheHomePageLock) {
  reg.SetString(CU, kRegistryToolsLockKey, "DisableRegistryTools", "1");
  reg.SetDword(CU, kHomePageLockKey, "homepage", 1);
  EXPECT_THROW(page.TabSheet3Show(), AppError);
  EXPECT_EQ(view.edpage, "about:blank");
  EXPECT_FALSE(view.rbregtool);
  EXPECT_FALSE(view.rbregtooln);
  EXPECT_FALSE(view.cbsetpage);
}

TEST_F(Page, UnreachableKeysLeaveTheBoxesAndCreateNothingElsewhere) {
  reg.SetDword(CU, kHomePageLockKey, "homepage", 1);
  reg.Deny(LM, "Software\\Microsoft\\Internet explorer");
  reg.Deny(CU, kPolicies);
  reg.Deny(CU, "Software\\Policies");
  view.edpage = "typed page";
  view.edtitle = "typed title";
  ASSERT_NO_THROW(page.TabSheet3Show());
  EXPECT_EQ(view.edpage, "typed page");
  EXPECT_EQ(view.edtitle, "typed title");
  EXPECT_TRUE(view.rbregtooln);
  EXPECT_FALSE(view.cbsetpage);
  // Relative paths must not land at the root when their parent could not be opened.
  EXPECT_FALSE(reg.HasKey(CU, "System"));
  EXPECT_FALSE(reg.HasKey(CU, "Internet Explorer"));
  EXPECT_FALSE(reg.HasKey(CU, "Control Panel"));
}

TEST_F(Page, SystemKeyThatCannotBeCreatedCountsAsNoLock) {
  reg.CreatePath(CU, kPolicies);
  reg.MakeReadOnly(CU, kPolicies);
  ASSERT_NO_THROW(page.TabSheet3Show());
  EXPECT_TRUE(view.rbregtooln);
  EXPECT_FALSE(reg.HasKey(CU, kRegistryToolsLockKey));
  EXPECT_FALSE(reg.HasKey(CU, "System"));
}

// ---- the list ------------------------------------------------------------------------------

TEST_F(Page, RowsComeInStoreOrderWithTheirColumnsAndIcons) {
  Toolbar("{T1}", "Search Bar", "C:\\Program Files\\Bar\\bar.dll");
  Toolbar("{T2}", "", "");
  icons.shortPaths["C:\\Program Files\\Bar\\bar.dll"] = "C:\\PROGRA~1\\Bar\\bar.dll";
  Extension("{E1}", "Research", "C:\\x.dll,3");
  Extension("{E2}", "", "C:\\y.ico");
  reg.SetString(LM, Under(kExtensionStore, "{E3}"), "MenuText", "Menu only");
  reg.SetString(LM, Under(kExtensionStore, "{E3}"), "HotIcon", "C:\\z.dll,abc");
  Menu("Translate", "res://t.htm");
  Menu("Empty", "");

  page.TabSheet3Show();
  ASSERT_EQ(view.rows.size(), 7u);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(view.rows[i].first.store, AddOnStore::Toolbar);
  for (int i = 2; i < 5; ++i) EXPECT_EQ(view.rows[i].first.store, AddOnStore::Extension);
  for (int i = 5; i < 7; ++i) EXPECT_EQ(view.rows[i].first.store, AddOnStore::MenuExtension);
  for (auto& r : view.rows) EXPECT_FALSE(r.second);

  const AddOnRow* bar = Find("Search Bar");
  ASSERT_TRUE(bar);
  EXPECT_EQ(bar->column2, "{T1}");
  EXPECT_EQ(bar->column3, "C:\\PROGRA~1\\Bar\\bar.dll");
  EXPECT_GE(bar->image, 0);

  const AddOnRow* unregistered = Find("");
  ASSERT_TRUE(unregistered);
  EXPECT_EQ(unregistered->column2, "{T2}");
  EXPECT_EQ(unregistered->column3, "");

  const AddOnRow* research = Find("Research");
  ASSERT_TRUE(research);
  EXPECT_EQ(research->column3, "C:\\x.dll,3");
  ASSERT_TRUE(Find("Menu only"));
  EXPECT_EQ(Find("Menu only")->column3, "C:\\z.dll,abc");

  const AddOnRow* empty = Find("Empty");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->column2, "");
  EXPECT_EQ(empty->image, -1);
  EXPECT_EQ(Find("Translate")->column2, "res://t.htm");

  // Icons: one per toolbar (from the short path) and one per extension (from its spec).
  ASSERT_EQ(icons.calls.size(), 5u);
  bool sawIndex3 = false;
  for (auto& c : icons.calls) {
    EXPECT_EQ(c.list, view.images);
    if (c.path == "C:\\x.dll") sawIndex3 = c.index == 3;
    if (c.path == "C:\\z.dll" || c.path == "C:\\y.ico") {
      EXPECT_EQ(c.index, 0);
    }
  }
  EXPECT_TRUE(sawIndex3);
  // Images are only ever appended: a second show adds new ones.
  page.TabSheet3Show();
  EXPECT_EQ(icons.appended, 10);
}

TEST_F(Page, RowWithoutObtainableIconHasNone) {
  Toolbar("{T}", "NoFile", "C:\\gone.dll");
  icons.noIcon.insert("");
  page.TabSheet3Show();
  ASSERT_EQ(view.rows.size(), 1u);
  EXPECT_EQ(view.rows[0].first.column3, "");
  EXPECT_EQ(view.rows[0].first.image, -1);
}

TEST_F(Page, NonTextValueMidListStopsTheShowAfterTheRowsBeforeIt) {
  Toolbar("{T}", "Bar", "");
  Extension("{E}", "", "");
  reg.SetDword(LM, Under(kExtensionStore, "{E}"), "MenuText", 9);
  Menu("Translate", "res://t.htm");
  view.edtitle = "kept";
  try {
    page.TabSheet3Show();
    FAIL();
  } catch (const AppError& e) {
    EXPECT_STREQ(e.what(), "Invalid data type for 'MenuText'");
  }
  EXPECT_EQ(view.Captions(), std::vector<std::string>{"Bar"});
  EXPECT_EQ(view.edtitle, "kept");
  EXPECT_FALSE(reg.Get(LM, kMain, "Window Title"));
}

// ---- apply -------------------------------------------------------------------------------

TEST_F(Page, ApplyWritesDefaultsNotTypedTextAndSetsTheLocks) {
  page.TabSheet3Show();
  view.edpage = "http://typed.invalid/";
  view.edtitle = "typed";
  view.cbsetpage = true;
  view.SelectRbregtool();
  page.SbiedefaultClick();
  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_EQ(view.edpage, "about:blank");
  EXPECT_EQ(view.edtitle, "Microsoft Internet explorer");
  EXPECT_EQ(reg.Get(LM, kMain, "Start Page")->text, "about:blank");
  EXPECT_EQ(reg.Get(LM, kMain, "Window Title")->text, "Microsoft Internet explorer");
  ASSERT_TRUE(HomePageLock());
  EXPECT_EQ(HomePageLock()->type, RegDataType::Integer);
  EXPECT_EQ(HomePageLock()->dword, 1u);
  ASSERT_TRUE(RegistryToolsLock());
  EXPECT_EQ(RegistryToolsLock()->dword, 1u);
  // The controls keep the user's choice, and showing again agrees with what was written.
  EXPECT_TRUE(view.cbsetpage);
  view.cbsetpage = false;
  view.rbregtool = view.rbregtooln = false;
  page.TabSheet3Show();
  EXPECT_TRUE(view.cbsetpage);
  EXPECT_TRUE(view.rbregtool);
}

TEST_F(Page, ApplyClearsTheLocksAlsoWithNeitherRadioSelected) {
  reg.SetDword(CU, kHomePageLockKey, "homepage", 1);
  reg.SetString(CU, kRegistryToolsLockKey, "DisableRegistryTools", "text is fine to delete");
  page.SbiedefaultClick();
  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_FALSE(HomePageLock());
  EXPECT_FALSE(RegistryToolsLock());

  reg.SetDword(CU, kRegistryToolsLockKey, "DisableRegistryTools", 1);
  view.SelectRbregtooln();
  page.SbiedefaultClick();
  EXPECT_FALSE(RegistryToolsLock());
}

TEST_F(Page, RefusedPolicyWriteShowsTheMessageAndRemovesNoAddOn) {
  Toolbar("{T}", "Bar", "");
  page.TabSheet3Show();
  ASSERT_TRUE(view.Tick("Bar"));
  reg.Deny(CU, "Software\\Policies");
  view.cbsetpage = true;
  view.edpage = "typed";
  page.SbiedefaultClick();
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].owner, owner);
  EXPECT_EQ(ts.messages.shown[0].text, "被杀毒软件拦截，修改失败");
  EXPECT_EQ(ts.messages.shown[0].caption, "温馨提示");
  EXPECT_EQ(ts.messages.shown[0].style, kMbOk);
  // The steps before the failure stay done; the list is neither pruned nor filled again.
  EXPECT_EQ(view.edpage, "about:blank");
  EXPECT_EQ(reg.Get(LM, kMain, "Start Page")->text, "about:blank");
  EXPECT_TRUE(reg.Get(LM, kToolbarStore, "{T}"));
  ASSERT_EQ(view.rows.size(), 1u);
  EXPECT_TRUE(view.rows[0].second);
  EXPECT_FALSE(reg.HasKey(CU, "Control Panel"));
}

TEST_F(Page, ClearingALockWithoutItsKeyAndWithoutTheMachineKeyIsSilent) {
  reg.Deny(CU, "Software\\Policies");
  reg.Deny(CU, kPolicies);
  reg.Deny(LM, "Software\\Microsoft\\Internet explorer");
  Menu("Translate", "res://t.htm");
  page.TabSheet3Show();
  view.Tick("Translate");
  page.SbiedefaultClick();
  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_FALSE(reg.HasKey(CU, Under(kMenuExtensionStore, "Translate")));
  EXPECT_TRUE(view.rows.empty());
}

TEST_F(Page, TickedRowIsRemovedFromItsOwnStoreOnly) {
  // A toolbar whose display name equals a context-menu entry's text, and whose class id is
  // also an extension's subkey.
  Toolbar("{Shared}", "Translate", "");
  Extension("{Shared}", "Button", "");
  Menu("Translate", "res://t.htm");
  Menu("Other", "");
  page.TabSheet3Show();
  ASSERT_EQ(view.rows.size(), 4u);
  ASSERT_TRUE(view.Tick("Translate"));  // the toolbar row comes first
  ASSERT_EQ(view.rows[0].first.store, AddOnStore::Toolbar);
  page.SbiedefaultClick();
  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_FALSE(reg.Get(LM, kToolbarStore, "{Shared}"));
  EXPECT_TRUE(reg.HasKey(LM, Under(kExtensionStore, "{Shared}")));
  EXPECT_TRUE(reg.HasKey(CU, Under(kMenuExtensionStore, "Translate")));
  // Rebuilt from the registry, all unticked.
  std::vector<std::string> captions = view.Captions();
  std::sort(captions.begin(), captions.end());
  EXPECT_EQ(captions, (std::vector<std::string>{"Button", "Other", "Translate"}));
  for (auto& r : view.rows) EXPECT_FALSE(r.second);
}

TEST_F(Page, TickedExtensionAndMenuRowsGoFromTheirStores) {
  Toolbar("{E}", "Bar", "");
  Extension("{E}", "Button", "");
  Menu("Button", "");
  Menu("Empty", "");
  page.TabSheet3Show();
  view.Tick("Button");  // the extension row
  ASSERT_EQ(view.rows[1].first.store, AddOnStore::Extension);
  view.rows[3].second = true;  // "Empty", a menu entry without a default value
  ASSERT_EQ(view.rows[3].first.caption, "Empty");
  page.SbiedefaultClick();
  EXPECT_FALSE(reg.HasKey(LM, Under(kExtensionStore, "{E}")));
  EXPECT_TRUE(reg.Get(LM, kToolbarStore, "{E}"));
  EXPECT_TRUE(reg.HasKey(CU, Under(kMenuExtensionStore, "Button")));
  EXPECT_FALSE(reg.HasKey(CU, Under(kMenuExtensionStore, "Empty")));
  EXPECT_EQ(view.Captions(), (std::vector<std::string>{"Bar", "Button"}));
}

TEST_F(Page, WithNoStoresTheApplyRemovesNothing) {
  page.TabSheet3Show();
  page.SbiedefaultClick();
  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_TRUE(view.rows.empty());
  EXPECT_FALSE(reg.HasKey(LM, kToolbarStore));
}

TEST_F(Page, NonTextValueDuringTheRefillEndsTheApplyWithItsMessage) {
  Toolbar("{T}", "Bar", "");
  Menu("Translate", "res://t.htm");
  page.TabSheet3Show();
  view.Tick("Bar");
  reg.SetDword(CU, Under(kMenuExtensionStore, "Translate"), "", 4);
  page.SbiedefaultClick();
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, "被杀毒软件拦截，修改失败");
  EXPECT_FALSE(reg.Get(LM, kToolbarStore, "{T}"));  // removed before the failure
  EXPECT_TRUE(view.rows.empty());                   // refill cleared, then stopped
}

}  // namespace
}  // namespace mt
