// The "系统启动项" page: the startup list's view, the publisher column and the handlers.
#include "startup/win/StartupPage.h"

#include <commctrl.h>

#include <algorithm>
#include <exception>
#include <optional>
#include <unordered_map>

#include "app/Backup.h"
#include "app/Error.h"
#include "app/Settings.h"
#include "app/UiGate.h"
#include "app/Worker.h"
#include "app/win/Unit1.h"
#include "app/win/RestoreWindow.h"
#include "app/win/Window.h"
#include "app/Shortcuts.h"
#include "startup/Publishers.h"
#include "startup/StartupApproved.h"
#include "startup/StartupItems.h"
#include "startup/win/WinStartupPlaces.h"

namespace mt {

// Columns of ListView2.
constexpr int kStartupColumnCount = 5;
constexpr const char* kStartupColumns[kStartupColumnCount] = {"启动项名称", "启动项位置", "状态",
                                                              "来源", "发布者"};
constexpr int kPublisherColumn = 4;
// Rows whose program nobody signed, or that is missing, are drawn in this colour.
constexpr COLORREF kSuspectColour = RGB(200, 0, 0);

// The page's own state: the publisher column's worker and what it knows of the rows on
// screen. Each row's lParam holds its source in the low 8 bits and its id above them.
struct StartupPageState {
  std::unique_ptr<PublisherWorker> worker;
  uint64_t generation = 0;  // of the job whose results the rows on screen take
  bool pending = false;     // that job has not finished yet
  int nextId = 1;
  std::unordered_map<int, LPARAM> paramOf;      // id -> the row's lParam
  std::unordered_map<int, int> itemOf;          // id -> the row's index when it was listed
  std::vector<PublisherRow> listed;             // the rows of the latest rebuild, in order
  std::unordered_map<int, std::string> textOf;  // id -> the publisher shown
  bool hideMicrosoft = false;
  // The scheduled tasks as last read off the UI thread (none before the first read is in),
  // and the thread reading them again. The scheduler's first answer (COM's start, the
  // connection) takes whole seconds; the list is shown without it and again once it is in.
  std::shared_ptr<const StartupReadAhead> ahead;
  Worker reader;
  bool reading = false;
  // Whether the list on screen holds the rows of the families read off the UI thread (it
  // does after any listing but one made before the first read was in).
  bool aheadListed = false;
};

namespace {

constexpr int kSourceBits = 8;
StartupSource SourceOfParam(LPARAM param) {
  return static_cast<StartupSource>(param & ((1 << kSourceBits) - 1));
}
int IdOfParam(LPARAM param) { return static_cast<int>(param >> kSourceBits); }

// The item's lParam (its row's source and id); none for an item that is not there.
std::optional<LPARAM> ItemParam(HWND list, int item) {
  LVITEMW lv = {};
  lv.mask = LVIF_PARAM;
  lv.iItem = item;
  if (!::SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&lv))) return std::nullopt;
  return lv.lParam;
}

std::string ItemText(HWND list, int item, int column) {
  std::vector<wchar_t> buffer(512);
  for (;;) {
    LVITEMW lv = {};
    lv.iSubItem = column;
    lv.pszText = buffer.data();
    lv.cchTextMax = static_cast<int>(buffer.size());
    int n = static_cast<int>(
        ::SendMessageW(list, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&lv)));
    if (n < static_cast<int>(buffer.size()) - 1) return Narrow(buffer.data(), n);
    buffer.resize(buffer.size() * 4);
  }
}

void SetItemText(HWND list, int item, int column, const std::string& text) {
  std::wstring w = Widen(text);
  LVITEMW lv = {};
  lv.iSubItem = column;
  lv.pszText = w.data();
  ::SendMessageW(list, LVM_SETITEMTEXTW, item, reinterpret_cast<LPARAM>(&lv));
}

// The state column: on or off, and what else the row knows of its state.
std::string StateText(const StartupRow& row) {
  std::string text = row.enabled ? kStateEnabled : kStateDisabled;
  if (!row.status.empty()) text += "（" + row.status + "）";
  return text;
}
StartupRow RowAt(HWND list, int item) {
  StartupRow row;
  row.location = ItemText(list, item, 1);
  row.source = SourceOfParam(ItemParam(list, item).value_or(0));
  row.name = NameFromShown(ItemText(list, item, 0), row.source);
  row.checked = ListView_GetCheckState(list, item) != 0;
  row.enabled = ItemText(list, item, 2).rfind(kStateDisabled, 0) != 0;
  return row;
}

