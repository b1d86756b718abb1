// The undo taken whole under Wine: the real Main window on the prefix's registry and files
// deletes a thousand startup items (the Run keys of both roots and views, both Startup
// folders, a task on the stand-in scheduler), repairs every kind of browser hijack (policy
// values of both roots, a fake enrolment, same-named shortcuts on the user's and the public
// desktop, Firefox's policies.json) and removes a drive mapping, each through its page. The
// window "备份与恢复" then puts chosen items of one set back and everything of each set the
// pages made, newest first, answering its questions by script; afterwards the registry
// (HKLM\SOFTWARE and HKCU\Software, walked whole) and every touched file must be as they
// were before the pages acted.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <optional>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/Backup.h"
#include "app/Restore.h"
#include "app/win/Handles.h"
#include "app/win/RestoreWindow.h"
#include "browser/BrowserHijacks.h"
#include "browser/win/BrowserPage.h"
#include "browser/win/WinShortcuts.h"
#include "startup/tests/StartupStandIns.h"
#include "startup/win/StartupPage.h"
#include "tests/support/WinMainWindow.h"
#include "tests/support/WinPump.h"
#include "vdrive/win/DrivePage.h"

namespace mt {
namespace {

using test::Pump;

const wchar_t* const kRunW = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::wstring kEnrolmentW = L"SOFTWARE\\Microsoft\\Enrollments\\";
const std::wstring kAccountW = L"SOFTWARE\\Microsoft\\Provisioning\\OMADM\\Accounts\\";
const wchar_t* const kChromePolicyW = L"SOFTWARE\\Policies\\Google\\Chrome";
const wchar_t* const kEdgePolicyW = L"SOFTWARE\\Policies\\Microsoft\\Edge";
const std::wstring kAppPathsW = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
const std::wstring kFakeId = L"{0D0E0A0D-0000-4000-8000-00000000F00D}";
const char* const kTaskPath = "\\mt-rt\\logon";
const char* const kDrive = "k:";
// Every name and address this test seeds carries the mark, so its rows are told apart from
// what the prefix brings along.
const char* const kMark = "mt-rt";

// The items seeded for the startup page: 1,000 in all.
constexpr int kUserRun = 300, kMachineRun = 250, kMachineRun32 = 250, kUserFiles = 100,
              kCommonFiles = 99;

// ---- the registry as a whole ----------------------------------------------------------------

// Key path -> its values by name (the data as text); every key is present, with or without
// values.
using RegistryImage = std::map<std::string, std::map<std::string, std::string>>;

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// The key walked value by value (any system; slow under Wine, where every call is a trip to
// the server).
void WalkKey(HKEY parent, const std::wstring& path, const std::string& shown, RegistryImage& out,
             int depth) {
  HKEY key = nullptr;
  if (depth > 40 ||
      ::RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
    return;
  auto& values = out[shown];
  std::vector<wchar_t> name(32768);
  std::vector<BYTE> data(1 << 16);
  for (DWORD i = 0;; ++i) {
    DWORD nameLen = static_cast<DWORD>(name.size()), size = static_cast<DWORD>(data.size()),
          type = 0;
    LONG rc = ::RegEnumValueW(key, i, name.data(), &nameLen, nullptr, &type, data.data(), &size);
    if (rc == ERROR_MORE_DATA) {
      data.resize(size + 2);
      nameLen = static_cast<DWORD>(name.size());
      size = static_cast<DWORD>(data.size());
      rc = ::RegEnumValueW(key, i, name.data(), &nameLen, nullptr, &type, data.data(), &size);
    }
    if (rc != ERROR_SUCCESS) break;
    values[Narrow(name.data(), nameLen)] = std::to_string(type) + ":" +
                                           Hex(std::string(reinterpret_cast<char*>(data.data()),
                                                           size));
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
    WalkKey(parent, path + L"\\" + sub, shown + "\\" + Narrow(sub), out, depth + 1);
}

// The key as Wine's registry server saves it in one call (its text format: "[key] time",
// then one value a line, long data continued over lines ending in "\"), read into the image.
// Empty when the system saves in another form.
std::optional<RegistryImage> SavedKey(HKEY root, const wchar_t* path, const std::string& shown) {
  HANDLE token = nullptr;
  if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) {
    TOKEN_PRIVILEGES p{};
    p.PrivilegeCount = 1;
    p.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (::LookupPrivilegeValueW(nullptr, SE_BACKUP_NAME, &p.Privileges[0].Luid))
      ::AdjustTokenPrivileges(token, FALSE, &p, 0, nullptr, nullptr);
    ::CloseHandle(token);
  }
  wchar_t temp[MAX_PATH] = L"";
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring file = std::wstring(temp) + L"mt-rt registry " +
                            std::to_wstring(::GetCurrentProcessId()) + L".txt";
  ::DeleteFileW(file.c_str());
  HKEY key = nullptr;
  if (::RegOpenKeyExW(root, path, 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
    return std::nullopt;
  const LONG rc = ::RegSaveKeyW(key, file.c_str(), nullptr);
  ::RegCloseKey(key);
  std::string text;
  HANDLE h = ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    char buf[1 << 16];
    DWORD got = 0;
    while (::ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) text.append(buf, got);
    ::CloseHandle(h);
  }
  ::DeleteFileW(file.c_str());
  if (rc != ERROR_SUCCESS || text.rfind("WINE REGISTRY", 0) != 0) return std::nullopt;

  RegistryImage image;
  std::map<std::string, std::string>* values = nullptr;
  std::string line, pending;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    line = text.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!pending.empty()) {
      line = pending + line.substr(line.find_first_not_of(' ') == std::string::npos
                                       ? line.size()
                                       : line.find_first_not_of(' '));
      pending.clear();
    }
    if (!line.empty() && line.back() == '\\' && values) {
      pending = line.substr(0, line.size() - 1);
      continue;
    }
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;  // times, classes, notes
    if (line[0] == '[') {
      // "[path] modification time": the time is not the key's content.
      const size_t close = line.rfind(']');
      std::string name;
      const std::string quoted = line.substr(1, close == std::string::npos ? 0 : close - 1);
      for (size_t i = 0; i < quoted.size(); ++i) {
        // The separators are written doubled; other escapes stay as written.
        if (quoted[i] == '\\' && i + 1 < quoted.size() && quoted[i + 1] == '\\') ++i;
        name += quoted[i];
      }
      values = &image[name.empty() ? shown : shown + "\\" + name];
      continue;
    }
    if (!values) continue;
    size_t nameEnd = 0;
    if (line[0] == '@') {
      nameEnd = 1;
    } else if (line[0] == '"') {
      for (nameEnd = 1; nameEnd < line.size() && line[nameEnd] != '"'; ++nameEnd)
        if (line[nameEnd] == '\\') ++nameEnd;
      ++nameEnd;
    }
    (*values)[line.substr(0, nameEnd)] = line.substr(std::min(nameEnd, line.size()));
  }
  // The key itself, when it holds no values.
  image[shown];
  return image;
}

RegistryImage ReadKey(HKEY root, const wchar_t* path, const std::string& shown) {
  if (std::optional<RegistryImage> saved = SavedKey(root, path, shown)) return *saved;
  RegistryImage image;
  WalkKey(root, path, shown, image, 0);
  return image;
}

// HKLM\SOFTWARE (with the 32-bit view's Wow6432Node below it) and HKCU\Software.
RegistryImage ReadRegistry() {
  RegistryImage image = ReadKey(HKEY_LOCAL_MACHINE, L"SOFTWARE", "HKLM\\SOFTWARE");
  image.merge(ReadKey(HKEY_CURRENT_USER, L"Software", "HKCU\\Software"));
  return image;
}

bool StartsWithNoCase(const std::string& text, const std::string& start) {
  if (text.size() < start.size() || (text.size() > start.size() && text[start.size()] != '\\'))
    return false;
  for (size_t i = 0; i < start.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(start[i])))
      return false;
  return true;
}

// Keys whose changes are not the restore's to undo.
bool Excluded(const std::string& key) {
  static const std::string kExcluded[] = {
      // Wine's own per-user state (its desktop, fonts, window positions), written as the
      // windows of the test come and go.
      "HKCU\\Software\\Wine",
      // The program's product key: its launch counter moves with every Main window made.
      "HKCU\\Software\\MRTKBOX",
  };
  for (const std::string& start : kExcluded)
    if (StartsWithNoCase(key, start)) return true;
  return false;
}

// Every difference outside the excluded keys, one line each.
std::vector<std::string> Differences(const RegistryImage& before, const RegistryImage& after) {
  std::vector<std::string> out;
  for (const auto& [key, values] : before) {
    if (Excluded(key)) continue;
    auto now = after.find(key);
    if (now == after.end()) {
      out.push_back("key gone: " + key);
      continue;
    }
    for (const auto& [name, value] : values) {
      auto v = now->second.find(name);
      if (v == now->second.end()) out.push_back("value gone: " + key + " : " + name);
      else if (v->second != value)
        out.push_back("value differs: " + key + " : " + name + " was " + value.substr(0, 200) +
                      " now " + v->second.substr(0, 200));
    }
    for (const auto& [name, value] : now->second)
      if (!values.count(name)) out.push_back("value added: " + key + " : " + name);
  }
  for (const auto& [key, values] : after)
    if (!Excluded(key) && !before.count(key)) out.push_back("key added: " + key);
  return out;
}

// ---- files ----------------------------------------------------------------------------------

struct FileImage {
  std::string bytes;
  DWORD attributes = 0;
  FILETIME written{};
  bool operator==(const FileImage& o) const {
    return bytes == o.bytes && attributes == o.attributes &&
           ::CompareFileTime(&written, &o.written) == 0;
  }
};

// Every file below `folder`, by full path.
void ReadFiles(const std::filesystem::path& folder, std::map<std::wstring, FileImage>& out) {
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    const std::wstring path = entry.path().wstring();
    FileImage image;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    image.attributes = data.dwFileAttributes;
    image.written = data.ftLastWriteTime;
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                             nullptr);
    char buf[4096];
    DWORD got = 0;
    while (h != INVALID_HANDLE_VALUE && ::ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0)
      image.bytes.append(buf, got);
    if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    out[path] = image;
  }
}

