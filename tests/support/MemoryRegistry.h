// In-memory registry for native tests. Behaves like the real one where the logic can tell:
// key and value names compare without regard to ASCII case, values keep their type, names
// enumerate in insertion order (tests must not rely on that order: Wine sorts). Keys can be
// marked as denied (cannot be opened) or read-only (writes refused) to script failures.
//
// It has the two views of 64-bit Windows 7 and later. Each logical path is mapped to the one
// physical key it names, as WOW64 does:
// - HKEY_CLASSES_ROOT is HKLM\SOFTWARE\Classes (the per-user half of the merged view is
//   not modelled);
// - in the Wow32 view, HKLM\SOFTWARE\X is HKLM\SOFTWARE\WOW6432Node\X, except for the keys
//   WOW64 shares (HKLM\SOFTWARE\Classes, SOFTWARE\Policies, ...); below the shared
//   Classes keys, CLSID, Interface, DirectShow, Media Type and MediaFoundation are
//   redirected to Classes\WOW6432Node\...; so is HKCU\Software\Classes\CLSID and kin,
//   while the rest of HKEY_CURRENT_USER is shared;
// - a path that already names WOW6432Node is not redirected a second time;
// - the compatibility links HKLM\SOFTWARE\WOW6432Node\Classes (to
//   SOFTWARE\Classes\WOW6432Node) and Classes\WOW6432Node\AppID, Protocols and TypeLib
//   (to the shared keys) are followed in both views;
// - a key opened below an open key is found in the view that open names, from the logical
//   path, not in the view the open key was opened in: the system does not remember a
//   handle's view, and its documentation asks for the view again on every open below a key
//   of the other view. So a section of a 32-bit key opened in the native view is the native
//   twin's section.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/Registry.h"

namespace mt::test {

class MemoryRegistry : public RegistryBackend {
 public:
  MemoryRegistry();
  ~MemoryRegistry() override;

  std::unique_ptr<RegKey> Open(RegRoot root, const RegKey* parent, const std::string& subPath,
                               bool create, RegView view = RegView::Native) override;
  std::optional<RegValue> Query(const RegKey& key, const std::string& name) override;
  bool Set(const RegKey& key, const std::string& name, const RegValue& value) override;
  bool DeleteValue(const RegKey& key, const std::string& name) override;
  bool DeleteTree(RegRoot root, const RegKey* parent, const std::string& subPath,
                  RegView view = RegView::Native) override;
  std::vector<std::string> ValueNames(const RegKey& key) override;
  std::vector<std::string> KeyNames(const RegKey& key) override;
  // A value set raw comes back with exactly its type and bytes; one set through Set in its
  // stored form (RawFromValue).
  std::optional<RawRegValue> QueryRaw(const RegKey& key, const std::string& name) override;
  bool SetRaw(const RegKey& key, const std::string& name, const RawRegValue& value) override;

  // ---- scripting and inspection (paths from the root, "\"-separated, in `view`) ----
  void SetString(RegRoot root, const std::string& path, const std::string& name,
                 const std::string& text, RegView view = RegView::Native);
  void SetDword(RegRoot root, const std::string& path, const std::string& name, uint32_t v,
                RegView view = RegView::Native);
  void SetBinary(RegRoot root, const std::string& path, const std::string& name,
                 const std::string& bytes, RegView view = RegView::Native);
  void CreatePath(RegRoot root, const std::string& path, RegView view = RegView::Native);
  std::optional<RegValue> Get(RegRoot root, const std::string& path, const std::string& name,
                              RegView view = RegView::Native);
  bool HasKey(RegRoot root, const std::string& path, RegView view = RegView::Native);
  // Opening this key (or any key below it) fails, also with create.
  void Deny(RegRoot root, const std::string& path, RegView view = RegView::Native);
  // Writes, deletions and key creation below this key are refused.
  void MakeReadOnly(RegRoot root, const std::string& path, RegView view = RegView::Native);

  // Where a logical key lives: its root and path from that root after WOW64's redirection
  // and links, "\"-separated without empty parts.
  struct Place {
    RegRoot root;
    std::string path;
  };
  static Place Physical(RegRoot root, const std::string& path, RegView view);

  struct Node;

 private:
  Node* Find(const Place& place, bool create);
  void SetValue(const Place& place, const std::string& name, const RegValue& value,
                std::optional<RawRegValue> raw = std::nullopt);
  bool IsReadOnly(const Place& place) const;
  bool IsDenied(const Place& place) const;

  std::map<uint32_t, std::unique_ptr<Node>> roots_;
  std::vector<Place> denied_, readOnly_;
};

}  // namespace mt::test
