// The partner offer's entry points in the Main window's start-up.
#include "app/Unit1.h"

#include "offer/FhzPortal.h"
#include "offer/PartnerOffer.h"

namespace mt {

bool TForm1::PartnerEditionTest() { return IsPartnerEdition(*svc.registry); }

void TForm1::LaunchCounterStep() {
  RunLaunchCounter(*svc.registry, [this] {
    TFhzPortal dialog(*this);
    dialog.ShowModal();
  });
}

}  // namespace mt
