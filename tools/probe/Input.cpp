#include "tools/probe/Input.h"

#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "app/win/Handles.h"

namespace probe {

namespace {

INPUT Key(WORD vk, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  switch (vk) {  // keys of the extended block
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
    case VK_HOME:
    case VK_END:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_INSERT:
    case VK_DELETE: in.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY; break;
    default: break;
  }
  return in;
}

void Send(std::vector<INPUT>& inputs) {
  if (inputs.empty()) return;
  UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  if (sent != inputs.size()) throw std::runtime_error("SendInput refused the input");
}

constexpr DWORD kSettleMs = 50;

// Puts the pointer on `screen` and keeps it there. Under Wine the display's own pointer may
// still report an earlier position (a window that appeared or went away under it), which
// moves the cursor back; so the position is set again until it has stayed put for 100 ms.
void PlacePointer(POINT screen) {
  int stable = 0;
  for (int i = 0; i < 250 && stable < 5; ++i) {
    POINT now{};
    GetCursorPos(&now);
    if (now.x == screen.x && now.y == screen.y) {
      ++stable;
    } else {
      stable = 0;
      if (!SetCursorPos(screen.x, screen.y)) throw std::runtime_error("SetCursorPos failed");
    }
    Sleep(20);
  }
  if (stable < 5) throw std::runtime_error("the pointer does not stay where it was put");
}

WORD NamedKey(const std::string& name) {
  struct Named {
    const char* name;
    WORD vk;
  };
  static const Named keys[] = {
      {"ENTER", VK_RETURN},  {"RETURN", VK_RETURN}, {"TAB", VK_TAB},       {"ESC", VK_ESCAPE},
      {"ESCAPE", VK_ESCAPE}, {"SPACE", VK_SPACE},   {"BACK", VK_BACK},     {"BACKSPACE", VK_BACK},
      {"DELETE", VK_DELETE}, {"DEL", VK_DELETE},    {"INSERT", VK_INSERT}, {"HOME", VK_HOME},
      {"END", VK_END},       {"PAGEUP", VK_PRIOR},  {"PAGEDOWN", VK_NEXT}, {"UP", VK_UP},
      {"DOWN", VK_DOWN},     {"LEFT", VK_LEFT},     {"RIGHT", VK_RIGHT},
  };
  for (const Named& k : keys)
    if (name == k.name) return k.vk;
  if (name.size() >= 2 && name[0] == 'F') {
    int n = std::atoi(name.c_str() + 1);
    if (n >= 1 && n <= 12) return static_cast<WORD>(VK_F1 + n - 1);
  }
  if (name.size() == 1) {
    char c = name[0];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return static_cast<WORD>(c);
  }
  throw std::runtime_error("unknown key: " + name);
}

bool Contains(HWND w, POINT screen) {
  RECT r{};
  return IsWindowVisible(w) && GetWindowRect(w, &r) && PtInRect(&r, screen);
}

// The deepest visible child of `w` at the point, or `w` itself.
HWND Deepest(HWND w, POINT screen) {
  for (;;) {
    POINT client = screen;
    ScreenToClient(w, &client);
    HWND child = ChildWindowFromPointEx(w, client, CWP_SKIPINVISIBLE);
    if (!child || child == w) return w;
    w = child;
  }
}

bool Transparent(HWND w, POINT screen) {
  DWORD_PTR hit = 0;
  return SendMessageTimeoutW(w, WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y), SMTO_ABORTIFHUNG,
                             2000, &hit) &&
         static_cast<LONG_PTR>(static_cast<LRESULT>(hit)) == HTTRANSPARENT;
}

// The window that a click at the point reaches: WindowFromPoint asks windows of other
// threads nothing, so a group box or a plain label over a control would hide it; they let
// clicks through (HTTRANSPARENT), and so does this walk, to the next window below them.
HWND WindowUnder(POINT screen) {
  HWND hit = WindowFromPoint(screen);
  for (int guard = 0; hit && guard < 64 && Transparent(hit, screen); ++guard) {
    HWND below = GetWindow(hit, GW_HWNDNEXT);
    while (below && !Contains(below, screen)) below = GetWindow(below, GW_HWNDNEXT);
    hit = below ? Deepest(below, screen) : GetParent(hit);
  }
  return hit;
}

}  // namespace

