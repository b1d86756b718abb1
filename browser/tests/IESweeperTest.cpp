#include <gtest/gtest.h>

#include <algorithm>

#include "app/Error.h"
#include "browser/IESweeperEx.h"
#include "browser/tests/FakePage.h"
#include "tests/support/MemoryRegistry.h"

namespace mt {
namespace {

constexpr RegRoot LM = RegRoot::LocalMachine;
constexpr RegRoot CU = RegRoot::CurrentUser;
constexpr RegRoot CR = RegRoot::ClassesRoot;

std::string Under(const char* store, const std::string& name) {
  return std::string(store) + "\\" + name;
}
std::string ClassKey(const std::string& id) { return "CLSID\\" + id; }

class Sweeper : public ::testing::Test {
 protected:
  test::MemoryRegistry reg;
  test::ScriptedIcons icons;
  TIESweeper sweeper{reg, icons};
  ImageListRef list = reinterpret_cast<ImageListRef>(0x10);

  std::vector<std::string> Toolbars() {
    std::vector<std::string> out;
    sweeper.OnToolbar = [&](TIESweeper*, const std::string& n) { out.push_back(n); };
    sweeper.ListToolbars();
    return out;
  }
};

TEST_F(Sweeper, MissingStoresListNothingReadNothingAndAreNeverCreated) {
  int raised = 0;
  sweeper.OnToolbar = [&](TIESweeper*, const std::string&) { ++raised; };
  sweeper.OnExtension = [&](TIESweeper*, const std::string&) { ++raised; };
  sweeper.OnMenuExtension = [&](TIESweeper*, const std::string&, const std::string&) { ++raised; };
  sweeper.ListToolbars();
  sweeper.ListExtensions();
  sweeper.ListMenuExtensions();
  EXPECT_EQ(raised, 0);
  EXPECT_EQ(sweeper.ReadClassName("{A}"), "");
  EXPECT_EQ(sweeper.ReadClassServer("{A}"), "");
  EXPECT_EQ(sweeper.ReadExtensionCaption("{A}"), "");
  EXPECT_EQ(sweeper.ReadExtensionHotIcon("{A}"), "");
  sweeper.DeleteToolbar("{A}");
  sweeper.DeleteExtension("{A}");
  sweeper.DeleteMenuExtension("{A}");
  EXPECT_FALSE(reg.HasKey(LM, kToolbarStore));
  EXPECT_FALSE(reg.HasKey(LM, kExtensionStore));
  EXPECT_FALSE(reg.HasKey(CU, kMenuExtensionStore));
  EXPECT_FALSE(reg.HasKey(CR, "CLSID"));
}

TEST_F(Sweeper, UnboundEventsAreSimplyNotRaised) {
  reg.SetString(LM, kToolbarStore, "{A}", "");
  reg.CreatePath(LM, Under(kExtensionStore, "{B}"));
  reg.SetString(CU, Under(kMenuExtensionStore, "Open"), "", "res://x");
  EXPECT_NO_THROW(sweeper.ListToolbars());
  EXPECT_NO_THROW(sweeper.ListExtensions());
  EXPECT_NO_THROW(sweeper.ListMenuExtensions());
}

TEST_F(Sweeper, ListersRaiseEveryNameWhileHandlersReadThroughTheSameHandle) {
  for (const char* id : {"{A}", "{B}", "{C}"}) {
    reg.SetString(LM, kToolbarStore, id, "");
    reg.SetString(CR, ClassKey(id), "", std::string("name ") + id);
    reg.CreatePath(LM, Under(kExtensionStore, id));
    reg.SetString(LM, Under(kExtensionStore, id), "ButtonText", std::string("btn ") + id);
  }
  reg.SetString(CU, Under(kMenuExtensionStore, "Translate"), "", "res://t.dll/t.htm");
  reg.CreatePath(CU, Under(kMenuExtensionStore, "Blank"));

  std::vector<std::string> seen;
  sweeper.OnToolbar = [&](TIESweeper* s, const std::string& n) {
    EXPECT_EQ(s, &sweeper);
    seen.push_back(s->ReadClassName(n));
  };
  sweeper.OnExtension = [&](TIESweeper* s, const std::string& n) {
    seen.push_back(s->ReadExtensionCaption(n));
    s->ReadClassServer(n);  // another store on the shared handle
  };
  std::vector<std::pair<std::string, std::string>> menus;
  sweeper.OnMenuExtension = [&](TIESweeper* s, const std::string& n, const std::string& v) {
    s->ReadClassName("{A}");
    menus.emplace_back(n, v);
  };
  sweeper.ListToolbars();
  sweeper.ListExtensions();
  sweeper.ListMenuExtensions();
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<std::string>{"btn {A}", "btn {B}", "btn {C}", "name {A}",
                                            "name {B}", "name {C}"}));
  std::sort(menus.begin(), menus.end());
  ASSERT_EQ(menus.size(), 2u);
  EXPECT_EQ(menus[0], (std::pair<std::string, std::string>{"Blank", ""}));
  EXPECT_EQ(menus[1], (std::pair<std::string, std::string>{"Translate", "res://t.dll/t.htm"}));
}

