// The installer's signature check and start over the platform: WinVerifyTrust on a file held
// open without write or delete sharing, then CreateProcess of that same file.
#pragma once

#include <windows.h>

#include <string>

#include "update/InstallerTrust.h"

namespace mt {

// The verifier and the launcher the program uses.
InstallerVerifier& RealInstallerVerifier();
InstallerLauncher& RealInstallerLauncher();

// What WinVerifyTrust (Authenticode policy, whole chain, no revocation look-ups, no network)
// and the signer's certificate chain say of the open file `file` at `path`.
SignatureFacts ReadSignatureFacts(HANDLE file, const std::string& path);

}  // namespace mt
