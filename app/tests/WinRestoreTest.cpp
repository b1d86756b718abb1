// Backup sets on the real services under Wine: registry values whose names and data are not
// valid UTF-16 and key trees in both views come back unit for unit; a read-only shortcut comes
// back read-only with its time stamp; a link put on the path since is refused; the seal's
// secret lives in the machine's registry.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include "app/Backup.h"
#include "app/BackupSets.h"
#include "app/Restore.h"
#include "app/win/Convert.h"
#include "program/ChangeKindList.h"
#include "program/WinServiceSet.h"
#include "tests/support/WinFolderLink.h"
#include "tests/support/YesToAll.h"

namespace mt {
namespace {

using YesToAll = test::YesToAll;

class WinRestoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    dir_ = Narrow(tmp) + "mt-restore-" + std::to_string(GetCurrentProcessId()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    CreateDirectoryW(Widen(dir_).c_str(), nullptr);
    CreateDirectoryW(Widen(dir_ + "\\Desktop").c_str(), nullptr);
    env_ = ChangeEnvOf(svc_->services);
    env_.fileRoots.userFolders = {dir_ + "\\Desktop"};
  }
  void TearDown() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, kKeyW);
    HKEY run;
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY})
      if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunW, 0, KEY_SET_VALUE | view, &run) ==
          ERROR_SUCCESS) {
        RegDeleteValueW(run, kOddName.c_str());
        RegCloseKey(run);
      }
    std::wstring w = Widen(dir_) + L'\0';
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = w.c_str();
    op.fFlags = FOF_NO_UI;
    SHFileOperationW(&op);
  }

  static constexpr const wchar_t* kKeyW = L"Software\\Policies\\MirtakRestoreTest";
  static constexpr const wchar_t* kRunW = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  // A name holding a lone high surrogate: not valid UTF-16, kept all the same.
  const std::wstring kOddName = std::wstring(L"启动") + wchar_t(0xD800) + L"x";

  std::unique_ptr<WinServiceSet> svc_ = MakeWinServices();
  ChangeEnv env_;
  std::string dir_;
  YesToAll yes_;
};

TEST_F(WinRestoreTest, RegistryItemsComeBackUnitForUnitInBothViews) {
  // A Run value of an odd name in each view, its data a string without a terminator.
  const std::wstring data = std::wstring(L"a") + wchar_t(0xDC01) + L"b";
  for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
    HKEY run;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRunW, 0, nullptr, 0, KEY_SET_VALUE | view,
                              nullptr, &run, nullptr),
              ERROR_SUCCESS);
    const std::wstring d = view == KEY_WOW64_64KEY ? data : data + L"32";
    RegSetValueExW(run, kOddName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(d.data()),
                   static_cast<DWORD>(d.size() * 2));
    RegCloseKey(run);
  }
  HKEY tree;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kKeyW) + L"\\Sub").c_str(), 0, nullptr,
                            0, KEY_SET_VALUE, nullptr, &tree, nullptr),
            ERROR_SUCCESS);
  const BYTE qword[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  RegSetValueExW(tree, L"q", 0, REG_QWORD, qword, 8);
  RegCloseKey(tree);

  // What the registry holds now, unit for unit (it may have added a terminator of its own).
  auto stored = [&](REGSAM view) {
    wchar_t back[64] = {};
    DWORD type = 0, size = sizeof back;
    HKEY k;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunW, 0, KEY_QUERY_VALUE | view, &k),
              ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(k, kOddName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(back),
                               &size),
              ERROR_SUCCESS);
    RegCloseKey(k);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    return std::wstring(back, size / 2);
  };
  const std::wstring before64 = stored(KEY_WOW64_64KEY), before32 = stored(KEY_WOW64_32KEY);
  ASSERT_EQ(before64.substr(0, data.size()), data);
  ASSERT_NE(before64, before32);

  const std::string run = Narrow(kRunW), key = Narrow(kKeyW), name = Narrow(kOddName);
  DeletionBackup set(env_, dir_, "startup");
  set.SaveValue(RegRoot::LocalMachine, RegView::Native, run, name);
  set.SaveValue(RegRoot::LocalMachine, RegView::Wow32, run, name);
  set.SaveKey(RegRoot::CurrentUser, RegView::Native, key);
  ASSERT_EQ(set.Count(), 3u);
  ASSERT_TRUE(set.Write("2026-12-09 10.00.00"));
  RegistryBackend& reg = *svc_->services.registry;
  for (RegView v : {RegView::Native, RegView::Wow32})
    reg.DeleteValue(*reg.Open(RegRoot::LocalMachine, nullptr, run, false, v), name);
  reg.DeleteTree(RegRoot::CurrentUser, nullptr, key);
  ASSERT_TRUE(set.Seal());

  const BackupSetInfo info = ReadBackupSet(env_, ProgramChangeKinds(), set.Folder());
  EXPECT_TRUE(info.damage.empty()) << info.damage;
  EXPECT_TRUE(info.sealed);
  const RestoreReport report = RestoreItems(env_, dir_, info, {0, 1, 2}, yes_);
  for (const RestoreOutcome& o : report.items) EXPECT_TRUE(o.back) << o.place << " " << o.reason;

  EXPECT_EQ(stored(KEY_WOW64_64KEY), before64);
  EXPECT_EQ(stored(KEY_WOW64_32KEY), before32);
  BYTE q[8] = {};
  DWORD type = 0, size = sizeof q;
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, (std::wstring(kKeyW) + L"\\Sub").c_str(), L"q",
                         RRF_RT_ANY, &type, q, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_QWORD));
  EXPECT_EQ(std::memcmp(q, qword, 8), 0);
}

