#include "browser/PolicyHijacks.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "app/Backup.h"
#include "app/Error.h"
#include "app/Text.h"

namespace mt {

const std::vector<PolicyStore> kPolicyStores = {
    {"Edge", "SOFTWARE\\Policies\\Microsoft\\Edge", "msedge.exe", false},
    {"Edge", "SOFTWARE\\Policies\\Microsoft\\Edge\\Recommended", "msedge.exe", true},
    {"Chrome", "SOFTWARE\\Policies\\Google\\Chrome", "chrome.exe", false},
    {"Chromium", "SOFTWARE\\Policies\\Chromium", "chrome.exe", false},
    {"Brave", "SOFTWARE\\Policies\\BraveSoftware\\Brave", "brave.exe", false},
};

// Types as the browsers' policy templates give them: strings are REG_SZ, booleans and
// integers REG_DWORD, dictionaries a REG_SZ holding JSON, lists a key of REG_SZ values.
const std::vector<PolicyName> kPolicyNames = {
    {"HomepageLocation", PolicyType::Text, "主页"},
    {"HomepageIsNewTabPage", PolicyType::Flag, "主页使用新标签页"},
    {"NewTabPageLocation", PolicyType::Text, "新标签页"},
    {"RestoreOnStartup", PolicyType::Number, "启动时的操作"},
    {"RestoreOnStartupURLs", PolicyType::List, "启动时打开的网页"},
    {"DefaultSearchProviderEnabled", PolicyType::Flag, "启用默认搜索引擎"},
    {"DefaultSearchProviderSearchURL", PolicyType::Text, "默认搜索网址"},
    {"DefaultSearchProviderName", PolicyType::Text, "默认搜索引擎名称"},
    {"DefaultSearchProviderKeyword", PolicyType::Text, "默认搜索关键字"},
    {"ManagedSearchEngines", PolicyType::Json, "托管搜索引擎"},
    {"ExtensionInstallForcelist", PolicyType::List, "强制安装的扩展"},
    {"ExtensionSettings", PolicyType::Json, "扩展设置"},
    {"ExtensionInstallSources", PolicyType::List, "允许的扩展安装来源"},
    // Where the browser's traffic and name lookups go.
    {"ProxySettings", PolicyType::Json, "代理设置"},
    {"ProxyMode", PolicyType::Text, "代理模式"},
    {"ProxyServer", PolicyType::Text, "代理服务器"},
    {"ProxyPacUrl", PolicyType::Text, "代理自动配置脚本"},
    {"DnsOverHttpsMode", PolicyType::Text, "安全 DNS 模式"},
    {"DnsOverHttpsTemplates", PolicyType::Text, "安全 DNS 服务器"},
};

namespace {

std::string ValueText(const RegValue& v) {
  switch (v.type) {
    case RegDataType::String:
    case RegDataType::ExpandString: return HijackShown(v.text);
    case RegDataType::Integer: return std::to_string(v.dword);
    default: return "（" + std::to_string(v.bytes.size()) + " 字节数据）";
  }
}

bool TypeFits(PolicyType want, const RegValue& v) {
  switch (want) {
    case PolicyType::Text:
    case PolicyType::Json:
      return v.type == RegDataType::String || v.type == RegDataType::ExpandString;
    case PolicyType::Flag:
    case PolicyType::Number: return v.type == RegDataType::Integer;
    case PolicyType::List: return false;
  }
  return false;
}

// The values of a list key in the order the browser takes them: by number, then the rest.
std::vector<std::pair<std::string, RegValue>> ListEntries(RegistryBackend& registry,
                                                          const RegKey& key) {
  std::vector<std::pair<std::string, RegValue>> entries;
  for (const std::string& name : registry.ValueNames(key))
    if (auto v = registry.Query(key, name)) entries.emplace_back(name, *v);
  std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    auto na = ParseInt32(a.first), nb = ParseInt32(b.first);
    if (na && nb) return *na < *nb;
    return na.has_value() && !nb.has_value();
  });
  return entries;
}

