#include "app/CachedRegistry.h"

#include "app/Text.h"

namespace mt {

namespace {

// A key handed out by the cache: it shares the backend's key with the cache, so it stays
// open when the caller drops it.
class SharedKey : public RegKey {
 public:
  explicit SharedKey(std::shared_ptr<RegKey> inner) : inner(std::move(inner)) {}
  std::shared_ptr<RegKey> inner;
};

// A key opened below a caller's key: not cached, owned by the caller alone.
class OwnKey : public RegKey {
 public:
  explicit OwnKey(std::unique_ptr<RegKey> inner) : inner(std::move(inner)) {}
  std::unique_ptr<RegKey> inner;
};

}  // namespace

const RegKey& CachedRegistry::Inner(const RegKey& key) {
  if (auto* shared = dynamic_cast<const SharedKey*>(&key)) return *shared->inner;
  if (auto* own = dynamic_cast<const OwnKey*>(&key)) return *own->inner;
  return key;
}

std::unique_ptr<RegKey> CachedRegistry::Open(RegRoot root, const RegKey* parent,
                                             const std::string& subPath, bool create,
                                             RegView view) {
  if (parent) {
    ++innerOpens_;
    auto key = inner_.Open(root, Inner(parent), subPath, create, view);
    if (!key) return nullptr;
    return std::make_unique<OwnKey>(std::move(key));
  }
  const auto id = std::make_tuple(root, view, LowerAscii(subPath));
  auto found = keys_.find(id);
  if (found == keys_.end()) {
    ++innerOpens_;
    std::unique_ptr<RegKey> key = inner_.Open(root, nullptr, subPath, create, view);
    if (!key) return nullptr;
    found = keys_.emplace(id, std::shared_ptr<RegKey>(std::move(key))).first;
  }
  return std::make_unique<SharedKey>(found->second);
}

std::optional<RegValue> CachedRegistry::Query(const RegKey& key, const std::string& name) {
  return inner_.Query(Inner(key), name);
}

bool CachedRegistry::Set(const RegKey& key, const std::string& name, const RegValue& value) {
  return inner_.Set(Inner(key), name, value);
}

bool CachedRegistry::DeleteValue(const RegKey& key, const std::string& name) {
  return inner_.DeleteValue(Inner(key), name);
}

bool CachedRegistry::DeleteTree(RegRoot root, const RegKey* parent, const std::string& subPath,
                                RegView view) {
  // Any key held may lie in the tree (or be the tree under another spelling of its name):
  // all of them are let go before it goes.
  keys_.clear();
  return inner_.DeleteTree(root, Inner(parent), subPath, view);
}

std::vector<std::string> CachedRegistry::ValueNames(const RegKey& key) {
  return inner_.ValueNames(Inner(key));
}

std::vector<std::string> CachedRegistry::KeyNames(const RegKey& key) {
  return inner_.KeyNames(Inner(key));
}

std::optional<RawRegValue> CachedRegistry::QueryRaw(const RegKey& key, const std::string& name) {
  return inner_.QueryRaw(Inner(key), name);
}

bool CachedRegistry::SetRaw(const RegKey& key, const std::string& name, const RawRegValue& value) {
  return inner_.SetRaw(Inner(key), name, value);
}

}  // namespace mt