TEST_F(Sweeper, ClassReadsCoverMissingRegistrationAndServer) {
  reg.SetString(CR, ClassKey("{Named}"), "", "Search Bar");
  reg.SetString(CR, ClassKey("{Full}"), "", "Helper");
  reg.SetString(CR, ClassKey("{Full}") + "\\InprocServer32", "", "C:\\Bar\\helper.dll");
  reg.SetString(CR, ClassKey("{Full}") + "\\InprocServer32", "ThreadingModel", "Apartment");
  EXPECT_EQ(sweeper.ReadClassName("{Missing}"), "");
  EXPECT_EQ(sweeper.ReadClassServer("{Missing}"), "");
  EXPECT_EQ(sweeper.ReadClassName("{Named}"), "Search Bar");
  EXPECT_EQ(sweeper.ReadClassServer("{Named}"), "");
  EXPECT_EQ(sweeper.ReadClassName("{full}"), "Helper");
  EXPECT_EQ(sweeper.ReadClassServer("{Full}"), "C:\\Bar\\helper.dll");
  // An empty id names no class: the default value of CLSID itself is not read.
  reg.SetString(CR, "CLSID", "", "not a class");
  EXPECT_EQ(sweeper.ReadClassName(""), "");
}

TEST_F(Sweeper, ExtensionCaptionPrefersButtonTextAndHotIconIsReadAsStored) {
  const std::string both = Under(kExtensionStore, "{Both}");
  reg.SetString(LM, both, "MenuText", "menu");
  reg.SetString(LM, both, "ButtonText", "button");
  reg.SetString(LM, both, "HotIcon", "C:\\x.dll,3");
  reg.SetString(LM, Under(kExtensionStore, "{Menu}"), "MenuText", "only menu");
  reg.SetString(LM, Under(kExtensionStore, "{None}"), "Icon", "C:\\y.ico");
  EXPECT_EQ(sweeper.ReadExtensionCaption("{Both}"), "button");
  EXPECT_EQ(sweeper.ReadExtensionCaption("{Menu}"), "only menu");
  EXPECT_EQ(sweeper.ReadExtensionCaption("{None}"), "");
  EXPECT_EQ(sweeper.ReadExtensionHotIcon("{Both}"), "C:\\x.dll,3");
  EXPECT_EQ(sweeper.ReadExtensionHotIcon("{None}"), "");
}

TEST_F(Sweeper, NonTextValuesFailWithTheValueName) {
  reg.SetDword(LM, Under(kExtensionStore, "{E}"), "ButtonText", 5);
  reg.SetBinary(CR, ClassKey("{C}"), "", "\x01\x02");
  reg.SetString(CU, Under(kMenuExtensionStore, "A"), "", "ok");
  reg.SetDword(CU, Under(kMenuExtensionStore, "B"), "", 1);
  try {
    sweeper.ReadExtensionCaption("{E}");
    FAIL();
  } catch (const AppError& e) {
    EXPECT_STREQ(e.what(), "Invalid data type for 'ButtonText'");
  }
  EXPECT_THROW(sweeper.ReadClassName("{C}"), AppError);
  // The menu entry with a DWORD default value stops the listing when it is reached.
  std::vector<std::string> names;
  sweeper.OnMenuExtension = [&](TIESweeper*, const std::string& n, const std::string&) {
    names.push_back(n);
  };
  EXPECT_THROW(sweeper.ListMenuExtensions(), AppError);
  EXPECT_EQ(names, std::vector<std::string>{"A"});
}

TEST_F(Sweeper, ExpandStringsReadUnexpanded) {
  RegValue v;
  v.type = RegDataType::ExpandString;
  v.text = "%SystemRoot%\\system32\\shdocvw.dll";
  reg.CreatePath(CR, ClassKey("{X}"));
  reg.Set(*reg.Open(CR, nullptr, "CLSID\\{X}\\InprocServer32", true), "", v);
  EXPECT_EQ(sweeper.ReadClassServer("{X}"), "%SystemRoot%\\system32\\shdocvw.dll");
}

TEST_F(Sweeper, DeniedStoreCountsAsMissing) {
  reg.SetString(LM, kToolbarStore, "{A}", "");
  reg.Deny(LM, kToolbarStore);
  EXPECT_TRUE(Toolbars().empty());
  sweeper.DeleteToolbar("{A}");  // nothing to reach, nothing thrown
}

