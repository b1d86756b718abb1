#include "browser/ShortcutHijacks.h"

#include "app/Backup.h"
#include "app/Error.h"
#include "app/Path.h"
#include "app/Text.h"
#include "browser/BrowserTable.h"
#include "browser/Shortcuts.h"

namespace mt {
namespace {

constexpr const char* kActionStrip = "去掉网址";
constexpr const char* kActionRetarget = "改回浏览器";

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
      if (stem.size() > n.size() && StartsWithNoCase(stem, n) &&
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
    const std::string path = JoinPath(folder, e.name);
    if (e.isDirectory) {
      if (recursive && depth < kMaxFolderDepth) CollectLinks(files, path, true, depth + 1, out);
    } else if (EndsWithNoCase(e.name, ".lnk") && out.size() < kMaxShortcutFiles) {
      out.push_back(path);
    }
  }
}

// Why `path` could not be read as a shortcut, in the program's words: the shell's own
// message is English on most systems and says nothing a user can act on.
std::string UnreadableReason(FileSystem& files, const std::string& path) {
  try {
    files.OpenRead(path);
  } catch (const std::exception&) {
    return kCannotOpenFile;
  }
  return kNotAShortcut;
}

class ShortcutModule : public HijackModule {
 public:
  std::vector<Hijack> Find(Services& svc, const InstalledBrowsers& installed) const override {
    if (!svc.shortcuts) return {};
    return FindShortcutHijacks(*svc.shortcuts, *svc.files, installed);
  }
  // A shortcut in a folder that all users share (the public Desktop, the common Start menu).
  bool MachineWide(const Hijack& h, const std::vector<ShortcutFolder>& folders) const override {
    for (const ShortcutFolder& folder : folders) {
      if (folder.place != ShortcutPlace::PublicDesktop &&
          folder.place != ShortcutPlace::CommonStartMenu)
        continue;
      const std::string prefix = WithoutTrailingBackslash(folder.path) + "\\";
      if (h.path.size() > prefix.size() && StartsWithNoCase(h.path, prefix)) return true;
    }
    return false;
  }
  void Save(DeletionBackup& backup, const Hijack& h) const override {
    backup.SaveFile(h.path, "shortcut");
  }
  void Repair(Services& svc, const Hijack& h) const override {
    if (h.repair == ShortcutRepair::Delete) {
      if (svc.files->FileExists(h.path) && !svc.files->RemoveFile(h.path))
        throw AppError(FormatMessage1("无法删除 %s", h.path));
    } else if (svc.shortcuts) {
      svc.shortcuts->Write(h.path, h.repaired);
    }
  }
};

}  // namespace

std::vector<Hijack> FindShortcutHijacks(ShortcutFiles& shortcuts, FileSystem& files,
                                        const InstalledBrowsers& installed) {
  std::vector<Hijack> out;
  std::vector<ShortcutFolder> folders = shortcuts.Folders();
  std::vector<std::string> seenFolders;
  for (const ShortcutFolder& folder : folders) {
    if (folder.path.empty()) continue;
    bool seen = false;
    for (const std::string& f : seenFolders) seen = seen || SamePathText(f, folder.path);
    if (seen) continue;  // the user's and the public Desktop may be one folder
    seenFolders.push_back(folder.path);
    std::vector<std::string> links;
    CollectLinks(files, folder.path, folder.recursive, 0, links);
    for (const std::string& path : links) {
      const std::string fileName = FileNameOf(path);
      const std::string head = std::string(PlaceName(folder.place)) + " " + fileName;
      Hijack h;
      h.module = &ShortcutHijacks();
      h.path = path;
      h.where = path;
      ShellLinkData link;
      try {
        link = shortcuts.Read(path);
      } catch (const std::exception&) {
        h.repair = ShortcutRepair::Delete;
        h.caption = head + " 无法读取：" + UnreadableReason(files, path);
        h.action = kHijackActionDeleteOnly;
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
        h.caption = head + " 目标不是" + claimed->name + "：" + HijackShown(link.target) +
                    (link.arguments.empty() ? "" : " " + HijackShown(link.arguments));
        if (exe.empty()) {
          h.repair = ShortcutRepair::Delete;
          h.action = kHijackActionDeleteOnly;
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
        h.caption = head + " 附加网址 " + HijackShown(shown);
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

const HijackModule& ShortcutHijacks() {
  static const ShortcutModule module;
  return module;
}

}  // namespace mt
