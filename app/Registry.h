// Registry access. `TRegistry` is the handle the tools use: one root, at most one open key,
// made, used and dropped inside one handler. It talks to a `RegistryBackend`, which is the
// real registry on Windows (app/win/WinRegistry) and an in-memory stand-in in tests.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mt {

enum class RegRoot : uint32_t {
  ClassesRoot = 0x80000000u,
  CurrentUser = 0x80000001u,
  LocalMachine = 0x80000002u,
};

// The two views of the registry on 64-bit Windows. Native is the program's own 64-bit view
// (KEY_WOW64_64KEY). Wow32 is the view a 32-bit program sees (KEY_WOW64_32KEY): there WOW64
// redirects HKLM\SOFTWARE to HKLM\SOFTWARE\WOW6432Node and the class registrations
// (HKCR\CLSID and its kin) to their WOW6432Node keys. Keys that WOW64 shares, such as
// HKCU\Software or HKLM\SOFTWARE\Policies, are one and the same key in both views.
enum class RegView { Native, Wow32 };

// What a stored value holds. String covers REG_SZ; ExpandString REG_EXPAND_SZ; Integer is
// REG_DWORD; everything else (binary, multi-string, qword...) is Other.
enum class RegDataType { String, ExpandString, Integer, Binary, Other };

struct RegValue {
  RegDataType type = RegDataType::String;
  std::string text;      // String / ExpandString: the text (UTF-8)
  uint32_t dword = 0;    // Integer
  std::string bytes;     // Binary / Other: raw data
  uint32_t rawType = 0;  // Other: the registry's own type number (REG_MULTI_SZ = 7, ...)
};

// A value exactly as the registry stores it: its type number (REG_SZ = 1, REG_EXPAND_SZ = 2,
// REG_BINARY = 3, REG_DWORD = 4, REG_MULTI_SZ = 7, ...) and its bytes, a text's terminator
// and any odd byte included. Backups keep values in this form so that they come back as
// they were.
struct RawRegValue {
  uint32_t type = 0;
  std::string bytes;
  bool operator==(const RawRegValue& o) const { return type == o.type && bytes == o.bytes; }
  bool operator!=(const RawRegValue& o) const { return !(*this == o); }
};

// The stored form of a value (text as UTF-16LE with its terminator), and back. A raw value
// whose bytes do not fit its type (a REG_DWORD of another length) becomes Other.
RawRegValue RawFromValue(const RegValue& value);
RegValue ValueFromRaw(const RawRegValue& raw);

// An open key of a backend. Closing happens when it is destroyed.
class RegKey {
 public:
  virtual ~RegKey() = default;
};

class RegistryBackend {
 public:
  virtual ~RegistryBackend() = default;
  // Opens (or with `create`, creates) `subPath` below `parent`, or below the root when
  // `parent` is null, in the given view. `subPath` uses "\" separators and never starts
  // with one; an empty path opens the parent (or root) itself. Null when missing or denied.
  virtual std::unique_ptr<RegKey> Open(RegRoot root, const RegKey* parent,
                                       const std::string& subPath, bool create,
                                       RegView view = RegView::Native) = 0;
  virtual std::optional<RegValue> Query(const RegKey& key, const std::string& name) = 0;
  // False when the write is refused.
  virtual bool Set(const RegKey& key, const std::string& name, const RegValue& value) = 0;
  virtual bool DeleteValue(const RegKey& key, const std::string& name) = 0;
  // Deletes `subPath` below `parent` (or the root) with all its subkeys, in the given view
  // only: the same path in the other view is left alone.
  virtual bool DeleteTree(RegRoot root, const RegKey* parent, const std::string& subPath,
                          RegView view = RegView::Native) = 0;
  virtual std::vector<std::string> ValueNames(const RegKey& key) = 0;
  virtual std::vector<std::string> KeyNames(const RegKey& key) = 0;
  // The value with its exact type and bytes; backends that hold values in their stored form
  // override these, the defaults go through Query and Set.
  virtual std::optional<RawRegValue> QueryRaw(const RegKey& key, const std::string& name);
  virtual bool SetRaw(const RegKey& key, const std::string& name, const RawRegValue& value);
};

// The registry handle. Starts at HKEY_CURRENT_USER with no key open; changing the root or
// the view closes the open key. Every key it opens, creates or deletes is in its view.
class TRegistry {
 public:
  explicit TRegistry(RegistryBackend& backend, RegView view = RegView::Native);
  ~TRegistry();
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  RegRoot RootKey() const { return root_; }
  void SetRootKey(RegRoot root);
  RegView View() const { return view_; }
  void SetView(RegView view);

  // A path with a leading "\" starts at the root, any other path at the open key (the root
  // when none is open). True makes the key the open key; false when it is missing (and may
  // not be created) or denied. Never throws.
  bool OpenKey(const std::string& path, bool canCreate);
  // Same as OpenKey(path, false) but read-only in intent; kept for readability at call sites.
  bool OpenKeyReadOnly(const std::string& path) { return OpenKey(path, false); }
  bool KeyExists(const std::string& path);
  bool ValueExists(const std::string& name);
  // Creates the key (relative or absolute, like OpenKey) without opening it; throws
  // "Failed to create key %s".
  bool CreateKey(const std::string& path);

  // Empty for a missing value; throws "Invalid data type for '%s'" for a non-text value.
  std::string ReadString(const std::string& name);
  // Throws "Failed to get data for '%s'" when missing, "Invalid data type for '%s'" when the
  // value is not a REG_DWORD.
  int32_t ReadInteger(const std::string& name);
  // REG_SZ / REG_DWORD; throw "Failed to set data for '%s'" (no key open, refused).
  void WriteString(const std::string& name, const std::string& value);
  void WriteInteger(const std::string& name, int32_t value);

  bool DeleteValue(const std::string& name);
  // Deletes the key (relative or absolute) with all its subkeys.
  bool DeleteKey(const std::string& path);

  std::vector<std::string> GetValueNames();
  std::vector<std::string> GetKeyNames();
  int ValueCount();
  // Type of the named value of the open key; empty when it does not exist.
  std::optional<RegDataType> GetDataType(const std::string& name);

  void CloseKey();
  bool HasOpenKey() const { return key_ != nullptr; }
  // Path of the open key from the root, without a leading "\" ("" when none is open).
  const std::string& CurrentPath() const { return path_; }

 private:
  // Resolves `path` into the key it names below the root ("\"-separated, no leading "\").
  std::string Resolve(const std::string& path) const;

  RegistryBackend& backend_;
  RegRoot root_ = RegRoot::CurrentUser;
  RegView view_;
  std::unique_ptr<RegKey> key_;
  std::string path_;
};

}  // namespace mt
