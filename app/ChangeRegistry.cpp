#include "app/ChangeRegistry.h"

#include <algorithm>
#include <cstdio>

#include "app/Backup.h"
#include "app/Error.h"
#include "app/Text.h"

namespace mt {

namespace {

std::string Strip(std::string path) {
  size_t i = 0;
  while (i < path.size() && path[i] == '\\') ++i;
  path.erase(0, i);
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

nlohmann::json RawState(const RawRegValue& raw) {
  return nlohmann::json{{"type", raw.type}, {"data", HexOf(raw.bytes)}};
}

RawRegValue RawOfState(const nlohmann::json& state) {
  if (!state.is_object() || !state.contains("type") || !state["type"].is_number_unsigned() ||
      !state.contains("data") || !state["data"].is_string())
    throw AppError("注册表数据不完整");
  RawRegValue raw;
  raw.type = state["type"].get<uint32_t>();
  raw.bytes = BytesOfHex(state["data"].get<std::string>());
  return raw;
}

std::string Reason(const char* what, const std::string& path) {
  return std::string(what) + " " + path;
}

// The place's fields read back; throws for anything missing.
void ReadPlace(const nlohmann::json& place, RegRoot& root, RegView& view, std::string& key) {
  if (!place.is_object() || !place.contains("root") || !place["root"].is_string() ||
      !place.contains("view") || !place["view"].is_string() || !place.contains("key"))
    throw AppError("注册表位置不完整");
  root = RootFromJson(place["root"].get<std::string>());
  view = ViewFromJson(place["view"].get<std::string>());
  key = NameFromJson(place["key"]);
}

std::string KeyPlace(RegRoot root, RegView view, const std::string& key) {
  std::string text = RegFileKeyName(root, key, view);
  if (view == RegView::Wow32) text += "（32位）";
  return text;
}

}  // namespace

// ---- one value -----------------------------------------------------------------------------

RegistryValueChange::RegistryValueChange(RegRoot root, RegView view, std::string keyPath,
                                         std::string name)
    : root_(root), view_(view), keyPath_(Strip(std::move(keyPath))), name_(std::move(name)) {}

std::unique_ptr<RegistryValueChange> RegistryValueChange::FromPlace(const nlohmann::json& place) {
  RegRoot root;
  RegView view;
  std::string key;
  ReadPlace(place, root, view, key);
  if (!place.contains("name")) throw AppError("注册表位置缺少值名");
  return std::make_unique<RegistryValueChange>(root, view, key, NameFromJson(place["name"]));
}

bool RegistryValueChange::MachineWide(const ChangeEnv&) const {
  return root_ != RegRoot::CurrentUser;
}

std::string RegistryValueChange::Place() const {
  return KeyPlace(root_, view_, keyPath_) + "  " + (name_.empty() ? "(默认)" : name_);
}

nlohmann::json RegistryValueChange::PlaceJson() const {
  return nlohmann::json{{"root", RootJsonName(root_)},
                        {"view", ViewJsonName(view_)},
                        {"key", NameJson(keyPath_)},
                        {"name", NameJson(name_)}};
}

nlohmann::json RegistryValueChange::Observe(const ChangeEnv& env) const {
  auto key = env.registry->Open(root_, nullptr, keyPath_, false, view_);
  if (!key) return AbsentState();
  std::optional<RawRegValue> raw = env.registry->QueryRaw(*key, name_);
  return raw ? RawState(*raw) : AbsentState();
}

bool RegistryValueChange::Save(const ChangeEnv&, DeletionBackup& set, nlohmann::json&) {
  // The state Add has just read: reading the value again would cost a second round trip.
  const nlohmann::json& now = set.Before();
  const std::string keyName = RegFileKeyName(root_, keyPath_, view_);
  if (IsAbsent(now)) set.Reg().AddValueDeletion(keyName, name_);
  else set.Reg().AddKey(keyName, {{name_, ValueFromRaw(RawOfState(now))}});
  return true;
}

void RegistryValueChange::Restore(const ChangeEnv& env, const nlohmann::json& before,
                                  const nlohmann::json&) {
  RegistryBackend& registry = *env.registry;
  if (IsAbsent(before)) {
    auto key = registry.Open(root_, nullptr, keyPath_, false, view_);
    if (key && registry.QueryRaw(*key, name_) && !registry.DeleteValue(*key, name_))
      throw AppError(Reason("拒绝访问：", keyPath_));
    return;
  }
  const RawRegValue raw = RawOfState(before);
  auto key = registry.Open(root_, nullptr, keyPath_, true, view_);
  if (!key) throw AppError(Reason("无法打开或创建注册表项", keyPath_));
  if (!registry.SetRaw(*key, name_, raw)) throw AppError(Reason("拒绝访问：", keyPath_));
}

std::string RegistryValueChange::DescribeState(const nlohmann::json& state) const {
  return DescribeRegistryData(state);
}

bool RegistryValueChange::PlaceAllowed(const ChangeEnv&) const {
  return RegistryValuePlaceAllowed(root_, keyPath_, name_);
}

std::unique_ptr<Change> RegistryValueChange::AtSamePlace() const {
  return std::make_unique<RegistryValueChange>(root_, view_, keyPath_, name_);
}

// ---- a key tree ----------------------------------------------------------------------------

RegistryTreeChange::RegistryTreeChange(RegRoot root, RegView view, std::string keyPath)
    : root_(root), view_(view), keyPath_(Strip(std::move(keyPath))) {}

std::unique_ptr<RegistryTreeChange> RegistryTreeChange::FromPlace(const nlohmann::json& place) {
  RegRoot root;
  RegView view;
  std::string key;
  ReadPlace(place, root, view, key);
  if (key.empty()) throw AppError("注册表位置不完整");
  return std::make_unique<RegistryTreeChange>(root, view, key);
}

bool RegistryTreeChange::MachineWide(const ChangeEnv&) const {
  return root_ != RegRoot::CurrentUser;
}

std::string RegistryTreeChange::Place() const {
  return KeyPlace(root_, view_, keyPath_) + "（整个项）";
}

nlohmann::json RegistryTreeChange::PlaceJson() const {
  return nlohmann::json{{"root", RootJsonName(root_)},
                        {"view", ViewJsonName(view_)},
                        {"key", NameJson(keyPath_)}};
}

namespace {

nlohmann::json TreeOf(RegistryBackend& registry, RegRoot root, RegView view, const RegKey& key) {
  nlohmann::json values = nlohmann::json::array(), keys = nlohmann::json::array();
  std::vector<std::string> names = registry.ValueNames(key);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names)
    if (std::optional<RawRegValue> raw = registry.QueryRaw(key, name)) {
      nlohmann::json v = RawState(*raw);
      v["name"] = NameJson(name);
      values.push_back(std::move(v));
    }
  std::vector<std::string> subs = registry.KeyNames(key);
  std::sort(subs.begin(), subs.end());
  for (const std::string& sub : subs)
    if (auto child = registry.Open(root, &key, sub, false, view)) {
      nlohmann::json k = TreeOf(registry, root, view, *child);
      k["name"] = NameJson(sub);
      keys.push_back(std::move(k));
    }
  return nlohmann::json{{"values", std::move(values)}, {"keys", std::move(keys)}};
}

void AddTreeLines(RegFileText& reg, RegRoot root, RegView view, const std::string& path,
                  const nlohmann::json& tree) {
  std::vector<std::pair<std::string, RegValue>> values;
  for (const nlohmann::json& v : tree["values"])
    values.emplace_back(NameFromJson(v["name"]), ValueFromRaw(RawOfState(v)));
  reg.AddKey(RegFileKeyName(root, path, view), values);
  for (const nlohmann::json& k : tree["keys"])
    AddTreeLines(reg, root, view, path + "\\" + NameFromJson(k["name"]), k);
}

void WriteTree(RegistryBackend& registry, RegRoot root, RegView view, const std::string& path,
               const nlohmann::json& tree) {
  if (!tree.is_object() || !tree.contains("values") || !tree["values"].is_array() ||
      !tree.contains("keys") || !tree["keys"].is_array())
    throw AppError("注册表项数据不完整");
  auto key = registry.Open(root, nullptr, path, true, view);
  if (!key) throw AppError(Reason("无法打开或创建注册表项", path));
  for (const nlohmann::json& v : tree["values"])
    if (!registry.SetRaw(*key, NameFromJson(v["name"]), RawOfState(v)))
      throw AppError(Reason("拒绝访问：", path));
  for (const nlohmann::json& k : tree["keys"]) {
    const std::string sub = NameFromJson(k["name"]);
    if (sub.empty() || sub.find('\\') != std::string::npos)
      throw AppError("注册表项名称无效：" + sub);
    WriteTree(registry, root, view, path + "\\" + sub, k);
  }
}

}  // namespace

nlohmann::json RegistryTreeChange::Observe(const ChangeEnv& env) const {
  auto key = env.registry->Open(root_, nullptr, keyPath_, false, view_);
  if (!key) return AbsentState();
  return TreeOf(*env.registry, root_, view_, *key);
}

bool RegistryTreeChange::Save(const ChangeEnv&, DeletionBackup& set, nlohmann::json&) {
  const nlohmann::json& now = set.Before();
  if (IsAbsent(now)) set.Reg().AddKeyDeletion(RegFileKeyName(root_, keyPath_, view_));
  else AddTreeLines(set.Reg(), root_, view_, keyPath_, now);
  return true;
}

void RegistryTreeChange::Restore(const ChangeEnv& env, const nlohmann::json& before,
                                 const nlohmann::json&) {
  RegistryBackend& registry = *env.registry;
  if (registry.Open(root_, nullptr, keyPath_, false, view_) &&
      !registry.DeleteTree(root_, nullptr, keyPath_, view_))
    throw AppError(Reason("拒绝访问：", keyPath_));
  if (!IsAbsent(before)) WriteTree(registry, root_, view_, keyPath_, before);
}

std::string RegistryTreeChange::DescribeState(const nlohmann::json& state) const {
  if (IsAbsent(state)) return "（不存在）";
  size_t values = 0, keys = 0;
  std::function<void(const nlohmann::json&)> count = [&](const nlohmann::json& tree) {
    values += tree["values"].size();
    keys += tree["keys"].size();
    for (const nlohmann::json& k : tree["keys"]) count(k);
  };
  count(state);
  std::string text = std::to_string(keys) + " 个子项，" + std::to_string(values) + " 个值";
  for (const nlohmann::json& v : state["values"]) {
    const std::string name = v["name"]["text"].get<std::string>();
    text += "\n" + (name.empty() ? std::string("(默认)") : name) + " = " + DescribeRegistryData(v);
  }
  return text;
}

bool RegistryTreeChange::PlaceAllowed(const ChangeEnv&) const {
  return RegistryPlaceAllowed(root_, keyPath_);
}

std::unique_ptr<Change> RegistryTreeChange::AtSamePlace() const {
  return std::make_unique<RegistryTreeChange>(root_, view_, keyPath_);
}

std::string DescribeRegistryData(const nlohmann::json& state) {
  if (IsAbsent(state)) return "（不存在）";
  const RawRegValue raw = RawOfState(state);
  const RegValue value = ValueFromRaw(raw);
  switch (value.type) {
    case RegDataType::String: return "REG_SZ " + value.text;
    case RegDataType::ExpandString: return "REG_EXPAND_SZ " + value.text;
    case RegDataType::Integer: {
      char text[32];
      std::snprintf(text, sizeof text, "REG_DWORD 0x%08x (%u)", value.dword, value.dword);
      return text;
    }
    default: {
      char type[32];
      std::snprintf(type, sizeof type, "类型 %u ", raw.type);
      std::string hex = HexOf(raw.bytes);
      if (hex.size() > 96) hex = hex.substr(0, 96) + "…";
      return (raw.type == 3 ? std::string("REG_BINARY ") : std::string(type)) + hex;
    }
  }
}

}  // namespace mt
