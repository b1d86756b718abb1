// The "系统启动项" page end to end under Wine: the real TForm1 on the prefix's registry and
// file system, with scripted dialogs and recorded message boxes. What the list must show is
// worked out here straight from the Win32 API.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <knownfolders.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <tuple>

#include <atomic>
#include <thread>

#include "app/AdminRights.h"
#include "startup/LogonValueFamily.h"
#include "app/Restore.h"
#include "app/Backup.h"
#include "app/BackupSets.h"
#include "app/Constants.h"
#include "app/DataPlaces.h"
#include "app/Restore.h"
#include "app/Settings.h"
#include "app/win/Unit1.h"
#include "app/win/Handles.h"
#include "app/win/WinServices.h"
#include "startup/Publishers.h"
#include "startup/ServiceFamily.h"
#include "startup/StartupApproved.h"
#include "startup/StartupItems.h"
#include "startup/tests/StartupStandIns.h"
#include "startup/win/WinStartupPlaces.h"
#include "tests/support/StandIns.h"
#include "tests/support/WinFolderLink.h"
#include "tests/support/WinMainWindow.h"
#include "tests/support/WinRegedit.h"
#include "update/tests/WinSigningSupport.h"
#include "browser/win/BrowserPage.h"
#include "vdrive/win/DrivePage.h"
#include "startup/win/StartupPage.h"
#include "tests/support/YesToAll.h"

namespace mt::test {
namespace {

const wchar_t* const kRunW = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::wstring kApprovedW =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\";

// A state record in the native view, as the system's startup manager writes it.
void SetApproved(HKEY root, const wchar_t* key, const std::string& name, const std::string& bytes) {
  ASSERT_EQ(RegSetKeyValueW(root, (kApprovedW + key).c_str(), Widen(name).c_str(), REG_BINARY,
                            bytes.data(), static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS);
}

std::optional<std::string> Approved(HKEY root, const wchar_t* key, const std::string& name,
                                    REGSAM view = KEY_WOW64_64KEY) {
  HKEY k = nullptr;
  if (RegOpenKeyExW(root, (kApprovedW + key).c_str(), 0, KEY_READ | view, &k) != ERROR_SUCCESS)
    return std::nullopt;
  BYTE data[64];
  DWORD size = sizeof data, type = 0;
  LONG rc = RegQueryValueExW(k, Widen(name).c_str(), nullptr, &type, data, &size);
  RegCloseKey(k);
  if (rc != ERROR_SUCCESS || type != REG_BINARY) return std::nullopt;
  return std::string(reinterpret_cast<char*>(data), size);
}

// A value of any key, exactly as stored, in the given view.
std::optional<std::pair<DWORD, std::string>> RawValue(HKEY root, const std::wstring& key,
                                                      const std::string& name, REGSAM view) {
  HKEY k = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, &k) != ERROR_SUCCESS)
    return std::nullopt;
  BYTE data[4096];
  DWORD size = sizeof data, type = 0;
  LONG rc = RegQueryValueExW(k, Widen(name).c_str(), nullptr, &type, data, &size);
  RegCloseKey(k);
  if (rc != ERROR_SUCCESS) return std::nullopt;
  return std::make_pair(type, std::string(reinterpret_cast<char*>(data), size));
}

// A Run value exactly as stored.
std::optional<std::pair<DWORD, std::string>> RawRunValue(HKEY root, const std::string& name,
                                                         REGSAM view = 0) {
  return RawValue(root, kRunW, name, view);
}

using S = StartupSource;
using Entry = std::tuple<std::string, std::string, int>;  // name, location, source

std::vector<std::pair<std::string, std::string>> RunValues(HKEY root, REGSAM view = 0) {
  std::vector<std::pair<std::string, std::string>> out;
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, kRunW, 0, KEY_READ | view, &key) != ERROR_SUCCESS) return out;
  for (DWORD i = 0;; ++i) {
    wchar_t name[16384];
    BYTE data[65536];
    DWORD nameLen = 16384, dataLen = sizeof data, type = 0;
    if (RegEnumValueW(key, i, name, &nameLen, nullptr, &type, data, &dataLen) != ERROR_SUCCESS)
      break;
    std::wstring text(reinterpret_cast<wchar_t*>(data), dataLen / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    out.emplace_back(Narrow(name, nameLen), Narrow(text));
  }
  RegCloseKey(key);
  return out;
}

void SetRunValue(HKEY root, const std::string& name, DWORD type, const void* data, DWORD size,
                 REGSAM view = 0) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root, kRunW, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, Widen(name).c_str(), 0, type, static_cast<const BYTE*>(data), size),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

void SetRunText(HKEY root, const std::string& name, const std::string& text, REGSAM view = 0) {
  std::wstring w = Widen(text);
  SetRunValue(root, name, REG_SZ, w.c_str(), static_cast<DWORD>((w.size() + 1) * 2), view);
}

std::optional<std::string> RunText(HKEY root, const std::string& name, REGSAM view = 0) {
  for (auto& [n, d] : RunValues(root, view))
    if (n == name) return d;
  return std::nullopt;
}

void DeleteRunValue(HKEY root, const std::string& name, REGSAM view = 0) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, kRunW, 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS) return;
  RegDeleteValueW(key, Widen(name).c_str());
  RegCloseKey(key);
}

std::string Known(REFKNOWNFOLDERID id) {
  UniqueCoTaskMemString p;
  std::string out;
  if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_CREATE, nullptr, p.put()))) out = Narrow(p.get());
  return out;
}

// The user Startup folder: "Shell Folders"\"Startup", else the known folder.
std::string UserFolder() {
  wchar_t buf[MAX_PATH * 2];
  DWORD size = sizeof buf;
  if (RegGetValueW(HKEY_CURRENT_USER,
                   L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                   L"Startup", RRF_RT_REG_SZ, nullptr, buf, &size) == ERROR_SUCCESS &&
      buf[0])
    return Narrow(buf);
  return Known(FOLDERID_Startup);
}

// The fixed old path of the common Startup folder.
std::string FixedCommonFolder() {
  wchar_t win[MAX_PATH];
  GetWindowsDirectoryW(win, MAX_PATH);
  std::string w = Narrow(win);
  std::string parent = w.substr(0, w.find_last_of('\\'));
  if (parent.size() == 2) parent += "\\";
  return JoinPath(parent, kCommonStartupTail);
}

// The common Startup folder: the fixed old path when it is a plain folder, else the known
// folder.
std::string CommonFolder() {
  std::string fixed = FixedCommonFolder();
  DWORD attr = GetFileAttributesW(Widen(fixed).c_str());
  if (attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) &&
      !(attr & FILE_ATTRIBUTE_REPARSE_POINT))
    return fixed;
  return Known(FOLDERID_CommonStartup);
}

