// One contract for profile (INI) files, run on the in-memory stand-in everywhere and on the
// real GetPrivateProfileStringW / WritePrivateProfileStringW under Wine, so that what the
// logic's tests see of a settings file is what the program sees.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "app/Error.h"
#include "tests/support/StandIns.h"
#ifdef MT_REAL_PROFILE
#include <windows.h>
#include "app/win/Convert.h"
#include "app/win/WinServices.h"
#endif

namespace mt {
namespace {

struct ProfileMaker {
  const char* name;
  std::function<std::unique_ptr<ProfileStore>()> make;
};

void PrintTo(const ProfileMaker& maker, std::ostream* os) { *os << maker.name; }

std::vector<ProfileMaker> Profiles() {
  std::vector<ProfileMaker> out;
  out.push_back({"Memory", [] { return std::make_unique<test::MemoryProfile>(); }});
#ifdef MT_REAL_PROFILE
  out.push_back({"Real", [] { return std::make_unique<WinProfile>(); }});
#endif
  return out;
}

class ProfileContract : public ::testing::TestWithParam<ProfileMaker> {
 protected:
  void SetUp() override {
    profile_ = GetParam().make();
    std::string name = std::string("mt-profile-") +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : name)
      if (c == '/') c = '_';
#ifdef MT_REAL_PROFILE
    wchar_t tmp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, tmp);
    path_ = Narrow(tmp) + name + "-" + std::to_string(::GetCurrentProcessId()) + ".ini";
    ::DeleteFileW(Widen(path_).c_str());
#else
    path_ = "C:\\Tools\\" + name + ".ini";
#endif
    other_ = path_ + ".other.ini";
  }
  void TearDown() override {
#ifdef MT_REAL_PROFILE
    ::DeleteFileW(Widen(path_).c_str());
    ::DeleteFileW(Widen(other_).c_str());
#endif
  }
  std::string Read(const std::string& section, const std::string& key,
                   const std::string& def = "<default>") {
    return profile_->ReadString(path_, section, key, def);
  }
  void Write(const std::string& section, const std::string& key, const std::string& value) {
    profile_->WriteString(path_, section, key, value);
  }

  std::unique_ptr<ProfileStore> profile_;
  std::string path_, other_;
};

TEST_P(ProfileContract, MissingFileSectionOrKeyGivesTheDefault) {
  EXPECT_EQ(Read("DS_config", "firstrun", "1"), "1");
  Write("DS_config", "sjtx", "0");
  EXPECT_EQ(Read("DS_config", "firstrun", "1"), "1");
  EXPECT_EQ(Read("other", "sjtx", "v1.3"), "v1.3");
  EXPECT_EQ(Read("DS_config", "sjtx", "1"), "0");
  // Files are kept apart by path.
  EXPECT_EQ(profile_->ReadString(other_, "DS_config", "sjtx", "none"), "none");
}

TEST_P(ProfileContract, NamesCompareWithoutCaseAndAWriteReplacesTheKeyOnly) {
  Write("DS_config", "firstrun", "1");
  Write("DS_config", "sjtxver", "v1.3");
  Write("fghb", "kzm", ".rar");
  Write("ds_CONFIG", "FIRSTRUN", "0");
  EXPECT_EQ(Read("DS_CONFIG", "FirstRun"), "0");
  EXPECT_EQ(Read("DS_config", "sjtxver"), "v1.3");
  EXPECT_EQ(Read("FGHB", "KZM"), ".rar");
}

TEST_P(ProfileContract, ValuesComeBackAsWritten) {
  Write("s", "empty", "");
  EXPECT_EQ(Read("s", "empty"), "");  // present but empty is not missing
  Write("s", "equals", "a=b=c");
  EXPECT_EQ(Read("s", "equals"), "a=b=c");
  Write("s", "inner", "C:\\Program Files\\a b.exe");
  EXPECT_EQ(Read("s", "inner"), "C:\\Program Files\\a b.exe");
  Write("s", "chinese", "软件升级 v2.0");
  EXPECT_EQ(Read("s", "chinese"), "软件升级 v2.0");
  Write("s", "semicolon", "a;b");
  EXPECT_EQ(Read("s", "semicolon"), "a;b");
}

TEST_P(ProfileContract, LongValuesAreCutAt2047Characters) {
  Write("s", "long", std::string(3000, 'x'));
  EXPECT_EQ(Read("s", "long"), std::string(2047, 'x'));
  Write("s", "fits", std::string(2047, 'y'));
  EXPECT_EQ(Read("s", "fits"), std::string(2047, 'y'));
}

TEST_P(ProfileContract, BlanksAroundAValueAndItsQuotesAreNotKept) {
  Write("s", "padded", "  v1.3  ");
  EXPECT_EQ(Read("s", "padded"), "v1.3");
  Write("s", "quoted", "\"v1.3\"");
  EXPECT_EQ(Read("s", "quoted"), "v1.3");
  Write("s", "half", "\"v1.3");
  EXPECT_EQ(Read("s", "half"), "\"v1.3");
}

INSTANTIATE_TEST_SUITE_P(Profiles, ProfileContract, ::testing::ValuesIn(Profiles()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mt
