// TIESweeper: the browser's three add-on stores in the registry (toolbars, toolbar buttons and
// menu items, context-menu entries) and the class registrations they point at. It lists each
// store through an event, reads an entry's details and deletes entries. Every key is opened
// for full access and never created here.
//
// A sweeper works in one registry view. On 64-bit Windows the 32-bit browser reads its own
// toolbar and extension stores (HKLM\SOFTWARE\WOW6432Node\...) and class registrations
// (HKCR\WOW6432Node\CLSID), which a Wow32 sweeper sees; the menu-extension store under
// HKEY_CURRENT_USER\Software is shared by both views.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/Registry.h"
#include "browser/IconSource.h"

namespace mt {

// Where the stores live.
inline constexpr const char* kToolbarStore = "SOFTWARE\\Microsoft\\Internet Explorer\\Toolbar";
inline constexpr const char* kExtensionStore = "SOFTWARE\\Microsoft\\Internet Explorer\\Extensions";
inline constexpr const char* kMenuExtensionStore =
    "SOFTWARE\\Microsoft\\Internet Explorer\\MenuExt";
inline constexpr const char* kClassStore = "\\CLSID";

class TIESweeper {
 public:
  // A handler together with the object it belongs to; an empty one is not raised.
  using TNameEvent = std::function<void(TIESweeper* Sender, const std::string& Name)>;
  using TMenuExtensionEvent =
      std::function<void(TIESweeper* Sender, const std::string& Name, const std::string& Value)>;

  TIESweeper(RegistryBackend& registry, IconSource& icons, RegView view = RegView::Native);
  virtual ~TIESweeper();
  TIESweeper(const TIESweeper&) = delete;
  TIESweeper& operator=(const TIESweeper&) = delete;

  RegView View() const { return reg_.View(); }

  TNameEvent OnToolbar;
  TNameEvent OnExtension;
  TMenuExtensionEvent OnMenuExtension;

  // Each lister collects every name first and raises the events afterwards, because the
  // handlers call the read operations below, which share this object's registry handle.
  void ListToolbars();
  void ListExtensions();
  void ListMenuExtensions();

  // Empty text when a key on the way is missing or cannot be opened; "Invalid data type for
  // '%s'" when the value read is not text.
  std::string ReadClassName(const std::string& Id);
  std::string ReadClassServer(const std::string& Id);
  // "ButtonText" when present, else "MenuText".
  std::string ReadExtensionCaption(const std::string& Name);
  std::string ReadExtensionHotIcon(const std::string& Name);

  // An empty name deletes nothing; in the two key stores neither does a name holding "\",
  // since it names no direct subkey. Nothing is reported.
  void DeleteToolbar(const std::string& Name);
  void DeleteExtension(const std::string& Name);
  void DeleteMenuExtension(const std::string& Name);

  // Appends the icon associated with `Path` (index 0); returns the image index or -1.
  int AddFileIcon(const std::string& Path, ImageListRef List);
  // `Parts` is an icon specification split at its commas: with two or more parts, part 1 is
  // the file and part 2 the icon index (0 when it is not a number); otherwise the single part
  // (or an empty path) is taken as a file.
  int AddIconFromSpec(const std::vector<std::string>& Parts, ImageListRef List);

 private:
  // Selects `root`, opens `store` and then its direct subkey `name`.
  bool OpenEntry(RegRoot root, const std::string& store, const std::string& name);
  bool HasDirectSubkey(const std::string& name);

  TRegistry reg_;
  IconSource& icons_;
};

// Splits an icon text ("file,index") into its parts the way a string list takes text: every
// comma becomes a line break; a final empty line does not count, so an empty text has no
// parts.
std::vector<std::string> SplitIconText(const std::string& text);

}  // namespace mt
