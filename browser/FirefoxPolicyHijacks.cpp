#include "browser/FirefoxPolicyHijacks.h"

#include <nlohmann/json.hpp>

#include "app/Backup.h"
#include "app/Error.h"
#include "app/Path.h"

namespace mt {
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

class FirefoxPolicyModule : public HijackModule {
 public:
  std::vector<Hijack> Find(Services& svc, const InstalledBrowsers& installed) const override {
    return FindFirefoxPolicies(*svc.files, installed);
  }
  // The file lies in the program's folder.
  bool MachineWide(const Hijack&, const std::vector<ShortcutFolder>&) const override {
    return true;
  }
  void Save(DeletionBackup& backup, const Hijack& h) const override {
    backup.SaveFile(h.path, "policies-json");
  }
  void Repair(Services& svc, const Hijack& h) const override {
    if (h.repair == ShortcutRepair::Delete) {
      if (svc.files->FileExists(h.path) && !svc.files->RemoveFile(h.path))
        throw AppError(FormatMessage1("无法删除 %s", h.path));
    } else if (!h.repairedText.empty()) {
      svc.files->WriteAll(h.path, h.repairedText);
    }
  }
};

}  // namespace

std::vector<Hijack> FindFirefoxPolicies(FileSystem& files, const InstalledBrowsers& installed) {
  std::vector<Hijack> out;
  const std::string exe = installed.PathOf("firefox.exe");
  if (exe.empty()) return out;
  const std::string path = FolderOf(exe) + "\\distribution\\policies.json";
  Hijack h;
  h.module = &FirefoxPolicyHijacks();
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
  } catch (const std::exception&) {
    h.caption = std::string("Firefox 策略文件 policies.json 无法读取：") + kCannotOpenFile;
    h.action = kHijackActionDeleteOnly;
    out.push_back(std::move(h));
    return out;
  }
  nlohmann::json doc = nlohmann::json::parse(text, nullptr, false);
  if (doc.is_discarded() || !doc.is_object()) {
    // Firefox refuses such a file as a whole; it can only go.
    h.caption = "Firefox 策略文件 policies.json 不是有效的 JSON";
    h.action = kHijackActionDeleteOnly;
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
  h.caption = "Firefox 策略（policies.json）：" + HijackShown(shown);
  h.repair = ShortcutRepair::StripAddress;
  h.repairedText = doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
  h.action = "去掉这些设置";
  out.push_back(std::move(h));
  return out;
}

const HijackModule& FirefoxPolicyHijacks() {
  static const FirefoxPolicyModule module;
  return module;
}

}  // namespace mt
