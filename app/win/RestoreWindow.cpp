#include "app/win/RestoreWindow.h"

#include <commctrl.h>

#include <algorithm>

#include "app/Backup.h"
#include "app/Constants.h"
#include "app/Error.h"
#include "app/Path.h"
#include "app/UiGate.h"

namespace mt {

namespace {

constexpr wchar_t kWindowClass[] = L"MtRestoreWindow";
constexpr int kClientW = 600, kClientH = 420;
// Item rows of the unplaced copies of a legacy set: their lParam is this plus the copy's index.
constexpr LPARAM kUnplacedRow = 1 << 30;
// shownSet_ after the sets were read again: the item list is filled anew whatever is chosen.
constexpr int kNoSetShown = -2;
constexpr wchar_t kConfirmClass[] = L"MtRestoreConfirm";

struct Column {
  const char* caption;
  int width96;
};
constexpr Column kSetColumns[] = {{"备份时间", 130}, {"工具", 80}, {"项目数", 56}, {"状态", 300}};
constexpr Column kItemColumns[] = {{"项目", 220}, {"位置", 270}, {"状态", 96}};

std::unique_ptr<RestoreWindow> openWindow;

void AddColumns(HWND list, const Column* columns, int count, const Window& window) {
  for (int i = 0; i < count; ++i) {
    std::wstring caption = Widen(columns[i].caption);
    LVCOLUMNW col = {};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    col.pszText = caption.data();
    col.cx = window.Scale(columns[i].width96);
    col.iSubItem = i;
    ::SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&col));
  }
}

int AddRow(HWND list, const std::vector<std::string>& texts, LPARAM param) {
  std::wstring first = Widen(texts.empty() ? std::string() : texts[0]);
  LVITEMW lv = {};
  lv.mask = LVIF_TEXT | LVIF_PARAM;
  lv.iItem = ListView_GetItemCount(list);
  lv.pszText = first.data();
  lv.lParam = param;
  const int row = static_cast<int>(
      ::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&lv)));
  if (row < 0) throw AppError("Out of system resources");
  for (size_t c = 1; c < texts.size(); ++c) {
    std::wstring text = Widen(texts[c]);
    LVITEMW sub = {};
    sub.iSubItem = static_cast<int>(c);
    sub.pszText = text.data();
    ::SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&sub));
  }
  return row;
}

LPARAM RowParam(HWND list, int row) {
  LVITEMW lv = {};
  lv.mask = LVIF_PARAM;
  lv.iItem = row;
  ::SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&lv));
  return lv.lParam;
}

std::string SetState(const BackupSetInfo& set) {
  if (!set.damage.empty()) return set.damage;
  std::string state;
  if (set.legacy) state = kLegacySetText;
  if (!set.restoreOf.empty()) state = "由恢复生成（恢复自 " + SetTimeText(set.restoreOf) + "）";
  return state;
}

// The words of a question about one item: its caption, and its place when that says more.
std::string ItemWords(const SetItem& item) {
  const std::string place = item.change->Place();
  if (item.caption.empty()) return place;
  return "“" + item.caption + "”\n位置：" + place;
}

HRESULT CALLBACK FileChoiceCallback(HWND dialog, UINT note, WPARAM, LPARAM, LONG_PTR data) {
  auto* window = reinterpret_cast<RestoreWindow*>(data);
  if (note == TDN_CREATED && window->fileChoiceShown) window->fileChoiceShown(dialog);
  return S_OK;
}

}  // namespace

std::string SetTimeText(const std::string& name) {
  std::string text = name;
  // "YYYY-MM-DD HH.MM.SS": the time's dots are there only because a folder name has no colon.
  if (text.size() >= 19 && text[10] == ' ' && text[13] == '.' && text[16] == '.') {
    text[13] = ':';
    text[16] = ':';
  }
  return text;
}

RestoreWindow::RestoreWindow(Services& services, HWND owner)
    : svc(services), owner_(owner), basicKinds_(ChangeKinds::Basic()) {
  kinds_ = svc.changeKinds ? svc.changeKinds : &basicKinds_;
  dataDir_ = DataFolder(svc.exeDir, svc.places);
}

