// The partner offer's steps in the Main window's start-up (FormCreate).
#pragma once

namespace mt {

class TForm1;

// True in the partner edition, which shows the partner caption and nothing else.
bool PartnerEditionTest(TForm1& form);
// Counts this start and shows the offer dialog modally when it is due.
void LaunchCounterStep(TForm1& form);

}  // namespace mt
