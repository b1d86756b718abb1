// The update's HTTP client over WinHTTP, with the system's proxy settings.
#pragma once

#include "update/HttpClient.h"

namespace mt {

// The shared real service; clients it makes are independent of one another.
HttpService& RealHttpService();

}  // namespace mt
