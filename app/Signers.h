// Who signed a file (any program, not only the installer): the seam between the tools that
// show a program's publisher and the platform's signature check. The real source is
// update/win/WinInstallerTrust (WinVerifyTrust, the system catalogs); tests script their own.
#pragma once

#include <string>

namespace mt {

// What the platform says of a file's signer: a signature (embedded, or the system catalog's)
// that passed its check, with the signer's name; none; or no file at all.
struct FileSigner {
  enum class Kind { kSigned, kUnsigned, kMissing };
  Kind kind = Kind::kUnsigned;
  std::string name;  // the signer's common name when kSigned
};

class SignerSource {
 public:
  virtual ~SignerSource() = default;
  // Checks the file at `path`; never throws. Safe to call from a worker thread.
  virtual FileSigner SignerOf(const std::string& path) = 0;
};

}  // namespace mt
