#include "update/VersionOrder.h"

namespace mt {

std::optional<VersionNumber> ParseReleaseVersion(const std::string& text) {
  if (text.size() < 4 || text[0] != 'v') return std::nullopt;
  VersionNumber v{0, 0, 0, 0};
  size_t parts = 0;
  size_t i = 1;
  for (;;) {
    if (parts == 3) return std::nullopt;  // a fourth part
    const size_t start = i;
    uint32_t value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      value = value * 10 + static_cast<uint32_t>(text[i] - '0');
      if (value > 0xFFFF) return std::nullopt;
      ++i;
    }
    if (i == start) return std::nullopt;  // an empty part
    v[parts++] = static_cast<uint16_t>(value);
    if (i == text.size()) break;
    if (text[i] != '.') return std::nullopt;
    ++i;
  }
  if (parts < 2) return std::nullopt;
  return v;
}

int CompareVersions(const VersionNumber& a, const VersionNumber& b) {
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

bool IsNewerRelease(const std::string& offered, const std::string& running) {
  const std::optional<VersionNumber> o = ParseReleaseVersion(offered);
  const std::optional<VersionNumber> r = ParseReleaseVersion(running);
  return o && r && CompareVersions(*o, *r) > 0;
}

std::string VersionText(const VersionNumber& v) {
  return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." +
         std::to_string(v[3]);
}

}  // namespace mt