// ---- seeding --------------------------------------------------------------------------------

void SetText(HKEY root, const std::wstring& key, const std::wstring& name, const std::wstring& text,
             REGSAM view = KEY_WOW64_64KEY) {
  HKEY k = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &k,
                              nullptr),
            ERROR_SUCCESS);
  ::RegSetValueExW(k, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(k);
}

void SetDword(HKEY root, const std::wstring& key, const std::wstring& name, DWORD value) {
  HKEY k = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                              nullptr, &k, nullptr),
            ERROR_SUCCESS);
  ::RegSetValueExW(k, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                   sizeof value);
  ::RegCloseKey(k);
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  HANDLE h = ::CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                           nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
  DWORD wrote = 0;
  ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr);
  ::CloseHandle(h);
}

// A shortcut made by the shell's own link object.
bool MakeLink(const std::string& path, const std::string& target, const std::string& args) {
  ComPtr<IShellLinkW> link;
  ComPtr<IPersistFile> file;
  return SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkW, link.put_void())) &&
         SUCCEEDED(link->SetPath(Widen(target).c_str())) &&
         SUCCEEDED(link->SetArguments(Widen(args).c_str())) &&
         SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.put_void())) &&
         SUCCEEDED(file->Save(Widen(path).c_str(), TRUE));
}

