#include "browser/ChromiumProfileHijacks.h"

#include <algorithm>

#include "app/Backup.h"
#include "app/ChangeFile.h"
#include "app/Error.h"
#include "app/Registry.h"
#include "app/RunningPrograms.h"
#include "app/Text.h"

namespace mt {

namespace {

constexpr const char* kPreferences = "Preferences";
constexpr const char* kSecurePreferences = "Secure Preferences";
// The settings of the extensions: one entry per extension id below it, whose integrity
// entries the registry keeps in a subkey of this name.
constexpr const char* kExtensionSettings = "extensions.settings";
constexpr const char* kSearchPref = "default_search_provider_data.template_url_data";
// session.restore_on_startup: open the pages of session.startup_urls.
constexpr int kRestoreUrls = 4;

const ChromiumBrowser* BrowserOfRow(const Hijack& h) {
  for (const ChromiumBrowser& b : kChromiumBrowsers)
    if (EqualsNoCase(b.exe, h.program) &&
        LowerAscii(h.path).find(LowerAscii(b.dataDir)) != std::string::npos)
      return &b;
  return nullptr;
}

// The registry values that hold integrity entries of `pref` below the profile's key `key`:
// (subkey, value name).
std::vector<std::pair<std::string, std::string>> RegistryEntries(const std::string& key,
                                                                 const std::string& pref) {
  const std::string prefix = std::string(kExtensionSettings) + ".";
  if (pref.rfind(prefix, 0) == 0)
    return {{key + "\\" + kExtensionSettings, pref.substr(prefix.size())},
            {key + "\\" + kExtensionSettings, pref.substr(prefix.size()) + "_encrypted_hash"}};
  return {{key, pref}, {key, pref + "_encrypted_hash"}};
}

class ChromiumProfileModule : public HijackModule {
 public:
  std::vector<Hijack> Find(Services& svc, const InstalledBrowsers& installed) const override {
    return FindChromiumProfileHijacks(svc, installed);
  }
  bool MachineWide(const Hijack&, const std::vector<ShortcutFolder>&) const override {
    return false;
  }
  void Save(DeletionBackup& backup, const Hijack& h) const override {
    for (const char* file : {kPreferences, kSecurePreferences})
      if (!backup.Holds(kFileKind, h.path + "\\" + file)) backup.SaveFile(h.path + "\\" + file);
    if (!h.key.empty())
      for (const auto& [key, name] : RegistryEntries(h.key, h.value))
        backup.SaveValue(h.root, h.view, key, name);
  }
  std::string Refusal(Services& svc, const Hijack& h) const override {
    const ChromiumBrowser* browser = BrowserOfRow(h);
    if (browser && (!svc.running || svc.running->IsRunning(browser->exe)))
      return std::string("请先关闭") + browser->name;
    return std::string();
  }
  void Repair(Services& svc, const Hijack& h) const override {
    const ChromiumBrowser* browser = BrowserOfRow(h);
    if (!browser || h.value.empty()) throw AppError("无法修复：" + h.caption);
    // The browser writes its settings back when it closes, over any change made meanwhile.
    if (!svc.running || svc.running->IsRunning(browser->exe))
      throw AppError(std::string("请先关闭") + browser->name);
    // Both files are read and changed in memory first: one that cannot be read leaves the
    // other unchanged too.
    std::vector<std::pair<std::string, std::string>> writes;
    for (const char* name : {kPreferences, kSecurePreferences}) {
      const std::string file = h.path + "\\" + name;
      nlohmann::ordered_json doc;
      const PrefRead r = ReadPrefFile(*svc.files, file, doc);
      if (r == PrefRead::Missing) continue;
      if (r != PrefRead::Ok) throw AppError(file + "：" + PrefReadProblem(r));
      const bool value = ErasePref(doc, h.value);
      const bool integrity = EraseIntegrity(doc, h.value);
      if (value || integrity) writes.emplace_back(file, PrefText(doc));
    }
    for (const auto& [file, text] : writes) {
      // Written beside it and swapped in, so the browser finds the old file or the new one.
      const std::string temp = file + ".mt-new";
      svc.files->WriteAll(temp, text);
      svc.files->Rename(temp, file);
    }
    if (h.key.empty()) return;
    for (const auto& [keyPath, name] : RegistryEntries(h.key, h.value)) {
      auto key = svc.registry->Open(h.root, nullptr, keyPath, false, h.view);
      if (key && svc.registry->Query(*key, name) && !svc.registry->DeleteValue(*key, name))
        throw AppError(FormatMessage1("Failed to delete value %s", keyPath + "\\" + name));
    }
  }
};

// The value of `path` in the first of the files that has it.
const nlohmann::ordered_json* FirstAt(const std::vector<const nlohmann::ordered_json*>& docs,
                                      const std::string& path, size_t* which = nullptr) {
  for (size_t i = 0; i < docs.size(); ++i)
    if (const nlohmann::ordered_json* v = PrefAt(*docs[i], path)) {
      if (which) *which = i;
      return v;
    }
  return nullptr;
}

std::string StringOf(const nlohmann::ordered_json* v, const char* name) {
  if (!v || !v->is_object()) return std::string();
  auto it = v->find(name);
  return it != v->end() && it->is_string() ? it->get<std::string>() : std::string();
}

}  // namespace

std::string ExtensionLocationText(int location) {
  switch (location) {
    case 1:   // installed by the user from the store, or the store's own
    case 5:   // a part of the browser
    case 10:  // a part of the browser, installed beside it
      return std::string();
    case 2: return "外部偏好文件";
    case 3: return "注册表";
    case 4: return "解压后加载";
    case 6: return "外部偏好文件下载";
    case 7: return "策略下载";
    case 8: return "命令行";
    case 9: return "策略";
    default: return FormatMessage1("未知（%s）", std::to_string(location));
  }
}

std::vector<Hijack> FindChromiumProfileHijacks(Services& svc, const InstalledBrowsers& installed) {
  std::vector<Hijack> out;
  FileSystem& files = *svc.files;
  for (const ChromiumBrowser& b : kChromiumBrowsers) {
    const std::string& base = b.roaming ? svc.roamingAppData : svc.localAppData;
    if (base.empty()) continue;
    const std::string userData = base + "\\" + b.dataDir;
    if (!files.DirectoryExists(userData)) continue;
    const bool running = !svc.running || svc.running->IsRunning(b.exe);
    const std::string iconPath = installed.PathOf(b.exe);
    auto row = [&](const std::string& caption, const std::string& where) {
      Hijack h;
      h.module = &ChromiumProfileHijacks();
      h.caption = caption;
      h.where = where;
      h.iconPath = iconPath;
      h.program = b.exe;
      h.root = RegRoot::CurrentUser;
      h.action = running ? std::string("请先关闭") + b.name : "删除此设置及其校验值";
      return h;
    };
    auto notice = [&](const std::string& caption, const std::string& where) {
      Hijack h = row(caption, where);
      h.repairable = false;
      h.action = "未修改";
      out.push_back(std::move(h));
    };
    std::string problem;
    const std::vector<ChromiumProfile> profiles = ChromiumProfilesOf(files, userData, problem);
    if (!problem.empty())
      notice(std::string(b.name) + " 的 Local State " + problem, userData + "\\Local State");
    const bool named = problem.empty() && files.FileExists(userData + "\\Local State");
    for (const ChromiumProfile& p : profiles) {
      const std::string dir = userData + "\\" + p.dir;
      const std::string who = std::string(b.name) + " ";
      const std::string in = "（配置 " + HijackShown(p.name) + "）：";
      if (!files.DirectoryExists(dir)) {
        if (named) notice(who + "Local State 所列的配置 " + HijackShown(p.name) + " 不存在", dir);
        continue;
      }
      nlohmann::ordered_json secure, prefs;
      std::vector<const nlohmann::ordered_json*> docs;
      std::vector<std::string> paths;
      const std::pair<nlohmann::ordered_json*, const char*> sources[] = {
          {&secure, kSecurePreferences}, {&prefs, kPreferences}};
      for (const auto& [doc, name] : sources) {
        const std::string file = dir + "\\" + name;
        const PrefRead r = ReadPrefFile(files, file, *doc);
        if (r == PrefRead::Ok) {
          docs.push_back(doc);
          paths.push_back(file);
        } else if (r != PrefRead::Missing) {
          notice(who + name + in + PrefReadProblem(r), file);
        }
      }
      if (docs.size() < 2 && (files.FileExists(dir + "\\" + kSecurePreferences) &&
                              files.FileExists(dir + "\\" + kPreferences)))
        continue;  // one file unusable: a repair could not take out every entry
      auto finding = [&](const std::string& caption, const std::string& pref, size_t which) {
        Hijack h = row(caption, paths[which]);
        h.path = dir;
        h.value = pref;
        if (*b.macKey) h.key = std::string(b.macKey) + "\\" + p.dir;
        out.push_back(std::move(h));
      };
      size_t which = 0;
      if (const auto* v = FirstAt(docs, "homepage", &which))
        if (v->is_string() && !IsOwnAddress(b, v->get<std::string>()))
          finding(who + "主页" + in + HijackShown(v->get<std::string>()), "homepage", which);
      const auto* restore = FirstAt(docs, "session.restore_on_startup");
      if (const auto* v = FirstAt(docs, "session.startup_urls", &which);
          v && v->is_array() && restore && restore->is_number_integer() &&
          restore->get<int64_t>() == kRestoreUrls) {
        std::string urls;
        bool foreign = false;
        for (const auto& u : *v) {
          if (!u.is_string()) continue;
          foreign = foreign || !IsOwnAddress(b, u.get<std::string>());
          urls += (urls.empty() ? "" : "、") + u.get<std::string>();
        }
        if (foreign)
          finding(who + "启动页" + in + HijackShown(urls), "session.startup_urls", which);
      }
      if (const auto* v = FirstAt(docs, kSearchPref, &which)) {
        const std::string url = StringOf(v, "url");
        if (!url.empty() && !IsOwnAddress(b, url)) {
          const std::string name = StringOf(v, "short_name");
          finding(who + "默认搜索引擎" + in + HijackShown((name.empty() ? "" : name + " ") + url),
                  kSearchPref, which);
        }
      }
      // Each extension once, from the first file that records it.
      std::vector<std::string> seen;
      for (size_t i = 0; i < docs.size(); ++i) {
        const auto* settings = PrefAt(*docs[i], kExtensionSettings);
        if (!settings || !settings->is_object()) continue;
        for (auto it = settings->begin(); it != settings->end(); ++it) {
          const std::string& id = it.key();
          if (id.empty() || id.find('.') != std::string::npos) continue;
          if (std::find(seen.begin(), seen.end(), id) != seen.end()) continue;
          seen.push_back(id);
          if (!it->is_object()) continue;
          auto loc = it->find("location");
          if (loc == it->end() || !loc->is_number_integer()) continue;
          const std::string where = ExtensionLocationText(loc->get<int>());
          if (where.empty()) continue;
          const std::string name = StringOf(PrefAt(*it, "manifest"), "name");
          finding(who + "扩展（配置 " + HijackShown(p.name) + "，安装来源 " + where + "）：" +
                      HijackShown((name.empty() ? "" : name + " ") + id),
                  std::string(kExtensionSettings) + "." + id, i);
        }
      }
    }
  }
  return out;
}

const HijackModule& ChromiumProfileHijacks() {
  static const ChromiumProfileModule module;
  return module;
}

}  // namespace mt
