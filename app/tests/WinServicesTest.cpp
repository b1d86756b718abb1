// The real services under Wine: profile files (the bytes they leave), files opened without
// sharing, file identities, directory search with hidden entries, folder creation, the clipboard.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>
#include <shellapi.h>

#include <algorithm>

#include "app/Error.h"
#include "app/Settings.h"
#include "app/win/Handles.h"
#include "app/Registry.h"
#include "program/WinServiceSet.h"
#include "tests/support/StandIns.h"
#include "tests/support/WinFolderLink.h"

namespace mt {
namespace {

class WinServicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    dir_ = Narrow(tmp) + "mt-services-" + std::to_string(GetCurrentProcessId()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    CreateDirectoryW(Widen(dir_).c_str(), nullptr);
  }
  void TearDown() override {
    std::wstring w = Widen(dir_) + L'\0';
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = w.c_str();
    op.fFlags = FOF_NO_UI;
    SHFileOperationW(&op);
  }
  std::string dir_;
};

// The per-user settings file over the real profile functions: a key it lacks comes from the
// file beside the program (the platform hands back the "missing" default unchanged), an empty
// value it has does not.
TEST_F(WinServicesTest, SettingsFallbackOverTheRealProfileFiles) {
  WinProfile profile;
  CreateDirectoryW(Widen(dir_ + "\\user").c_str(), nullptr);
  const std::string old = SettingsFilePath(dir_);
  profile.WriteString(old, kSettingsSection, kKeyFirstRun, "0");
  profile.WriteString(old, kSettingsSection, kKeySjtxVer, "v1.2");
  TIniFile ini(profile, SettingsFilePath(dir_ + "\\user"), old);
  EXPECT_FALSE(ini.ReadBool(kSettingsSection, kKeyFirstRun, true));
  EXPECT_EQ(ini.ReadString(kSettingsSection, kKeySjtxVer, ""), "v1.2");
  EXPECT_EQ(ini.ReadString(kSettingsSection, "none", "def"), "def");
  ini.WriteString(kSettingsSection, kKeySjtxVer, "");
  EXPECT_EQ(ini.ReadString(kSettingsSection, kKeySjtxVer, "def"), "");
  EXPECT_EQ(profile.ReadString(old, kSettingsSection, kKeySjtxVer, ""), "v1.2");
}

TEST_F(WinServicesTest, DataFolderProbe) {
  WinDataFolderProbe probe;
  EXPECT_TRUE(probe.CanWrite(dir_));
  WinFileSystem files;
  EXPECT_TRUE(files.Find(dir_, "*").empty());  // the test file is gone again
  EXPECT_FALSE(probe.CanWrite(dir_ + "\\missing"));
  const std::string user = probe.PerUserFolder();
  ASSERT_GT(user.size(), std::string("\\MirtakTools").size());
  EXPECT_EQ(user.substr(user.size() - 12), "\\MirtakTools");
}

TEST_F(WinServicesTest, ProfileFileBytesAndRules) {
  WinProfile profile;
  TIniFile ini(profile, SettingsFilePath(dir_));
  EXPECT_TRUE(ini.ReadBool(kSettingsSection, kKeyFirstRun, true));
  EXPECT_EQ(ini.ReadString(kSettingsSection, kKeySjtxVer, "v1.3"), "v1.3");
  ini.WriteBool(kSettingsSection, kKeyFirstRun, false);
  std::string bytes = test::ReadWholeFile(ini.FileName());
  EXPECT_NE(bytes.find("[DS_config]"), std::string::npos) << bytes;
  EXPECT_NE(bytes.find("firstrun=0"), std::string::npos) << bytes;
  // Other lines stay; names compare without case; the key's line is replaced.
  profile.WriteString(ini.FileName(), "ds_config", "FIRSTRUN", "0x1");
  profile.WriteString(ini.FileName(), "other", "k", "升级");
  EXPECT_TRUE(ini.ReadBool(kSettingsSection, kKeyFirstRun, false));
  EXPECT_EQ(profile.ReadString(ini.FileName(), "OTHER", "K", ""), "升级");
  bytes = test::ReadWholeFile(ini.FileName());
  EXPECT_EQ(bytes.find("firstrun=0\r"), std::string::npos) << bytes;
  // Long values come back cut at 2047 characters.
  profile.WriteString(ini.FileName(), "other", "long", std::string(3000, 'x'));
  EXPECT_EQ(profile.ReadString(ini.FileName(), "other", "long", "").size(), 2047u);
}

TEST_F(WinServicesTest, ProfileWriteIntoMissingFolderFailsWithThePath) {
  WinProfile profile;
  std::string path = dir_ + "\\missing\\config.ini";
  try {
    profile.WriteString(path, "DS_config", "firstrun", "0");
    FAIL() << "write should fail";
  } catch (const AppError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
  }
}

TEST_F(WinServicesTest, FilesAreOpenedWithoutSharing) {
  WinFileSystem files;
  std::string path = dir_ + "\\a.bin";
  {
    auto out = files.Create(path);
    EXPECT_EQ(out->Write("hello", 5), 5u);
    // While it is open for writing nobody else may open it.
    try {
      files.OpenRead(path);
      FAIL() << "second open should fail";
    } catch (const AppError& e) {
      std::string prefix = "Cannot open file \"" + path + "\". ";
      EXPECT_EQ(std::string(e.what()).substr(0, prefix.size()), prefix);
      EXPECT_GT(std::string(e.what()).size(), prefix.size());
    }
  }
  auto in = files.OpenRead(path);
  EXPECT_EQ(in->Size(), 5u);
  char buf[8] = {};
  EXPECT_EQ(in->Read(buf, 8), 5u);
  EXPECT_EQ(std::string(buf, 5), "hello");
  EXPECT_EQ(in->Read(buf, 8), 0u);
  EXPECT_THROW(files.Create(dir_ + "\\nofolder\\b.bin"), AppError);
  in.reset();
  EXPECT_TRUE(files.RemoveFile(path));
  EXPECT_FALSE(files.FileExists(path));
  EXPECT_FALSE(files.RemoveFile(path));
}

TEST_F(WinServicesTest, IdentityTellsFilesApartWithoutDisturbingAnOpenFile) {
  WinFileSystem files;
  std::string a = dir_ + "\\a.bin", b = dir_ + "\\b.bin";
  test::WriteWholeFile(b, "b");
  EXPECT_FALSE(files.Identity(a));
  auto out = files.Create(a);  // held without sharing, as the merge holds its output
  std::optional<FileIdentity> idA = files.Identity(a);
  ASSERT_TRUE(idA);
  EXPECT_EQ(files.Identity(dir_ + "\\.\\A.BIN"), idA);
  std::optional<FileIdentity> idB = files.Identity(b);
  ASSERT_TRUE(idB);
  EXPECT_FALSE(*idA == *idB);
  out.reset();
  // The query left nothing open: the file can be taken without sharing again.
  auto again = files.Create(a);
  EXPECT_EQ(files.Identity(a), idA);
}

TEST_F(WinServicesTest, FindListsHiddenAndSystemEntries) {
  WinFileSystem files;
  test::WriteWholeFile(dir_ + "\\shown.lnk", "x");
  test::WriteWholeFile(dir_ + "\\hidden.lnk", "x");
  test::WriteWholeFile(dir_ + "\\other.txt", "x");
  SetFileAttributesW(Widen(dir_ + "\\hidden.lnk").c_str(),
                     FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  auto found = files.Find(dir_, "*.lnk");
  ASSERT_EQ(found.size(), 2u);
  auto hidden = std::find_if(found.begin(), found.end(),
                             [](const FindEntry& e) { return e.name == "hidden.lnk"; });
  ASSERT_NE(hidden, found.end());
  EXPECT_TRUE(hidden->isHidden);
  EXPECT_TRUE(hidden->isSystem);
  EXPECT_EQ(files.Find(dir_, "*").size(), 3u);  // "." and ".." left out
  EXPECT_TRUE(files.Find(dir_ + "\\none", "*").empty());
}

TEST_F(WinServicesTest, CreateDirectoriesMakesEveryLevel) {
  WinFileSystem files;
  std::string deep = dir_ + "\\rar\\a\\b";
  EXPECT_TRUE(files.CreateDirectories(deep));
  EXPECT_TRUE(files.DirectoryExists(deep));
  EXPECT_TRUE(files.CreateDirectories(deep));
  EXPECT_FALSE(files.DirectoryExists(deep + "\\c"));
}

TEST_F(WinServicesTest, ListableFolderIsARealFolderOfItsOwn) {
  WinFileSystem files;
  const std::string target = dir_ + "\\target", file = dir_ + "\\file.txt";
  ASSERT_TRUE(CreateDirectoryW(Widen(target).c_str(), nullptr));
  files.Create(file)->Write("x", 1);
  EXPECT_TRUE(files.IsListableFolder(target));  // empty
  EXPECT_TRUE(files.IsListableFolder(dir_ + "\\"));
  EXPECT_TRUE(files.IsListableFolder("C:\\"));
  EXPECT_FALSE(files.IsListableFolder(file));
  EXPECT_FALSE(files.IsListableFolder(dir_ + "\\missing"));
  // A junction (under Wine: a symbolic link) to a listable folder is still not one.
  test::FolderLink link(Widen(dir_ + "\\link"), Widen(target));
  ASSERT_TRUE(link.Made());
  EXPECT_TRUE(files.DirectoryExists(dir_ + "\\link"));
  EXPECT_FALSE(files.IsListableFolder(dir_ + "\\link"));
}

// A backup set's folder removed whole: nested folders, a read-only file; a link inside it
// (a junction, under Wine a symbolic link) is never followed into the folder it names.
TEST_F(WinServicesTest, RemoveFolderTakesTheTreeButNotWhatALinkNames) {
  WinFileSystem files;
  const std::string set = dir_ + "\\备份\\2026-12-08 15.54.00", outside = dir_ + "\\outside";
  ASSERT_TRUE(files.CreateDirectories(set + "\\sub\\deeper"));
  ASSERT_TRUE(files.CreateDirectories(outside));
  ASSERT_TRUE(files.CreateDirectories(set + " (2)"));
  files.WriteAll(set + "\\注册表.reg", "reg");
  files.WriteAll(set + "\\sub\\deeper\\a.lnk", "lnk");
  ASSERT_TRUE(
      SetFileAttributesW(Widen(set + "\\sub\\deeper\\a.lnk").c_str(), FILE_ATTRIBUTE_READONLY));
  files.WriteAll(outside + "\\keep.txt", "keep");
  // An empty folder is what a followed link could take with it.
  const std::string empty = dir_ + "\\empty";
  ASSERT_TRUE(files.CreateDirectories(empty));
  {
    test::FolderLink link(Widen(set + "\\sub\\link"), Widen(outside));
    test::FolderLink toEmpty(Widen(set + "\\link2"), Widen(empty));
    ASSERT_TRUE(link.Made());
    ASSERT_TRUE(toEmpty.Made());
    files.RemoveFolder(set);
    EXPECT_TRUE(files.FileExists(outside + "\\keep.txt"));
    EXPECT_TRUE(files.DirectoryExists(empty));
  }
  // Wine may keep the link it cannot take away as one; everything else is gone.
  EXPECT_FALSE(files.FileExists(set + "\\注册表.reg"));
  EXPECT_FALSE(files.FileExists(set + "\\sub\\deeper\\a.lnk"));
  EXPECT_TRUE(files.DirectoryExists(set + " (2)"));
  // Without a link the whole folder goes and says so.
  ASSERT_TRUE(files.CreateDirectories(set + " (2)\\sub"));
  files.WriteAll(set + " (2)\\sub\\b.lnk", "b");
  EXPECT_TRUE(files.RemoveFolder(set + " (2)\\"));
  EXPECT_FALSE(files.DirectoryExists(set + " (2)"));
  EXPECT_FALSE(files.RemoveFolder(set + " (2)"));
  EXPECT_FALSE(files.RemoveFolder(outside + "\\keep.txt"));
  EXPECT_TRUE(files.FileExists(outside + "\\keep.txt"));
}

TEST(WinClipboard, ReplacesTheContentWithText) {
  WinClipboard clip;
  // Put non-text content first: the address must replace it entirely.
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, 4);
  SetClipboardData(RegisterClipboardFormatW(L"MtTestFormat"), mem);
  CloseClipboard();
  clip.SetText(nullptr, "mt@mirtak.example");
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_FALSE(IsClipboardFormatAvailable(RegisterClipboardFormatW(L"MtTestFormat")));
  HANDLE h = GetClipboardData(CF_UNICODETEXT);
  ASSERT_NE(h, nullptr);
  std::wstring text(static_cast<const wchar_t*>(GlobalLock(h)));
  GlobalUnlock(h);
  CloseClipboard();
  EXPECT_EQ(Narrow(text), "mt@mirtak.example");
}

// The program makes its services once; a service left out would be a null pointer that the
// first page to use it dereferences.
TEST(WinServiceSet, TheProgramsSetFillsEveryServiceWithItsOwn) {
  std::unique_ptr<WinServiceSet> set = MakeWinServices();
  const Services& s = set->services;
  EXPECT_EQ(s.registry, &set->registry);
  EXPECT_EQ(s.files, &set->files);
  EXPECT_EQ(s.profile, &set->profile);
  EXPECT_EQ(s.shell, &set->shell);
  EXPECT_EQ(s.dialogs, &set->dialogs);
  EXPECT_EQ(s.messages, &set->messages);
  EXPECT_EQ(s.clipboard, &set->clipboard);
  EXPECT_EQ(s.browser, &set->browser);
  EXPECT_EQ(s.admin, &set->admin);
  const void* tools[] = {s.processes,        s.icons, s.startupPlaces, s.http, s.installerVerifier,
                         s.installerLauncher};
  for (const void* service : tools) EXPECT_NE(service, nullptr);
  EXPECT_EQ(s.exeDir, ExecutableDirectory());
  EXPECT_TRUE(s.updateEndpoint.empty());  // the shipped address
  EXPECT_FALSE(s.offerShown);
}

// The prefix's user owns the machine's registry: the rights must be reported as held, or every
// machine-wide action of the tools would be refused under Wine. Whichever of the two
// questions says yes, the answer agrees with an actual write to the machine's Run key.
TEST(WinAdminRights, HeldWhereTheMachineRunKeyCanBeWritten) {
  HKEY raw = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                            L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", 0, nullptr, 0,
                            KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &raw, nullptr),
            ERROR_SUCCESS);
  UniqueHKey run(raw);
  const DWORD one = 1;
  ASSERT_EQ(RegSetValueExW(run.get(), L"mt-admin-probe", 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&one), sizeof one),
            ERROR_SUCCESS);
  RegDeleteValueW(run.get(), L"mt-admin-probe");
  EXPECT_TRUE(WinAdminRights::MachineRunKeyWritable());
  WinAdminRights rights;
  EXPECT_TRUE(rights.Held());
  EXPECT_TRUE(rights.Held());  // the kept answer
}

