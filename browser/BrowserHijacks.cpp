#include "browser/BrowserHijacks.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>

#include "app/Backup.h"
#include "app/Error.h"
#include "app/Path.h"
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
};

const std::vector<KnownBrowser> kKnownBrowsers = {
    {"msedge.exe", "Edge", {"Microsoft Edge"}},
    {"chrome.exe", "Chrome", {"Google Chrome", "Chrome", "Chromium"}},
    {"firefox.exe", "Firefox", {"Firefox", "Mozilla Firefox"}},
    {"iexplore.exe", "Internet Explorer", {"Internet Explorer"}},
    {"brave.exe", "Brave", {"Brave"}},
    {"opera.exe", "Opera", {"Opera", "Opera 浏览器"}},
    {"360se.exe", "360安全浏览器", {"360安全浏览器"}},
    {"360chrome.exe", "360极速浏览器", {"360极速浏览器"}},
    {"QQBrowser.exe", "QQ浏览器", {"QQ浏览器"}},
    {"SogouExplorer.exe", "搜狗浏览器", {"搜狗高速浏览器", "搜狗浏览器"}},
    {"2345Explorer.exe", "2345浏览器", {"2345加速浏览器", "2345浏览器"}},
    {"liebao.exe", "猎豹浏览器", {"猎豹安全浏览器", "猎豹浏览器"}},
};

namespace {

constexpr const char* kActionDelete = "删除";
constexpr const char* kActionStrip = "去掉网址";
constexpr const char* kActionRetarget = "改回浏览器";
constexpr const char* kActionDeleteOnly = "只能删除";
constexpr const char* kAppPathsKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
// Rows show at most this much of a value.
constexpr size_t kShownChars = 200;

// At most kShownChars characters, never cut inside a character; line breaks as blanks.
std::string Shown(const std::string& text) {
  size_t pos = 0, chars = 0;
  while (pos < text.size() && chars < kShownChars) {
    NextCodePoint(text, pos);
    ++chars;
  }
  std::string out = text.substr(0, pos);
  for (char& c : out)
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  return pos < text.size() ? out + "…" : out;
}

std::string ValueText(const RegValue& v) {
  switch (v.type) {
    case RegDataType::String:
    case RegDataType::ExpandString: return Shown(v.text);
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

std::string PathOfKey(RegRoot root, const std::string& key, const std::string& name = {}) {
  std::string path = RegFileKeyName(root, key, RegView::Native);
  return name.empty() ? path : path + "\\" + name;
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

bool IsGuidText(const std::string& s) {
  // 8-4-4-4-12 hexadecimal digits, with or without braces.
  std::string t = s;
  if (t.size() == 38 && t.front() == '{' && t.back() == '}') t = t.substr(1, 36);
  if (t.size() != 36) return false;
  for (size_t i = 0; i < t.size(); ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (t[i] != '-') return false;
    } else if (!std::isxdigit(static_cast<unsigned char>(t[i]))) {
      return false;
    }
  }
  return true;
}

// Whether a value in `key` or below it (to a few levels) holds a web address: the address
// of the management server that a real enrolment carries.
bool NamesAServer(RegistryBackend& registry, const RegKey& key, int depth = 3) {
  for (const std::string& name : registry.ValueNames(key)) {
    auto v = registry.Query(key, name);
    if (!v || (v->type != RegDataType::String && v->type != RegDataType::ExpandString)) continue;
    const std::string text = LowerAscii(TrimControl(v->text));
    if (text.rfind("https://", 0) == 0 || text.rfind("http://", 0) == 0) return true;
  }
  if (depth == 0) return false;
  for (const std::string& sub : registry.KeyNames(key))
    if (auto child = registry.Open(RegRoot::LocalMachine, &key, sub, false))
      if (NamesAServer(registry, *child, depth - 1)) return true;
  return false;
}

bool DirectName(const std::string& name) {
  return !name.empty() && name.find('\\') == std::string::npos;
}

}  // namespace

const KnownBrowser* BrowserByExe(const std::string& exeName) {
  for (const KnownBrowser& b : kKnownBrowsers)
    if (EqualsNoCase(exeName, b.exe)) return &b;
  return nullptr;
}

std::string InstalledBrowsers::PathOf(const std::string& exe) const {
  for (const auto& [name, path] : paths)
    if (EqualsNoCase(name, exe)) return path;
  return std::string();
}

InstalledBrowsers FindInstalledBrowsers(RegistryBackend& registry, FileSystem& files) {
  InstalledBrowsers found;
  const std::pair<RegRoot, RegView> places[] = {{RegRoot::LocalMachine, RegView::Native},
                                                {RegRoot::LocalMachine, RegView::Wow32},
                                                {RegRoot::CurrentUser, RegView::Native}};
  for (const KnownBrowser& b : kKnownBrowsers) {
    for (const auto& [root, view] : places) {
      auto key = registry.Open(root, nullptr, std::string(kAppPathsKey) + "\\" + b.exe, false,
                               view);
      if (!key) continue;
      auto v = registry.Query(*key, "");
      if (!v || (v->type != RegDataType::String && v->type != RegDataType::ExpandString)) continue;
      std::string path = TrimControl(v->text);
      if (path.size() >= 2 && path.front() == '"' && path.back() == '"')
        path = path.substr(1, path.size() - 2);
      bool exists = false;
      try {
        exists = !path.empty() && files.FileExists(path);
      } catch (const std::exception&) {
      }
      if (exists) {
        found.paths.emplace_back(b.exe, path);
        break;
      }
    }
  }
  return found;
}

// ---- policies ----------------------------------------------------------------------------

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
        h.root = root;
        h.key = store.key;
        h.iconPath = installed.PathOf(store.exe);
        h.action = kActionDelete;
        const std::string head = std::string(store.browser) + " " + policy.what + mark;
        if (policy.type == PolicyType::List) {
          auto list = registry.Open(root, key.get(), policy.name, false);
          if (!list) continue;
          auto entries = ListEntries(registry, *list);
          h.kind = HijackKind::PolicyList;
          h.key = std::string(store.key) + "\\" + policy.name;
          h.where = PathOfKey(root, h.key);
          std::string shown = entries.empty() ? std::string("（空）")
                                              : ValueText(entries[0].second);
          if (entries.size() > 1) shown += " 等 " + std::to_string(entries.size()) + " 项";
          h.caption = head + "）：" + shown;
          out.push_back(std::move(h));
          continue;
        }
        auto v = registry.Query(*key, policy.name);
        if (!v) continue;
        h.kind = HijackKind::Policy;
        h.value = policy.name;
        h.where = PathOfKey(root, store.key, policy.name);
        h.caption = head + (TypeFits(policy.type, *v) ? "）：" : "，类型不符）：") + ValueText(*v);
        out.push_back(std::move(h));
      }
    }
  }
  return out;
}

