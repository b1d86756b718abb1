#include "app/win/Window.h"

#include <commctrl.h>

#include <algorithm>

#include "app/Error.h"
#include "app/win/Convert.h"

namespace mt {

namespace {

// Work handed over by Post: lParam owns a heap std::function<void()>.
constexpr UINT kRunOnUi = WM_APP + 1;
// Panels, pages and pictures of every window (the end-to-end tests find the pages by it).
constexpr wchar_t kSurfaceClass[] = L"TMtPage";

using Work = std::function<void()>;

ATOM RegisterOnce(const wchar_t* name, WNDPROC proc, HBRUSH background, bool icon) {
  HINSTANCE inst = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (ATOM atom = static_cast<ATOM>(::GetClassInfoExW(inst, name, &wc))) return atom;
  wc.lpfnWndProc = proc;
  wc.hInstance = inst;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = background;
  if (icon) {
    wc.hIcon = ::LoadIconW(inst, MAKEINTRESOURCEW(1));
    wc.hIconSm = static_cast<HICON>(::LoadImageW(inst, MAKEINTRESOURCEW(1), IMAGE_ICON, 16, 16, 0));
  }
  wc.lpszClassName = name;
  return ::RegisterClassExW(&wc);
}

void DrainQueuedWork(HWND hwnd) {
  MSG pending;
  while (::PeekMessageW(&pending, hwnd, kRunOnUi, kRunOnUi, PM_REMOVE))
    delete reinterpret_cast<Work*>(pending.lParam);
}

bool IsPushButton(HWND control) {
  wchar_t cls[16] = L"";
  ::GetClassNameW(control, cls, 16);
  if (_wcsicmp(cls, L"Button") != 0) return false;
  const LONG type = ::GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
  return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

}  // namespace

SIZE MeasureText(HWND hwnd, HFONT font, const std::string& text) {
  ScopedWindowDC dc(hwnd);
  ScopedSelect selected(dc.get(), font);
  std::wstring w = Widen(text);
  SIZE size{};
  ::GetTextExtentPoint32W(dc.get(), w.c_str(), static_cast<int>(w.size()), &size);
  return size;
}

int ListRowWidth(HWND list) {
  RECT client{};
  ::GetClientRect(list, &client);
  int width = client.right - client.left;
  if (!(::GetWindowLongW(list, GWL_STYLE) & WS_VSCROLL)) width -= ::GetSystemMetrics(SM_CXVSCROLL);
  return width;
}

void FillInfoTip(NMLVGETINFOTIPW* tip, const std::string& text) {
  if (!tip->pszText || tip->cchTextMax <= 0) return;
  const std::wstring wide = Widen(text);
  const size_t n = std::min(wide.size(), static_cast<size_t>(tip->cchTextMax - 1));
  wide.copy(tip->pszText, n);
  tip->pszText[n] = L'\0';
}

int LineHeightWithUnderline(HWND hwnd, HFONT font) {
  ScopedWindowDC dc(hwnd);
  ScopedSelect selected(dc.get(), font);
  TEXTMETRICW tm{};
  ::GetTextMetricsW(dc.get(), &tm);
  int bottom = tm.tmHeight;
  OUTLINETEXTMETRICW otm{};
  otm.otmSize = sizeof otm;
  // Bitmap faces have no outline metrics; their underline lies inside the cell.
  if (::GetOutlineTextMetricsW(dc.get(), sizeof otm, &otm)) {
    const int underlineTop = tm.tmAscent - otm.otmsUnderscorePosition;
    bottom = std::max(bottom, underlineTop + std::max(1, static_cast<int>(otm.otmsUnderscoreSize)));
  }
  return bottom;
}

UniqueFont MakeSongtiFont(int pixelHeight, int weight, bool underline) {
  return UniqueFont(::CreateFontW(-pixelHeight, 0, 0, 0, weight, FALSE, underline, FALSE,
                                  GB2312_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                  DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"宋体"));
}

UINT WindowDpi(HWND hwnd) {
  using Fn = UINT(WINAPI*)(HWND);
  static Fn fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (fn && hwnd) {
    if (UINT dpi = fn(hwnd)) return dpi;
  }
  ScopedWindowDC dc(nullptr);
  UINT dpi = static_cast<UINT>(::GetDeviceCaps(dc.get(), LOGPIXELSY));
  return dpi ? dpi : 96;
}

void DispatchUiMessage(MSG& msg) {
  HWND root = msg.hwnd ? ::GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  if (root && ::IsDialogMessageW(root, &msg)) return;
  ::TranslateMessage(&msg);
  ::DispatchMessageW(&msg);
}

// ---- the window -----------------------------------------------------------------------------

Window::Window() : gate_(std::make_shared<UiGate>()) {
  fonts_.push_back({12, FW_NORMAL, false, UniqueFont()});
}

Window::~Window() {
  gate_->Close();
  if (Handle) {
    HWND h = Handle;
    DrainQueuedWork(h);
    // The derived object is gone: the messages of the destruction go to DefWindowProc.
    ::SetWindowLongPtrW(h, GWLP_USERDATA, 0);
    Handle = nullptr;
    ::DestroyWindow(h);
  }
}

void Window::Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    ShowErrorReport(e.what());
  } catch (...) {
    ShowErrorReport("未知错误");
  }
}

