// Every kind of change the program's tools make, as backup sets name them: app's own
// (registry values, key trees, files) and the tools' (scheduled tasks, drive mappings). A new
// kind is one module and one line here.
#pragma once

#include "app/Change.h"

namespace mt {

const ChangeKinds& ProgramChangeKinds();

}  // namespace mt
