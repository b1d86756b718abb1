// The partner offer's entry points in the Main window's start-up.
#include "offer/win/OfferSteps.h"

#include "app/win/Unit1.h"
#include "offer/win/FhzPortal.h"
#include "offer/PartnerOffer.h"

namespace mt {

bool PartnerEditionTest(TForm1& form) { return IsPartnerEdition(*form.svc.registry); }

void LaunchCounterStep(TForm1& form) {
  RunLaunchCounter(*form.svc.registry, [&form] {
    TFhzPortal dialog(form);
    dialog.ShowModal();
  });
}

}  // namespace mt
