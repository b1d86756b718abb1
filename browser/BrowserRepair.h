// The browser-repair page: the add-on list (rows built from TIESweeper's events, removal of
// the ticked ones) and the two handlers of the page, the show that reads the browser's
// settings and locks into the controls and the "自动反修" apply that writes them. The logic
// sees the page's controls through RepairPageView, so it runs on any registry backend.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/Services.h"
#include "browser/IESweeperEx.h"
#include "app/Shortcuts.h"
#include "browser/IconSource.h"

namespace mt {

class DeletionBackup;

// Machine-wide browser settings and the two per-user policy locks.
inline constexpr const char* kIeMainKey = "\\Software\\Microsoft\\Internet explorer\\Main";
inline constexpr const char* kWindowTitleValue = "Window Title";
inline constexpr const char* kStartPageValue = "Start Page";
inline constexpr const char* kDefaultWindowTitle = "Microsoft Internet explorer";
inline constexpr const char* kDefaultStartPage = "about:blank";
inline constexpr const char* kHomePageLockKey =
    "Software\\Policies\\Microsoft\\Internet Explorer\\Control Panel";
inline constexpr const char* kHomePageLockValue = "homepage";
inline constexpr const char* kRegistryToolsLockKey =
    "software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
inline constexpr const char* kRegistryToolsLockValue = "DisableRegistryTools";
inline constexpr const char* kApplyRefused = "被杀毒软件拦截，修改失败";

struct Hijack;  // browser/BrowserHijacks.h

// Which store an add-on row was listed from; its removal goes to that store alone, in the
// registry view the row was listed from. A Hijack row is a finding about today's browsers
// (a policy, an enrolment, a shortcut, Firefox's policies.json) that follows the add-ons.
enum class AddOnStore { Toolbar, Extension, MenuExtension, Hijack };

// Put after the caption of a row from the 32-bit browser's stores, so that an add-on that is
// registered for both browsers shows as two rows that can be told apart.
inline constexpr const char* kAddOn32Mark = " (32位)";

// A row whose icon is taken from the shell the first time the list asks for it (when the row
// is first drawn), so that a long list shows without extracting every icon first.
inline constexpr int kImageOnDemand = -2;

// One row of the add-on list: caption (column 1), columns 2 and 3, its image (-1: none).
struct AddOnRow {
  std::string caption;
  std::string column2;
  std::string column3;
  int image = -1;
  AddOnStore store = AddOnStore::Toolbar;
  RegView view = RegView::Native;
  std::shared_ptr<const Hijack> hijack;  // Hijack rows: what was found and how it is undone
};

// The add-on list's column headers: the row, what names it (an add-on's id, a value's
// address, a finding's registry path or file), and its file or what its repair does.
inline constexpr const char* kAddOnColumns[3] = {"IE扩展项目", "标识/位置", "文件/修复"};

// What hovering a row shows: its whole caption, then its columns 2 and 3 (those that are not
// empty) on lines of their own, each after the word for what it holds in that row's store.
std::string AddOnRowTip(const AddOnRow& row);

// Told after an apply when some ticked findings could not be repaired; their captions follow.
inline constexpr const char* kHijackRepairFailedText = "以下项目未能修复：";
// Follows the reason of a finding refused before the set was saved (its browser runs).
inline constexpr const char* kRefusedNotSaved = "，未修改，未备份";
// How the administrator-rights notice names the machine-wide start page and title.
inline constexpr const char* kMachineSettingsItem = "IE起始页和窗口标题（本机设置）";

// The page's controls as the logic uses them.
class RepairPageView {
 public:
  virtual ~RepairPageView() = default;
  virtual std::string Edpage() = 0;
  virtual void SetEdpage(const std::string& text) = 0;
  virtual std::string Edtitle() = 0;
  virtual void SetEdtitle(const std::string& text) = 0;
  // The two radio buttons form one group: selecting one clears the other.
  virtual bool RbregtoolChecked() = 0;
  virtual void SelectRbregtool() = 0;
  virtual void SelectRbregtooln() = 0;
  virtual bool CbsetpageChecked() = 0;
  virtual void SetCbsetpage(bool checked) = 0;