// The files of a Startup folder that are opened at log-on: all but its subfolders and its
// desktop.ini.
std::vector<std::string> Shortcuts(const std::string& folder) {
  std::vector<std::string> out;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(Widen(folder + "\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return out;
  do {
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    if (_wcsicmp(fd.cFileName, L"desktop.ini") == 0) continue;
    out.push_back(Narrow(fd.cFileName));
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  return out;
}

void MakeFile(const std::string& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  HANDLE h = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
  DWORD written = 0;
  WriteFile(h, "L", 1, &written, nullptr);
  CloseHandle(h);
  ASSERT_TRUE(SetFileAttributesW(Widen(path).c_str(), attributes));
}

bool Exists(const std::string& path) {
  return GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveFile(const std::string& path) {
  SetFileAttributesW(Widen(path).c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(Widen(path).c_str());
}

using YesToAll = test::YesToAll;

class StartupTabTest : public MainWindowTest {
 protected:
  void SetUp() override {
    // The prefix's registry, files and known folders.
    ts.services.registry = real->services.registry;
    ts.services.files = real->services.files;
    ts.services.startupPlaces = real->services.startupPlaces;
    // Backups go to a program folder of the test's own.
    UseOwnProgramFolder("mt-test program");
    exeDir = ts.services.exeDir;
    KeepOfferAway();
    userDir = UserFolder();
    commonDir = CommonFolder();
    ASSERT_FALSE(userDir.empty());
    ASSERT_FALSE(commonDir.empty());
    CreateDirectoryW(Widen(userDir).c_str(), nullptr);
    SHCreateDirectoryExW(nullptr, Widen(commonDir).c_str(), nullptr);
    OpenForm(Opening::kOnScreen);
  }
  void TearDown() override {
    form.reset();
    for (const std::string& n : madeValues) {
      DeleteRunValue(HKEY_LOCAL_MACHINE, n);
      DeleteRunValue(HKEY_CURRENT_USER, n);
      DeleteRunValue(HKEY_LOCAL_MACHINE, n, KEY_WOW64_32KEY);
    }
    for (const std::string& f : madeFiles) RemoveFile(f);
    for (const std::string& name : madeValues)
      for (const wchar_t* key : {L"Run", L"Run32", L"StartupFolder"})
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
          RegDeleteKeyValueW(root, (kApprovedW + std::wstring(key)).c_str(), Widen(name).c_str());
    MainWindowTest::TearDown();
  }
  void Value(HKEY root, const std::string& name, const std::string& text, REGSAM view = 0) {
    madeValues.insert(name);
    SetRunText(root, name, text, view);
  }
  std::string Shortcut(const std::string& folder, const std::string& name,
                       DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    std::string path = folder + "\\" + name;
    madeFiles.push_back(path);
    MakeFile(path, attributes);
    return path;
  }
  std::vector<StartupRow> Rows() { return StartupRowsOf(form->Page<StartupPage>().ListView2); }
  bool Check(const std::string& name, S source) {
    std::vector<StartupRow> rows = Rows();
    for (size_t i = 0; i < rows.size(); ++i)
      if (rows[i].name == name && rows[i].source == source) {
        ListView_SetCheckState(form->Page<StartupPage>().ListView2, static_cast<int>(i), TRUE);
        return true;
      }
    return false;
  }
  bool Listed(const std::string& name, S source) {
    for (const StartupRow& r : Rows())
      if (r.name == name && r.source == source) return true;
    return false;
  }
  // What the list must hold, read straight from the prefix.
  std::multiset<Entry> Expected() {
    std::multiset<Entry> out;
    for (auto& [n, d] : RunValues(HKEY_LOCAL_MACHINE)) out.emplace(n, d, 0);
    for (auto& [n, d] : RunValues(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY)) out.emplace(n, d, 1);
    for (auto& [n, d] : RunValues(HKEY_CURRENT_USER)) out.emplace(n, d, 2);
    for (auto& n : Shortcuts(userDir)) out.emplace(n, JoinPath(userDir, n), 3);
    for (auto& n : Shortcuts(commonDir)) out.emplace(n, JoinPath(commonDir, n), 4);
    return out;
  }
  std::multiset<Entry> Shown() {
    std::multiset<Entry> out;
    for (const StartupRow& r : Rows()) out.emplace(r.name, r.location, static_cast<int>(r.source));
    return out;
  }

  // The state column's text of the row `name` of `source` ("" when not listed).
  std::string StateShown(const std::string& name, S source) {
    std::vector<StartupRow> rows = Rows();
    for (size_t i = 0; i < rows.size(); ++i)
      if (rows[i].name == name && rows[i].source == source) {
        wchar_t text[32] = L"";
        ListView_GetItemText(form->Page<StartupPage>().ListView2, static_cast<int>(i), 2, text, 32);
        return Narrow(text);
      }
    return std::string();
  }

  // Pumps the window's messages while `pending` holds, at most `limitMs`; false when it still
  // holds then.
  template <typename Pending>
  bool PumpWhile(Pending pending, int limitMs) {
    const DWORD start = GetTickCount();
    while (pending()) {
      if (static_cast<int>(GetTickCount() - start) > limitMs) return false;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
      Pump();
    }
    Pump();
    return true;
  }
  // Pumps the window's messages until the families read on threads of their own (the
  // scheduled tasks, the image hijacks, the services) are read and listed.
  bool PumpUntilTasksRead(int limitMs = 30000) {
    return PumpWhile([this] { return form->Page<StartupPage>().StartupTasksPending(); }, limitMs);
  }
  std::string userDir, commonDir, exeDir;
  std::set<std::string> madeValues;
  std::vector<std::string> madeFiles;
};

TEST_F(StartupTabTest, PageHoldsTheListAndButtonsAsDesigned) {
  HWND list = form->Page<StartupPage>().ListView2;
  ASSERT_TRUE(list);
  EXPECT_EQ(GetParent(list), form->TabSheet4);
  LONG style = GetWindowLongW(list, GWL_STYLE);
  EXPECT_EQ(style & LVS_TYPEMASK, LVS_REPORT);
  EXPECT_EQ(style & (LVS_SORTASCENDING | LVS_SORTDESCENDING | LVS_EDITLABELS), 0);
  DWORD ex = ListView_GetExtendedListViewStyle(list);
  EXPECT_EQ(ex & (LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT),
            static_cast<DWORD>(LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT));
  const char* captions[] = {"启动项名称", "启动项位置", "状态", "来源", "发布者"};
  for (int i = 0; i < 5; ++i) {
    wchar_t text[64] = L"";
    LVCOLUMNW col = {};
    col.mask = LVCF_TEXT | LVCF_WIDTH;
    col.pszText = text;
    col.cchTextMax = 64;
    ASSERT_TRUE(SendMessageW(list, LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&col)));
    EXPECT_EQ(Narrow(text), captions[i]);
  }
  // The page keeps its layout: the columns fit the list, the actions on the rows that are
  // not buttons sit in the list's context menu; the other lists offer their backups and the
  // way back from them.
  EXPECT_EQ(form->ContextMenuCaptions(list),
            (std::vector<std::string>{"禁用", "启用", "打开文件位置", "隐藏微软签名的项目",
                                      "打开备份文件夹", "恢复备份…"}));
  EXPECT_EQ(form->ContextMenuCaptions(form->Page<DrivePage>().ListBox5),
            (std::vector<std::string>{"打开备份文件夹", "恢复备份…"}));
  EXPECT_EQ(form->ContextMenuCaptions(form->Page<BrowserPage>().ListView1),
            (std::vector<std::string>{"打开备份文件夹", "恢复备份…"}));
  EXPECT_EQ(TForm1::GetText(form->Page<StartupPage>().Button2), "添加");
  EXPECT_EQ(TForm1::GetText(form->Page<StartupPage>().Button6), "删除");
  EXPECT_EQ(GetParent(form->Page<StartupPage>().Button2), form->TabSheet4);
  EXPECT_EQ(form->OpenDialog3.filter, "*.exe|*.exe");
  EXPECT_FALSE(form->OpenDialog3.multiSelect);
  RECT page, lv, b6;
  GetClientRect(form->TabSheet4, &page);
  GetWindowRect(list, &lv);
  GetWindowRect(form->Page<StartupPage>().Button6, &b6);
  MapWindowPoints(nullptr, form->TabSheet4, reinterpret_cast<POINT*>(&lv), 2);
  MapWindowPoints(nullptr, form->TabSheet4, reinterpret_cast<POINT*>(&b6), 2);
  EXPECT_LE(lv.right, page.right);
  EXPECT_LE(b6.bottom, page.bottom);
  EXPECT_GE(b6.top, lv.bottom);
}

// The list reads without scrolling sideways at 96, 120 and 144 DPI: the columns share the
// list's width, each header whole; the command line column gives way, and hovering its row
// shows the whole command line (the tip the list asks its parent for).
TEST_F(StartupTabTest, ColumnsFitTheListAndTheTipShowsTheWholeCommandAtEveryDpi) {
  const std::string command = "C:\\Program Files\\Long\\" + std::string(120, 'a') + ".exe /x";
  Value(HKEY_CURRENT_USER, "mt-test long", command);
  form->SetActivePage(3);
  HWND list = form->Page<StartupPage>().ListView2;
  int row = -1;
  const std::vector<StartupRow> rows = Rows();
  for (size_t i = 0; i < rows.size(); ++i)
    if (rows[i].name == "mt-test long") row = static_cast<int>(i);
  ASSERT_GE(row, 0);
  EXPECT_NE(ListView_GetExtendedListViewStyle(list) & LVS_EX_INFOTIP, 0u);
  for (UINT dpi : {96u, 120u, 144u, 96u}) {
    SCOPED_TRACE(dpi);
    RECT suggested{};
    ::GetWindowRect(form->Handle, &suggested);
    ::SendMessageW(form->Handle, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                   reinterpret_cast<LPARAM>(&suggested));
    ASSERT_EQ(form->Dpi(), dpi);
    HWND header = ListView_GetHeader(list);
    ASSERT_EQ(Header_GetItemCount(header), 5);
    RECT client{};
    ::GetClientRect(list, &client);
    // With or without a vertical bar: the columns fit the width rows have once it shows.
    int room = client.right;
    if (!(::GetWindowLongW(list, GWL_STYLE) & WS_VSCROLL)) room -= ::GetSystemMetrics(SM_CXVSCROLL);
    int sum = 0;
    for (int c = 0; c < 5; ++c) {
      wchar_t text[64] = L"";
      HDITEMW item{};
      item.mask = HDI_TEXT;
      item.pszText = text;
      item.cchTextMax = 64;
      ASSERT_TRUE(Header_GetItem(header, c, &item));
      const int width = ListView_GetColumnWidth(list, c);
      EXPECT_GE(width, ListView_GetStringWidth(list, text) + form->Scale(12)) << c;
      sum += width;
    }
    EXPECT_LE(sum, room);
    // The list's width is used, not left empty.
    EXPECT_GE(sum, room - 1);
    // Nothing to scroll to sideways.
    EXPECT_FALSE(::GetWindowLongW(list, GWL_STYLE) & WS_HSCROLL);

    wchar_t tip[2048] = L"cut";
    NMLVGETINFOTIPW nm{};
    nm.hdr.hwndFrom = list;
    nm.hdr.idFrom = static_cast<UINT_PTR>(::GetDlgCtrlID(list));
    nm.hdr.code = LVN_GETINFOTIPW;
    nm.pszText = tip;
    nm.cchTextMax = 2048;
    nm.iItem = row;
    ::SendMessageW(::GetParent(list), WM_NOTIFY, nm.hdr.idFrom, reinterpret_cast<LPARAM>(&nm));
    EXPECT_EQ(Narrow(tip, wcslen(tip)), "mt-test long\n" + command);
  }
}

TEST_F(StartupTabTest, ShowingThePageListsExactlyThePrefixsPlaces) {
  Value(HKEY_LOCAL_MACHINE, "mt-test machine", "C:\\Program Files\\M\\m.exe -s");
  Value(HKEY_CURRENT_USER, "mt-test user", "\"C:\\U\\u.exe\"");
  Shortcut(userDir, "mt-test visible.lnk");
  Shortcut(userDir, "mt-test hidden.lnk", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  Shortcut(userDir, "mt-test note.txt");
  Shortcut(commonDir, "mt-test common.lnk");
  ListView_DeleteAllItems(form->Page<StartupPage>().ListView2);

  form->SetActivePage(3);

  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_EQ(Shown(), Expected());
  EXPECT_TRUE(Listed("mt-test machine", S::MachineRun));
  EXPECT_TRUE(Listed("mt-test user", S::UserRun));
  EXPECT_TRUE(Listed("mt-test hidden.lnk", S::UserFolder));
  EXPECT_TRUE(Listed("mt-test common.lnk", S::CommonFolder));
  // Any file there is opened at log-on, a program or a note as well as a shortcut.
  EXPECT_TRUE(Listed("mt-test note.txt", S::UserFolder));
  std::vector<StartupRow> rows = Rows();
  EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end(), [](auto& a, auto& b) {
    return static_cast<int>(a.source) < static_cast<int>(b.source);
  }));
  for (const StartupRow& r : rows) EXPECT_FALSE(r.checked) << r.name;
}

TEST_F(StartupTabTest, The32BitMachineRunKeyIsListedAfterTheMachineRowsAndDeletedThere) {
  Value(HKEY_LOCAL_MACHINE, "mt-test wow32", "C:\\x86\\old.exe", KEY_WOW64_32KEY);
  Value(HKEY_LOCAL_MACHINE, "mt-test both", "C:\\x64\\both.exe");
  Value(HKEY_LOCAL_MACHINE, "mt-test both", "C:\\x86\\both.exe", KEY_WOW64_32KEY);
  Value(HKEY_CURRENT_USER, "mt-test user32", "C:\\x86\\user.exe", KEY_WOW64_32KEY);
  ASSERT_FALSE(RunText(HKEY_LOCAL_MACHINE, "mt-test wow32")) << "no separate 32-bit view";
  form->SetActivePage(3);

  EXPECT_EQ(Shown(), Expected());
  EXPECT_TRUE(Listed("mt-test wow32", S::MachineRun32));
  EXPECT_TRUE(Listed("mt-test both", S::MachineRun32));
  EXPECT_TRUE(Listed("mt-test both", S::MachineRun));
  // The user's key is one and the same in both views.
  EXPECT_TRUE(Listed("mt-test user32", S::UserRun));
  EXPECT_FALSE(Listed("mt-test user32", S::MachineRun32));
  // The name column tells the 32-bit rows apart.
  std::vector<StartupRow> rows = Rows();
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    wchar_t text[256] = L"";
    ListView_GetItemText(form->Page<StartupPage>().ListView2, i, 0, text, 256);
    std::string expected = rows[i].name;
    if (rows[i].source == S::MachineRun32) expected += " (32位)";
    EXPECT_EQ(Narrow(text), expected);
  }

  ASSERT_TRUE(Check("mt-test both", S::MachineRun32));
  ASSERT_TRUE(Check("mt-test wow32", S::MachineRun32));
  TForm1::Click(form->Page<StartupPage>().Button6);

  EXPECT_FALSE(RunText(HKEY_LOCAL_MACHINE, "mt-test both", KEY_WOW64_32KEY));
  EXPECT_FALSE(RunText(HKEY_LOCAL_MACHINE, "mt-test wow32", KEY_WOW64_32KEY));
  EXPECT_EQ(RunText(HKEY_LOCAL_MACHINE, "mt-test both"), "C:\\x64\\both.exe");
  EXPECT_TRUE(Listed("mt-test both", S::MachineRun));
  EXPECT_FALSE(Listed("mt-test both", S::MachineRun32));
  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_EQ(Shown(), Expected());
}

TEST_F(StartupTabTest, AFixedCommonPathThatIsALinkIsNotListed) {
  // As on later Chinese systems: the old path is a junction to the real folder.
  std::string fixed = FixedCommonFolder();
  ASSERT_EQ(GetFileAttributesW(Widen(fixed).c_str()), INVALID_FILE_ATTRIBUTES)
      << "the prefix has the old folder itself";
  std::string programs = fixed.substr(0, fixed.find_last_of('\\'));
  std::string top = fixed.substr(0, fixed.find("\\All Users"));
  ASSERT_EQ(SHCreateDirectoryExW(nullptr, Widen(programs).c_str(), nullptr), ERROR_SUCCESS);
  std::string elsewhere = programs + "\\mt-test elsewhere";
  CreateDirectoryW(Widen(elsewhere).c_str(), nullptr);
  Shortcut(elsewhere, "mt-test behind link.lnk");
  Shortcut(commonDir, "mt-test known.lnk");
  {
    test::FolderLink link(Widen(fixed), Widen(elsewhere));
    ASSERT_TRUE(link.Made());
    form->SetActivePage(3);
    EXPECT_TRUE(Listed("mt-test known.lnk", S::CommonFolder));
    EXPECT_FALSE(Listed("mt-test behind link.lnk", S::CommonFolder));
    for (const StartupRow& r : Rows()) {
      if (r.source == S::CommonFolder) {
        EXPECT_EQ(r.location.rfind(commonDir, 0), 0u);
      }
    }
  }
  // The folders made for the old path, deepest first (never the link itself: Wine would
  // remove its target instead).
  RemoveFile(elsewhere + "\\mt-test behind link.lnk");
  for (std::string dir = elsewhere; dir.size() > top.size();
       dir = dir.substr(0, dir.find_last_of('\\')))
    RemoveDirectoryW(Widen(dir).c_str());
  RemoveDirectoryW(Widen(top).c_str());
}

TEST_F(StartupTabTest, AddWritesTheMachineRunKeyAndCancelStillRefreshes) {
  madeValues.insert("mt-test run me.exe");
  Value(HKEY_LOCAL_MACHINE, "mt-test other", "o.exe");
  ts.dialogs.openAnswers.push_back(
      std::vector<std::string>{"C:\\Program Files\\My App\\mt-test run me.exe"});
  form->SetActivePage(3);

  TForm1::Click(form->Page<StartupPage>().Button2);

  ASSERT_EQ(ts.dialogs.openAsked.size(), 1u);
  EXPECT_EQ(ts.dialogs.openAsked[0].filter, "*.exe|*.exe");
  EXPECT_EQ(RunText(HKEY_LOCAL_MACHINE, "mt-test run me.exe"),
            "C:\\Program Files\\My App\\mt-test run me.exe");
  EXPECT_FALSE(RunText(HKEY_CURRENT_USER, "mt-test run me.exe"));
  EXPECT_TRUE(Listed("mt-test run me.exe", S::MachineRun));
  EXPECT_TRUE(ts.messages.shown.empty());

  ASSERT_TRUE(Check("mt-test other", S::MachineRun));
  Value(HKEY_CURRENT_USER, "mt-test later", "l.exe");
  TForm1::Click(form->Page<StartupPage>().Button2);  // no answer scripted: cancelled
  EXPECT_EQ(ts.dialogs.openAsked.size(), 2u);
  EXPECT_TRUE(Listed("mt-test later", S::UserRun));
  for (const StartupRow& r : Rows()) EXPECT_FALSE(r.checked) << r.name;
  EXPECT_EQ(Shown(), Expected());
}

// A read-only shortcut goes too: its attribute is cleared for the deletion. (A file that
// cannot be deleted at all is named in a notice: the native tests show it.)
TEST_F(StartupTabTest, DeleteRemovesTheCheckedItemsFromTheirOwnPlaces) {
  Value(HKEY_LOCAL_MACHINE, "mt-test same", "s.exe");
  Value(HKEY_CURRENT_USER, "mt-test same", "s.exe");
  Value(HKEY_LOCAL_MACHINE, "mt-test gone", "g.exe");
  std::string user = Shortcut(userDir, "mt-test user.lnk", FILE_ATTRIBUTE_HIDDEN);
  std::string common = Shortcut(commonDir, "mt-test common.lnk");
  std::string readOnly = Shortcut(userDir, "mt-test locked.lnk", FILE_ATTRIBUTE_READONLY);
  form->SetActivePage(3);
  ASSERT_TRUE(Check("mt-test same", S::UserRun));
  ASSERT_TRUE(Check("mt-test gone", S::MachineRun));
  ASSERT_TRUE(Check("mt-test user.lnk", S::UserFolder));
  ASSERT_TRUE(Check("mt-test common.lnk", S::CommonFolder));
  ASSERT_TRUE(Check("mt-test locked.lnk", S::UserFolder));

  TForm1::Click(form->Page<StartupPage>().Button6);

  EXPECT_TRUE(RunText(HKEY_LOCAL_MACHINE, "mt-test same"));
  EXPECT_FALSE(RunText(HKEY_CURRENT_USER, "mt-test same"));
  EXPECT_FALSE(RunText(HKEY_LOCAL_MACHINE, "mt-test gone"));
  EXPECT_FALSE(Exists(user));
  EXPECT_FALSE(Exists(common));
  EXPECT_FALSE(Exists(readOnly));
  EXPECT_FALSE(Listed("mt-test locked.lnk", S::UserFolder));
  EXPECT_TRUE(Listed("mt-test same", S::MachineRun));
  EXPECT_FALSE(Listed("mt-test same", S::UserRun));
  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_EQ(Shown(), Expected());
}

// A standard user's 添加 and 删除 through the real window: the one notice; the user's own rows
// go, the machine's stay and are listed again.
TEST_F(StartupTabTest, WithoutAdministratorRightsTheUsersRowsGoAndOneNoticeNamesTheRest) {
  Value(HKEY_LOCAL_MACHINE, "mt-test machine", "m.exe");
  Value(HKEY_CURRENT_USER, "mt-test mine", "u.exe");
  std::string user = Shortcut(userDir, "mt-test mine.lnk");
  std::string common = Shortcut(commonDir, "mt-test all.lnk");
  ts.admin.held = false;
  form->SetActivePage(3);

  TForm1::Click(form->Page<StartupPage>().Button2);
  EXPECT_TRUE(ts.dialogs.openAsked.empty());
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, AdminNeededText());
  EXPECT_EQ(ts.messages.shown[0].owner, form->Handle);

  ASSERT_TRUE(Check("mt-test machine", S::MachineRun));
  ASSERT_TRUE(Check("mt-test mine", S::UserRun));
  ASSERT_TRUE(Check("mt-test mine.lnk", S::UserFolder));
  ASSERT_TRUE(Check("mt-test all.lnk", S::CommonFolder));
  TForm1::Click(form->Page<StartupPage>().Button6);

  ASSERT_EQ(ts.messages.shown.size(), 2u);
  EXPECT_EQ(ts.messages.shown[1].text,
            AdminNeededText({"mt-test machine（HKLM\\Run）", "mt-test all.lnk（公共启动文件夹）"}) +
                "\n\n" + kBackedUpLine);
  EXPECT_TRUE(RunText(HKEY_LOCAL_MACHINE, "mt-test machine"));
  EXPECT_TRUE(Exists(common));
  EXPECT_FALSE(RunText(HKEY_CURRENT_USER, "mt-test mine"));
  EXPECT_FALSE(Exists(user));
  EXPECT_TRUE(Listed("mt-test machine", S::MachineRun));
  EXPECT_TRUE(Listed("mt-test all.lnk", S::CommonFolder));
  EXPECT_EQ(Shown(), Expected());
}

TEST_F(StartupTabTest, ValueThatIsNotTextReachesTheErrorReport) {
  Value(HKEY_LOCAL_MACHINE, "mt-test text", "t.exe");
  DWORD number = 5;
  madeValues.insert("mt-test number");
  SetRunValue(HKEY_CURRENT_USER, "mt-test number", REG_DWORD, &number, 4);
  Shortcut(userDir, "mt-test after.lnk");

  form->SetActivePage(3);

  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, "Invalid data type for 'mt-test number'");
  EXPECT_EQ(ts.messages.shown[0].style, static_cast<unsigned>(kMbIconError));
  EXPECT_TRUE(Listed("mt-test text", S::MachineRun));
  bool found = false;
  for (const StartupRow& r : Rows())
    if (r.name == "mt-test number") {
      found = true;
      EXPECT_EQ(r.location, "");
    }
  EXPECT_TRUE(found);
  EXPECT_FALSE(Listed("mt-test after.lnk", S::UserFolder));
}

