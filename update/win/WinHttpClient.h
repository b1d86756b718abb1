// The update's HTTP client over WinHTTP, with the system's proxy settings.
#pragma once

#include "update/HttpClient.h"

namespace mt {

// Clients it makes are independent of one another.
class WinHttpService : public HttpService {
 public:
  std::unique_ptr<HttpClient> CreateClient() override;
};

}  // namespace mt
