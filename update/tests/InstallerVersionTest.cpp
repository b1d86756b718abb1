// Release versions as numbers, the version resource read from a program image, and the
// decision which downloaded installer may run.
#include <gtest/gtest.h>

#include <cstring>

#include "app/Constants.h"
#include "tests/support/StandIns.h"
#include "update/InstallerVersion.h"
#include "update/tests/PeImage.h"

namespace mt {
namespace {

using test::PeImage;
using test::PeImageLayout;
using V = VersionNumber;

TEST(ReleaseVersion, ParsesOnlyASmallVAndTwoOrThreeNumbers) {
  EXPECT_EQ(ParseReleaseVersion("v1.3"), (V{1, 3, 0, 0}));
  EXPECT_EQ(ParseReleaseVersion("v1.3.7"), (V{1, 3, 7, 0}));
  EXPECT_EQ(ParseReleaseVersion("v0.0"), (V{0, 0, 0, 0}));
  EXPECT_EQ(ParseReleaseVersion("v65535.1.65535"), (V{65535, 1, 65535, 0}));
  EXPECT_EQ(ParseReleaseVersion("v01.3"), (V{1, 3, 0, 0}));
  for (const char* bad :
       {"", "v", "v1", "v1.", "v.3", "v1..3", "v1.3.", "v1.3.4.5", "V1.3", "1.3", " v1.3", "v1.3 ",
        "v1.3a", "v1.-3", "v+1.3", "v1.65536", "v99999999999.1", "\xB0\xE6\xB1\xBE", "v1,3"}) {
    EXPECT_FALSE(ParseReleaseVersion(bad)) << bad;
  }
}

TEST(ReleaseVersion, OrderedAsNumbersPartByPart) {
  EXPECT_TRUE(IsNewerRelease("v1.10", "v1.9"));
  EXPECT_FALSE(IsNewerRelease("v1.9", "v1.10"));
  EXPECT_FALSE(IsNewerRelease("v1.3.0", "v1.3"));  // equal
  EXPECT_FALSE(IsNewerRelease("v1.3", "v1.3.0"));
  EXPECT_TRUE(IsNewerRelease("v1.3.1", "v1.3"));
  EXPECT_TRUE(IsNewerRelease("v2.0", "v1.65535.65535"));
  EXPECT_FALSE(IsNewerRelease("v1.2.9", "v1.3"));
  EXPECT_FALSE(IsNewerRelease("V9.0", "v1.3"));  // no release: never newer
  EXPECT_FALSE(IsNewerRelease("v9.0", "version"));
  EXPECT_EQ(CompareVersions(V{1, 3, 0, 0}, V{1, 3, 0, 1}), -1);
  EXPECT_EQ(CompareVersions(V{1, 3, 0, 1}, V{1, 3, 0, 0}), 1);
  EXPECT_EQ(CompareVersions(V{1, 3, 0, 0}, V{1, 3, 0, 0}), 0);
}

// ---- the version resource ------------------------------------------------------------------
std::optional<FixedFileVersion> Read(const std::string& image) {
  return ReadFixedFileVersion([&image](uint64_t offset, void* data, size_t size) {
    if (offset > image.size() || size > image.size() - offset) return false;
    std::memcpy(data, image.data() + offset, size);
    return true;
  });
}

TEST(FixedFileVersion, ReadFromPe32AndPe32PlusImages) {
  for (bool pe64 : {true, false}) {
    SCOPED_TRACE(pe64);
    PeImageLayout layout;
    layout.pe64 = pe64;
    layout.file = {1, 10, 2, 7};
    layout.product = {65535, 0, 1, 2};
    const std::optional<FixedFileVersion> v = Read(PeImage(layout));
    ASSERT_TRUE(v);
    EXPECT_EQ(v->file, (V{1, 10, 2, 7}));
    EXPECT_EQ(v->product, (V{65535, 0, 1, 2}));
  }
}

TEST(FixedFileVersion, NothingFromFilesWithoutAWholeVersionResource) {
  PeImageLayout noVersion;
  noVersion.withVersion = false;
  EXPECT_FALSE(Read(PeImage(noVersion)));
  EXPECT_FALSE(Read(""));
  EXPECT_FALSE(Read("MZ"));
  EXPECT_FALSE(Read(std::string(4096, 'x')));

  const std::string good = PeImage();
  ASSERT_TRUE(Read(good));
  // Cut anywhere before the end of the resource: never a version, never a read outside.
  for (size_t n = 0; n < 0x200 + 0x58 + 92; ++n) {
    EXPECT_FALSE(Read(good.substr(0, n))) << n;
  }
  auto broken = [&good](size_t at, uint32_t value, int width) {
    std::string b = good;
    for (int i = 0; i < width; ++i) b[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return b;
  };
  EXPECT_FALSE(Read(broken(0, 'Z', 1)));                               // no MZ
  EXPECT_FALSE(Read(broken(0x3C, 0xFFFFFFF0u, 4)));                    // PE header beyond the file
  EXPECT_FALSE(Read(broken(0x80 + 24, 0x10C, 2)));                     // unknown optional header
  EXPECT_FALSE(Read(broken(0x80 + 6, 0, 2)));                          // no sections
  EXPECT_FALSE(Read(broken(0x200 + 0x58 + 40, 0xFEEF04BC, 4)));        // fixed part's signature
  EXPECT_FALSE(Read(broken(0x200 + 0x58 + 6, 'W', 2)));                // key not VS_VERSION_INFO
  EXPECT_FALSE(Read(broken(0x200 + 0x58 + 2, 51, 2)));                 // value too short
  EXPECT_FALSE(Read(broken(0x200 + 0x48, 0x1000 + 0xF0, 4)));          // data past the section
  EXPECT_FALSE(Read(broken(0x200 + 0x48, 0xFFFFFFF0u, 4)));            // data address wraps
  EXPECT_FALSE(Read(broken(0x200 + 0x48 + 4, 0x7FFFFFFF, 4)));         // absurd size
  EXPECT_FALSE(Read(broken(0x200 + 20, 0x80000000u | 0xFFFFFFF, 4)));  // directory outside
  EXPECT_FALSE(Read(broken(0x200 + 0x30 + 20, 0x80000000u | 0x30, 4)));  // loops to itself
  // A reader that fails outright.
  EXPECT_FALSE(ReadFixedFileVersion(
      [](uint64_t, void*, size_t) -> bool { throw std::runtime_error("gone"); }));
}

// ---- which installer may run ---------------------------------------------------------------
TEST(InstallerVersionDecision, OnlyTheOfferedReleaseNewerThanTheRunningOne) {
  using Verdict = InstallerVersionVerdict;
  auto judge = [](V file, V product, const std::string& offered) {
    return JudgeInstallerVersion(FixedFileVersion{file, product}, offered, "v1.3");
  };
  EXPECT_EQ(judge({1, 4, 0, 0}, {1, 4, 0, 0}, "v1.4"), Verdict::kAccepted);
  EXPECT_EQ(judge({1, 10, 0, 0}, {1, 10, 0, 0}, "v1.10"), Verdict::kAccepted);
  EXPECT_EQ(judge({1, 3, 1, 0}, {1, 3, 1, 0}, "v1.3.1"), Verdict::kAccepted);
  // Older, equal to the running one (v1.3 and v1.3.0 alike).
  EXPECT_EQ(judge({1, 2, 0, 0}, {1, 2, 0, 0}, "v1.2"), Verdict::kNotNewer);
  EXPECT_EQ(judge({1, 3, 0, 0}, {1, 3, 0, 0}, "v1.3"), Verdict::kNotNewer);
  EXPECT_EQ(judge({1, 3, 0, 0}, {1, 3, 0, 0}, "v1.3.0"), Verdict::kNotNewer);
  // Not what was offered: an old release behind a newer offer, a later one, a build number,
  // file and product apart.
  EXPECT_EQ(judge({1, 3, 0, 0}, {1, 3, 0, 0}, "v1.4"), Verdict::kNotOffered);
  EXPECT_EQ(judge({1, 5, 0, 0}, {1, 5, 0, 0}, "v1.4"), Verdict::kNotOffered);
  EXPECT_EQ(judge({1, 4, 0, 1}, {1, 4, 0, 1}, "v1.4"), Verdict::kNotOffered);
  EXPECT_EQ(judge({1, 4, 0, 0}, {1, 3, 0, 0}, "v1.4"), Verdict::kNotOffered);
  EXPECT_EQ(judge({1, 3, 0, 0}, {1, 4, 0, 0}, "v1.4"), Verdict::kNotOffered);
  // No resource, or an offer that is no version.
  EXPECT_EQ(JudgeInstallerVersion(std::nullopt, "v1.4", "v1.3"), Verdict::kNoVersion);
  EXPECT_EQ(judge({1, 4, 0, 0}, {1, 4, 0, 0}, "V1.4"), Verdict::kBadOffer);
  EXPECT_EQ(judge({0, 0, 0, 0}, {0, 0, 0, 0}, ""), Verdict::kBadOffer);
}

// Through the hold of the signature check, against the Program version.
TEST(InstallerVersionDecision, ReadThroughTheHoldOfTheCheck) {
  test::MemoryFileSystem files;
  test::FakeVerifier verifier(&files);
  const std::string path = "C:\\Tools\\rar\\tbxsetup.exe";
  auto verdict = [&](const std::string& image, const std::string& offered) {
    files.files[path] = image;
    TrustResult trust = verifier.Verify(path);
    EXPECT_TRUE(trust.installer);
    return trust.installer ? CheckInstallerVersion(*trust.installer, offered)
                           : InstallerVersionVerdict::kNoVersion;
  };
  EXPECT_EQ(verdict(test::InstallerImage("v1.4"), "v1.4"), InstallerVersionVerdict::kAccepted);
  EXPECT_EQ(verdict(test::InstallerImage("v1.3"), "v1.4"), InstallerVersionVerdict::kNotOffered);
  EXPECT_EQ(verdict(test::InstallerImage("v1.3"), "v1.3"), InstallerVersionVerdict::kNotNewer);
  EXPECT_EQ(verdict("MZ not a program", "v1.4"), InstallerVersionVerdict::kNoVersion);
}

}  // namespace
}  // namespace mt
