#include "app/Change.h"

#include "app/ChangeFile.h"
#include "app/ChangeRegistry.h"
#include "app/Error.h"
#include "app/Text.h"

namespace mt {

ChangeEnv ChangeEnvOf(const Services& svc) {
  ChangeEnv env;
  env.registry = svc.registry;
  env.files = svc.files;
  env.tasks = svc.tasks;
  env.serviceControl = svc.serviceControl;
  env.processes = svc.processes;
  env.sealKeys = svc.sealKeys;
  env.fileRoots = svc.fileRoots;
  return env;
}

std::string Change::DescribeState(const nlohmann::json& state) const {
  return IsAbsent(state) ? "（不存在）" : state.dump();
}

std::string Change::RestoreBeside(const ChangeEnv&, const nlohmann::json&, const nlohmann::json&) {
  throw AppError("这一项只能恢复到原位置");
}

const ChangeKind* ChangeKinds::Find(const std::string& name) const {
  for (const ChangeKind& kind : kinds_)
    if (kind.name == name) return &kind;
  return nullptr;
}

ChangeKinds ChangeKinds::Basic() {
  ChangeKinds kinds;
  kinds.Add({kRegistryValueKind, [](const nlohmann::json& place) {
               return std::unique_ptr<Change>(RegistryValueChange::FromPlace(place));
             }});
  kinds.Add({kRegistryTreeKind, [](const nlohmann::json& place) {
               return std::unique_ptr<Change>(RegistryTreeChange::FromPlace(place));
             }});
  // Shortcuts and browsers' policies files are files under names of their own.
  for (const char* label : {kFileKind, "shortcut", "policies-json"})
    kinds.Add({label, [label](const nlohmann::json& place) {
                 return std::unique_ptr<Change>(FileChange::FromPlace(place, label));
               }});
  return kinds;
}

std::string HexOf(const std::string& bytes) { return LowerHex(bytes.data(), bytes.size()); }

std::string BytesOfHex(const std::string& hex) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  if (hex.size() % 2) throw AppError("十六进制数据的长度不对");
  std::string out;
  out.reserve(hex.size() / 2);
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int hi = digit(hex[i]), lo = digit(hex[i + 1]);
    if (hi < 0 || lo < 0) throw AppError("十六进制数据中有无效字符");
    out += static_cast<char>(hi * 16 + lo);
  }
  return out;
}

nlohmann::json NameJson(const std::string& name) {
  return nlohmann::json{{"text", ReadableUtf8(name)}, {"hex", HexOf(Utf16Le(name))}};
}

std::string NameFromJson(const nlohmann::json& j) {
  if (!j.is_object() || !j.contains("hex") || !j["hex"].is_string())
    throw AppError("名称缺少十六进制形式");
  return FromUtf16Le(BytesOfHex(j["hex"].get_ref<const std::string&>()));
}

const char* RootJsonName(RegRoot root) {
  switch (root) {
    case RegRoot::ClassesRoot: return "HKEY_CLASSES_ROOT";
    case RegRoot::CurrentUser: return "HKEY_CURRENT_USER";
    case RegRoot::LocalMachine: return "HKEY_LOCAL_MACHINE";
  }
  return "HKEY_LOCAL_MACHINE";
}

RegRoot RootFromJson(const std::string& name) {
  for (RegRoot root : {RegRoot::ClassesRoot, RegRoot::CurrentUser, RegRoot::LocalMachine})
    if (name == RootJsonName(root)) return root;
  throw AppError("未知的注册表根键 " + name);
}

const char* ViewJsonName(RegView view) { return view == RegView::Wow32 ? "32" : "64"; }

RegView ViewFromJson(const std::string& name) {
  if (name == "64") return RegView::Native;
  if (name == "32") return RegView::Wow32;
  throw AppError("未知的注册表视图 " + name);
}

}  // namespace mt
