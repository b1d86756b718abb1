#include "browser/win/WinShortcuts.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <vector>

#include "app/Error.h"
#include "app/win/Handles.h"

namespace mt {
namespace {

std::string HresultText(HRESULT hr) {
  if (HRESULT_FACILITY(hr) == FACILITY_WIN32) return SystemErrorText(HRESULT_CODE(hr));
  std::string text = SystemErrorText(static_cast<DWORD>(hr));
  if (!text.empty()) return text;
  char code[32];
  wsprintfA(code, "0x%08lX", static_cast<unsigned long>(hr));
  return code;
}

[[noreturn]] void Fail(const std::string& path, HRESULT hr) {
  throw AppError(FormatMessage2("Cannot open file \"%s\". %s", path, HresultText(hr)));
}

struct OpenLink {
  ComPtr<IShellLinkW> link;
  ComPtr<IPersistFile> file;
};

void Load(OpenLink& open, const std::string& path, DWORD mode) {
  HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  open.link.put_void());
  if (FAILED(hr)) Fail(path, hr);
  hr = open.link->QueryInterface(IID_IPersistFile, open.file.put_void());
  if (FAILED(hr)) Fail(path, hr);
  hr = open.file->Load(Widen(path).c_str(), mode);
  if (FAILED(hr)) Fail(path, hr);
}

ShellLinkData ReadOpen(IShellLinkW* link) {
  // Arguments may be far longer than a path.
  std::vector<wchar_t> buf(32768, L'\0');
  auto text = [&] { return Narrow(buf.data(), wcslen(buf.data())); };
  ShellLinkData out;
  buf[0] = 0;
  if (SUCCEEDED(link->GetPath(buf.data(), static_cast<int>(buf.size()), nullptr, SLGP_RAWPATH)))
    out.target = text();
  buf[0] = 0;
  if (SUCCEEDED(link->GetArguments(buf.data(), static_cast<int>(buf.size()))))
    out.arguments = text();
  buf[0] = 0;
  if (SUCCEEDED(link->GetWorkingDirectory(buf.data(), static_cast<int>(buf.size()))))
    out.workingDirectory = text();
  buf[0] = 0;
  int index = 0;
  if (SUCCEEDED(link->GetIconLocation(buf.data(), static_cast<int>(buf.size()), &index))) {
    out.iconLocation = text();
    out.iconIndex = index;
  }
  return out;
}

std::string KnownFolder(REFKNOWNFOLDERID id) {
  UniqueCoTaskMemString path;
  std::string out;
  if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, path.put())) && path)
    out = Narrow(path.get(), wcslen(path.get()));
  return out;
}

}  // namespace

std::vector<ShortcutFolder> WinShortcuts::Folders() {
  std::vector<ShortcutFolder> out;
  auto add = [&](ShortcutPlace place, const std::string& path, bool recursive) {
    if (!path.empty()) out.push_back({place, path, recursive});
  };
  add(ShortcutPlace::Desktop, KnownFolder(FOLDERID_Desktop), false);
  add(ShortcutPlace::PublicDesktop, KnownFolder(FOLDERID_PublicDesktop), false);
  add(ShortcutPlace::StartMenu, KnownFolder(FOLDERID_StartMenu), true);
  add(ShortcutPlace::CommonStartMenu, KnownFolder(FOLDERID_CommonStartMenu), true);
  // Wine does not know the Quick Launch folder (SHGetKnownFolderPath answers E_INVALIDARG);
  // Windows keeps it below the roaming application data, where the shell made it since
  // Internet Explorer 4, and pins the taskbar's shortcuts inside it.
  std::string quickLaunch = KnownFolder(FOLDERID_QuickLaunch);
  if (quickLaunch.empty()) {
    const std::string roaming = KnownFolder(FOLDERID_RoamingAppData);
    if (!roaming.empty()) quickLaunch = roaming + "\\Microsoft\\Internet Explorer\\Quick Launch";
  }
  add(ShortcutPlace::QuickLaunch, quickLaunch, false);
  if (!quickLaunch.empty())
    add(ShortcutPlace::TaskBar, quickLaunch + "\\User Pinned\\TaskBar", false);
  return out;
}

ShellLinkData WinShortcuts::Read(const std::string& path) {
  ComScope com;  // the UI thread has COM already; a worker may not
  OpenLink open;
  Load(open, path, STGM_READ);
  return ReadOpen(open.link.get());
}

void WinShortcuts::Write(const std::string& path, const ShellLinkData& link) {
  ComScope com;
  OpenLink open;
  Load(open, path, STGM_READWRITE);
  const ShellLinkData now = ReadOpen(open.link.get());
  HRESULT hr = S_OK;
  if (link.target != now.target) hr = open.link->SetPath(Widen(link.target).c_str());
  if (SUCCEEDED(hr) && link.arguments != now.arguments)
    hr = open.link->SetArguments(Widen(link.arguments).c_str());
  if (SUCCEEDED(hr) && link.workingDirectory != now.workingDirectory)
    hr = open.link->SetWorkingDirectory(Widen(link.workingDirectory).c_str());
  if (SUCCEEDED(hr) && (link.iconLocation != now.iconLocation || link.iconIndex != now.iconIndex))
    hr = open.link->SetIconLocation(Widen(link.iconLocation).c_str(), link.iconIndex);
  if (FAILED(hr)) Fail(path, hr);

  const std::wstring wide = Widen(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES &&
                        (attributes & FILE_ATTRIBUTE_READONLY);
  if (readOnly && !::SetFileAttributesW(wide.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY))
    throw AppError(FormatMessage1("Unable to write to %s", path) + " " +
                   SystemErrorText(::GetLastError()));
  hr = open.file->Save(wide.c_str(), TRUE);
  if (readOnly) ::SetFileAttributesW(wide.c_str(), attributes);
  if (FAILED(hr))
    throw AppError(FormatMessage1("Unable to write to %s", path) + " " + HresultText(hr));
}

}  // namespace mt
