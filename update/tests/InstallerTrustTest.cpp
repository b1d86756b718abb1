// The decision on what the platform reported of an installer's signature, and the close of
// the reminder window that starts only a verified installer.
#include <gtest/gtest.h>

#include <type_traits>

#include "app/Constants.h"
#include "tests/support/StandIns.h"
#include "update/InstallerTrust.h"
#include "update/Uhzbdown.h"
#include "update/tests/Fakes.h"

namespace mt {
namespace {

using test::FakeVerifier;
using test::MemoryFileSystem;
using test::RecordingLauncher;
namespace code = trust_code;

// Only a verifier makes a VerifiedInstaller, and it cannot be duplicated.
static_assert(!std::is_constructible_v<VerifiedInstaller, std::string, std::unique_ptr<HeldFile>>);
static_assert(!std::is_constructible_v<VerifiedInstaller, std::string>);
static_assert(!std::is_default_constructible_v<VerifiedInstaller>);
static_assert(!std::is_copy_constructible_v<VerifiedInstaller>);

SignatureFacts Signed(int32_t result, uint32_t chain, std::string signer = kSignerName) {
  SignatureFacts f;
  f.opened = true;
  f.trustResult = result;
  f.chainErrors = chain;
  f.hasSigner = true;
  f.signerName = std::move(signer);
  return f;
}

TEST(VerifiedSignerName, OnlyASignatureThatPassesNamesItsSigner) {
  EXPECT_EQ(VerifiedSignerName(Signed(0, 0, "Microsoft Windows")), "Microsoft Windows");
  EXPECT_EQ(VerifiedSignerName(Signed(0, 0x00000200, "Other Co.")), "Other Co.");
  // A forged or unanchored "Microsoft" signature names nobody.
  EXPECT_EQ(VerifiedSignerName(Signed(code::kBadDigest, 0, "Microsoft Windows")), "");
  EXPECT_EQ(VerifiedSignerName(Signed(code::kUntrustedRoot, 0, "Microsoft Windows")), "");
  EXPECT_EQ(VerifiedSignerName(Signed(0, code::kChainPartial, "Microsoft Windows")), "");
  EXPECT_EQ(VerifiedSignerName(Signed(code::kNoSignature, 0, "")), "");
  EXPECT_EQ(VerifiedSignerName(Signed(0, 0, "")), "");
  SignatureFacts closed = Signed(0, 0, "Other Co.");
  closed.opened = false;
  EXPECT_EQ(VerifiedSignerName(closed), "");
  SignatureFacts noSigner = Signed(0, 0, "Other Co.");
  noSigner.hasSigner = false;
  EXPECT_EQ(VerifiedSignerName(noSigner), "");
}

TEST(JudgeSignature, OnlyTheMakersSignatureOnAnAnchoredChainPasses) {
  EXPECT_EQ(JudgeSignature(Signed(0, 0), kSignerName), TrustVerdict::kTrusted);
  // A chain error the platform tolerates but that does not touch the anchoring.
  EXPECT_EQ(JudgeSignature(Signed(0, 0x00000200 /* not time nested */), kSignerName),
            TrustVerdict::kTrusted);

  SignatureFacts closed = Signed(0, 0);
  closed.opened = false;
  EXPECT_EQ(JudgeSignature(closed, kSignerName), TrustVerdict::kUnreadable);
  EXPECT_EQ(JudgeSignature(Signed(code::kNoSignature, 0), kSignerName), TrustVerdict::kUnsigned);
  EXPECT_EQ(JudgeSignature(Signed(code::kSubjectFormUnknown, 0), kSignerName),
            TrustVerdict::kUnsigned);
  EXPECT_EQ(JudgeSignature(Signed(code::kBadDigest, 0), kSignerName), TrustVerdict::kTampered);
  for (int32_t chain :
       {code::kUntrustedRoot, code::kChaining, code::kUntrustedTestRoot, code::kExplicitDistrust}) {
    EXPECT_EQ(JudgeSignature(Signed(chain, 0), kSignerName), TrustVerdict::kUntrustedChain)
        << std::hex << chain;
  }
  // CERT_E_EXPIRED, TRUST_E_NOSIGNATURE's neighbours, E_FAIL: refused all the same.
  for (int32_t other : {static_cast<int32_t>(0x800B0101), static_cast<int32_t>(0x800B0004),
                        static_cast<int32_t>(0x80004005), 1}) {
    EXPECT_EQ(JudgeSignature(Signed(other, 0), kSignerName), TrustVerdict::kRejected)
        << std::hex << other;
  }
  SignatureFacts noSigner = Signed(0, 0);
  noSigner.hasSigner = false;
  EXPECT_EQ(JudgeSignature(noSigner, kSignerName), TrustVerdict::kRejected);
}

// WinVerifyTrust may answer "trusted" for a chain that ends at a root nobody trusts or that
// ends nowhere (Wine 8 does); the chain's own status still says so.
TEST(JudgeSignature, APassedSignatureOnAnUnanchoredChainIsRefused) {
  for (uint32_t chain : {code::kChainUntrustedRoot, code::kChainPartial, code::kChainRevoked,
                         code::kChainBadSignature, code::kChainCyclic, code::kChainExplicitDistrust,
                         code::kChainPartial | 0x00000200u}) {
    EXPECT_EQ(JudgeSignature(Signed(0, chain), kSignerName), TrustVerdict::kUntrustedChain)
        << std::hex << chain;
  }
}

TEST(JudgeSignature, TheSignerMustBeTheMakerExactly) {
  const std::string maker = kSignerName;
  for (const std::string& name :
       {std::string("Other Software Co., Ltd."), maker + " Evil", "Evil " + maker,
        maker.substr(0, maker.size() - 1), std::string("MIRTAK TECHNOLOGY CO., LTD."),
        maker + std::string(1, '\0'), std::string()}) {
    EXPECT_EQ(JudgeSignature(Signed(0, 0, name), maker), TrustVerdict::kOtherSigner) << name;
  }
  EXPECT_EQ(JudgeSignature(Signed(0, 0, ""), ""), TrustVerdict::kOtherSigner);
}

// ---- the close after a verified download ----------------------------------------------
struct CloseRun {
  MemoryFileSystem files;
  FakeVerifier verifier{&files};
  RecordingLauncher launcher;
  test::RecordingMessages messages;
  std::optional<VerifiedInstaller> held;
  int owner = 0;

