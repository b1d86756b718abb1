// The downloaded installer comes over plain HTTP, so whatever arrives could have been swapped
// on the way. It is started only after the platform has checked its Authenticode signature,
// and only as a VerifiedInstaller: an object that a verifier alone can make, that keeps the
// checked file open so that nobody can change, rename or delete it, and that the launcher
// consumes. There is no other way from a download to a started program.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/Services.h"
#include "app/Signers.h"

namespace mt {

// A file kept open (read-only, shared for reading only) while the object lives.
class HeldFile {
 public:
  virtual ~HeldFile() = default;
  // Reads `size` bytes at `offset` of the held file itself, never of whatever its path names
  // now; false when they are not all there.
  virtual bool ReadAt(uint64_t offset, void* data, size_t size) const = 0;
};

class InstallerVerifier;

// An installer whose signature passed, still held open since the check.
class VerifiedInstaller {
 public:
  VerifiedInstaller(VerifiedInstaller&&) noexcept = default;
  VerifiedInstaller& operator=(VerifiedInstaller&&) noexcept = default;
  VerifiedInstaller(const VerifiedInstaller&) = delete;
  VerifiedInstaller& operator=(const VerifiedInstaller&) = delete;

  const std::string& Path() const { return path_; }
  // The hold; null once the object was moved from.
  const HeldFile* Hold() const { return hold_.get(); }

 private:
  friend class InstallerVerifier;
  VerifiedInstaller(std::string path, std::unique_ptr<HeldFile> hold)
      : path_(std::move(path)), hold_(std::move(hold)) {}

  std::string path_;
  std::unique_ptr<HeldFile> hold_;
};

// Why a file was not accepted.
enum class TrustVerdict {
  kTrusted,
  kUnreadable,      // the file could not be opened (or not exclusively)
  kUnsigned,        // no signature at all
  kTampered,        // a signature whose hash no longer matches the file
  kUntrustedChain,  // the signer's chain does not end at a trusted root
  kOtherSigner,     // a valid signature by someone other than the maker
  kRejected,        // any other refusal of the platform
};
const char* TrustVerdictName(TrustVerdict verdict);

struct TrustResult {
  TrustVerdict verdict = TrustVerdict::kRejected;
  std::optional<VerifiedInstaller> installer;  // set exactly when the verdict is kTrusted
  std::string detail;                          // for diagnostics; never shown
};

class InstallerVerifier {
 public:
  virtual ~InstallerVerifier() = default;
  // Opens `path` so that it cannot change, checks it and keeps it open when it passes; a
  // refused file is closed again before this returns. Never throws.
  virtual TrustResult Verify(const std::string& path) = 0;

 protected:
  static TrustResult Accept(std::string path, std::unique_ptr<HeldFile> hold);
  static TrustResult Refuse(TrustVerdict verdict, std::string detail);
};

// What became of starting an installer.
enum class LaunchResult {
  kStarted,
  kRefused,  // the user declined the elevation prompt (the installer needs an administrator)
  kFailed,   // nothing was started for any other reason
};

class InstallerLauncher {
 public:
  virtual ~InstallerLauncher() = default;
  // Starts the installer with `parameters` (InstallerParameters, update/Uhzbdown.h) and
  // returns at once; the file is held until the new process exists and released afterwards.
  virtual LaunchResult Start(VerifiedInstaller installer, const std::string& parameters,
                             int show) = 0;
};

// ---- the decision on what the platform reported ----------------------------------------
// What the real verifier learns of a file: WinVerifyTrust's answer, the error status of
// the signer's certificate chain, and the signer's common name.
struct SignatureFacts {
  bool opened = false;
  int32_t trustResult = 0;   // WinVerifyTrust's HRESULT
  uint32_t chainErrors = 0;  // CERT_TRUST_STATUS.dwErrorStatus of the signer's chain
  bool hasSigner = false;
  std::string signerName;  // subject common name of the signing certificate, UTF-8
};

// The platform's codes the decision tells apart (winerror.h, wincrypt.h).
namespace trust_code {
// WinVerifyTrust's answers: TRUST_E_NOSIGNATURE, TRUST_E_SUBJECT_FORM_UNKNOWN,
// TRUST_E_BAD_DIGEST, CERT_E_UNTRUSTEDROOT, CERT_E_CHAINING, CERT_E_UNTRUSTEDTESTROOT,
// TRUST_E_EXPLICIT_DISTRUST.
inline constexpr int32_t kNoSignature = static_cast<int32_t>(0x800B0100);
inline constexpr int32_t kSubjectFormUnknown = static_cast<int32_t>(0x800B0003);
inline constexpr int32_t kBadDigest = static_cast<int32_t>(0x80096010);
inline constexpr int32_t kUntrustedRoot = static_cast<int32_t>(0x800B0109);
inline constexpr int32_t kChaining = static_cast<int32_t>(0x800B010A);
inline constexpr int32_t kUntrustedTestRoot = static_cast<int32_t>(0x800B010D);
inline constexpr int32_t kExplicitDistrust = static_cast<int32_t>(0x800B0111);
// Chain status bits: CERT_TRUST_IS_REVOKED, _IS_NOT_SIGNATURE_VALID, _IS_UNTRUSTED_ROOT,
// _IS_CYCLIC, _IS_PARTIAL_CHAIN, _IS_EXPLICIT_DISTRUST.
inline constexpr uint32_t kChainRevoked = 0x00000004;
inline constexpr uint32_t kChainBadSignature = 0x00000008;
inline constexpr uint32_t kChainUntrustedRoot = 0x00000020;
inline constexpr uint32_t kChainCyclic = 0x00000080;
inline constexpr uint32_t kChainPartial = 0x00010000;
inline constexpr uint32_t kChainExplicitDistrust = 0x04000000;
}  // namespace trust_code

// Trusted only when WinVerifyTrust accepted the file, the signer's chain carries none of the
// errors that mean "not anchored in a trusted root" (read as well because some platforms'
// WinVerifyTrust lets such chains pass), and the signer is exactly `makerName`.
TrustVerdict JudgeSignature(const SignatureFacts& facts, const std::string& makerName);

// The signer's name when the facts show a signature that passed (accepted by WinVerifyTrust,
// a chain anchored in a trusted root, a name); empty otherwise. A signature that does not pass
// names nobody: its name could be anyone's claim.
std::string VerifiedSignerName(const SignatureFacts& facts);

// Shown when the user declined the elevation prompt, or the installer did not start at all.
inline constexpr const char* kElevationRefusedText =
    "没有获得管理员权限，无法升级。下载的安装程序已删除，可以稍后再试";
inline constexpr const char* kInstallerNotStartedText =
    "升级程序没有启动。下载的安装程序已删除，可以稍后再试";

// The close of the reminder window after a verified download: tells the user that the
// program closes for the upgrade (a box owned by `owner`), then starts the installer. True
// when the installer started, so the program is to end. When the start was refused (the
// elevation prompt declined) or failed, a notice says so, the downloaded file is removed and
// the program goes on. `held` is empty afterwards unless the first box was not confirmed.
// `programFolder`: the copy the installer upgrades.
bool OfferVerifiedInstaller(std::optional<VerifiedInstaller>& held, MessageBoxes& messages,
                            WindowRef owner, InstallerLauncher& launcher, FileSystem& files,
                            const std::string& programFolder);

}  // namespace mt