// ---- enrolments --------------------------------------------------------------------------

std::vector<Hijack> FindFakeEnrolments(RegistryBackend& registry) {
  constexpr RegRoot LM = RegRoot::LocalMachine;
  // The ids of both places, each once, in the order found.
  std::vector<std::string> ids;
  auto enrollments = registry.Open(LM, nullptr, kEnrollmentsKey, false);
  auto accounts = registry.Open(LM, nullptr, kOmadmAccountsKey, false);
  for (const auto* parent : {enrollments.get(), accounts.get()}) {
    if (!parent) continue;
    for (const std::string& name : registry.KeyNames(*parent)) {
      if (!IsGuidText(name)) continue;
      bool seen = false;
      for (const std::string& id : ids) seen = seen || EqualsNoCase(id, name);
      if (!seen) ids.push_back(name);
    }
  }
  std::vector<Hijack> out;
  for (const std::string& id : ids) {
    auto entry = enrollments ? registry.Open(LM, enrollments.get(), id, false) : nullptr;
    auto account = accounts ? registry.Open(LM, accounts.get(), id, false) : nullptr;
    if ((entry && NamesAServer(registry, *entry)) || (account && NamesAServer(registry, *account)))
      continue;
    // An entry counts when it says it is enrolled; an account of the management client
    // counts on its own, since the client only has accounts for enrolments.
    bool active = account != nullptr;
    if (entry) {
      auto state = registry.Query(*entry, "EnrollmentState");
      active = active || (state && state->type == RegDataType::Integer && state->dword == 1);
    }
    if (!active) continue;
    Hijack h;
    h.kind = HijackKind::Enrolment;
    h.root = LM;
    h.value = id;
    h.key = std::string(entry ? kEnrollmentsKey : kOmadmAccountsKey) + "\\" + id;
    h.where = PathOfKey(LM, h.key);
    h.caption = "设备管理注册（无管理服务器，使浏览器策略生效）：" + id;
    h.action = kActionDelete;
    out.push_back(std::move(h));
  }
  return out;
}

// ---- shortcuts ---------------------------------------------------------------------------

