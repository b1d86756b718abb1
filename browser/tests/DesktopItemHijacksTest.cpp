// Fake browser icons on the desktop as rows: namespace items whose class claims to be a
// browser and opens something else, browser-named .url files; their repair, backup and
// restore.
#include <gtest/gtest.h>

#include "app/BackupSets.h"
#include "app/Change.h"
#include "app/ChangePlaces.h"
#include "app/Error.h"
#include "app/Restore.h"
#include "browser/tests/HijackFixture.h"
#include "tests/support/YesToAll.h"

namespace mt {
namespace {

using namespace test;

const std::string kNs = std::string(kDesktopNameSpaceKey) + "\\";
const std::string kCls = "SOFTWARE\\Classes\\CLSID\\";
const std::string kCls32 = "SOFTWARE\\Classes\\WOW6432Node\\CLSID\\";
const std::string kFakeIe = "{11111111-2222-3333-4444-000000000001}";
const std::string kFakeNav = "{11111111-2222-3333-4444-000000000002}";
const std::string kPan = "{11111111-2222-3333-4444-000000000003}";
const std::string kRealChrome = "{11111111-2222-3333-4444-000000000004}";
const std::string kOrphan = "{11111111-2222-3333-4444-000000000005}";
const std::string kOrphanOther = "{11111111-2222-3333-4444-000000000006}";
const std::string kKnowledge = "{11111111-2222-3333-4444-000000000007}";
const std::string kRecycleBin = "{645FF040-5081-101B-9F08-00AA002F954E}";

class DesktopItems : public Hijacks {
 protected:
  std::string publicDesktop = root + "\\Public Desktop";

