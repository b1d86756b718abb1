// Benchmark: the startup list refresh of the "系统启动项" page with 2,000 machine Run values
// and 500 shortcuts (250 in each Startup folder), on the real registry and file system, and
// the time until its publisher column is complete.
//   startup_bench                 measures (the base load is made and removed each time)
//   startup_bench seed DIR        adds the extra load, left in place for later runs: 500
//                                 program files (250 copies of DIR\signed.exe, 250 of
//                                 DIR\unsigned.exe), DIR\root.der trusted, 200 machine
//                                 RunOnce values and 300 user Run values starting them, 100
//                                 log-on tasks, 100 image hijacks, 100 Active Setup
//                                 components, 300 trigger-started services (made through the
//                                 service manager, which lists them at once; a key written
//                                 into the registry instead would wait for its next start)
//   startup_bench sigtime         after seed: the mean time of one signer check of a signed
//                                 and of an unsigned program (20 of each), then the time of
//                                 checking all the programs with one thread and with two
//   startup_bench families        after seed: each source's rows read alone, in ms
//   startup_bench clean           removes the extra load
// Prints one line per run and ends with "startup_refresh_ms=<median> publisher_ms=<median>
// rows=<rows>". Everything it creates carries the "mt-bench " prefix (the tasks: the folder
// "\mt-bench") and is removed again, also leftovers of an interrupted run.
#include <windows.h>
#include <commctrl.h>
#include <wincrypt.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/ImageHijacks.h"
#include "app/Registry.h"
#include "app/win/Unit1.h"
#include "program/ProgramForm.h"
#include "program/WinServiceSet.h"
#include "tools/bench/WinBenchSupport.h"
#include "startup/ScheduledTasks.h"
#include "update/InstallerTrust.h"
#include "startup/StartupFamily.h"
#include "startup/StartupItems.h"
#include "startup/win/WinStartupPlaces.h"
#include "startup/win/WinTaskStore.h"
#include "startup/win/StartupPage.h"

namespace {

using mt::bench::Median;
using mt::bench::SilentMessages;

constexpr int kValues = 2000;
constexpr int kShortcutsPerFolder = 250;
constexpr int kRuns = 5;
const std::string kPrefix = "mt-bench ";
constexpr int kFiles = 500;  // half signed, half not
constexpr int kRunOnceValues = 200;
constexpr int kTasks = 100;
// The places added since the list's first publisher column: image hijacks and Active Setup
// components, each pointing at one of the program files (and the services below).
constexpr int kImageHijacks = 100;
constexpr int kActiveSetup = 100;
const std::string kActiveSetupKeyPath = "SOFTWARE\\Microsoft\\Active Setup\\Installed Components";
const std::string kFilesFolder = "C:\\mt-bench files";
const std::string kTaskFolder = "\\mt-bench";

std::string ProgramFile(int i) {
  return kFilesFolder + "\\" + (i % 2 == 0 ? "signed " : "plain ") + std::to_string(i) + ".exe";
}

std::string LogonTaskXml(const std::string& program) {
  return "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<Task version=\"1.2\" "
         "xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\"><Triggers><LogonTrigger>"
         "<Enabled>true</Enabled></LogonTrigger></Triggers><Actions Context=\"Author\"><Exec>"
         "<Command>" +
         program + "</Command></Exec></Actions></Task>";
}

struct StoreTraits {
  static HCERTSTORE invalid() { return nullptr; }
  static void close(HCERTSTORE s) { ::CertCloseStore(s, 0); }
};

HCERTSTORE MachineRoots() {
  return ::CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE,
                         L"Root");
}

std::string ReadAll(mt::FileSystem& files, const std::string& path) {
  std::string out;
  if (!files.FileExists(path)) return out;
  auto in = files.OpenRead(path);
  char buffer[65536];
  for (size_t n; (n = in->Read(buffer, sizeof buffer)) > 0;) out.append(buffer, n);
  return out;
}