// The platform's shortcut files, with this test's two desktops in place of the prefix's.
class TestDesktops : public WinShortcuts {
 public:
  std::vector<ShortcutFolder> Folders() override { return folders; }
  std::vector<ShortcutFolder> folders;
};

std::wstring Numbered(const char* what, int n) {
  wchar_t text[64];
  swprintf(text, 64, L"%hs-%hs-%04d", kMark, what, n);
  return text;
}

class RestoreRoundTripTest : public test::MainWindowTest {
 protected:
  void SetUp() override {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    wchar_t temp[MAX_PATH] = L"";
    ::GetTempPathW(MAX_PATH, temp);
    root_ = Narrow(std::wstring(temp)) + kMark + " " + std::to_string(::GetCurrentProcessId());
    desktop_ = root_ + "\\Desktop";
    publicDesktop_ = root_ + "\\Public Desktop";
    // The page takes the user's Startup folder from the registry: the prefix's own.
    wchar_t startup[MAX_PATH] = L"";
    DWORD size = sizeof startup;
    ASSERT_EQ(
        ::RegGetValueW(HKEY_CURRENT_USER,
                       L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                       L"Startup", RRF_RT_REG_SZ, nullptr, startup, &size),
        ERROR_SUCCESS);
    userStartup_ = Narrow(std::wstring(startup));
    commonStartup_ = root_ + "\\Common Startup";
    programs_ = root_ + "\\Programs";
    Clean();
    for (const std::string& f :
         {desktop_, publicDesktop_, userStartup_, commonStartup_,
          programs_ + "\\Mozilla Firefox\\distribution", programs_ + "\\Edge"})
      std::filesystem::create_directories(std::filesystem::path(Widen(f)));

    ts.services.registry = real->services.registry;
    ts.services.files = real->services.files;
    desktops_.folders = {{ShortcutPlace::Desktop, desktop_, false},
                         {ShortcutPlace::PublicDesktop, publicDesktop_, false}};
    ts.services.shortcuts = &desktops_;
    ts.startupPlaces.userStartup = userStartup_;
    ts.startupPlaces.commonStartup = commonStartup_;
    ts.services.tasks = &tasks_;
    UseOwnProgramFolder("mt-rt program");
    ts.services.fileRoots.userFolders = {desktop_, userStartup_};
    ts.services.fileRoots.machineFolders = {publicDesktop_, commonStartup_, ts.services.exeDir};
    ts.services.fileRoots.distributionParents = {programs_};
    KeepOfferAway();
  }
  void TearDown() override {
    CloseRestoreWindow();
    MainWindowTest::TearDown();
    Clean();
  }

