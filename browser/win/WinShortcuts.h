// Shortcut files over the shell's own link object (IShellLinkW with IPersistFile). Paths are
// read raw (SLGP_RAWPATH) and a link is never resolved, so that reading a shortcut to a
// missing target neither searches the disks nor asks the network.
#pragma once

#include "browser/Shortcuts.h"

namespace mt {

class WinShortcuts : public ShortcutFiles {
 public:
  std::vector<ShortcutFolder> Folders() override;
  ShellLinkData Read(const std::string& path) override;
  // Changes only the parts that differ from what the file holds; a read-only file is made
  // writable for the save and read-only again afterwards.
  void Write(const std::string& path, const ShellLinkData& link) override;
};

}  // namespace mt
