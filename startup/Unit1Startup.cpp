// Placeholder until this page is built.
#include "app/Unit1.h"

namespace mt {
void TForm1::CreateTabSheet4Controls() {}
void TForm1::TabSheet4Show() {}
void TForm1::Button2Click() {}
void TForm1::Button6Click() {}
}  // namespace mt
