// Benchmark: the add-on list of the "IE修复" page with 600 add-ons, 200 of each kind
// (toolbars whose class server is a file with icons, extensions with a "HotIcon", context-menu
// entries), followed by 300 browser shortcuts (50 of them carrying an address) and 40 browser
// policy values, on the real registry and shell, in a visible Main window. A run is the time from
// switching to the tab until the list is painted. Prints one line per run and ends with
// "browser_show_ms=<median> rows=<rows>".
// Everything it registers carries the class id prefix or the entry text prefix below and is
// removed again, also leftovers of an interrupted run.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/Registry.h"
#include "app/win/Unit1.h"
#include "program/ProgramForm.h"
#include "program/WinServiceSet.h"
#include "app/win/Handles.h"
#include "tools/bench/WinBenchSupport.h"
#include "browser/BrowserHijacks.h"
#include "browser/IESweeperEx.h"
#include "browser/win/WinShortcuts.h"
#include "browser/win/BrowserPage.h"

namespace {

using mt::bench::Median;
using mt::bench::SilentMessages;

constexpr int kPerKind = 200;
constexpr int kRuns = 5;
const std::string kIdPrefix = "{6D3C1A00-BE4C-4000-8000-";
const std::string kMenuPrefix = "mt-bench menu ";

std::string Id(int kind, int i) {
  char tail[16];
  std::snprintf(tail, sizeof tail, "%d%011d}", kind, i);
  return kIdPrefix + tail;
}

bool Ours(const std::string& name) {
  return name.rfind(kIdPrefix, 0) == 0 || name.rfind(kMenuPrefix, 0) == 0;
}

void RemoveBenchAddOns(mt::RegistryBackend& backend) {
  mt::TRegistry reg(backend);
  const std::string toolbars = std::string("\\") + mt::kToolbarStore;
  const std::string extensions = std::string("\\") + mt::kExtensionStore;
  const std::string menus = std::string("\\") + mt::kMenuExtensionStore;
  reg.SetRootKey(mt::RegRoot::LocalMachine);
  if (reg.OpenKey(toolbars, false))
    for (const std::string& name : reg.GetValueNames())
      if (Ours(name)) reg.DeleteValue(name);
  reg.CloseKey();
  if (reg.OpenKey(extensions, false))
    for (const std::string& name : reg.GetKeyNames())
      if (Ours(name)) reg.DeleteKey(name);
  reg.CloseKey();
  reg.SetRootKey(mt::RegRoot::ClassesRoot);
  if (reg.OpenKey("\\CLSID", false))
    for (const std::string& name : reg.GetKeyNames())
      if (Ours(name)) reg.DeleteKey(name);
  reg.SetRootKey(mt::RegRoot::CurrentUser);
  if (reg.OpenKey(menus, false))
    for (const std::string& name : reg.GetKeyNames())
      if (Ours(name)) reg.DeleteKey(name);
  reg.CloseKey();
}

std::wstring IconFolder() {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + L"mt-bench-icons";
}

std::wstring IconFile(const char* kind, int i) {
  return IconFolder() + L"\\" + mt::Widen(kind) + std::to_wstring(i) + L".dll";
}

void RemoveIconFiles() {
  for (const char* kind : {"toolbar", "button"})
    for (int i = 0; i < kPerKind; ++i) DeleteFileW(IconFile(kind, i).c_str());
  RemoveDirectoryW(IconFolder().c_str());
}

// One copy per add-on of the icon DLL that is built beside this program.
bool MakeIconFiles() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring source(self);
  source = source.substr(0, source.find_last_of(L'\\') + 1) + L"browser_bench_icons.dll";
  CreateDirectoryW(IconFolder().c_str(), nullptr);
  for (const char* kind : {"toolbar", "button"})
    for (int i = 0; i < kPerKind; ++i)
      if (!CopyFileW(source.c_str(), IconFile(kind, i).c_str(), FALSE)) return false;
  return true;
}

