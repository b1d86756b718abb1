// The two file-system services that the add-on list needs of the platform: the icon that
// belongs to a file, appended to an image list, and the short (8.3) form of a path. The real
// implementation is browser/win/WinIconSource; tests script their own.
#pragma once

#include <cstdint>
#include <string>

namespace mt {

// An image list as the logic sees it: an opaque handle (HIMAGELIST on Windows).
using ImageListRef = void*;

class IconSource {
 public:
  virtual ~IconSource() = default;
  // Copies `path` into a MAX_PATH buffer, asks the shell for the icon associated with it at
  // `index` (ExtractAssociatedIcon) and appends that icon to `list`. Returns the index of the
  // appended image, or -1 when no icon could be had or appended.
  virtual int AppendAssociatedIcon(ImageListRef list, const std::string& path, uint16_t index) = 0;
  // GetShortPathName into a zeroed buffer of 256 characters; the result is the buffer up to
  // its first zero, so it is empty whenever the conversion fails or would not fit.
  virtual std::string ShortPath(const std::string& path) = 0;
};

}  // namespace mt
