// SHA-256 from the platform: BCrypt on Windows, OpenSSL's libcrypto elsewhere. Fed piece by
// piece while the copy engine moves the bytes, so no file is read a second time.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace mt {

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(const void* data, size_t n);
  // The digest as 64 lower-case hex digits; the hash starts again empty afterwards.
  std::string FinishHex();

 private:
  struct State;
  std::unique_ptr<State> s_;
};

}  // namespace mt
