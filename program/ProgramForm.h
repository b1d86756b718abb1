// The program's Main window plan: which page each tab gets and which steps the background
// parts run. The one place that knows every tool; the program and the tests of whole windows
// make their Main window from it.
#pragma once

#include "app/win/Unit1.h"

namespace mt {

FormPlan ProgramFormPlan();

}  // namespace mt
