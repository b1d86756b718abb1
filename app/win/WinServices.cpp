#include "app/win/WinServices.h"

#include <windows.h>
#include <commdlg.h>
#include <knownfolders.h>
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstring>
#include <vector>

#include "app/Error.h"
#include "app/HostsPath.h"
#include "app/Text.h"
#include "app/win/Handles.h"
#include "app/win/WinRegistry.h"

namespace mt {

// ---- files -----------------------------------------------------------------------------

namespace {

class WinFileStream : public FileStream {
 public:
  explicit WinFileStream(UniqueFileHandle h) : h_(std::move(h)) {}
  size_t Read(void* buffer, size_t n) override {
    size_t total = 0;
    while (total < n) {
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(n - total, 1u << 30));
      DWORD got = 0;
      if (!ReadFile(h_.get(), static_cast<char*>(buffer) + total, chunk, &got, nullptr))
        throw AppError(SystemErrorText(GetLastError()));
      if (got == 0) break;
      total += got;
    }
    return total;
  }
  size_t Write(const void* buffer, size_t n) override {
    size_t total = 0;
    while (total < n) {
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(n - total, 1u << 30));
      DWORD put = 0;
      if (!WriteFile(h_.get(), static_cast<const char*>(buffer) + total, chunk, &put, nullptr) ||
          put == 0)
        break;
      total += put;
    }
    return total;
  }
  uint64_t Size() override {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(h_.get(), &size)) throw AppError(SystemErrorText(GetLastError()));
    return static_cast<uint64_t>(size.QuadPart);
  }
  void Seek(uint64_t offset) override {
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(h_.get(), to, nullptr, FILE_BEGIN)) throw AppError("Stream seek error");
  }

 private:
  UniqueFileHandle h_;
};

DWORD Attributes(const std::string& path) { return GetFileAttributesW(Widen(path).c_str()); }

// Removes a link (a junction, a symbolic link to a folder or a file) itself: through a handle
// opened on the link, never on what it points to.
bool RemoveLink(const std::wstring& path) {
  UniqueFileHandle h(CreateFileW(
      path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!h) return false;
  // A system that opened what the link points to instead (Wine does for its links) would
  // delete that: only a handle on a reparse point itself is used.
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h.get(), &info) ||
      !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return false;
  FILE_DISPOSITION_INFO gone{};
  gone.DeleteFile = TRUE;
  return SetFileInformationByHandle(h.get(), FileDispositionInfo, &gone, sizeof gone) != FALSE;
}

// Everything below `folder` (a real folder, not a link), then the folder itself.
bool RemoveTree(const std::wstring& folder) {
  bool all = true;
  {
    WIN32_FIND_DATAW fd;
    UniqueFindHandle h(FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &fd,
                                        FindExSearchNameMatch, nullptr, 0));
    if (h) {
      do {
        const std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring full = folder + L"\\" + name;
        const DWORD a = fd.dwFileAttributes;
        if (a & FILE_ATTRIBUTE_REPARSE_POINT) {
          all = RemoveLink(full) && all;
        } else if (a & FILE_ATTRIBUTE_DIRECTORY) {
          all = RemoveTree(full) && all;
        } else {
          if (a & FILE_ATTRIBUTE_READONLY)
            SetFileAttributesW(full.c_str(), a & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
          all = DeleteFileW(full.c_str()) && all;
        }
      } while (FindNextFileW(h.get(), &fd));
    }
  }  // the search handle is closed before the folder goes
  return RemoveDirectoryW(folder.c_str()) && all;
}

}  // namespace