namespace {

const char* PlaceName(ShortcutPlace place) {
  switch (place) {
    case ShortcutPlace::Desktop: return "桌面快捷方式";
    case ShortcutPlace::PublicDesktop: return "公共桌面快捷方式";
    case ShortcutPlace::StartMenu: return "开始菜单快捷方式";
    case ShortcutPlace::CommonStartMenu: return "公共开始菜单快捷方式";
    case ShortcutPlace::QuickLaunch: return "快速启动快捷方式";
    case ShortcutPlace::TaskBar: return "任务栏快捷方式";
  }
  return "快捷方式";
}

// The browser a shortcut's own name says it starts: "Google Chrome.lnk", "Google Chrome
// (2).lnk", "Microsoft Edge - 副本.lnk".
const KnownBrowser* BrowserByShortcutName(const std::string& fileName) {
  std::string stem = fileName;
  if (EndsWithNoCase(stem, ".lnk")) stem.resize(stem.size() - 4);
  for (const KnownBrowser& b : kKnownBrowsers)
    for (const char* name : b.shortcutNames) {
      const std::string n = name;
      if (EqualsNoCase(stem, n)) return &b;
      if (stem.size() > n.size() && EqualsNoCase(stem.substr(0, n.size()), n) &&
          (stem[n.size()] == ' ' || stem[n.size()] == '('))
        return &b;
    }
  return nullptr;
}

// The browser a target starts: its own program, or the helper that starts its web apps.
const KnownBrowser* BrowserOfTarget(const std::string& target) {
  const std::string name = FileNameOf(TrimControl(target));
  if (EqualsNoCase(name, "chrome_proxy.exe")) return BrowserByExe("chrome.exe");
  if (EqualsNoCase(name, "msedge_proxy.exe")) return BrowserByExe("msedge.exe");
  return BrowserByExe(name);
}

constexpr size_t kMaxShortcutFiles = 20000;
constexpr int kMaxFolderDepth = 8;

void CollectLinks(FileSystem& files, const std::string& folder, bool recursive, int depth,
                  std::vector<std::string>& out) {
  if (out.size() >= kMaxShortcutFiles) return;
  std::vector<FindEntry> entries;
  try {
    if (!files.IsListableFolder(folder)) return;
    entries = files.Find(folder, "*");
  } catch (const std::exception&) {
    return;
  }
  for (const FindEntry& e : entries) {
    const std::string path = folder + "\\" + e.name;
    if (e.isDirectory) {
      if (recursive && depth < kMaxFolderDepth) CollectLinks(files, path, true, depth + 1, out);
    } else if (EndsWithNoCase(e.name, ".lnk") && out.size() < kMaxShortcutFiles) {
      out.push_back(path);
    }
  }
}

}  // namespace

std::vector<Hijack> FindShortcutHijacks(ShortcutFiles& shortcuts, FileSystem& files,
                                        const InstalledBrowsers& installed) {
  std::vector<Hijack> out;
  std::vector<ShortcutFolder> folders = shortcuts.Folders();
  std::vector<std::string> seenFolders;
  for (const ShortcutFolder& folder : folders) {
    if (folder.path.empty()) continue;
    bool seen = false;
    for (const std::string& f : seenFolders) seen = seen || EqualsNoCase(f, folder.path);
    if (seen) continue;  // the user's and the public Desktop may be one folder
    seenFolders.push_back(folder.path);
    std::vector<std::string> links;
    CollectLinks(files, folder.path, folder.recursive, 0, links);
    for (const std::string& path : links) {
      const std::string fileName = FileNameOf(path);
      const std::string head = std::string(PlaceName(folder.place)) + " " + fileName;
      Hijack h;
      h.kind = HijackKind::Shortcut;
      h.path = path;
      h.where = path;
      ShellLinkData link;
      try {
        link = shortcuts.Read(path);
      } catch (const std::exception& e) {
        h.repair = ShortcutRepair::Delete;
        h.caption = head + " 无法读取：" + Shown(e.what());
        h.action = kActionDeleteOnly;
        out.push_back(std::move(h));
        continue;
      }
      const KnownBrowser* byTarget = BrowserOfTarget(link.target);
      const KnownBrowser* claimed = BrowserByShortcutName(fileName);
      if (!claimed) claimed = BrowserByExe(FileNameOf(TrimControl(link.iconLocation)));
      std::vector<std::string> addresses;
      const std::string stripped = StripAddresses(link.arguments, &addresses);

      if (claimed && byTarget != claimed) {
        // It looks like one browser and starts something else.
        const std::string exe = installed.PathOf(claimed->exe);
        h.iconPath = exe;
        h.caption = head + " 目标不是" + claimed->name + "：" + Shown(link.target) +
                    (link.arguments.empty() ? "" : " " + Shown(link.arguments));
        if (exe.empty()) {
          h.repair = ShortcutRepair::Delete;
          h.action = kActionDeleteOnly;
        } else {
          h.repair = ShortcutRepair::Retarget;
          h.action = kActionRetarget;
          h.repaired.target = exe;
          // The switches of another browser mean nothing to this one; a script's or a
          // program's arguments neither.
          h.repaired.arguments = "";
          h.repaired.workingDirectory = FolderOf(exe);
          h.repaired.iconLocation = exe;
          h.repaired.iconIndex = 0;
        }
        out.push_back(std::move(h));
        continue;
      }
      if (byTarget && !addresses.empty()) {
        h.iconPath = installed.PathOf(byTarget->exe);
        std::string shown;
        for (const std::string& a : addresses) shown += (shown.empty() ? "" : " ") + a;
        h.caption = head + " 附加网址 " + Shown(shown);
        h.repair = ShortcutRepair::StripAddress;
        h.action = kActionStrip;
        h.repaired = link;
        h.repaired.arguments = stripped;
        out.push_back(std::move(h));
      }
    }
  }
  return out;
}

