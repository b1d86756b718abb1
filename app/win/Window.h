// The window layer that the program's windows derive from: one window procedure for the
// window, its panels and its pictures (errors caught at the boundary and shown in the general
// error report), controls laid out in 96-DPI pixels and rescaled when the DPI changes, the
// 宋体 GB2312 fonts, click/notify/context-menu/colour maps, the dialog keys, and the UI-thread gate.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/UiGate.h"
#include "app/win/Handles.h"

namespace mt {

// A device context of a window, released on every path, with the objects selected into it
// put back first.
class ScopedWindowDC {
 public:
  explicit ScopedWindowDC(HWND hwnd) : hwnd_(hwnd), dc_(::GetDC(hwnd)) {}
  ~ScopedWindowDC() {
    if (dc_) ::ReleaseDC(hwnd_, dc_);
  }
  ScopedWindowDC(const ScopedWindowDC&) = delete;
  ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND hwnd_;
  HDC dc_;
};

// Selects a GDI object into a DC for the life of this object.
class ScopedSelect {
 public:
  ScopedSelect(HDC dc, HGDIOBJ object) : dc_(dc), old_(::SelectObject(dc, object)) {}
  ~ScopedSelect() {
    if (old_) ::SelectObject(dc_, old_);
  }
  ScopedSelect(const ScopedSelect&) = delete;
  ScopedSelect& operator=(const ScopedSelect&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// Width and height of `text` drawn in `font` on the screen.
SIZE MeasureText(HWND hwnd, HFONT font, const std::string& text);

// Pixel rows from the top of a line of `font` down to the bottom of its underline: what a
// one-line label must be high to show its text whole. Faces differ (the substitutes a system
// offers for 宋体 put the underline below their cell), so this is measured, not scaled.
int LineHeightWithUnderline(HWND hwnd, HFONT font);

// The width a list's rows have once it scrolls: its client area less a vertical scroll bar
// it does not show yet, so that columns sized to it never need a sideways bar.
int ListRowWidth(HWND list);

// Answers a list view's LVN_GETINFOTIPW with `text` (cut to the room the list offers).
void FillInfoTip(NMLVGETINFOTIPW* tip, const std::string& text);

// The 宋体 face in the GB2312 character set, `pixelHeight` pixels high.
UniqueFont MakeSongtiFont(int pixelHeight, int weight = FW_NORMAL, bool underline = false);

// The DPI a window is shown at (the screen's when the system cannot say per window).
UINT WindowDpi(HWND hwnd);

// One message of the program's message loops: the dialog keys (Tab, Shift+Tab, arrows, Enter,
// Esc) for whichever top-level window the message is for, else translated and dispatched.
void DispatchUiMessage(MSG& msg);

// The frame of the program's dialog-like windows: caption and close box, fixed size.
constexpr DWORD kDialogFrameStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kDialogFrameExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

class Window {
 public:
  Window();
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  HWND Handle = nullptr;

  // Shows `message` in the general error report (the application's title, an error icon).
  virtual void ShowErrorReport(const std::string& message) = 0;
  // Runs `handler` and shows whatever it throws in the general error report.
  void Guarded(const std::function<void()>& handler);

  // Runs `work` on the UI thread (from any thread); see app/UiGate.h for the rules.
  Handed Post(std::function<void()> work);
  // The gate that worker threads hold; it closes when the window is destroyed.
  std::shared_ptr<UiGate> Gate() const { return gate_; }

  // ---- layout ------------------------------------------------------------------------------
  // Pixels at 96 DPI to pixels at the window's DPI.
  int Scale(int pixels96) const { return ::MulDiv(pixels96, static_cast<int>(dpi_), 96); }
  UINT Dpi() const { return dpi_; }
  // The window's 12-pixel face.
  HFONT Font() const { return FontOf(kNormalFont); }
  // Another face (height in 96-DPI pixels); the id is what SetControlFont takes. The font is
  // made again when the DPI changes.
  int AddFont(int pixelHeight96, int weight = FW_NORMAL, bool underline = false);
  HFONT FontOf(int id) const;
  void SetControlFont(HWND control, int fontId);
  static constexpr int kNormalFont = 0;

  // Controls are placed in 96-DPI client pixels of their parent and keep that rectangle, so
  // they follow DPI changes.
  HWND AddControl(HWND parent, const wchar_t* windowClass, const std::string& text, DWORD style,
                  int x, int y, int w, int h, DWORD exStyle = 0);
  HWND AddLabel(HWND parent, const std::string& text, int x, int y, int w, int h,
                DWORD extraStyle = 0);
  HWND AddButton(HWND parent, const std::string& text, int x, int y, int w, int h,
                 DWORD extraStyle = BS_PUSHBUTTON);
  HWND AddGroup(HWND parent, const std::string& text, int x, int y, int w, int h);
  HWND AddEdit(HWND parent, const std::string& text, int x, int y, int w, int h,
               DWORD extraStyle = ES_AUTOHSCROLL);
  // A child window that hosts controls: filled with `background` (the button face when
  // CLR_INVALID), a raised edge when `raised`, and `paint` drawn over it when given.
  HWND AddPanel(HWND parent, int x, int y, int w, int h, COLORREF background = CLR_INVALID,
                bool raised = false, std::function<void(HDC, const RECT&)> paint = nullptr);
  // A picture: `paint` draws it into its client rectangle on its parent's background.
  HWND AddPicture(HWND parent, int x, int y, int w, int h, bool visible,
                  std::function<void(HDC, const RECT&)> paint);
  // Moves a placed control to a new 96-DPI rectangle.
  void PlaceControl(HWND control, int x, int y, int w, int h);

  // Binds a click (BN_CLICKED / STN_CLICKED) of `control` to `handler`, run guarded.
  void OnClick(HWND control, std::function<void()> handler);
  // Binds WM_NOTIFY from `control`; the handler returns the message result.
  void OnNotify(HWND control, std::function<LRESULT(NMHDR*)> handler);
  // A context-menu entry: its caption and what choosing it runs.
  struct MenuItem {
    std::string caption;
    std::function<void()> handler;
    // For a tick: whether it is ticked when the menu opens (none: not a tick).
    std::function<bool()> ticked = nullptr;
  };
  // Binds the context menu (WM_CONTEXTMENU) of `control`: the entries pop up at the pointer
  // (below the control's corner from the keyboard) and the chosen one runs guarded.
  void OnContextMenu(HWND control, std::vector<MenuItem> items);
  // The captions of `control`'s context menu, in order (empty when it has none).
  std::vector<std::string> ContextMenuCaptions(HWND control) const;
  // Runs the entry `caption` of `control`'s context menu as a choice from the menu does;
  // false when there is no such entry.
  bool ChooseContextMenu(HWND control, const std::string& caption);
  // Colours a static or check box control's text.
  void SetLabelColour(HWND label, COLORREF colour);

  // Enables or disables a control; a control that loses the focus this way hands it to the
  // next control of the tab order (a window without a focused control gets no dialog keys).
  void EnableControl(HWND control, bool enabled);
  // Gives the keyboard focus to the first control of the tab order.
  void FocusFirstControl();

  // Text of any control, UTF-8.
  static std::string GetText(HWND control);
  static void SetText(HWND control, const std::string& text);
  // Sends a click to a button-like control the way a user's click arrives.
  static void Click(HWND control);

 protected:
  struct Frame {
    const wchar_t* windowClass;
    std::string caption;
    DWORD style;
    DWORD exStyle;
    int clientWidth, clientHeight;  // 96-DPI pixels
    HWND owner;
    bool icon;  // the program icon on the class
  };
  // Registers the class (once), creates the window hidden at the owner's (or the screen's)
  // DPI, centred on the desktop, and makes the 12-pixel face.
  void CreateFrame(const Frame& frame);

  // The window's own messages, after the maps; the default is DefWindowProc.
  virtual LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
  // A panel's or page's own messages, before the layer's handling; true when handled.
  virtual bool OnPanelMessage(HWND, UINT, WPARAM, LPARAM, LRESULT&) { return false; }
  // First step of WM_DESTROY, before the UI-thread gate closes (workers are told to stop).
  virtual void OnDestroying() {}
  // Called after every control was moved and given its font at a new DPI.
  virtual void OnDpiChanged() {}
  // Esc in the window (through the dialog manager); nothing by default.
  virtual void OnEscape() {}

  // Applies `dpi` to fonts, controls and the frame; `suggested` is the system's new window
  // rectangle (null: keep the top-left corner).
  void ApplyDpi(UINT dpi, const RECT* suggested);

 private:
  static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
  LRESULT Dispatch(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  bool Forward(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
  bool DialogCommand(WPARAM wp, LPARAM lp);
  void Destroying();

  struct Placed {
    HWND hwnd;
    RECT rect96;
    int font;
  };
  struct FontSpec {
    int height96, weight;
    bool underline;
    UniqueFont font;
  };
  struct Surface {
    COLORREF background = CLR_INVALID;
    bool raised = false;
    UniqueBrush brush;
    std::function<void(HDC, const RECT&)> paint;
  };
  std::vector<Placed> placed_;
  std::vector<FontSpec> fonts_;
  std::map<HWND, Surface> surfaces_;
  std::map<HWND, std::function<void()>> clicks_;
  std::map<HWND, std::function<LRESULT(NMHDR*)>> notifies_;
  std::map<HWND, std::vector<MenuItem>> contextMenus_;
  std::map<HWND, COLORREF> colours_;
  std::shared_ptr<UiGate> gate_;
  HWND lastFocus_ = nullptr;
  UINT dpi_ = 96;
  int clientW_ = 0, clientH_ = 0;
  DWORD style_ = 0, exStyle_ = 0;
};

}  // namespace mt
