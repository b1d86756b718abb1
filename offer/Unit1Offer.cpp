// Placeholder until this page is built.
#include "app/Unit1.h"

namespace mt {
bool TForm1::PartnerEditionTest() { return false; }
void TForm1::LaunchCounterStep() {}
}  // namespace mt
