#include "update/InstallerTrust.h"

#include "app/Constants.h"
#include "update/Uhzbdown.h"

namespace mt {

const char* TrustVerdictName(TrustVerdict verdict) {
  switch (verdict) {
    case TrustVerdict::kTrusted: return "trusted";
    case TrustVerdict::kUnreadable: return "unreadable";
    case TrustVerdict::kUnsigned: return "unsigned";
    case TrustVerdict::kTampered: return "tampered";
    case TrustVerdict::kUntrustedChain: return "untrusted chain";
    case TrustVerdict::kOtherSigner: return "other signer";
    case TrustVerdict::kRejected: return "rejected";
  }
  return "?";
}

TrustResult InstallerVerifier::Accept(std::string path, std::unique_ptr<HeldFile> hold) {
  TrustResult r;
  if (!hold) {  // nothing held, nothing vouched for
    r.verdict = TrustVerdict::kUnreadable;
    r.detail = "no hold on " + path;
    return r;
  }
  r.verdict = TrustVerdict::kTrusted;
  r.installer.emplace(VerifiedInstaller(std::move(path), std::move(hold)));
  return r;
}

TrustResult InstallerVerifier::Refuse(TrustVerdict verdict, std::string detail) {
  TrustResult r;
  r.verdict = verdict == TrustVerdict::kTrusted ? TrustVerdict::kRejected : verdict;
  r.detail = std::move(detail);
  return r;
}

TrustVerdict JudgeSignature(const SignatureFacts& facts, const std::string& makerName) {
  using namespace trust_code;
  if (!facts.opened) return TrustVerdict::kUnreadable;
  switch (facts.trustResult) {
    case 0: break;
    case kNoSignature:
    case kSubjectFormUnknown: return TrustVerdict::kUnsigned;
    case kBadDigest: return TrustVerdict::kTampered;
    case kUntrustedRoot:
    case kChaining:
    case kUntrustedTestRoot:
    case kExplicitDistrust: return TrustVerdict::kUntrustedChain;
    default: return TrustVerdict::kRejected;
  }
  if (!facts.hasSigner) return TrustVerdict::kRejected;
  constexpr uint32_t kNotAnchored = kChainRevoked | kChainBadSignature | kChainUntrustedRoot |
                                    kChainCyclic | kChainPartial | kChainExplicitDistrust;
  if (facts.chainErrors & kNotAnchored) return TrustVerdict::kUntrustedChain;
  // The whole name, byte for byte: a name that merely contains the maker's is someone else.
  if (makerName.empty() || facts.signerName != makerName) return TrustVerdict::kOtherSigner;
  return TrustVerdict::kTrusted;
}

std::string VerifiedSignerName(const SignatureFacts& facts) {
  if (facts.signerName.empty()) return std::string();
  return JudgeSignature(facts, facts.signerName) == TrustVerdict::kTrusted ? facts.signerName
                                                                           : std::string();
}

bool OfferVerifiedInstaller(std::optional<VerifiedInstaller>& held, MessageBoxes& messages,
                            WindowRef owner, InstallerLauncher& launcher, FileSystem& files,
                            const std::string& programFolder) {
  if (!held || !held->Hold()) return false;
  constexpr int kIdOk = 1;
  const int answer = messages.Show(owner, "软件升级要关闭当前程序，进行升级，点确定自动关闭程序",
                                   kNoticeCaption, kMbOk);
  if (answer != kIdOk) return false;
  VerifiedInstaller installer = std::move(*held);
  held.reset();
  const std::string path = installer.Path();
  // The launcher lets the file go before it returns, so a file that did not start can go.
  const LaunchResult result = launcher.Start(std::move(installer),
                                             InstallerParameters(path, programFolder), kShowNormal);
  if (result == LaunchResult::kStarted) return true;
  try {
    if (files.FileExists(path)) files.RemoveFile(path);
  } catch (...) {
    // Left behind: the next download replaces it, the next start removes it.
  }
  messages.Show(owner,
                result == LaunchResult::kRefused ? kElevationRefusedText : kInstallerNotStartedText,
                kNoticeCaption, kMbOk);
  return false;
}

}  // namespace mt
