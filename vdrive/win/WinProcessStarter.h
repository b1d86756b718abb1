// Starts system programs directly (CreateProcess, no command interpreter), with no window.
#pragma once

#include <windows.h>

#include <string>

#include "app/win/Handles.h"
#include "vdrive/ProcessStarter.h"

namespace mt {

class WinProcessStarter : public ProcessStarter {
 public:
  bool SeparateDesktopSession() override;
  bool StartHidden(const std::string& program, const std::string& arguments,
                   LaunchSession session) override;
};

// The process behind the desktop shell's window (Explorer), opened with `access`; empty when
// there is no shell or it cannot be opened.
UniqueKernelHandle OpenDesktopShellProcess(DWORD access);

// Starts `path` with the command line `"path" arguments`, hidden, in the system folder.
// With `parent`, the new process is made a child of that process and so runs with that
// process's token, in its log-on session. Returns the new process (empty on failure).
UniqueKernelHandle StartHiddenProcess(const std::wstring& path, const std::wstring& arguments,
                                      HANDLE parent);

// Full path of a file in the system folder ("C:\Windows\System32\subst.exe").
std::wstring SystemProgramPath(const std::string& program);

}  // namespace mt
