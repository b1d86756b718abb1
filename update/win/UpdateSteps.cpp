// The Main window's side of the online update: starting the check and the Reminder decision.
#include "update/win/UpdateSteps.h"

#include "app/Settings.h"
#include "app/Text.h"
#include "app/UiGate.h"
#include "app/win/Unit1.h"
#include "update/HttpClient.h"
#include "update/UpdateConstants.h"
#include "update/win/Usjtx.h"
#include "update/jcsj.h"
#include "update/LeftoverInstaller.h"

namespace mt {

std::string UpdateEndpointUrl(const Services& svc) {
  return svc.updateEndpoint.empty() ? UpdateEndpointOfSite() : svc.updateEndpoint;
}

void StartUpdateCheck(TForm1& form) {
  RemoveLeftoverInstaller(*form.svc.files, form.svc.exeDir, form.svc.places.userDir);
  TForm1* owner = &form;
  std::shared_ptr<UiGate> gate = form.UpdateGate();
  // The record travels with the hand-over: it is stored on the UI thread just before Timer2
  // is armed, so it is complete before the timer can fire and no lock is needed.
  auto deliver = DeliverOnUiThread(
      [gate](std::function<void()> work) { return gate->Send(std::move(work)); },
      [owner](const UpdateRecord& record) {
        gUpdateRecord = record;
        owner->SetTimer2Enabled(true);
      });
  auto* thread = new Trjsjhread(true, *form.svc.http, UpdateEndpointUrl(form.svc), deliver);
  rjsjhread = thread;
  try {
    thread->Resume();
  } catch (...) {
    // No thread to be had: the check just does not happen this time.
    rjsjhread = nullptr;
    delete thread;
  }
}

void Timer2Timer(TForm1& form) {
  form.SetTimer2Enabled(false);
  TIniFile ini = ProgramSettings(form.svc);
  const bool remind = ini.ReadBool(kSettingsSection, kKeySjtx, true);
  const std::string silenced = ini.ReadString(kSettingsSection, kKeySjtxVer, kProgramVersion);
  // Versions compare as the page's bytes; the settings file holds text.
  if (!ShouldRemind(gUpdateRecord.zpver, remind, Utf8ToGbk(silenced))) return;
  OpenReminderWindow(form, gUpdateRecord);
}

}  // namespace mt
