#include "browser/IESweeperEx.h"

#include "app/Text.h"

namespace mt {

TIESweeper::TIESweeper(RegistryBackend& registry, IconSource& icons, RegView view)
    : reg_(registry, view), icons_(icons) {}

TIESweeper::~TIESweeper() = default;

namespace {

// An empty name would name the open key itself and a "\" would reach below a subkey.
bool IsDirectName(const std::string& name) {
  return !name.empty() && name.find('\\') == std::string::npos;
}

}  // namespace

bool TIESweeper::HasDirectSubkey(const std::string& name) {
  return IsDirectName(name) && reg_.KeyExists(name);
}

bool TIESweeper::OpenEntry(RegRoot root, const std::string& store, const std::string& name) {
  reg_.CloseKey();
  reg_.SetRootKey(root);
  // Opening the subkey is the test that it exists: one call to the registry, not two.
  return reg_.OpenKey(store, false) && IsDirectName(name) && reg_.OpenKey(name, false);
}

void TIESweeper::ListToolbars() {
  reg_.CloseKey();
  reg_.SetRootKey(RegRoot::LocalMachine);
  std::vector<std::string> names;
  if (reg_.OpenKey(kToolbarStore, false)) names = reg_.GetValueNames();
  reg_.CloseKey();
  for (const std::string& name : names)
    if (OnToolbar) OnToolbar(this, name);
}

void TIESweeper::ListExtensions() {
  reg_.CloseKey();
  reg_.SetRootKey(RegRoot::LocalMachine);
  std::vector<std::string> names;
  if (reg_.OpenKey(kExtensionStore, false)) names = reg_.GetKeyNames();
  reg_.CloseKey();
  for (const std::string& name : names)
    if (OnExtension) OnExtension(this, name);
}

void TIESweeper::ListMenuExtensions() {
  reg_.CloseKey();
  reg_.SetRootKey(RegRoot::CurrentUser);
  std::vector<std::string> names;
  if (reg_.OpenKey(kMenuExtensionStore, false)) names = reg_.GetKeyNames();
  reg_.CloseKey();
  const std::string store = std::string("\\") + kMenuExtensionStore + "\\";
  for (const std::string& name : names) {
    std::string value;
    if (reg_.OpenKey(store + name, false)) value = reg_.ReadString("");
    reg_.CloseKey();
    if (OnMenuExtension) OnMenuExtension(this, name, value);
  }
}

std::string TIESweeper::ReadClassName(const std::string& Id) {
  std::string out;
  if (OpenEntry(RegRoot::ClassesRoot, kClassStore, Id)) out = reg_.ReadString("");
  reg_.CloseKey();
  return out;
}

std::string TIESweeper::ReadClassServer(const std::string& Id) {
  std::string out;
  if (OpenEntry(RegRoot::ClassesRoot, kClassStore, Id) && reg_.OpenKey("InprocServer32", false))
    out = reg_.ReadString("");
  reg_.CloseKey();
  return out;
}

std::string TIESweeper::ReadExtensionCaption(const std::string& Name) {
  std::string out;
  if (OpenEntry(RegRoot::LocalMachine, kExtensionStore, Name)) {
    if (reg_.ValueExists("ButtonText")) out = reg_.ReadString("ButtonText");
    else if (reg_.ValueExists("MenuText")) out = reg_.ReadString("MenuText");
  }
  reg_.CloseKey();
  return out;
}

std::string TIESweeper::ReadExtensionHotIcon(const std::string& Name) {
  std::string out;
  if (OpenEntry(RegRoot::LocalMachine, kExtensionStore, Name) && reg_.ValueExists("HotIcon"))
    out = reg_.ReadString("HotIcon");
  reg_.CloseKey();
  return out;
}

void TIESweeper::DeleteToolbar(const std::string& Name) {
  reg_.CloseKey();
  reg_.SetRootKey(RegRoot::LocalMachine);
  if (!Name.empty() && reg_.OpenKey(kToolbarStore, false) && reg_.ValueExists(Name))
    reg_.DeleteValue(Name);
  reg_.CloseKey();
}

void TIESweeper::DeleteExtension(const std::string& Name) {
  reg_.CloseKey();
  reg_.SetRootKey(RegRoot::LocalMachine);
  if (reg_.OpenKey(kExtensionStore, false) && HasDirectSubkey(Name)) reg_.DeleteKey(Name);
  reg_.CloseKey();
}

void TIESweeper::DeleteMenuExtension(const std::string& Name) {
  reg_.CloseKey();
  reg_.SetRootKey(RegRoot::CurrentUser);
  if (reg_.OpenKey(kMenuExtensionStore, false) && HasDirectSubkey(Name)) reg_.DeleteKey(Name);
  reg_.CloseKey();
}

int TIESweeper::AddFileIcon(const std::string& Path, ImageListRef List) {
  return icons_.AppendAssociatedIcon(List, Path, 0);
}

int TIESweeper::AddIconFromSpec(const std::vector<std::string>& Parts, ImageListRef List) {
  if (Parts.size() >= 2) {
    // The shell takes a 16-bit index; a part that is not a number means the first icon.
    uint16_t index = static_cast<uint16_t>(ParseInt32(Parts[1]).value_or(0));
    return icons_.AppendAssociatedIcon(List, Parts[0], index);
  }
  return AddFileIcon(Parts.empty() ? std::string() : Parts[0], List);
}

std::vector<std::string> SplitIconText(const std::string& text) {
  std::vector<std::string> parts;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of(",\r\n", pos);
    if (end == std::string::npos) {
      parts.push_back(text.substr(pos));
      break;
    }
    parts.push_back(text.substr(pos, end - pos));
    // A CR LF pair ends one line, as does a lone CR, LF or comma.
    pos = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
  return parts;
}

}  // namespace mt