bool Register(mt::RegistryBackend& backend) {
  mt::TRegistry reg(backend);
  for (int i = 0; i < kPerKind; ++i) {
    const std::string toolbar = Id(1, i), extension = Id(2, i);
    reg.SetRootKey(mt::RegRoot::LocalMachine);
    if (!reg.OpenKey(std::string("\\") + mt::kToolbarStore, true)) return false;
    reg.WriteString(toolbar, "");
    if (!reg.OpenKey(std::string("\\") + mt::kExtensionStore + "\\" + extension, true))
      return false;
    reg.WriteString("ButtonText", "Bench button " + std::to_string(i));
    reg.WriteString("MenuText", "Bench menu item " + std::to_string(i));
    reg.WriteString("HotIcon", mt::Narrow(IconFile("button", i)) + "," + std::to_string(i % 3));
    reg.SetRootKey(mt::RegRoot::ClassesRoot);
    if (!reg.OpenKey("\\CLSID\\" + toolbar, true)) return false;
    reg.WriteString("", "Bench toolbar " + std::to_string(i));
    if (!reg.OpenKey("InprocServer32", true)) return false;
    reg.WriteString("", mt::Narrow(IconFile("toolbar", i)));
    reg.SetRootKey(mt::RegRoot::CurrentUser);
    if (!reg.OpenKey(std::string("\\") + mt::kMenuExtensionStore + "\\" + kMenuPrefix +
                         std::to_string(i),
                     true))
      return false;
    reg.WriteString("", "res://bench/" + std::to_string(i) + ".htm");
  }
  return true;
}

constexpr int kShortcuts = 300, kHijackedShortcuts = 50, kPolicyValues = 40;
// The policy values use the real policy names in both policy roots; their data starts with
// "http://" and this mark, by which the benchmark finds and removes them again.
const char* kBenchPolicyMark = "mt-bench";

std::wstring LinkFolder() {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + L"mt-bench-links";
}

// The platform's shortcut files, from the benchmark's own folder instead of the user's.
class BenchShortcuts : public mt::WinShortcuts {
 public:
  std::vector<mt::ShortcutFolder> Folders() override {
    return {{mt::ShortcutPlace::Desktop, mt::Narrow(LinkFolder()), false}};
  }
};

void RemoveShortcutsAndPolicies(mt::RegistryBackend& backend) {
  for (int i = 0; i < kShortcuts; ++i)
    DeleteFileW((LinkFolder() + L"\\Microsoft Edge " + std::to_wstring(i) + L".lnk").c_str());
  RemoveDirectoryW(LinkFolder().c_str());
  mt::TRegistry reg(backend);
  for (mt::RegRoot root : {mt::RegRoot::LocalMachine, mt::RegRoot::CurrentUser}) {
    reg.SetRootKey(root);
    for (const mt::PolicyStore& store : mt::kPolicyStores) {
      if (!reg.OpenKey(std::string("\\") + store.key, false)) continue;
      // Only what this benchmark wrote: its values carry the mark.
      for (const mt::PolicyName& policy : mt::kPolicyNames)
        if (reg.GetDataType(policy.name) == mt::RegDataType::String &&
            reg.ReadString(policy.name).rfind(std::string("http://") + kBenchPolicyMark, 0) == 0)
          reg.DeleteValue(policy.name);
      reg.CloseKey();
    }
  }
}

bool MakeShortcutsAndPolicies(mt::RegistryBackend& backend) {
  CreateDirectoryW(LinkFolder().c_str(), nullptr);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  for (int i = 0; i < kShortcuts; ++i) {
    mt::ComPtr<IShellLinkW> link;
    mt::ComPtr<IPersistFile> file;
    std::wstring args = L"--profile-directory=Default";
    if (i < kHijackedShortcuts) args += L" http://mt-bench.invalid/" + std::to_wstring(i);
    bool ok = SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IShellLinkW, link.put_void())) &&
              SUCCEEDED(link->SetPath(L"C:\\Program Files\\Microsoft\\Edge\\msedge.exe")) &&
              SUCCEEDED(link->SetArguments(args.c_str())) &&
              SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.put_void())) &&
              SUCCEEDED(file->Save(
                  (LinkFolder() + L"\\Microsoft Edge " + std::to_wstring(i) + L".lnk").c_str(),
                  TRUE));
    if (!ok) return false;
  }
  // 40 text policies over the stores of both roots.
  mt::TRegistry reg(backend);
  int written = 0;
  for (mt::RegRoot root : {mt::RegRoot::LocalMachine, mt::RegRoot::CurrentUser})
    for (const mt::PolicyStore& store : mt::kPolicyStores)
      for (const mt::PolicyName& policy : mt::kPolicyNames) {
        if (written >= kPolicyValues || policy.type != mt::PolicyType::Text) continue;
        reg.SetRootKey(root);
        if (!reg.OpenKey(std::string("\\") + store.key, true)) return false;
        if (reg.ValueExists(policy.name)) {
          reg.CloseKey();
          continue;
        }
        reg.WriteString(policy.name, std::string("http://") + kBenchPolicyMark + "/" +
                                         std::to_string(written++));
        reg.CloseKey();
      }
  return written == kPolicyValues;
}

