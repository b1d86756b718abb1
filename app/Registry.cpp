#include "app/Registry.h"

#include "app/Error.h"
#include "app/Text.h"

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

RawRegValue RawFromValue(const RegValue& value) {
  RawRegValue raw;
  switch (value.type) {
    case RegDataType::String:
    case RegDataType::ExpandString:
      raw.type = value.type == RegDataType::String ? 1 : 2;
      raw.bytes = Utf16Le(value.text) + std::string(2, '\0');
      break;
    case RegDataType::Integer:
      raw.type = 4;
      for (int i = 0; i < 4; ++i) raw.bytes += static_cast<char>((value.dword >> (8 * i)) & 0xFF);
      break;
    case RegDataType::Binary:
      raw.type = 3;
      raw.bytes = value.bytes;
      break;
    case RegDataType::Other:
      raw.type = value.rawType;
      raw.bytes = value.bytes;
      break;
  }
  return raw;
}

RegValue ValueFromRaw(const RawRegValue& raw) {
  RegValue value;
  if (raw.type == 1 || raw.type == 2) {
    value.type = raw.type == 1 ? RegDataType::String : RegDataType::ExpandString;
    std::string units = raw.bytes;
    if (units.size() % 2) units.pop_back();
    // The text ends at the first terminator, as the registry's readers take it.
    for (size_t i = 0; i + 1 < units.size(); i += 2)
      if (units[i] == 0 && units[i + 1] == 0) {
        units.resize(i);
        break;
      }
    value.text = FromUtf16Le(units);
  } else if (raw.type == 4 && raw.bytes.size() == 4) {
    value.type = RegDataType::Integer;
    for (int i = 0; i < 4; ++i)
      value.dword |= static_cast<uint32_t>(static_cast<unsigned char>(raw.bytes[i])) << (8 * i);
  } else if (raw.type == 3) {
    value.type = RegDataType::Binary;
    value.bytes = raw.bytes;
  } else {
    value.type = RegDataType::Other;
    value.rawType = raw.type;
    value.bytes = raw.bytes;
  }
  return value;
}

std::optional<RawRegValue> RegistryBackend::QueryRaw(const RegKey& key, const std::string& name) {
  std::optional<RegValue> value = Query(key, name);
  if (!value) return std::nullopt;
  return RawFromValue(*value);
}

bool RegistryBackend::SetRaw(const RegKey& key, const std::string& name, const RawRegValue& value) {
  return Set(key, name, ValueFromRaw(value));
}

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
