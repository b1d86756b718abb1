// Under Wine: the signature check over WinVerifyTrust and the start of the verified file,
// on installers signed at test time (make_signing_material.py).
#include <gtest/gtest.h>

#include <windows.h>

#include "app/Constants.h"
#include "app/win/Handles.h"
#include "update/InstallerTrust.h"
#include "update/InstallerVersion.h"
#include "update/Uhzbdown.h"
#include "update/tests/Fakes.h"
#include "update/tests/WinSigningSupport.h"
#include "update/tests/WinTestSupport.h"
#include "update/win/WinInstallerTrust.h"

namespace mt {
namespace {

namespace code = trust_code;

class InstallerTrust : public test::SignedInstallers {
 protected:
  test::WinTempDir dir;  // a folder with a blank and Chinese letters in its name

  // A copy of the named material in the temporary folder.
  std::string Copy(const std::string& name) {
    const std::string to = dir.path() + "\\" + name;
    EXPECT_TRUE(::CopyFileW(Widen(test::SigningFile(name)).c_str(), Widen(to).c_str(), FALSE))
        << name;
    return to;
  }
  SignatureFacts Facts(const std::string& name) {
    const std::string path = Copy(name);
    UniqueFileHandle file(::CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    return ReadSignatureFacts(file.get(), path);
  }
  TrustVerdict Verdict(const std::string& name) {
    return WinInstallerVerifier().Verify(Copy(name)).verdict;
  }
};

// What WinVerifyTrust itself answers for each kind of file. Under Wine 8 it accepts a
// signature whose chain ends at a root nobody trusts, or ends nowhere: only the chain's own
// status tells those apart, which is why the verifier reads it as well.
TEST_F(InstallerTrust, WhatThePlatformReportsOfEachFile) {
  SignatureFacts good = Facts("signed.exe");
  EXPECT_TRUE(good.opened);
  EXPECT_EQ(good.trustResult, 0);
  EXPECT_EQ(good.chainErrors, 0u);
  EXPECT_EQ(good.signerName, kSignerName);

  SignatureFacts other = Facts("other_signer.exe");
  EXPECT_EQ(other.trustResult, 0);  // a good signature, by someone else
  EXPECT_EQ(other.chainErrors, 0u);
  EXPECT_EQ(other.signerName, "Other Software Co., Ltd.");

  SignatureFacts none = Facts("unsigned.exe");
  EXPECT_EQ(none.trustResult, code::kNoSignature);
  EXPECT_FALSE(none.hasSigner);

  EXPECT_EQ(Facts("altered.exe").trustResult, code::kBadDigest);

  SignatureFacts stranger = Facts("untrusted_root.exe");
  SignatureFacts unanchored = Facts("unanchored.exe");
  EXPECT_EQ(stranger.signerName, kSignerName);
  if (test::UnderWine()) {
    EXPECT_EQ(stranger.trustResult, 0) << "Wine's WinVerifyTrust now refuses untrusted roots";
    EXPECT_EQ(unanchored.trustResult, 0) << "Wine's WinVerifyTrust now refuses partial chains";
  } else {
    EXPECT_NE(stranger.trustResult, 0);
    EXPECT_NE(unanchored.trustResult, 0);
  }
  EXPECT_TRUE(stranger.chainErrors & code::kChainUntrustedRoot) << std::hex << stranger.chainErrors;
  EXPECT_TRUE(unanchored.chainErrors & code::kChainPartial) << std::hex << unanchored.chainErrors;
}

TEST_F(InstallerTrust, OnlyTheMakersSignatureFromATrustedRootPasses) {
  EXPECT_EQ(Verdict("signed.exe"), TrustVerdict::kTrusted);
  EXPECT_EQ(Verdict("unsigned.exe"), TrustVerdict::kUnsigned);
  EXPECT_EQ(Verdict("other_signer.exe"), TrustVerdict::kOtherSigner);
  EXPECT_EQ(Verdict("altered.exe"), TrustVerdict::kTampered);
  EXPECT_EQ(Verdict("untrusted_root.exe"), TrustVerdict::kUntrustedChain);
  EXPECT_EQ(Verdict("unanchored.exe"), TrustVerdict::kUntrustedChain);
  EXPECT_EQ(WinInstallerVerifier().Verify(dir.path() + "\\missing.exe").verdict,
            TrustVerdict::kUnreadable);

  // A file that someone still has open for writing is not taken: it could change.
  const std::string busy = Copy("signed.exe");
  UniqueFileHandle writer(::CreateFileW(Widen(busy).c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        0, nullptr));
  ASSERT_TRUE(writer);
  EXPECT_EQ(WinInstallerVerifier().Verify(busy).verdict, TrustVerdict::kUnreadable);
}

TEST_F(InstallerTrust, TheVerifiedFileCannotChangeUntilItIsStartedAsChecked) {
  const std::string path = Copy("signed.exe");
  TrustResult trust = WinInstallerVerifier().Verify(path);
  ASSERT_TRUE(trust.installer) << trust.detail;
  const std::wstring wide = Widen(path);
  UniqueFileHandle writer(::CreateFileW(wide.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(writer);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(::DeleteFileW(wide.c_str()));
  EXPECT_FALSE(::MoveFileW(wide.c_str(), Widen(dir.path() + "\\moved.exe").c_str()));

  EXPECT_EQ(WinInstallerLauncher().Start(std::move(*trust.installer), kInstallerUpdateOptions,
                                         SW_SHOWNORMAL),
            LaunchResult::kStarted);
  std::string marker;
  ASSERT_TRUE(test::PumpUntil(
      [&] { return test::ReadBytes(test::MarkerOf(path), marker) && !marker.empty(); }, 15000));
  EXPECT_EQ(marker, "\"" + path + "\" /S /update\nshow=1\n");
  // Let go once started: the file can be removed when the installer has ended.
  EXPECT_TRUE(test::PumpUntil([&] { return ::DeleteFileW(wide.c_str()) != 0; }, 15000));
}

// The version resource that windres wrote and the signature left alone, read through the
// hold of the check: the test installer is 1.4.0.0.
TEST_F(InstallerTrust, TheVersionIsReadThroughTheHoldOfTheCheck) {
  const std::string path = Copy("signed.exe");
  TrustResult trust = WinInstallerVerifier().Verify(path);
  ASSERT_TRUE(trust.installer) << trust.detail;
  ASSERT_STREQ(kProgramVersion, "v1.3");
  EXPECT_EQ(CheckInstallerVersion(*trust.installer, "v1.4"), InstallerVersionVerdict::kAccepted);
  EXPECT_EQ(CheckInstallerVersion(*trust.installer, "v1.5"), InstallerVersionVerdict::kNotOffered);
  const HeldFile* hold = trust.installer->Hold();
  char mz[2] = {};
  EXPECT_TRUE(hold->ReadAt(0, mz, 2));
  EXPECT_EQ(std::string(mz, 2), "MZ");
  char beyond = 0;
  EXPECT_FALSE(hold->ReadAt(static_cast<uint64_t>(test::FileSize(path)), &beyond, 1));
}

TEST_F(InstallerTrust, TheLauncherStartsOnlyWhatThePlatformVerifierHolds) {
  const std::string path = Copy("signed.exe");
  test::FakeVerifier vouchesForAnything;
  TrustResult trust = vouchesForAnything.Verify(path);
  ASSERT_TRUE(trust.installer);
  EXPECT_EQ(WinInstallerLauncher().Start(std::move(*trust.installer), kInstallerUpdateOptions,
                                         SW_SHOWNORMAL),
            LaunchResult::kFailed);
  test::PumpUntil([] { return false; }, 1000);
  EXPECT_EQ(test::FileSize(test::MarkerOf(path)), -1);
}

}  // namespace
}  // namespace mt