  // The add-on list and its image list.
  // Between the two the list is not repainted: it is drawn once, complete, at the end.
  virtual void BeginUpdate() = 0;
  virtual void EndUpdate() = 0;
  virtual void ClearRows() = 0;
  // Appends an unticked row. A row with kImageOnDemand asks RowImage when it is first drawn.
  virtual void AppendRow(const AddOnRow& row) = 0;
  virtual int RowCount() = 0;
  virtual const AddOnRow& Row(int index) = 0;
  virtual void SetRowImage(int index, int image) = 0;
  virtual bool RowChecked(int index) = 0;
  virtual void DeleteRow(int index) = 0;
  virtual ImageListRef Images() = 0;
};

class BrowserRepairPage {
 public:
  // `owner` owns the failure message of the apply.
  BrowserRepairPage(Services& svc, IconSource& icons, RepairPageView& view, WindowRef owner);
  ~BrowserRepairPage();
  BrowserRepairPage(const BrowserRepairPage&) = delete;
  BrowserRepairPage& operator=(const BrowserRepairPage&) = delete;

  // The page was shown: a fresh sweeper fills the list, then the settings are read into the
  // controls, the two defaults written where missing. Errors propagate to the caller.
  void TabSheet3Show();
  // "自动反修": defaults into the edit boxes, every setting and lock written, the ticked
  // add-ons removed and the list filled again. Any failure ends it with kApplyRefused. What
  // it deletes is saved in a backup set first; when that cannot be written nothing is
  // written or deleted and the user is told so. Without administrator rights what belongs
  // to the whole machine (the start page and title under HKLM, the add-on stores, HKLM
  // policies, enrolments, shared shortcuts, policies.json) is left alone and named in one
  // notice at the end; the user's own settings and findings are repaired as usual.
  void SbiedefaultClick();

  // Handlers bound to the sweepers' events: each builds one row, in the view of the sweeper
  // that raised it, and appends it.
  void AddToolbarRow(TIESweeper* Sender, const std::string& Name);
  void AddExtensionRow(TIESweeper* Sender, const std::string& Name);
  void AddMenuExtensionRow(TIESweeper* Sender, const std::string& Name, const std::string& Value);
  // Native toolbars, native extensions, menu extensions, the 32-bit browser's toolbars
  // and extensions, then the findings about today's browsers.
  void FillAddOnList();
  // Deletes the registration of every ticked row from the store and view that row came from,
  // walking from the last row to the first and dropping each row as it goes. A finding that
  // cannot be repaired is kept in the list and remembered for the apply's notice. During an
  // apply without administrator rights the machine's rows are kept as they are.
  void RemoveCheckedAddOns();
  // The image of row `index`: a toolbar row's icon is that of its server file, an extension
  // row's the one its "HotIcon" names, appended to the image list on the first call; -1 for
  // none.
  int RowImage(int index);

  // The sweeper of the native view made by the last show (null before the first).
  TIESweeper* IESweeper() const { return sweeper_.get(); }

 private:
  void ShowSettings();
  void ApplySettings();
  // Whether a row's removal changes what belongs to the whole machine.
  bool IsMachineRow(const AddOnRow& row) const;
  // Whether the apply would change the machine-wide start page or title.
  bool MachineSettingsDiffer();
  // What an apply without administrator rights leaves alone, as the notice names it.
  std::vector<std::string> LeftForAdmin();
  // Saves what the apply is about to delete (cleared locks, ticked add-ons) in a backup set.
  // False when the set could not be written.
  bool SaveDeletions(DeletionBackup& backup);
  // The sweeper of `view`, made and bound when there is none.
  TIESweeper& Sweeper(RegView view = RegView::Native);
  // Runs `fill` on `row`, then appends the row. A row whose read fails is appended as far as
  // it got, and the error goes on.
  template <typename Fill>
  void AppendFilledRow(AddOnRow& row, Fill&& fill);

  Services& svc_;
  IconSource& icons_;
  RepairPageView& view_;
  WindowRef owner_;
  std::unique_ptr<TIESweeper> sweeper_, sweeper32_;
  std::vector<std::string> unrepaired_;  // captions of findings the last removal could not undo
  // During an apply: the rows (by index) whose findings were refused when the set was saved,
  // with the reason; they are neither saved nor repaired.
  std::map<int, std::string> refused_;
  // Set by each apply: whether the machine's settings may be changed, and the shortcut
  // folders that all users share.
  bool machineAllowed_ = true;
  std::vector<ShortcutFolder> shortcutFolders_;
};

}  // namespace mt