// Sends every message waiting for this thread, so that a run starts on a quiet window.
void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

int Run() {
  auto real = mt::MakeWinServices();
  SilentMessages messages;
  mt::Services svc = real->services;
  svc.messages = &messages;
  BenchShortcuts shortcuts;
  svc.shortcuts = &shortcuts;

  RemoveBenchAddOns(*svc.registry);
  RemoveIconFiles();
  RemoveShortcutsAndPolicies(*svc.registry);
  if (!MakeIconFiles() || !Register(*svc.registry) || !MakeShortcutsAndPolicies(*svc.registry)) {
    std::fprintf(stderr, "cannot write the icon files, the add-on stores or the shortcuts\n");
    RemoveBenchAddOns(*svc.registry);
    RemoveIconFiles();
    RemoveShortcutsAndPolicies(*svc.registry);
    return 1;
  }
  // Keep the launch counter away from the offer, which would wait for a user.
  {
    mt::TRegistry reg(*svc.registry);
    if (reg.OpenKey("\\Software\\MRTKBOX", true)) reg.WriteInteger("cs", 0);
  }

  int rc = 0;
  {
    mt::TForm1 form(svc, mt::ProgramFormPlan());
    form.quitOnDestroy = false;
    form.Create();
    ShowWindow(form.Handle, SW_SHOWNOACTIVATE);
    UpdateWindow(form.Handle);
    std::vector<double> shows, applies;
    int rows = 0;
    for (int run = 0; run < kRuns; ++run) {
      form.SetActivePage(0);
      Pump();
      double t0 = mt::bench::NowMs();
      form.SetActivePage(2);
      UpdateWindow(form.Handle);
      RedrawWindow(form.Page<mt::BrowserPage>().ListView1, nullptr, nullptr,
                   RDW_UPDATENOW | RDW_ALLCHILDREN);
      double t1 = mt::bench::NowMs();
      rows = ListView_GetItemCount(form.Page<mt::BrowserPage>().ListView1);
      // "自动反修" with nothing ticked: the same list is built once more.
      Pump();
      double t2 = mt::bench::NowMs();
      form.Page<mt::BrowserPage>().SbiedefaultClick();
      RedrawWindow(form.Page<mt::BrowserPage>().ListView1, nullptr, nullptr,
                   RDW_UPDATENOW | RDW_ALLCHILDREN);
      double t3 = mt::bench::NowMs();
      shows.push_back(t1 - t0);
      applies.push_back(t3 - t2);
      std::printf("run %d: show_ms=%.0f apply_ms=%.0f rows=%d images=%d\n", run + 1, t1 - t0,
                  t3 - t2, rows, ImageList_GetImageCount(form.ImageList1.get()));
      std::fflush(stdout);
    }
    if (rows < 3 * kPerKind + kHijackedShortcuts + kPolicyValues) rc = 1;
    std::printf("browser_apply_ms=%.0f\n", Median(applies));
    std::printf("browser_show_ms=%.0f rows=%d\n", Median(shows), rows);
  }
  RemoveBenchAddOns(*svc.registry);
  RemoveIconFiles();
  RemoveShortcutsAndPolicies(*svc.registry);
  return rc;
}

}  // namespace

int main() {
  try {
    return Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "browser bench failed: %s\n", e.what());
    return 1;
  }
}
