// probe: finds another process's windows and reads and drives them the way a user or an
// accessibility tool does (window messages, the input queue, the clipboard). The end-to-end
// tests (tests/e2e) drive the shipped program through it alone.
//
//   probe COMMAND ARGS...    runs one command, prints its result as one line of JSON (UTF-8)
//   probe serve              reads one request per line, a JSON array ["COMMAND", "ARG", ...],
//                            and answers each with {"ok":true,"result":...} or
//                            {"ok":false,"error":"..."}; ends at the end of its input
//
// Windows are named by handle ("0x1a2b", as printed). Commands:
//   windows [--class C] [--title T] [--pid N] [--all]   top-level windows (visible ones
//                                                      unless --all), each as `info` gives
//   info HWND | tree HWND | text HWND                   one window; it and all below it; text
//   wait-window [--class C] [--title T] [--pid N] [--timeout S]
//                                                      the first visible top-level window
//                                                      that matches, once there is one
//   wait-gone HWND [--timeout S]                       returns once the window is destroyed
//                                                      or hidden
//   listbox HWND | combobox HWND                       rows and selection (combo: edit text)
//   listview HWND                                      columns and rows: texts, check state,
//                                                      image index, selection
//   lv-check HWND ROW on|off                           ticks or clears a row's check box
//   tabs HWND                                          tab captions and the selected tab
//   tab-click HWND INDEX                               clicks a tab with the mouse
//   click HWND [X Y]                                   clicks the window with the mouse (its
//                                                      centre, or X,Y from its top-left corner)
//   lb-click HWND ROW                                  clicks a list-box row with the mouse
//   press HWND                                         posts BM_CLICK to a button
//   checked HWND                                       BM_GETCHECK: 0, 1 or 2
//   close HWND                                         the close box (SC_CLOSE)
//   focus HWND                                         foreground window + keyboard focus
//   foreground                                         the foreground window and the focus
//   type TEXT                                          types TEXT into the focused window
//   keys KEY...                                        presses keys: ENTER, TAB, ALT+F4, ...
//   clipboard                                          the clipboard's text, or null
//   start EXE [ARGS...]                                starts a program in its own folder;
//                                                      gives its process id
//   wait-exit PID [--timeout S]                        waits for it to end; its exit code
//   kill PID                                           ends it at once (TerminateProcess), as
//                                                      a crash or a power cut would
//   trust-root FILE                                    adds the DER certificate FILE to the
//                                                      machine's trusted roots (test prefixes)
// Exit status (single commands): 0 done, 1 failure (message on stderr), 2 usage.
#include <windows.h>
#include <commctrl.h>
#include <wincrypt.h>
#include <fcntl.h>
#include <io.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/win/Handles.h"
#include "tools/probe/Input.h"
#include "tools/probe/Json.h"
#include "tools/probe/Windows.h"

namespace probe {

namespace {

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Positional arguments and --name value options of one command. Commands that take no
// options take every word as it is (text to type may well start with "--").
struct Args {
  std::vector<std::string> positional;
  std::map<std::string, std::string> options;

  Args(const std::vector<std::string>& words, bool withOptions,
       const std::vector<std::string>& flags) {
    for (size_t i = 1; i < words.size(); ++i) {
      const std::string& w = words[i];
      if (withOptions && w.size() > 2 && w.compare(0, 2, "--") == 0) {
        std::string name = w.substr(2);
        bool flag = false;
        for (const std::string& f : flags) flag = flag || f == name;
        if (flag) {
          options[name] = "1";
        } else {
          if (i + 1 >= words.size()) throw UsageError("--" + name + " needs a value");
          options[name] = words[++i];
        }
      } else {
        positional.push_back(w);
      }
    }
  }
  const std::string& At(size_t i, const char* what) const {
    if (i >= positional.size()) throw UsageError(std::string("missing ") + what);
    return positional[i];
  }
  HWND Window(size_t i = 0) const {
    HWND w = ParseHandle(At(i, "window handle"));
    if (!IsWindow(w)) throw std::runtime_error("no such window: " + At(i, "window handle"));
    return w;
  }
  int Int(size_t i, const char* what) const {
    const std::string& s = At(i, what);
    char* end = nullptr;
    long v = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end) throw UsageError(std::string("not a number: ") + s);
    return static_cast<int>(v);
  }
  bool Has(const std::string& name) const { return options.count(name) != 0; }
  std::string Option(const std::string& name, const std::string& fallback = "") const {
    auto it = options.find(name);
    return it == options.end() ? fallback : it->second;
  }
  DWORD TimeoutMs() const { return static_cast<DWORD>(std::stod(Option("timeout", "30")) * 1000); }
};

// Polls `done` every 20 ms until it is true or `timeoutMs` passed.
bool WaitFor(DWORD timeoutMs, const std::function<bool()>& done) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

struct Filter {
  std::wstring cls, title;
  bool hasClass = false, hasTitle = false, all = false;
  DWORD pid = 0;

