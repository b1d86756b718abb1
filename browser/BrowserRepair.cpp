#include "browser/BrowserRepair.h"

#include <exception>
#include <stdexcept>

#include "app/AdminRights.h"
#include "app/Backup.h"
#include "app/Constants.h"
#include "app/Error.h"
#include "app/Registry.h"
#include "app/Restore.h"
#include "app/Worker.h"
#include "browser/BrowserHijacks.h"

namespace mt {

BrowserRepairPage::BrowserRepairPage(Services& svc, IconSource& icons, RepairPageView& view,
                                     WindowRef owner)
    : svc_(svc), icons_(icons), view_(view), owner_(owner) {}

BrowserRepairPage::~BrowserRepairPage() = default;

TIESweeper& BrowserRepairPage::Sweeper(RegView view) {
  std::unique_ptr<TIESweeper>& held = view == RegView::Wow32 ? sweeper32_ : sweeper_;
  if (!held) {
    auto fresh = std::make_unique<TIESweeper>(*svc_.registry, icons_, view);
    fresh->OnToolbar = [this](TIESweeper* s, const std::string& n) { AddToolbarRow(s, n); };
    fresh->OnExtension = [this](TIESweeper* s, const std::string& n) { AddExtensionRow(s, n); };
    fresh->OnMenuExtension = [this](TIESweeper* s, const std::string& n, const std::string& v) {
      AddMenuExtensionRow(s, n, v);
    };
    held = std::move(fresh);
  }
  return *held;
}

// ---- the add-on list ---------------------------------------------------------------------

namespace {

// Holds the list's painting from construction to destruction, whatever ends the work.
class ListUpdate {
 public:
  explicit ListUpdate(RepairPageView& view) : view_(view) { view_.BeginUpdate(); }
  ~ListUpdate() { view_.EndUpdate(); }
  ListUpdate(const ListUpdate&) = delete;
  ListUpdate& operator=(const ListUpdate&) = delete;

