// Helpers of the update's Wine tests: the loopback server's address, a temporary folder
// with a Windows path, file sizes, a message pump.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace mt::test {

// Skips the test when the server's port file is not given (run outside ctest).
class LoopbackServer : public ::testing::Test {
 protected:
  void SetUp() override;
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  int port_ = 0;
};

class WinTempDir {
 public:
  WinTempDir();
  ~WinTempDir();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Size of a file, -1 when there is none.
long long FileSize(const std::string& path);
// Dispatches messages until `done` holds or `timeoutMs` passes; false on timeout.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 10000);

}  // namespace mt::test