  // Leaves nothing of this test in the registry or on disk.
  void Clean() {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY})
      for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        HKEY run = nullptr;
        if (::RegOpenKeyExW(root, kRunW, 0, KEY_READ | KEY_SET_VALUE | view, &run) != ERROR_SUCCESS)
          continue;
        std::vector<std::wstring> names;
        wchar_t name[16384];
        for (DWORD i = 0;; ++i) {
          DWORD len = 16384;
          if (::RegEnumValueW(run, i, name, &len, nullptr, nullptr, nullptr, nullptr) !=
              ERROR_SUCCESS)
            break;
          names.emplace_back(name, len);
        }
        for (const std::wstring& n : names)
          if (n.rfind(Widen(kMark), 0) == 0 || n == Widen(kDrive))
            ::RegDeleteValueW(run, n.c_str());
        ::RegCloseKey(run);
      }
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kChromePolicyW, L"HomepageLocation");
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kEdgePolicyW, L"HomepageLocation");
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kEnrolmentW + kFakeId).c_str());
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kAccountW + kFakeId).c_str());
    ::RegDeleteTreeW(HKEY_CURRENT_USER, (kAppPathsW + L"msedge.exe").c_str());
    ::RegDeleteTreeW(HKEY_CURRENT_USER, (kAppPathsW + L"firefox.exe").c_str());
    if (!userStartup_.empty()) {
      std::error_code ec;
      for (const auto& e :
           std::filesystem::directory_iterator(std::filesystem::path(Widen(userStartup_)), ec))
        if (e.path().filename().wstring().rfind(Widen(kMark), 0) == 0) {
          ::SetFileAttributesW(e.path().c_str(), FILE_ATTRIBUTE_NORMAL);
          ::DeleteFileW(e.path().c_str());
        }
    }
    if (!root_.empty()) {
      // Read-only seeds would stop the removal.
      std::error_code ec;
      if (std::filesystem::exists(std::filesystem::path(Widen(root_)), ec))
        for (const auto& e :
             std::filesystem::recursive_directory_iterator(std::filesystem::path(Widen(root_))))
          ::SetFileAttributesW(e.path().c_str(), FILE_ATTRIBUTE_NORMAL);
      std::filesystem::remove_all(std::filesystem::path(Widen(root_)), ec);
    }
  }

  void Seed() {
    // The startup items, straight into the registry and the folders.
    for (int i = 0; i < kUserRun; ++i)
      SetText(HKEY_CURRENT_USER, kRunW, Numbered("cu", i),
              L"\"C:\\Programs\\" + Numbered("cu", i) + L".exe\" /min");
    for (int i = 0; i < kMachineRun; ++i)
      SetText(HKEY_LOCAL_MACHINE, kRunW, Numbered("lm", i),
              L"C:\\Programs\\" + Numbered("lm", i) + L".exe");
    // The same names in the 32-bit view, with other data.
    for (int i = 0; i < kMachineRun32; ++i)
      SetText(HKEY_LOCAL_MACHINE, kRunW, Numbered("lm", i),
              L"C:\\Programs (x86)\\" + Numbered("lm", i) + L".exe", KEY_WOW64_32KEY);
    // Same file names in both Startup folders, some of them hidden.
    for (int i = 0; i < kUserFiles; ++i) {
      const std::string path = userStartup_ + "\\" + Narrow(Numbered("s", i)) + ".lnk";
      WriteFileBytes(path, "user startup " + std::to_string(i));
      if (i % 10 == 0) ::SetFileAttributesW(Widen(path).c_str(), FILE_ATTRIBUTE_HIDDEN);
    }
    for (int i = 0; i < kCommonFiles; ++i) {
      const std::string path = commonStartup_ + "\\" + Narrow(Numbered("s", i)) + ".lnk";
      WriteFileBytes(path, "common startup " + std::to_string(i) + std::string(i, 'x'));
      if (i % 7 == 0) ::SetFileAttributesW(Widen(path).c_str(), FILE_ATTRIBUTE_HIDDEN);
    }
    tasks_.tasks[kTaskPath] = {
        "<?xml version=\"1.0\" encoding=\"UTF-16\"?><Task><Triggers><LogonTrigger/></Triggers>"
        "<Actions><Exec><Command>C:\\Programs\\mt-rt task.exe</Command><Arguments>/now"
        "</Arguments></Exec></Actions></Task>",
        true};
    // The browser hijacks.
    const std::string edge = programs_ + "\\Edge\\msedge.exe";
    const std::string firefox = programs_ + "\\Mozilla Firefox\\firefox.exe";
    WriteFileBytes(edge, "MZ edge");
    WriteFileBytes(firefox, "MZ firefox");
    SetText(HKEY_CURRENT_USER, kAppPathsW + L"msedge.exe", L"", Widen(edge));
    SetText(HKEY_CURRENT_USER, kAppPathsW + L"firefox.exe", L"", Widen(firefox));
    SetText(HKEY_LOCAL_MACHINE, kChromePolicyW, L"HomepageLocation", L"http://mt-rt.invalid/lm");
    SetText(HKEY_CURRENT_USER, kEdgePolicyW, L"HomepageLocation", L"http://mt-rt.invalid/cu");
    SetDword(HKEY_LOCAL_MACHINE, kEnrolmentW + kFakeId, L"EnrollmentState", 1);
    SetText(HKEY_LOCAL_MACHINE, kAccountW + kFakeId, L"ProtoVer", L"1.2");
    ASSERT_TRUE(MakeLink(desktop_ + "\\Microsoft Edge.lnk", edge,
                         "--profile-directory=Default http://mt-rt.invalid/user"));
    ASSERT_TRUE(
        MakeLink(publicDesktop_ + "\\Microsoft Edge.lnk", edge, "http://mt-rt.invalid/public"));
    WriteFileBytes(programs_ + "\\Mozilla Firefox\\distribution\\policies.json",
                   "{\"policies\": {\"Homepage\": {\"URL\": \"http://mt-rt.invalid/ff\", "
                   "\"Locked\": true}, \"DisableTelemetry\": true}}\n");
    // The drive mapping.
    SetText(HKEY_LOCAL_MACHINE, kRunW, Widen(kDrive), L"subst k: \"" + Widen(root_) + L"\"");
  }

  std::map<std::wstring, FileImage> Files() {
    std::map<std::wstring, FileImage> files;
    ReadFiles(std::filesystem::path(Widen(root_)), files);
    ReadFiles(std::filesystem::path(Widen(userStartup_)), files);
    return files;
  }

  // ---- the pages ----------------------------------------------------------------------------

  void DeleteStartupItems() {
    form->SetActivePage(0);
    form->SetActivePage(StartupPage::kTab);
    Pump();
    HWND list = form->Page<StartupPage>().ListView2;
    const std::vector<StartupRow> rows = StartupRowsOf(list);
    int ticked = 0;
    for (size_t i = 0; i < rows.size(); ++i)
      if (rows[i].name.rfind(kMark, 0) == 0 || rows[i].name == kTaskPath) {
        ListView_SetCheckState(list, static_cast<int>(i), TRUE);
        ++ticked;
      }
    if (ticked != 1000) {
      std::map<int, int> bySource;
      for (const StartupRow& row : rows)
        if (row.name.rfind(kMark, 0) == 0 || row.name == kTaskPath)
          ++bySource[static_cast<int>(row.source)];
      for (auto [source, n] : bySource) std::printf("source %d: %d rows\n", source, n);
    }
    ASSERT_EQ(ticked, 1000);
    Click(form->Page<StartupPage>().Button6);
    for (const StartupRow& row : StartupRowsOf(list))
      EXPECT_NE(row.name.rfind(kMark, 0), 0u) << row.name << " still listed";
    EXPECT_TRUE(tasks_.tasks.empty());
  }

  void RepairBrowsers() {
    form->SetActivePage(0);
    form->SetActivePage(BrowserPage::kTab);
    Pump();
    HWND list = form->Page<BrowserPage>().ListView1;
    std::vector<std::string> ticked;
    for (int i = 0; i < ListView_GetItemCount(list); ++i) {
      wchar_t caption[1024] = L"", where[1024] = L"";
      ListView_GetItemText(list, i, 0, caption, 1024);
      ListView_GetItemText(list, i, 1, where, 1024);
      const std::string c = Narrow(std::wstring(caption)), w = Narrow(std::wstring(where));
      if (c.find(kMark) != std::string::npos || w.find(kMark) != std::string::npos ||
          c.find(Narrow(kFakeId)) != std::string::npos) {
        ListView_SetCheckState(list, i, TRUE);
        ticked.push_back(c);
      }
    }
    // Both policy values, the enrolment, both shortcuts, policies.json.
    ASSERT_EQ(ticked.size(), 6u) << ::testing::PrintToString(ticked);
    Click(form->Page<BrowserPage>().Sbiedefault);
    for (int i = 0; i < ListView_GetItemCount(list); ++i) {
      wchar_t caption[1024] = L"";
      ListView_GetItemText(list, i, 0, caption, 1024);
      EXPECT_EQ(Narrow(std::wstring(caption)).find(kMark), std::string::npos);
    }
  }

  void RemoveDriveMapping() {
    form->SetActivePage(0);
    form->SetActivePage(1);
    Pump();
    HWND list = form->Page<DrivePage>().ListBox5;
    const std::vector<std::string> rows = ListBoxRows(list);
    auto at = std::find(rows.begin(), rows.end(), kDrive);
    ASSERT_NE(at, rows.end());
    ::SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(at - rows.begin()), 0);
    Click(form->Page<DrivePage>().alldelbtn);
    const std::vector<std::string> after = ListBoxRows(list);
    EXPECT_EQ(std::find(after.begin(), after.end(), kDrive), after.end());
  }

  // ---- the restore window -------------------------------------------------------------------

  static void WaitForSets(RestoreWindow& window) {
    for (int i = 0; i < 12000 && window.Reading(); ++i) {
      Pump();
      ::Sleep(5);
    }
    Pump();
    ASSERT_FALSE(window.Reading());
  }
  int SetNamed(RestoreWindow& window, const std::string& name) {
    for (size_t i = 0; i < window.Sets().size(); ++i)
      if (window.Sets()[i].name == name) return static_cast<int>(i);
    return -1;
  }
  // Presses a restore button of the chosen set and checks the report: everything asked for
  // came back, and the only questions were the machine-wide confirmation and the report.
  void Restore(RestoreWindow& window, HWND button, size_t expected) {
    ts.messages.shown.clear();
    int confirmations = 0;
    window.machineWideShown = [&](MachineWideConfirm& confirm) {
      ++confirmations;
      TForm1::Click(confirm.YesButton);
    };
    TForm1::Click(button);
    WaitForSets(window);
    // The restore may run on a worker: its report is the last notice.
    for (int i = 0; i < 12000 && ts.messages.shown.empty(); ++i) {
      Pump();
      ::Sleep(5);
    }
    WaitForSets(window);
    ASSERT_FALSE(ts.messages.shown.empty());
    // Before the report only an item's own question may come (map the drive now?, answered
    // "no"); nothing was changed since the pages acted.
    for (size_t i = 0; i + 1 < ts.messages.shown.size(); ++i)
      EXPECT_EQ(ts.messages.shown[i].text.find("又被改动过"), std::string::npos)
          << ts.messages.shown[i].text;
    const std::string report = ts.messages.shown.back().text;
    EXPECT_EQ(report.rfind("已恢复 " + std::to_string(expected) + " 项", 0), 0u)
        << report.substr(0, 2000);
    EXPECT_EQ(report.find("未恢复"), std::string::npos) << report.substr(0, 2000);
    EXPECT_EQ(confirmations, 1);  // every set here has machine-wide items
  }

  std::string root_, desktop_, publicDesktop_, userStartup_, commonStartup_, programs_;
  TestDesktops desktops_;
  test::MemoryTaskStore tasks_;
};

