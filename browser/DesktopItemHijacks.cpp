#include "browser/DesktopItemHijacks.h"

#include "app/Backup.h"
#include "app/ChangeFile.h"
#include "app/ChangeRegistry.h"
#include "app/Error.h"
#include "app/Path.h"
#include "app/Text.h"
#include "browser/Shortcuts.h"

namespace mt {

// The first eight are the Windows SDK's own names (shlguid.h: CLSID_MyComputer,
// CLSID_Internet, CLSID_RecycleBin, CLSID_ControlPanel, CLSID_Printers, CLSID_MyDocuments;
// shobjidl.h: CLSID_NetworkPlaces, CLSID_NetworkExplorerFolder). The rest are the classes
// Windows 10 and 11 register for the items of the desktop's and Explorer's tree that the SDK
// does not name: the ids the desktop icon settings write below
// `Explorer\HideDesktopIcons\NewStartPanel`, and OneDrive's, Quick access', Home's and
// Gallery's items as the system registers them in `Classes\CLSID`.
const std::vector<const char*> kSystemNameSpaceItems = {
    "{20D04FE0-3AEA-1069-A2D8-08002B30309D}",  // This PC
    "{871C5380-42A0-1069-A2EA-08002B30309D}",  // Internet Explorer's own item
    "{645FF040-5081-101B-9F08-00AA002F954E}",  // Recycle Bin
    "{21EC2020-3AEA-1069-A2DD-08002B30309D}",  // Control Panel, all items
    "{2227A280-3AEA-1069-A2DE-08002B30309D}",  // Printers
    "{450D8FBA-AD25-11D0-98A8-0800361B1103}",  // Documents
    "{208D2C60-3AEA-1069-A2D7-08002B30309D}",  // Network places
    "{F02C1A0D-BE21-4350-88B0-7367FC96EF3C}",  // Network
    "{5399E694-6CE5-4D6C-8FCE-1D8870FDCBA0}",  // Control Panel, categories
    "{26EE0668-A00A-44D7-9371-BEB064C98683}",  // Control Panel
    "{59031A47-3F72-44A7-89C5-5595FE6B30EE}",  // the user's files
    "{031E4825-7B94-4DC3-B131-E946B44C8DD5}",  // Libraries
    "{018D5C66-4533-4307-9B53-224DE2ED1FE6}",  // OneDrive
    "{679F85CB-0220-4080-B29B-5540CC05AAB6}",  // Quick access
    "{F874310E-B6B7-47DC-BC84-B9E6B38F5903}",  // Home
    "{E88865EA-0E1C-4E20-9AA6-EDCD0212C87C}",  // Gallery
    "{B4FB3F98-C1EA-428D-A78A-D1F5659CBA93}",  // HomeGroup
};

bool IsSystemNameSpaceItem(const std::string& clsid) {
  std::string braced = TrimControl(clsid);
  if (!braced.empty() && braced.front() != '{') braced = "{" + braced + "}";
  for (const char* id : kSystemNameSpaceItems)
    if (EqualsNoCase(braced, id)) return true;
  return false;
}

namespace {

// A claim to be "a browser" without naming one: any browser's program then fits it.
const KnownBrowser kAnyBrowser{"", "浏览器", {}};
const char* const kBrowserWords[] = {"浏览器", "Web Browser", "Browser"};

bool AsciiWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Whether `text` holds `name`; a name that begins or ends with a Latin letter or digit only
// where no other such character stands next to it.
bool HoldsName(const std::string& text, const std::string& name) {
  if (name.empty()) return false;
  const std::string t = LowerAscii(text), n = LowerAscii(name);
  for (size_t at = t.find(n); at != std::string::npos; at = t.find(n, at + 1)) {
    const bool startOk = !AsciiWordChar(n.front()) || at == 0 || !AsciiWordChar(t[at - 1]);
    const size_t end = at + n.size();
    const bool endOk = !AsciiWordChar(n.back()) || end == t.size() || !AsciiWordChar(t[end]);
    if (startOk && endOk) return true;
  }
  return false;
}

// The program file an icon location names ("C:\x\iexplore.exe,-32528"): Internet Explorer's
// resource library counts as its program.
const KnownBrowser* BrowserOfIcon(const std::string& iconLocation) {
  std::string path = TrimControl(iconLocation);
  const size_t comma = path.rfind(',');
  if (comma != std::string::npos && ParseInt32(path.substr(comma + 1))) path.resize(comma);
  path = TrimControl(path);
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"')
    path = path.substr(1, path.size() - 2);
  const std::string file = FileNameOf(path);
  if (EqualsNoCase(file, "ieframe.dll")) return BrowserByExe("iexplore.exe");
  return BrowserByExe(file);
}

// A command line split into its program and its arguments: a quoted program, or, unquoted,
// everything up to ".exe" followed by a blank (a path with blanks written without quotes,
// as the shell accepts it), else the first word.
struct Command {
  std::string program, arguments;
};
Command SplitCommand(const std::string& line) {
  const std::string text = TrimControl(line);
  Command c;
  if (!text.empty() && text.front() == '"') {
    const size_t close = text.find('"', 1);
    c.program = text.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    if (close != std::string::npos) c.arguments = TrimControl(text.substr(close + 1));
    return c;
  }
  const std::string lower = LowerAscii(text);
  for (size_t at = lower.find(".exe"); at != std::string::npos; at = lower.find(".exe", at + 1)) {
    const size_t end = at + 4;
    if (end == text.size() || text[end] == ' ' || text[end] == '\t') {
      c.program = text.substr(0, end);
      c.arguments = TrimControl(text.substr(end));
      return c;
    }
  }
  const size_t blank = text.find_first_of(" \t");
  c.program = text.substr(0, blank);
  if (blank != std::string::npos) c.arguments = TrimControl(text.substr(blank));
  return c;
}

// A text value of `key` (its default value for an empty name); empty when missing or not text.
std::string TextOf(RegistryBackend& registry, const RegKey& key, const std::string& name) {
  auto v = registry.Query(key, name);
  if (!v || (v->type != RegDataType::String && v->type != RegDataType::ExpandString))
    return std::string();
  return TrimControl(v->text);
}

// What a class shows and starts: its name, its icon and the command of each of its verbs.
struct ClassFace {
  std::string name, icon;
  std::vector<std::string> commands;
};
ClassFace FaceOf(RegistryBackend& registry, RegRoot root, const std::string& classKey) {
  ClassFace face;
  auto key = registry.Open(root, nullptr, classKey, false);
  if (!key) return face;
  face.name = TextOf(registry, *key, "");
  if (face.name.empty()) face.name = TextOf(registry, *key, "LocalizedString");
  if (auto icon = registry.Open(root, key.get(), "DefaultIcon", false))
    face.icon = TextOf(registry, *icon, "");
  if (auto shell = registry.Open(root, key.get(), "shell", false))
    for (const std::string& verb : registry.KeyNames(*shell)) {
      if (verb.empty() || verb.find('\\') != std::string::npos) continue;
      if (auto command = registry.Open(root, shell.get(), verb + "\\command", false)) {
        const std::string line = TextOf(registry, *command, "");
        if (!line.empty()) face.commands.push_back(line);
      }
    }
  return face;
}

// What a claimed browser's command does that the browser would not: the address it opens,
// or the program it starts when that is not the browser; empty when it only starts the
// browser itself.
std::string Betrayal(const KnownBrowser& claimed, const std::string& line) {
  const Command c = SplitCommand(line);
  const KnownBrowser* runs = BrowserByExe(FileNameOf(c.program));
  const bool otherProgram = !c.program.empty() && (*claimed.exe ? runs != &claimed : !runs);
  if (otherProgram) return line;
  for (const CommandLineArgument& a : SplitArguments(c.arguments))
    if (IsAddressArgument(a.value)) return a.value;
  return std::string();
}

const char* ScopeOf(RegRoot root, RegView view) {
  if (root == RegRoot::CurrentUser) return "当前用户";
  return view == RegView::Wow32 ? "所有用户，32位" : "所有用户";
}

// Whether `name` is one key directly below its parent.
bool DirectName(const std::string& name) {
  return !name.empty() && name.find('\\') == std::string::npos;
}

// Internet shortcut files are INI text: "[InternetShortcut]" with "URL=" and "IconFile=".
// Written by the system in the ANSI code page (GBK here), by other programs also in UTF-8
// or UTF-16.
bool ValidUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return false;
    i += n;
  }
  return true;
}
std::string UrlFileText(const std::string& bytes) {
  if (bytes.rfind("\xFF\xFE", 0) == 0) return FromUtf16Le(bytes.substr(2));
  if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) return bytes.substr(3);
  return ValidUtf8(bytes) ? bytes : GbkToUtf8(bytes);
}
struct UrlFile {
  std::string url, iconFile;
};
UrlFile ParseUrlFile(const std::string& text) {
  UrlFile out;
  bool inSection = false;
  for (std::string line : Split(text, '\n')) {
    line = TrimControl(line);
    if (!line.empty() && line.front() == '[') {
      inSection = EqualsNoCase(line, "[InternetShortcut]");
      continue;
    }
    const size_t eq = line.find('=');
    if (!inSection || eq == std::string::npos) continue;
    const std::string key = TrimControl(line.substr(0, eq));
    const std::string value = TrimControl(line.substr(eq + 1));
    if (EqualsNoCase(key, "URL")) out.url = value;
    if (EqualsNoCase(key, "IconFile")) out.iconFile = value;
  }
  return out;
}