Handed Window::Post(std::function<void()> work) { return gate_->Send(std::move(work)); }

void Window::CreateFrame(const Frame& frame) {
  RegisterOnce(frame.windowClass, Proc, ::GetSysColorBrush(COLOR_BTNFACE), frame.icon);
  RegisterOnce(kSurfaceClass, Proc, nullptr, false);
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&icc);
  style_ = frame.style;
  exStyle_ = frame.exStyle;
  clientW_ = frame.clientWidth;
  clientH_ = frame.clientHeight;
  dpi_ = WindowDpi(frame.owner);
  RECT r{0, 0, Scale(clientW_), Scale(clientH_)};
  ::AdjustWindowRectEx(&r, style_, FALSE, exStyle_);
  const int w = r.right - r.left, h = r.bottom - r.top;
  HWND hwnd = ::CreateWindowExW(exStyle_, frame.windowClass, Widen(frame.caption).c_str(), style_,
                                (::GetSystemMetrics(SM_CXSCREEN) - w) / 2,
                                (::GetSystemMetrics(SM_CYSCREEN) - h) / 2, w, h, frame.owner,
                                nullptr, ::GetModuleHandleW(nullptr), this);
  if (!hwnd) throw AppError(SystemErrorText(::GetLastError()));
  Handle = hwnd;
  gate_->Attach([hwnd](Work work) {
    auto* heap = new Work(std::move(work));
    if (::PostMessageW(hwnd, kRunOnUi, 0, reinterpret_cast<LPARAM>(heap))) return Handed::Queued;
    delete heap;
    // A window that still exists refused the post because its queue is full, which passes.
    return ::IsWindow(hwnd) ? Handed::Busy : Handed::Gone;
  });
  const UINT actual = WindowDpi(hwnd);
  for (FontSpec& f : fonts_)
    f.font = MakeSongtiFont(::MulDiv(f.height96, actual, 96), f.weight, f.underline);
  if (actual != dpi_) ApplyDpi(actual, nullptr);
}

int Window::AddFont(int pixelHeight96, int weight, bool underline) {
  fonts_.push_back(
      {pixelHeight96, weight, underline, MakeSongtiFont(Scale(pixelHeight96), weight, underline)});
  return static_cast<int>(fonts_.size()) - 1;
}

HFONT Window::FontOf(int id) const { return fonts_.at(static_cast<size_t>(id)).font.get(); }

void Window::SetControlFont(HWND control, int fontId) {
  for (Placed& p : placed_) {
    if (p.hwnd == control) p.font = fontId;
  }
  ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(fontId)), TRUE);
}

HWND Window::AddControl(HWND parent, const wchar_t* windowClass, const std::string& text,
                        DWORD style, int x, int y, int w, int h, DWORD exStyle) {
  static int nextId = 1000;
  HWND hwnd = ::CreateWindowExW(exStyle, windowClass, Widen(text).c_str(),
                                WS_CHILD | WS_VISIBLE | style, Scale(x), Scale(y), Scale(w),
                                Scale(h), parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(nextId++)),
                                ::GetModuleHandleW(nullptr), this);
  if (!hwnd) throw AppError(SystemErrorText(::GetLastError()));
  ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(Font()), FALSE);
  placed_.push_back({hwnd, RECT{x, y, x + w, y + h}, kNormalFont});
  return hwnd;
}

HWND Window::AddLabel(HWND parent, const std::string& text, int x, int y, int w, int h,
                      DWORD extraStyle) {
  return AddControl(parent, L"STATIC", text, SS_LEFT | SS_NOPREFIX | extraStyle, x, y, w, h);
}

HWND Window::AddButton(HWND parent, const std::string& text, int x, int y, int w, int h,
                       DWORD extraStyle) {
  return AddControl(parent, L"BUTTON", text, WS_TABSTOP | extraStyle, x, y, w, h);
}

