// In-memory registry for native tests. Behaves like the real one where the logic can tell:
// key and value names compare without regard to ASCII case, values keep their type, names
// enumerate in insertion order (tests must not rely on that order: Wine sorts). Keys can be
// marked as denied (cannot be opened) or read-only (writes refused) to script failures.
#pragma once

#include <map>
#include <memory>
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
                               bool create) override;
  std::optional<RegValue> Query(const RegKey& key, const std::string& name) override;
  bool Set(const RegKey& key, const std::string& name, const RegValue& value) override;
  bool DeleteValue(const RegKey& key, const std::string& name) override;
  bool DeleteTree(RegRoot root, const RegKey* parent, const std::string& subPath) override;
  std::vector<std::string> ValueNames(const RegKey& key) override;
  std::vector<std::string> KeyNames(const RegKey& key) override;

  // ---- scripting and inspection (paths from the root, "\"-separated) ----
  void SetString(RegRoot root, const std::string& path, const std::string& name,
                 const std::string& text);
  void SetDword(RegRoot root, const std::string& path, const std::string& name, uint32_t v);
  void SetBinary(RegRoot root, const std::string& path, const std::string& name,
                 const std::string& bytes);
  void CreatePath(RegRoot root, const std::string& path);
  std::optional<RegValue> Get(RegRoot root, const std::string& path, const std::string& name);
  bool HasKey(RegRoot root, const std::string& path);
  // Opening this key (or any key below it) fails, also with create.
  void Deny(RegRoot root, const std::string& path);
  // Writes, deletions and key creation below this key are refused.
  void MakeReadOnly(RegRoot root, const std::string& path);

  struct Node;

 private:
  Node* Find(RegRoot root, const std::string& path, bool create, bool* denied = nullptr);
  bool IsReadOnly(RegRoot root, const std::string& path) const;
  bool IsDenied(RegRoot root, const std::string& path) const;

  std::map<uint32_t, std::unique_ptr<Node>> roots_;
  std::vector<std::pair<RegRoot, std::string>> denied_, readOnly_;
};

}  // namespace mt::test
