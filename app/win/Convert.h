// Text at the Win32 boundary: the code-page conversions (app/CodePage.h) and the system's
// text for an error code.
#pragma once

#include <windows.h>

#include <string>

#include "app/CodePage.h"

namespace mt {

// The system's text for an error code (FormatMessage), without the trailing line break.
std::string SystemErrorText(DWORD code);

}  // namespace mt