HWND Window::AddGroup(HWND parent, const std::string& text, int x, int y, int w, int h) {
  return AddControl(parent, L"BUTTON", text, BS_GROUPBOX, x, y, w, h);
}

HWND Window::AddEdit(HWND parent, const std::string& text, int x, int y, int w, int h,
                     DWORD extraStyle) {
  return AddControl(parent, L"EDIT", text, WS_TABSTOP | extraStyle, x, y, w, h, WS_EX_CLIENTEDGE);
}

HWND Window::AddPanel(HWND parent, int x, int y, int w, int h, COLORREF background, bool raised,
                      std::function<void(HDC, const RECT&)> paint) {
  HWND panel = AddControl(parent, kSurfaceClass, "", WS_CLIPSIBLINGS, x, y, w, h,
                          WS_EX_CONTROLPARENT);
  Surface& s = surfaces_[panel];
  s.background = background;
  s.raised = raised;
  if (background != CLR_INVALID) s.brush.reset(::CreateSolidBrush(background));
  s.paint = std::move(paint);
  return panel;
}

HWND Window::AddPicture(HWND parent, int x, int y, int w, int h, bool visible,
                        std::function<void(HDC, const RECT&)> paint) {
  HWND picture = AddControl(parent, kSurfaceClass, "", 0, x, y, w, h);
  if (!visible) ::ShowWindow(picture, SW_HIDE);
  auto parentSurface = surfaces_.find(parent);
  Surface& s = surfaces_[picture];
  s.background = parentSurface != surfaces_.end() ? parentSurface->second.background : CLR_INVALID;
  if (s.background != CLR_INVALID) s.brush.reset(::CreateSolidBrush(s.background));
  s.paint = std::move(paint);
  return picture;
}

void Window::PlaceControl(HWND control, int x, int y, int w, int h) {
  for (Placed& p : placed_) {
    if (p.hwnd == control) p.rect96 = RECT{x, y, x + w, y + h};
  }
  ::MoveWindow(control, Scale(x), Scale(y), Scale(w), Scale(h), TRUE);
}

void Window::OnClick(HWND control, std::function<void()> handler) {
  clicks_[control] = std::move(handler);
}

void Window::OnNotify(HWND control, std::function<LRESULT(NMHDR*)> handler) {
  notifies_[control] = std::move(handler);
}

void Window::OnContextMenu(HWND control, std::vector<MenuItem> items) {
  contextMenus_[control] = std::move(items);
}

std::vector<std::string> Window::ContextMenuCaptions(HWND control) const {
  std::vector<std::string> captions;
  auto it = contextMenus_.find(control);
  if (it != contextMenus_.end())
    for (const MenuItem& item : it->second) captions.push_back(item.caption);
  return captions;
}

bool Window::ChooseContextMenu(HWND control, const std::string& caption) {
  auto it = contextMenus_.find(control);
  if (it == contextMenus_.end()) return false;
  for (const MenuItem& item : it->second) {
    if (item.caption != caption) continue;
    auto handler = item.handler;  // the handler may rebind menus
    Guarded(handler);
    return true;
  }
  return false;
}

void Window::SetLabelColour(HWND label, COLORREF colour) {
  colours_[label] = colour;
  ::InvalidateRect(label, nullptr, TRUE);
}

void Window::EnableControl(HWND control, bool enabled) {
  if (!enabled && ::GetFocus() == control) {
    HWND next = ::GetNextDlgTabItem(Handle, control, FALSE);
    if (next && next != control) ::SetFocus(next);
  }
  ::EnableWindow(control, enabled ? TRUE : FALSE);
}

void Window::FocusFirstControl() {
  if (HWND first = ::GetNextDlgTabItem(Handle, nullptr, FALSE)) ::SetFocus(first);
}

std::string Window::GetText(HWND control) {
  int n = ::GetWindowTextLengthW(control);
  std::wstring buf(static_cast<size_t>(n) + 1, L'\0');
  n = ::GetWindowTextW(control, buf.data(), n + 1);
  return Narrow(buf.data(), static_cast<size_t>(n));
}

void Window::SetText(HWND control, const std::string& text) {
  ::SetWindowTextW(control, Widen(text).c_str());
}