RestoreWindow::~RestoreWindow() {
  StopRestoring();
  StopReading();
}

void RestoreWindow::ShowErrorReport(const std::string& message) {
  try {
    svc.messages->Show(Handle, ErrorReportText(message), kApplicationTitle, kMbOk | kMbIconError);
  } catch (...) {
    // Nothing is left to report with.
  }
}

int RestoreWindow::Notice(const std::string& text, unsigned style) {
  return svc.messages->Show(Handle, text, kRestoreWindowTitle, style);
}

// ---- creation ------------------------------------------------------------------------------

void RestoreWindow::Create() {
  CreateFrame({kWindowClass, kRestoreWindowTitle, kDialogFrameStyle | WS_MINIMIZEBOX,
               kDialogFrameExStyle, kClientW, kClientH, owner_, true});
  // Created in tab order: the two lists, then the buttons left to right.
  AddLabel(Handle, "备份（新的在前）：", 8, 8, 400, 14);
  SetList = AddControl(Handle, WC_LISTVIEWW, "",
                       WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, 8, 24, 584, 140,
                       WS_EX_CLIENTEDGE);
  ListView_SetExtendedListViewStyle(SetList, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  AddColumns(SetList, kSetColumns, 4, *this);
  AddLabel(Handle, "所选备份中的项目（勾选要恢复的项目）：", 8, 172, 400, 14);
  ItemList = AddControl(Handle, WC_LISTVIEWW, "", WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS, 8,
                        188, 584, 168, WS_EX_CLIENTEDGE);
  ListView_SetExtendedListViewStyle(ItemList,
                                    LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  AddColumns(ItemList, kItemColumns, 3, *this);
  StatusLabel = AddLabel(Handle, "", 8, 362, 584, 14, SS_LEFTNOWORDWRAP | SS_ENDELLIPSIS);
  RestoreChosenButton = AddButton(Handle, "恢复所选(&R)", 8, 386, 80, 25);
  RestoreAllButton = AddButton(Handle, "恢复全部(&A)", 94, 386, 80, 25);
  DeleteButton = AddButton(Handle, "删除备份(&D)", 180, 386, 80, 25);
  ShowInExplorerButton = AddButton(Handle, "在资源管理器中显示(&E)", 266, 386, 136, 25);
  OpenFolderButton = AddButton(Handle, std::string(kOpenBackupFolderText) + "(&O)", 408, 386, 104,
                               25);
  CloseButton = AddButton(Handle, "关闭(&C)", 518, 386, 74, 25);

  OnClick(RestoreChosenButton, [this] { RestoreChosenClick(); });
  OnClick(RestoreAllButton, [this] { RestoreAllClick(); });
  OnClick(DeleteButton, [this] { DeleteSetClick(); });
  OnClick(ShowInExplorerButton, [this] { ShowInExplorerClick(); });
  OnClick(OpenFolderButton, [this] { OpenFolderClick(); });
  OnClick(CloseButton, [this] { OnEscape(); });

  // Choosing a set lists its items; Del deletes the chosen set, F5 reads the sets again.
  OnNotify(SetList, [this](NMHDR* nm) -> LRESULT {
    if (nm->code == LVN_ITEMCHANGED && !filling_) {
      auto* change = reinterpret_cast<NMLISTVIEW*>(nm);
      if ((change->uNewState ^ change->uOldState) & LVIS_SELECTED) FillItems();
    } else if (nm->code == LVN_KEYDOWN) {
      const WORD key = reinterpret_cast<NMLVKEYDOWN*>(nm)->wVKey;
      if (key == VK_DELETE) DeleteSetClick();
      if (key == VK_F5) Refresh();
    }
    return 0;
  });
  OnNotify(ItemList, [this](NMHDR* nm) -> LRESULT {
    if (nm->code == LVN_ITEMCHANGED && !filling_) UpdateButtons();
    return 0;
  });
  OnContextMenu(SetList, {{"恢复全部", [this] { RestoreAllClick(); }},
                          {"删除备份", [this] { DeleteSetClick(); }},
                          {"刷新", [this] { Refresh(); }}});
  OnContextMenu(ItemList, {{"全部勾选",
                            [this] {
                              const BackupSetInfo* set = Chosen();
                              std::vector<size_t> all;
                              for (size_t i = 0; set && i < set->items.size(); ++i)
                                all.push_back(i);
                              TickItems(all);
                            }},
                           {"全部不勾选", [this] { TickItems({}); }},
                           {"在资源管理器中显示", [this] { ShowInExplorerClick(); }}});
  Refresh();
}

void RestoreWindow::Show() {
  ::ShowWindow(Handle, SW_SHOWNORMAL);
  ::UpdateWindow(Handle);
}

void RestoreWindow::SetColumnWidths() {
  for (int i = 0; i < 4; ++i) ListView_SetColumnWidth(SetList, i, Scale(kSetColumns[i].width96));
  for (int i = 0; i < 3; ++i) ListView_SetColumnWidth(ItemList, i, Scale(kItemColumns[i].width96));
}

void RestoreWindow::OnDpiChanged() { SetColumnWidths(); }

void RestoreWindow::OnEscape() {
  if (busy_) return;  // a restore is asking something: its own dialog takes the key
  ::DestroyWindow(Handle);
}

void RestoreWindow::OnDestroying() {
  StopRestoring();
  StopReading();
}

// ---- reading the sets ------------------------------------------------------------------------

void RestoreWindow::StopReading() {
  if (stop_) stop_->store(true);
  if (reader_.Joinable()) reader_.Join();
}

void RestoreWindow::Refresh() {
  if (busy_) return;
  StopReading();
  const uint64_t generation = ++generation_;
  stop_ = std::make_shared<std::atomic<bool>>(false);
  reading_ = true;
  SetText(StatusLabel, "正在读取备份…");
  UpdateButtons();
  // The worker reads through copies of what it needs and never touches a window: the sets
  // reach the window through its gate, and only the latest reading is shown.
  const ChangeEnv env = ChangeEnvOf(svc);
  const ChangeKinds* kinds = kinds_;
  const std::string dataDir = dataDir_;
  std::shared_ptr<std::atomic<bool>> stop = stop_;
  std::shared_ptr<UiGate> gate = Gate();
  reader_ = Worker([this, env, kinds, dataDir, stop, gate, generation] {
    auto sets = std::make_shared<std::vector<BackupSetInfo>>();
    try {
      for (const std::string& folder : BackupSetFolders(*env.files, dataDir)) {
        if (stop->load()) return;
        sets->push_back(ReadBackupSet(env, *kinds, folder, SealCheck::Later));
      }
    } catch (const std::exception&) {
      // Out of memory, say: the sets read so far are listed, and the window stays usable.
    }
    if (stop->load()) return;
    HandOverUntilTaken([&gate](std::function<void()> work) { return gate->Send(std::move(work)); },
                       [this, sets, generation] {
                         if (generation == generation_) ShowSets(std::move(*sets));
                       });
  });
}

void RestoreWindow::ShowSets(std::vector<BackupSetInfo> sets) {
  if (reader_.Joinable()) reader_.Join();  // its last step was this hand-over
  // The set chosen before stays chosen when it is still there.
  const std::string chosenName = ChosenSet() >= 0 ? sets_[ChosenSet()].name : std::string();
  sets_ = std::move(sets);
  reading_ = false;
  shownSet_ = kNoSetShown;
  filling_ = true;
  ::SendMessageW(SetList, WM_SETREDRAW, FALSE, 0);
  ListView_DeleteAllItems(SetList);
  int chosen = sets_.empty() ? -1 : 0;
  for (size_t i = 0; i < sets_.size(); ++i) {
    const BackupSetInfo& set = sets_[i];
    const std::string count = set.damage.empty()
                                  ? std::to_string(set.items.size() + set.unplacedFiles.size())
                                  : "";
    AddRow(SetList, {SetTimeText(set.name), ToolTitle(set.tool), count, SetState(set)},
           static_cast<LPARAM>(i));
    if (!chosenName.empty() && set.name == chosenName) chosen = static_cast<int>(i);
  }
  ::SendMessageW(SetList, WM_SETREDRAW, TRUE, 0);
  filling_ = false;
  SetText(StatusLabel, sets_.empty() ? "没有备份" : "");
  if (chosen >= 0) ChooseSet(chosen);
  else FillItems();
}

int RestoreWindow::ChosenSet() const {
  const int row = ListView_GetNextItem(SetList, -1, LVNI_SELECTED);
  // The rows and sets_ change together (ShowSets), so a row always names a set of sets_.
  if (row < 0) return -1;
  const LPARAM index = RowParam(SetList, row);
  return index >= 0 && static_cast<size_t>(index) < sets_.size() ? static_cast<int>(index) : -1;
}

const BackupSetInfo* RestoreWindow::Chosen() const {
  const int index = ChosenSet();
  return index >= 0 ? &sets_[static_cast<size_t>(index)] : nullptr;
}

void RestoreWindow::ChooseSet(int index) {
  ListView_SetItemState(SetList, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_EnsureVisible(SetList, index, FALSE);
  FillItems();
}

void RestoreWindow::FillItems() {
  const int index = ChosenSet();
  if (index == shownSet_) {
    UpdateButtons();
    return;
  }
  shownSet_ = index;
  if (index >= 0) CheckSeal(ChangeEnvOf(svc), sets_[static_cast<size_t>(index)]);
  const BackupSetInfo* set = Chosen();
  filling_ = true;
  ::SendMessageW(ItemList, WM_SETREDRAW, FALSE, 0);
  ListView_DeleteAllItems(ItemList);
  if (set) {
    // Machine-wide items of a set whose seal does not hold cannot be restored from it.
    const ChangeEnv env = ChangeEnvOf(svc);
    for (size_t i = 0; i < set->items.size(); ++i) {
      const SetItem& item = set->items[i];
      std::string state;
      try {
        if (!set->sealed && !set->legacy && item.change->MachineWide(env))
          state = std::string(kDamagedSetText) + "：未通过验证";
      } catch (const std::exception&) {
      }
      const std::string place = item.change->Place();
      AddRow(ItemList, {item.caption.empty() ? place : item.caption, place, state},
             static_cast<LPARAM>(i));
    }
    // Copies of files whose place nothing recorded: shown, never restored, so no check box.
    for (size_t i = 0; i < set->unplacedFiles.size(); ++i) {
      const int row = AddRow(ItemList, {FileNameOf(set->unplacedFiles[i]), kUnknownPlaceText, ""},
                             kUnplacedRow + static_cast<LPARAM>(i));
      ListView_SetItemState(ItemList, row, INDEXTOSTATEIMAGEMASK(0), LVIS_STATEIMAGEMASK);
    }
  }
  ::SendMessageW(ItemList, WM_SETREDRAW, TRUE, 0);
  ::InvalidateRect(ItemList, nullptr, TRUE);
  filling_ = false;
  if (!reading_ && !busy_) SetText(StatusLabel, set ? set->damage : std::string());
  UpdateButtons();
}

void RestoreWindow::TickItems(const std::vector<size_t>& items) {
  const int rows = ListView_GetItemCount(ItemList);
  for (int row = 0; row < rows; ++row) {
    const LPARAM param = RowParam(ItemList, row);
    if (param >= kUnplacedRow) continue;
    const bool tick = std::find(items.begin(), items.end(), static_cast<size_t>(param)) !=
                      items.end();
    ListView_SetCheckState(ItemList, row, tick ? TRUE : FALSE);
  }
  UpdateButtons();
}

std::string RestoreWindow::UnplacedFileOfSelection() const {
  const BackupSetInfo* set = Chosen();
  const int row = ListView_GetNextItem(ItemList, -1, LVNI_SELECTED);
  if (!set || row < 0) return std::string();
  const LPARAM param = RowParam(ItemList, row);
  if (param < kUnplacedRow) return std::string();
  const size_t index = static_cast<size_t>(param - kUnplacedRow);
  return index < set->unplacedFiles.size() ? set->unplacedFiles[index] : std::string();
}

void RestoreWindow::UpdateButtons() {
  const BackupSetInfo* set = Chosen();
  const bool idle = !reading_ && !busy_;
  const bool restorable = idle && set && set->damage.empty() && !set->items.empty();
  EnableControl(RestoreChosenButton, restorable);
  EnableControl(RestoreAllButton, restorable);
  EnableControl(DeleteButton, idle && set);
  EnableControl(ShowInExplorerButton, idle && !UnplacedFileOfSelection().empty());
}

// ---- the buttons -----------------------------------------------------------------------------

void RestoreWindow::RestoreChosenClick() {
  std::vector<size_t> chosen;
  const int rows = ListView_GetItemCount(ItemList);
  for (int row = 0; row < rows; ++row) {
    const LPARAM param = RowParam(ItemList, row);
    if (param < kUnplacedRow && ListView_GetCheckState(ItemList, row))
      chosen.push_back(static_cast<size_t>(param));
  }
  if (chosen.empty()) {
    Notice("请先勾选要恢复的项目", kMbOk);
    return;
  }
  Restore(chosen);
}

void RestoreWindow::RestoreAllClick() {
  const BackupSetInfo* set = Chosen();
  if (!set) return;
  std::vector<size_t> all;
  for (size_t i = 0; i < set->items.size(); ++i) all.push_back(i);
  Restore(all);
}

namespace {

// The restore's questions, asked from its worker: each one is put to the window on the UI
// thread; when the window goes away the answers are the careful ones (no, skip).
class AskedThroughWindow : public RestoreQuestions {
 public:
  AskedThroughWindow(RestoreWindow& window, UiAsker& asker) : window_(window), asker_(asker) {}
  bool ConfirmChanged(const SetItem& item, const std::string& now) override {
    return asker_.Ask<bool>([this, &item, now] { return window_.ConfirmChanged(item, now); },
                            false);
  }
  FileChoice FileConflict(const SetItem& item) override {
    return asker_.Ask<FileChoice>([this, &item] { return window_.FileConflict(item); },
                                  FileChoice::Skip);
  }
  bool ConfirmMachineWide(const std::vector<const SetItem*>& items,
                          const std::vector<std::string>& data) override {
    return asker_.Ask<bool>([this, items, data] { return window_.ConfirmMachineWide(items, data); },
                            false);
  }
  bool AskFollowUp(const std::string& question) override {
    return asker_.Ask<bool>([this, question] { return window_.AskFollowUp(question); }, false);
  }

 private:
  RestoreWindow& window_;
  UiAsker& asker_;
};

}  // namespace

void RestoreWindow::Restore(const std::vector<size_t>& chosen) {
  const int index = ChosenSet();
  if (index < 0 || reading_ || busy_) return;
  BackupSetInfo& set = sets_[static_cast<size_t>(index)];
  // The seal is checked here, on the window's thread, so that the worker only reads the set.
  // The set stays where it is while the restore runs: the list is not read again (Refresh)
  // and no set is deleted while busy_.
  CheckSeal(ChangeEnvOf(svc), set);
  busy_ = true;
  UpdateButtons();
  SetText(StatusLabel, "正在恢复…");
  asker_ = std::make_shared<UiAsker>(Gate());
  const ChangeEnv env = ChangeEnvOf(svc);
  const std::string dataDir = dataDir_;
  std::shared_ptr<UiAsker> asker = asker_;
  std::shared_ptr<UiGate> gate = Gate();
  const BackupSetInfo* chosenSet = &set;
  restorer_ = Worker([this, env, dataDir, chosenSet, chosen, asker, gate] {
    AskedThroughWindow ask(*this, *asker);
    // RestoreItems never throws; an out-of-memory in it is its report's refusal.
    const RestoreReport report = RestoreItems(env, dataDir, *chosenSet, chosen, ask);
    HandOverUntilTaken([&gate](std::function<void()> work) { return gate->Send(std::move(work)); },
                       [this, report] { RestoreDone(report); });
  });
}

void RestoreWindow::RestoreDone(const RestoreReport& report) {
  if (restorer_.Joinable()) restorer_.Join();  // its last step was this hand-over
  busy_ = false;
  SetText(StatusLabel, "");
  UpdateButtons();
  Notice(report.Text(), kMbOk);
  // The restore made a set of its own (and changed what the others observe).
  Refresh();
}

void RestoreWindow::StopRestoring() {
  // A question still waiting is answered "no" (or "skip"): the items not yet written are
  // left as they are, and what was written is still recorded in the restore's own set.
  if (asker_) asker_->Cancel();
  if (restorer_.Joinable()) restorer_.Join();
}

void RestoreWindow::DeleteSetClick() {
  const BackupSetInfo* set = Chosen();
  if (!set || reading_ || busy_) return;
  const std::string question = "确定要删除 " + SetTimeText(set->name) + " 的备份吗？\n" +
                               "删除后将无法再从这个备份中恢复。";
  if (Notice(question, kMbYesNo | kMbIconQuestion) != kIdYes) return;
  const std::string folder = set->folder;
  if (!svc.files->RemoveFolder(folder))
    Notice("备份文件夹没有完全删除：\n" + folder, kMbOk | kMbIconError);
  Refresh();
}

void RestoreWindow::ShowInExplorerClick() {
  const std::string path = UnplacedFileOfSelection();
  if (path.empty()) {
    svc.messages->Beep();
    return;
  }
  // Selected in a folder window, never opened: opening a shortcut would run its program.
  svc.shell->ShellOpen(Handle, "open", "explorer.exe", "/select,\"" + path + "\"", "", kShowNormal);
}

void RestoreWindow::OpenFolderClick() { OpenBackupFolder(svc, Handle); }

// ---- the restore's questions ----------------------------------------------------------------

bool RestoreWindow::ConfirmChanged(const SetItem& item, const std::string& now) {
  return Notice(ItemWords(item) + "\n\n备份之后这一项又被改动过，现在是：\n" + now +
                    "\n\n仍要恢复为备份时的状态吗？",
                kMbYesNo | kMbIconQuestion) == kIdYes;
}

RestoreQuestions::FileChoice RestoreWindow::FileConflict(const SetItem& item) {
  const std::wstring title = Widen(kRestoreWindowTitle);
  const std::wstring instruction = Widen("原位置已有另一个文件");
  const std::wstring content = Widen(
      ItemWords(item) +
      "\n\n覆盖：用备份中的文件替换它（它会先被备份）\n"
      "保留两者：备份中的文件以编号的名字放在它旁边\n跳过：不恢复这一项");
  const std::wstring overwrite = Widen("覆盖"), both = Widen("保留两者"), skip = Widen("跳过");
  const TASKDIALOG_BUTTON buttons[] = {{kOverwriteButton, overwrite.c_str()},
                                       {kKeepBothButton, both.c_str()},
                                       {kSkipButton, skip.c_str()}};
  TASKDIALOGCONFIG config = {};
  config.cbSize = sizeof config;
  config.hwndParent = Handle;
  config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
  config.pszWindowTitle = title.c_str();
  config.pszMainIcon = TD_WARNING_ICON;
  config.pszMainInstruction = instruction.c_str();
  config.pszContent = content.c_str();
  config.cButtons = 3;
  config.pButtons = buttons;
  config.nDefaultButton = kSkipButton;
  config.pfCallback = FileChoiceCallback;
  config.lpCallbackData = reinterpret_cast<LONG_PTR>(this);
  // comctl32 has the task dialog from version 6 on: asked for by name, so that a program
  // without the version-6 manifest still starts (and then skips the file).
  using TaskDialogFn = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);
  const auto show = reinterpret_cast<TaskDialogFn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"comctl32.dll"), "TaskDialogIndirect")));
  int pressed = 0;
  if (!show || FAILED(show(&config, &pressed, nullptr, nullptr))) return FileChoice::Skip;
  if (pressed == kOverwriteButton) return FileChoice::Overwrite;
  if (pressed == kKeepBothButton) return FileChoice::KeepBoth;
  return FileChoice::Skip;  // "跳过", Esc or the close box
}

