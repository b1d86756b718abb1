#include "app/Registry.h"

#include "app/Error.h"

namespace mt {

namespace {

std::string JoinPath(const std::string& a, const std::string& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  return a + "\\" + b;
}

// Drops leading and trailing separators and collapses runs of them.
std::string NormalisePath(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == '\\') {
      if (!out.empty() && out.back() != '\\') out += c;
    } else {
      out += c;
    }
  }
  if (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

}  // namespace

TRegistry::TRegistry(RegistryBackend& backend, RegView view) : backend_(backend), view_(view) {}
TRegistry::~TRegistry() = default;

void TRegistry::SetRootKey(RegRoot root) {
  CloseKey();
  root_ = root;
}

void TRegistry::SetView(RegView view) {
  CloseKey();
  view_ = view;
}

std::string TRegistry::Resolve(const std::string& path) const {
  bool absolute = !path.empty() && path[0] == '\\';
  std::string rel = NormalisePath(path);
  if (absolute || !key_) return rel;
  return JoinPath(path_, rel);
}

bool TRegistry::OpenKey(const std::string& path, bool canCreate) {
  std::string full = Resolve(path);
  std::unique_ptr<RegKey> key;
  try {
    key = backend_.Open(root_, nullptr, full, canCreate, view_);
  } catch (...) {
    return false;
  }
  if (!key) return false;
  key_ = std::move(key);
  path_ = full;
  return true;
}

bool TRegistry::KeyExists(const std::string& path) {
  try {
    return backend_.Open(root_, nullptr, Resolve(path), false, view_) != nullptr;
  } catch (...) {
    return false;
  }
}

bool TRegistry::ValueExists(const std::string& name) {
  if (!key_) return false;
  try {
    return backend_.Query(*key_, name).has_value();
  } catch (...) {
    return false;
  }
}

bool TRegistry::CreateKey(const std::string& path) {
  std::unique_ptr<RegKey> key = backend_.Open(root_, nullptr, Resolve(path), true, view_);
  if (!key) throw AppError(FormatMessage1("Failed to create key %s", path));
  return true;
}

std::string TRegistry::ReadString(const std::string& name) {
  if (!key_) return std::string();
  std::optional<RegValue> v = backend_.Query(*key_, name);
  if (!v) return std::string();
  if (v->type != RegDataType::String && v->type != RegDataType::ExpandString)
    throw AppError(FormatMessage1("Invalid data type for '%s'", name));
  return v->text;
}

int32_t TRegistry::ReadInteger(const std::string& name) {
  std::optional<RegValue> v;
  if (key_) v = backend_.Query(*key_, name);
  if (!v) throw AppError(FormatMessage1("Failed to get data for '%s'", name));
  if (v->type != RegDataType::Integer)
    throw AppError(FormatMessage1("Invalid data type for '%s'", name));
  return static_cast<int32_t>(v->dword);
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  RegValue v;
  v.type = RegDataType::String;
  v.text = value;
  if (!key_ || !backend_.Set(*key_, name, v))
    throw AppError(FormatMessage1("Failed to set data for '%s'", name));
}

void TRegistry::WriteInteger(const std::string& name, int32_t value) {
  RegValue v;
  v.type = RegDataType::Integer;
  v.dword = static_cast<uint32_t>(value);
  if (!key_ || !backend_.Set(*key_, name, v))
    throw AppError(FormatMessage1("Failed to set data for '%s'", name));
}

bool TRegistry::DeleteValue(const std::string& name) {
  if (!key_) return false;
  return backend_.DeleteValue(*key_, name);
}

bool TRegistry::DeleteKey(const std::string& path) {
  std::string full = Resolve(path);
  if (full.empty()) return false;  // never the root itself
  return backend_.DeleteTree(root_, nullptr, full, view_);
}

std::vector<std::string> TRegistry::GetValueNames() {
  if (!key_) return {};
  return backend_.ValueNames(*key_);
}

std::vector<std::string> TRegistry::GetKeyNames() {
  if (!key_) return {};
  return backend_.KeyNames(*key_);
}

int TRegistry::ValueCount() { return static_cast<int>(GetValueNames().size()); }

std::optional<RegDataType> TRegistry::GetDataType(const std::string& name) {
  if (!key_) return std::nullopt;
  std::optional<RegValue> v = backend_.Query(*key_, name);
  if (!v) return std::nullopt;
  return v->type;
}

void TRegistry::CloseKey() {
  key_.reset();
  path_.clear();
}

}  // namespace mt
