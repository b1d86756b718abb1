// Release versions as numbers. The program shows its version as "vX.Y" or "vX.Y.Z"; the
// version resources of its files carry the same as X.Y.Z.0. Two versions are ordered part by
// part as numbers, so v1.10 comes after v1.9 and v1.3 equals v1.3.0.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace mt {

// Major, minor, patch, build: the four 16-bit parts of a version resource.
using VersionNumber = std::array<uint16_t, 4>;

// "vX.Y" or "vX.Y.Z" (a small "v", decimal digits, each part at most 65535) as X.Y.Z.0;
// nothing for any other text ("V1.3", "v1", "v1.3.", "1.3", "v1.3 beta", "v1.-3").
std::optional<VersionNumber> ParseReleaseVersion(const std::string& text);

// <0, 0, >0 as `a` comes before, equals or follows `b`.
int CompareVersions(const VersionNumber& a, const VersionNumber& b);

// True only when both texts are release versions and `offered` follows `running`.
bool IsNewerRelease(const std::string& offered, const std::string& running);

// "1.4.0.0", for diagnostics.
std::string VersionText(const VersionNumber& v);

}  // namespace mt
