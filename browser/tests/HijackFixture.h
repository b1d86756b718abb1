// The page over the stand-ins with a program folder for backups and shortcut folders of its
// own, for the tests of the browser findings of every kind.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/Backup.h"
#include "browser/BrowserHijacks.h"
#include "browser/BrowserRepair.h"
#include "browser/tests/FakePage.h"
#include "tests/support/StandIns.h"

namespace mt {
namespace test {

inline constexpr RegRoot LM = RegRoot::LocalMachine, CU = RegRoot::CurrentUser;
inline constexpr RegView W32 = RegView::Wow32;
inline const std::string kEdge = "SOFTWARE\\Policies\\Microsoft\\Edge";
inline const std::string kChrome = "SOFTWARE\\Policies\\Google\\Chrome";
inline const std::string kFake = "FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF";
inline const std::string kAppPaths = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

// The page over the stand-ins, with a program folder for backups and shortcut folders of its
// own on disk.
class Hijacks : public ::testing::Test {
 protected:
  test::TempDir tmp;
  std::string root = [this] {
    std::string p = tmp.path();
    std::replace(p.begin(), p.end(), '/', '\\');
    return p;
  }();
  test::TestServices ts{root + "\\program"};
  test::MemoryRegistry& reg = ts.registry;
  test::MemoryPageView view;
  BrowserRepairPage page{ts.services, ts.icons, view, nullptr};
  std::string desktop = root + "\\Desktop", startMenu = root + "\\Start Menu";

  void SetUp() override {
    ts.files.CreateDirectories(ts.services.exeDir);
    ts.files.CreateDirectories(desktop);
    ts.files.CreateDirectories(startMenu + "\\Programs\\Browsers");
    ts.shortcuts.folders = {{ShortcutPlace::Desktop, desktop, false},
                            {ShortcutPlace::StartMenu, startMenu, true}};
    // The 32-bit view of HKLM\SOFTWARE exists, as on every 64-bit system.
    reg.CreatePath(LM, "SOFTWARE\\Microsoft", W32);
  }
  // Installs a browser: its program file and its App Paths entry.
  std::string Install(const std::string& exe, RegView v = RegView::Native) {
    const std::string dir = root + "\\Programs\\" + exe;
    ts.files.CreateDirectories(dir);
    test::WriteWholeFile(dir + "\\" + exe, "MZ");
    reg.SetString(LM, kAppPaths + exe, "", dir + "\\" + exe, v);
    return dir + "\\" + exe;
  }
  std::vector<const AddOnRow*> HijackRows() {
    std::vector<const AddOnRow*> out;
    for (const AddOnRow& r : view.rows)
      if (r.store == AddOnStore::Hijack) out.push_back(&r);
    return out;
  }
  int RowOf(const std::string& captionStart) {
    for (size_t i = 0; i < view.rows.size(); ++i)
      if (view.rows[i].caption.rfind(captionStart, 0) == 0) return static_cast<int>(i);
    return -1;
  }
  void Tick(const std::string& captionStart) {
    int i = RowOf(captionStart);
    ASSERT_GE(i, 0) << captionStart;
    view.ticks[i] = true;
  }
  std::vector<std::string> Sets() {
    std::vector<std::string> names;
    for (const FindEntry& e : ts.files.Find(BackupRoot(ts.services.exeDir), "*"))
      names.push_back(BackupRoot(ts.services.exeDir) + "\\" + e.name);
    std::sort(names.begin(), names.end());
    return names;
  }
  // The export file of the newest set as text (its content is ASCII in these tests).
  std::string RegText() {
    auto sets = Sets();
    if (sets.empty()) return std::string();
    std::string bytes = test::ReadWholeFile(sets.back() + "\\" + kBackupRegFileName);
    std::string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) text += bytes[i];
    return text;
  }
  void ExpectInBackup(const std::string& text) {
    const std::string all = RegText();
    EXPECT_NE(all.find(text), std::string::npos) << text << "\n---\n" << all;
  }
};

}  // namespace test
}  // namespace mt