bool BringToFront(HWND window) {
  HWND root = GetAncestor(window, GA_ROOT);
  if (!root) return false;
  if (GetForegroundWindow() == root) return true;
  SetForegroundWindow(root);
  for (int i = 0; i < 100 && GetForegroundWindow() != root; ++i) Sleep(10);
  return GetForegroundWindow() == root;
}

void ClickWindowAt(HWND window, POINT screen) {
  if (!IsWindowVisible(window)) throw std::runtime_error("the window is not visible");
  if (!IsWindowEnabled(window)) throw std::runtime_error("the window is disabled");
  // A disabled top-level window waits for a modal dialog: a user cannot click it, and
  // bringing it forward would put it over the dialog.
  if (!IsWindowEnabled(GetAncestor(window, GA_ROOT)))
    throw std::runtime_error("the window is disabled by a modal dialog");
  BringToFront(window);
  HWND hit = WindowUnder(screen);
  if (hit != window && !IsChild(window, hit)) {
    wchar_t cls[64] = L"";
    GetClassNameW(hit, cls, 64);
    throw std::runtime_error("the point (" + std::to_string(screen.x) + "," +
                             std::to_string(screen.y) + ") is covered by a window of class " +
                             mt::Narrow(cls));
  }
  // Two clicks close together in time and place make a double click; a second click of the
  // same spot waits that time out, as a user clicking twice deliberately does.
  static ULONGLONG lastTick = 0;
  static POINT lastPoint{-1000, -1000};
  ULONGLONG since = GetTickCount64() - lastTick;
  if (since <= GetDoubleClickTime() &&
      std::abs(screen.x - lastPoint.x) <= GetSystemMetrics(SM_CXDOUBLECLK) &&
      std::abs(screen.y - lastPoint.y) <= GetSystemMetrics(SM_CYDOUBLECLK))
    Sleep(static_cast<DWORD>(GetDoubleClickTime() - since + 50));
  PlacePointer(screen);
  std::vector<INPUT> down(1), up(1);
  down[0].type = up[0].type = INPUT_MOUSE;
  down[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  up[0].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  Send(down);
  Sleep(kSettleMs);
  Send(up);
  lastTick = GetTickCount64();
  lastPoint = screen;
}

void TypeText(const std::string& text) {
  std::vector<INPUT> inputs;
  for (wchar_t c : mt::Widen(text)) {
    for (bool up : {false, true}) {
      INPUT in{};
      in.type = INPUT_KEYBOARD;
      in.ki.wScan = c;
      in.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
      inputs.push_back(in);
    }
  }
  Send(inputs);
}

void PressKeys(const std::string& chord) {
  std::vector<WORD> modifiers;
  std::string rest = chord;
  for (;;) {
    size_t plus = rest.find('+');
    if (plus == std::string::npos || plus + 1 == rest.size()) break;
    std::string mod = rest.substr(0, plus);
    if (mod == "CTRL") modifiers.push_back(VK_CONTROL);
    else if (mod == "ALT") modifiers.push_back(VK_MENU);
    else if (mod == "SHIFT") modifiers.push_back(VK_SHIFT);
    else throw std::runtime_error("unknown modifier: " + mod);
    rest = rest.substr(plus + 1);
  }
  WORD vk = NamedKey(rest);
  std::vector<INPUT> inputs;
  for (WORD m : modifiers) inputs.push_back(Key(m, false));
  inputs.push_back(Key(vk, false));
  inputs.push_back(Key(vk, true));
  for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) inputs.push_back(Key(*it, true));
  Send(inputs);
}

}  // namespace probe