// Takes the test root out of the trusted roots again (by its bytes, kept with the files).
void Untrust(mt::Services& svc) {
  const std::string der = ReadAll(*svc.files, kFilesFolder + "\\root.der");
  if (der.empty()) return;
  HCERTSTORE roots = MachineRoots();
  if (!roots) return;
  PCCERT_CONTEXT ours = ::CertCreateCertificateContext(X509_ASN_ENCODING,
                                                       reinterpret_cast<const BYTE*>(der.data()),
                                                       static_cast<DWORD>(der.size()));
  if (ours) {
    PCCERT_CONTEXT found = ::CertFindCertificateInStore(roots, X509_ASN_ENCODING, 0,
                                                        CERT_FIND_EXISTING, ours, nullptr);
    if (found) ::CertDeleteCertificateFromStore(found);
    ::CertFreeCertificateContext(ours);
  }
  ::CertCloseStore(roots, 0);
}

constexpr int kServices = 300;
std::wstring ServiceName(int i) { return mt::Widen(kPrefix + "svc " + std::to_string(i)); }

void RemoveServices() {
  SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (!manager) return;
  for (int i = 0; i < kServices; ++i)
    if (SC_HANDLE service = ::OpenServiceW(manager, ServiceName(i).c_str(), DELETE)) {
      ::DeleteService(service);
      ::CloseServiceHandle(service);
    }
  ::CloseServiceHandle(manager);
}

// Services the manager knows at once, each started on demand and by a trigger (listed as
// services that start with Windows). Automatic ones would be started, 300 copies of the test
// installer, whenever the prefix's server starts again.
int SeedServices(mt::Services& svc) {
  SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
  if (!manager) return 0;
  int made = 0;
  for (int i = 0; i < kServices; ++i) {
    const std::wstring command = mt::Widen("\"" + ProgramFile(i) + "\" /service");
    SC_HANDLE service = ::CreateServiceW(manager, ServiceName(i).c_str(), ServiceName(i).c_str(),
                                         SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                         SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                         command.c_str(), nullptr, nullptr, nullptr, nullptr,
                                         nullptr);
    if (!service) continue;
    ::CloseServiceHandle(service);
    mt::TRegistry trigger(*svc.registry);
    trigger.SetRootKey(mt::RegRoot::LocalMachine);
    if (!trigger.OpenKey("SYSTEM\\CurrentControlSet\\Services\\" + kPrefix + "svc " +
                             std::to_string(i) + "\\TriggerInfo\\0",
                         true))
      continue;
    trigger.WriteInteger("Type", 1);  // a device interface arrives
    trigger.WriteInteger("Action", 1);
    ++made;
  }
  ::CloseServiceHandle(manager);
  return made;
}

void RemoveExtraLoad(mt::Services& svc) {
  RemoveServices();
  for (auto [root, path] : {std::pair{mt::RegRoot::LocalMachine, mt::kRunOnceKeyPath},
                            std::pair{mt::RegRoot::CurrentUser, mt::kRunKeyPath}}) {
    mt::TRegistry reg(*svc.registry);
    reg.SetRootKey(root);
    if (reg.OpenKey(path, false))
      for (const std::string& name : reg.GetValueNames())
        if (name.rfind(kPrefix, 0) == 0) reg.DeleteValue(name);
  }
  mt::WinTaskStore tasks;
  for (int i = 0; i < kTasks; ++i) tasks.Delete(kTaskFolder + "\\logon " + std::to_string(i));
  for (const std::string& parent : {std::string(mt::kIfeoKeyPath), kActiveSetupKeyPath}) {
    mt::TRegistry reg(*svc.registry);
    reg.SetRootKey(mt::RegRoot::LocalMachine);
    if (!reg.OpenKey(parent, false)) continue;
    for (const std::string& name : reg.GetKeyNames())
      if (name.rfind(kPrefix, 0) == 0)
        svc.registry->DeleteTree(mt::RegRoot::LocalMachine, nullptr, parent + "\\" + name,
                                 mt::RegView::Native);
  }
  Untrust(svc);
  for (const mt::FindEntry& e : svc.files->Find(kFilesFolder, "*"))
    svc.files->RemoveFile(kFilesFolder + "\\" + e.name);
  ::RemoveDirectoryW(mt::Widen(kFilesFolder).c_str());
}

