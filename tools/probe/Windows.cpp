#include "tools/probe/Windows.h"

#include <commctrl.h>

#include <cstdio>
#include <stdexcept>
#include <utility>
#include <vector>

#include "app/win/Handles.h"
#include "tools/probe/Remote.h"

namespace probe {

namespace {

constexpr UINT kAnswerMs = 2000;

// SendMessage that gives up when the owner is hung or busy (a split runs on the UI thread).
bool Ask(HWND window, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutW(window, msg, wp, lp, SMTO_ABORTIFHUNG | SMTO_BLOCK, kAnswerMs, &answer))
    return false;
  result = static_cast<LRESULT>(answer);
  return true;
}

LRESULT AskOrThrow(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT result = 0;
  if (!Ask(window, msg, wp, lp, result))
    throw std::runtime_error("the window " + HandleText(window) + " does not answer");
  return result;
}

std::string Hex(unsigned long long v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%llx", v);
  return buf;
}

Json RectJson(const RECT& r) {
  return Json::Array().Add(r.left).Add(r.top).Add(r.right).Add(r.bottom);
}

void RequireClass(HWND window, const wchar_t* cls) {
  if (!IsWindow(window)) throw std::runtime_error("no such window: " + HandleText(window));
  wchar_t actual[64] = L"";
  GetClassNameW(window, actual, 64);
  if (_wcsicmp(actual, cls) != 0)
    throw std::runtime_error("window " + HandleText(window) + " is a " + mt::Narrow(actual) +
                             ", not a " + mt::Narrow(cls));
}

// The direct children of a window, top of the z-order first. Nothing that can throw runs
// inside the system's callback.
std::vector<HWND> DirectChildren(HWND window) {
  std::pair<HWND, std::vector<HWND>> found{window, {}};
  EnumChildWindows(
      window,
      [](HWND child, LPARAM lp) -> BOOL {
        auto* f = reinterpret_cast<std::pair<HWND, std::vector<HWND>>*>(lp);
        // EnumChildWindows walks the whole subtree; keep the direct children only.
        if (GetParent(child) == f->first) f->second.push_back(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found.second;
}

// Reads list-view item texts, states and images through one buffer in the owner's process.
class RemoteListView {
 public:
  explicit RemoteListView(HWND lv) : lv_(lv), mem_(lv, sizeof(LVITEMW) + kTextChars * 2) {}

  std::wstring Text(int row, int column) {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = reinterpret_cast<LPWSTR>(mem_.At(sizeof(LVITEMW)));
    item.cchTextMax = kTextChars;
    mem_.Put(0, item);
    AskOrThrow(lv_, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), mem_.Param());
    return mem_.Text(sizeof(LVITEMW), kTextChars);
  }

  LVITEMW Item(int row) {
    LVITEMW item{};
    item.mask = LVIF_IMAGE | LVIF_STATE;
    item.iItem = row;
    item.stateMask = LVIS_STATEIMAGEMASK | LVIS_SELECTED | LVIS_FOCUSED;
    mem_.Put(0, item);
    if (!AskOrThrow(lv_, LVM_GETITEMW, 0, mem_.Param()))
      throw std::runtime_error("no row " + std::to_string(row));
    return mem_.Get<LVITEMW>(0);
  }

  void SetState(int row, UINT state, UINT mask) {
    LVITEMW item{};
    item.state = state;
    item.stateMask = mask;
    mem_.Put(0, item);
    if (!AskOrThrow(lv_, LVM_SETITEMSTATE, static_cast<WPARAM>(row), mem_.Param()))
      throw std::runtime_error("the list view refused the state of row " + std::to_string(row));
  }

  Json Column(int index) {
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH;
    col.pszText = reinterpret_cast<LPWSTR>(mem_.At(sizeof(LVITEMW)));
    col.cchTextMax = kTextChars;
    static_assert(sizeof(LVCOLUMNW) <= sizeof(LVITEMW), "the column fits the item's place");
    mem_.Put(0, col);
    if (!AskOrThrow(lv_, LVM_GETCOLUMNW, static_cast<WPARAM>(index), mem_.Param()))
      throw std::runtime_error("no column " + std::to_string(index));
    LVCOLUMNW got = mem_.Get<LVCOLUMNW>(0);
    return Json::Object()
        .Set("text", mt::Narrow(mem_.Text(sizeof(LVITEMW), kTextChars)))
        .Set("width", got.cx);
  }

 private:
  static constexpr int kTextChars = 4096;
  HWND lv_;
  RemoteBuffer mem_;
};

}  // namespace

HWND ParseHandle(const std::string& text) {
  char* end = nullptr;
  unsigned long long v = std::strtoull(text.c_str(), &end, 0);
  if (text.empty() || !end || *end) throw std::runtime_error("not a window handle: " + text);
  return reinterpret_cast<HWND>(static_cast<uintptr_t>(v));
}

std::string HandleText(HWND window) { return Hex(reinterpret_cast<uintptr_t>(window)); }

std::string ClassOf(HWND window) {
  wchar_t cls[256] = L"";
  int n = GetClassNameW(window, cls, 256);
  return mt::Narrow(cls, static_cast<size_t>(n > 0 ? n : 0));
}

std::string WindowText(HWND window) {
  LRESULT length = 0;
  if (Ask(window, WM_GETTEXTLENGTH, 0, 0, length) && length >= 0) {
    std::wstring buf(static_cast<size_t>(length) + 1, L'\0');
    LRESULT got = 0;
    if (Ask(window, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), got))
      return mt::Narrow(buf.c_str(), wcsnlen(buf.c_str(), buf.size()));
  }
  wchar_t stored[1024] = L"";
  int n = InternalGetWindowText(window, stored, 1024);
  return mt::Narrow(stored, static_cast<size_t>(n > 0 ? n : 0));
}

Json Describe(HWND window) {
  if (!IsWindow(window)) throw std::runtime_error("no such window: " + HandleText(window));
  RECT r{};
  GetWindowRect(window, &r);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  HWND owner = GetWindow(window, GW_OWNER);
  return Json::Object()
      .Set("hwnd", HandleText(window))
      .Set("class", ClassOf(window))
      .Set("text", WindowText(window))
      .Set("style", Hex(static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE))))
      .Set("exstyle", Hex(static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE))))
      .Set("id", static_cast<long long>(GetWindowLongPtrW(window, GWLP_ID)))
      .Set("rect", RectJson(r))
      .Set("visible", IsWindowVisible(window) != FALSE)
      .Set("enabled", IsWindowEnabled(window) != FALSE)
      .Set("pid", static_cast<unsigned long>(pid))
      .Set("owner", owner ? Json(HandleText(owner)) : Json());
}