TEST_F(StartupTabTest, StateColumnReadsTheSystemsRecordsAndTheMenuWritesThem) {
  Value(HKEY_LOCAL_MACHINE, "mt-test off32", "o.exe", KEY_WOW64_32KEY);
  Value(HKEY_LOCAL_MACHINE, "mt-test off32", "o64.exe");
  Value(HKEY_CURRENT_USER, "mt-test on", "on.exe");
  Value(HKEY_CURRENT_USER, "mt-test odd", "odd.exe");
  Shortcut(userDir, "mt-test off.lnk");
  madeValues.insert("mt-test off.lnk");
  const std::string disabled("\x03\0\0\0\xd4\x0d\x43\x8d\xc8\x3b\xd9\x01", 12);
  SetApproved(HKEY_LOCAL_MACHINE, L"Run32", "mt-test off32", disabled);
  SetApproved(HKEY_CURRENT_USER, L"Run", "mt-test on", EncodeApproved(true, 0));
  SetApproved(HKEY_CURRENT_USER, L"Run", "mt-test odd",
              std::string("\x07", 1) + std::string(11, '\0'));
  SetApproved(HKEY_CURRENT_USER, L"StartupFolder", "mt-test off.lnk", disabled);
  // Two packages' start-up tasks, where the system keeps them for the user: one switched
  // off by the user, one on.
  const std::wstring appModel =
      L"Software\\Classes\\Local "
      L"Settings\\Software\\Microsoft\\Windows\\CurrentVersion\\AppModel\\";
  const std::string packageDir = exeDir + "\\mt-test package";
  CreateDirectoryW(Widen(packageDir).c_str(), nullptr);
  {
    const std::string manifest =
        "\xEF\xBB\xBF<Package><Applications><Application Executable=\"tray.exe\" "
        "EntryPoint=\"Windows.FullTrustApplication\"><Extensions>"
        "<desktop:Extension Category=\"windows.startupTask\" Executable=\"tray.exe\">"
        "<desktop:StartupTask TaskId=\"Off\" Enabled=\"true\" DisplayName=\"mt-test 托盘\"/>"
        "</desktop:Extension><desktop:Extension Category=\"windows.startupTask\" "
        "Executable=\"helper.exe\"><desktop:StartupTask TaskId=\"mt-test on task\"/>"
        "</desktop:Extension></Extensions></Application></Applications></Package>";
    HANDLE h = CreateFileW(Widen(packageDir + "\\AppxManifest.xml").c_str(), GENERIC_WRITE, 0,
                           nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, manifest.data(), static_cast<DWORD>(manifest.size()), &written, nullptr);
    CloseHandle(h);
  }
  const std::wstring package = appModel + L"Repository\\Packages\\MtTest.Tray_1.0.0.0_x64__mttest";
  const std::wstring states = appModel + L"SystemAppData\\MtTest.Tray_mttest";
  const std::wstring root = Widen(packageDir);
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, package.c_str(), L"PackageRootFolder", REG_SZ,
                            root.c_str(), static_cast<DWORD>((root.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
  const DWORD userOff = 1, taskOn = 2;
  RegSetKeyValueW(HKEY_CURRENT_USER, (states + L"\\Off").c_str(), L"State", REG_DWORD, &userOff,
                  sizeof userOff);
  RegSetKeyValueW(HKEY_CURRENT_USER, (states + L"\\mt-test on task").c_str(), L"State", REG_DWORD,
                  &taskOn, sizeof taskOn);
  struct Gone {
    std::wstring a, b;
    ~Gone() {
      RegDeleteTreeW(HKEY_CURRENT_USER, a.c_str());
      RegDeleteKeyW(HKEY_CURRENT_USER, a.c_str());
      RegDeleteTreeW(HKEY_CURRENT_USER, b.c_str());
      RegDeleteKeyW(HKEY_CURRENT_USER, b.c_str());
    }
  } gone{package, states};

  form->SetActivePage(3);

  EXPECT_EQ(StateShown("mt-test 托盘", S::PackagedApp), "已禁用");
  EXPECT_EQ(StateShown("mt-test on task", S::PackagedApp), "已启用");

  EXPECT_EQ(StateShown("mt-test off32", S::MachineRun32), "已禁用");
  EXPECT_EQ(StateShown("mt-test off32", S::MachineRun), "已启用");
  EXPECT_EQ(StateShown("mt-test on", S::UserRun), "已启用");
  EXPECT_EQ(StateShown("mt-test odd", S::UserRun), "已禁用");
  EXPECT_EQ(StateShown("mt-test off.lnk", S::UserFolder), "已禁用");

  ASSERT_TRUE(Check("mt-test on", S::UserRun));
  ASSERT_TRUE(Check("mt-test off32", S::MachineRun));
  ASSERT_TRUE(form->ChooseContextMenu(form->Page<StartupPage>().ListView2, "禁用"));
  auto on = Approved(HKEY_CURRENT_USER, L"Run", "mt-test on");
  ASSERT_TRUE(on);
  ASSERT_EQ(on->size(), 12u);
  EXPECT_EQ(on->substr(0, 4), std::string("\x03\0\0\0", 4));
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  uint64_t written = 0, current = (uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
  memcpy(&written, on->data() + 4, 8);
  EXPECT_LE(written, current);
  EXPECT_GT(written + 600ull * 10000000ull, current);
  EXPECT_TRUE(Approved(HKEY_LOCAL_MACHINE, L"Run", "mt-test off32"));
  EXPECT_EQ(StateShown("mt-test on", S::UserRun), "已禁用");
  EXPECT_EQ(StateShown("mt-test off32", S::MachineRun), "已禁用");
  EXPECT_EQ(StateShown("mt-test off32", S::MachineRun32), "已禁用");

  ASSERT_TRUE(Check("mt-test off32", S::MachineRun32));
  ASSERT_TRUE(Check("mt-test off.lnk", S::UserFolder));
  ASSERT_TRUE(form->ChooseContextMenu(form->Page<StartupPage>().ListView2, "启用"));
  EXPECT_EQ(Approved(HKEY_LOCAL_MACHINE, L"Run32", "mt-test off32"), EncodeApproved(true, 0));
  EXPECT_EQ(Approved(HKEY_CURRENT_USER, L"StartupFolder", "mt-test off.lnk"),
            EncodeApproved(true, 0));
  // Written in the native view, where the system looks, not in the 32-bit copy.
  EXPECT_FALSE(Approved(HKEY_LOCAL_MACHINE, L"Run32", "mt-test off32", KEY_WOW64_32KEY));
  EXPECT_EQ(StateShown("mt-test off32", S::MachineRun32), "已启用");
  EXPECT_EQ(StateShown("mt-test off.lnk", S::UserFolder), "已启用");
  EXPECT_TRUE(ts.messages.shown.empty());
  // The items themselves stay where they were.
  EXPECT_EQ(RunText(HKEY_LOCAL_MACHINE, "mt-test off32", KEY_WOW64_32KEY), "o.exe");
  EXPECT_EQ(RunText(HKEY_CURRENT_USER, "mt-test on"), "on.exe");

  // Each click is a backup set of its own; restoring both puts every record back as it was,
  // to the byte, and removes the one the first click made.
  const std::vector<std::string> sets = BackupSetFolders(*ts.services.files,
                                                         DataFolder(exeDir, ts.services.places));
  ASSERT_EQ(sets.size(), 2u);
  for (const std::string& folder : sets) {
    const BackupSetInfo set = ReadBackupSet(ChangeEnvOf(ts.services), *ts.services.changeKinds,
                                            folder);
    ASSERT_TRUE(set.damage.empty()) << set.damage;
    ASSERT_EQ(set.items.size(), 2u);
    std::vector<size_t> all = {0, 1};
    YesToAll yes;
    const RestoreReport report = RestoreItems(ChangeEnvOf(ts.services),
                                              DataFolder(exeDir, ts.services.places), set, all,
                                              yes);
    for (const RestoreOutcome& o : report.items) EXPECT_TRUE(o.back) << o.caption << o.reason;
  }
  EXPECT_EQ(Approved(HKEY_CURRENT_USER, L"Run", "mt-test on"), EncodeApproved(true, 0));
  EXPECT_FALSE(Approved(HKEY_LOCAL_MACHINE, L"Run", "mt-test off32"));
  EXPECT_EQ(Approved(HKEY_LOCAL_MACHINE, L"Run32", "mt-test off32"), disabled);
  EXPECT_EQ(Approved(HKEY_CURRENT_USER, L"StartupFolder", "mt-test off.lnk"), disabled);
}

TEST_F(StartupTabTest, DeletedItemsComeBackFromTheirBackupSet) {
  Value(HKEY_LOCAL_MACHINE, "mt-test 32", "C:\\x86\\app.exe \"quoted\" \\\\share", KEY_WOW64_32KEY);
  madeValues.insert("mt-test expand");
  const std::wstring expand = L"%ProgramFiles%\\中文\\e.exe";
  SetRunValue(HKEY_CURRENT_USER, "mt-test expand", REG_EXPAND_SZ, expand.c_str(),
              static_cast<DWORD>((expand.size() + 1) * 2));
  std::string lnk = Shortcut(userDir, "mt-test moved.lnk");
  auto before32 = RawRunValue(HKEY_LOCAL_MACHINE, "mt-test 32", KEY_WOW64_32KEY);
  auto beforeExpand = RawRunValue(HKEY_CURRENT_USER, "mt-test expand");
  ASSERT_TRUE(before32 && beforeExpand);
  form->SetActivePage(3);
  ASSERT_TRUE(Check("mt-test 32", S::MachineRun32));
  ASSERT_TRUE(Check("mt-test expand", S::UserRun));
  ASSERT_TRUE(Check("mt-test moved.lnk", S::UserFolder));

  TForm1::Click(form->Page<StartupPage>().Button6);

  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_FALSE(RawRunValue(HKEY_LOCAL_MACHINE, "mt-test 32", KEY_WOW64_32KEY));
  EXPECT_FALSE(RawRunValue(HKEY_CURRENT_USER, "mt-test expand"));
  EXPECT_FALSE(Exists(lnk));
  std::vector<FindEntry> sets = real->files.Find(BackupRoot(exeDir), "*");
  ASSERT_EQ(sets.size(), 1u);
  const std::string set = BackupRoot(exeDir) + "\\" + sets[0].name;
  EXPECT_TRUE(Exists(set + "\\mt-test moved.lnk"));

  ASSERT_EQ(ImportWithRegedit(set + "\\" + kBackupRegFileName), 0u);
  EXPECT_EQ(RawRunValue(HKEY_LOCAL_MACHINE, "mt-test 32", KEY_WOW64_32KEY), before32);
  EXPECT_FALSE(RawRunValue(HKEY_LOCAL_MACHINE, "mt-test 32"));
  EXPECT_EQ(RawRunValue(HKEY_CURRENT_USER, "mt-test expand"), beforeExpand);
}

TEST_F(StartupTabTest, ABackupFolderThatCannotBeMadeKeepsEverything) {
  Value(HKEY_CURRENT_USER, "mt-test kept", "k.exe");
  // A file where the backup folder belongs.
  HANDLE h = CreateFileW(Widen(BackupRoot(exeDir)).c_str(), GENERIC_WRITE, 0, nullptr,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  form->SetActivePage(3);
  ASSERT_TRUE(Check("mt-test kept", S::UserRun));
  TForm1::Click(form->Page<StartupPage>().Button6);
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, kBackupFailedText);
  EXPECT_EQ(ts.messages.shown[0].caption, "温馨提示");
  EXPECT_EQ(RunText(HKEY_CURRENT_USER, "mt-test kept"), "k.exe");
  DeleteFileW(Widen(BackupRoot(exeDir)).c_str());
}

// ---- the other places --------------------------------------------------------------------

void SetText(HKEY root, const std::wstring& key, const std::string& name, const std::string& text,
             REGSAM view) {
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &k,
                            nullptr),
            ERROR_SUCCESS);
  std::wstring w = Widen(text);
  ASSERT_EQ(RegSetValueExW(k, Widen(name).c_str(), 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(w.c_str()),
                           static_cast<DWORD>((w.size() + 1) * 2)),
            ERROR_SUCCESS);
  RegCloseKey(k);
}

// Puts a value back as it was (or removes it when there was none).
void Restore(HKEY root, const std::wstring& key, const std::string& name, REGSAM view,
             const std::optional<std::pair<DWORD, std::string>>& was) {
  HKEY k = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_ALL_ACCESS | view, &k) != ERROR_SUCCESS) return;
  if (was)
    RegSetValueExW(k, Widen(name).c_str(), 0, was->first,
                   reinterpret_cast<const BYTE*>(was->second.data()),
                   static_cast<DWORD>(was->second.size()));
  else RegDeleteValueW(k, Widen(name).c_str());
  RegCloseKey(k);
}

