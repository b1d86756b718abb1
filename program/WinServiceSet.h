// The composition root: every real service of the program, app's and the tools', made once at
// start (and by tests that want the real ones), with the Services bundle pointing at them.
#pragma once

#include <memory>

#include "app/win/WinSealKeys.h"
#include "app/win/WinAdminRights.h"
#include "app/win/WinServiceControl.h"
#include "app/win/WinServices.h"

namespace mt {

// Every real service together, with the Services bundle pointing at them.
struct WinServiceSet {
  WinServiceSet();
  ~WinServiceSet();
  WinServiceSet(const WinServiceSet&) = delete;
  WinServiceSet& operator=(const WinServiceSet&) = delete;

  WinRegistry registry;
  WinFileSystem files;
  WinProfile profile;
  WinShell shell;
  WinDialogs dialogs;
  WinMessageBoxes messages;
  WinClipboard clipboard;
  WinBrowserHost browser;
  WinSealKeys sealKeys;
  WinAdminRights admin;
  WinRunningPrograms running;
  WinServiceControl serviceControl;
  std::unique_ptr<ProcessStarter> processes;
  std::unique_ptr<IconSource> icons;
  std::unique_ptr<ShortcutFiles> shortcuts;
  std::unique_ptr<StartupPlaces> startupPlaces;
  std::unique_ptr<TaskStore> tasks;
  std::unique_ptr<HttpService> http;
  std::unique_ptr<InstallerVerifier> installerVerifier;
  std::unique_ptr<InstallerLauncher> installerLauncher;
  std::unique_ptr<SignerSource> signers;
  Services services;
};
// The program's services, made once at start (and by tests that want the real ones).
std::unique_ptr<WinServiceSet> MakeWinServices();

}  // namespace mt
