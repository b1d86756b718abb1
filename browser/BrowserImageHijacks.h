// Image hijacks of the browsers: an Image File Execution Options "Debugger" or a
// SilentProcessExit "MonitorProcess" (app/ImageHijacks.h) for a browser's program file, so
// that another program starts whenever the browser is started, or as soon as it ends. Both
// registry views; a key of a browser's program that cannot be read is shown, not repaired.
// The repair deletes the value that starts the other program (and the monitor bit of
// GlobalFlag), each saved in the backup set first.
#pragma once

#include <vector>

#include "browser/Hijack.h"

namespace mt {

std::vector<Hijack> FindBrowserImageHijacks(RegistryBackend& registry,
                                            const InstalledBrowsers& installed);

const HijackModule& BrowserImageHijacks();

}  // namespace mt