const std::wstring kRunOnceW = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const std::wstring kRunOnceExW = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx";
const std::wstring kPolicyRunW =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";
const std::wstring kWindowsW = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
const std::wstring kWinlogonW = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const std::wstring kCommandProcessorW = L"SOFTWARE\\Microsoft\\Command Processor";

struct Seeded {
  HKEY root;
  std::wstring key;
  std::string name;  // value name
  REGSAM view;
  S source;
  std::string row;  // the row's name
};

class StartupPlacesTabTest : public StartupTabTest {
 protected:
  void TearDown() override {
    form.reset();
    for (auto it = saved.rbegin(); it != saved.rend(); ++it)
      Restore(it->first.root, it->first.key, it->first.name, it->first.view, it->second);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kRunOnceExW + L"\\mt-test").c_str());
    HKEY k = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunOnceExW.c_str(), 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                      &k) == ERROR_SUCCESS) {
      RegDeleteTreeW(k, L"mt-test");
      RegCloseKey(k);
    }
    StartupTabTest::TearDown();
  }
  void Seed(const Seeded& s, const std::string& text) {
    saved.emplace_back(s, RawValue(s.root, s.key, s.name, s.view));
    SetText(s.root, s.key, s.name, text, s.view);
  }
  std::vector<std::pair<Seeded, std::optional<std::pair<DWORD, std::string>>>> saved;
};

