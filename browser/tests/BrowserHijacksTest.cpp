// The findings about today's browsers as a whole: the backup of the apply, which findings
// belong to the whole machine and what a standard user's "自动反修" repairs.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/AdminRights.h"

#include "browser/tests/HijackFixture.h"

namespace mt {
namespace {

using namespace test;

TEST_F(Hijacks, TheBackupHoldsTheValuesTheApplyOverwritesInBothViews) {
  const std::string main = "Software\\Microsoft\\Internet explorer\\Main";
  reg.SetString(LM, main, "Start Page", "http://hijack.cn/");
  reg.SetString(LM, main, "Window Title", "Hijacked");
  reg.SetString(LM, main, "Start Page", "http://hijack32.cn/", W32);  // no title there
  reg.SetString(CU, kHomePageLockKey, kHomePageLockValue, "1");
  page.TabSheet3Show();
  view.cbsetpage = true;
  page.SbiedefaultClick();
  ASSERT_TRUE(ts.messages.shown.empty());
  ExpectInBackup(
      "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Internet explorer\\Main]\r\n"
      "\"Window Title\"=\"Hijacked\"\r\n");
  ExpectInBackup(
      "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Internet explorer\\Main]\r\n"
      "\"Start Page\"=\"http://hijack.cn/\"\r\n");
  ExpectInBackup(
      "[HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\Microsoft\\Internet explorer\\Main]"
      "\r\n\"Start Page\"=\"http://hijack32.cn/\"\r\n");
  // What the apply adds is taken back on import: the missing title and the lock's type.
  ExpectInBackup(
      "[HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\Microsoft\\Internet explorer\\Main]"
      "\r\n\"Window Title\"=-\r\n");
  ExpectInBackup(
      "[HKEY_CURRENT_USER\\Software\\Policies\\Microsoft\\Internet Explorer\\Control "
      "Panel]\r\n\"homepage\"=\"1\"\r\n");
  // A second apply has nothing left to overwrite: no new set.
  page.SbiedefaultClick();
  EXPECT_EQ(Sets().size(), 1u);

  // A key the apply creates is deleted again on import, from its outermost new level.
  reg.DeleteTree(LM, nullptr, "Software\\Microsoft\\Internet explorer", W32);
  page.SbiedefaultClick();
  ASSERT_EQ(Sets().size(), 2u);
  ExpectInBackup("[-HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\Microsoft\\Internet explorer]\r\n");
  // A key that exists but is refused is not recorded as missing.
  DeletionBackup backup(reg, ts.files, ts.services.exeDir);
  reg.Deny(LM, "Software\\Microsoft\\Internet explorer");
  backup.SaveOverwrite(LM, RegView::Native, main, "Start Page");
  EXPECT_TRUE(backup.Empty());
}

// Whether a finding belongs to the whole machine: by its policy root, its kind, and for a
// shortcut by the shared folder it lies in (not a folder that merely starts with that name).
TEST(HijackRights, MachineWideByRootKindAndSharedFolder) {
  const std::vector<ShortcutFolder> folders = {
      {ShortcutPlace::Desktop, "C:\\Users\\u\\Desktop", false},
      {ShortcutPlace::PublicDesktop, "C:\\Users\\Public\\Desktop\\", false},
      {ShortcutPlace::CommonStartMenu, "C:\\ProgramData\\Start Menu", true}};
  Hijack h;
  h.module = &PolicyHijacks();
  h.key = kEdge;
  h.value = "HomepageLocation";
  h.root = LM;
  EXPECT_TRUE(IsMachineWide(h, folders));
  h.root = CU;
  EXPECT_FALSE(IsMachineWide(h, folders));
  h.value.clear();  // a list key
  EXPECT_FALSE(IsMachineWide(h, folders));
  h.module = &EnrolmentHijacks();
  EXPECT_TRUE(IsMachineWide(h, folders));
  h.module = &FirefoxPolicyHijacks();
  EXPECT_TRUE(IsMachineWide(h, folders));
  h.module = &ShortcutHijacks();
  for (const char* shared : {"C:\\Users\\Public\\Desktop\\Edge.lnk",
                             "c:\\programdata\\start menu\\Programs\\Chrome.lnk"}) {
    h.path = shared;
    EXPECT_TRUE(IsMachineWide(h, folders)) << shared;
  }
  for (const char* own : {"C:\\Users\\u\\Desktop\\Edge.lnk", "C:\\Users\\Public\\Desktop2\\a.lnk",
                          "C:\\ProgramData\\Start Menu"}) {
    h.path = own;
    EXPECT_FALSE(IsMachineWide(h, folders)) << own;
  }
}

// A standard user's "自动反修": the locks and the user's own findings are repaired and saved;
// the machine's start page and title, an HKLM policy, the machine's add-on store and a shortcut
// on the public Desktop stay as they are, out of the backup set, and one notice names them.
TEST_F(Hijacks, WithoutAdministratorRightsOnlyTheUsersFindingsAreRepaired) {
  const std::string edge = Install("msedge.exe");
  const std::string publicDesktop = root + "\\Public Desktop";
  ts.files.CreateDirectories(publicDesktop);
  ts.shortcuts.folders.push_back({ShortcutPlace::PublicDesktop, publicDesktop, false});
  const std::string mine = desktop + "\\Microsoft Edge.lnk";
  const std::string shared = publicDesktop + "\\Microsoft Edge.lnk";
  ts.shortcuts.Make(mine, {edge, "http://a.cn", "", "", 0});
  ts.shortcuts.Make(shared, {edge, "http://b.cn", "", "", 0});
  reg.SetString(LM, kEdge, "HomepageLocation", "http://hijack.cn/");
  reg.SetString(CU, kChrome, "HomepageLocation", "http://mine.cn/");
  reg.SetString(LM, kToolbarStore, "{11111111-2222-3333-4444-555555555555}", "");
  reg.SetString(RegRoot::ClassesRoot, "CLSID\\{11111111-2222-3333-4444-555555555555}", "",
                "Bad Bar");
  const std::string main = "Software\\Microsoft\\Internet explorer\\Main";
  reg.SetString(LM, main, "Start Page", "http://start.cn/");
  page.TabSheet3Show();
  for (size_t i = 0; i < view.ticks.size(); ++i) view.ticks[i] = true;
  view.rbregtool = true;  // set the registry-tools lock (the user's own key)
  ts.admin.held = false;

  page.SbiedefaultClick();

  auto text = [&](RegRoot r, const std::string& key, const std::string& name) {
    const std::optional<RegValue> v = reg.Get(r, key, name);
    return v ? v->text : std::string("(none)");
  };
  EXPECT_EQ(text(LM, main, "Start Page"), "http://start.cn/");
  EXPECT_FALSE(reg.Get(LM, main, "Start Page", W32));
  EXPECT_EQ(text(LM, kEdge, "HomepageLocation"), "http://hijack.cn/");
  EXPECT_TRUE(reg.Get(LM, kToolbarStore, "{11111111-2222-3333-4444-555555555555}"));
  EXPECT_EQ(ts.shortcuts.Read(shared).arguments, "http://b.cn");
  EXPECT_FALSE(reg.Get(CU, kChrome, "HomepageLocation"));
  EXPECT_EQ(ts.shortcuts.Read(mine).arguments, "");
  EXPECT_EQ(reg.Get(CU, kRegistryToolsLockKey, kRegistryToolsLockValue)->dword, 1u);

  ASSERT_EQ(ts.messages.shown.size(), 1u);
  const std::string notice = ts.messages.shown[0].text;
  EXPECT_EQ(notice.rfind("以下项目属于本机所有用户", 0), 0u) << notice;
  for (const std::string& named :
       {std::string(kMachineSettingsItem), std::string("Bad Bar"), std::string("Edge 主页"),
        std::string("公共桌面快捷方式 Microsoft Edge.lnk 附加网址 http://b.cn")})
    EXPECT_NE(notice.find("\n" + named), std::string::npos) << named << "\n" << notice;
  EXPECT_EQ(notice.find("Chrome"), std::string::npos) << notice;
  EXPECT_EQ(notice.find("桌面快捷方式 Microsoft Edge.lnk 附加网址 http://a.cn"), std::string::npos);
  EXPECT_EQ(std::count(notice.begin(), notice.end(), '\n'), 4 + 2) << notice;  // four items

  const std::string saved = RegText();
  EXPECT_EQ(saved.find("HKEY_LOCAL_MACHINE"), std::string::npos) << saved;
  ExpectInBackup("\"HomepageLocation\"=\"http://mine.cn/\"");
  EXPECT_FALSE(ts.files.FileExists(Sets().back() + "\\Public Desktop\\Microsoft Edge.lnk"));

  // With the machine's settings already as the apply would leave them and only the user's
  // findings ticked, a standard user gets no notice at all.
  ts.messages.shown.clear();
  for (RegView v : {RegView::Native, W32}) {
    reg.SetString(LM, main, "Start Page", kDefaultStartPage, v);
    reg.SetString(LM, main, "Window Title", kDefaultWindowTitle, v);
  }
  reg.SetString(CU, kChrome, "HomepageLocation", "http://again.cn/");
  page.TabSheet3Show();
  Tick("Chrome 主页");
  page.SbiedefaultClick();
  EXPECT_EQ(ts.messages.shown.size(), 0u);
  EXPECT_FALSE(reg.Get(CU, kChrome, "HomepageLocation"));
}

}  // namespace
}  // namespace mt