// ListView2 as the startup logic sees it. Each item's lParam holds its row's source and id.
// Painting is held back while the list is rebuilt.
class ListViewStartupView : public StartupView {
 public:
  ListViewStartupView(HWND list, StartupPageState& state) : list_(list), state_(state) {
    ::SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
  }
  ~ListViewStartupView() override {
    ::SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list_, nullptr, TRUE);
  }
  ListViewStartupView(const ListViewStartupView&) = delete;
  ListViewStartupView& operator=(const ListViewStartupView&) = delete;

  // True once the list was rebuilt: its publisher column is to be filled again.
  bool Rebuilt() const { return rebuilt_; }

  void Clear() override {
    ListView_DeleteAllItems(list_);
    state_.paramOf.clear();
    state_.itemOf.clear();
    state_.listed.clear();
    state_.textOf.clear();
    rebuilt_ = true;
  }
  size_t Append(const StartupRow& row) override {
    return InsertAt(static_cast<size_t>(ListView_GetItemCount(list_)), row);
  }
  // Inserts the row before the item at `at` (the rows after it move down one).
  size_t InsertAt(size_t at, const StartupRow& row) {
    std::wstring name = Widen(ShownName(row));
    LVITEMW lv = {};
    lv.mask = LVIF_TEXT | LVIF_PARAM;
    lv.iItem = static_cast<int>(at);
    lv.pszText = name.data();
    const int id = state_.nextId++;
    lv.lParam = (static_cast<LPARAM>(id) << kSourceBits) | static_cast<LPARAM>(row.source);
    int index = static_cast<int>(
        ::SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&lv)));
    if (index < 0) throw AppError("Out of system resources");
    // The rows after it moved down one: where each was listed moves with it.
    if (static_cast<size_t>(index) + 1 < static_cast<size_t>(ListView_GetItemCount(list_)))
      for (auto& [other, item] : state_.itemOf)
        if (item >= index) ++item;
    state_.paramOf[id] = lv.lParam;
    state_.itemOf[id] = index;
    state_.listed.push_back({id, row});
    if (!row.location.empty()) SetItemText(list_, index, 1, row.location);
    SetItemText(list_, index, 2, StateText(row));
    SetItemText(list_, index, 3, SourceText(row.source));
    return static_cast<size_t>(index);
  }
  void SetLocation(size_t index, const std::string& location) override {
    SetItemText(list_, static_cast<int>(index), 1, location);
    // The row as the publisher worker gets it: the item's own (rows put in later are listed
    // after the others there, whatever their place in the list).
    const std::optional<LPARAM> param = ItemParam(list_, static_cast<int>(index));
    if (!param) return;
    const int id = IdOfParam(*param);
    for (auto it = state_.listed.rbegin(); it != state_.listed.rend(); ++it)
      if (it->id == id) {
        it->row.location = location;
        break;
      }
  }
  size_t Count() override { return static_cast<size_t>(ListView_GetItemCount(list_)); }
  StartupRow Row(size_t index) override { return RowAt(list_, static_cast<int>(index)); }
  void Remove(size_t index) override { ListView_DeleteItem(list_, static_cast<int>(index)); }
  std::optional<size_t> Selected() override {
    const int item = ListView_GetNextItem(list_, -1, LVNI_SELECTED);
    if (item < 0) return std::nullopt;
    return static_cast<size_t>(item);
  }
  void SetReadOnly() override {
    LONG_PTR style = ::GetWindowLongPtrW(list_, GWL_STYLE);
    if (style & LVS_EDITLABELS) ::SetWindowLongPtrW(list_, GWL_STYLE, style & ~LVS_EDITLABELS);
  }

 private:
  HWND list_;
  StartupPageState& state_;
  bool rebuilt_ = false;
};

