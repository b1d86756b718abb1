// Placeholder until this page is built.
#include "app/Unit1.h"

namespace mt {
void TForm1::CreateTabSheet1Controls() {}
void TForm1::Button1Click() {}
void TForm1::Button3Click() {}
void TForm1::Button4Click() {}
void TForm1::Button5Click() {}
}  // namespace mt
