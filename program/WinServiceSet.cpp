#include "program/WinServiceSet.h"

#include "app/win/WinSealKeys.h"
#include "browser/win/WinIconSource.h"
#include "program/ChangeKindList.h"
#include "browser/win/WinShortcuts.h"
#include "startup/win/WinStartupPlaces.h"
#include "startup/win/WinTaskStore.h"
#include "update/win/WinHttpClient.h"
#include "update/win/WinInstallerTrust.h"
#include "vdrive/win/WinProcessStarter.h"

namespace mt {

WinServiceSet::WinServiceSet()
    : processes(std::make_unique<WinProcessStarter>()),
      icons(std::make_unique<WinIconSource>()),
      shortcuts(std::make_unique<WinShortcuts>()),
      startupPlaces(std::make_unique<WinStartupPlaces>()),
      tasks(std::make_unique<WinTaskStore>()),
      http(std::make_unique<WinHttpService>()),
      installerVerifier(std::make_unique<WinInstallerVerifier>()),
      installerLauncher(std::make_unique<WinInstallerLauncher>()),
      signers(std::make_unique<WinSignerSource>()) {
  Services& s = services;
  s.registry = &registry;
  s.files = &files;
  s.profile = &profile;
  s.shell = &shell;
  s.dialogs = &dialogs;
  s.messages = &messages;
  s.clipboard = &clipboard;
  s.browser = &browser;
  s.processes = processes.get();
  s.icons = icons.get();
  s.shortcuts = shortcuts.get();
  s.startupPlaces = startupPlaces.get();
  s.tasks = tasks.get();
  s.serviceControl = &serviceControl;
  s.http = http.get();
  s.installerVerifier = installerVerifier.get();
  s.installerLauncher = installerLauncher.get();
  s.signers = signers.get();
  s.sealKeys = &sealKeys;
  s.changeKinds = &ProgramChangeKinds();
  s.admin = &admin;
  s.running = &running;
  s.roamingAppData = WinRoamingAppData();
  s.localAppData = WinLocalAppData();
  s.exeDir = ExecutableDirectory();
  s.environment = WinEnvironmentVariable;
  WinDataFolderProbe probe;
  s.places = ProbeDataPlaces(s.exeDir, probe);
  s.fileRoots = WinFilePlaceRoots(s.exeDir);
}

WinServiceSet::~WinServiceSet() = default;

std::unique_ptr<WinServiceSet> MakeWinServices() { return std::make_unique<WinServiceSet>(); }

}  // namespace mt
