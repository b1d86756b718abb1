#include "browser/FirefoxAutoconfigHijacks.h"

#include <algorithm>

#include "app/Backup.h"
#include "app/ChangePlaces.h"
#include "app/Error.h"
#include "app/Path.h"
#include "app/Text.h"
#include "browser/FirefoxPrefs.h"

namespace mt {

namespace {

constexpr const char* kConfigFilename = "general.config.filename";
constexpr const char* kObscureValue = "general.config.obscure_value";
// Unless told otherwise, Firefox reads a cfg whose every byte was raised by 13.
constexpr int kDefaultObscure = 13;
const std::vector<std::string> kDefaultsFunctions = {"pref", "lockPref", "sticky_pref",
                                                     "user_pref"};
const std::vector<std::string> kCfgFunctions = {"pref", "lockPref", "defaultPref", "setCharPref",
                                                "setStringPref"};

// The call in `text` that names the cfg, found by its bytes; null when it is gone.
const PrefCall* EnablingCall(const std::vector<PrefCall>& calls, const std::string& text,
                             const std::string& bytes) {
  for (const PrefCall& c : calls)
    if (c.name == kConfigFilename && !text.compare(c.begin, c.end - c.begin, bytes)) return &c;
  return nullptr;
}

class FirefoxAutoconfigModule : public HijackModule {
 public:
  std::vector<Hijack> Find(Services& svc, const InstalledBrowsers& installed) const override {
    return FindFirefoxAutoconfigHijacks(svc, installed);
  }
  // The files lie in the program's folder.
  bool MachineWide(const Hijack&, const std::vector<ShortcutFolder>&) const override {
    return true;
  }
  void Save(DeletionBackup& backup, const Hijack& h) const override { backup.SaveFile(h.path); }
  void Repair(Services& svc, const Hijack& h) const override {
    std::string text;
    const FirefoxRead r = ReadFirefoxFile(*svc.files, h.path, text);
    if (r != FirefoxRead::Ok) throw AppError(h.path + "：" + FirefoxReadProblem(r));
    const std::vector<PrefCall> calls = FindPrefCalls(text, kDefaultsFunctions);
    const PrefCall* call = EnablingCall(calls, text, h.lineBytes);
    if (!call) throw AppError(h.path + "：此设置已不在文件中");
    if (h.repair == ShortcutRepair::Delete) {
      if (!svc.files->RemoveFile(h.path)) throw AppError(FormatMessage1("无法删除 %s", h.path));
      return;
    }
    const std::string temp = h.path + ".mt-new";
    svc.files->WriteAll(temp, CutPrefCall(text, *call));
    svc.files->Rename(temp, h.path);
  }
};

// The cfg's name as a path below the install folder; empty when it would lead elsewhere.
std::string CfgPath(const std::string& install, std::string name) {
  std::replace(name.begin(), name.end(), '/', '\\');
  if (name.empty() || name.front() == '\\' || name.find(':') != std::string::npos) return {};
  for (const std::string& part : Split(name, '\\'))
    if (part.empty() || part == "." || part == "..") return {};
  return install + "\\" + name;
}

}  // namespace

std::vector<Hijack> FindFirefoxAutoconfigHijacks(Services& svc,
                                                 const InstalledBrowsers& installed) {
  std::vector<Hijack> out;
  const std::string exe = installed.PathOf(kFirefoxExe);
  if (exe.empty()) return out;
  FileSystem& files = *svc.files;
  const std::string install = FolderOf(exe);
  const std::string defaults = install + "\\defaults\\pref";
  struct PrefFile {
    std::string path, text;
    std::vector<PrefCall> calls;
  };
  std::vector<PrefFile> prefFiles;
  try {
    if (!files.DirectoryExists(defaults)) return out;
    for (const FindEntry& e : files.Find(defaults, "*.js")) {
      if (e.isDirectory || !EndsWithNoCase(e.name, ".js")) continue;
      PrefFile f;
      f.path = defaults + "\\" + e.name;
      if (ReadFirefoxFile(files, f.path, f.text) != FirefoxRead::Ok) continue;
      f.calls = FindPrefCalls(f.text, kDefaultsFunctions);
      prefFiles.push_back(std::move(f));
    }
  } catch (const std::exception&) {
    return out;
  }
  // The shift of the cfg's bytes, from whichever default file sets it.
  int obscure = kDefaultObscure;
  for (const PrefFile& f : prefFiles)
    for (const PrefCall& c : f.calls)
      if (c.name == kObscureValue && !c.isString)
        if (auto v = ParseInt32(c.value)) obscure = *v;
  for (const PrefFile& f : prefFiles) {
    for (const PrefCall& c : f.calls) {
      if (c.name != kConfigFilename || !c.isString) continue;
      const std::string cfg = CfgPath(install, c.value);
      if (cfg.empty()) continue;
      std::string raw;
      const FirefoxRead r = ReadFirefoxFile(files, cfg, raw);
      Hijack h;
      h.module = &FirefoxAutoconfigHijacks();
      h.where = cfg;
      h.path = f.path;
      h.iconPath = exe;
      h.value = c.name;
      h.lineBytes = f.text.substr(c.begin, c.end - c.begin);
      const std::string cfgName = FileNameOf(cfg), jsName = FileNameOf(f.path);
      if (r != FirefoxRead::Ok) {
        if (r == FirefoxRead::Missing) continue;
        h.caption = "Firefox 自动配置文件 " + cfgName + " " + FirefoxReadProblem(r);
        h.action = "未修改";
        h.repairable = false;
        out.push_back(std::move(h));
        continue;
      }
      std::string plain = raw;
      for (char& b : plain) b = static_cast<char>(static_cast<unsigned char>(b) - obscure);
      std::string page, how;
      for (const PrefCall& set : FindPrefCalls(plain, kCfgFunctions))
        if (set.name == kFirefoxHomePage && set.isString && !IsFirefoxOwnHomePage(set.value)) {
          page = set.value;
          how = set.function;
          break;
        }
      if (page.empty()) continue;
      bool onlyAutoconfig = true;
      for (const PrefCall& other : f.calls)
        onlyAutoconfig = onlyAutoconfig && StartsWithNoCase(other.name, "general.config.");
      h.caption = "Firefox 主页（自动配置 " + cfgName + "，" + how + "）：" +
                  HijackShown(PrefShown(page));
      h.repair = onlyAutoconfig ? ShortcutRepair::Delete : ShortcutRepair::StripAddress;
      h.action = onlyAutoconfig ? "删除启用它的 defaults\\pref\\" + jsName
                                : "去掉 defaults\\pref\\" + jsName + " 中启用它的设置";
      // A restore may only write where the program's sets may name: an install folder
      // outside the programs folders is shown, not changed.
      if (!FilePlaceAllowed(svc.fileRoots, f.path)) {
        h.repairable = false;
        h.action = "不在程序文件夹中，未修改";
      }
      out.push_back(std::move(h));
    }
  }
  return out;
}

const HijackModule& FirefoxAutoconfigHijacks() {
  static const FirefoxAutoconfigModule module;
  return module;
}

}  // namespace mt