int ItemOfId(HWND list, const StartupPageState& state, int id) {
  auto it = state.paramOf.find(id);
  if (it == state.paramOf.end()) return -1;
  // Where the row was listed, unless rows before it were taken out since.
  auto at = state.itemOf.find(id);
  if (at != state.itemOf.end() && ItemParam(list, at->second) == it->second) return at->second;
  LVFINDINFOW find = {};
  find.flags = LVFI_PARAM;
  find.lParam = it->second;
  return static_cast<int>(::SendMessageW(list, LVM_FINDITEMW, static_cast<WPARAM>(-1),
                                         reinterpret_cast<LPARAM>(&find)));
}

// Removes the row of `id` from the list (a row hidden by the Microsoft tick).
void RemoveRow(HWND list, StartupPageState& state, int id) {
  const int item = ItemOfId(list, state, id);
  if (item >= 0) ListView_DeleteItem(list, item);
  state.paramOf.erase(id);
  state.itemOf.erase(id);
  state.textOf.erase(id);
}

// What a checked file means for the rows on screen: the text in their publisher column, or,
// with the Microsoft tick on and a Microsoft signer, the rows taken out of the list.
void ApplyPublisher(HWND list, StartupPageState& state, const PublisherResult& result) {
  const bool hide = state.hideMicrosoft && IsMicrosoftPublisher(result.text);
  for (int id : result.ids) {
    if (hide) {
      RemoveRow(list, state, id);
      continue;
    }
    const int item = ItemOfId(list, state, id);
    if (item < 0) continue;
    state.textOf[id] = result.text;
    SetItemText(list, item, kPublisherColumn, result.text);
  }
}

// Starts the publisher worker on the rows on screen; the rows refreshed before are its no more.
// With `keepFound` it goes on from what the job before found (see PublisherWorker::Start).
void StartPublishers(StartupPageState& state, bool keepFound = false) {
  if (!state.worker) return;
  // The rows as the refresh listed them (rows the Microsoft tick hid are not listed again).
  state.generation = state.worker->Start(state.listed, keepFound);
  state.pending = true;
}

// Runs `action` on the startup list and fills the publisher column again when it rebuilt it.
// An action that may change the scheduler's tasks (a switch, a deletion) leaves the tasks
// read before it behind: the next showing waits for a new read rather than list them.
template <typename Action>
void OnStartupList(StartupPage& page, Action&& action, bool tasksMayChange = true,
                   bool keepFound = false) {
  StartupPageState& state = page.State();
  if (tasksMayChange) state.ahead.reset();
  bool rebuilt = false;
  std::exception_ptr failed;
  {
    StartupItems items(page.svc(), *page.svc().startupPlaces);
    ListViewStartupView view(page.ListView2, state);
    try {
      action(items, view);
    } catch (...) {
      // A failing refresh (a Run value that is not text) still leaves the rows it listed.
      failed = std::current_exception();
    }
    rebuilt = view.Rebuilt();
  }
  if (rebuilt) {
    state.aheadListed = true;
    StartPublishers(state, keepFound);
  }
  if (failed) std::rethrow_exception(failed);
}

// The Startup list refresh: ListView2 rebuilt from the startup places.
void StartupListRefresh(StartupPage& page) {
  OnStartupList(page, [](StartupItems& items, StartupView& view) { items.Refresh(view); });
}

}  // namespace

// ListView2 rebuilt with the tasks as last read off the UI thread (none yet: without them),
// so that the UI thread never waits for the scheduler.
void ListWithTasksRead(StartupPage& page, bool keepFound) {
  std::shared_ptr<const StartupReadAhead> ahead = page.State().ahead;
  OnStartupList(
      page,
      [&ahead](StartupItems& items, StartupView& view) {
        items.Refresh(view, ahead ? *ahead : StartupReadAhead{});
      },
      false, keepFound);
  if (!ahead) page.State().aheadListed = false;
}

