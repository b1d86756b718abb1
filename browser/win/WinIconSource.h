// The shell's icon of a file and the short form of a path, over the real Win32 calls.
#pragma once

#include "browser/IconSource.h"

namespace mt {

class WinIconSource : public IconSource {
 public:
  int AppendAssociatedIcon(ImageListRef list, const std::string& path, uint16_t index) override;
  std::string ShortPath(const std::string& path) override;
};

}  // namespace mt
