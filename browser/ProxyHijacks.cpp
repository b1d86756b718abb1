#include "browser/ProxyHijacks.h"

#include <algorithm>

#include "app/Backup.h"
#include "app/Error.h"
#include "app/RunningPrograms.h"
#include "app/Text.h"
#include "browser/HostsText.h"

namespace mt {

namespace {

// Programs that serve a proxy on this machine and set it as the system's proxy.
struct ProxyProgram {
  const char* exe;
  const char* name;
};
const ProxyProgram kProxyPrograms[] = {
    {"Clash for Windows.exe", "Clash for Windows"},
    {"clash-verge.exe", "Clash Verge"},
    {"Clash Verge.exe", "Clash Verge"},
    {"verge-mihomo.exe", "Clash Verge"},
    {"clash.exe", "Clash"},
    {"mihomo.exe", "mihomo"},
    {"v2rayN.exe", "v2rayN"},
    {"v2ray.exe", "V2Ray"},
    {"xray.exe", "Xray"},
    {"sing-box.exe", "sing-box"},
    {"Shadowsocks.exe", "Shadowsocks"},
    {"ShadowsocksR.exe", "ShadowsocksR"},
    {"Netch.exe", "Netch"},
    {"Fiddler.exe", "Fiddler"},
    {"Charles.exe", "Charles"},
    {"privoxy.exe", "Privoxy"},
};

bool LocalHost(std::string host) {
  host = LowerAscii(host);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  if (host == "localhost") return true;
  // 0.0.0.0 and :: are no proxy anyone could listen on; the loopback ones are this machine.
  return BlockingAddress(host) && host != "0.0.0.0" && host != "::";
}

// The host of "scheme=host:port", "host:port", "http://host:port/path" or "[::1]:port".
std::string HostOf(std::string server) {
  const size_t eq = server.find('=');
  if (eq != std::string::npos && server.find("://") == std::string::npos)
    server = server.substr(eq + 1);
  const size_t scheme = server.find("://");
  if (scheme != std::string::npos) server = server.substr(scheme + 3);
  const size_t slash = server.find('/');
  if (slash != std::string::npos) server.resize(slash);
  const size_t at = server.rfind('@');
  if (at != std::string::npos) server = server.substr(at + 1);
  if (!server.empty() && server[0] == '[') {
    const size_t close = server.find(']');
    return close == std::string::npos ? server : server.substr(0, close + 1);
  }
  // One colon separates the port; more make an IPv6 address written without brackets.
  const size_t colon = server.find(':');
  if (colon != std::string::npos && server.find(':', colon + 1) == std::string::npos)
    server.resize(colon);
  return server;
}

// What the caption says of a proxy on this machine: which known proxy program runs. Nothing
// tells which program listens on the port, so the row says only what it saw.
std::string LocalNote(Services& svc) {
  if (!svc.running) return "（本机代理，无法得知是哪个程序在监听）";
  std::vector<std::string> names;
  for (const ProxyProgram& p : kProxyPrograms)
    if (std::find(names.begin(), names.end(), p.name) == names.end() &&
        svc.running->IsRunning(p.exe))
      names.push_back(p.name);
  std::string seen;
  for (const std::string& n : names) seen += (seen.empty() ? "" : "、") + n;
  if (seen.empty()) return "（本机代理，没有发现常见的代理或加速程序在运行）";
  return "（本机代理，正在运行的代理程序：" + seen + "，可能由它设置）";
}

std::optional<std::string> TextValue(RegistryBackend& registry, const RegKey& key,
                                     const char* name) {
  auto v = registry.Query(key, name);
  if (!v || (v->type != RegDataType::String && v->type != RegDataType::ExpandString))
    return std::nullopt;
  const std::string text = TrimControl(v->text);
  if (text.empty()) return std::nullopt;
  return v->text;
}

class ProxyModule : public HijackModule {
 public:
  std::vector<Hijack> Find(Services& svc, const InstalledBrowsers&) const override {
    return FindProxyHijacks(svc);
  }
  bool MachineWide(const Hijack&, const std::vector<ShortcutFolder>&) const override {
    return false;
  }
  void Save(DeletionBackup& backup, const Hijack& h) const override {
    backup.SaveValue(RegRoot::CurrentUser, RegView::Native, h.key, h.value);
    if (h.value == "ProxyServer")
      backup.SaveOverwrite(RegRoot::CurrentUser, RegView::Native, h.key, "ProxyEnable");
  }
  void Repair(Services& svc, const Hijack& h) const override {
    RegistryBackend& registry = *svc.registry;
    auto key = registry.Open(RegRoot::CurrentUser, nullptr, h.key, true);
    if (!key) throw AppError(FormatMessage1("Failed to open key %s", h.key));
    if (registry.Query(*key, h.value) && !registry.DeleteValue(*key, h.value))
      throw AppError(FormatMessage1("Failed to delete value '%s'", h.value));
    if (h.value == "ProxyServer") {
      RegValue off;
      off.type = RegDataType::Integer;
      off.dword = 0;
      if (!registry.Set(*key, "ProxyEnable", off))
        throw AppError(FormatMessage1("Failed to write value '%s'", std::string("ProxyEnable")));
    }
  }
};

}  // namespace

bool LocalProxy(const std::string& servers) {
  bool any = false;
  for (const std::string& part : Split(servers, ';')) {
    std::string trimmed = part;
    while (!trimmed.empty() && trimmed.front() == ' ') trimmed.erase(0, 1);
    while (!trimmed.empty() && trimmed.back() == ' ') trimmed.pop_back();
    if (trimmed.empty()) continue;
    if (!LocalHost(HostOf(trimmed))) return false;
    any = true;
  }
  return any;
}

std::vector<Hijack> FindProxyHijacks(Services& svc) {
  std::vector<Hijack> out;
  RegistryBackend& registry = *svc.registry;
  auto key = registry.Open(RegRoot::CurrentUser, nullptr, kInternetSettingsKey, false);
  if (!key) return out;
  auto row = [&](const char* value, const char* head, const char* localHead,
                 const std::string& shown, const char* action) {
    Hijack h;
    h.module = &ProxyHijacks();
    h.root = RegRoot::CurrentUser;
    h.key = kInternetSettingsKey;
    h.value = value;
    h.where = HijackRegPath(RegRoot::CurrentUser, h.key, value);
    h.action = action;
    const bool local = LocalProxy(shown);
    h.caption = std::string(local ? localHead : head) + "（当前用户）：" + HijackShown(shown) +
                (local ? LocalNote(svc) : "（请确认是否是您自己设置的）");
    out.push_back(std::move(h));
  };
  auto enable = registry.Query(*key, "ProxyEnable");
  const bool enabled = enable && ((enable->type == RegDataType::Integer && enable->dword != 0) ||
                                  (enable->type == RegDataType::Binary && !enable->bytes.empty() &&
                                   enable->bytes[0] != 0));
  if (enabled)
    if (auto server = TextValue(registry, *key, "ProxyServer"))
      row("ProxyServer", "系统代理", "本机代理", *server, "关闭代理并删除代理服务器");
  if (auto script = TextValue(registry, *key, "AutoConfigURL"))
    row("AutoConfigURL", "代理自动配置脚本", "本机代理自动配置脚本", *script, kHijackActionDelete);
  return out;
}

const HijackModule& ProxyHijacks() {
  static const ProxyModule module;
  return module;
}

}  // namespace mt