namespace {

// The rows of a read just in, put into a list listed without them: each family's rows where a
// listing with them would have put them (at its first source), the publisher column going on
// from what was found for the rows already there. False, and nothing changed, when a read
// failed: the list is then listed again, which reports it.
bool InsertRowsRead(StartupPage& page, const StartupReadAhead& ahead) {
  for (const StartupReadAhead::Read& read : ahead.reads)
    if (read.failed) return false;
  // A family's rows are all listed at the place of its first source in the listing.
  const std::vector<StartupSource> order = ListedSources();
  auto placeOfFamily = [&order](const StartupFamily* family) {
    for (size_t i = 0; i < order.size(); ++i)
      if (FamilyOf(order[i]) == family) return i;
    return order.size();
  };
  std::unordered_map<int, size_t> placeOf;
  for (StartupSource source : order)
    placeOf[static_cast<int>(source)] = placeOfFamily(FamilyOf(source));
  // Appends become inserts before the item `at`.
  struct Inserting : StartupView {
    ListViewStartupView& into;
    size_t at = 0;
    explicit Inserting(ListViewStartupView& v) : into(v) {}
    void Clear() override {}
    size_t Append(const StartupRow& row) override { return into.InsertAt(at++, row); }
    void SetLocation(size_t index, const std::string& location) override {
      into.SetLocation(index, location);
    }
    size_t Count() override { return into.Count(); }
    StartupRow Row(size_t index) override { return into.Row(index); }
    void Remove(size_t index) override { into.Remove(index); }
  };
  StartupPageState& state = page.State();
  HWND list = page.ListView2;
  {
    ListViewStartupView view(list, state);
    Inserting inserting(view);
    for (const StartupReadAhead::Read& read : ahead.reads) {
      const size_t place = placeOfFamily(read.family);
      // Before the first item listed after that place.
      const int count = ListView_GetItemCount(list);
      int at = 0;
      for (; at < count; ++at)
        if (placeOf[static_cast<int>(SourceOfParam(ItemParam(list, at).value_or(0)))] > place)
          break;
      inserting.at = static_cast<size_t>(at);
      if (read.listRows) read.listRows(inserting);
    }
  }
  state.aheadListed = true;
  StartPublishers(state, true);
  return true;
}

}  // namespace

StartupPage::~StartupPage() = default;

bool StartupPage::StartupPublishersPending() const { return state_->pending; }

bool StartupPage::HideMicrosoftStartupItems() const { return state_->hideMicrosoft; }

void StartupPage::ToggleHideMicrosoftStartupItems() {
  StartupPageState& state = *state_;
  const bool hide = !state.hideMicrosoft;
  ProgramSettings(svc_).WriteBool(kSettingsSection, kKeyHideMicrosoft, hide);
  state.hideMicrosoft = hide;
  if (!hide) {
    // The hidden rows are gone from the list: list everything again.
    StartupListRefresh(*this);
    return;
  }
  std::vector<int> microsoft;
  for (const auto& [id, text] : state.textOf)
    if (IsMicrosoftPublisher(text)) microsoft.push_back(id);
  for (int id : microsoft) RemoveRow(ListView2, state, id);
}

void StartupPage::Shutdown() {
  state_->worker.reset();  // stops and waits for the worker
  state_->reader.Join();   // its result goes nowhere: the gate is closed
}

bool StartupPage::StartupTasksPending() const { return state_->reading; }

void StartupPage::ReadTasksAhead() {
  StartupPageState& state = *state_;
  if (state.reading) return;  // the read under way brings the rows anyway
  const StartupContext ctx{svc_, *svc_.startupPlaces};
  bool any = false;
  for (const StartupFamily* family : StartupFamilies()) any = any || family->ReadsAhead(ctx);
  if (!any) return;
  state.reader.Join();
  state.reading = true;
  std::shared_ptr<UiGate> gate = form.Gate();
  Services* svc = &svc_;
  StartupPage* page = this;
  state.reader = Worker([svc, gate, page] {
    // The stores are asked here, never the window; the list takes the rows on the UI thread.
    auto ahead = std::make_shared<const StartupReadAhead>(
        StartupItems(*svc, *svc->startupPlaces).ReadAhead());
    HandOverUntilTaken([&gate](const std::function<void()>& work) { return gate->Send(work); },
                       [page, ahead] {
                         StartupPageState& state = page->State();
                         state.reading = false;
                         // The list on screen shows the rows read before: when this read
                         // found the same ones, it stands as it is; when it was listed
                         // without them, they are put in.
                         const bool same = state.aheadListed && state.ahead &&
                                           state.ahead->SameRowsAs(*ahead);
                         const bool without = !state.aheadListed;
                         state.ahead = ahead;
                         if (same || (without && InsertRowsRead(*page, *ahead))) return;
                         // The list shown a moment ago, with the rows read here: the column
                         // goes on from what was found for it.
                         ListWithTasksRead(*page, true);
                       });
  });
}