  explicit Filter(const Args& a)
      : cls(mt::Widen(a.Option("class"))),
        title(mt::Widen(a.Option("title"))),
        hasClass(a.Has("class")),
        hasTitle(a.Has("title")),
        all(a.Has("all")),
        pid(static_cast<DWORD>(std::stoul(a.Option("pid", "0")))) {}

  bool Matches(HWND w) const {
    if (!all && !IsWindowVisible(w)) return false;
    if (hasClass && mt::Widen(ClassOf(w)) != cls) return false;
    if (pid) {
      DWORD owner = 0;
      GetWindowThreadProcessId(w, &owner);
      if (owner != pid) return false;
    }
    if (hasTitle && mt::Widen(WindowText(w)) != title) return false;
    return true;
  }
};

std::vector<HWND> TopLevel(const Filter& f) {
  std::vector<HWND> all;
  EnumWindows(
      [](HWND w, LPARAM lp) {
        reinterpret_cast<std::vector<HWND>*>(lp)->push_back(w);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&all));
  std::vector<HWND> out;
  for (HWND w : all)
    if (f.Matches(w)) out.push_back(w);
  return out;
}

// Processes started by `start`, kept open so that `wait-exit` can give the exit code even
// when the process ended before it was asked.
std::map<DWORD, mt::UniqueKernelHandle>& Started() {
  static std::map<DWORD, mt::UniqueKernelHandle> started;
  return started;
}

Json Start(const Args& a) {
  std::wstring exe = mt::Widen(a.At(0, "program"));
  std::wstring cmd = L"\"" + exe + L"\"";
  for (size_t i = 1; i < a.positional.size(); ++i) cmd += L" " + mt::Widen(a.positional[i]);
  size_t slash = exe.find_last_of(L"\\/");
  std::wstring dir = slash == std::wstring::npos ? std::wstring() : exe.substr(0, slash);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      dir.empty() ? nullptr : dir.c_str(), &si, &pi))
    throw std::runtime_error("cannot start the program (error " + std::to_string(GetLastError()) +
                             ")");
  CloseHandle(pi.hThread);
  Started()[pi.dwProcessId].reset(pi.hProcess);
  return Json::Object().Set("pid", static_cast<unsigned long>(pi.dwProcessId));
}

Json WaitExit(const Args& a) {
  DWORD pid = static_cast<DWORD>(a.Int(0, "process id"));
  HANDLE process = nullptr;
  mt::UniqueKernelHandle opened;
  auto it = Started().find(pid);
  if (it != Started().end()) {
    process = it->second.get();
  } else {
    opened.reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!opened) throw std::runtime_error("no such process: " + std::to_string(pid));
    process = opened.get();
  }
  if (WaitForSingleObject(process, a.TimeoutMs()) != WAIT_OBJECT_0)
    throw std::runtime_error("timeout: process " + std::to_string(pid) + " is still running");
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  return Json::Object().Set("exit_code", static_cast<unsigned long>(code));
}

Json Kill(const Args& a) {
  DWORD pid = static_cast<DWORD>(a.Int(0, "process id"));
  mt::UniqueKernelHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
  if (!process) throw std::runtime_error("no such process: " + std::to_string(pid));
  if (!TerminateProcess(process.get(), 137))
    throw std::runtime_error("cannot end process " + std::to_string(pid));
  WaitForSingleObject(process.get(), 30000);
  return true;
}