// The entries of an ExtensionSettings policy (a JSON object by extension id) that install an
// extension, as the row shows them, and the policy's text without them (empty when nothing
// else is left). False when the text is not a JSON object.
bool InstallingEntries(const std::string& text, std::string& shown, std::string& rest) {
  nlohmann::ordered_json doc = nlohmann::ordered_json::parse(text, nullptr, false);
  if (doc.is_discarded() || !doc.is_object()) return false;
  shown.clear();
  for (auto it = doc.begin(); it != doc.end();) {
    const std::string mode = it->is_object() && it->contains("installation_mode") &&
                                     (*it)["installation_mode"].is_string()
                                 ? (*it)["installation_mode"].get<std::string>()
                                 : std::string();
    if (mode == "force_installed" || mode == "normal_installed") {
      shown += (shown.empty() ? "" : "、") + it.key() +
               (mode == "force_installed" ? " 强制安装" : " 默认安装");
      it = doc.erase(it);
    } else {
      ++it;
    }
  }
  rest = doc.empty() ? std::string() : doc.dump();
  return true;
}

class PolicyModule : public HijackModule {
 public:
  std::vector<Hijack> Find(Services& svc, const InstalledBrowsers& installed) const override {
    return FindPolicyHijacks(*svc.registry, installed);
  }
  bool MachineWide(const Hijack& h, const std::vector<ShortcutFolder>&) const override {
    return h.root == RegRoot::LocalMachine;
  }
  void Save(DeletionBackup& backup, const Hijack& h) const override {
    if (h.value.empty()) backup.SaveKey(h.root, RegView::Native, h.key);
    else backup.SaveValue(h.root, RegView::Native, h.key, h.value);
  }
  void Repair(Services& svc, const Hijack& h) const override {
    RegistryBackend& registry = *svc.registry;
    if (h.value.empty()) {
      if (registry.Open(h.root, nullptr, h.key, false) &&
          !registry.DeleteTree(h.root, nullptr, h.key))
        throw AppError(FormatMessage1("Failed to delete key %s", h.key));
      return;
    }
    if (h.repair == ShortcutRepair::StripAddress) {
      // Only the installing entries go: the policy keeps what else it says.
      RegValue text;
      text.text = h.repairedText;
      auto key = registry.Open(h.root, nullptr, h.key, true);
      if (!key || !registry.Set(*key, h.value, text))
        throw AppError(FormatMessage1("Failed to write value '%s'", h.value));
      return;
    }
    auto key = registry.Open(h.root, nullptr, h.key, false);
    if (key && registry.Query(*key, h.value) && !registry.DeleteValue(*key, h.value))
      throw AppError(FormatMessage1("Failed to delete value '%s'", h.value));
  }
};

// Firefox's policies in the registry (`Software\Policies\Mozilla\Firefox`): the home page
// (a key whose URL value is the address), the pages shown after the first run or an update,
// the extensions to install, their settings and the search engines. Its on-off policies are
// left alone.
std::vector<Hijack> FirefoxRegistryPolicies(RegistryBackend& registry, RegRoot root,
                                            const InstalledBrowsers& installed) {
  std::vector<Hijack> out;
  const std::string base = "SOFTWARE\\Policies\\Mozilla\\Firefox";
  auto key = registry.Open(root, nullptr, base, false);
  if (!key) return out;
  auto row = [&](const std::string& what, const std::string& keyPath, const std::string& value,
                 const std::string& shown) {
    Hijack h;
    h.module = &PolicyHijacks();
    h.root = root;
    h.key = keyPath;
    h.value = value;
    h.where = HijackRegPath(root, keyPath, value);
    h.iconPath = installed.PathOf("firefox.exe");
    h.action = kHijackActionDelete;
    h.caption = "Firefox " + what + "（策略）：" + shown;
    out.push_back(std::move(h));
  };
  auto text = [&](const RegKey& k, const char* name) {
    auto v = registry.Query(k, name);
    return v ? ValueText(*v) : std::string();
  };
  if (auto home = registry.Open(root, key.get(), "Homepage", false)) {
    const std::string url = text(*home, "URL");
    if (!url.empty()) row("主页", base + "\\Homepage", "URL", url);
  }
  for (const char* name : {"OverrideFirstRunPage", "OverridePostUpdatePage"})
    if (auto v = registry.Query(*key, name)) row("启动页", base, name, ValueText(*v));
  if (auto install = registry.Open(root, key.get(), "Extensions\\Install", false)) {
    auto entries = ListEntries(registry, *install);
    std::string shown = entries.empty() ? std::string("（空）") : ValueText(entries[0].second);
    if (entries.size() > 1) shown += " 等 " + std::to_string(entries.size()) + " 项";
    row("安装的扩展", base + "\\Extensions\\Install", "", shown);
  }
  if (auto v = registry.Query(*key, "ExtensionSettings"))
    row("扩展设置", base, "ExtensionSettings", ValueText(*v));
  else if (registry.Open(root, key.get(), "ExtensionSettings", false))
    row("扩展设置", base + "\\ExtensionSettings", "", "（注册表项）");
  if (registry.Open(root, key.get(), "SearchEngines", false))
    row("搜索引擎", base + "\\SearchEngines", "", "（注册表项）");
  return out;
}

}  // namespace