  CloseRun() {
    launcher.isHeld = [this](const std::string& p) { return files.held.count(p) != 0; };
  }
  void Verified(const std::string& path) { held = std::move(verifier.Verify(path).installer); }
  bool Offer() {
    return OfferVerifiedInstaller(held, messages, &owner, launcher, files, "C:\\Tools");
  }
};

TEST(OfferVerifiedInstaller, TellsTheUserThenStartsTheStillHeldInstaller) {
  CloseRun c;
  c.Verified("C:\\Tools\\rar\\tbxsetup.exe");
  ASSERT_TRUE(c.held);
  EXPECT_TRUE(c.Offer());
  ASSERT_EQ(c.messages.shown.size(), 1u);
  EXPECT_EQ(c.messages.shown[0].owner, static_cast<WindowRef>(&c.owner));
  EXPECT_EQ(c.messages.shown[0].text, "软件升级要关闭当前程序，进行升级，点确定自动关闭程序");
  EXPECT_EQ(c.messages.shown[0].caption, "温馨提示");
  EXPECT_EQ(c.messages.shown[0].style, kMbOk);
  ASSERT_EQ(c.launcher.started.size(), 1u);
  EXPECT_EQ(c.launcher.started[0].path, "C:\\Tools\\rar\\tbxsetup.exe");
  EXPECT_EQ(c.launcher.started[0].parameters, "/S /update");
  EXPECT_EQ(c.launcher.started[0].show, kShowNormal);
  EXPECT_TRUE(c.launcher.started[0].held);
  EXPECT_FALSE(c.held);
  EXPECT_TRUE(c.files.held.empty());  // let go once started
}

// A standard user who declines the elevation prompt (or an installer that does not start at
// all): the program says so, stays, and the downloaded file goes.
TEST(OfferVerifiedInstaller, ARefusedOrFailedStartIsToldAndTheFileRemoved) {
  for (LaunchResult result : {LaunchResult::kRefused, LaunchResult::kFailed}) {
    CloseRun c;
    const std::string path = "C:\\Users\\u\\AppData\\Local\\MirtakTools\\rar\\9\\tbxsetup.exe";
    c.files.files[path] = "MZ";
    c.launcher.result = result;
    c.Verified(path);
    EXPECT_FALSE(c.Offer());
    ASSERT_EQ(c.launcher.started.size(), 1u);
    EXPECT_EQ(c.launcher.started[0].parameters, "/S /update /D=C:\\Tools");
    EXPECT_TRUE(c.launcher.started[0].held);
    EXPECT_FALSE(c.held);
    EXPECT_EQ(c.files.files.count(path), 0u);
    ASSERT_EQ(c.messages.shown.size(), 2u);
    EXPECT_EQ(c.messages.shown[1].text,
              result == LaunchResult::kRefused ? kElevationRefusedText : kInstallerNotStartedText);
    EXPECT_EQ(c.messages.shown[1].caption, "温馨提示");
    EXPECT_EQ(c.messages.shown[1].owner, static_cast<WindowRef>(&c.owner));
  }
  // A file that cannot be removed is left for later; the notice comes all the same.
  CloseRun stuck;
  stuck.files.files["C:\\x.exe"] = "MZ";
  stuck.files.undeletable.insert("C:\\x.exe");
  stuck.launcher.result = LaunchResult::kRefused;
  stuck.Verified("C:\\x.exe");
  EXPECT_FALSE(stuck.Offer());
  EXPECT_EQ(stuck.messages.shown.size(), 2u);
}

TEST(OfferVerifiedInstaller, NothingVerifiedNothingSaidNothingStarted) {
  CloseRun none;
  EXPECT_FALSE(none.Offer());
  EXPECT_TRUE(none.messages.shown.empty());
  EXPECT_TRUE(none.launcher.started.empty());

  CloseRun refused;
  refused.verifier.verdict = TrustVerdict::kOtherSigner;
  refused.Verified("C:\\x.exe");
  EXPECT_FALSE(refused.held);
  EXPECT_FALSE(refused.Offer());
  EXPECT_TRUE(refused.messages.shown.empty());
  EXPECT_TRUE(refused.launcher.started.empty());

  // A box that could not be shown answers 0: nothing starts and the hold stays.
  struct Failing : test::RecordingMessages {
    int Show(WindowRef o, const std::string& t, const std::string& c, unsigned s) override {
      RecordingMessages::Show(o, t, c, s);
      return 0;
    }
  };
  CloseRun noBox;
  Failing failing;
  noBox.Verified("C:\\x.exe");
  EXPECT_FALSE(OfferVerifiedInstaller(noBox.held, failing, nullptr, noBox.launcher, noBox.files,
                                      "C:\\Tools"));
  EXPECT_TRUE(noBox.launcher.started.empty());
  EXPECT_TRUE(noBox.held);
}

// The installer upgrades the folder above "rar\"; a per-user download names the copy.
TEST(InstallerParameters, TheProgramFolderIsNamedOnlyForADownloadElsewhere) {
  const std::string program = "C:\\Program Files\\Mirtak";
  EXPECT_EQ(InstallerParameters(program + "\\rar\\tbxsetup.exe", program), "/S /update");
  EXPECT_EQ(InstallerParameters("c:\\program files\\MIRTAK\\RAR\\tbxsetup.exe", program),
            "/S /update");
  EXPECT_EQ(InstallerParameters("C:\\Users\\u\\AppData\\Local\\MirtakTools\\rar\\5\\tbxsetup.exe",
                                program),
            "/S /update /D=C:\\Program Files\\Mirtak");
  // Deeper below "rar\", or in a folder whose name only begins like the program's.
  EXPECT_EQ(InstallerParameters(program + "\\rar\\5\\tbxsetup.exe", program),
            "/S /update /D=" + program);
  EXPECT_EQ(InstallerParameters(program + "2\\rar\\tbxsetup.exe", program),
            "/S /update /D=" + program);
  EXPECT_EQ(InstallerParameters("D:\\elsewhere\\tbxsetup.exe", ""), "/S /update");
}

}  // namespace
}  // namespace mt