Json Clipboard() {
  bool open = false;
  for (int i = 0; i < 50 && !(open = OpenClipboard(nullptr)); ++i) Sleep(20);
  if (!open) throw std::runtime_error("cannot open the clipboard");
  struct Closer {
    ~Closer() { CloseClipboard(); }
  } closer;
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  if (!data) return Json();
  const auto* text = static_cast<const wchar_t*>(GlobalLock(data));
  if (!text) return Json();
  std::string out = mt::Narrow(text, wcsnlen(text, GlobalSize(data) / sizeof(wchar_t)));
  GlobalUnlock(data);
  return Json(out);
}

Json Foreground() {
  HWND fg = GetForegroundWindow();
  GUITHREADINFO gti{};
  gti.cbSize = sizeof gti;
  HWND focus = nullptr;
  if (fg && GetGUIThreadInfo(GetWindowThreadProcessId(fg, nullptr), &gti)) focus = gti.hwndFocus;
  return Json::Object()
      .Set("window", fg ? Describe(fg) : Json())
      .Set("focus", focus ? Describe(focus) : Json());
}

void Focus(HWND w) {
  if (!BringToFront(w)) throw std::runtime_error("cannot bring the window to the foreground");
  DWORD target = GetWindowThreadProcessId(w, nullptr);
  DWORD self = GetCurrentThreadId();
  // SetFocus works on windows of the caller's input queue: share the target's for a moment.
  bool attached = AttachThreadInput(self, target, TRUE) != FALSE;
  SetFocus(w);
  if (attached) AttachThreadInput(self, target, FALSE);
  GUITHREADINFO gti{};
  gti.cbSize = sizeof gti;
  if (!WaitFor(2000, [&] { return GetGUIThreadInfo(target, &gti) && gti.hwndFocus == w; }))
    throw std::runtime_error("the window did not take the focus");
}

// Adds a certificate to the machine's trusted roots through the registry store, the one
// whose additions Wine keeps, so that signatures made with a throw-away test root verify.
bool TrustRoot(const std::string& path) {
  mt::UniqueFileHandle file(CreateFileW(mt::Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) throw std::runtime_error("cannot open " + path);
  std::vector<BYTE> der(64 * 1024);
  DWORD got = 0;
  if (!ReadFile(file.get(), der.data(), static_cast<DWORD>(der.size()), &got, nullptr) || !got)
    throw std::runtime_error("cannot read " + path);
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0,
                                   CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
  if (!store) throw std::runtime_error("cannot open the machine's root store");
  BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), got,
                                                CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  CertCloseStore(store, 0);
  if (!added) throw std::runtime_error("the root store refused " + path);
  return true;
}

void ListBoxClick(HWND lb, int row) {
  LRESULT count = SendMessageW(lb, LB_GETCOUNT, 0, 0);
  if (row < 0 || row >= count) throw std::runtime_error("no row " + std::to_string(row));
  LRESULT top = SendMessageW(lb, LB_GETTOPINDEX, 0, 0);
  LRESULT height = SendMessageW(lb, LB_GETITEMHEIGHT, 0, 0);
  RECT client{};
  GetClientRect(lb, &client);
  LONG y = static_cast<LONG>((row - top) * height + height / 2);
  if (row < top || y >= client.bottom) throw std::runtime_error("the row is scrolled out of view");
  POINT p{client.left + 8, y};
  ClientToScreen(lb, &p);
  ClickWindowAt(lb, p);
}