 private:
  RepairPageView& view_;
};

}  // namespace

template <typename Fill>
void BrowserRepairPage::AppendFilledRow(AddOnRow& row, Fill&& fill) {
  try {
    fill();
  } catch (...) {
    view_.AppendRow(row);
    throw;
  }
  view_.AppendRow(row);
}

namespace {

const char* ViewMark(const TIESweeper* sweeper) {
  return sweeper->View() == RegView::Wow32 ? kAddOn32Mark : "";
}

}  // namespace

std::string AddOnRowTip(const AddOnRow& row) {
  const char* words[2] = {"标识：", "文件："};
  switch (row.store) {
    case AddOnStore::Toolbar: break;
    case AddOnStore::Extension: words[1] = "图标："; break;
    case AddOnStore::MenuExtension: words[0] = "网页："; break;
    case AddOnStore::Hijack:
      words[0] = "位置：";
      words[1] = "修复：";
      break;
  }
  std::string tip = row.caption;
  if (!row.column2.empty()) tip += "\n" + std::string(words[0]) + row.column2;
  if (!row.column3.empty()) tip += "\n" + std::string(words[1]) + row.column3;
  return tip;
}

void BrowserRepairPage::AddToolbarRow(TIESweeper* Sender, const std::string& Name) {
  AddOnRow row;
  row.store = AddOnStore::Toolbar;
  row.view = Sender->View();
  AppendFilledRow(row, [&] {
    row.caption = Sender->ReadClassName(Name) + ViewMark(Sender);
    row.column2 = Name;
    row.column3 = icons_.ShortPath(Sender->ReadClassServer(Name));
    row.image = kImageOnDemand;  // the icon of the short form
  });
}

void BrowserRepairPage::AddExtensionRow(TIESweeper* Sender, const std::string& Name) {
  AddOnRow row;
  row.store = AddOnStore::Extension;
  row.view = Sender->View();
  AppendFilledRow(row, [&] {
    row.caption = Sender->ReadExtensionCaption(Name) + ViewMark(Sender);
    row.column2 = Name;
    row.column3 = Sender->ReadExtensionHotIcon(Name);
    row.image = kImageOnDemand;  // the icon that column 3 names
  });
}

void BrowserRepairPage::AddMenuExtensionRow(TIESweeper* Sender, const std::string& Name,
                                            const std::string& Value) {
  AddOnRow row;
  row.store = AddOnStore::MenuExtension;
  row.view = Sender->View();
  row.caption = Name;
  row.column2 = Value;
  view_.AppendRow(row);
}

int BrowserRepairPage::RowImage(int index) {
  const AddOnRow& row = view_.Row(index);
  if (row.image != kImageOnDemand) return row.image;
  int image = -1;
  if (row.store == AddOnStore::Toolbar) image = Sweeper().AddFileIcon(row.column3, view_.Images());
  else if (row.store == AddOnStore::Extension)
    image = Sweeper().AddIconFromSpec(SplitIconText(row.column3), view_.Images());
  else if (row.store == AddOnStore::Hijack && row.hijack && !row.hijack->iconPath.empty())
    image = icons_.AppendAssociatedIcon(view_.Images(), row.hijack->iconPath, 0);
  view_.SetRowImage(index, image);
  return image;
}

void BrowserRepairPage::FillAddOnList() {
  // The hijacks (profiles, hosts, image hijacks, shortcuts...) are looked for on a thread of
  // their own while the add-on stores are listed here; their rows follow once both are done.
  // What the search throws is thrown here, as if it had run on this thread.
  std::vector<Hijack> hijacks;
  std::exception_ptr failed;
  Worker finding([this, &hijacks, &failed] {
    try {
      hijacks = FindBrowserHijacks(svc_);
    } catch (...) {
      failed = std::current_exception();
    }
  });
  TIESweeper& native = Sweeper(RegView::Native);
  TIESweeper& wow32 = Sweeper(RegView::Wow32);
  ListUpdate update(view_);
  view_.ClearRows();
  native.ListToolbars();
  native.ListExtensions();
  native.ListMenuExtensions();
  // The 32-bit browser's stores follow. Its menu extensions are the ones just listed:
  // HKEY_CURRENT_USER\Software is one key in both views.
  wow32.ListToolbars();
  wow32.ListExtensions();
  finding.Join();
  if (failed) std::rethrow_exception(failed);
  for (Hijack& found : hijacks) {
    AddOnRow row;
    row.store = AddOnStore::Hijack;
    auto h = std::make_shared<const Hijack>(std::move(found));
    row.caption = h->caption;
    row.column2 = h->where;
    row.column3 = h->action;
    row.image = h->iconPath.empty() ? -1 : kImageOnDemand;
    row.hijack = std::move(h);
    view_.AppendRow(row);
  }
}

void BrowserRepairPage::RemoveCheckedAddOns() {
  ListUpdate update(view_);
  for (int i = view_.RowCount() - 1; i >= 0; --i) {
    if (!view_.RowChecked(i)) continue;
    const AddOnRow row = view_.Row(i);
    if (!machineAllowed_ && IsMachineRow(row)) continue;
    TIESweeper& sweeper = Sweeper(row.view);
    switch (row.store) {
      case AddOnStore::Toolbar: sweeper.DeleteToolbar(row.column2); break;
      case AddOnStore::Extension: sweeper.DeleteExtension(row.column2); break;
      case AddOnStore::MenuExtension: sweeper.DeleteMenuExtension(row.caption); break;
      case AddOnStore::Hijack:
        // Refused when the set was saved: not saved, so not touched now either, even when
        // its browser has closed since.
        if (auto refused = refused_.find(i); refused != refused_.end()) {
          unrepaired_.push_back(row.caption + "（" + refused->second + kRefusedNotSaved + "）");
          continue;
        }
        // One finding that cannot be undone (a shortcut the user may not write, a policy
        // key refused) does not hold up the others; the apply names it afterwards.
        try {
          if (row.hijack) RepairHijack(svc_, *row.hijack);
        } catch (const std::exception&) {
          unrepaired_.push_back(row.caption);
          continue;
        }
        break;
    }
    view_.DeleteRow(i);
  }
}

// ---- show ------------------------------------------------------------------------------------

void BrowserRepairPage::TabSheet3Show() {
  // Fresh sweepers for every showing; the ones held before go.
  sweeper_.reset();
  sweeper32_.reset();
  FillAddOnList();
  ShowSettings();
}

void BrowserRepairPage::ShowSettings() {
  TRegistry reg(*svc_.registry);
  // Without administrator rights the machine's key is only read: the defaults of a missing
  // value are not written (the write would be refused), the box stays empty.
  const bool admin = HoldsAdminRights(svc_);

  reg.SetRootKey(RegRoot::LocalMachine);
  if (reg.OpenKey(kIeMainKey, admin)) {
    if (admin && !reg.ValueExists(kWindowTitleValue))
      reg.WriteString(kWindowTitleValue, kDefaultWindowTitle);
    view_.SetEdtitle(reg.ReadString(kWindowTitleValue));
  }
  reg.CloseKey();

  if (reg.OpenKey(kIeMainKey, admin)) {
    if (admin && !reg.ValueExists(kStartPageValue))
      reg.WriteString(kStartPageValue, kDefaultStartPage);
    view_.SetEdpage(reg.ReadString(kStartPageValue));
  }
  reg.CloseKey();

  // Registry-tools lock. A key on the way that cannot be had counts as no lock; nothing is
  // created elsewhere in its place.
  reg.SetRootKey(RegRoot::CurrentUser);
  bool systemOpen = false;
  if (reg.OpenKey("software\\Microsoft\\Windows\\CurrentVersion\\Policies", true)) {
    bool haveSystem = reg.KeyExists("System");
    if (!haveSystem) {
      try {
        haveSystem = reg.CreateKey("System");
      } catch (const AppError&) {
        haveSystem = false;
      }
    }
    systemOpen = haveSystem && reg.OpenKey("System", false);
  }
  if (!systemOpen || !reg.ValueExists(kRegistryToolsLockValue)) {
    view_.SelectRbregtooln();
  } else if (reg.ReadInteger(kRegistryToolsLockValue) == 1) {
    view_.SelectRbregtool();
  }
  reg.CloseKey();

  // Home-page lock: the DWORD 1 or the text "1" ticks the box; nothing ever clears it here.
  if (reg.OpenKey("Software\\Policies\\Microsoft", true) &&
      reg.OpenKey("Internet Explorer", true) && reg.OpenKey("Control Panel", true)) {
    std::optional<RegDataType> type = reg.GetDataType(kHomePageLockValue);
    bool locked = false;
    if (type == RegDataType::Integer) locked = reg.ReadInteger(kHomePageLockValue) == 1;
    else if (type == RegDataType::String || type == RegDataType::ExpandString)
      locked = reg.ReadString(kHomePageLockValue) == "1";
    if (locked) view_.SetCbsetpage(true);
  }
  reg.CloseKey();
}

// ---- apply -------------------------------------------------------------------------------

void BrowserRepairPage::SbiedefaultClick() {
  machineAllowed_ = HoldsAdminRights(svc_);
  // For this apply only: a removal on its own tries everything, as it always did.
  struct Reset {
    bool& allowed;
    std::map<int, std::string>& refused;
    ~Reset() {
      allowed = true;
      refused.clear();
    }
  } reset{machineAllowed_, refused_};
  refused_.clear();
  shortcutFolders_.clear();
  std::vector<std::string> leftForAdmin;
  // Once the set is written, a notice that ends the repair says where the way back is.
  bool backedUp = false;
  try {
    view_.SetEdpage(kDefaultStartPage);
    view_.SetEdtitle(kDefaultWindowTitle);
    if (!machineAllowed_) {
      if (svc_.shortcuts) shortcutFolders_ = svc_.shortcuts->Folders();
      leftForAdmin = LeftForAdmin();
    }
    DeletionBackup backup(ChangeEnvOf(svc_), DataFolder(svc_.exeDir, svc_.places), "browser");
    if (!SaveDeletions(backup)) {
      svc_.messages->Show(owner_, kBackupFailedText, kNoticeCaption, kMbOk);
      return;
    }
    backedUp = !backup.Empty();
    // The set learns what the repair left, even when a part of it was refused.
    struct SealAtEnd {
      DeletionBackup& set;
      ~SealAtEnd() {
        if (!set.Empty()) set.Seal();
      }
    } seal{backup};
    ApplySettings();
    unrepaired_.clear();
    RemoveCheckedAddOns();
    FillAddOnList();
    if (!unrepaired_.empty()) {
      std::string text = kHijackRepairFailedText;
      // Walked from the last row: name them top to bottom.
      for (auto it = unrepaired_.rbegin(); it != unrepaired_.rend(); ++it) text += "\n" + *it;
      if (backedUp) text += std::string("\n\n") + kBackedUpLine;
      svc_.messages->Show(owner_, text, kNoticeCaption, kMbOk);
    }
    if (!leftForAdmin.empty()) TellAdminNeeded(*svc_.messages, owner_, leftForAdmin);
  } catch (const std::exception&) {
    // Whatever was written stays written; the rest is not done.
    svc_.messages->Show(owner_,
                        backedUp ? std::string(kApplyRefused) + "\n\n" + kBackedUpLine
                                 : std::string(kApplyRefused),
                        kNoticeCaption, kMbOk);
  }
}

bool BrowserRepairPage::IsMachineRow(const AddOnRow& row) const {
  switch (row.store) {
    case AddOnStore::Toolbar:
    case AddOnStore::Extension: return true;  // the machine's add-on stores
    case AddOnStore::MenuExtension: return false;
    case AddOnStore::Hijack: return row.hijack && IsMachineWide(*row.hijack, shortcutFolders_);
  }
  return false;
}

std::vector<std::string> BrowserRepairPage::LeftForAdmin() {
  std::vector<std::string> left;
  if (MachineSettingsDiffer()) left.push_back(kMachineSettingsItem);
  for (int i = 0; i < view_.RowCount(); ++i)
    if (view_.RowChecked(i) && IsMachineRow(view_.Row(i))) left.push_back(view_.Row(i).caption);
  return left;
}

namespace {

// Whether `name` under `key` already holds what the apply writes: then it is not saved.
bool Holds(RegistryBackend& registry, RegRoot root, RegView view, const std::string& key,
           const std::string& name, const RegValue& wanted) {
  const std::string path = key.rfind('\\', 0) == 0 ? key.substr(1) : key;
  auto open = registry.Open(root, nullptr, path, false, view);
  if (!open) return false;
  auto v = registry.Query(*open, name);
  return v && v->type == wanted.type &&
         (wanted.type == RegDataType::Integer ? v->dword == wanted.dword : v->text == wanted.text);
}

}  // namespace

bool BrowserRepairPage::MachineSettingsDiffer() {
  for (RegView v : {RegView::Native, RegView::Wow32})
    for (const auto& [name, text] :
         {std::pair<const char*, std::string>{kWindowTitleValue, view_.Edtitle()},
          {kStartPageValue, view_.Edpage()}}) {
      RegValue wanted;
      wanted.text = text;
      if (!Holds(*svc_.registry, RegRoot::LocalMachine, v, kIeMainKey, name, wanted)) return true;
    }
  return false;
}

bool BrowserRepairPage::SaveDeletions(DeletionBackup& backup) {
  RegistryBackend& registry = *svc_.registry;
  // The two machine-wide settings the apply overwrites in both views, as they are now.
  for (RegView v : {RegView::Native, RegView::Wow32}) {
    if (!machineAllowed_) break;
    backup.SetCaption(v == RegView::Native ? "IE 默认主页和窗口标题"
                                           : "IE 默认主页和窗口标题（32位）");
    for (const auto& [name, text] :
         {std::pair<const char*, const char*>{kWindowTitleValue, kDefaultWindowTitle},
          {kStartPageValue, kDefaultStartPage}}) {
      RegValue wanted;
      wanted.text = text;
      if (!Holds(registry, RegRoot::LocalMachine, v, kIeMainKey, name, wanted))
        backup.SaveOverwrite(RegRoot::LocalMachine, v, kIeMainKey, name);
    }
  }
  // The locks the apply is about to clear or set.
  RegValue one;
  one.type = RegDataType::Integer;
  one.dword = 1;
  backup.SetCaption("设置主页：禁止");
  if (!view_.CbsetpageChecked())
    backup.SaveValue(RegRoot::CurrentUser, RegView::Native, kHomePageLockKey, kHomePageLockValue);
  else if (!Holds(registry, RegRoot::CurrentUser, RegView::Native, kHomePageLockKey,
                  kHomePageLockValue, one))
    backup.SaveOverwrite(RegRoot::CurrentUser, RegView::Native, kHomePageLockKey,
                         kHomePageLockValue);
  backup.SetCaption("注册表：禁止");
  if (!view_.RbregtoolChecked())
    backup.SaveValue(RegRoot::CurrentUser, RegView::Native, kRegistryToolsLockKey,
                     kRegistryToolsLockValue);
  else if (!Holds(registry, RegRoot::CurrentUser, RegView::Native, kRegistryToolsLockKey,
                  kRegistryToolsLockValue, one))
    backup.SaveOverwrite(RegRoot::CurrentUser, RegView::Native, kRegistryToolsLockKey,
                         kRegistryToolsLockValue);
  // The ticked add-ons, each from the store and view it was listed from.
  for (int i = view_.RowCount() - 1; i >= 0; --i) {
    if (!view_.RowChecked(i)) continue;
    const AddOnRow row = view_.Row(i);
    if (!machineAllowed_ && IsMachineRow(row)) continue;
    backup.SetCaption(row.caption);
    switch (row.store) {
      case AddOnStore::Toolbar:
        if (!row.column2.empty())
          backup.SaveValue(RegRoot::LocalMachine, row.view, kToolbarStore, row.column2);
        break;
      case AddOnStore::Extension:
        if (!row.column2.empty() && row.column2.find('\\') == std::string::npos)
          backup.SaveKey(RegRoot::LocalMachine, row.view,
                         std::string(kExtensionStore) + "\\" + row.column2);
        break;
      case AddOnStore::MenuExtension:
        if (!row.caption.empty() && row.caption.find('\\') == std::string::npos)
          backup.SaveKey(RegRoot::CurrentUser, RegView::Native,
                         std::string(kMenuExtensionStore) + "\\" + row.caption);
        break;
      case AddOnStore::Hijack:
        if (!row.hijack) break;
        // A finding its browser keeps from being repaired now is left out of the set: it
        // will not be changed.
        if (std::string why = HijackRefusal(svc_, *row.hijack); !why.empty()) {
          refused_[i] = std::move(why);
          break;
        }
        SaveHijack(backup, *row.hijack);
        break;
    }
  }
  return backup.Empty() || backup.Write(BackupStamp());
}

void BrowserRepairPage::ApplySettings() {
  TRegistry reg(*svc_.registry);

  // The machine-wide key is left alone without administrator rights (the apply names it when
  // it would have changed). Where the key cannot be had all the same, nothing is written and
  // nothing said. On 64-bit Windows the key has a second copy in the 32-bit view, which the
  // 32-bit browser reads (and what hijacks it writes): both are set.
  for (RegView view : {RegView::Native, RegView::Wow32}) {
    if (!machineAllowed_) break;
    reg.SetView(view);
    reg.SetRootKey(RegRoot::LocalMachine);
    if (reg.OpenKey(kIeMainKey, true)) reg.WriteString(kWindowTitleValue, view_.Edtitle());
    reg.CloseKey();
    if (reg.OpenKey(kIeMainKey, true)) reg.WriteString(kStartPageValue, view_.Edpage());
    reg.CloseKey();
  }
  reg.SetView(RegView::Native);

  // The locks go on whether or not their key opened: setting one without a key fails (and
  // ends the apply), clearing one without a key does nothing.
  reg.SetRootKey(RegRoot::CurrentUser);
  reg.OpenKey(kHomePageLockKey, true);
  if (view_.CbsetpageChecked()) reg.WriteInteger(kHomePageLockValue, 1);
  else if (reg.ValueExists(kHomePageLockValue)) reg.DeleteValue(kHomePageLockValue);
  reg.CloseKey();

  reg.OpenKey(kRegistryToolsLockKey, true);
  if (view_.RbregtoolChecked()) reg.WriteInteger(kRegistryToolsLockValue, 1);
  else if (reg.ValueExists(kRegistryToolsLockValue)) reg.DeleteValue(kRegistryToolsLockValue);
  reg.CloseKey();
}

}  // namespace mt
