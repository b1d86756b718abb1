// The download's files on the real file system.
#pragma once

#include "update/Uhzbdown.h"

namespace mt {

DownloadFiles& RealDownloadFiles();

}  // namespace mt
