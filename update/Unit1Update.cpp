// The Main window's side of the online update: starting the check and the Reminder decision.
#include "app/Settings.h"
#include "app/Text.h"
#include "app/Unit1.h"
#include "app/UiGate.h"
#include "update/UpdateConstants.h"
#include "update/Usjtx.h"
#include "update/jcsj.h"
#include "update/HttpClient.h"
#include "update/LeftoverInstaller.h"

namespace mt {

std::string TForm1::UpdateEndpointUrl() const {
  return svc.updateEndpoint.empty() ? UpdateEndpointOfSite() : svc.updateEndpoint;
}

void TForm1::StartUpdateCheck() {
  RemoveLeftoverInstaller(*svc.files, svc.exeDir);
  TForm1* form = this;
  std::shared_ptr<UiGate> gate = UpdateGate();
  // The record travels with the hand-over: it is stored on the UI thread just before Timer2
  // is armed, so it is complete before the timer can fire and no lock is needed.
  auto deliver = DeliverOnUiThread(
      [gate](std::function<void()> work) { return gate->Send(std::move(work)); },
      [form](const UpdateRecord& record) {
        gUpdateRecord = record;
        form->SetTimer2Enabled(true);
      });
  auto* thread = new Trjsjhread(true, *svc.http, UpdateEndpointUrl(), deliver);
  rjsjhread = thread;
  try {
    thread->Resume();
  } catch (...) {
    // No thread to be had: the check just does not happen this time.
    rjsjhread = nullptr;
    delete thread;
  }
}

void TForm1::Timer2Timer() {
  SetTimer2Enabled(false);
  TIniFile ini(*svc.profile, SettingsFilePath(svc.exeDir));
  const bool remind = ini.ReadBool(kSettingsSection, kKeySjtx, true);
  const std::string silenced = ini.ReadString(kSettingsSection, kKeySjtxVer, kProgramVersion);
  // Versions compare as the page's bytes; the settings file holds text.
  if (!ShouldRemind(gUpdateRecord.zpver, remind, Utf8ToGbk(silenced))) return;
  OpenReminderWindow(*this, gUpdateRecord);
}

}  // namespace mt
