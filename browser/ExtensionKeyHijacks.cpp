#include "browser/ExtensionKeyHijacks.h"

#include "app/Backup.h"
#include "app/Error.h"
#include "app/Text.h"

namespace mt {

const std::vector<ExtensionKeyStore> kExtensionKeyStores = {
    {"Chrome", "SOFTWARE\\Google\\Chrome\\Extensions", "chrome.exe"},
    {"Edge", "SOFTWARE\\Microsoft\\Edge\\Extensions", "msedge.exe"},
    {"Chromium", "SOFTWARE\\Chromium\\Extensions", "chrome.exe"},
    {"Brave", "SOFTWARE\\BraveSoftware\\Brave-Browser\\Extensions", "brave.exe"},
};

namespace {

// A text value of the key; empty when it is missing or not text.
std::string TextOf(RegistryBackend& registry, const RegKey& key, const char* name) {
  auto v = registry.Query(key, name);
  if (!v || (v->type != RegDataType::String && v->type != RegDataType::ExpandString))
    return std::string();
  return TrimControl(v->text);
}

class ExtensionKeyModule : public HijackModule {
 public:
  std::vector<Hijack> Find(Services& svc, const InstalledBrowsers& installed) const override {
    return FindExtensionKeyHijacks(*svc.registry, installed);
  }
  bool MachineWide(const Hijack& h, const std::vector<ShortcutFolder>&) const override {
    return h.root == RegRoot::LocalMachine;
  }
  void Save(DeletionBackup& backup, const Hijack& h) const override {
    backup.SaveKey(h.root, h.view, h.key);
  }
  void Repair(Services& svc, const Hijack& h) const override {
    RegistryBackend& registry = *svc.registry;
    if (registry.Open(h.root, nullptr, h.key, false, h.view) &&
        !registry.DeleteTree(h.root, nullptr, h.key, h.view))
      throw AppError(FormatMessage1("Failed to delete key %s", h.key));
  }
};

}  // namespace

std::vector<Hijack> FindExtensionKeyHijacks(RegistryBackend& registry,
                                            const InstalledBrowsers& installed) {
  std::vector<Hijack> out;
  const std::pair<RegRoot, RegView> places[] = {{RegRoot::LocalMachine, RegView::Native},
                                                {RegRoot::LocalMachine, RegView::Wow32},
                                                {RegRoot::CurrentUser, RegView::Native}};
  for (const ExtensionKeyStore& store : kExtensionKeyStores) {
    for (const auto& [root, view] : places) {
      auto parent = registry.Open(root, nullptr, store.key, false, view);
      if (!parent) continue;
      for (const std::string& id : registry.KeyNames(*parent)) {
        // An id that names no direct subkey could only lead the repair elsewhere.
        if (id.empty() || id.find('\\') != std::string::npos) continue;
        auto key = registry.Open(root, parent.get(), id, false, view);
        if (!key) continue;
        const std::string updateUrl = TextOf(registry, *key, "update_url");
        const std::string path = TextOf(registry, *key, "path");
        const std::string version = TextOf(registry, *key, "version");
        std::string what;
        if (!updateUrl.empty()) what = "更新地址 " + updateUrl;
        if (!path.empty())
          what += (what.empty() ? "" : "；") + std::string("安装文件 ") + path +
                  (version.empty() ? "" : "（版本 " + version + "）");
        if (what.empty()) what = "（无更新地址和安装文件）";
        Hijack h;
        h.module = &ExtensionKeyHijacks();
        h.root = root;
        h.view = view;
        h.key = std::string(store.key) + "\\" + id;
        h.value.clear();
        h.where = HijackRegPath(root, h.key, {}, view);
        h.iconPath = installed.PathOf(store.exe);
        h.action = kHijackActionDelete;
        h.caption = std::string(store.browser) + " 外部扩展（注册表" +
                    (view == RegView::Wow32 ? "，32位" : "") + "）：" + HijackShown(id) + " " +
                    HijackShown(what);
        out.push_back(std::move(h));
      }
    }
  }
  return out;
}

const HijackModule& ExtensionKeyHijacks() {
  static const ExtensionKeyModule module;
  return module;
}

}  // namespace mt
