// Extensions installed around the store: the external-extension keys of Chrome, Edge,
// Chromium and Brave, through which any program can make the browser install an extension
// (from an update address, or from a .crx file named by path and version).
#pragma once

#include <vector>

#include "browser/Hijack.h"

namespace mt {

// Where each browser reads its external extensions, below HKLM (in both views, which WOW64
// keeps apart here) and HKCU (once: the user's Software is shared).
struct ExtensionKeyStore {
  const char* browser;  // as the row names it
  const char* key;      // below the root
  const char* exe;      // the browser whose icon the row shows
};
extern const std::vector<ExtensionKeyStore> kExtensionKeyStores;

// Every subkey of every store: one row each, whatever it holds. An `update_url` or a
// `path` (with its `version`) is an install; a key with neither installs nothing, but is
// left by the same programs, and is listed as such.
std::vector<Hijack> FindExtensionKeyHijacks(RegistryBackend& registry,
                                            const InstalledBrowsers& installed);

const HijackModule& ExtensionKeyHijacks();

}  // namespace mt