std::vector<Hijack> FindPolicyHijacks(RegistryBackend& registry,
                                      const InstalledBrowsers& installed) {
  std::vector<Hijack> out;
  for (RegRoot root : {RegRoot::LocalMachine, RegRoot::CurrentUser}) {
    for (const PolicyStore& store : kPolicyStores) {
      auto key = registry.Open(root, nullptr, store.key, false);
      if (!key) continue;
      const std::string mark = store.recommended ? "（推荐策略" : "（策略";
      for (const PolicyName& policy : kPolicyNames) {
        Hijack h;
        h.module = &PolicyHijacks();
        h.root = root;
        h.key = store.key;
        h.iconPath = installed.PathOf(store.exe);
        h.action = kHijackActionDelete;
        const std::string head = std::string(store.browser) + " " + policy.what + mark;
        if (policy.type == PolicyType::List) {
          auto list = registry.Open(root, key.get(), policy.name, false);
          if (!list) continue;
          auto entries = ListEntries(registry, *list);
          h.key = std::string(store.key) + "\\" + policy.name;
          h.where = HijackRegPath(root, h.key);
          std::string shown = entries.empty() ? std::string("（空）")
                                              : ValueText(entries[0].second);
          if (entries.size() > 1) shown += " 等 " + std::to_string(entries.size()) + " 项";
          h.caption = head + "）：" + shown;
          out.push_back(std::move(h));
          continue;
        }
        auto v = registry.Query(*key, policy.name);
        if (!v) continue;
        h.value = policy.name;
        h.where = HijackRegPath(root, store.key, policy.name);
        if (std::string(policy.name) == "ExtensionSettings" && TypeFits(policy.type, *v)) {
          std::string shown, rest;
          if (!InstallingEntries(v->text, shown, rest)) {
            h.caption = head + "，不是有效的 JSON）：" + ValueText(*v);
          } else if (shown.empty()) {
            continue;  // it only blocks or allows: the administrator's choice
          } else {
            h.caption = head + "）：" + HijackShown(shown);
            if (!rest.empty()) {
              h.repair = ShortcutRepair::StripAddress;
              h.repairedText = rest;
              h.action = "去掉安装项";
            }
          }
          out.push_back(std::move(h));
          continue;
        }
        // A dictionary the browser cannot read as JSON is still the hijacker's leftover.
        if (policy.type == PolicyType::Json && TypeFits(policy.type, *v) &&
            nlohmann::json::parse(v->text, nullptr, false).is_discarded()) {
          h.caption = head + "，不是有效的 JSON）：" + ValueText(*v);
          out.push_back(std::move(h));
          continue;
        }
        h.caption = head + (TypeFits(policy.type, *v) ? "）：" : "，类型不符）：") + ValueText(*v);
        out.push_back(std::move(h));
      }
    }
  }
  for (RegRoot root : {RegRoot::LocalMachine, RegRoot::CurrentUser})
    for (Hijack& h : FirefoxRegistryPolicies(registry, root, installed))
      out.push_back(std::move(h));
  return out;
}

const HijackModule& PolicyHijacks() {
  static const PolicyModule module;
  return module;
}

}  // namespace mt