// .url files larger than this are no shortcuts written by hand or by a program.
constexpr uint64_t kUrlReadLimit = 1u << 20;

class DesktopItemModule : public HijackModule {
 public:
  std::vector<Hijack> Find(Services& svc, const InstalledBrowsers& installed) const override {
    std::vector<Hijack> out = FindDesktopNameSpaceHijacks(*svc.registry, installed);
    if (svc.shortcuts)
      for (Hijack& h : FindDesktopUrlHijacks(*svc.shortcuts, *svc.files, installed))
        out.push_back(std::move(h));
    return out;
  }
  bool MachineWide(const Hijack& h, const std::vector<ShortcutFolder>& folders) const override {
    if (!h.path.empty()) {
      for (const ShortcutFolder& folder : folders) {
        if (folder.place != ShortcutPlace::PublicDesktop) continue;
        const std::string prefix = WithoutTrailingBackslash(folder.path) + "\\";
        if (h.path.size() > prefix.size() && StartsWithNoCase(h.path, prefix)) return true;
      }
      return false;
    }
    if (h.root == RegRoot::LocalMachine) return true;
    for (const auto& [root, key] : h.moreKeys)
      if (root == RegRoot::LocalMachine) return true;
    return false;
  }
  void Save(DeletionBackup& backup, const Hijack& h) const override {
    if (!h.path.empty()) {
      if (!backup.Holds(kFileKind, h.path)) backup.SaveFile(h.path);
      return;
    }
    if (!DirectName(h.value)) return;
    // An entry of each root may name the same class: its keys are saved once, as they were
    // before either row was repaired.
    auto saveKey = [&](RegRoot root, RegView view, const std::string& key) {
      if (!backup.Holds(kRegistryTreeKind, RegistryTreeChange(root, view, key).Place()))
        backup.SaveKey(root, view, key);
    };
    saveKey(h.root, h.view, h.key);
    for (const auto& [root, key] : h.moreKeys) saveKey(root, RegView::Native, key);
  }
  void Repair(Services& svc, const Hijack& h) const override {
    if (!h.path.empty()) {
      if (svc.files->FileExists(h.path) && !svc.files->RemoveFile(h.path))
        throw AppError(FormatMessage1("无法删除 %s", h.path));
      return;
    }
    if (!DirectName(h.value)) return;
    RegistryBackend& registry = *svc.registry;
    auto remove = [&](RegRoot root, RegView view, const std::string& key) {
      if (registry.Open(root, nullptr, key, false, view) &&
          !registry.DeleteTree(root, nullptr, key, view))
        throw AppError(FormatMessage1("Failed to delete key %s", key));
    };
    remove(h.root, h.view, h.key);
    for (const auto& [root, key] : h.moreKeys) remove(root, RegView::Native, key);
  }
};