  void SetUp() override {
    Hijacks::SetUp();
    ts.files.CreateDirectories(publicDesktop);
    ts.shortcuts.folders.push_back({ShortcutPlace::PublicDesktop, publicDesktop, false});
  }
  // A class with a name, an icon and one verb's command, below `classes` of `root`.
  void Class(RegRoot r, const std::string& classes, const std::string& clsid,
             const std::string& name, const std::string& icon, const std::string& command,
             const std::string& verb = "open") {
    reg.SetString(r, classes + clsid, "", name);
    if (!icon.empty()) reg.SetString(r, classes + clsid + "\\DefaultIcon", "", icon);
    if (!command.empty())
      reg.SetString(r, classes + clsid + "\\shell\\" + verb + "\\command", "", command);
  }
  // The machine every test starts from: two fake items, the system's Recycle Bin dressed as
  // one, and the items that are no hijack.
  void SeedNameSpace() {
    // A fake "Internet Explorer" of the user: the browser with a navigation site.
    reg.SetString(CU, kNs + kFakeIe, "", "Internet Explorer");
    Class(CU, kCls, kFakeIe, "Internet Explorer",
          "C:\\Program Files\\Internet Explorer\\ieframe.dll,-190",
          "\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" http://nav.hijack.invalid/?ie");
    // Chrome's icon on a program of its own, in the 32-bit view of the machine, its class
    // in both class trees of the machine.
    reg.CreatePath(LM, kNs + kFakeNav, W32);
    Class(LM, kCls32, kFakeNav, "上网导航", "C:\\Programs\\chrome.exe,0",
          "C:\\Program Files\\Nav Tool\\nav.exe /start", "OpenHomePage");
    Class(LM, kCls, kFakeNav, "上网导航", "", "");
    // The system's Recycle Bin is never listed, whatever its class says.
    reg.CreatePath(LM, kNs + kRecycleBin);
    Class(LM, kCls, kRecycleBin, "Internet Explorer", "", "iexplore.exe http://x.hijack.invalid/");
    // No hijacks: a cloud drive, Chrome's own item starting Chrome without an address, a
    // name that only holds a browser's name inside a word, a key that is no class.
    reg.CreatePath(CU, kNs + kPan);
    Class(CU, kCls, kPan, "Mirtak 网盘", "C:\\Pan\\pan.exe,0", "C:\\Pan\\pan.exe /open");
    reg.CreatePath(CU, kNs + kRealChrome);
    Class(CU, kCls, kRealChrome, "Google Chrome", "",
          "\"C:\\Programs\\chrome.exe\" --profile-directory=Default");
    reg.CreatePath(LM, kNs + kKnowledge);
    Class(LM, kCls, kKnowledge, "Knowledgebase", "", "C:\\kb\\kb.exe");
    reg.SetString(LM, kNs + "DelegateFolders\\{AAAAAAAA-0000-0000-0000-000000000000}", "", "x");
    // Entries whose class is gone: one still carries a browser's name, one another program's.
    reg.SetString(LM, kNs + kOrphan, "", "Internet Explorer");
    reg.SetString(CU, kNs + kOrphanOther, "", "Old Drive");
  }
  void RestoreAll() {
    const ChangeEnv env = ChangeEnvOf(ts.services);
    const BackupSetInfo set = ReadBackupSet(env, ChangeKinds::Basic(), Sets().back());
    ASSERT_TRUE(set.damage.empty()) << set.damage;
    std::vector<size_t> all;
    for (size_t i = 0; i < set.items.size(); ++i) all.push_back(i);
    YesToAll yes;
    const RestoreReport report = RestoreItems(env, ts.services.exeDir, set, all, yes);
    ASSERT_TRUE(report.refused.empty()) << report.refused;
    for (const RestoreOutcome& o : report.items) EXPECT_TRUE(o.back) << o.place << o.reason;
  }
};

// Only the items that claim a browser and open something else are listed, each once with
// its scope, what it claims and what it opens; an entry without its class only when it
// still carries a browser's name.
TEST_F(DesktopItems, NameSpaceItemsThatClaimABrowserAndOpenSomethingElseAreRows) {
  const std::string chrome = Install("chrome.exe");
  SeedNameSpace();
  page.TabSheet3Show();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;

  auto rows = HijackRows();
  std::vector<std::string> captions;
  for (const AddOnRow* r : rows) captions.push_back(r->caption);
  const std::vector<std::string> want = {
      "桌面图标（冒充Internet Explorer，当前用户）：Internet Explorer → "
      "http://nav.hijack.invalid/?ie",
      "桌面图标（冒充Internet Explorer，所有用户）：Internet Explorer 类已不存在 " + kOrphan,
      "桌面图标（冒充Chrome，所有用户，32位）：上网导航 → C:\\Program Files\\Nav Tool\\nav.exe "
      "/start",
  };
  ASSERT_EQ(captions, want);
  EXPECT_EQ(rows[0]->column2, "HKEY_CURRENT_USER\\" + kNs + kFakeIe);
  EXPECT_EQ(rows[2]->column2,
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\"
            "CurrentVersion\\Explorer\\Desktop\\NameSpace\\" +
                kFakeNav);
  EXPECT_EQ(rows[2]->hijack->iconPath, chrome);
  for (const AddOnRow* r : rows) EXPECT_EQ(r->column3, "删除");
  // The user's own item whose class is the user's: the user may repair it.
  EXPECT_FALSE(IsMachineWide(*rows[0]->hijack, {}));
  EXPECT_TRUE(IsMachineWide(*rows[1]->hijack, {}));
  EXPECT_TRUE(IsMachineWide(*rows[2]->hijack, {}));
  // A user's entry whose class the machine registered changes the machine.
  reg.SetString(LM, kCls + kFakeIe, "", "Internet Explorer");
  page.TabSheet3Show();
  ASSERT_EQ(RowOf(want[0]), 0);
  EXPECT_TRUE(IsMachineWide(*view.rows[0].hijack, {}));
}

TEST(DesktopItemRules, BrowserClaimsSystemItemsAndClassKeys) {
  EXPECT_STREQ(BrowserClaimedBy("Internet Explorer")->exe, "iexplore.exe");
  EXPECT_STREQ(BrowserClaimedBy("打开 Google Chrome (2)")->exe, "chrome.exe");
  EXPECT_STREQ(BrowserClaimedBy("microsoft edge")->exe, "msedge.exe");
  EXPECT_STREQ(BrowserClaimedBy("360安全浏览器")->exe, "360se.exe");
  // Plain words claim a browser without naming one.
  EXPECT_STREQ(BrowserClaimedBy("极速浏览器")->exe, "");
  EXPECT_STREQ(BrowserClaimedBy("My Web Browser")->exe, "");
  for (const char* none : {"Knowledge", "Edgeware", "Fireforce", "Mirtak 网盘", "", "Browsers"})
    EXPECT_EQ(BrowserClaimedBy(none), nullptr) << none;

  EXPECT_TRUE(IsSystemNameSpaceItem("{645ff040-5081-101b-9f08-00aa002f954e}"));
  EXPECT_TRUE(IsSystemNameSpaceItem("20D04FE0-3AEA-1069-A2D8-08002B30309D"));
  EXPECT_TRUE(IsSystemNameSpaceItem("{018D5C66-4533-4307-9B53-224DE2ED1FE6}"));
  EXPECT_FALSE(IsSystemNameSpaceItem(kFakeIe));

  MemoryRegistry registry;
  registry.CreatePath(CU, kCls + kFakeIe);
  registry.CreatePath(LM, kCls32 + kFakeIe);
  registry.CreatePath(LM, kCls + kFakeNav);
  const std::vector<std::pair<RegRoot, std::string>> keys = {{CU, kCls + kFakeIe},
                                                             {LM, kCls32 + kFakeIe}};
  EXPECT_EQ(ClassKeysOf(registry, kFakeIe), keys);
  EXPECT_TRUE(ClassKeysOf(registry, kPan).empty());
  EXPECT_TRUE(ClassKeysOf(registry, "").empty());
  EXPECT_TRUE(ClassKeysOf(registry, "..\\x").empty());
}

// The ticked items go with every key of their class, after all of them were saved; the
// rest of the namespace and the classes stay; the set restores each key where it was.
TEST_F(DesktopItems, RepairRemovesTheEntryAndItsClassKeysAndTheSetPutsThemBack) {
  SeedNameSpace();
  // The user's fake item is also named by the machine's namespace: two rows, one class.
  reg.CreatePath(LM, kNs + kFakeIe);
  reg.SetString(CU, kCls + kFakeIe + "\\shell\\open\\command", "Extra", "kept in the set");
  page.TabSheet3Show();
  ASSERT_EQ(HijackRows().size(), 4u);
  Tick("桌面图标（冒充Internet Explorer，当前用户）");
  Tick("桌面图标（冒充Internet Explorer，所有用户）：Internet Explorer →");
  Tick("桌面图标（冒充Chrome，所有用户，32位）");
  page.SbiedefaultClick();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;

  EXPECT_FALSE(reg.HasKey(CU, kNs + kFakeIe));
  EXPECT_FALSE(reg.HasKey(LM, kNs + kFakeIe));
  EXPECT_FALSE(reg.HasKey(CU, kCls + kFakeIe));
  EXPECT_FALSE(reg.HasKey(LM, kNs + kFakeNav, W32));
  EXPECT_FALSE(reg.HasKey(LM, kCls32 + kFakeNav));
  EXPECT_FALSE(reg.HasKey(LM, kCls + kFakeNav));
  // Everything else is as it was.
  for (const std::string& id : {kPan, kRealChrome, kOrphanOther})
    EXPECT_TRUE(reg.HasKey(CU, kNs + id));
  for (const std::string& id : {kRecycleBin, kKnowledge, kOrphan})
    EXPECT_TRUE(reg.HasKey(LM, kNs + id));
  for (const std::string& id : {kPan, kRealChrome}) EXPECT_TRUE(reg.HasKey(CU, kCls + id));
  EXPECT_TRUE(reg.HasKey(LM, kCls + kRecycleBin));
  EXPECT_TRUE(reg.HasKey(LM, kNs + "DelegateFolders"));
  ASSERT_EQ(HijackRows().size(), 1u);  // the orphan, unticked

  ExpectInBackup("[HKEY_CURRENT_USER\\" + kNs + kFakeIe + "]\r\n@=\"Internet Explorer\"\r\n");
  ExpectInBackup("[HKEY_CURRENT_USER\\" + kCls + kFakeIe +
                 "\\shell\\open\\command]\r\n@=\"\\\"C:\\\\Program Files");
  ExpectInBackup("[HKEY_LOCAL_MACHINE\\" + kCls32 + kFakeNav + "\\shell\\OpenHomePage\\command]");
  ExpectInBackup(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\"
      "Explorer\\Desktop\\NameSpace\\" +
      kFakeNav + "]");
  // The class both rows name is saved once.
  const std::string text = RegText();
  const std::string header = "[HKEY_CURRENT_USER\\" + kCls + kFakeIe + "]";
  ASSERT_NE(text.find(header), std::string::npos);
  EXPECT_EQ(text.find(header, text.find(header) + 1), std::string::npos);

  ASSERT_NO_FATAL_FAILURE(RestoreAll());
  EXPECT_EQ(reg.Get(CU, kNs + kFakeIe, "")->text, "Internet Explorer");
  EXPECT_TRUE(reg.HasKey(LM, kNs + kFakeIe));
  EXPECT_EQ(reg.Get(CU, kCls + kFakeIe + "\\shell\\open\\command", "Extra")->text,
            "kept in the set");
  EXPECT_EQ(reg.Get(CU, kCls + kFakeIe + "\\DefaultIcon", "")->text,
            "C:\\Program Files\\Internet Explorer\\ieframe.dll,-190");
  EXPECT_TRUE(reg.HasKey(LM, kNs + kFakeNav, W32));
  EXPECT_FALSE(reg.HasKey(LM, kNs + kFakeNav));  // not into the other view
  EXPECT_EQ(reg.Get(LM, kCls32 + kFakeNav + "\\shell\\OpenHomePage\\command", "")->text,
            "C:\\Program Files\\Nav Tool\\nav.exe /start");
  EXPECT_EQ(reg.Get(LM, kCls + kFakeNav, "")->text, "上网导航");
  page.TabSheet3Show();
  EXPECT_EQ(HijackRows().size(), 4u);
}

// An entry without its class goes alone; nothing else of the namespace goes with it.
TEST_F(DesktopItems, AnEntryWhoseClassIsGoneIsRemovedAlone) {
  SeedNameSpace();
  page.TabSheet3Show();
  Tick("桌面图标（冒充Internet Explorer，所有用户）：Internet Explorer 类已不存在");
  page.SbiedefaultClick();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  EXPECT_FALSE(reg.HasKey(LM, kNs + kOrphan));
  EXPECT_TRUE(reg.HasKey(LM, kNs + kKnowledge));
  EXPECT_TRUE(reg.HasKey(CU, kNs + kFakeIe));
  EXPECT_TRUE(reg.HasKey(CU, kCls + kFakeIe));
  ExpectInBackup("[HKEY_LOCAL_MACHINE\\" + kNs + kOrphan + "]\r\n@=\"Internet Explorer\"\r\n");
}

// The disk with one file that no reader may open.
class UrlDisk : public PosixFileSystem {
 public:
  std::string refused;
  std::unique_ptr<FileStream> OpenRead(const std::string& path) override {
    if (path == refused) throw AppError("Cannot open file \"" + path + "\". 拒绝访问。");
    return PosixFileSystem::OpenRead(path);
  }
};

// Browser-named .url files on both desktops (by name, by icon; in GBK, UTF-8 and UTF-16) are
// rows; other .url files and other files are not; one that cannot be read is named by its
// name and left alone. The repair deletes the file after its copy.
TEST_F(DesktopItems, BrowserNamedUrlFilesAreRowsDeletedAfterTheirCopy) {
  // Written in the ANSI code page, as the system writes them here.
  const std::string ie =
      "[InternetShortcut]\r\nURL=http://nav.hijack.invalid/" + Utf8ToGbk("导航") +
      "\r\n"
      "IconFile=C:\\Program Files\\Internet Explorer\\iexplore.exe\r\nIconIndex=0\r\n";
  const std::string byIcon =
      "\xEF\xBB\xBF[{000214A0-0000-0000-C000-000000000046}]\nProp3=19,2\n"
      "[InternetShortcut]\nIconFile=C:\\Programs\\chrome.exe\n"
      "URL=https://shop.hijack.invalid/\n";
  const std::string utf16 = std::string("\xFF\xFE", 2) +
                            Utf16Le("[InternetShortcut]\r\nURL=http://u16.hijack.invalid/\r\n");
  const std::string mine = "[InternetShortcut]\r\nURL=https://example.org/\r\n";
  WriteWholeFile(desktop + "\\Internet Explorer.url", ie);
  WriteWholeFile(desktop + "\\淘宝.url", byIcon);
  WriteWholeFile(publicDesktop + "\\360安全浏览器.url", utf16);
  WriteWholeFile(desktop + "\\My Site.url", mine);
  WriteWholeFile(desktop + "\\Microsoft Edge.txt", "not a shortcut");
  WriteWholeFile(desktop + "\\Google Chrome.url", "[InternetShortcut]\r\n");
  UrlDisk disk;
  disk.refused = desktop + "\\Firefox.url";
  WriteWholeFile(disk.refused, "[InternetShortcut]\r\nURL=http://fox.hijack.invalid/\r\n");
  WriteWholeFile(desktop + "\\Notes.url", "x");
  ts.services.files = &disk;

  page.TabSheet3Show();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  std::vector<std::string> captions;
  for (const AddOnRow* r : HijackRows()) captions.push_back(r->caption);
  std::sort(captions.begin(), captions.end());
  std::vector<std::string> want = {
      "桌面网址文件 Internet Explorer.url 冒充Internet Explorer：http://nav.hijack.invalid/导航",
      "桌面网址文件 淘宝.url 冒充Chrome：https://shop.hijack.invalid/",
      "公共桌面网址文件 360安全浏览器.url 冒充360安全浏览器：http://u16.hijack.invalid/",
      "桌面网址文件 Google Chrome.url 冒充Chrome：（无网址）",
      std::string("桌面网址文件 Firefox.url 无法检查：") + kCannotOpenFile,
  };
  std::sort(want.begin(), want.end());
  ASSERT_EQ(captions, want);
  const int pub = RowOf("公共桌面网址文件 360安全浏览器.url");
  EXPECT_TRUE(IsMachineWide(*view.rows[pub].hijack, ts.shortcuts.folders));
  EXPECT_FALSE(IsMachineWide(*view.rows[RowOf("桌面网址文件 Internet Explorer.url")].hijack,
                             ts.shortcuts.folders));
  EXPECT_EQ(view.rows[pub].column2, publicDesktop + "\\360安全浏览器.url");
  const int fox = RowOf("桌面网址文件 Firefox.url");
  EXPECT_EQ(view.rows[fox].column3, "未修改");
  EXPECT_FALSE(view.rows[fox].hijack->repairable);

  Tick("桌面网址文件 Internet Explorer.url");
  Tick("公共桌面网址文件 360安全浏览器.url");
  Tick("桌面网址文件 Firefox.url");
  page.SbiedefaultClick();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  EXPECT_FALSE(ts.files.FileExists(desktop + "\\Internet Explorer.url"));
  EXPECT_FALSE(ts.files.FileExists(publicDesktop + "\\360安全浏览器.url"));
  EXPECT_TRUE(ts.files.FileExists(disk.refused));
  EXPECT_EQ(ReadWholeFile(desktop + "\\My Site.url"), mine);
  EXPECT_EQ(HijackRows().size(), 3u);

  // The set holds each deleted file as it was (the restore of files is tested under Wine,
  // where the paths are the system's); the file left alone is not in it.
  EXPECT_EQ(ReadWholeFile(Sets().back() + "\\Internet Explorer.url"), ie);
  EXPECT_EQ(ReadWholeFile(Sets().back() + "\\360安全浏览器.url"), utf16);
  EXPECT_FALSE(ts.files.FileExists(Sets().back() + "\\Firefox.url"));
}

// The restore refuses no place the repair changes, and the new places reach no further.
TEST(DesktopItemPlaces, NameSpaceEntriesAndClassKeysMayBeNamedBySets) {
  EXPECT_TRUE(RegistryPlaceAllowed(CU, kNs + kFakeIe));
  EXPECT_TRUE(RegistryPlaceAllowed(LM, kNs + kFakeIe));
  EXPECT_TRUE(RegistryPlaceAllowed(LM, kCls + kFakeIe));
  EXPECT_TRUE(RegistryPlaceAllowed(CU, kCls32 + kFakeIe + "\\shell\\open\\command"));
  EXPECT_FALSE(RegistryPlaceAllowed(LM, "SOFTWARE\\Classes\\exefile\\shell\\open\\command"));
  EXPECT_FALSE(RegistryPlaceAllowed(LM, "SOFTWARE\\Classes\\CLSIDX\\" + kFakeIe));
  EXPECT_FALSE(RegistryPlaceAllowed(
      CU, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Desktop\\Other"));
  EXPECT_FALSE(RegistryPlaceAllowed(RegRoot::ClassesRoot, "CLSID\\" + kFakeIe));
}

}  // namespace
}  // namespace mt