TEST_F(WinRestoreTest, AReadOnlyShortcutComesBackReadOnlyAndALinkOnThePathIsRefused) {
  const std::string lnk = dir_ + "\\Desktop\\Mail.lnk";
  svc_->services.files->WriteAll(lnk, "shortcut bytes");
  FILETIME stamp{0x12345678, 0x01D00000};
  {
    HANDLE h = CreateFileW(Widen(lnk).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    SetFileTime(h, nullptr, nullptr, &stamp);
    CloseHandle(h);
  }
  SetFileAttributesW(Widen(lnk).c_str(), FILE_ATTRIBUTE_READONLY);

  DeletionBackup set(env_, dir_, "browser");
  set.SaveFile(lnk, "shortcut");
  ASSERT_TRUE(set.Write("2026-12-09 10.00.00"));
  SetFileAttributesW(Widen(lnk).c_str(), FILE_ATTRIBUTE_NORMAL);
  ASSERT_TRUE(DeleteFileW(Widen(lnk).c_str()));
  set.Seal();

  BackupSetInfo info = ReadBackupSet(env_, ProgramChangeKinds(), set.Folder());
  RestoreReport report = RestoreItems(env_, dir_, info, {0}, yes_);
  ASSERT_EQ(report.items.size(), 1u);
  EXPECT_TRUE(report.items[0].back) << report.items[0].reason;
  const DWORD attributes = GetFileAttributesW(Widen(lnk).c_str());
  EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY));
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(GetFileAttributesExW(Widen(lnk).c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(data.ftLastWriteTime.dwLowDateTime, stamp.dwLowDateTime);
  EXPECT_EQ(data.ftLastWriteTime.dwHighDateTime, stamp.dwHighDateTime);

  // The desktop replaced by a link to another folder since the set was read: refused, and
  // nothing lands in the folder the link names.
  SetFileAttributesW(Widen(lnk).c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(Widen(lnk).c_str());
  ASSERT_TRUE(RemoveDirectoryW(Widen(dir_ + "\\Desktop").c_str()));
  CreateDirectoryW(Widen(dir_ + "\\Elsewhere").c_str(), nullptr);
  test::FolderLink link(Widen(dir_ + "\\Desktop"), Widen(dir_ + "\\Elsewhere"));
  if (!link.Made()) GTEST_SKIP() << "no folder link on this system";
  report = RestoreItems(env_, dir_, info, {0}, yes_);
  ASSERT_EQ(report.items.size(), 1u);
  EXPECT_FALSE(report.items[0].back);
  EXPECT_EQ(GetFileAttributesW(Widen(dir_ + "\\Elsewhere\\Mail.lnk").c_str()),
            INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace mt