bool RestoreWindow::ConfirmMachineWide(const std::vector<const SetItem*>& items,
                                       const std::vector<std::string>& data) {
  std::string text;
  for (size_t i = 0; i < items.size(); ++i) {
    const SetItem& item = *items[i];
    if (i) text += "\n\n";
    text += std::to_string(i + 1) + ". " +
            (item.caption.empty() ? std::string() : item.caption + "\n   ") + item.change->Place() +
            "\n   恢复为：" + (i < data.size() ? data[i] : std::string());
  }
  MachineWideConfirm confirm(*this);
  return confirm.Ask(text);
}

// ---- the machine-wide confirmation ---------------------------------------------------------

MachineWideConfirm::MachineWideConfirm(RestoreWindow& owner) : owner_(owner) {}

MachineWideConfirm::~MachineWideConfirm() = default;

void MachineWideConfirm::ShowErrorReport(const std::string& message) {
  owner_.ShowErrorReport(message);
}

void MachineWideConfirm::Answer(bool yes) {
  yes_ = yes;
  done_ = true;
  if (Handle) ::PostMessageW(Handle, WM_NULL, 0, 0);  // wakes the loop so that it sees the end
}

LRESULT MachineWideConfirm::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_CLOSE) {
    Answer(false);
    return 0;
  }
  return Window::OnMessage(msg, wp, lp);
}