TEST_F(StartupPlacesTabTest, EachPlaceIsListedOnceAndEachDeletionComesBackFromItsBackup) {
  const REGSAM n = KEY_WOW64_64KEY, w = KEY_WOW64_32KEY;
  const std::vector<Seeded> seeds = {
      {HKEY_LOCAL_MACHINE, kRunOnceW, "mt-test once", n, S::MachineRunOnce, "mt-test once"},
      {HKEY_LOCAL_MACHINE, kRunOnceW, "mt-test once32", w, S::MachineRunOnce32, "mt-test once32"},
      {HKEY_CURRENT_USER, kRunOnceW, "mt-test user once", n, S::UserRunOnce, "mt-test user once"},
      {HKEY_LOCAL_MACHINE, kRunOnceExW + L"\\mt-test", "step", n, S::MachineRunOnceEx,
       "mt-test\\step"},
      {HKEY_LOCAL_MACHINE, kRunOnceExW + L"\\mt-test", "step32", w, S::MachineRunOnceEx32,
       "mt-test\\step32"},
      {HKEY_LOCAL_MACHINE, kPolicyRunW, "mt-test policy", n, S::MachinePolicyRun, "mt-test policy"},
      {HKEY_CURRENT_USER, kPolicyRunW, "mt-test user policy", n, S::UserPolicyRun,
       "mt-test user policy"},
      {HKEY_CURRENT_USER, kWindowsW, "Load", n, S::UserWindowsLoad, "Load"},
      {HKEY_LOCAL_MACHINE, kWinlogonW, "Shell", n, S::Winlogon, "Shell"},
      {HKEY_LOCAL_MACHINE, kWinlogonW, "Userinit", w, S::Winlogon32, "Userinit"},
      {HKEY_LOCAL_MACHINE, kCommandProcessorW, "AutoRun", n, S::MachineCmdAutoRun, "AutoRun"},
      {HKEY_LOCAL_MACHINE, kCommandProcessorW, "AutoRun", w, S::MachineCmdAutoRun32, "AutoRun"},
      {HKEY_CURRENT_USER, kCommandProcessorW, "AutoRun", n, S::UserCmdAutoRun, "AutoRun"},
  };
  // The prefix's own Winlogon values are the system's defaults: not listed.
  form->SetActivePage(3);
  EXPECT_FALSE(Listed("Shell", S::Winlogon));
  EXPECT_FALSE(Listed("Userinit", S::Winlogon));

  std::map<std::string, std::optional<std::pair<DWORD, std::string>>> before;
  for (const Seeded& s : seeds) {
    Seed(s, "C:\\mt-test\\" + s.name + ".exe /x");
    before[s.row + "|" + SourceText(s.source)] = RawValue(s.root, s.key, s.name, s.view);
  }
  form->SetActivePage(3);
  EXPECT_TRUE(ts.messages.shown.empty());
  std::vector<StartupRow> rows = Rows();
  for (const Seeded& s : seeds) {
    int found = 0;
    for (const StartupRow& r : rows)
      if (r.name == s.row && r.source == s.source) {
        ++found;
        EXPECT_EQ(r.location, "C:\\mt-test\\" + s.name + ".exe /x");
      }
    EXPECT_EQ(found, 1) << s.row << " of " << static_cast<int>(s.source);
  }
  // The source column names each row's place.
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    wchar_t text[64] = L"";
    ListView_GetItemText(form->Page<StartupPage>().ListView2, i, 3, text, 64);
    EXPECT_EQ(Narrow(text), SourceText(rows[i].source)) << rows[i].name;
  }
  // The 32-bit places are not the native ones.
  EXPECT_FALSE(Listed("mt-test once32", S::MachineRunOnce));
  EXPECT_FALSE(Listed("mt-test once", S::MachineRunOnce32));
  for (const Seeded& s : seeds) ASSERT_TRUE(Check(s.row, s.source)) << s.row;

  TForm1::Click(form->Page<StartupPage>().Button6);

  EXPECT_TRUE(ts.messages.shown.empty());
  for (const Seeded& s : seeds) {
    EXPECT_FALSE(Listed(s.row, s.source)) << s.row;
    auto now = RawValue(s.root, s.key, s.name, s.view);
    if (s.source == S::Winlogon) {
      ASSERT_TRUE(now);
      EXPECT_EQ(Narrow(reinterpret_cast<const wchar_t*>(now->second.data())), "explorer.exe");
    } else if (s.source == S::Winlogon32) {
      ASSERT_TRUE(now);
      wchar_t windows[MAX_PATH];
      GetWindowsDirectoryW(windows, MAX_PATH);
      EXPECT_EQ(Narrow(reinterpret_cast<const wchar_t*>(now->second.data())),
                Narrow(windows) + "\\system32\\userinit.exe,");
    } else {
      EXPECT_FALSE(now) << s.row;
    }
  }
  std::vector<FindEntry> sets = real->files.Find(BackupRoot(exeDir), "*");
  ASSERT_EQ(sets.size(), 1u);
  ASSERT_EQ(ImportWithRegedit(BackupRoot(exeDir) + "\\" + sets[0].name + "\\" + kBackupRegFileName),
            0u);
  for (const Seeded& s : seeds)
    EXPECT_EQ(RawValue(s.root, s.key, s.name, s.view), before[s.row + "|" + SourceText(s.source)])
        << s.row;
  form->SetActivePage(3);
  for (const Seeded& s : seeds) EXPECT_TRUE(Listed(s.row, s.source)) << s.row;
}

TEST_F(StartupTabTest, OpenFileLocationSelectsTheSelectedRowsProgram) {
  // A program in the test's own folder, named through an environment variable.
  const std::string program = exeDir + "\\mt-test tool.exe";
  MakeFile(program);
  SetEnvironmentVariableW(L"MT_TEST_TOOLS", Widen(exeDir).c_str());
  Value(HKEY_CURRENT_USER, "mt-test tool", "%MT_TEST_TOOLS%\\mt-test tool.exe /min");
  form->SetActivePage(3);
  std::vector<StartupRow> rows = Rows();
  int item = -1;
  for (int i = 0; i < static_cast<int>(rows.size()); ++i)
    if (rows[i].name == "mt-test tool" && rows[i].source == S::UserRun) item = i;
  ASSERT_GE(item, 0);
  ListView_SetItemState(form->Page<StartupPage>().ListView2, item, LVIS_SELECTED | LVIS_FOCUSED,
                        LVIS_SELECTED | LVIS_FOCUSED);

  ASSERT_TRUE(form->ChooseContextMenu(form->Page<StartupPage>().ListView2, "打开文件位置"));

  ASSERT_EQ(ts.shell.opens.size(), 1u);
  EXPECT_EQ(ts.shell.opens[0].file, "explorer.exe");
  EXPECT_EQ(ts.shell.opens[0].params, "/select,\"" + program + "\"");
  SetEnvironmentVariableW(L"MT_TEST_TOOLS", nullptr);
}

// ---- the publisher column -------------------------------------------------------------------

class StartupPublisherTabTest : public StartupTabTest {
 protected:
  // The text of column `column` of the row `name` of `source`; nullopt when not listed.
  std::optional<std::string> Cell(const std::string& name, S source, int column) {
    std::vector<StartupRow> rows = Rows();
    for (size_t i = 0; i < rows.size(); ++i)
      if (rows[i].name == name && rows[i].source == source) {
        wchar_t text[256] = L"";
        ListView_GetItemText(form->Page<StartupPage>().ListView2, static_cast<int>(i), column, text,
                             256);
        return Narrow(text);
      }
    return std::nullopt;
  }
  // Pumps the window's messages until the publisher column is complete (at most `limitMs`).
  bool PumpUntilFilled(int limitMs = 60000) {
    return PumpWhile([this] { return form->Page<StartupPage>().StartupPublishersPending(); },
                     limitMs);
  }
  // The colour the list's custom draw gives the row `item`'s text.
  COLORREF DrawnColour(int item) {
    LVITEMW lv = {};
    lv.mask = LVIF_PARAM;
    lv.iItem = item;
    SendMessageW(form->Page<StartupPage>().ListView2, LVM_GETITEMW, 0,
                 reinterpret_cast<LPARAM>(&lv));
    NMLVCUSTOMDRAW draw = {};
    draw.nmcd.hdr.hwndFrom = form->Page<StartupPage>().ListView2;
    draw.nmcd.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(form->Page<StartupPage>().ListView2));
    draw.nmcd.hdr.code = NM_CUSTOMDRAW;
    draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
    draw.nmcd.dwItemSpec = static_cast<DWORD_PTR>(item);
    draw.nmcd.lItemlParam = lv.lParam;
    draw.clrText = CLR_DEFAULT;
    SendMessageW(form->TabSheet4, WM_NOTIFY, draw.nmcd.hdr.idFrom, reinterpret_cast<LPARAM>(&draw));
    return draw.clrText;
  }
  int ItemOf(const std::string& name, S source) {
    std::vector<StartupRow> rows = Rows();
    for (size_t i = 0; i < rows.size(); ++i)
      if (rows[i].name == name && rows[i].source == source) return static_cast<int>(i);
    return -1;
  }
};

// The platform's answers, each after a pause longer than the probe below waits for the
// window: were a check ever made on the UI thread, the window would miss an answer.
class SlowSigners : public SignerSource {
 public:
  explicit SlowSigners(SignerSource& real) : real_(real) {}
  FileSigner SignerOf(const std::string& path) override {
    Sleep(kPauseMs);
    return real_.SignerOf(path);
  }
  static constexpr DWORD kPauseMs = 1200;

 private:
  SignerSource& real_;
};

TEST_F(StartupPublisherTabTest,
       SignedUnsignedAndMissingProgramsShowTheirPublisherAndTheWindowAnswers) {
  if (SigningFile("signed.exe").empty()) GTEST_SKIP() << "no signing material (run through ctest)";
  TrustedTestRoot root;
  ASSERT_TRUE(root.Added());
  SlowSigners signers(*real->services.signers);
  ts.services.signers = &signers;
  ts.services.shortcuts = real->services.shortcuts;
  // Copies in the test's own folder, one under a name with a blank.
  const std::string signedCopy = exeDir + "\\mt-test signed tool.exe";
  const std::string unsignedCopy = exeDir + "\\mt-test plain.exe";
  ASSERT_TRUE(
      CopyFileW(Widen(SigningFile("signed.exe")).c_str(), Widen(signedCopy).c_str(), FALSE));
  ASSERT_TRUE(
      CopyFileW(Widen(SigningFile("unsigned.exe")).c_str(), Widen(unsignedCopy).c_str(), FALSE));
  Value(HKEY_CURRENT_USER, "mt-test signed", "\"" + signedCopy + "\" /background");
  Value(HKEY_LOCAL_MACHINE, "mt-test plain", unsignedCopy);
  Value(HKEY_CURRENT_USER, "mt-test gone", "C:\\mt-test nowhere\\gone.exe -x");
  // Two rows start the signed program: one check serves both.
  Value(HKEY_LOCAL_MACHINE, "mt-test signed again", signedCopy);
  form.reset();
  OpenForm(Opening::kOnScreen);

  // While the column fills, another thread asks the window every 20 ms. The limit is well
  // below one check's pause and well above what a loaded machine adds to a message's way.
  std::atomic<bool> done{false};
  std::atomic<int> asked{0}, late{0};
  std::atomic<DWORD> slowest{0};
  HWND window = form->Handle;
  std::thread prober([&] {
    while (!done) {
      const DWORD t0 = GetTickCount();
      DWORD_PTR answer = 0;
      const LRESULT ok = SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &answer);
      const DWORD took = GetTickCount() - t0;
      ++asked;
      if (!ok) ++late;
      if (took > slowest) slowest = took;
      Sleep(20);
    }
  });
  form->SetActivePage(3);
  const bool filled = PumpUntilFilled();
  done = true;
  prober.join();
  ASSERT_TRUE(filled);
  EXPECT_GT(asked.load(), 0);
  EXPECT_EQ(late.load(), 0) << "slowest answer " << slowest.load() << " ms";

  EXPECT_EQ(Cell("mt-test signed", S::UserRun, 4), std::string(kSignerName));
  EXPECT_EQ(Cell("mt-test signed again", S::MachineRun, 4), std::string(kSignerName));
  EXPECT_EQ(Cell("mt-test plain", S::MachineRun, 4), std::string("未签名"));
  EXPECT_EQ(Cell("mt-test gone", S::UserRun, 4), std::string("文件不存在"));
  // The rows to look at are drawn in a colour of their own; a signed one is left alone.
  const COLORREF plain = DrawnColour(ItemOf("mt-test plain", S::MachineRun));
  EXPECT_NE(plain, CLR_DEFAULT);
  EXPECT_EQ(DrawnColour(ItemOf("mt-test gone", S::UserRun)), plain);
  EXPECT_EQ(DrawnColour(ItemOf("mt-test signed", S::UserRun)), CLR_DEFAULT);
  // Every other column keeps its text.
  EXPECT_EQ(Cell("mt-test plain", S::MachineRun, 1), unsignedCopy);
  EXPECT_EQ(Cell("mt-test plain", S::MachineRun, 3), std::string("HKLM\\Run"));
  form.reset();
  DeleteFileW(Widen(signedCopy).c_str());
  DeleteFileW(Widen(unsignedCopy).c_str());
}

