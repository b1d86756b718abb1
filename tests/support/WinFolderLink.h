// A folder link for Windows tests: a junction where the platform can make one, otherwise
// (Wine 8 answers FSCTL_SET_REPARSE_POINT with ERROR_NOT_SUPPORTED and its
// CreateSymbolicLinkW makes nothing) a Unix symbolic link made by /bin/ln, which Wine shows
// as a folder with FILE_ATTRIBUTE_REPARSE_POINT. Wine starts Unix programs through
// CreateProcess but does not let the caller wait for them, so the helpers poll for the
// result. RemoveDirectoryW must not be used on such a link: Wine removes the (empty)
// target folder instead.
#pragma once

#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/win/Convert.h"

namespace mt::test {

class FolderLink {
 public:
  // Makes `link` (a path that does not exist yet) point at the folder `target`. Both are
  // absolute; the link's folder exists. Made() tells whether it worked.
  FolderLink(std::wstring link, const std::wstring& target) : link_(std::move(link)) {
    if (MakeJunction(target)) {
      junction_ = true;
      made_ = true;
      return;
    }
    size_t cut = link_.find_last_of(L'\\');
    std::wstring dir = link_.substr(0, cut), leaf = link_.substr(cut + 1);
    std::wstring unixTarget = UnixPath(target);
    if (unixTarget.empty()) return;
    RunUnix(L"Z:\\bin\\ln", L"ln -s \"" + unixTarget + L"\" \"" + leaf + L"\"", dir);
    made_ = WaitFor(true);
  }
  ~FolderLink() {
    if (!made_) return;
    if (junction_) {
      ::RemoveDirectoryW(link_.c_str());
      return;
    }
    size_t cut = link_.find_last_of(L'\\');
    RunUnix(L"Z:\\bin\\rm", L"rm -f \"" + link_.substr(cut + 1) + L"\"", link_.substr(0, cut));
    WaitFor(false);
  }
  FolderLink(const FolderLink&) = delete;
  FolderLink& operator=(const FolderLink&) = delete;

  bool Made() const { return made_; }

 private:
  bool MakeJunction(const std::wstring& target) {
    if (!::CreateDirectoryW(link_.c_str(), nullptr)) return false;
    HANDLE h = ::CreateFileW(link_.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    bool ok = false;
    if (h != INVALID_HANDLE_VALUE) {
      // REPARSE_DATA_BUFFER with its mount-point part: tag, data length, reserved, then the
      // offsets and lengths of the substitute and print names and the names themselves.
      std::wstring sub = L"\\??\\" + target;
      const WORD subBytes = static_cast<WORD>(sub.size() * sizeof(wchar_t));
      const WORD printBytes = static_cast<WORD>(target.size() * sizeof(wchar_t));
      std::vector<BYTE> buf(16 + subBytes + printBytes + 4, 0);
      auto put16 = [&](size_t at, WORD v) { std::memcpy(&buf[at], &v, 2); };
      DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
      std::memcpy(&buf[0], &tag, 4);
      put16(4, static_cast<WORD>(buf.size() - 8));
      put16(8, 0);
      put16(10, subBytes);
      put16(12, static_cast<WORD>(subBytes + 2));
      put16(14, printBytes);
      std::memcpy(&buf[16], sub.data(), subBytes);
      std::memcpy(&buf[16 + subBytes + 2], target.data(), printBytes);
      DWORD got = 0;
      ok = ::DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, buf.data(), static_cast<DWORD>(buf.size()),
                             nullptr, 0, &got, nullptr) != FALSE;
      ::CloseHandle(h);
    }
    if (!ok) ::RemoveDirectoryW(link_.c_str());  // still a plain empty folder here
    return ok;
  }

  // The Unix path of a Windows path under Wine; empty on Windows.
  static std::wstring UnixPath(const std::wstring& path) {
    using ToUnix = char*(CDECL*)(LPCWSTR);
    auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return std::wstring();
    char* unix = toUnix(path.c_str());
    if (!unix) return std::wstring();
    std::wstring out = Widen(unix);
    ::HeapFree(::GetProcessHeap(), 0, unix);
    return out;
  }

  static void RunUnix(const std::wstring& program, std::wstring commandLine,
                      const std::wstring& directory) {
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                         directory.c_str(), &si, &pi)) {
      ::CloseHandle(pi.hThread);
      ::CloseHandle(pi.hProcess);
    }
  }

  // Polls up to 10 s until the link exists (or is gone).
  bool WaitFor(bool present) const {
    for (int i = 0; i < 200; ++i) {
      bool there = ::GetFileAttributesW(link_.c_str()) != INVALID_FILE_ATTRIBUTES;
      if (there == present) return true;
      ::Sleep(50);
    }
    return false;
  }

  std::wstring link_;
  bool junction_ = false;
  bool made_ = false;
};

}  // namespace mt::test
