#include "browser/FirefoxProfileHijacks.h"

#include "app/Backup.h"
#include "app/ChangeFile.h"
#include "app/ChangePlaces.h"
#include "app/Error.h"
#include "app/RunningPrograms.h"
#include "app/Text.h"
#include "browser/FirefoxPrefs.h"

namespace mt {

namespace {

constexpr const char* kCloseFirefox = "请先关闭Firefox";
// What sets a preference in a profile's files.
const std::vector<std::string> kProfileFunctions = {"user_pref", "pref", "sticky_pref"};

bool FirefoxRuns(Services& svc) { return !svc.running || svc.running->IsRunning(kFirefoxExe); }

class FirefoxProfileModule : public HijackModule {
 public:
  std::vector<Hijack> Find(Services& svc, const InstalledBrowsers& installed) const override {
    return FindFirefoxProfileHijacks(svc, installed);
  }
  bool MachineWide(const Hijack&, const std::vector<ShortcutFolder>&) const override {
    return false;
  }
  void Save(DeletionBackup& backup, const Hijack& h) const override {
    if (!backup.Holds(kFileKind, h.path)) backup.SaveFile(h.path);
  }
  std::string Refusal(Services& svc, const Hijack&) const override {
    return FirefoxRuns(svc) ? kCloseFirefox : std::string();
  }
  void Repair(Services& svc, const Hijack& h) const override {
    if (FirefoxRuns(svc)) throw AppError(kCloseFirefox);
    std::string text;
    const FirefoxRead r = ReadFirefoxFile(*svc.files, h.path, text);
    if (r != FirefoxRead::Ok) throw AppError(h.path + "：" + FirefoxReadProblem(r));
    // The call is found again by its bytes: the file may have changed since it was listed.
    for (const PrefCall& call : FindPrefCalls(text, kProfileFunctions)) {
      if (call.name != h.value || text.compare(call.begin, call.end - call.begin, h.lineBytes))
        continue;
      // Written beside it and swapped in, so Firefox finds the old file or the new one.
      const std::string temp = h.path + ".mt-new";
      svc.files->WriteAll(temp, CutPrefCall(text, call));
      svc.files->Rename(temp, h.path);
      return;
    }
    throw AppError(h.path + "：此设置已不在文件中");
  }
};

}  // namespace

std::vector<Hijack> FindFirefoxProfileHijacks(Services& svc, const InstalledBrowsers& installed) {
  std::vector<Hijack> out;
  if (svc.roamingAppData.empty()) return out;
  FileSystem& files = *svc.files;
  const std::string data = svc.roamingAppData + "\\Mozilla\\Firefox";
  std::string problem;
  const std::vector<FirefoxProfile> profiles = FirefoxProfilesOf(files, data, problem);
  const bool running = FirefoxRuns(svc);
  const std::string iconPath = installed.PathOf(kFirefoxExe);
  auto row = [&](const std::string& caption, const std::string& where) {
    Hijack h;
    h.module = &FirefoxProfileHijacks();
    h.caption = caption;
    h.where = where;
    h.path = where;
    h.iconPath = iconPath;
    h.program = kFirefoxExe;
    h.action = running ? kCloseFirefox : "删除此设置行";
    return h;
  };
  auto notice = [&](const std::string& caption, const std::string& where) {
    Hijack h = row(caption, where);
    h.repairable = false;
    h.action = "未修改";
    out.push_back(std::move(h));
  };
  if (!problem.empty()) notice("Firefox 的 profiles.ini " + problem, data + "\\profiles.ini");
  for (const FirefoxProfile& p : profiles) {
    const std::string in = "（配置 " + HijackShown(p.name);
    if (!files.DirectoryExists(p.dir)) {
      notice("Firefox profiles.ini 所列的配置 " + HijackShown(p.name) + " 不存在", p.dir);
      continue;
    }
    // user.js first: what it sets is written into prefs.js again at every start.
    for (const char* name : {"user.js", "prefs.js"}) {
      const std::string file = p.dir + "\\" + name;
      const bool userJs = std::string(name) == "user.js";
      std::string text;
      const FirefoxRead r = ReadFirefoxFile(files, file, text);
      if (r == FirefoxRead::Missing) continue;
      if (r != FirefoxRead::Ok) {
        notice("Firefox " + std::string(name) + in + "）：" + FirefoxReadProblem(r), file);
        continue;
      }
      // A restore may only write where the program's sets may name; a profile kept elsewhere
      // (an absolute Path= to another drive) is shown, not changed.
      const bool placeAllowed = FilePlaceAllowed(svc.fileRoots, file);
      for (const PrefCall& call : FindPrefCalls(text, kProfileFunctions)) {
        if (call.name != kFirefoxHomePage || !call.isString) continue;
        if (IsFirefoxOwnHomePage(call.value)) continue;
        Hijack h = row("Firefox 主页" + in +
                           (userJs ? "，user.js 每次启动时写入）：" : "，prefs.js）：") +
                           HijackShown(PrefShown(call.value)),
                       file);
        h.value = call.name;
        h.lineBytes = text.substr(call.begin, call.end - call.begin);
        if (!placeAllowed) {
          h.repairable = false;
          h.action = "配置不在用户数据文件夹中，未修改";
        }
        out.push_back(std::move(h));
      }
    }
  }
  return out;
}

const HijackModule& FirefoxProfileHijacks() {
  static const FirefoxProfileModule module;
  return module;
}

}  // namespace mt