std::unique_ptr<FileStream> WinFileSystem::OpenRead(const std::string& path) {
  UniqueFileHandle h(CreateFileW(Widen(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!h)
    throw AppError(
        FormatMessage2("Cannot open file \"%s\". %s", path, SystemErrorText(GetLastError())));
  return std::make_unique<WinFileStream>(std::move(h));
}

std::unique_ptr<FileStream> WinFileSystem::Create(const std::string& path) {
  UniqueFileHandle h(CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h)
    throw AppError(
        FormatMessage2("Cannot create file \"%s\". %s", path, SystemErrorText(GetLastError())));
  return std::make_unique<WinFileStream>(std::move(h));
}

bool WinFileSystem::FileExists(const std::string& path) {
  DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool WinFileSystem::DirectoryExists(const std::string& path) {
  DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool WinFileSystem::IsListableFolder(const std::string& path) {
  DWORD a = Attributes(path);
  if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY) ||
      (a & FILE_ATTRIBUTE_REPARSE_POINT))
    return false;
  // A folder the caller may not list fails at the first call of a search; any folder but a
  // drive root holds at least "." and "..", and an empty root reports no match.
  std::string base = path;
  if (!base.empty() && base.back() != '\\') base += '\\';
  WIN32_FIND_DATAW fd;
  UniqueFindHandle h(FindFirstFileExW(Widen(base + "*").c_str(), FindExInfoBasic, &fd,
                                      FindExSearchNameMatch, nullptr, 0));
  return h || ::GetLastError() == ERROR_FILE_NOT_FOUND;
}

bool WinFileSystem::RemoveFile(const std::string& path) {
  return DeleteFileW(Widen(path).c_str()) != FALSE;
}

bool WinFileSystem::RemoveFolder(const std::string& path) {
  std::wstring w = Widen(path);
  while (w.size() > 3 && w.back() == L'\\') w.pop_back();
  const DWORD a = GetFileAttributesW(w.c_str());
  if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) return false;
  if (a & FILE_ATTRIBUTE_REPARSE_POINT) return RemoveLink(w);
  RemoveTree(w);
  return GetFileAttributesW(w.c_str()) == INVALID_FILE_ATTRIBUTES;
}

std::vector<FindEntry> WinFileSystem::Find(const std::string& folder, const std::string& pattern) {
  std::vector<FindEntry> out;
  std::string base = folder;
  if (!base.empty() && base.back() != '\\') base += '\\';
  WIN32_FIND_DATAW fd;
  UniqueFindHandle h(FindFirstFileExW(Widen(base + pattern).c_str(), FindExInfoBasic, &fd,
                                      FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
  if (!h) return out;
  do {
    std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    FindEntry e;
    e.name = Narrow(name);
    e.isDirectory = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    e.isHidden = (fd.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    e.isSystem = (fd.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) != 0;
    out.push_back(std::move(e));
  } while (FindNextFileW(h.get(), &fd));
  return out;
}

bool WinFileSystem::CreateDirectories(const std::string& path) {
  if (DirectoryExists(path)) return true;
  SHCreateDirectoryExW(nullptr, Widen(FullPath(path)).c_str(), nullptr);
  return DirectoryExists(path);
}

namespace {
[[noreturn]] void FailOn(const char* what, const std::string& path) {
  const DWORD code = ::GetLastError();
  throw AppError(std::string(what) + " \"" + path + "\". " + SystemErrorText(code));
}
}  // namespace

namespace {

// Writes all of `bytes` at the handle's position, in parts WriteFile can take.
void WriteWhole(HANDLE file, const std::string& bytes, const std::string& path) {
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD part = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data() + done, part, &written, nullptr) || written != part)
      FailOn("Unable to write to", path);
    done += written;
  }
}

}  // namespace

void WinFileSystem::WriteAll(const std::string& path, const std::string& bytes) {
  UniqueFileHandle file(::CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) FailOn("Cannot create file", path);
  WriteWhole(file.get(), bytes, path);
  if (!::FlushFileBuffers(file.get())) FailOn("Unable to write to", path);
}

namespace {

uint64_t Ticks(const FILETIME& t) {
  return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

// The final path of an open file or folder as the system resolved it, without "\\?\".
std::wstring FinalPath(HANDLE h) {
  wchar_t buffer[32768];
  const DWORD n = ::GetFinalPathNameByHandleW(h, buffer, 32768, FILE_NAME_NORMALIZED);
  if (n == 0 || n >= 32768) return std::wstring();
  std::wstring path(buffer, n);
  if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + path.substr(8);
  if (path.rfind(L"\\\\?\\", 0) == 0) return path.substr(4);
  return path;
}

bool SamePathText(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// The long form of a full path (a short 8.3 part spelled out), as GetFinalPathNameByHandleW
// gives it; the path itself when it cannot be had.
std::wstring LongFullPath(const std::wstring& path) {
  wchar_t full[32768];
  DWORD n = ::GetFullPathNameW(path.c_str(), 32768, full, nullptr);
  if (n == 0 || n >= 32768) return path;
  wchar_t longer[32768];
  const DWORD m = ::GetLongPathNameW(full, longer, 32768);
  return m && m < 32768 ? std::wstring(longer, m) : std::wstring(full, n);
}

}  // namespace

std::optional<FileMeta> WinFileSystem::Meta(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data))
    return std::nullopt;
  FileMeta meta;
  meta.attributes = data.dwFileAttributes;
  meta.created = Ticks(data.ftCreationTime);
  meta.written = Ticks(data.ftLastWriteTime);
  return meta;
}

bool WinFileSystem::SetAttributes(const std::string& path, uint32_t attributes) {
  // No attribute at all is spelled FILE_ATTRIBUTE_NORMAL.
  return ::SetFileAttributesW(Widen(path).c_str(),
                              attributes ? attributes : FILE_ATTRIBUTE_NORMAL) != FALSE;
}

void WinFileSystem::WriteRestored(const std::string& path, const std::string& bytes,
                                  const FileMeta& meta) {
  const std::wstring wide = Widen(path);
  const size_t slash = wide.rfind(L'\\');
  if (slash == std::wstring::npos) throw AppError("无效的路径 " + path);
  const std::wstring folder = LongFullPath(wide.substr(0, slash));
  // The folder is held open without delete sharing while the file is written, so it cannot be
  // swapped for a junction between the check and the write; its final path must be the path
  // itself (no junction or link on the way).
  UniqueFileHandle dir(::CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                     nullptr));
  if (!dir) FailOn("Cannot create file", path);
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(dir.get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      !SamePathText(FinalPath(dir.get()), folder))
    throw AppError("路径中有链接或连接点，没有写入：" + path);
  // A read-only file standing there is made writable through its own handle first.
  {
    UniqueFileHandle old(::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                       FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (old) {
      FILE_BASIC_INFO basic{};
      if (!::GetFileInformationByHandleEx(old.get(), FileBasicInfo, &basic, sizeof basic) ||
          (basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        throw AppError("原位置是一个链接，没有写入：" + path);
      if (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) {
        basic.FileAttributes &= ~FILE_ATTRIBUTE_READONLY;
        if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        ::SetFileInformationByHandle(old.get(), FileBasicInfo, &basic, sizeof basic);
      }
    }
  }
  UniqueFileHandle file(
      ::CreateFileW(wide.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, 0,
                    nullptr, OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) FailOn("Cannot create file", path);
  if (!::GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      !SamePathText(FinalPath(file.get()), LongFullPath(wide)))
    throw AppError("路径中有链接或连接点，没有写入：" + path);
  LARGE_INTEGER zero{};
  if (!::SetFilePointerEx(file.get(), zero, nullptr, FILE_BEGIN) || !::SetEndOfFile(file.get()))
    FailOn("Unable to write to", path);
  WriteWhole(file.get(), bytes, path);
  FILE_BASIC_INFO basic{};
  if (::GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof basic)) {
    if (meta.created) basic.CreationTime.QuadPart = static_cast<LONGLONG>(meta.created);
    if (meta.written) basic.LastWriteTime.QuadPart = static_cast<LONGLONG>(meta.written);
    const DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                       FILE_ATTRIBUTE_ARCHIVE;
    basic.FileAttributes = meta.attributes & kept;
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    ::SetFileInformationByHandle(file.get(), FileBasicInfo, &basic, sizeof basic);
  }
  if (!::FlushFileBuffers(file.get())) FailOn("Unable to write to", path);
}

void WinFileSystem::Rename(const std::string& from, const std::string& to) {
  if (!::MoveFileExW(Widen(from).c_str(), Widen(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    FailOn("Cannot rename", from);
}

std::string WinFileSystem::FullPath(const std::string& path) {
  std::wstring w = Widen(path);
  DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring out(n, L'\0');
  n = GetFullPathNameW(w.c_str(), n, out.data(), nullptr);
  out.resize(n);
  return Narrow(out);
}

std::optional<FileIdentity> WinFileSystem::Identity(const std::string& path) {
  // Attribute access only and every sharing flag: works on a file another program holds
  // without sharing, and does not stand in the way of a later open.
  UniqueFileHandle h(CreateFileW(Widen(path).c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
  if (!h) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h.get(), &info)) return std::nullopt;
  FileIdentity id;
  id.volumeSerial = info.dwVolumeSerialNumber;
  id.fileIndex = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  FILE_ID_INFO wide{};
  if (GetFileInformationByHandleEx(h.get(), FileIdInfo, &wide, sizeof(wide))) {
    id.hasId128 = true;
    id.volumeSerial64 = wide.VolumeSerialNumber;
    static_assert(sizeof(wide.FileId.Identifier) == sizeof(id.id128));
    memcpy(id.id128, wide.FileId.Identifier, sizeof(id.id128));
  }
  return id;
}

// ---- profile files -------------------------------------------------------------------------

std::string WinProfile::ReadString(const std::string& path, const std::string& section,
                                   const std::string& key, const std::string& def) {
  wchar_t buf[2048];
  DWORD n = GetPrivateProfileStringW(Widen(section).c_str(), Widen(key).c_str(), Widen(def).c_str(),
                                     buf, 2048, Widen(path).c_str());
  return Narrow(buf, n);
}

void WinProfile::WriteString(const std::string& path, const std::string& section,
                             const std::string& key, const std::string& value) {
  if (!WritePrivateProfileStringW(Widen(section).c_str(), Widen(key).c_str(), Widen(value).c_str(),
                                  Widen(path).c_str()))
    throw AppError(FormatMessage1("Unable to write to %s", path));
}

// ---- shell -----------------------------------------------------------------------------------

void WinShell::ShellOpen(WindowRef owner, const std::string& verb, const std::string& file,
                         const std::string& params, const std::string& directory, int show) {
  std::wstring v = Widen(verb), f = Widen(file), p = Widen(params), d = Widen(directory);
  ShellExecuteW(static_cast<HWND>(owner), verb.empty() ? nullptr : v.c_str(), f.c_str(),
                params.empty() ? nullptr : p.c_str(), directory.empty() ? nullptr : d.c_str(),
                show);
}

// ---- dialogs ---------------------------------------------------------------------------------

namespace {

// "desc|pattern|desc|pattern" into the double-NUL form the common dialogs take.
std::wstring FilterText(const std::string& filter) {
  std::wstring w = Widen(filter);
  for (wchar_t& c : w)
    if (c == L'|') c = L'\0';
  w.push_back(L'\0');
  w.push_back(L'\0');
  return w;
}

}  // namespace

// The texts and buffers one open or save dialog needs, kept alive while it runs.
struct FileDialogCall {
  std::wstring filter, title;
  std::vector<wchar_t> buffer;
  OPENFILENAMEW ofn{};

  FileDialogCall(WindowRef owner, const FileDialogOptions& opts)
      : filter(FilterText(opts.filter)),
        title(Widen(opts.title)),
        buffer(opts.multiSelect ? 65536 : 32768, L'\0') {
    std::wstring name = Widen(opts.fileName);
    wcsncpy(buffer.data(), name.c_str(), buffer.size() - 1);
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = static_cast<HWND>(owner);
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrTitle = opts.title.empty() ? nullptr : title.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_NOCHANGEDIR;
    if (opts.multiSelect) ofn.Flags |= OFN_ALLOWMULTISELECT;
    if (opts.hideReadOnly) ofn.Flags |= OFN_HIDEREADONLY;
  }
};

std::optional<std::vector<std::string>> WinDialogs::OpenFile(WindowRef owner,
                                                             const FileDialogOptions& opts) {
  FileDialogCall call(owner, opts);
  if (!GetOpenFileNameW(&call.ofn)) return std::nullopt;
  std::vector<std::string> out;
  const wchar_t* p = call.buffer.data();
  std::wstring first = p;
  p += first.size() + 1;
  if (!opts.multiSelect || *p == L'\0') {
    out.push_back(Narrow(first));
    return out;
  }
  // Folder first, then each name.
  std::wstring folder = first;
  if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
  while (*p) {
    std::wstring n = p;
    out.push_back(Narrow(folder + n));
    p += n.size() + 1;
  }
  return out;
}

std::optional<std::string> WinDialogs::SaveFile(WindowRef owner, const FileDialogOptions& opts) {
  FileDialogOptions single = opts;
  single.multiSelect = false;
  FileDialogCall call(owner, single);
  if (!GetSaveFileNameW(&call.ofn)) return std::nullopt;
  return Narrow(std::wstring(call.buffer.data()));
}

std::optional<std::string> WinDialogs::BrowseFolder(WindowRef owner, const std::string& title) {
  std::wstring t = Widen(title);
  wchar_t display[MAX_PATH] = L"";
  BROWSEINFOW bi{};
  bi.hwndOwner = static_cast<HWND>(owner);
  bi.pszDisplayName = display;
  bi.lpszTitle = t.c_str();
  bi.ulFlags = BIF_RETURNONLYFSDIRS;
  const UniqueCoTaskMem<PIDLIST_ABSOLUTE> pidl(SHBrowseForFolderW(&bi));
  if (!pidl) return std::nullopt;
  std::vector<wchar_t> path(32768, L'\0');
  if (!SHGetPathFromIDListEx(pidl.get(), path.data(), static_cast<DWORD>(path.size()),
                             GPFIDL_DEFAULT))
    return std::nullopt;
  return Narrow(std::wstring(path.data()));
}

// ---- message boxes, clipboard, browser -------------------------------------------------------

int WinMessageBoxes::Show(WindowRef owner, const std::string& text, const std::string& caption,
                          unsigned style) {
  return MessageBoxW(static_cast<HWND>(owner), Widen(text).c_str(), Widen(caption).c_str(), style);
}

void WinMessageBoxes::Beep() { MessageBeep(0); }

void WinClipboard::SetText(WindowRef owner, const std::string& text) {
  if (!OpenClipboard(static_cast<HWND>(owner)))
    throw AppError("Cannot open clipboard: " + SystemErrorText(GetLastError()));
  struct Closer {
    ~Closer() { CloseClipboard(); }
  } closer;
  EmptyClipboard();
  std::wstring w = Widen(text);
  size_t bytes = (w.size() + 1) * sizeof(wchar_t);
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (!mem) throw AppError(SystemErrorText(GetLastError()));
  memcpy(GlobalLock(mem), w.c_str(), bytes);
  GlobalUnlock(mem);
  if (!SetClipboardData(CF_UNICODETEXT, mem)) {
    GlobalFree(mem);
    throw AppError(SystemErrorText(GetLastError()));
  }
}

void WinBrowserHost::NavigateHidden(WindowRef parent, int left, int height,
                                    const std::string& url) {
  // "AtlAxWin" windows create the control named by their text; a URL as the text gives a
  // WebBrowser control navigated to it.
  static HMODULE atl = LoadLibraryW(L"atl.dll");
  using InitFn = BOOL(WINAPI*)();
  static bool ready = [] {
    if (!atl) return false;
    auto init = reinterpret_cast<InitFn>(
        reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxWinInit")));
    return init && init();
  }();
  if (!ready) throw AppError("无法创建浏览器控件");
  CreateWindowExW(0, L"AtlAxWin", Widen(url).c_str(), WS_CHILD | WS_VISIBLE, left, 0, 100, height,
                  static_cast<HWND>(parent), nullptr, GetModuleHandleW(nullptr), nullptr);
}

std::string ExecutableDirectory() {
  std::vector<wchar_t> buf(32768);
  DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
  std::wstring path(buf.data(), n);
  size_t cut = path.find_last_of(L'\\');
  return Narrow(cut == std::wstring::npos ? path : path.substr(0, cut));
}

// ---- where the program writes ----------------------------------------------------------

bool WinDataFolderProbe::CanWrite(const std::string& folder) {
  // A file of our own, created new and gone when closed: the same right that "config.ini",
  // "备份" and "rar\" need, asked of the file system itself (access lists, read-only
  // media and shares all answer here).
  const std::wstring probe = Widen(folder + "\\~mt-write-test-" +
                                   std::to_string(::GetCurrentProcessId()) + ".tmp");
  UniqueFileHandle file(::CreateFileW(
      probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
      FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  return static_cast<bool>(file);
}

std::string WinDataFolderProbe::PerUserFolder() {
  UniqueCoTaskMemString path;
  if (FAILED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DONT_VERIFY, nullptr,
                                    path.put())) ||
      !path)
    return std::string();
  return Narrow(path.get()) + "\\MirtakTools";
}

namespace {

std::string KnownFolderPath(REFKNOWNFOLDERID id) {
  UniqueCoTaskMemString path;
  if (FAILED(::SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, path.put())) || !path)
    return std::string();
  return Narrow(path.get());
}

}  // namespace

std::string WinRoamingAppData() { return KnownFolderPath(FOLDERID_RoamingAppData); }
std::string WinLocalAppData() { return KnownFolderPath(FOLDERID_LocalAppData); }

bool WinRunningPrograms::IsRunning(const std::string& exeName) {
  // A snapshot handle is INVALID_HANDLE_VALUE on failure, as a file handle is.
  UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return true;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
       more = ::Process32NextW(snapshot.get(), &entry))
    if (EqualsNoCase(Narrow(entry.szExeFile), exeName)) return true;
  return false;
}

FilePlaceRoots WinFilePlaceRoots(const std::string& exeDir) {
  FilePlaceRoots roots;
  auto add = [](std::vector<std::string>& list, const std::string& path) {
    if (!path.empty()) list.push_back(path);
  };
  // The user's own: desktop, Start menu (Startup lies inside), and the application data
  // folders that hold Quick Launch, the taskbar pins and the browsers' profiles.
  for (REFKNOWNFOLDERID id : {FOLDERID_Desktop, FOLDERID_StartMenu, FOLDERID_Startup,
                              FOLDERID_RoamingAppData, FOLDERID_LocalAppData})
    add(roots.userFolders, KnownFolderPath(id));
  for (REFKNOWNFOLDERID id :
       {FOLDERID_PublicDesktop, FOLDERID_CommonStartMenu, FOLDERID_CommonStartup})
    add(roots.machineFolders, KnownFolderPath(id));
  add(roots.machineFolders, exeDir);
  for (REFKNOWNFOLDERID id : {FOLDERID_ProgramFilesX64, FOLDERID_ProgramFilesX86})
    add(roots.distributionParents, KnownFolderPath(id));
  // The hosts file, where the browser tab takes out lines that redirect well-known sites.
  WinRegistry registry;
  add(roots.machineFiles, HostsFilePath(registry, WinEnvironmentVariable));
  return roots;
}

std::optional<std::string> WinEnvironmentVariable(const std::string& name) {
  const std::wstring wide = Widen(name);
  const DWORD size = ::GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
  if (size == 0) return std::nullopt;
  std::wstring value(size, L'\0');
  const DWORD n = ::GetEnvironmentVariableW(wide.c_str(), value.data(), size);
  if (n == 0 || n >= size) return std::nullopt;
  value.resize(n);
  return Narrow(value);
}

}  // namespace mt