// ---- Firefox -----------------------------------------------------------------------------

namespace {

// The entries of "policies" that set pages, the search engine or extensions.
constexpr const char* kFirefoxPolicies[] = {
    "Homepage",      "NewTabPage", "OverrideFirstRunPage", "OverridePostUpdatePage",
    "SearchEngines", "Extensions", "ExtensionSettings"};

std::string FirefoxWhat(const std::string& name) {
  if (name == "Homepage") return "主页";
  if (name == "NewTabPage") return "新标签页";
  if (name == "OverrideFirstRunPage" || name == "OverridePostUpdatePage") return "启动页";
  if (name == "SearchEngines") return "搜索引擎";
  return "扩展";
}

}  // namespace

std::vector<Hijack> FindFirefoxPolicies(FileSystem& files, const InstalledBrowsers& installed) {
  std::vector<Hijack> out;
  const std::string exe = installed.PathOf("firefox.exe");
  if (exe.empty()) return out;
  const std::string path = FolderOf(exe) + "\\distribution\\policies.json";
  Hijack h;
  h.kind = HijackKind::FirefoxPolicies;
  h.path = path;
  h.where = path;
  h.iconPath = exe;
  h.repair = ShortcutRepair::Delete;
  std::string text;
  try {
    if (!files.FileExists(path)) return out;
    auto in = files.OpenRead(path);
    const uint64_t size = in->Size();
    if (size > kMaxPoliciesJson) {
      h.caption = "Firefox 策略文件 policies.json 过大（超过 1 MiB），未读取";
      h.action = "未修改";
      h.repairable = false;
      out.push_back(std::move(h));
      return out;
    }
    text.resize(static_cast<size_t>(size));
    size_t got = 0;
    while (got < text.size()) {
      size_t n = in->Read(&text[got], text.size() - got);
      if (n == 0) break;
      got += n;
    }
    text.resize(got);
  } catch (const std::exception& e) {
    h.caption = "Firefox 策略文件 policies.json 无法读取：" + Shown(e.what());
    h.action = kActionDeleteOnly;
    out.push_back(std::move(h));
    return out;
  }
  nlohmann::json doc = nlohmann::json::parse(text, nullptr, false);
  if (doc.is_discarded() || !doc.is_object()) {
    // Firefox refuses such a file as a whole; it can only go.
    h.caption = "Firefox 策略文件 policies.json 不是有效的 JSON";
    h.action = kActionDeleteOnly;
    out.push_back(std::move(h));
    return out;
  }
  auto policies = doc.find("policies");
  if (policies == doc.end() || !policies->is_object()) return out;
  std::string shown;
  for (const char* name : kFirefoxPolicies) {
    auto it = policies->find(name);
    if (it == policies->end()) continue;
    std::string value;
    if (std::string(name) == "Homepage" && it->is_object() && it->contains("URL") &&
        (*it)["URL"].is_string())
      value = (*it)["URL"].get<std::string>();
    else if (it->is_string()) value = it->get<std::string>();
    else value = it->dump();
    shown += (shown.empty() ? "" : "；") + FirefoxWhat(name) + " " + value;
    policies->erase(it);
  }
  if (shown.empty()) return out;
  h.caption = "Firefox 策略（policies.json）：" + Shown(shown);
  h.repair = ShortcutRepair::StripAddress;
  h.repairedText = doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
  h.action = "去掉这些设置";
  out.push_back(std::move(h));
  return out;
}