// Says "Microsoft Windows" for programs whose file name starts with "ms-", "未签名" otherwise.
class NamePatternSigners : public SignerSource {
 public:
  FileSigner SignerOf(const std::string& path) override {
    const std::string file = path.substr(path.find_last_of('\\') + 1);
    if (file.rfind("ms-", 0) == 0) return {FileSigner::Kind::kSigned, "Microsoft Windows"};
    return {FileSigner::Kind::kUnsigned, {}};
  }
};

TEST_F(StartupPublisherTabTest, TheMicrosoftTickHidesTheirRowsAndIsKeptInTheSettingsFile) {
  NamePatternSigners signers;
  ts.services.signers = &signers;
  Value(HKEY_CURRENT_USER, "mt-test ms", "C:\\Windows\\system32\\ms-tool.exe");
  Value(HKEY_CURRENT_USER, "mt-test other", "C:\\Tools\\other.exe");
  form.reset();
  OpenForm(Opening::kOnScreen);
  form->SetActivePage(3);
  ASSERT_TRUE(PumpUntilFilled());
  EXPECT_FALSE(form->Page<StartupPage>().HideMicrosoftStartupItems());
  EXPECT_EQ(Cell("mt-test ms", S::UserRun, 4), std::string("Microsoft Windows"));

  const std::string config = SettingsFilePath(exeDir);
  ASSERT_TRUE(form->ChooseContextMenu(form->Page<StartupPage>().ListView2, "隐藏微软签名的项目"));
  EXPECT_TRUE(form->Page<StartupPage>().HideMicrosoftStartupItems());
  EXPECT_FALSE(Cell("mt-test ms", S::UserRun, 0));
  EXPECT_TRUE(Cell("mt-test other", S::UserRun, 0));
  EXPECT_EQ(ts.services.profile->ReadString(config, kSettingsSection, kKeyHideMicrosoft, ""), "1");

  // A new window reads the tick back and hides the row once its publisher is known.
  form.reset();
  OpenForm(Opening::kOnScreen);
  EXPECT_TRUE(form->Page<StartupPage>().HideMicrosoftStartupItems());
  form->SetActivePage(3);
  ASSERT_TRUE(PumpUntilFilled());
  EXPECT_FALSE(Cell("mt-test ms", S::UserRun, 0));
  EXPECT_EQ(Cell("mt-test other", S::UserRun, 4), std::string("未签名"));

  // Taking the tick off lists the row again.
  ASSERT_TRUE(form->ChooseContextMenu(form->Page<StartupPage>().ListView2, "隐藏微软签名的项目"));
  EXPECT_FALSE(form->Page<StartupPage>().HideMicrosoftStartupItems());
  EXPECT_EQ(ts.services.profile->ReadString(config, kSettingsSection, kKeyHideMicrosoft, ""), "0");
  ASSERT_TRUE(PumpUntilFilled());
  EXPECT_EQ(Cell("mt-test ms", S::UserRun, 4), std::string("Microsoft Windows"));
  form.reset();
}

// Wine's scheduler loses a task's triggers and program in its exported definition (see
// WinTaskStoreTest), so the task rows go through the tab on the stand-in scheduler.
// The first showing does not wait for the scheduler, however long its first answer takes
// (COM's start and the connection took 1.7 s once): the page lists every other row at once
// and the task rows once they are read, in their place. The store stand-in answers after
// 1.5 s; the showing itself is timed on the UI thread.
TEST_F(StartupPublisherTabTest, TheFirstShowingListsAtOnceAndTheSlowSchedulersTasksAfter) {
  class SlowStore : public MemoryTaskStore {
   public:
    std::vector<TaskInfo> Tasks() override {
      Sleep(1500);
      return MemoryTaskStore::Tasks();
    }
  } slow;
  slow.tasks["\\mt-test\\slow"] = {
      "<Task><Triggers><LogonTrigger/></Triggers><Actions><Exec><Command>C:\\mt-test\\s.exe"
      "</Command></Exec></Actions></Task>",
      true};
  ts.services.tasks = &slow;
  NamePatternSigners signers;
  ts.services.signers = &signers;
  Value(HKEY_CURRENT_USER, "mt-test quick", "C:\\mt-test\\q.exe");
  // A row of a place listed after the tasks, which the late task rows must go before.
  const wchar_t* processor = L"Software\\Microsoft\\Command Processor";
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, processor, L"Autorun", REG_SZ,
                            L"C:\\mt-test\\auto.exe", sizeof(L"C:\\mt-test\\auto.exe")),
            ERROR_SUCCESS);
  struct RemoveAutorun {
    const wchar_t* key;
    ~RemoveAutorun() { RegDeleteKeyValueW(HKEY_CURRENT_USER, key, L"Autorun"); }
  } removeAutorun{processor};
  form.reset();
  OpenForm(Opening::kOnScreen);
  LARGE_INTEGER frequency, before, after;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&before);
  form->SetActivePage(3);
  QueryPerformanceCounter(&after);
  const double ms = 1000.0 * static_cast<double>(after.QuadPart - before.QuadPart) /
                    static_cast<double>(frequency.QuadPart);
  RecordProperty("first_showing_ms", std::to_string(static_cast<int>(ms)));
  std::printf("first showing: %.1f ms on the UI thread\n", ms);
  // Well below the store's 1.5 s: the UI thread did not wait for it.
  EXPECT_LT(ms, 700.0);
  EXPECT_TRUE(Listed("mt-test quick", S::UserRun));
  EXPECT_FALSE(Listed("\\mt-test\\slow", S::ScheduledTask));
  EXPECT_TRUE(form->Page<StartupPage>().StartupTasksPending());
  ASSERT_TRUE(PumpUntilTasksRead());
  EXPECT_TRUE(Listed("\\mt-test\\slow", S::ScheduledTask));
  EXPECT_TRUE(Listed("mt-test quick", S::UserRun));
  EXPECT_TRUE(ts.messages.shown.empty());
  // The rows read late were put into the list where a listing with them puts them, and the
  // publisher column covers them too.
  ASSERT_TRUE(PumpUntilFilled());
  EXPECT_EQ(Cell("\\mt-test\\slow", S::ScheduledTask, 4), std::string(kPublisherUnsigned));
  EXPECT_EQ(Cell("mt-test quick", S::UserRun, 4), std::string(kPublisherUnsigned));
  auto shown = [this] {
    std::vector<std::string> out;
    for (const StartupRow& r : Rows())
      out.push_back(r.name + "|" + r.location + "|" + std::to_string(static_cast<int>(r.source)));
    return out;
  };
  const std::vector<std::string> inserted = shown();
  ListWithTasksRead(form->Page<StartupPage>());
  EXPECT_EQ(inserted, shown());
  EXPECT_TRUE(Listed("AutoRun", S::UserCmdAutoRun));
  // Shown again, the list takes the rows read last time; the new read finds the same ones and
  // the list stands as it is (its items are not made again).
  auto items = [this] {
    std::vector<LPARAM> out;
    HWND list = form->Page<StartupPage>().ListView2;
    for (int i = 0; i < ListView_GetItemCount(list); ++i) {
      LVITEMW lv = {};
      lv.mask = LVIF_PARAM;
      lv.iItem = i;
      SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&lv));
      out.push_back(lv.lParam);
    }
    return out;
  };
  form->Page<StartupPage>().TabSheet4Show();
  const std::vector<LPARAM> listedItems = items();
  EXPECT_EQ(shown(), inserted);
  ASSERT_TRUE(PumpUntilTasksRead());
  EXPECT_EQ(items(), listedItems);
  ASSERT_TRUE(PumpUntilFilled());
  EXPECT_EQ(Cell("\\mt-test\\slow", S::ScheduledTask, 4), std::string(kPublisherUnsigned));
  form.reset();
}

TEST_F(StartupPublisherTabTest, ATaskRowIsListedSwitchedDeletedIntoTheBackupSetAndRegisteredAgain) {
  MemoryTaskStore tasks;
  const std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-16\"?><Task><Triggers><LogonTrigger/></Triggers>"
      "<Actions><Exec><Command>C:\\mt-test\\task tool.exe</Command><Arguments>/now</Arguments>"
      "</Exec></Actions></Task>";
  tasks.tasks["\\mt-test\\logon"] = {xml, true};
  ts.services.tasks = &tasks;
  form.reset();
  OpenForm(Opening::kOnScreen);
  form->SetActivePage(3);
  ASSERT_TRUE(PumpUntilTasksRead());
  EXPECT_EQ(Cell("\\mt-test\\logon", S::ScheduledTask, 1),
            std::string("\"C:\\mt-test\\task tool.exe\" /now"));
  EXPECT_EQ(Cell("\\mt-test\\logon", S::ScheduledTask, 2), std::string(kStateEnabled));
  EXPECT_EQ(Cell("\\mt-test\\logon", S::ScheduledTask, 3), std::string("计划任务"));

  ASSERT_TRUE(Check("\\mt-test\\logon", S::ScheduledTask));
  ASSERT_TRUE(form->ChooseContextMenu(form->Page<StartupPage>().ListView2, "禁用"));
  EXPECT_FALSE(tasks.tasks["\\mt-test\\logon"].enabled);
  EXPECT_EQ(Cell("\\mt-test\\logon", S::ScheduledTask, 2), std::string(kStateDisabled));

  ASSERT_TRUE(Check("\\mt-test\\logon", S::ScheduledTask));
  Click(form->Page<StartupPage>().Button6);
  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_TRUE(tasks.tasks.empty());
  EXPECT_FALSE(Cell("\\mt-test\\logon", S::ScheduledTask, 0));
  // The switch made a set of its own before the deletion made this one.
  std::vector<FindEntry> sets = real->files.Find(BackupRoot(exeDir), "*");
  ASSERT_EQ(sets.size(), 2u);
  std::string file;
  for (const FindEntry& set : sets)
    if (Exists(BackupRoot(exeDir) + "\\" + set.name + "\\logon.xml"))
      file = BackupRoot(exeDir) + "\\" + set.name + "\\logon.xml";
  ASSERT_FALSE(file.empty());
  std::string bytes;
  ASSERT_TRUE(ReadBytes(file, bytes));
  ASSERT_GE(bytes.size(), 2u);
  ASSERT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  const std::string saved = Narrow(reinterpret_cast<const wchar_t*>(bytes.data() + 2),
                                   (bytes.size() - 2) / 2);
  EXPECT_EQ(saved, xml);

  // Registered again from the saved file, as schtasks /create /xml would.
  ASSERT_TRUE(tasks.Register("\\mt-test\\logon", saved));
  form->SetActivePage(0);
  form->SetActivePage(3);
  // The tasks read before the deletion are not shown again: they come with the new read.
  EXPECT_FALSE(Cell("\\mt-test\\logon", S::ScheduledTask, 0));
  ASSERT_TRUE(PumpUntilTasksRead());
  EXPECT_EQ(Cell("\\mt-test\\logon", S::ScheduledTask, 1),
            std::string("\"C:\\mt-test\\task tool.exe\" /now"));
  form.reset();
}

}  // namespace
}  // namespace mt::test

