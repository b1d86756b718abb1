#include "app/win/WinRegistry.h"

#include <windows.h>

#include <vector>

#include "app/win/Handles.h"

namespace mt {

namespace {

// Every open, create and delete names its view explicitly, also for keys opened below a
// parent, so that a key never slips into the other view.
REGSAM ViewFlag(RegView view) { return view == RegView::Wow32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY; }

REGSAM Access(RegView view) { return KEY_ALL_ACCESS | ViewFlag(view); }

struct WinKey : RegKey {
  UniqueHKey hkey;
};

HKEY RootHandle(RegRoot root) {
  switch (root) {
    case RegRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
    case RegRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
    case RegRoot::CurrentUser: break;
  }
  return HKEY_CURRENT_USER;
}

HKEY Base(RegRoot root, const RegKey* parent) {
  return parent ? static_cast<const WinKey*>(parent)->hkey.get() : RootHandle(root);
}

HKEY H(const RegKey& k) { return static_cast<const WinKey&>(k).hkey.get(); }

}  // namespace

std::unique_ptr<RegKey> WinRegistry::Open(RegRoot root, const RegKey* parent,
                                          const std::string& subPath, bool create, RegView view) {
  std::wstring path = Widen(subPath);
  HKEY out = nullptr;
  LONG rc;
  if (create) {
    rc = RegCreateKeyExW(Base(root, parent), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                         Access(view), nullptr, &out, nullptr);
  } else {
    rc = RegOpenKeyExW(Base(root, parent), path.c_str(), 0, Access(view), &out);
  }
  // A key that may be read but not changed (the machine's keys, for a user without
  // administrator rights) is opened for reading: the lists still show what is there, and a
  // write to it is refused like any other refused write. A missing key stays missing.
  if (rc == ERROR_ACCESS_DENIED)
    rc = RegOpenKeyExW(Base(root, parent), path.c_str(), 0, KEY_READ | ViewFlag(view), &out);
  if (rc != ERROR_SUCCESS) return nullptr;
  auto key = std::make_unique<WinKey>();
  key->hkey.reset(out);
  return key;
}

std::optional<RegValue> WinRegistry::Query(const RegKey& key, const std::string& name) {
  std::wstring n = Widen(name);
  // One call into a local buffer serves the usual short value; a longer one is read again
  // into a buffer of the size the first call reported.
  DWORD type = 0;
  std::vector<BYTE> data(512);
  DWORD got = static_cast<DWORD>(data.size() - sizeof(wchar_t));
  LONG rc = RegQueryValueExW(H(key), n.c_str(), nullptr, &type, data.data(), &got);
  while (rc == ERROR_MORE_DATA) {
    data.assign(got + sizeof(wchar_t), 0);
    rc = RegQueryValueExW(H(key), n.c_str(), nullptr, &type, data.data(), &got);
  }
  if (rc != ERROR_SUCCESS) return std::nullopt;
  RegValue v;
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      v.type = type == REG_SZ ? RegDataType::String : RegDataType::ExpandString;
      const wchar_t* w = reinterpret_cast<const wchar_t*>(data.data());
      size_t chars = got / sizeof(wchar_t);
      while (chars > 0 && w[chars - 1] == L'\0') --chars;
      // Text ends at its first NUL, as the platform's readers see it.
      size_t len = 0;
      while (len < chars && w[len] != L'\0') ++len;
      v.text = Narrow(w, len);
      break;
    }
    case REG_DWORD:
      v.type = RegDataType::Integer;
      if (got >= 4) memcpy(&v.dword, data.data(), 4);
      break;
    case REG_BINARY:
      v.type = RegDataType::Binary;
      v.bytes.assign(reinterpret_cast<const char*>(data.data()), got);
      break;
    default:
      v.type = RegDataType::Other;
      v.rawType = type;
      v.bytes.assign(reinterpret_cast<const char*>(data.data()), got);
      break;
  }
  return v;
}