std::vector<Hijack> FindBrowserHijacks(Services& svc) {
  InstalledBrowsers installed = FindInstalledBrowsers(*svc.registry, *svc.files);
  std::vector<Hijack> out = FindPolicyHijacks(*svc.registry, installed);
  for (Hijack& h : FindFakeEnrolments(*svc.registry)) out.push_back(std::move(h));
  if (svc.shortcuts)
    for (Hijack& h : FindShortcutHijacks(*svc.shortcuts, *svc.files, installed))
      out.push_back(std::move(h));
  for (Hijack& h : FindFirefoxPolicies(*svc.files, installed)) out.push_back(std::move(h));
  return out;
}

// ---- backup and repair ----------------------------------------------------------------------

bool IsMachineWide(const Hijack& h, const std::vector<ShortcutFolder>& folders) {
  switch (h.kind) {
    case HijackKind::Policy:
    case HijackKind::PolicyList: return h.root == RegRoot::LocalMachine;
    case HijackKind::Enrolment:
    case HijackKind::FirefoxPolicies: return true;
    case HijackKind::Shortcut:
      for (const ShortcutFolder& folder : folders) {
        if (folder.place != ShortcutPlace::PublicDesktop &&
            folder.place != ShortcutPlace::CommonStartMenu)
          continue;
        const std::string prefix = WithoutTrailingBackslash(folder.path) + "\\";
        if (h.path.size() > prefix.size() && EqualsNoCase(h.path.substr(0, prefix.size()), prefix))
          return true;
      }
      return false;
  }
  return false;
}

void SaveHijack(DeletionBackup& backup, const Hijack& h) {
  if (!h.repairable) return;
  switch (h.kind) {
    case HijackKind::Policy: backup.SaveValue(h.root, RegView::Native, h.key, h.value); break;
    case HijackKind::PolicyList: backup.SaveKey(h.root, RegView::Native, h.key); break;
    case HijackKind::Enrolment:
      backup.SaveKey(h.root, RegView::Native, std::string(kEnrollmentsKey) + "\\" + h.value);
      backup.SaveKey(h.root, RegView::Native, std::string(kOmadmAccountsKey) + "\\" + h.value);
      break;
    case HijackKind::Shortcut: backup.SaveFile(h.path, "shortcut"); break;
    case HijackKind::FirefoxPolicies: backup.SaveFile(h.path, "policies-json"); break;
  }
}

void RepairHijack(Services& svc, const Hijack& h) {
  if (!h.repairable) return;
  RegistryBackend& registry = *svc.registry;
  switch (h.kind) {
    case HijackKind::Policy: {
      auto key = registry.Open(h.root, nullptr, h.key, false);
      if (key && registry.Query(*key, h.value) && !registry.DeleteValue(*key, h.value))
        throw AppError(FormatMessage1("Failed to delete value '%s'", h.value));
      break;
    }
    case HijackKind::PolicyList:
      if (registry.Open(h.root, nullptr, h.key, false) &&
          !registry.DeleteTree(h.root, nullptr, h.key))
        throw AppError(FormatMessage1("Failed to delete key %s", h.key));
      break;
    case HijackKind::Enrolment:
      if (!DirectName(h.value)) break;
      for (const char* parent : {kEnrollmentsKey, kOmadmAccountsKey}) {
        const std::string path = std::string(parent) + "\\" + h.value;
        if (registry.Open(h.root, nullptr, path, false) &&
            !registry.DeleteTree(h.root, nullptr, path))
          throw AppError(FormatMessage1("Failed to delete key %s", path));
      }
      break;
    case HijackKind::Shortcut:
      if (h.repair == ShortcutRepair::Delete) {
        if (svc.files->FileExists(h.path) && !svc.files->RemoveFile(h.path))
          throw AppError(FormatMessage1("无法删除 %s", h.path));
      } else if (svc.shortcuts) {
        svc.shortcuts->Write(h.path, h.repaired);
      }
      break;
    case HijackKind::FirefoxPolicies:
      if (h.repair == ShortcutRepair::Delete) {
        if (svc.files->FileExists(h.path) && !svc.files->RemoveFile(h.path))
          throw AppError(FormatMessage1("无法删除 %s", h.path));
      } else if (!h.repairedText.empty()) {
        svc.files->WriteAll(h.path, h.repairedText);
      }
      break;
  }
}

}  // namespace mt
