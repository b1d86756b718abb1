// Placeholder until this page is built.
#include "app/Unit1.h"

namespace mt {
void TForm1::CreateTabSheet2Controls() {}
void TForm1::TabSheet2Show() {}
void TForm1::selectfilebtnClick() {}
void TForm1::allstartbtnClick() {}
void TForm1::alldelbtnClick() {}
void TForm1::Action1Execute() {}
}  // namespace mt