bool WinRegistry::Set(const RegKey& key, const std::string& name, const RegValue& value) {
  std::wstring n = Widen(name);
  LONG rc;
  switch (value.type) {
    case RegDataType::String:
    case RegDataType::ExpandString: {
      std::wstring t = Widen(value.text);
      rc = RegSetValueExW(H(key), n.c_str(), 0,
                          value.type == RegDataType::String ? REG_SZ : REG_EXPAND_SZ,
                          reinterpret_cast<const BYTE*>(t.c_str()),
                          static_cast<DWORD>((t.size() + 1) * sizeof(wchar_t)));
      break;
    }
    case RegDataType::Integer:
      rc = RegSetValueExW(H(key), n.c_str(), 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&value.dword), sizeof(DWORD));
      break;
    default:
      rc = RegSetValueExW(H(key), n.c_str(), 0,
                          value.type == RegDataType::Other ? value.rawType : REG_BINARY,
                          reinterpret_cast<const BYTE*>(value.bytes.data()),
                          static_cast<DWORD>(value.bytes.size()));
      break;
  }
  return rc == ERROR_SUCCESS;
}

std::optional<RawRegValue> WinRegistry::QueryRaw(const RegKey& key, const std::string& name) {
  const std::wstring n = Widen(name);
  DWORD type = 0;
  std::vector<BYTE> data(512);
  DWORD got = static_cast<DWORD>(data.size());
  LONG rc = RegQueryValueExW(H(key), n.c_str(), nullptr, &type, data.data(), &got);
  while (rc == ERROR_MORE_DATA) {
    data.assign(got, 0);
    rc = RegQueryValueExW(H(key), n.c_str(), nullptr, &type, data.data(), &got);
  }
  if (rc != ERROR_SUCCESS) return std::nullopt;
  RawRegValue raw;
  raw.type = type;
  raw.bytes.assign(reinterpret_cast<const char*>(data.data()), got);
  return raw;
}

bool WinRegistry::SetRaw(const RegKey& key, const std::string& name, const RawRegValue& value) {
  // The system adds a terminator to text data that lacks one when the memory right after the
  // data holds a NUL character. The copy is followed by a non-NUL one, so that the value is
  // stored with exactly the bytes given.
  std::vector<BYTE> data(value.bytes.begin(), value.bytes.end());
  data.insert(data.end(), {0xFF, 0xFF, 0xFF});
  return RegSetValueExW(H(key), Widen(name).c_str(), 0, value.type, data.data(),
                        static_cast<DWORD>(value.bytes.size())) == ERROR_SUCCESS;
}

bool WinRegistry::DeleteValue(const RegKey& key, const std::string& name) {
  return RegDeleteValueW(H(key), Widen(name).c_str()) == ERROR_SUCCESS;
}

bool WinRegistry::DeleteTree(RegRoot root, const RegKey* parent, const std::string& subPath,
                             RegView view) {
  if (subPath.empty()) return false;
  std::wstring path = Widen(subPath);
  // Open the key itself first: RegDeleteTreeW on a missing key must report failure.
  HKEY k = nullptr;
  if (RegOpenKeyExW(Base(root, parent), path.c_str(), 0, Access(view), &k) != ERROR_SUCCESS)
    return false;
  UniqueHKey self(k);
  if (RegDeleteTreeW(self.get(), nullptr) != ERROR_SUCCESS) return false;
  self.reset();
  return RegDeleteKeyExW(Base(root, parent), path.c_str(), ViewFlag(view), 0) == ERROR_SUCCESS;
}

std::vector<std::string> WinRegistry::ValueNames(const RegKey& key) {
  std::vector<std::string> out;
  DWORD count = 0, maxLen = 0;
  if (RegQueryInfoKeyW(H(key), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                       &maxLen, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return out;
  std::vector<wchar_t> buf(maxLen + 2);
  for (DWORD i = 0;; ++i) {
    DWORD len = static_cast<DWORD>(buf.size());
    LONG rc = RegEnumValueW(H(key), i, buf.data(), &len, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_MORE_DATA) {
      buf.resize(buf.size() * 2);
      --i;
      continue;
    }
    if (rc != ERROR_SUCCESS) break;
    out.push_back(Narrow(buf.data(), len));
  }
  return out;
}

std::vector<std::string> WinRegistry::KeyNames(const RegKey& key) {
  std::vector<std::string> out;
  wchar_t buf[256];
  for (DWORD i = 0;; ++i) {
    DWORD len = 256;
    if (RegEnumKeyExW(H(key), i, buf, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    out.push_back(Narrow(buf, len));
  }
  return out;
}

}  // namespace mt
