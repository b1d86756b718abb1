#include "tests/support/MemoryRegistry.h"

#include <algorithm>

#include "app/Text.h"

namespace mt::test {

struct MemoryRegistry::Node {
  std::string name;
  std::vector<std::pair<std::string, RegValue>> values;
  std::vector<std::unique_ptr<Node>> children;

  Node* Child(const std::string& n) {
    for (auto& c : children)
      if (EqualsNoCase(c->name, n)) return c.get();
    return nullptr;
  }
  RegValue* Value(const std::string& n) {
    for (auto& v : values)
      if (EqualsNoCase(v.first, n)) return &v.second;
    return nullptr;
  }
};

namespace {

struct MemKey : RegKey {
  RegRoot root;
  std::string path;  // from the root
};

const MemKey& AsMem(const RegKey& k) { return static_cast<const MemKey&>(k); }

std::string Join(const RegKey* parent, const std::string& sub) {
  std::string base = parent ? AsMem(*parent).path : std::string();
  if (base.empty()) return sub;
  if (sub.empty()) return base;
  return base + "\\" + sub;
}

bool IsBelow(const std::string& path, const std::string& top) {
  if (top.empty()) return true;
  if (path.size() < top.size()) return false;
  if (!EqualsNoCase(path.substr(0, top.size()), top)) return false;
  return path.size() == top.size() || path[top.size()] == '\\';
}

}  // namespace

MemoryRegistry::MemoryRegistry() = default;
MemoryRegistry::~MemoryRegistry() = default;

bool MemoryRegistry::IsDenied(RegRoot root, const std::string& path) const {
  for (auto& d : denied_)
    if (d.first == root && IsBelow(path, d.second)) return true;
  return false;
}

bool MemoryRegistry::IsReadOnly(RegRoot root, const std::string& path) const {
  for (auto& d : readOnly_)
    if (d.first == root && IsBelow(path, d.second)) return true;
  return false;
}

MemoryRegistry::Node* MemoryRegistry::Find(RegRoot root, const std::string& path, bool create,
                                           bool* denied) {
  if (IsDenied(root, path)) {
    if (denied) *denied = true;
    return nullptr;
  }
  auto& top = roots_[static_cast<uint32_t>(root)];
  if (!top) top = std::make_unique<Node>();
  Node* n = top.get();
  if (path.empty()) return n;
  for (const std::string& part : Split(path, '\\')) {
    if (part.empty()) continue;
    Node* c = n->Child(part);
    if (!c) {
      if (!create) return nullptr;
      auto fresh = std::make_unique<Node>();
      fresh->name = part;
      c = fresh.get();
      n->children.push_back(std::move(fresh));
    }
    n = c;
  }
  return n;
}

std::unique_ptr<RegKey> MemoryRegistry::Open(RegRoot root, const RegKey* parent,
                                             const std::string& subPath, bool create) {
  std::string path = Join(parent, subPath);
  if (create && !HasKey(root, path) && IsReadOnly(root, path)) return nullptr;
  if (!Find(root, path, create)) return nullptr;
  auto k = std::make_unique<MemKey>();
  k->root = root;
  k->path = path;
  return k;
}

std::optional<RegValue> MemoryRegistry::Query(const RegKey& key, const std::string& name) {
  Node* n = Find(AsMem(key).root, AsMem(key).path, false);
  if (!n) return std::nullopt;
  RegValue* v = n->Value(name);
  if (!v) return std::nullopt;
  return *v;
}

bool MemoryRegistry::Set(const RegKey& key, const std::string& name, const RegValue& value) {
  const MemKey& k = AsMem(key);
  if (IsReadOnly(k.root, k.path)) return false;
  Node* n = Find(k.root, k.path, false);
  if (!n) return false;
  if (RegValue* v = n->Value(name)) {
    *v = value;
  } else {
    n->values.emplace_back(name, value);
  }
  return true;
}

bool MemoryRegistry::DeleteValue(const RegKey& key, const std::string& name) {
  const MemKey& k = AsMem(key);
  if (IsReadOnly(k.root, k.path)) return false;
  Node* n = Find(k.root, k.path, false);
  if (!n) return false;
  auto it = std::find_if(n->values.begin(), n->values.end(),
                         [&](auto& v) { return EqualsNoCase(v.first, name); });
  if (it == n->values.end()) return false;
  n->values.erase(it);
  return true;
}

bool MemoryRegistry::DeleteTree(RegRoot root, const RegKey* parent, const std::string& subPath) {
  std::string path = Join(parent, subPath);
  if (path.empty() || IsReadOnly(root, path)) return false;
  size_t cut = path.rfind('\\');
  std::string up = cut == std::string::npos ? std::string() : path.substr(0, cut);
  std::string leaf = cut == std::string::npos ? path : path.substr(cut + 1);
  Node* n = Find(root, up, false);
  if (!n) return false;
  auto it = std::find_if(n->children.begin(), n->children.end(),
                         [&](auto& c) { return EqualsNoCase(c->name, leaf); });
  if (it == n->children.end()) return false;
  n->children.erase(it);
  return true;
}

std::vector<std::string> MemoryRegistry::ValueNames(const RegKey& key) {
  std::vector<std::string> out;
  if (Node* n = Find(AsMem(key).root, AsMem(key).path, false))
    for (auto& v : n->values) out.push_back(v.first);
  return out;
}

std::vector<std::string> MemoryRegistry::KeyNames(const RegKey& key) {
  std::vector<std::string> out;
  if (Node* n = Find(AsMem(key).root, AsMem(key).path, false))
    for (auto& c : n->children) out.push_back(c->name);
  return out;
}

void MemoryRegistry::CreatePath(RegRoot root, const std::string& path) {
  Find(root, path, true);
}

void MemoryRegistry::SetString(RegRoot root, const std::string& path, const std::string& name,
                               const std::string& text) {
  RegValue v;
  v.type = RegDataType::String;
  v.text = text;
  Node* n = Find(root, path, true);
  if (!n) return;
  if (RegValue* old = n->Value(name)) *old = v; else n->values.emplace_back(name, v);
}

void MemoryRegistry::SetDword(RegRoot root, const std::string& path, const std::string& name,
                              uint32_t dword) {
  RegValue v;
  v.type = RegDataType::Integer;
  v.dword = dword;
  Node* n = Find(root, path, true);
  if (!n) return;
  if (RegValue* old = n->Value(name)) *old = v; else n->values.emplace_back(name, v);
}

void MemoryRegistry::SetBinary(RegRoot root, const std::string& path, const std::string& name,
                               const std::string& bytes) {
  RegValue v;
  v.type = RegDataType::Binary;
  v.bytes = bytes;
  Node* n = Find(root, path, true);
  if (!n) return;
  if (RegValue* old = n->Value(name)) *old = v; else n->values.emplace_back(name, v);
}

std::optional<RegValue> MemoryRegistry::Get(RegRoot root, const std::string& path,
                                            const std::string& name) {
  Node* n = Find(root, path, false);
  if (!n) return std::nullopt;
  RegValue* v = n->Value(name);
  if (!v) return std::nullopt;
  return *v;
}

bool MemoryRegistry::HasKey(RegRoot root, const std::string& path) {
  return Find(root, path, false) != nullptr;
}

void MemoryRegistry::Deny(RegRoot root, const std::string& path) { denied_.emplace_back(root, path); }
void MemoryRegistry::MakeReadOnly(RegRoot root, const std::string& path) {
  readOnly_.emplace_back(root, path);
}

}  // namespace mt::test