std::vector<StartupRow> StartupRowsOf(HWND listView) {
  std::vector<StartupRow> rows;
  int count = ListView_GetItemCount(listView);
  for (int i = 0; i < count; ++i) rows.push_back(RowAt(listView, i));
  return rows;
}

StartupPage::StartupPage(TForm1& form, HWND sheet)
    : TabPage(form, sheet), svc_(form.svc), state_(std::make_unique<StartupPageState>()) {
  TForm1& f = form;
  ListView2 = f.AddControl(sheet, WC_LISTVIEWW, "",
                           WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS, 6,
                           6, 458, 246, WS_EX_CLIENTEDGE);
  ListView_SetExtendedListViewStyle(ListView2, LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES |
                                                   LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
  for (int i = 0; i < kStartupColumnCount; ++i) {
    std::wstring caption = Widen(kStartupColumns[i]);
    LVCOLUMNW col = {};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    col.pszText = caption.data();
    col.cx = f.Scale(60);
    col.iSubItem = i;
    ::SendMessageW(ListView2, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&col));
  }
  SizeColumns();
  Button2 = f.AddButton(sheet, "添加", 302, 258, 75, 25);
  Button6 = f.AddButton(sheet, "删除", 389, 258, 75, 25);
  f.OnClick(Button2, [this] { Button2Click(); });
  f.OnClick(Button6, [this] { Button6Click(); });
  f.OnContextMenu(ListView2,
                  {{"禁用", [this] { DisableCheckedStartupItems(); }},
                   {"启用", [this] { EnableCheckedStartupItems(); }},
                   {"打开文件位置", [this] { OpenStartupFileLocation(); }},
                   {kHideMicrosoftText, [this] { ToggleHideMicrosoftStartupItems(); },
                    [this] { return HideMicrosoftStartupItems(); }},
                   {kOpenBackupFolderText, [this] { OpenBackupFolder(svc_, this->form.Handle); }},
                   {kRestoreMenuText, [this] { OpenRestoreWindow(svc_, this->form.Handle); }}});
  // Rows whose program is unsigned or missing are drawn in red. Hovering a row shows its
  // whole command line, which its column may cut.
  f.OnNotify(ListView2, [this](NMHDR* nm) -> LRESULT {
    if (nm->code == LVN_GETINFOTIPW) {
      auto* tip = reinterpret_cast<NMLVGETINFOTIPW*>(nm);
      FillInfoTip(tip, RowTip(tip->iItem));
      return 0;
    }
    if (nm->code != NM_CUSTOMDRAW) return 0;
    auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(nm);
    if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
    if (draw->nmcd.dwDrawStage != CDDS_ITEMPREPAINT) return CDRF_DODEFAULT;
    auto it = state_->textOf.find(IdOfParam(static_cast<LPARAM>(draw->nmcd.lItemlParam)));
    if (it == state_->textOf.end() || !IsSuspectPublisher(it->second)) return CDRF_DODEFAULT;
    draw->clrText = kSuspectColour;
    return CDRF_NEWFONT;
  });
  // The tick, and the publisher worker, which posts each result to the UI thread.
  StartupPageState* state = state_.get();
  state->hideMicrosoft = ProgramSettings(svc_).ReadBool(kSettingsSection, kKeyHideMicrosoft, false);
  if (svc_.signers) {
    StartupPageState* raw = state;
    std::shared_ptr<UiGate> gate = f.Gate();
    HWND list = ListView2;
    ShortcutTarget target;
    if (ShortcutFiles* shortcuts = svc_.shortcuts)
      target = [shortcuts](const std::string& lnk) -> std::optional<std::string> {
        return shortcuts->Read(lnk).target;
      };
    // Each result goes to the UI thread, where it is taken only while it belongs to the rows
    // on screen. A full queue (Busy) is offered the result again; a closed gate never takes it.
    state->worker = std::make_unique<PublisherWorker>(
        *svc_.signers, WinProgramLookup(), std::move(target),
        [raw, list, gate](uint64_t generation, const PublisherResult& result) {
          // A file that thousands of rows start is shown a slice of rows at a time, so that
          // the window answers between slices. Showing a slice again does no harm: a result
          // refused half way is offered again whole.
          constexpr size_t kSlice = 200;
          for (size_t from = 0;; from += kSlice) {
            const size_t to = std::min(result.ids.size(), from + kSlice);
            PublisherResult slice{{result.ids.begin() + static_cast<std::ptrdiff_t>(from),
                                   result.ids.begin() + static_cast<std::ptrdiff_t>(to)},
                                  result.text};
            if (gate->Send([raw, list, generation, slice] {
                  if (generation == raw->generation) ApplyPublisher(list, *raw, slice);
                }) == Handed::Busy)
              return false;
            if (to == result.ids.size()) return true;
          }
        },
        [raw, gate](uint64_t generation) {
          return gate->Send([raw, generation] {
            if (generation == raw->generation) raw->pending = false;
          }) != Handed::Busy;
        },
        // The checks take whole seconds of processor time: the window goes first.
        [] { ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL); });
  }
}