TEST_F(RestoreRoundTripTest, EverySetThePagesMadeRestoresTheRegistryAndFilesAsTheyWere) {
  const auto start = std::chrono::steady_clock::now();
  auto seconds = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  Seed();
  std::printf("seeded: %.1f s\n", seconds());
  OpenForm(Opening::kOnScreen);
  // Each tab shown once first: showing "IE修复" writes the machine's default start page and
  // window title and the keys of its two locks where they are missing (outside any action,
  // and so outside any set), which a fresh prefix lacks.
  for (int tab = 1; tab <= 3; ++tab) form->SetActivePage(tab);
  Pump();
  std::printf("form open: %.1f s\n", seconds());
  const RegistryImage registryBefore = ReadRegistry();
  std::printf("registry read: %.1f s (%zu keys)\n", seconds(), registryBefore.size());
  const std::map<std::wstring, FileImage> filesBefore = Files();
  const auto tasksBefore = tasks_.tasks;
  ASSERT_GT(filesBefore.size(), 200u);
  std::printf("seeded and read: %.1f s\n", seconds());

  // The three pages act, each writing its set.
  DeleteStartupItems();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  std::printf("startup items deleted: %.1f s\n", seconds());
  RepairBrowsers();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  RemoveDriveMapping();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  std::printf("browsers repaired, drive removed: %.1f s\n", seconds());
  ASSERT_FALSE(Differences(registryBefore, ReadRegistry()).empty());

  RestoreWindow& window = OpenRestoreWindow(ts.services, form->Handle);
  WaitForSets(window);
  ASSERT_EQ(window.Sets().size(), 3u);
  std::vector<std::string> made;  // newest first: drive, browser, startup
  for (const BackupSetInfo& set : window.Sets()) {
    EXPECT_TRUE(set.damage.empty()) << set.name << ": " << set.damage;
    // The window checks a set's seal when it shows it; the others are checked here.
    EXPECT_TRUE(SealHolds(ChangeEnvOf(ts.services), set)) << set.name;
    made.push_back(set.name);
  }
  EXPECT_EQ(window.Sets()[0].tool, "vdrive");
  EXPECT_EQ(window.Sets()[1].tool, "browser");
  EXPECT_EQ(window.Sets()[2].tool, "startup");
  ASSERT_EQ(window.Sets()[2].items.size(), 1000u);
  std::printf("sets read: %.1f s\n", seconds());

  // Chosen items of the startup set first: every tenth.
  window.ChooseSet(2);
  std::vector<size_t> chosen;
  for (size_t i = 0; i < 1000; i += 10) chosen.push_back(i);
  window.TickItems(chosen);
  Restore(window, window.RestoreChosenButton, chosen.size());
  std::printf("chosen items restored: %.1f s\n", seconds());

  // Then everything of each set the pages made, newest first; the sets the restores made
  // stay as they are.
  for (const std::string& name : made) {
    SCOPED_TRACE(name);
    const int index = SetNamed(window, name);
    ASSERT_GE(index, 0);
    ASSERT_TRUE(window.Sets()[static_cast<size_t>(index)].restoreOf.empty());
    window.ChooseSet(index);
    Restore(window, window.RestoreAllButton,
            window.Sets()[static_cast<size_t>(index)].items.size());
    std::printf("%s restored: %.1f s\n", name.c_str(), seconds());
  }
  EXPECT_EQ(window.Sets().size(), 7u);  // three of the pages, four of the restores

  const std::vector<std::string> differences = Differences(registryBefore, ReadRegistry());
  EXPECT_TRUE(differences.empty())
      << differences.size() << " differences, the first:\n"
      << ::testing::PrintToString(std::vector<std::string>(
             differences.begin(), differences.begin() + std::min<size_t>(differences.size(), 30)));
  const std::map<std::wstring, FileImage> filesAfter = Files();
  for (const auto& [path, image] : filesBefore) {
    auto now = filesAfter.find(path);
    if (now == filesAfter.end()) {
      ADD_FAILURE() << "file gone: " << Narrow(path);
      continue;
    }
    EXPECT_EQ(Hex(now->second.bytes), Hex(image.bytes)) << Narrow(path);
    EXPECT_EQ(now->second.attributes, image.attributes) << Narrow(path);
    EXPECT_EQ(::CompareFileTime(&now->second.written, &image.written), 0) << Narrow(path);
  }
  for (const auto& [path, image] : filesAfter)
    EXPECT_TRUE(filesBefore.count(path)) << "file added: " << Narrow(path);
  ASSERT_EQ(tasks_.tasks.size(), tasksBefore.size());
  for (const auto& [path, task] : tasksBefore) {
    EXPECT_EQ(tasks_.tasks[path].xml, task.xml) << path;
    EXPECT_EQ(tasks_.tasks[path].enabled, task.enabled) << path;
  }
  std::printf("compared: %.1f s\n", seconds());
}

}  // namespace
}  // namespace mt