Json Tree(HWND window) {
  Json node = Describe(window);
  Json children = Json::Array();
  for (HWND child : DirectChildren(window)) {
    try {
      children.Add(Tree(child));
    } catch (const std::exception&) {
      if (IsWindow(child)) throw;  // a child destroyed meanwhile is simply not there
    }
  }
  node.Set("children", std::move(children));
  return node;
}

Json ListBoxRows(HWND listBox) {
  RequireClass(listBox, L"ListBox");
  Json rows = Json::Array();
  LRESULT count = AskOrThrow(listBox, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    LRESULT len = AskOrThrow(listBox, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
    std::wstring buf(static_cast<size_t>(len > 0 ? len : 0) + 1, L'\0');
    AskOrThrow(listBox, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf.data()));
    rows.Add(mt::Narrow(buf.c_str(), wcsnlen(buf.c_str(), buf.size())));
  }
  LRESULT selected = AskOrThrow(listBox, LB_GETCURSEL, 0, 0);
  return Json::Object()
      .Set("rows", std::move(rows))
      .Set("selected", static_cast<long long>(selected));
}

Json ComboBoxRows(HWND comboBox) {
  RequireClass(comboBox, L"ComboBox");
  Json rows = Json::Array();
  LRESULT count = AskOrThrow(comboBox, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    LRESULT len = AskOrThrow(comboBox, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
    std::wstring buf(static_cast<size_t>(len > 0 ? len : 0) + 1, L'\0');
    AskOrThrow(comboBox, CB_GETLBTEXT, static_cast<WPARAM>(i),
               reinterpret_cast<LPARAM>(buf.data()));
    rows.Add(mt::Narrow(buf.c_str(), wcsnlen(buf.c_str(), buf.size())));
  }
  LRESULT selected = AskOrThrow(comboBox, CB_GETCURSEL, 0, 0);
  return Json::Object()
      .Set("rows", std::move(rows))
      .Set("selected", static_cast<long long>(selected))
      .Set("text", WindowText(comboBox));
}

Json ListViewRows(HWND listView) {
  RequireClass(listView, WC_LISTVIEWW);
  RemoteListView lv(listView);
  HWND header = reinterpret_cast<HWND>(AskOrThrow(listView, LVM_GETHEADER, 0, 0));
  int columns = header ? static_cast<int>(AskOrThrow(header, HDM_GETITEMCOUNT, 0, 0)) : 1;
  if (columns < 1) columns = 1;
  Json columnList = Json::Array();
  for (int c = 0; c < columns; ++c) columnList.Add(lv.Column(c));
  Json rows = Json::Array();
  int count = static_cast<int>(AskOrThrow(listView, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    Json cells = Json::Array();
    for (int c = 0; c < columns; ++c) cells.Add(mt::Narrow(lv.Text(i, c)));
    LVITEMW item = lv.Item(i);
    // State image 1 is the empty box, 2 the ticked one; 0 means the row has no box.
    UINT stateImage = (item.state & LVIS_STATEIMAGEMASK) >> 12;
    rows.Add(Json::Object()
                 .Set("cells", std::move(cells))
                 .Set("checked", stateImage == 2)
                 .Set("image", item.iImage)
                 .Set("selected", (item.state & LVIS_SELECTED) != 0));
  }
  return Json::Object().Set("columns", std::move(columnList)).Set("rows", std::move(rows));
}

void SetListViewCheck(HWND listView, int row, bool checked) {
  RequireClass(listView, WC_LISTVIEWW);
  RemoteListView lv(listView);
  lv.SetState(row, INDEXTOSTATEIMAGEMASK(checked ? 2 : 1), LVIS_STATEIMAGEMASK);
}

Json TabCaptions(HWND tabControl) {
  RequireClass(tabControl, WC_TABCONTROLW);
  constexpr int kChars = 1024;
  RemoteBuffer mem(tabControl, sizeof(TCITEMW) + kChars * 2);
  Json tabs = Json::Array();
  int count = static_cast<int>(AskOrThrow(tabControl, TCM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = reinterpret_cast<LPWSTR>(mem.At(sizeof(TCITEMW)));
    item.cchTextMax = kChars;
    mem.Put(0, item);
    if (!AskOrThrow(tabControl, TCM_GETITEMW, static_cast<WPARAM>(i), mem.Param()))
      throw std::runtime_error("no tab " + std::to_string(i));
    tabs.Add(mt::Narrow(mem.Text(sizeof(TCITEMW), kChars)));
  }
  LRESULT selected = AskOrThrow(tabControl, TCM_GETCURSEL, 0, 0);
  return Json::Object()
      .Set("tabs", std::move(tabs))
      .Set("selected", static_cast<long long>(selected));
}

POINT TabCentre(HWND tabControl, int index) {
  RequireClass(tabControl, WC_TABCONTROLW);
  RemoteBuffer mem(tabControl, sizeof(RECT));
  if (!AskOrThrow(tabControl, TCM_GETITEMRECT, static_cast<WPARAM>(index), mem.Param()))
    throw std::runtime_error("no tab " + std::to_string(index));
  RECT r = mem.Get<RECT>(0);
  POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  ClientToScreen(tabControl, &p);
  return p;
}

}  // namespace probe