void StartupPage::SizeColumns() {
  const int width = ListRowWidth(ListView2);
  // A text's own width in the list: the text and the margins the list draws around it.
  auto textWidth = [&](const char* text) {
    return ListView_GetStringWidth(ListView2, Widen(text).c_str()) + form.Scale(16);
  };
  int widths[kStartupColumnCount];
  // The name also makes room for the check box in front of it.
  widths[0] = std::max(textWidth(kStartupColumns[0]) + form.Scale(20), width * 22 / 100);
  // A service's state (whether it runs) is cut where the list is narrow: the on/off word
  // leads it, and the list's width goes to the command line.
  widths[2] = std::max(
      {textWidth(kStartupColumns[2]), textWidth(kStateEnabled), textWidth(kStateDisabled)});
  widths[3] = std::max(textWidth(kStartupColumns[3]), width * 20 / 100);
  widths[4] = std::max(textWidth(kStartupColumns[4]), width * 20 / 100);
  // The command line gives way: it takes what is left, its header whole at the least.
  widths[1] = std::max(textWidth(kStartupColumns[1]),
                       width - widths[0] - widths[2] - widths[3] - widths[4]);
  for (int i = 0; i < kStartupColumnCount; ++i) ListView_SetColumnWidth(ListView2, i, widths[i]);
  // Tips wrap at the list's width rather than run across the screen.
  if (HWND tips = ListView_GetToolTips(ListView2))
    ::SendMessageW(tips, TTM_SETMAXTIPWIDTH, 0, std::max(width, form.Scale(300)));
}

std::string StartupPage::RowTip(int item) const {
  if (item < 0 || item >= ListView_GetItemCount(ListView2)) return std::string();
  const std::string name = ItemText(ListView2, item, 0);
  const std::string location = ItemText(ListView2, item, 1);
  return location.empty() ? name : name + "\n" + location;
}

void StartupPage::TabSheet4Show() {
  // The rows the window reads itself are listed now; the tasks come from their own thread,
  // started after that listing: its registry and scheduler calls would otherwise queue before
  // the window's at the system's one registry server and hold the window up.
  ListWithTasksRead(*this);
  ReadTasksAhead();
}

void StartupPage::Button2Click() {
  OnStartupList(*this, [this](StartupItems& items, StartupView& view) {
    items.AddClick(view, form.Handle, form.OpenDialog3);
  });
}

void StartupPage::Button6Click() {
  OnStartupList(*this, [this](StartupItems& items, StartupView& view) {
    items.DeleteClick(view, form.Handle);
  });
}

void StartupPage::DisableCheckedStartupItems() {
  OnStartupList(*this, [this](StartupItems& items, StartupView& view) {
    items.SetCheckedEnabled(view, false, form.Handle);
  });
}

void StartupPage::OpenStartupFileLocation() {
  OnStartupList(*this, [this](StartupItems& items, StartupView& view) {
    items.OpenFileLocation(view, form.Handle, WinProgramLookup());
  });
}

void StartupPage::EnableCheckedStartupItems() {
  OnStartupList(*this, [this](StartupItems& items, StartupView& view) {
    items.SetCheckedEnabled(view, true, form.Handle);
  });
}

}  // namespace mt