TEST_F(Sweeper, DeletionsTouchOneStoreAndFollowTheNameRules) {
  reg.SetString(LM, kToolbarStore, "{A}", "");
  reg.SetString(LM, kToolbarStore, "{B}", "");
  reg.SetString(LM, kToolbarStore, "", "default value of the store");
  reg.SetString(LM, Under(kExtensionStore, "{A}") + "\\Sub", "x", "y");
  reg.CreatePath(LM, Under(kExtensionStore, "Outer\\Inner"));
  reg.SetString(CU, Under(kMenuExtensionStore, "{A}"), "", "res://a");
  reg.CreatePath(CU, Under(kMenuExtensionStore, "Outer\\Inner"));

  sweeper.DeleteToolbar("{a}");
  EXPECT_FALSE(reg.Get(LM, kToolbarStore, "{A}"));
  EXPECT_TRUE(reg.Get(LM, kToolbarStore, "{B}"));
  EXPECT_TRUE(reg.HasKey(LM, Under(kExtensionStore, "{A}")));
  EXPECT_TRUE(reg.HasKey(CU, Under(kMenuExtensionStore, "{A}")));

  sweeper.DeleteToolbar("");
  EXPECT_TRUE(reg.Get(LM, kToolbarStore, ""));

  sweeper.DeleteExtension("{A}");
  EXPECT_FALSE(reg.HasKey(LM, Under(kExtensionStore, "{A}")));
  EXPECT_TRUE(reg.HasKey(CU, Under(kMenuExtensionStore, "{A}")));

  sweeper.DeleteExtension("Outer\\Inner");
  sweeper.DeleteMenuExtension("Outer\\Inner");
  sweeper.DeleteExtension("");
  sweeper.DeleteMenuExtension("");
  EXPECT_TRUE(reg.HasKey(LM, Under(kExtensionStore, "Outer\\Inner")));
  EXPECT_TRUE(reg.HasKey(CU, Under(kMenuExtensionStore, "Outer\\Inner")));
  EXPECT_TRUE(reg.HasKey(LM, kExtensionStore));
  EXPECT_TRUE(reg.HasKey(CU, kMenuExtensionStore));

  sweeper.DeleteMenuExtension("{A}");
  EXPECT_FALSE(reg.HasKey(CU, Under(kMenuExtensionStore, "{A}")));
}

TEST_F(Sweeper, IconsFromFilesAndSpecifications) {
  EXPECT_EQ(sweeper.AddFileIcon("C:\\a.dll", list), 0);
  EXPECT_EQ(sweeper.AddIconFromSpec({"C:\\x.dll", "3"}, list), 1);
  EXPECT_EQ(sweeper.AddIconFromSpec({"C:\\x.dll"}, list), 2);
  EXPECT_EQ(sweeper.AddIconFromSpec({"C:\\x.dll", "abc", "ignored"}, list), 3);
  EXPECT_EQ(sweeper.AddIconFromSpec({}, list), 4);
  sweeper.AddIconFromSpec({"C:\\x.dll", "70000"}, list);  // only 16 bits reach the shell
  icons.noIcon.insert("C:\\none.txt");
  EXPECT_EQ(sweeper.AddIconFromSpec({"C:\\none.txt", "1"}, list), -1);

  ASSERT_EQ(icons.calls.size(), 7u);
  for (auto& c : icons.calls) EXPECT_EQ(c.list, list);
  EXPECT_EQ(icons.calls[0].index, 0);
  EXPECT_EQ(icons.calls[1].path, "C:\\x.dll");
  EXPECT_EQ(icons.calls[1].index, 3);
  EXPECT_EQ(icons.calls[2].index, 0);
  EXPECT_EQ(icons.calls[3].index, 0);
  EXPECT_EQ(icons.calls[4].path, "");
  EXPECT_EQ(icons.calls[5].index, 70000 - 65536);
}

TEST(IconSpec, SplitsAtEveryCommaLikeAStringList) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitIconSpec(""), V{});
  EXPECT_EQ(SplitIconSpec("C:\\a.ico"), V{"C:\\a.ico"});
  EXPECT_EQ(SplitIconSpec("C:\\a.dll,3"), (V{"C:\\a.dll", "3"}));
  EXPECT_EQ(SplitIconSpec("C:\\a.dll,"), V{"C:\\a.dll"});
  EXPECT_EQ(SplitIconSpec("a,,b,c"), (V{"a", "", "b", "c"}));
  EXPECT_EQ(SplitIconSpec(","), V{""});
  EXPECT_EQ(SplitIconSpec("a\r\nb"), (V{"a", "b"}));
}

}  // namespace
}  // namespace mt
