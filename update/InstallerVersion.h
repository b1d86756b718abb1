// Which release a downloaded installer really is. The update page is plain HTTP, so the
// offered version is only a claim, and a signature says who made a file, not which release
// it is: an old installer of ours is as well signed as the new one. The installer's own
// version resource (VS_FIXEDFILEINFO) is read from the very file that passed the signature
// check, through its hold, and must name the offered release, which must follow the running
// program; anything else is never started.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "update/InstallerTrust.h"
#include "update/VersionOrder.h"

namespace mt {

// The two versions of a VS_FIXEDFILEINFO.
struct FixedFileVersion {
  VersionNumber file{};
  VersionNumber product{};
};

// Reads `size` bytes at `offset` of a file into `data`; false when they are not all there.
using ReadFileAt = std::function<bool(uint64_t offset, void* data, size_t size)>;

// The fixed part of the version resource of a Windows program file (PE32 or PE32+): the
// first RT_VERSION resource in its resource section. Nothing when the file is not such a
// program, has no version resource, or any part of the way there lies outside the file.
// Reads only the headers, the resource directory and the resource itself.
std::optional<FixedFileVersion> ReadFixedFileVersion(const ReadFileAt& read);

enum class InstallerVersionVerdict {
  kAccepted,
  kNoVersion,   // no readable version resource
  kBadOffer,    // the offered version is no "vX.Y[.Z]"
  kNotOffered,  // file or product version differs from the offered release
  kNotNewer,    // the offered release does not follow the running program
};
const char* InstallerVersionVerdictName(InstallerVersionVerdict verdict);

// Accepted only when file and product version both equal `offered` (vX.Y[.Z] as X.Y.Z.0)
// and `offered` follows `running`.
InstallerVersionVerdict JudgeInstallerVersion(const std::optional<FixedFileVersion>& found,
                                              const std::string& offered,
                                              const std::string& running);

// The same for a verified installer, its version read through the hold of the check, against
// the Program version.
InstallerVersionVerdict CheckInstallerVersion(const VerifiedInstaller& installer,
                                              const std::string& offered);

}  // namespace mt