Json Run(const std::vector<std::string>& words) {
  if (words.empty()) throw UsageError("no command");
  const std::string& cmd = words[0];
  static const char* const withOptions[] = {"windows", "wait-window", "wait-gone", "wait-exit"};
  bool options = false;
  for (const char* c : withOptions) options = options || cmd == c;
  Args a(words, options, {"all"});
  if (cmd == "windows") {
    Json out = Json::Array();
    for (HWND w : TopLevel(Filter(a))) out.Add(Describe(w));
    return out;
  }
  if (cmd == "info") return Describe(a.Window());
  if (cmd == "tree") return Tree(a.Window());
  if (cmd == "text") return WindowText(a.Window());
  if (cmd == "wait-window") {
    Filter f(a);
    HWND found = nullptr;
    if (!WaitFor(a.TimeoutMs(), [&] {
          std::vector<HWND> ws = TopLevel(f);
          found = ws.empty() ? nullptr : ws.front();
          return found != nullptr;
        }))
      throw std::runtime_error("timeout: no such window appeared");
    return Describe(found);
  }
  if (cmd == "wait-gone") {
    HWND w = ParseHandle(a.At(0, "window handle"));
    if (!WaitFor(a.TimeoutMs(), [&] { return !IsWindow(w) || !IsWindowVisible(w); }))
      throw std::runtime_error("timeout: the window is still there");
    return true;
  }
  if (cmd == "listbox") return ListBoxRows(a.Window());
  if (cmd == "combobox") return ComboBoxRows(a.Window());
  if (cmd == "listview") return ListViewRows(a.Window());
  if (cmd == "lv-check") {
    const std::string& state = a.At(2, "on or off");
    if (state != "on" && state != "off") throw UsageError("lv-check: on or off");
    SetListViewCheck(a.Window(), a.Int(1, "row"), state == "on");
    return true;
  }
  if (cmd == "tabs") return TabCaptions(a.Window());
  if (cmd == "tab-click") {
    HWND tabs = a.Window();
    ClickWindowAt(tabs, TabCentre(tabs, a.Int(1, "tab index")));
    return true;
  }
  if (cmd == "click") {
    HWND w = a.Window();
    RECT r{};
    GetWindowRect(w, &r);
    POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    if (a.positional.size() >= 3) p = POINT{r.left + a.Int(1, "x"), r.top + a.Int(2, "y")};
    ClickWindowAt(w, p);
    return true;
  }
  if (cmd == "lb-click") {
    ListBoxClick(a.Window(), a.Int(1, "row"));
    return true;
  }
  if (cmd == "press") {
    PostMessageW(a.Window(), BM_CLICK, 0, 0);
    return true;
  }
  if (cmd == "checked") return static_cast<long long>(SendMessageW(a.Window(), BM_GETCHECK, 0, 0));
  if (cmd == "close") {
    PostMessageW(a.Window(), WM_SYSCOMMAND, SC_CLOSE, 0);
    return true;
  }
  if (cmd == "focus") {
    Focus(a.Window());
    return true;
  }
  if (cmd == "foreground") return Foreground();
  if (cmd == "type") {
    TypeText(a.At(0, "text"));
    return true;
  }
  if (cmd == "keys") {
    if (a.positional.empty()) throw UsageError("keys: no key");
    for (const std::string& k : a.positional) PressKeys(k);
    return true;
  }
  if (cmd == "clipboard") return Clipboard();
  if (cmd == "start") return Start(a);
  if (cmd == "wait-exit") return WaitExit(a);
  if (cmd == "kill") return Kill(a);
  if (cmd == "trust-root") return TrustRoot(a.At(0, "certificate file"));
  throw UsageError("unknown command: " + cmd);
}

void WriteLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

int Serve() {
  std::string line;
  int c;
  for (;;) {
    line.clear();
    while ((c = std::fgetc(stdin)) != EOF && c != '\n') line += static_cast<char>(c);
    if (c == EOF && line.empty()) return 0;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    Json answer = Json::Object();
    try {
      Json result = Run(ParseStringArray(line));
      answer.Set("ok", true).Set("result", std::move(result));
    } catch (const std::exception& e) {
      answer.Set("ok", false).Set("error", e.what());
    }
    WriteLine(answer.Dump());
  }
}

}  // namespace

}  // namespace probe

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) words.push_back(mt::Narrow(argv[i]));
  if (words.size() == 1 && words[0] == "serve") return probe::Serve();
  try {
    probe::WriteLine(probe::Run(words).Dump());
    return 0;
  } catch (const probe::UsageError& e) {
    std::fprintf(stderr, "probe: %s\n", e.what());
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "probe: %s\n", e.what());
    return 1;
  }
}
