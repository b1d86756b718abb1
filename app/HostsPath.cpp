#include "app/HostsPath.h"

namespace mt {

std::string ExpandEnvironmentText(const std::string& text, const EnvironmentLookup& variable) {
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t open = text.find('%', pos);
    if (open == std::string::npos) break;
    const size_t close = text.find('%', open + 1);
    if (close == std::string::npos) break;
    const std::string name = text.substr(open + 1, close - open - 1);
    std::optional<std::string> value;
    if (!name.empty() && variable) value = variable(name);
    out.append(text, pos, open - pos);
    if (value) {
      out += *value;
      pos = close + 1;
    } else {
      // Not a variable: the first "%" stays, the second may open the next name.
      out += '%';
      pos = open + 1;
    }
  }
  out.append(text, pos, std::string::npos);
  return out;
}

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