void Window::Click(HWND control) {
  wchar_t cls[32] = L"";
  ::GetClassNameW(control, cls, 32);
  if (_wcsicmp(cls, L"Static") == 0) {
    // A label's click arrives as STN_CLICKED at its parent.
    ::SendMessageW(::GetParent(control), WM_COMMAND,
                   MAKEWPARAM(::GetDlgCtrlID(control), STN_CLICKED),
                   reinterpret_cast<LPARAM>(control));
  } else {
    ::SendMessageW(control, BM_CLICK, 0, 0);
  }
}

// ---- DPI ---------------------------------------------------------------------------------------

void Window::ApplyDpi(UINT dpi, const RECT* suggested) {
  dpi_ = dpi;
  for (FontSpec& f : fonts_) f.font = MakeSongtiFont(Scale(f.height96), f.weight, f.underline);
  for (const Placed& p : placed_) {
    ::MoveWindow(p.hwnd, Scale(p.rect96.left), Scale(p.rect96.top),
                 Scale(p.rect96.right - p.rect96.left), Scale(p.rect96.bottom - p.rect96.top),
                 TRUE);
    ::SendMessageW(p.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(p.font)), TRUE);
  }
  RECT r{0, 0, Scale(clientW_), Scale(clientH_)};
  ::AdjustWindowRectEx(&r, style_, FALSE, exStyle_);
  RECT now{};
  ::GetWindowRect(Handle, &now);
  const int left = suggested ? suggested->left : now.left;
  const int top = suggested ? suggested->top : now.top;
  ::SetWindowPos(Handle, nullptr, left, top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  OnDpiChanged();
}

// ---- messages --------------------------------------------------------------------------------

LRESULT Window::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  return ::DefWindowProcW(Handle, msg, wp, lp);
}

// One procedure for the window and its panels and pictures. The object comes with
// WM_NCCREATE; whatever a handler throws ends at this boundary in the error report.
LRESULT CALLBACK Window::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    auto* owner = static_cast<Window*>(cs->lpCreateParams);
    // The first window an object creates that is not a child is its frame.
    if (owner && !owner->Handle && !(cs->style & WS_CHILD)) owner->Handle = hwnd;
  }
  auto* self = reinterpret_cast<Window*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) {
    if (msg == kRunOnUi) delete reinterpret_cast<Work*>(lp);
    return ::DefWindowProcW(hwnd, msg, wp, lp);
  }
  try {
    return self->Dispatch(hwnd, msg, wp, lp);
  } catch (const std::exception& e) {
    self->ShowErrorReport(e.what());
  } catch (...) {
    self->ShowErrorReport("未知错误");
  }
  return msg == WM_NCCREATE ? TRUE : 0;
}

