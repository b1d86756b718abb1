// A registry backend that keeps the keys it opens open, for work that touches many values of
// few keys (a restore of a thousand Run values): each key is opened once instead of once for
// every read, write and read-back. It sits in front of another backend for the length of one
// job and is thrown away with it.
//
// A key tree deleted through it drops every key it holds, so a handle of a deleted key is
// never used again; keys missing when asked for are not remembered (they may be created next).
// Not for use from two threads at once.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <tuple>

#include "app/Registry.h"

namespace mt {

class CachedRegistry : public RegistryBackend {
 public:
  explicit CachedRegistry(RegistryBackend& inner) : inner_(inner) {}

  std::unique_ptr<RegKey> Open(RegRoot root, const RegKey* parent, const std::string& subPath,
                               bool create, RegView view = RegView::Native) override;
  std::optional<RegValue> Query(const RegKey& key, const std::string& name) override;
  bool Set(const RegKey& key, const std::string& name, const RegValue& value) override;
  bool DeleteValue(const RegKey& key, const std::string& name) override;
  bool DeleteTree(RegRoot root, const RegKey* parent, const std::string& subPath,
                  RegView view = RegView::Native) override;
  std::vector<std::string> ValueNames(const RegKey& key) override;
  std::vector<std::string> KeyNames(const RegKey& key) override;
  std::optional<RawRegValue> QueryRaw(const RegKey& key, const std::string& name) override;
  bool SetRaw(const RegKey& key, const std::string& name, const RawRegValue& value) override;

  // How often a key was opened in the backend behind (tests).
  size_t InnerOpens() const { return innerOpens_; }

 private:
  static const RegKey& Inner(const RegKey& key);
  static const RegKey* Inner(const RegKey* key) { return key ? &Inner(*key) : nullptr; }

  RegistryBackend& inner_;
  // Keys opened from the root, by root, view and path in ASCII lower case.
  std::map<std::tuple<RegRoot, RegView, std::string>, std::shared_ptr<RegKey>> keys_;
  size_t innerOpens_ = 0;
};

}  // namespace mt
