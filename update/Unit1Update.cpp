// Placeholder until this page is built.
#include "app/Unit1.h"

namespace mt {
void TForm1::StartUpdateCheck() {}
void TForm1::Timer2Timer() {}
}  // namespace mt
