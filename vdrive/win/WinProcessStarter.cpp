#include "vdrive/win/WinProcessStarter.h"

#include <memory>
#include <type_traits>
#include <vector>

#include "app/CommandLine.h"

namespace mt {

namespace {

// The log-on session a process belongs to; drive letters made by subst live there.
bool LogonSessionOf(HANDLE process, LUID& session) {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(process, TOKEN_QUERY, &raw)) return false;
  UniqueKernelHandle token(raw);
  TOKEN_STATISTICS stats{};
  DWORD size = 0;
  if (!GetTokenInformation(token.get(), TokenStatistics, &stats, sizeof(stats), &size))
    return false;
  session = stats.AuthenticationId;
  return true;
}

}  // namespace

UniqueKernelHandle OpenDesktopShellProcess(DWORD access) {
  HWND shell = GetShellWindow();
  if (!shell) return {};
  DWORD pid = 0;
  GetWindowThreadProcessId(shell, &pid);
  if (!pid || pid == GetCurrentProcessId()) return {};
  return UniqueKernelHandle(OpenProcess(access, FALSE, pid));
}

bool WinProcessStarter::SeparateDesktopSession() {
  UniqueKernelHandle shell = OpenDesktopShellProcess(PROCESS_QUERY_LIMITED_INFORMATION);
  if (!shell) return false;
  LUID own{}, desktop{};
  if (!LogonSessionOf(GetCurrentProcess(), own) || !LogonSessionOf(shell.get(), desktop))
    return false;
  return own.LowPart != desktop.LowPart || own.HighPart != desktop.HighPart;
}

std::wstring SystemProgramPath(const std::string& program) {
  wchar_t dir[MAX_PATH] = L"";
  UINT n = GetSystemDirectoryW(dir, MAX_PATH);
  std::wstring path(dir, n < MAX_PATH ? n : 0);
  return path + L"\\" + Widen(program);
}

UniqueKernelHandle StartHiddenProcess(const std::wstring& path, const std::wstring& arguments,
                                      HANDLE parent) {
  std::wstring commandLine = QuoteArgument(path);
  if (!arguments.empty()) commandLine += L" " + arguments;
  std::vector<wchar_t> cmd(commandLine.begin(), commandLine.end());
  cmd.push_back(L'\0');
  std::wstring dir = path.substr(0, path.find_last_of(L'\\'));

  STARTUPINFOEXW si{};
  si.StartupInfo.cb = sizeof(si);
  si.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
  si.StartupInfo.wShowWindow = SW_HIDE;
  DWORD flags = CREATE_NO_WINDOW;

  std::unique_ptr<char[]> attrBuffer;
  struct AttrListDeleter {
    void operator()(LPPROC_THREAD_ATTRIBUTE_LIST l) const { DeleteProcThreadAttributeList(l); }
  };
  std::unique_ptr<std::remove_pointer_t<LPPROC_THREAD_ATTRIBUTE_LIST>, AttrListDeleter> attrs;
  if (parent) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    attrBuffer = std::make_unique<char[]>(size);
    auto list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attrBuffer.get());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) return {};
    attrs.reset(list);
    if (!UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_PARENT_PROCESS, &parent,
                                   sizeof(parent), nullptr, nullptr))
      return {};
    si.lpAttributeList = list;
    flags |= EXTENDED_STARTUPINFO_PRESENT;
  } else {
    si.StartupInfo.cb = sizeof(STARTUPINFOW);
  }

  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(path.c_str(), cmd.data(), nullptr, nullptr, FALSE, flags, nullptr,
                      dir.empty() ? nullptr : dir.c_str(), &si.StartupInfo, &pi))
    return {};
  CloseHandle(pi.hThread);
  return UniqueKernelHandle(pi.hProcess);
}

bool WinProcessStarter::StartHidden(const std::string& program, const std::string& arguments,
                                    LaunchSession session) {
  std::wstring path = SystemProgramPath(program);
  if (session == LaunchSession::Own)
    return static_cast<bool>(StartHiddenProcess(path, Widen(arguments), nullptr));
  UniqueKernelHandle shell = OpenDesktopShellProcess(PROCESS_CREATE_PROCESS);
  if (!shell) return false;
  return static_cast<bool>(StartHiddenProcess(path, Widen(arguments), shell.get()));
}

}  // namespace mt
