// The online update's steps in the Main window: the check started at the first showing, and
// the Reminder decision that Timer2 runs once the check has delivered its record.
#pragma once

#include <string>

namespace mt {

class TForm1;
struct Services;

// Creates and starts the update-check worker; it never waits for it.
void StartUpdateCheck(TForm1& form);
// The Reminder decision: disarms Timer2 and opens the reminder window when the offered
// version is newer and not silenced.
void Timer2Timer(TForm1& form);
// The address of the update record: the services' own, or the shipped one.
std::string UpdateEndpointUrl(const Services& svc);

}  // namespace mt