bool MachineWideConfirm::Ask(const std::string& text) {
  HWND owner = owner_.Handle;
  CreateFrame({kConfirmClass, kRestoreWindowTitle, kDialogFrameStyle, kDialogFrameExStyle, 480, 360,
               owner, false});
  AddLabel(Handle, "以下项目将恢复到对所有用户生效的位置。请核对每一项恢复后的内容：", 10, 10, 460,
           14);
  TextBox = AddEdit(Handle, "", 10, 30, 460, 284,
                    ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_HSCROLL |
                        ES_AUTOHSCROLL);
  std::string crlf;
  for (char c : text) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  SetText(TextBox, crlf);
  YesButton = AddButton(Handle, "恢复(&Y)", 300, 324, 80, 25);
  NoButton = AddButton(Handle, "取消(&N)", 390, 324, 80, 25);
  OnClick(YesButton, [this] { Answer(true); });
  OnClick(NoButton, [this] { Answer(false); });

  const bool ownerEnabled = owner && !::EnableWindow(owner, FALSE);
  ::ShowWindow(Handle, SW_SHOW);
  ::UpdateWindow(Handle);
  ::SetFocus(NoButton);
  if (owner_.machineWideShown) owner_.machineWideShown(*this);
  MSG msg;
  while (!done_) {
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      ::PostQuitMessage(static_cast<int>(msg.wParam));  // the outer loop ends the program
      break;
    }
    if (got < 0) break;
    DispatchUiMessage(msg);
  }
  if (ownerEnabled) ::EnableWindow(owner, TRUE);
  if (Handle) ::DestroyWindow(Handle);
  return done_ && yes_;
}

bool RestoreWindow::AskFollowUp(const std::string& question) {
  return Notice(question, kMbYesNo | kMbIconQuestion) == kIdYes;
}

// ---- the one window --------------------------------------------------------------------------

RestoreWindow& OpenRestoreWindow(Services& svc, HWND owner) {
  if (RestoreWindow* open = RestoreWindowIfOpen()) {
    if (::IsIconic(open->Handle)) ::ShowWindow(open->Handle, SW_RESTORE);
    ::SetForegroundWindow(open->Handle);
    open->Refresh();
    return *open;
  }
  openWindow.reset();
  auto window = std::make_unique<RestoreWindow>(svc, owner);
  window->Create();
  window->Show();
  openWindow = std::move(window);
  return *openWindow;
}

RestoreWindow* RestoreWindowIfOpen() {
  return openWindow && openWindow->Handle && ::IsWindow(openWindow->Handle) ? openWindow.get()
                                                                            : nullptr;
}

void CloseRestoreWindow() { openWindow.reset(); }

}  // namespace mt
