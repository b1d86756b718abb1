// Placeholder until this page is built.
#include "app/Unit1.h"

namespace mt {
void TForm1::CreateTabSheet3Controls() {}
void TForm1::TabSheet3Show() {}
void TForm1::SbiedefaultClick() {}
}  // namespace mt
