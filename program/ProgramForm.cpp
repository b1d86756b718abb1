#include "program/ProgramForm.h"

#include "browser/win/BrowserPage.h"
#include "offer/win/OfferSteps.h"
#include "splitter/win/SplitterPage.h"
#include "startup/win/StartupPage.h"
#include "update/win/UpdateSteps.h"
#include "vdrive/win/DrivePage.h"

namespace mt {

namespace {

template <class P>
FormPlan::PageMaker MakerOf() {
  return [](TForm1& form, HWND sheet) -> std::unique_ptr<TabPage> {
    return std::make_unique<P>(form, sheet);
  };
}

}  // namespace

FormPlan ProgramFormPlan() {
  FormPlan plan;
  plan.pages[SplitterPage::kTab] = MakerOf<SplitterPage>();
  plan.pages[DrivePage::kTab] = MakerOf<DrivePage>();
  plan.pages[BrowserPage::kTab] = MakerOf<BrowserPage>();
  plan.pages[StartupPage::kTab] = MakerOf<StartupPage>();
  plan.partnerEditionTest = [](TForm1& form) { return PartnerEditionTest(form); };
  plan.launchCounterStep = [](TForm1& form) { LaunchCounterStep(form); };
  plan.startUpdateCheck = [](TForm1& form) { StartUpdateCheck(form); };
  plan.timer2Timer = [](TForm1& form) { Timer2Timer(form); };
  return plan;
}

}  // namespace mt
