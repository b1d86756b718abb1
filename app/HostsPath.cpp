#include "app/HostsPath.h"

namespace mt {

std::string HostsFilePath(RegistryBackend& registry, const EnvironmentLookup& variable) {
  std::string folder;
  if (auto key = registry.Open(RegRoot::LocalMachine, nullptr, kTcpipParametersKey, false)) {
    auto v = registry.Query(*key, kHostsFolderValue);
    if (v && (v->type == RegDataType::String || v->type == RegDataType::ExpandString) &&
        !v->text.empty()) {
      folder = ExpandEnvironmentText(v->text, variable);
      // A name left unexpanded would make a path that is not the system's.
      if (folder.find('%') != std::string::npos) return std::string();
    }
  }
  if (folder.empty()) {
    std::optional<std::string> root = variable ? variable("SystemRoot") : std::nullopt;
    if (!root || root->empty()) return std::string();
    folder = *root + "\\System32\\drivers\\etc";
  }
  while (!folder.empty() && folder.back() == '\\') folder.pop_back();
  return folder.empty() ? std::string() : folder + "\\hosts";
}

}  // namespace mt
