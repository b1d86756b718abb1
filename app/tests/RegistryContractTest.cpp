// One contract for the registry handle, run on the in-memory stand-in everywhere and on the
// real registry under Wine. Every test works below a scratch key of its own and never relies
// on the order in which names enumerate (Wine sorts, Windows keeps insertion order).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "app/Error.h"
#include "app/Registry.h"
#include "tests/support/MemoryRegistry.h"
#ifdef MT_REAL_REGISTRY
#include "app/win/WinRegistry.h"
#include <windows.h>
#endif

namespace mt {
namespace {

struct BackendMaker {
  const char* name;
  std::function<std::unique_ptr<RegistryBackend>()> make;
};

// Test names show the backend, not the bytes of the maker.
void PrintTo(const BackendMaker& maker, std::ostream* os) { *os << maker.name; }

std::vector<BackendMaker> Backends() {
  std::vector<BackendMaker> out;
  out.push_back({"Memory", [] { return std::make_unique<test::MemoryRegistry>(); }});
#ifdef MT_REAL_REGISTRY
  out.push_back({"Real", [] { return std::make_unique<WinRegistry>(); }});
#endif
  return out;
}

class RegistryContract : public ::testing::TestWithParam<BackendMaker> {
 protected:
  void SetUp() override {
    backend_ = GetParam().make();
    scratch_ = "\\Software\\MirtakContract" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name());
    for (char& c : scratch_)
      if (c == '/') c = '_';
    TRegistry r(*backend_);
    r.DeleteKey(scratch_);
  }
  void TearDown() override {
    TRegistry r(*backend_);
    r.DeleteKey(scratch_);
  }
  static bool Has(const std::vector<std::string>& names, const std::string& n) {
    return std::find(names.begin(), names.end(), n) != names.end();
  }
  std::unique_ptr<RegistryBackend> backend_;
  std::string scratch_;
};

TEST_P(RegistryContract, StartsAtCurrentUserAndRootChangeClosesTheKey) {
  TRegistry r(*backend_);
  EXPECT_EQ(r.RootKey(), RegRoot::CurrentUser);
  ASSERT_TRUE(r.OpenKey(scratch_, true));
  EXPECT_TRUE(r.HasOpenKey());
  r.SetRootKey(RegRoot::LocalMachine);
  EXPECT_FALSE(r.HasOpenKey());
  EXPECT_EQ(r.RootKey(), RegRoot::LocalMachine);
}

TEST_P(RegistryContract, OpenWithoutCreateFailsForMissingKeyAndCreateMakesIt) {
  TRegistry r(*backend_);
  EXPECT_FALSE(r.OpenKey(scratch_ + "\\a\\b", false));
  EXPECT_FALSE(r.KeyExists(scratch_ + "\\a\\b"));
  EXPECT_TRUE(r.OpenKey(scratch_ + "\\a\\b", true));
  EXPECT_TRUE(r.KeyExists(scratch_ + "\\A\\B"));  // names compare without case
}

TEST_P(RegistryContract, RelativePathsStartAtTheOpenKey) {
  TRegistry r(*backend_);
  ASSERT_TRUE(r.OpenKey(scratch_, true));
  ASSERT_TRUE(r.OpenKey("child", true));
  r.WriteString("v", "deep");
  r.CloseKey();
  ASSERT_TRUE(r.OpenKey(scratch_ + "\\child", false));
  EXPECT_EQ(r.ReadString("v"), "deep");
  // With the open key closed, a relative path starts at the root again.
  r.CloseKey();
  EXPECT_TRUE(r.OpenKey(scratch_.substr(1) + "\\child", false));
  // A leading backslash always starts at the root, whatever is open.
  EXPECT_TRUE(r.OpenKey(scratch_, false));
  EXPECT_TRUE(r.KeyExists("child"));
  EXPECT_TRUE(r.KeyExists(scratch_ + "\\child"));
}

TEST_P(RegistryContract, TextAndIntegerValuesKeepTheirTypes) {
  TRegistry r(*backend_);
  ASSERT_TRUE(r.OpenKey(scratch_, true));
  r.WriteString("Name", "宋体 text");
  r.WriteInteger("Count", -2);
  EXPECT_EQ(r.ReadString("name"), "宋体 text");
  EXPECT_EQ(r.ReadInteger("COUNT"), -2);
  EXPECT_EQ(r.GetDataType("Name"), RegDataType::String);
  EXPECT_EQ(r.GetDataType("Count"), RegDataType::Integer);
  EXPECT_FALSE(r.GetDataType("none").has_value());
  EXPECT_TRUE(r.ValueExists("NAME"));
  EXPECT_FALSE(r.ValueExists("none"));
  EXPECT_EQ(r.ReadString("none"), "");  // missing text reads empty
  // Rewriting with the other type replaces the value.
  r.WriteString("Count", "3");
  EXPECT_EQ(r.GetDataType("count"), RegDataType::String);
}

TEST_P(RegistryContract, LongTextComesBackWhole) {
  TRegistry r(*backend_);
  ASSERT_TRUE(r.OpenKey(scratch_, true));
  std::string text;
  for (int i = 0; i < 700; ++i) text += static_cast<char>('a' + i % 26);
  text += "升级";
  r.WriteString("Long", text);
  EXPECT_EQ(r.ReadString("Long"), text);
  r.WriteString("Empty", "");
  EXPECT_TRUE(r.ValueExists("Empty"));
  EXPECT_EQ(r.ReadString("Empty"), "");
}

TEST_P(RegistryContract, ErrorTextsNameTheValue) {
  TRegistry r(*backend_);
  ASSERT_TRUE(r.OpenKey(scratch_, true));
  r.WriteInteger("Num", 7);
  r.WriteString("Txt", "x");
  try {
    r.ReadString("Num");
    FAIL();
  } catch (const AppError& e) {
    EXPECT_STREQ(e.what(), "Invalid data type for 'Num'");
  }
  try {
    r.ReadInteger("Txt");
    FAIL();
  } catch (const AppError& e) {
    EXPECT_STREQ(e.what(), "Invalid data type for 'Txt'");
  }
  try {
    r.ReadInteger("gone");
    FAIL();
  } catch (const AppError& e) {
    EXPECT_STREQ(e.what(), "Failed to get data for 'gone'");
  }
  r.CloseKey();
  try {
    r.WriteString("x", "y");
    FAIL();
  } catch (const AppError& e) {
    EXPECT_STREQ(e.what(), "Failed to set data for 'x'");
  }
  EXPECT_THROW(r.WriteInteger("x", 1), AppError);
}

TEST_P(RegistryContract, NamesAndCountsOfTheOpenKey) {
  TRegistry r(*backend_);
  ASSERT_TRUE(r.OpenKey(scratch_, true));
  r.WriteString("b", "1");
  r.WriteString("a", "2");
  r.WriteInteger("c", 3);
  ASSERT_TRUE(r.CreateKey("sub1"));
  ASSERT_TRUE(r.CreateKey("sub2"));
  auto values = r.GetValueNames();
  EXPECT_EQ(values.size(), 3u);
  EXPECT_TRUE(Has(values, "a") && Has(values, "b") && Has(values, "c"));
  EXPECT_EQ(r.ValueCount(), 3);
  auto keys = r.GetKeyNames();
  EXPECT_EQ(keys.size(), 2u);
  EXPECT_TRUE(Has(keys, "sub1") && Has(keys, "sub2"));
}

TEST_P(RegistryContract, DeleteValueAndRecursiveDeleteKey) {
  TRegistry r(*backend_);
  ASSERT_TRUE(r.OpenKey(scratch_ + "\\top\\mid\\leaf", true));
  r.WriteString("v", "1");
  EXPECT_TRUE(r.DeleteValue("V"));
  EXPECT_FALSE(r.DeleteValue("V"));
  r.CloseKey();
  EXPECT_TRUE(r.DeleteKey(scratch_ + "\\top"));
  EXPECT_FALSE(r.KeyExists(scratch_ + "\\top"));
  EXPECT_FALSE(r.DeleteKey(scratch_ + "\\top"));
  EXPECT_TRUE(r.KeyExists(scratch_));
}

INSTANTIATE_TEST_SUITE_P(Backends, RegistryContract, ::testing::ValuesIn(Backends()),
                         [](const auto& info) { return std::string(info.param.name); });

// Failure scripting is a property of the stand-in only.
TEST(MemoryRegistry, DeniedAndReadOnlyKeys) {
  test::MemoryRegistry m;
  m.SetString(RegRoot::LocalMachine, "Software\\Locked", "v", "x");
  m.MakeReadOnly(RegRoot::LocalMachine, "Software\\Locked");
  m.Deny(RegRoot::CurrentUser, "Software\\Secret");
  TRegistry r(m);
  EXPECT_FALSE(r.OpenKey("\\Software\\Secret", true));
  EXPECT_THROW(r.CreateKey("\\Software\\Secret\\x"), AppError);
  r.SetRootKey(RegRoot::LocalMachine);
  ASSERT_TRUE(r.OpenKey("\\Software\\Locked", false));
  EXPECT_EQ(r.ReadString("v"), "x");
  EXPECT_THROW(r.WriteString("v", "y"), AppError);
  EXPECT_FALSE(r.DeleteValue("v"));
  EXPECT_FALSE(r.OpenKey("\\Software\\Locked\\new", true));
}

}  // namespace
}  // namespace mt
