// Benchmark: the startup list refresh of the "系统启动项" page with 2,000 machine Run values
// and 500 shortcuts (250 in each Startup folder), on the real registry and file system.
// Prints one line per run and ends with "startup_refresh_ms=<median> rows=<rows>".
// Everything it creates carries the "mt-bench " prefix and is removed again, also leftovers
// of an interrupted run.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/Registry.h"
#include "app/Unit1.h"
#include "app/win/WinServices.h"
#include "tools/bench/WinBenchSupport.h"
#include "startup/StartupItems.h"
#include "startup/win/WinStartupPlaces.h"

namespace {

using mt::bench::Median;
using mt::bench::SilentMessages;

constexpr int kValues = 2000;
constexpr int kShortcutsPerFolder = 250;
constexpr int kRuns = 5;
const std::string kPrefix = "mt-bench ";

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
      svc.files->DeleteFile(mt::JoinPath(folder, e.name));
}

int Run() {
  auto real = mt::MakeWinServices();
  SilentMessages messages;
  mt::Services svc = real->services;
  svc.messages = &messages;
  mt::StartupItems items(svc, *real->services.startupPlaces);
  const std::vector<std::string> folders = {items.UserStartupFolder(),
                                            items.CommonStartupFolder()};
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
    mt::TForm1 form(svc);
    form.quitOnDestroy = false;
    form.Create();
    ShowWindow(form.Handle, SW_SHOWNOACTIVATE);
    std::vector<double> page, places;
    int rows = 0;
    for (int run = 0; run < kRuns; ++run) {
      CountingView counting;
      double t0 = mt::bench::NowMs();
      items.Refresh(counting);
      double t1 = mt::bench::NowMs();
      form.TabSheet4Show();
      double t2 = mt::bench::NowMs();
      rows = ListView_GetItemCount(form.ListView2);
      places.push_back(t1 - t0);
      page.push_back(t2 - t1);
      std::printf("run %d: places_ms=%.0f page_ms=%.0f rows=%d\n", run + 1, t1 - t0, t2 - t1, rows);
      std::fflush(stdout);
    }
    if (rows < kValues + 2 * kShortcutsPerFolder) rc = 1;
    std::printf("startup_places_ms=%.0f\n", Median(places));
    std::printf("startup_refresh_ms=%.0f rows=%d\n", Median(page), rows);
  }
  RemoveBenchItems(svc, folders);
  return rc;
}

}  // namespace

int main() {
  try {
    return Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "startup bench failed: %s\n", e.what());
    return 1;
  }
}
