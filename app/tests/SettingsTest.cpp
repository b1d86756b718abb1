#include <gtest/gtest.h>

#include "app/Error.h"
#include "app/Settings.h"
#include "tests/support/StandIns.h"

namespace mt {
namespace {

TEST(ProfileBool, NumbersHexAndDefaults) {
  EXPECT_TRUE(ParseProfileBool("1", false));
  EXPECT_FALSE(ParseProfileBool("0", true));
  EXPECT_TRUE(ParseProfileBool("-3", false));
  EXPECT_TRUE(ParseProfileBool("0x1", false));
  EXPECT_FALSE(ParseProfileBool("0X0", true));
  EXPECT_TRUE(ParseProfileBool("0xFF", false));
  // "0x" alone is two characters: not hex, and not a decimal number either.
  EXPECT_TRUE(ParseProfileBool("0x", true));
  EXPECT_FALSE(ParseProfileBool("0x", false));
  EXPECT_TRUE(ParseProfileBool("yes", true));
  EXPECT_FALSE(ParseProfileBool("yes", false));
  EXPECT_TRUE(ParseProfileBool("", true));
  EXPECT_FALSE(ParseProfileBool("0xZZ", false));
}

TEST(IniFile, BooleansAndTextWithDefaults) {
  test::MemoryProfile p;
  TIniFile ini(p, SettingsFilePath("C:\\Tools"));
  EXPECT_EQ(ini.FileName(), "C:\\Tools\\config.ini");
  EXPECT_TRUE(ini.ReadBool(kSettingsSection, kKeyFirstRun, true));
  EXPECT_EQ(ini.ReadString(kSettingsSection, kKeySjtxVer, "v1.3"), "v1.3");
  ini.WriteBool(kSettingsSection, kKeyFirstRun, false);
  EXPECT_FALSE(ini.ReadBool("ds_CONFIG", "FirstRun", true));
  EXPECT_EQ(p.FileText(ini.FileName()), "[DS_config]\r\nfirstrun=0\r\n");
  ini.WriteString(kSettingsSection, kKeyFirstRun, "yes");
  EXPECT_TRUE(ini.ReadBool(kSettingsSection, kKeyFirstRun, true));
}

TEST(IniFile, LongTextIsCutAt2047AndFailedWriteNamesThePath) {
  test::MemoryProfile p;
  TIniFile ini(p, "C:\\ro\\config.ini");
  ini.WriteString("s", "k", std::string(3000, 'a'));
  EXPECT_EQ(ini.ReadString("s", "k", "").size(), 2047u);
  p.MakeReadOnly("C:\\ro\\config.ini");
  try {
    ini.WriteBool("s", "k", true);
    FAIL();
  } catch (const AppError& e) {
    EXPECT_STREQ(e.what(), "Unable to write to C:\\ro\\config.ini");
  }
}

}  // namespace
}  // namespace mt