int SeedExtraLoad(mt::Services& svc, const std::string& material) {
  RemoveExtraLoad(svc);
  svc.files->CreateDirectories(kFilesFolder);
  const std::string signedBytes = ReadAll(*svc.files, material + "\\signed.exe");
  const std::string plainBytes = ReadAll(*svc.files, material + "\\unsigned.exe");
  const std::string der = ReadAll(*svc.files, material + "\\root.der");
  if (signedBytes.empty() || plainBytes.empty() || der.empty()) {
    std::fprintf(stderr, "no signing material in %s\n", material.c_str());
    return 1;
  }
  svc.files->WriteAll(kFilesFolder + "\\root.der", der);
  for (int i = 0; i < kFiles; ++i)
    svc.files->WriteAll(ProgramFile(i), i % 2 == 0 ? signedBytes : plainBytes);
  HCERTSTORE roots = MachineRoots();
  if (!roots || !::CertAddEncodedCertificateToStore(roots, X509_ASN_ENCODING,
                                                    reinterpret_cast<const BYTE*>(der.data()),
                                                    static_cast<DWORD>(der.size()),
                                                    CERT_STORE_ADD_REPLACE_EXISTING, nullptr)) {
    std::fprintf(stderr, "cannot trust the test root\n");
  }
  if (roots) ::CertCloseStore(roots, 0);
  {
    mt::TRegistry reg(*svc.registry);
    reg.SetRootKey(mt::RegRoot::LocalMachine);
    if (!reg.OpenKey(mt::kRunOnceKeyPath, true)) return 1;
    for (int i = 0; i < kRunOnceValues; ++i)
      reg.WriteString(kPrefix + "once " + std::to_string(i), "\"" + ProgramFile(i) + "\" /once");
  }
  {
    mt::TRegistry reg(*svc.registry);
    reg.SetRootKey(mt::RegRoot::CurrentUser);
    if (!reg.OpenKey(mt::kRunKeyPath, true)) return 1;
    for (int i = kRunOnceValues; i < kFiles; ++i)
      reg.WriteString(kPrefix + "file " + std::to_string(i), "\"" + ProgramFile(i) + "\"");
  }
  for (int i = 0; i < kImageHijacks; ++i) {
    mt::TRegistry reg(*svc.registry);
    reg.SetRootKey(mt::RegRoot::LocalMachine);
    if (!reg.OpenKey(std::string(mt::kIfeoKeyPath) + "\\" + kPrefix + std::to_string(i) + ".exe",
                     true))
      return 1;
    reg.WriteString(mt::kDebuggerValue, "\"" + ProgramFile(i) + "\"");
  }
  for (int i = 0; i < kActiveSetup; ++i) {
    mt::TRegistry reg(*svc.registry);
    reg.SetRootKey(mt::RegRoot::LocalMachine);
    if (!reg.OpenKey(kActiveSetupKeyPath + "\\" + kPrefix + std::to_string(i), true)) return 1;
    reg.WriteString("StubPath", "\"" + ProgramFile(kFiles - 1 - i) + "\" /setup");
  }
  mt::WinTaskStore tasks;
  int registered = 0;
  for (int i = 0; i < kTasks; ++i)
    if (tasks.Register(kTaskFolder + "\\logon " + std::to_string(i), LogonTaskXml(ProgramFile(i))))
      ++registered;
  const int services = SeedServices(svc);
  std::printf(
      "seeded files=%d runonce=%d userrun=%d tasks=%d image_hijacks=%d active_setup=%d "
      "services=%d\n",
      kFiles, kRunOnceValues, kFiles - kRunOnceValues, registered, kImageHijacks, kActiveSetup,
      services);
  return 0;
}

