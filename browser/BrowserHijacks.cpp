#include "browser/BrowserHijacks.h"

#include "app/Backup.h"
#include "app/Text.h"

namespace mt {

const std::vector<const HijackModule*>& HijackModules() {
  // One kind a line, in the order their rows follow each other.
  // clang-format off
  static const std::vector<const HijackModule*> modules = {
      &PolicyHijacks(),
      &EnrolmentHijacks(),
      &ShortcutHijacks(),
      &FirefoxPolicyHijacks(),
      &ExtensionKeyHijacks(),
      &ChromiumProfileHijacks(),
      &FirefoxProfileHijacks(),
      &FirefoxAutoconfigHijacks(),
      &BrowserImageHijacks(),
      &ProxyHijacks(),
      &HostsHijacks(),
      &DesktopItemHijacks(),
  };
  // clang-format on
  return modules;
}

std::string HijackShown(const std::string& text) {
  // Rows show at most this many characters of a value.
  constexpr size_t kShownChars = 200;
  return OneLineShort(text, kShownChars);
}

std::string HijackRegPath(RegRoot root, const std::string& key, const std::string& name,
                          RegView view) {
  std::string path = RegFileKeyName(root, key, view);
  return name.empty() ? path : path + "\\" + name;
}

std::vector<Hijack> FindBrowserHijacks(Services& svc) {
  const InstalledBrowsers installed = FindInstalledBrowsers(*svc.registry, *svc.files);
  std::vector<Hijack> out;
  for (const HijackModule* module : HijackModules())
    for (Hijack& h : module->Find(svc, installed)) out.push_back(std::move(h));
  return out;
}

bool IsMachineWide(const Hijack& h, const std::vector<ShortcutFolder>& folders) {
  return h.module && h.module->MachineWide(h, folders);
}

void SaveHijack(DeletionBackup& backup, const Hijack& h) {
  if (h.module && h.repairable) h.module->Save(backup, h);
}

std::string HijackRefusal(Services& svc, const Hijack& h) {
  return h.module && h.repairable ? h.module->Refusal(svc, h) : std::string();
}

void RepairHijack(Services& svc, const Hijack& h) {
  if (h.module && h.repairable) h.module->Repair(svc, h);
}

}  // namespace mt