Hijack NameSpaceRow(RegRoot root, RegView view, const std::string& clsid) {
  Hijack h;
  h.module = &DesktopItemHijacks();
  h.root = root;
  h.view = view;
  h.value = clsid;
  h.key = std::string(kDesktopNameSpaceKey) + "\\" + clsid;
  h.where = HijackRegPath(root, h.key, {}, view);
  h.action = kHijackActionDelete;
  return h;
}

}  // namespace

const KnownBrowser* BrowserClaimedBy(const std::string& text) {
  for (const KnownBrowser& b : kKnownBrowsers) {
    if (HoldsName(text, b.name)) return &b;
    for (const char* name : b.shortcutNames)
      if (HoldsName(text, name)) return &b;
  }
  for (const char* word : kBrowserWords)
    if (HoldsName(text, word)) return &kAnyBrowser;
  return nullptr;
}

std::vector<std::pair<RegRoot, std::string>> ClassKeysOf(RegistryBackend& registry,
                                                         const std::string& clsid) {
  std::vector<std::pair<RegRoot, std::string>> out;
  if (!DirectName(clsid)) return out;
  for (RegRoot root : {RegRoot::CurrentUser, RegRoot::LocalMachine})
    for (const char* classes :
         {"SOFTWARE\\Classes\\CLSID\\", "SOFTWARE\\Classes\\WOW6432Node\\CLSID\\"}) {
      const std::string key = classes + clsid;
      if (registry.Open(root, nullptr, key, false)) out.emplace_back(root, key);
    }
  return out;
}