// A key whose access list lets everyone only read it stands for the machine's keys as a user
// without administrator rights finds them: it opens (also when asked to create it) and reads,
// and a write is refused as a false Set, the handle's "Failed to set data" error.
TEST(WinRegistry, AKeyThatMayOnlyBeReadOpensForReadingAndRefusesWrites) {
  const wchar_t* path = L"Software\\MirtakReadOnlyKey";
  RegDeleteTreeW(HKEY_CURRENT_USER, path);
  HKEY raw = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS | WRITE_DAC,
                            nullptr, &raw, nullptr),
            ERROR_SUCCESS);
  UniqueHKey held(raw);  // keeps its rights after the access list changes
  const wchar_t text[] = L"kept";
  ASSERT_EQ(RegSetValueExW(held.get(), L"v", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                           sizeof text),
            ERROR_SUCCESS);
  auto setDacl = [&](const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_TRUE(
        ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr));
    EXPECT_EQ(RegSetKeySecurity(held.get(), DACL_SECURITY_INFORMATION, sd), ERROR_SUCCESS);
    LocalFree(sd);
  };
  setDacl(L"D:P(A;;KR;;;WD)");
  HKEY probe = nullptr;
  const bool enforced = RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, &probe) ==
                        ERROR_ACCESS_DENIED;
  if (probe) RegCloseKey(probe);

  WinRegistry registry;
  std::unique_ptr<RegKey> opened = registry.Open(RegRoot::CurrentUser, nullptr,
                                                 "Software\\MirtakReadOnlyKey", false);
  std::unique_ptr<RegKey> created = registry.Open(RegRoot::CurrentUser, nullptr,
                                                  "Software\\MirtakReadOnlyKey", true);
  std::optional<RegValue> read;
  bool written = true;
  if (opened) {
    read = registry.Query(*opened, "v");
    RegValue v;
    v.text = "changed";
    written = registry.Set(*opened, "v", v);
  }
  setDacl(L"D:P(A;;KA;;;WD)");
  held.reset();
  RegDeleteTreeW(HKEY_CURRENT_USER, path);
  RegDeleteKeyW(HKEY_CURRENT_USER, path);

  ASSERT_TRUE(enforced) << "the access list did not deny the full open";
  ASSERT_TRUE(opened);
  EXPECT_TRUE(created);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->text, "kept");
  EXPECT_FALSE(written);
}

}  // namespace
}  // namespace mt
