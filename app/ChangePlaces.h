// The places the program's tools change, and so the only places a backup set may name: a set
// that names any other registry key or file is taken as damaged and nothing of it is
// restored. The program restores with the user's highest rights, and the places below are
// exactly those that start programs; a forged set must not reach further than the tools do.
#pragma once

#include <string>
#include <vector>

#include "app/Registry.h"

namespace mt {

// True when `keyPath` (no leading "\") of `root` lies at or below one of the keys the tools
// change. Letter case does not matter; ".." or an empty part never passes.
bool RegistryPlaceAllowed(RegRoot root, const std::string& keyPath);
// True for a single value a set may name: any value of a key RegistryPlaceAllowed takes, and
// the single values outside those keys that the tools change, no other value of their keys:
// the user's logon script (HKCU\Environment "UserInitMprLogonScript") and, of the service
// keys (HKLM\SYSTEM\CurrentControlSet\Services\<name>), the start type values "Start" and
// "DelayedAutostart" that the startup list switches.
bool RegistryValuePlaceAllowed(RegRoot root, const std::string& keyPath, const std::string& name);

// The folders whose files the tools change (desktops, Start menus, Quick Launch, the
// Startup folders, browsers' profile folders, the program's folder) as full paths.
struct FilePlaceRoots {
  // The current user's own folders (desktop, Start menu, Quick Launch, Startup, the
  // profile's application data), and the folders all users share (the public desktop, the
  // common Start menu and Startup folder, the program's folder).
  std::vector<std::string> userFolders;
  std::vector<std::string> machineFolders;
  // Folders below which only a browser's "distribution" or "defaults\pref" folder may be
  // named (the programs folders, where Firefox keeps its policies file and the default
  // settings that enable its autoconfig script).
  std::vector<std::string> distributionParents;
  // Single files of the system the tools change (the hosts file), as full paths.
  std::vector<std::string> machineFiles;
};

// True when `path` lies below one of the current user's own folders.
bool FilePlaceOfUser(const FilePlaceRoots& roots, const std::string& path);

// True when `path` is a full path ("X:\..." or "\\server\...") below one of `roots`, without
// "." or ".." parts, and, below a programs folder, inside a folder named "distribution"; or
// one of the single files `roots` names. Below a programs folder, a file directly inside
// "defaults\pref" passes too.
bool FilePlaceAllowed(const FilePlaceRoots& roots, const std::string& path);

}  // namespace mt