LRESULT Window::Dispatch(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT result = 0;
  if (Forward(hwnd, msg, wp, lp, result)) return result;
  if (hwnd != Handle) {
    if (OnPanelMessage(hwnd, msg, wp, lp, result)) return result;
    auto s = surfaces_.find(hwnd);
    switch (msg) {
      case WM_ERASEBKGND: {
        RECT rc;
        ::GetClientRect(hwnd, &rc);
        HBRUSH brush = s != surfaces_.end() && s->second.brush ? s->second.brush.get()
                                                               : ::GetSysColorBrush(COLOR_BTNFACE);
        ::FillRect(reinterpret_cast<HDC>(wp), &rc, brush);
        return 1;
      }
      case WM_PAINT: {
        const PaintScope paint(hwnd);
        RECT rc;
        ::GetClientRect(hwnd, &rc);
        if (s != surfaces_.end()) {
          if (s->second.raised) ::DrawEdge(paint.dc(), &rc, EDGE_RAISED, BF_RECT);
          if (s->second.paint) s->second.paint(paint.dc(), rc);
        }
        return 0;
      }
      case WM_SIZE: ::InvalidateRect(hwnd, nullptr, TRUE); return 0;
      case WM_NCDESTROY: surfaces_.erase(hwnd); break;
      default: break;
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
  }
  switch (msg) {
    case kRunOnUi: {
      std::unique_ptr<Work> work(reinterpret_cast<Work*>(lp));
      Guarded(*work);
      return 0;
    }
    case WM_COMMAND:
      if (DialogCommand(wp, lp)) return 0;
      break;
    case WM_DPICHANGED: ApplyDpi(HIWORD(wp), reinterpret_cast<RECT*>(lp)); return 0;
    case WM_ACTIVATE:
      // The focus leaves with the window and comes back to the same control.
      if (LOWORD(wp) == WA_INACTIVE) {
        HWND focus = ::GetFocus();
        if (focus && ::IsChild(Handle, focus)) lastFocus_ = focus;
      } else if (!::IsIconic(Handle)) {
        // At the first activation the first control of the tab order takes the focus.
        if (lastFocus_ && ::IsWindow(lastFocus_) && ::IsChild(Handle, lastFocus_))
          ::SetFocus(lastFocus_);
        else FocusFirstControl();
        if (::GetFocus() && ::IsChild(Handle, ::GetFocus())) return 0;
      }
      break;
    case WM_DESTROY: Destroying(); break;
    case WM_NCDESTROY: {
      LRESULT r = OnMessage(msg, wp, lp);
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      Handle = nullptr;
      return r;
    }
    default: break;
  }
  return OnMessage(msg, wp, lp);
}

// The dialog manager's Enter (IDOK) and Esc (IDCANCEL): Enter presses the focused push
// button, Esc is the window's to decide.
bool Window::DialogCommand(WPARAM wp, LPARAM lp) {
  const WORD id = LOWORD(wp);
  if (HIWORD(wp) != 0 || (id != IDOK && id != IDCANCEL)) return false;
  HWND from = reinterpret_cast<HWND>(lp);
  if (from && ::GetDlgCtrlID(from) == id) return false;  // a control's own click
  if (id == IDCANCEL) {
    OnEscape();
    return true;
  }
  HWND focus = ::GetFocus();
  if (focus && ::IsChild(Handle, focus) && IsPushButton(focus) && ::IsWindowEnabled(focus))
    Click(focus);
  return true;
}

// Messages that controls send to their parent, whether that is the window or a panel.
bool Window::Forward(HWND, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  switch (msg) {
    case WM_COMMAND: {
      HWND ctl = reinterpret_cast<HWND>(lp);
      if (!ctl || HIWORD(wp) != BN_CLICKED || LOWORD(wp) != ::GetDlgCtrlID(ctl)) return false;
      auto it = clicks_.find(ctl);
      if (it == clicks_.end()) return false;
      auto handler = it->second;  // the handler may rebind controls
      Guarded(handler);
      result = 0;
      return true;
    }
    case WM_NOTIFY: {
      auto* nm = reinterpret_cast<NMHDR*>(lp);
      auto it = notifies_.find(nm->hwndFrom);
      if (it == notifies_.end()) return false;
      auto handler = it->second;
      result = 0;
      Guarded([&] { result = handler(nm); });
      return true;
    }
    case WM_CONTEXTMENU: {
      HWND ctl = reinterpret_cast<HWND>(wp);
      auto it = contextMenus_.find(ctl);
      if (it == contextMenus_.end()) return false;
      POINT at{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      if (lp == -1) {  // from the keyboard
        RECT r;
        ::GetWindowRect(ctl, &r);
        at = {r.left + Scale(8), r.top + Scale(8)};
      }
      UINT chosen = 0;
      const std::vector<MenuItem> items = it->second;
      {
        const UniqueMenu menu(::CreatePopupMenu());
        if (!menu) return false;
        for (size_t i = 0; i < items.size(); ++i)
          ::AppendMenuW(menu.get(),
                        MF_STRING | (items[i].ticked && items[i].ticked() ? MF_CHECKED : 0), i + 1,
                        Widen(items[i].caption).c_str());
        chosen = static_cast<UINT>(::TrackPopupMenu(menu.get(),
                                                    TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                                    at.x, at.y, 0, Handle, nullptr));
      }  // the menu is gone before the chosen item's handler runs
      if (chosen >= 1 && chosen <= items.size()) Guarded(items[chosen - 1].handler);
      result = 0;
      return true;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      HWND control = reinterpret_cast<HWND>(lp);
      auto colour = colours_.find(control);
      auto surface = surfaces_.find(::GetParent(control));
      const bool onColour = surface != surfaces_.end() && surface->second.brush;
      if (colour == colours_.end() && !onColour) return false;
      HDC dc = reinterpret_cast<HDC>(wp);
      ::SetTextColor(dc, colour != colours_.end() ? colour->second : RGB(0, 0, 0));
      ::SetBkColor(dc, onColour ? surface->second.background : ::GetSysColor(COLOR_BTNFACE));
      result = reinterpret_cast<LRESULT>(onColour ? surface->second.brush.get()
                                                  : ::GetSysColorBrush(COLOR_BTNFACE));
      return true;
    }
    default: return false;
  }
}

void Window::Destroying() {
  OnDestroying();
  // No new work can arrive once the gate is closed; what is queued is freed unrun.
  gate_->Close();
  DrainQueuedWork(Handle);
}

}  // namespace mt
