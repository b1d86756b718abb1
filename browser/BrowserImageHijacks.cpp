#include "browser/BrowserImageHijacks.h"

#include "app/Error.h"
#include "app/ImageHijacks.h"
#include "app/Text.h"
#include "browser/BrowserTable.h"

namespace mt {

namespace {

std::string ViewMark(RegView view) { return view == RegView::Wow32 ? "，32位" : ""; }

// The entry a row stands for: the key and value it names say which program and which kind.
ImageHijack EntryOf(const Hijack& h) {
  ImageHijack entry;
  entry.view = h.view;
  entry.kind = h.value == kMonitorProcessValue ? ImageHijackKind::ExitMonitor
                                               : ImageHijackKind::Debugger;
  const size_t cut = h.key.rfind('\\');
  entry.exe = cut == std::string::npos ? h.key : h.key.substr(cut + 1);
  return entry;
}

class Module : public HijackModule {
 public:
  std::vector<Hijack> Find(Services& svc, const InstalledBrowsers& installed) const override {
    return FindBrowserImageHijacks(*svc.registry, installed);
  }
  bool MachineWide(const Hijack&, const std::vector<ShortcutFolder>&) const override {
    return true;
  }
  void Save(DeletionBackup& backup, const Hijack& h) const override {
    SaveImageHijack(backup, EntryOf(h));
  }
  void Repair(Services& svc, const Hijack& h) const override {
    if (!RepairImageHijack(*svc.registry, EntryOf(h)))
      throw AppError(FormatMessage1("Failed to delete value %s", h.where));
  }
};

}  // namespace

std::vector<Hijack> FindBrowserImageHijacks(RegistryBackend& registry,
                                            const InstalledBrowsers& installed) {
  std::vector<Hijack> out;
  const ImageHijackScan scan = FindImageHijacks(registry);
  for (const ImageHijack& found : scan.found) {
    const KnownBrowser* browser = BrowserByExe(found.exe);
    if (!browser) continue;
    const bool monitor = found.kind == ImageHijackKind::ExitMonitor;
    Hijack h;
    h.module = &BrowserImageHijacks();
    h.root = RegRoot::LocalMachine;
    h.view = found.view;
    h.key = std::string(monitor ? kSilentExitKeyPath : kIfeoKeyPath) + "\\" + found.exe;
    h.value = monitor ? kMonitorProcessValue : kDebuggerValue;
    h.where = HijackRegPath(h.root, h.key, h.value, h.view);
    h.iconPath = installed.PathOf(browser->exe);
    h.action = kHijackActionDelete;
    h.caption = std::string(browser->name) + " 映像劫持（" +
                (monitor ? "退出时启动" : "启动时改为运行") + ViewMark(found.view) + "）：" +
                HijackShown(found.command);
    out.push_back(std::move(h));
  }
  for (const SkippedImageKey& skipped : scan.skipped) {
    const KnownBrowser* browser = BrowserByExe(skipped.exe);
    if (!browser) continue;
    Hijack h;
    h.module = &BrowserImageHijacks();
    h.root = RegRoot::LocalMachine;
    h.view = skipped.view;
    h.key = std::string(kIfeoKeyPath) + "\\" + skipped.exe;
    h.where = HijackRegPath(h.root, h.key, {}, h.view);
    h.iconPath = installed.PathOf(browser->exe);
    h.action = "未修改";
    h.repairable = false;
    h.caption = std::string(browser->name) + " 映像劫持设置无法检查" + "（" + skipped.reason +
                ViewMark(skipped.view) + "）";
    out.push_back(std::move(h));
  }
  return out;
}

const HijackModule& BrowserImageHijacks() {
  static const Module module;
  return module;
}

}  // namespace mt
