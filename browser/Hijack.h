// One finding about today's browsers (a policy value, an enrolment, a shortcut, a settings
// file...) as a row of the add-on list, and the module of its kind that finds, saves and
// repairs it. Each kind is one module (browser/*Hijacks.*) and one line in the list of kinds
// (browser/BrowserHijacks.cpp).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app/Registry.h"
#include "app/Services.h"
#include "app/Shortcuts.h"
#include "browser/InstalledBrowsers.h"

namespace mt {

class DeletionBackup;
struct Hijack;

class HijackModule {
 public:
  virtual ~HijackModule() = default;
  // The findings of this kind on the machine, in the order the list shows them.
  virtual std::vector<Hijack> Find(Services& svc, const InstalledBrowsers& installed) const = 0;
  // True when repairing `h` changes what belongs to the whole machine, which needs
  // administrator rights; `folders` are the shortcut folders, some shared by all users.
  virtual bool MachineWide(const Hijack& h, const std::vector<ShortcutFolder>& folders) const = 0;
  // Records in `backup`, through the change model's kinds, what repairing `h` changes.
  virtual void Save(DeletionBackup& backup, const Hijack& h) const = 0;
  // Why `h` cannot be repaired now (its browser runs, and would write its settings back);
  // empty when it can. A refused finding is neither saved nor repaired.
  virtual std::string Refusal(Services& svc, const Hijack& h) const {
    (void)svc;
    (void)h;
    return std::string();
  }
  // Undoes `h`. Throws AppError when it cannot be done.
  virtual void Repair(Services& svc, const Hijack& h) const = 0;
};

enum class ShortcutRepair { StripAddress, Retarget, Delete };

struct Hijack {
  const HijackModule* module = nullptr;  // the kind that found it and repairs it
  std::string caption;                   // column 1
  std::string where;                     // column 2: the registry path or the file
  std::string action;                    // column 3: what the repair does
  std::string iconPath;                  // file whose icon the row shows; empty for none
  // Registry findings: the value `value` of `key` (a whole key when `value` is empty), or
  // an id in `value`, as the kind says, in the registry view `view`.
  RegRoot root = RegRoot::LocalMachine;
  RegView view = RegView::Native;
  std::string key, value;
  // Further keys the repair removes with `key`, each in the native view (a desktop item's
  // class registrations).
  std::vector<std::pair<RegRoot, std::string>> moreKeys;
  // File findings: the file.
  std::string path;
  ShortcutRepair repair = ShortcutRepair::Delete;
  // False for a finding the tab can only show (a file too large to read).
  bool repairable = true;
  ShellLinkData repaired;    // what the shortcut holds after StripAddress or Retarget
  std::string repairedText;  // a settings file's new text
  // Line findings (the hosts file): the line's number from 1 and its bytes as read (found
  // again by them when the file has changed since), and the names the repair takes out.
  size_t line = 0;
  std::string lineBytes;
  std::vector<std::string> lineNames;
  // The program file of the browser that must not run while the finding is repaired (it
  // writes its settings back on exit); empty: none.
  std::string program;
};

// ---- what the kinds share --------------------------------------------------------------------
inline constexpr const char* kHijackActionDelete = "删除";
inline constexpr const char* kHijackActionDeleteOnly = "只能删除";
// Why a file could not be read, in the words of the rows: it could not be opened (no right
// to it, or another program holds it), or its content is not what the kind expects.
inline constexpr const char* kCannotOpenFile = "文件无法打开（可能无权读取或正被其他程序使用）";

// A value as a row shows it: at most a couple of hundred characters, on one line.
std::string HijackShown(const std::string& text);
// The registry path of a key (and a value's name after it) as the rows and exports write it.
std::string HijackRegPath(RegRoot root, const std::string& key, const std::string& name = {},
                          RegView view = RegView::Native);

}  // namespace mt