namespace mt::test {
namespace {

// ---- image hijacks ---------------------------------------------------------------------------

const std::wstring kIfeoW =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution "
    L"Options\\mt-test-ifeo.exe";
const std::wstring kSilentExitW =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SilentProcessExit\\mt-test-ifeo.exe";

class StartupImageHijackTabTest : public StartupTabTest {
 protected:
  void SetUp() override {
    Clean();
    StartupTabTest::SetUp();
  }
  void TearDown() override {
    StartupTabTest::TearDown();
    Clean();
  }
  void Clean() {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY})
      for (const std::wstring& key : {kIfeoW, kSilentExitW})
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), view, 0);
  }
  static void SetValue(const std::wstring& key, const std::string& name, DWORD type,
                       const void* data, DWORD size, REGSAM view) {
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view,
                              nullptr, &k, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(k, Widen(name).c_str(), 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    RegCloseKey(k);
  }
  // Every value the test seeds, as stored, in both views.
  std::vector<std::optional<std::pair<DWORD, std::string>>> State() {
    std::vector<std::optional<std::pair<DWORD, std::string>>> out;
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
      out.push_back(RawValue(HKEY_LOCAL_MACHINE, kIfeoW, "Debugger", view));
      out.push_back(RawValue(HKEY_LOCAL_MACHINE, kIfeoW, "GlobalFlag", view));
      out.push_back(RawValue(HKEY_LOCAL_MACHINE, kIfeoW, "MitigationOptions", view));
      out.push_back(RawValue(HKEY_LOCAL_MACHINE, kSilentExitW, "ReportingMode", view));
      out.push_back(RawValue(HKEY_LOCAL_MACHINE, kSilentExitW, "MonitorProcess", view));
    }
    return out;
  }
};

// A Debugger written through the 32-bit view and an exit monitor for 32-bit programs: each
// listed once as "映像劫持", shown as started, deleted with its backup, and the set restores
// every value exactly. Whether the system keeps a key apart per view is read from the prefix.
TEST_F(StartupImageHijackTabTest, DebuggerAndExitMonitorAreListedDeletedAndRestored) {
  const std::wstring debugger = L"C:\\mt-test\\dbg.exe /x";
  SetValue(kIfeoW, "Debugger", REG_SZ, debugger.c_str(),
           static_cast<DWORD>((debugger.size() + 1) * 2), KEY_WOW64_32KEY);
  const DWORD mitigation = 7;
  SetValue(kIfeoW, "MitigationOptions", REG_DWORD, &mitigation, 4, KEY_WOW64_32KEY);
  const std::wstring flag = L"0x00000200";
  SetValue(kIfeoW, "GlobalFlag", REG_SZ, flag.c_str(), static_cast<DWORD>((flag.size() + 1) * 2),
           KEY_WOW64_32KEY);
  const DWORD mode = 1;
  SetValue(kSilentExitW, "ReportingMode", REG_DWORD, &mode, 4, KEY_WOW64_32KEY);
  const std::wstring monitor = L"C:\\mt-test\\mon.exe";
  SetValue(kSilentExitW, "MonitorProcess", REG_SZ, monitor.c_str(),
           static_cast<DWORD>((monitor.size() + 1) * 2), KEY_WOW64_32KEY);
  const S debuggerSource = RawValue(HKEY_LOCAL_MACHINE, kIfeoW, "Debugger", KEY_WOW64_64KEY)
                               ? S::ImageDebugger
                               : S::ImageDebugger32;
  const S monitorSource = RawValue(HKEY_LOCAL_MACHINE, kSilentExitW, "MonitorProcess",
                                   KEY_WOW64_64KEY)
                              ? S::ImageExitMonitor
                              : S::ImageExitMonitor32;
  const auto before = State();

  form->SetActivePage(3);
  ASSERT_TRUE(PumpUntilTasksRead());
  EXPECT_TRUE(ts.messages.shown.empty());
  int rows = 0;
  for (const StartupRow& r : Rows()) {
    if (r.name != "mt-test-ifeo.exe") continue;
    ++rows;
    if (r.source == debuggerSource) EXPECT_EQ(r.location, "C:\\mt-test\\dbg.exe /x");
    else if (r.source == monitorSource) EXPECT_EQ(r.location, "C:\\mt-test\\mon.exe");
    else ADD_FAILURE() << "source " << static_cast<int>(r.source);
    EXPECT_EQ(SourceText(r.source).rfind("映像劫持", 0), 0u);
    EXPECT_EQ(StateShown(r.name, r.source), kStateEnabled);
  }
  EXPECT_EQ(rows, 2);
  ASSERT_TRUE(Check("mt-test-ifeo.exe", debuggerSource));
  ASSERT_TRUE(Check("mt-test-ifeo.exe", monitorSource));
  // "禁用" has nothing to switch for them: no set, no change.
  ASSERT_TRUE(form->ChooseContextMenu(form->Page<StartupPage>().ListView2, "禁用"));
  EXPECT_EQ(State(), before);
  EXPECT_TRUE(real->files.Find(BackupRoot(exeDir), "*").empty());

  form->SetActivePage(3);
  ASSERT_TRUE(PumpUntilTasksRead());
  ASSERT_TRUE(Check("mt-test-ifeo.exe", debuggerSource));
  ASSERT_TRUE(Check("mt-test-ifeo.exe", monitorSource));
  TForm1::Click(form->Page<StartupPage>().Button6);
  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_FALSE(Listed("mt-test-ifeo.exe", debuggerSource));
  EXPECT_FALSE(Listed("mt-test-ifeo.exe", monitorSource));
  for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
    EXPECT_FALSE(RawValue(HKEY_LOCAL_MACHINE, kIfeoW, "Debugger", view));
    EXPECT_FALSE(RawValue(HKEY_LOCAL_MACHINE, kSilentExitW, "MonitorProcess", view));
  }
  const std::wstring cleared = L"0x00000000";
  EXPECT_EQ(RawValue(HKEY_LOCAL_MACHINE, kIfeoW, "GlobalFlag", KEY_WOW64_32KEY),
            std::make_pair(DWORD{REG_SZ},
                           std::string(reinterpret_cast<const char*>(cleared.c_str()),
                                       (cleared.size() + 1) * 2)));
  EXPECT_EQ(RawValue(HKEY_LOCAL_MACHINE, kIfeoW, "MitigationOptions", KEY_WOW64_32KEY),
            before[7]);  // the 32-bit view's MitigationOptions, untouched
  EXPECT_EQ(RawValue(HKEY_LOCAL_MACHINE, kSilentExitW, "ReportingMode", KEY_WOW64_32KEY),
            before[8]);

  // The set through the program's own restore: every value back as it was.
  std::vector<FindEntry> sets = real->files.Find(BackupRoot(exeDir), "*");
  ASSERT_EQ(sets.size(), 1u);
  const ChangeEnv env = ChangeEnvOf(ts.services);
  const BackupSetInfo set = ReadBackupSet(env, *ts.services.changeKinds,
                                          BackupRoot(exeDir) + "\\" + sets[0].name);
  ASSERT_TRUE(set.damage.empty()) << set.damage;
  ASSERT_EQ(set.items.size(), 3u);  // Debugger; MonitorProcess and GlobalFlag
  std::vector<size_t> all = {0, 1, 2};
  YesToAll yes;
  const RestoreReport report = RestoreItems(env, exeDir, set, all, yes);
  ASSERT_TRUE(report.refused.empty()) << report.refused;
  for (const RestoreOutcome& o : report.items) EXPECT_TRUE(o.back) << o.place << o.reason;
  EXPECT_EQ(State(), before);
  form->SetActivePage(3);
  ASSERT_TRUE(PumpUntilTasksRead());
  EXPECT_TRUE(Listed("mt-test-ifeo.exe", debuggerSource));
  EXPECT_TRUE(Listed("mt-test-ifeo.exe", monitorSource));
}

// ---- the other log-on places -------------------------------------------------------------

const std::wstring kTerminalW =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Terminal Server\\Install\\Software\\"
    L"Microsoft\\Windows\\CurrentVersion\\";
const std::wstring kPolicySystemW =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const std::wstring kGpScriptsW =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Group Policy\\Scripts\\";
const std::wstring kActiveSetupW = L"SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\";

class StartupLogonPlacesTabTest : public StartupPlacesTabTest {
 protected:
  void SetUp() override {
    CleanKeys();
    StartupPlacesTabTest::SetUp();
  }
  void TearDown() override {
    StartupPlacesTabTest::TearDown();
    CleanKeys();
  }
  // The keys the test makes whole (script and component keys, a RunOnceEx section).
  static void CleanKeys() {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
      for (const std::wstring& key : {kTerminalW + L"RunOnceEx\\mt-test",
                                      kActiveSetupW + L"{mt-test}", kGpScriptsW + L"Startup\\90"})
        DeleteTree(HKEY_LOCAL_MACHINE, key, view);
    }
    DeleteTree(HKEY_CURRENT_USER, kGpScriptsW + L"Logon\\90", 0);
  }
  static void DeleteTree(HKEY root, const std::wstring& key, REGSAM view) {
    HKEY k = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_ALL_ACCESS | view, &k) != ERROR_SUCCESS) return;
    RegDeleteTreeW(k, nullptr);
    RegCloseKey(k);
    RegDeleteKeyExW(root, key.c_str(), view, 0);
  }
  // Every seeded value (and the values of the keys seeded whole), exactly as stored.
  std::vector<std::optional<std::pair<DWORD, std::string>>> State(const std::vector<Seeded>& seeds,
                                                                  const std::vector<Seeded>& keys) {
    std::vector<std::optional<std::pair<DWORD, std::string>>> out;
    for (const Seeded& s : seeds) out.push_back(RawValue(s.root, s.key, s.name, s.view));
    for (const Seeded& s : keys)
      for (const char* name : {"", "Script", "Parameters", "StubPath", "Version"})
        out.push_back(RawValue(s.root, s.key, name, s.view));
    return out;
  }
};

