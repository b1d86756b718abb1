// The installer's signature check and start over the platform: WinVerifyTrust on a file held
// open without write or delete sharing, then ShellExecuteEx of that same file.
#pragma once

#include <windows.h>

#include <string>

#include "update/InstallerTrust.h"

namespace mt {

// Holds the file open (read sharing only) and checks its signature on that handle: whole
// chain, a trusted root, the program's signer.
class WinInstallerVerifier : public InstallerVerifier {
 public:
  TrustResult Verify(const std::string& path) override;
};

// Starts only a file that WinInstallerVerifier holds, through the shell so that an installer
// whose manifest asks for an administrator gets the elevation prompt, and lets it go once the
// process exists.
class WinInstallerLauncher : public InstallerLauncher {
 public:
  LaunchResult Start(VerifiedInstaller installer, const std::string& parameters, int show) override;
};

// What WinVerifyTrust (Authenticode policy, whole chain, no revocation look-ups, no network)
// and the signer's certificate chain say of the open file `file` at `path`.
SignatureFacts ReadSignatureFacts(HANDLE file, const std::string& path);
// The same for the signature of the system catalog that lists the file's hash (SHA-256 first,
// then SHA-1); trustResult is TRUST_E_NOSIGNATURE when no catalog lists it.
SignatureFacts ReadCatalogSignatureFacts(HANDLE file, const std::string& path);

// Who signed a program: its embedded signature, else the system catalog's; only a signature
// that passes names a signer.
class WinSignerSource : public SignerSource {
 public:
  FileSigner SignerOf(const std::string& path) override;
};

}  // namespace mt
