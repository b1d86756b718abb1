// Helpers of the Wine tests that use the signed test installers made at test time
// (make_signing_material.py): where they are, trusting their test root, the marker the
// installer leaves when it runs.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace mt::test {

// The Windows path of a file of the signing material; empty when the material is missing.
std::string SigningFile(const std::string& name);
// The bytes of a file; false when it cannot be read.
bool ReadBytes(const std::string& path, std::string& bytes);
// The marker a started test installer at `installer` leaves: "<installer>.ran".
std::string MarkerOf(const std::string& installer);
// True when the tests run under Wine rather than Windows.
bool UnderWine();

// Adds the test root to the machine's trusted roots for its lifetime (the registry store of
// LocalMachine\Root, so that it can be taken out again).
class TrustedTestRoot {
 public:
  TrustedTestRoot();
  ~TrustedTestRoot();
  TrustedTestRoot(const TrustedTestRoot&) = delete;
  TrustedTestRoot& operator=(const TrustedTestRoot&) = delete;
  bool Added() const { return added_; }

 private:
  std::string der_;
  bool added_ = false;
};

// Skips the test when the signing material has not been made (run outside ctest), and
// trusts the test root while it runs.
class SignedInstallers : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

 private:
  std::unique_ptr<TrustedTestRoot> root_;
};

}  // namespace mt::test