// Every place of the log-on values, the terminal server's Run keys, the policy scripts and
// Active Setup seeded in the prefix (with a read-only shortcut in the user's Startup folder):
// each listed once with its place, deleted (VmApplet gets the system's own command back), and
// the set, through the program's own restore, leaves the registry as it was seeded.
TEST_F(StartupLogonPlacesTabTest, EveryOtherLogonPlaceIsListedDeletedAndRestoredExactly) {
  const REGSAM n = KEY_WOW64_64KEY, w = KEY_WOW64_32KEY;
  const std::vector<Seeded> seeds = {
      {HKEY_LOCAL_MACHINE, kWinlogonW, "TaskMan", n, S::MachineWinlogonExtra, "TaskMan"},
      {HKEY_LOCAL_MACHINE, kWinlogonW, "VmApplet", w, S::MachineWinlogonExtra32, "VmApplet"},
      {HKEY_CURRENT_USER, kWinlogonW, "Shell", n, S::UserWinlogonShell, "Shell"},
      {HKEY_LOCAL_MACHINE, kTerminalW + L"Run", "mt-test ts", n, S::TerminalRun, "mt-test ts"},
      {HKEY_LOCAL_MACHINE, kTerminalW + L"Run", "mt-test ts32", w, S::TerminalRun32,
       "mt-test ts32"},
      {HKEY_LOCAL_MACHINE, kTerminalW + L"RunOnce", "mt-test once", n, S::TerminalRunOnce,
       "mt-test once"},
      {HKEY_LOCAL_MACHINE, kTerminalW + L"RunOnce", "mt-test once32", w, S::TerminalRunOnce32,
       "mt-test once32"},
      {HKEY_LOCAL_MACHINE, kTerminalW + L"RunOnceEx\\mt-test", "step", n, S::TerminalRunOnceEx,
       "mt-test\\step"},
      {HKEY_LOCAL_MACHINE, kTerminalW + L"RunOnceEx\\mt-test", "step32", w, S::TerminalRunOnceEx32,
       "mt-test\\step32"},
      {HKEY_LOCAL_MACHINE, kPolicySystemW, "Shell", n, S::MachinePolicyShell, "Shell"},
      {HKEY_CURRENT_USER, kPolicySystemW, "Shell", n, S::UserPolicyShell, "Shell"},
      {HKEY_CURRENT_USER, L"Environment", "UserInitMprLogonScript", n, S::UserLogonScriptValue,
       "UserInitMprLogonScript"},
  };
  // Keys seeded whole: their command value and what else they hold.
  const std::vector<Seeded> keys = {
      {HKEY_LOCAL_MACHINE, kGpScriptsW + L"Startup\\90\\0", "Script", n, S::MachineStartupScript,
       "90\\0"},
      {HKEY_CURRENT_USER, kGpScriptsW + L"Logon\\90\\0", "Script", n, S::UserLogonScript, "90\\0"},
      {HKEY_LOCAL_MACHINE, kActiveSetupW + L"{mt-test}", "StubPath", n, S::ActiveSetup,
       "{mt-test}"},
      {HKEY_LOCAL_MACHINE, kActiveSetupW + L"{mt-test}", "StubPath", w, S::ActiveSetup32,
       "{mt-test}"},
  };
  std::map<std::string, std::string> location;  // by row name and source
  auto at = [](const std::string& row, S source) {
    return row + "|" + std::to_string(static_cast<int>(source));
  };
  for (const Seeded& s : seeds) {
    Seed(s, "C:\\mt-test\\" + s.name + ".exe /x");
    location[at(s.row, s.source)] = "C:\\mt-test\\" + s.name + ".exe /x";
  }
  SetText(HKEY_LOCAL_MACHINE, kGpScriptsW + L"Startup\\90", "FileSysPath", "C:\\mt-test\\gp", n);
  SetText(HKEY_LOCAL_MACHINE, keys[0].key, "Script", "boot.cmd", n);
  location[at("90\\0", S::MachineStartupScript)] = "C:\\mt-test\\gp\\Scripts\\Startup\\boot.cmd";
  SetText(HKEY_CURRENT_USER, keys[1].key, "Script", "C:\\mt-test\\logon.cmd", n);
  SetText(HKEY_CURRENT_USER, keys[1].key, "Parameters", "/u", n);
  location[at("90\\0", S::UserLogonScript)] = "C:\\mt-test\\logon.cmd /u";
  for (const Seeded& k : {keys[2], keys[3]}) {
    const std::string stub = k.view == w ? "C:\\mt-test\\stub32.exe" : "C:\\mt-test\\stub.exe";
    SetText(HKEY_LOCAL_MACHINE, k.key, "", "mt-test component", k.view);
    SetText(HKEY_LOCAL_MACHINE, k.key, "StubPath", stub, k.view);
    SetText(HKEY_LOCAL_MACHINE, k.key, "Version", "1,0", k.view);
    location[at(k.row, k.source)] = stub;
  }
  const std::string readOnly = Shortcut(userDir, "mt-test ro.lnk",
                                        FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  location[at("mt-test ro.lnk", S::UserFolder)] = readOnly;
  const auto before = State(seeds, keys);

  form->SetActivePage(3);
  EXPECT_TRUE(ts.messages.shown.empty());
  std::map<std::string, int> found;
  for (const StartupRow& r : Rows()) {
    const auto it = location.find(at(r.name, r.source));
    if (it == location.end()) continue;
    ++found[it->first];
    EXPECT_EQ(r.location, it->second) << r.name;
    if (r.source != S::UserFolder) {
      EXPECT_EQ(StateShown(r.name, r.source), kStateEnabled);
    }
  }
  for (const auto& [row, where] : location) EXPECT_EQ(found[row], 1) << row << " " << where;
  for (const auto& [row, where] : location) {
    const size_t bar = row.rfind('|');
    ASSERT_TRUE(Check(row.substr(0, bar), static_cast<S>(std::stoi(row.substr(bar + 1))))) << row;
  }

  TForm1::Click(form->Page<StartupPage>().Button6);

  EXPECT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  for (const auto& [row, where] : location) {
    const size_t bar = row.rfind('|');
    EXPECT_FALSE(Listed(row.substr(0, bar), static_cast<S>(std::stoi(row.substr(bar + 1))))) << row;
  }
  for (const Seeded& s : seeds) {
    const auto now = RawValue(s.root, s.key, s.name, s.view);
    if (s.source != S::MachineWinlogonExtra32) {
      EXPECT_FALSE(now) << s.row;
      continue;
    }
    ASSERT_TRUE(now);
    EXPECT_EQ(Narrow(reinterpret_cast<const wchar_t*>(now->second.data())), kDefaultVmApplet);
  }
  for (const Seeded& k : keys) {
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExW(k.root, k.key.c_str(), 0, KEY_READ | k.view, &key), ERROR_SUCCESS)
        << k.row;
    if (key) RegCloseKey(key);
  }
  EXPECT_FALSE(Exists(readOnly));

  // The set through the program's own restore: every value and key back as it was seeded.
  std::vector<FindEntry> sets = real->files.Find(BackupRoot(exeDir), "*");
  ASSERT_EQ(sets.size(), 1u);
  // The user's Startup folder is among the places a set may name, as in the program.
  ChangeEnv env = ChangeEnvOf(ts.services);
  env.fileRoots.userFolders.push_back(userDir);
  const BackupSetInfo set = ReadBackupSet(env, *ts.services.changeKinds,
                                          BackupRoot(exeDir) + "\\" + sets[0].name);
  ASSERT_TRUE(set.damage.empty()) << set.damage;
  ASSERT_EQ(set.items.size(), location.size());
  std::vector<size_t> all;
  for (size_t i = 0; i < set.items.size(); ++i) all.push_back(i);
  YesToAll yes;
  const RestoreReport report = RestoreItems(env, exeDir, set, all, yes);
  ASSERT_TRUE(report.refused.empty()) << report.refused;
  for (const RestoreOutcome& o : report.items) EXPECT_TRUE(o.back) << o.place << o.reason;
  EXPECT_EQ(State(seeds, keys), before);
  const DWORD attributes = GetFileAttributesW(Widen(readOnly).c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_READONLY);
  SetFileAttributesW(Widen(readOnly).c_str(), FILE_ATTRIBUTE_NORMAL);
  form->SetActivePage(3);
  for (const auto& [row, where] : location) {
    const size_t bar = row.rfind('|');
    EXPECT_TRUE(Listed(row.substr(0, bar), static_cast<S>(std::stoi(row.substr(bar + 1))))) << row;
  }
}

}  // namespace
}  // namespace mt::test

namespace mt::test {
namespace {

// ---- services --------------------------------------------------------------------------------

const wchar_t* const kTestServiceW = L"mt-test-svc";
const std::wstring kTestServiceKeyW = L"SYSTEM\\CurrentControlSet\\Services\\" +
                                      std::wstring(kTestServiceW);
const wchar_t* const kDisabledServicesW = L"SOFTWARE\\MRTKBOX\\DisabledServices";

// A service made in the prefix's own manager, listed through the real one.
class StartupServiceTabTest : public StartupPublisherTabTest {
 protected:
  void SetUp() override {
    manager.reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ASSERT_TRUE(manager);
    Clean();
    UniqueService made(CreateServiceW(manager.get(), kTestServiceW, kTestServiceW,
                                      SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                      SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                      L"\"C:\\mt-test\\svc dir\\svc.exe\" /run", nullptr, nullptr,
                                      nullptr, nullptr, nullptr));
    ASSERT_TRUE(made) << GetLastError();
    ts.services.serviceControl = &real->serviceControl;
    StartupPublisherTabTest::SetUp();
  }
  void TearDown() override {
    StartupPublisherTabTest::TearDown();
    Clean();
  }
  void Clean() {
    UniqueService old(OpenServiceW(manager.get(), kTestServiceW, DELETE));
    if (old) DeleteService(old.get());
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kDisabledServicesW, kTestServiceW);
  }
  // The start type the manager holds now.
  DWORD ManagerStart() {
    UniqueService s(OpenServiceW(manager.get(), kTestServiceW, SERVICE_QUERY_CONFIG));
    if (!s) return 0xFFFFFFFF;
    DWORD needed = 0;
    QueryServiceConfigW(s.get(), nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed ? needed : 1);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!QueryServiceConfigW(s.get(), config, needed, &needed)) return 0xFFFFFFFF;
    return config->dwStartType;
  }
  // Every value a switch may touch, as stored.
  std::vector<std::optional<std::pair<DWORD, std::string>>> State() {
    return {RawValue(HKEY_LOCAL_MACHINE, kTestServiceKeyW, "Start", 0),
            RawValue(HKEY_LOCAL_MACHINE, kTestServiceKeyW, "DelayedAutostart", 0),
            RawValue(HKEY_LOCAL_MACHINE, kDisabledServicesW, "mt-test-svc", 0)};
  }

  UniqueService manager;
};

// Listed as "服务" with its program, switched off through the manager (the row stays, off),
// left alone by "删除", and the set of the switch gives the manager and the registry back
// exactly what they held.
TEST_F(StartupServiceTabTest, AServiceIsListedSwitchedOffAndRestoredFromItsSet) {
  const auto before = State();
  ASSERT_EQ(ManagerStart(), DWORD{SERVICE_AUTO_START});
  form->SetActivePage(3);
  HWND list = form->Page<StartupPage>().ListView2;
  ASSERT_TRUE(PumpUntilTasksRead());
  EXPECT_EQ(Cell("mt-test-svc", S::ServiceAuto, 1),
            std::string("\"C:\\mt-test\\svc dir\\svc.exe\" /run"));
  EXPECT_EQ(Cell("mt-test-svc", S::ServiceAuto, 2), std::string("已启用（已停止）"));
  EXPECT_EQ(Cell("mt-test-svc", S::ServiceAuto, 3), std::string("服务"));

  ASSERT_TRUE(Check("mt-test-svc", S::ServiceAuto));
  ASSERT_TRUE(form->ChooseContextMenu(list, "禁用"));
  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_EQ(ManagerStart(), DWORD{SERVICE_DISABLED});
  EXPECT_EQ(Cell("mt-test-svc", S::ServiceAuto, 2), std::string("已禁用（已停止）"));

  ASSERT_TRUE(Check("mt-test-svc", S::ServiceAuto));
  Click(form->Page<StartupPage>().Button6);
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text,
            std::string(kServiceNotDeletedText) + "\nmt-test-svc（服务）");
  EXPECT_EQ(ManagerStart(), DWORD{SERVICE_DISABLED});

  std::vector<FindEntry> sets = real->files.Find(BackupRoot(exeDir), "*");
  ASSERT_EQ(sets.size(), 1u);
  const ChangeEnv env = ChangeEnvOf(ts.services);
  const BackupSetInfo set = ReadBackupSet(env, *ts.services.changeKinds,
                                          BackupRoot(exeDir) + "\\" + sets[0].name);
  ASSERT_TRUE(set.damage.empty()) << set.damage;
  std::vector<size_t> all;
  for (size_t i = 0; i < set.items.size(); ++i) all.push_back(i);
  YesToAll yes;
  const RestoreReport report = RestoreItems(env, exeDir, set, all, yes);
  ASSERT_TRUE(report.refused.empty()) << report.refused;
  for (const RestoreOutcome& o : report.items) EXPECT_TRUE(o.back) << o.place << o.reason;
  EXPECT_EQ(ManagerStart(), DWORD{SERVICE_AUTO_START});
  EXPECT_EQ(State(), before);
  form.reset();
}

}  // namespace
}  // namespace mt::test