std::vector<Hijack> FindDesktopNameSpaceHijacks(RegistryBackend& registry,
                                                const InstalledBrowsers& installed) {
  std::vector<Hijack> out;
  const std::pair<RegRoot, RegView> places[] = {{RegRoot::CurrentUser, RegView::Native},
                                                {RegRoot::LocalMachine, RegView::Native},
                                                {RegRoot::LocalMachine, RegView::Wow32}};
  for (const auto& [root, view] : places) {
    auto parent = registry.Open(root, nullptr, kDesktopNameSpaceKey, false, view);
    if (!parent) continue;
    for (const std::string& clsid : registry.KeyNames(*parent)) {
      // Only classes are items ("DelegateFolders" and its kin are not), and never the
      // system's own.
      if (!DirectName(clsid) || !IsGuidText(clsid) || IsSystemNameSpaceItem(clsid)) continue;
      auto entry = registry.Open(root, parent.get(), clsid, false, view);
      if (!entry) continue;
      const std::string entryName = TextOf(registry, *entry, "");
      const auto classKeys = ClassKeysOf(registry, clsid);
      if (classKeys.empty()) {
        // Without its class the item shows nothing and starts nothing: only an entry that
        // still carries a browser's name is listed, as what is left of a fake icon; other
        // programs' leftovers are not this tab's to judge.
        const KnownBrowser* claimed = BrowserClaimedBy(entryName);
        if (!claimed) continue;
        Hijack h = NameSpaceRow(root, view, clsid);
        h.iconPath = *claimed->exe ? installed.PathOf(claimed->exe) : std::string();
        h.caption = std::string("桌面图标（冒充") + claimed->name + "，" + ScopeOf(root, view) +
                    "）：" + HijackShown(entryName) + " 类已不存在 " + clsid;
        out.push_back(std::move(h));
        continue;
      }
      // The first class key that claims a browser and betrays it makes the row; the repair
      // takes every key of the class.
      for (const auto& [classRoot, classKey] : classKeys) {
        const ClassFace face = FaceOf(registry, classRoot, classKey);
        const KnownBrowser* claimed = BrowserClaimedBy(face.name);
        if (!claimed) claimed = BrowserClaimedBy(entryName);
        if (!claimed) claimed = BrowserOfIcon(face.icon);
        for (size_t i = 0; !claimed && i < face.commands.size(); ++i)
          claimed = BrowserByExe(FileNameOf(SplitCommand(face.commands[i]).program));
        if (!claimed) continue;
        std::string betrayal;
        for (size_t i = 0; betrayal.empty() && i < face.commands.size(); ++i)
          betrayal = Betrayal(*claimed, face.commands[i]);
        if (betrayal.empty()) continue;
        Hijack h = NameSpaceRow(root, view, clsid);
        h.moreKeys = classKeys;
        h.iconPath = *claimed->exe ? installed.PathOf(claimed->exe) : std::string();
        const std::string shownName = !face.name.empty()   ? face.name
                                      : !entryName.empty() ? entryName
                                                           : clsid;
        h.caption = std::string("桌面图标（冒充") + claimed->name + "，" + ScopeOf(root, view) +
                    "）：" + HijackShown(shownName) + " → " + HijackShown(betrayal);
        out.push_back(std::move(h));
        break;
      }
    }
  }
  return out;
}

