// Small Windows program images for the tests of the installer's version check: headers, one
// resource section, and a version resource, laid out as the linker and resource compiler do.
#pragma once

#include <cstddef>
#include <string>

#include "update/VersionOrder.h"

namespace mt::test {

struct PeImageLayout {
  VersionNumber file{1, 4, 0, 0};
  VersionNumber product{1, 4, 0, 0};
  bool pe64 = true;
  bool withVersion = true;  // false: the resource section holds an icon group only
  size_t minimumSize = 0;   // filled up with bytes after the section
};

std::string PeImage(const PeImageLayout& layout = {});

// The image of an installer of `version` ("v1.4": file and product version 1.4.0.0), of at
// least `minimumSize` bytes.
std::string InstallerImage(const std::string& version, size_t minimumSize = 0);

}  // namespace mt::test