// A view that only counts, to time the places apart from the list view.
class CountingView : public mt::StartupView {
 public:
  void Clear() override { rows = 0; }
  size_t Append(const mt::StartupRow&) override { return rows++; }
  void SetLocation(size_t, const std::string&) override {}
  size_t Count() override { return rows; }
  mt::StartupRow Row(size_t) override { return {}; }
  void Remove(size_t) override {}
  size_t rows = 0;
};

void RemoveBenchItems(mt::Services& svc, const std::vector<std::string>& folders) {
  mt::TRegistry reg(*svc.registry);
  reg.SetRootKey(mt::RegRoot::LocalMachine);
  if (reg.OpenKey(mt::kRunKeyPath, false))
    for (const std::string& name : reg.GetValueNames())
      if (name.rfind(kPrefix, 0) == 0) reg.DeleteValue(name);
  for (const std::string& folder : folders)
    for (const mt::FindEntry& e : svc.files->Find(folder, "mt-bench *.lnk"))
      svc.files->RemoveFile(mt::JoinPath(folder, e.name));
}

int Run(int argc, char** argv) {
  auto real = mt::MakeWinServices();
  SilentMessages messages;
  mt::Services svc = real->services;
  svc.messages = &messages;
  if (argc >= 3 && std::strcmp(argv[1], "seed") == 0) return SeedExtraLoad(svc, argv[2]);
  if (argc >= 2 && std::strcmp(argv[1], "sigtime") == 0) {
    // Where the publisher column's time goes: even-numbered programs are signed.
    double signedMs = 0, plainMs = 0;
    int wrong = 0;
    for (int i = 0; i < 40; ++i) {
      const double a = mt::bench::NowMs();
      const auto signer = svc.signers->SignerOf(ProgramFile(i));
      (i % 2 == 0 ? signedMs : plainMs) += mt::bench::NowMs() - a;
      if ((signer.kind == mt::FileSigner::Kind::kSigned) != (i % 2 == 0)) ++wrong;
    }
    std::printf("signed_check_ms=%.1f unsigned_check_ms=%.1f wrong=%d\n", signedMs / 20,
                plainMs / 20, wrong);
    // All the programs checked by 1 and by 2 threads (each taking every other file): whether
    // the checks overlap at all.
    for (int threads = 1; threads <= 2; ++threads) {
      const double a = mt::bench::NowMs();
      std::vector<std::thread> pool;
      for (int t = 0; t < threads; ++t)
        pool.emplace_back([&, t] {
          for (int i = t; i < kFiles; i += threads) svc.signers->SignerOf(ProgramFile(i));
        });
      for (std::thread& th : pool) th.join();
      std::printf("threads=%d all_files_ms=%.0f\n", threads, mt::bench::NowMs() - a);
    }
    return wrong == 0 ? 0 : 1;
  }
  if (argc >= 2 && std::strcmp(argv[1], "clean") == 0) {
    RemoveExtraLoad(svc);
    return 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "families") == 0) {
    // Where the list's time goes: each source's rows read alone (after seed), the median of
    // five reads, the families that read ahead with their reading thread's part included.
    mt::StartupContext ctx{svc, *real->services.startupPlaces};
    for (mt::StartupSource source : mt::ListedSources()) {
      const mt::StartupFamily* family = mt::FamilyOf(source);
      std::vector<double> times;
      size_t rows = 0;
      for (int i = 0; i < 5; ++i) {
        CountingView view;
        const double t = mt::bench::NowMs();
        if (family->ReadsAhead(ctx)) {
          if (auto append = family->ReadAhead(ctx)) append(view);
        } else {
          family->List(ctx, view, source);
        }
        times.push_back(mt::bench::NowMs() - t);
        rows = view.rows;
      }
      std::sort(times.begin(), times.end());
      std::printf("family source=%d ms=%.1f rows=%zu %s\n", static_cast<int>(source), times[2],
                  rows, mt::SourceText(source).c_str());
    }
    return 0;
  }
  mt::StartupItems items(svc, *real->services.startupPlaces);
  const std::vector<std::string> folders = {items.UserStartupFolder(), items.CommonStartupFolder()};
  for (const std::string& f : folders) svc.files->CreateDirectories(f);
  RemoveBenchItems(svc, folders);

  {
    mt::TRegistry reg(*svc.registry);
    reg.SetRootKey(mt::RegRoot::LocalMachine);
    if (!reg.OpenKey(mt::kRunKeyPath, true)) {
      std::fprintf(stderr, "cannot open the machine Run key\n");
      return 1;
    }
    for (int i = 0; i < kValues; ++i)
      reg.WriteString(kPrefix + std::to_string(i) + ".exe",
                      "C:\\Program Files\\Bench " + std::to_string(i) + "\\prog.exe /min");
  }
  for (const std::string& folder : folders)
    for (int i = 0; i < kShortcutsPerFolder; ++i)
      svc.files->Create(mt::JoinPath(folder, kPrefix + std::to_string(i) + ".lnk"))->Write("L", 1);

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
    std::vector<double> page, places, publishers;
    int rows = 0;
    double slowestAnswer = 0;
    for (int run = 0; run < kRuns; ++run) {
      CountingView counting;
      double t0 = mt::bench::NowMs();
      items.Refresh(counting);
      double t1 = mt::bench::NowMs();
      form.Page<mt::StartupPage>().TabSheet4Show();
      double t2 = mt::bench::NowMs();
      rows = ListView_GetItemCount(form.Page<mt::StartupPage>().ListView2);
      // The column fills while the window runs its messages; another thread keeps asking it.
      std::atomic<bool> filled{false};
      std::atomic<long> slowest{0};
      HWND window = form.Handle;
      std::thread prober([&] {
        while (!filled) {
          const double a = mt::bench::NowMs();
          DWORD_PTR answer = 0;
          ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &answer);
          const long took = static_cast<long>(mt::bench::NowMs() - a);
          if (took > slowest) slowest = took;
          ::Sleep(20);
        }
      });
      while (form.Page<mt::StartupPage>().StartupPublishersPending() &&
             mt::bench::NowMs() - t1 < 120000) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
          ::TranslateMessage(&msg);
          ::DispatchMessageW(&msg);
        }
      }
      double t3 = mt::bench::NowMs();
      filled = true;
      prober.join();
      if (form.Page<mt::StartupPage>().StartupPublishersPending()) rc = 1;
      slowestAnswer = std::max(slowestAnswer, static_cast<double>(slowest.load()));
      places.push_back(t1 - t0);
      page.push_back(t2 - t1);
      publishers.push_back(t3 - t1);
      std::printf(
          "run %d: places_ms=%.0f page_ms=%.0f publisher_ms=%.0f slowest_answer_ms=%ld "
          "rows=%d\n",
          run + 1, t1 - t0, t2 - t1, t3 - t1, slowest.load(), rows);
      std::fflush(stdout);
    }
    if (rows < kValues + 2 * kShortcutsPerFolder) rc = 1;
    std::printf("startup_places_ms=%.0f slowest_answer_ms=%.0f\n", Median(places), slowestAnswer);
    std::printf("startup_refresh_ms=%.0f publisher_ms=%.0f rows=%d\n", Median(page),
                Median(publishers), rows);
  }
  RemoveBenchItems(svc, folders);
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "startup bench failed: %s\n", e.what());
    return 1;
  }
}