std::vector<Hijack> FindDesktopUrlHijacks(ShortcutFiles& shortcuts, FileSystem& files,
                                          const InstalledBrowsers& installed) {
  std::vector<Hijack> out;
  std::vector<std::string> seen;
  for (const ShortcutFolder& folder : shortcuts.Folders()) {
    if (folder.place != ShortcutPlace::Desktop && folder.place != ShortcutPlace::PublicDesktop)
      continue;
    if (folder.path.empty()) continue;
    bool twice = false;
    for (const std::string& f : seen) twice = twice || SamePathText(f, folder.path);
    if (twice) continue;  // the user's and the public Desktop may be one folder
    seen.push_back(folder.path);
    std::vector<FindEntry> entries;
    try {
      if (!files.IsListableFolder(folder.path)) continue;
      entries = files.Find(folder.path, "*");
    } catch (const std::exception&) {
      continue;
    }
    const char* place = folder.place == ShortcutPlace::Desktop ? "桌面网址文件"
                                                               : "公共桌面网址文件";
    for (const FindEntry& e : entries) {
      if (e.isDirectory || !EndsWithNoCase(e.name, ".url")) continue;
      const std::string path = JoinPath(folder.path, e.name);
      const std::string stem = e.name.substr(0, e.name.size() - 4);
      Hijack h;
      h.module = &DesktopItemHijacks();
      h.path = path;
      h.where = path;
      h.action = kHijackActionDelete;
      const KnownBrowser* claimed = BrowserClaimedBy(stem);
      UrlFile url;
      try {
        url = ParseUrlFile(UrlFileText(ReadAllBytes(files, path, kUrlReadLimit)));
      } catch (const std::exception&) {
        // What cannot be read is only judged by its name, and cannot be saved first.
        if (!claimed) continue;
        h.caption = std::string(place) + " " + e.name + " 无法检查：" + kCannotOpenFile;
        h.action = "未修改";
        h.repairable = false;
        out.push_back(std::move(h));
        continue;
      }
      if (!claimed) claimed = BrowserOfIcon(url.iconFile);
      if (!claimed) continue;
      h.iconPath = *claimed->exe ? installed.PathOf(claimed->exe) : std::string();
      h.caption = std::string(place) + " " + e.name + " 冒充" + claimed->name + "：" +
                  (url.url.empty() ? std::string("（无网址）") : HijackShown(url.url));
      out.push_back(std::move(h));
    }
  }
  return out;
}

const HijackModule& DesktopItemHijacks() {
  static const DesktopItemModule module;
  return module;
}

}  // namespace mt
