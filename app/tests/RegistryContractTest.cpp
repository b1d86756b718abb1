// One contract for the registry handle, run on the in-memory stand-in everywhere and on the
// real registry under Wine. Every test works below a scratch key of its own and never relies
// on the order in which names enumerate (Wine sorts, Windows keeps insertion order).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "app/CachedRegistry.h"
#include "app/Error.h"
#include "app/Registry.h"
#include "app/Text.h"
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

// The cache of open keys in front of a backend it owns: held to the same contract.
struct Owned {
  std::unique_ptr<RegistryBackend> inner;
};
struct OwningCache : Owned, CachedRegistry {
  explicit OwningCache(std::unique_ptr<RegistryBackend> backend)
      : Owned{std::move(backend)}, CachedRegistry(*inner) {}
};

std::vector<BackendMaker> Backends() {
  std::vector<BackendMaker> out;
  out.push_back({"Memory", [] { return std::make_unique<test::MemoryRegistry>(); }});
  out.push_back({"CachedMemory", [] {
                   return std::make_unique<OwningCache>(std::make_unique<test::MemoryRegistry>());
                 }});
#ifdef MT_REAL_REGISTRY
  out.push_back({"Real", [] { return std::make_unique<WinRegistry>(); }});
  out.push_back({"CachedReal",
                 [] { return std::make_unique<OwningCache>(std::make_unique<WinRegistry>()); }});
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
    name_ = scratch_.substr(std::string("\\Software\\").size());
    machine_ = "\\SOFTWARE\\" + name_;
    clsid_ = "\\CLSID\\{" + name_ + "}";
    Clean();
  }
  void TearDown() override { Clean(); }
  // Removes the test's keys from both views.
  void Clean() {
    for (RegView view : {RegView::Native, RegView::Wow32}) {
      TRegistry r(*backend_, view);
      r.DeleteKey(scratch_);
      r.SetRootKey(RegRoot::LocalMachine);
      r.DeleteKey(machine_);
      r.SetRootKey(RegRoot::ClassesRoot);
      r.DeleteKey(clsid_);
    }
  }
  // The text value "v" of `path`, or "(missing)" when the key does not open.
  std::string Read(RegView view, RegRoot root, const std::string& path) {
    TRegistry r(*backend_, view);
    r.SetRootKey(root);
    if (!r.OpenKey(path, false)) return "(missing)";
    return r.ReadString("v");
  }
  void Write(RegView view, RegRoot root, const std::string& path, const std::string& text) {
    TRegistry r(*backend_, view);
    r.SetRootKey(root);
    ASSERT_TRUE(r.OpenKey(path, true)) << path;
    r.WriteString("v", text);
  }
  static bool Has(const std::vector<std::string>& names, const std::string& n) {
    return std::find(names.begin(), names.end(), n) != names.end();
  }
  std::unique_ptr<RegistryBackend> backend_;
  std::string scratch_;  // below HKCU: "\Software\MirtakContract<test>"
  std::string name_;     // "MirtakContract<test>"
  std::string machine_;  // below HKLM: "\SOFTWARE\MirtakContract<test>"
  std::string clsid_;    // below HKCR: "\CLSID\{MirtakContract<test>}"
};

TEST_P(RegistryContract, StartsAtCurrentUserAndRootChangeClosesTheKey) {
  TRegistry r(*backend_);
  EXPECT_EQ(r.RootKey(), RegRoot::CurrentUser);
  ASSERT_TRUE(r.OpenKey(scratch_, true));
  EXPECT_TRUE(r.HasOpenKey());
  r.SetRootKey(RegRoot::LocalMachine);
  EXPECT_FALSE(r.HasOpenKey());
  EXPECT_EQ(r.RootKey(), RegRoot::LocalMachine);
  // The view starts native; changing it closes the key as well.
  EXPECT_EQ(r.View(), RegView::Native);
  ASSERT_TRUE(r.OpenKey(scratch_, true));
  r.SetView(RegView::Wow32);
  EXPECT_FALSE(r.HasOpenKey());
  EXPECT_EQ(r.View(), RegView::Wow32);
  EXPECT_EQ(TRegistry(*backend_, RegView::Wow32).View(), RegView::Wow32);
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

TEST_P(RegistryContract, Wow32MachineSoftwareLivesBelowWow6432Node) {
  const RegRoot lm = RegRoot::LocalMachine;
  Write(RegView::Wow32, lm, machine_, "32-bit");
  EXPECT_EQ(Read(RegView::Native, lm, "\\SOFTWARE\\WOW6432Node\\" + name_), "32-bit");
  EXPECT_EQ(Read(RegView::Native, lm, machine_), "(missing)");
  // A path that names WOW6432Node already is not redirected again.
  EXPECT_EQ(Read(RegView::Wow32, lm, "\\SOFTWARE\\WOW6432Node\\" + name_), "32-bit");

  // The two views hold two keys: writing one leaves the other as it was.
  Write(RegView::Native, lm, machine_, "64-bit");
  EXPECT_EQ(Read(RegView::Wow32, lm, machine_), "32-bit");
  EXPECT_EQ(Read(RegView::Native, lm, machine_), "64-bit");

  // Relative paths and created subkeys stay in the handle's view.
  TRegistry r(*backend_, RegView::Wow32);
  r.SetRootKey(lm);
  ASSERT_TRUE(r.OpenKey(machine_, false));
  ASSERT_TRUE(r.CreateKey("made"));
  ASSERT_TRUE(r.OpenKey("child", true));
  r.WriteString("v", "deep");
  EXPECT_EQ(Read(RegView::Native, lm, "\\SOFTWARE\\WOW6432Node\\" + name_ + "\\child"), "deep");
  EXPECT_EQ(Read(RegView::Native, lm, machine_ + "\\child"), "(missing)");
  EXPECT_TRUE(r.KeyExists(machine_ + "\\made"));
  r.SetView(RegView::Native);
  EXPECT_FALSE(r.KeyExists(machine_ + "\\made"));
}

TEST_P(RegistryContract, CurrentUserSoftwareIsOneKeyInBothViews) {
  const RegRoot cu = RegRoot::CurrentUser;
  Write(RegView::Wow32, cu, scratch_, "from 32");
  EXPECT_EQ(Read(RegView::Native, cu, scratch_), "from 32");
  EXPECT_EQ(Read(RegView::Native, cu, "\\Software\\WOW6432Node\\" + name_), "(missing)");
  Write(RegView::Native, cu, scratch_, "from 64");
  EXPECT_EQ(Read(RegView::Wow32, cu, scratch_), "from 64");
}

TEST_P(RegistryContract, Wow32ClassRegistrationIsBelowWow6432NodeOfClassesRoot) {
  const RegRoot cr = RegRoot::ClassesRoot;
  Write(RegView::Wow32, cr, clsid_, "32-bit class");
  EXPECT_EQ(Read(RegView::Native, cr, "\\WOW6432Node" + clsid_), "32-bit class");
  const RegRoot lm = RegRoot::LocalMachine;
  EXPECT_EQ(Read(RegView::Native, lm, "\\SOFTWARE\\Classes\\WOW6432Node" + clsid_), "32-bit class");
  EXPECT_EQ(Read(RegView::Native, cr, clsid_), "(missing)");
  Write(RegView::Native, cr, clsid_, "64-bit class");
  EXPECT_EQ(Read(RegView::Wow32, cr, clsid_), "32-bit class");
  EXPECT_EQ(Read(RegView::Native, lm, "\\SOFTWARE\\Classes" + clsid_), "64-bit class");
}

TEST_P(RegistryContract, DeleteKeyDeletesOnlyInItsOwnView) {
  for (auto [root, path] :
       {std::pair{RegRoot::LocalMachine, machine_}, std::pair{RegRoot::ClassesRoot, clsid_}}) {
    Write(RegView::Native, root, path + "\\sub", "64");
    Write(RegView::Wow32, root, path + "\\sub", "32");
    TRegistry wow(*backend_, RegView::Wow32);
    wow.SetRootKey(root);
    EXPECT_TRUE(wow.DeleteKey(path)) << path;
    EXPECT_FALSE(wow.KeyExists(path)) << path;
    EXPECT_FALSE(wow.DeleteKey(path)) << path;
    EXPECT_EQ(Read(RegView::Native, root, path + "\\sub"), "64") << path;

    Write(RegView::Wow32, root, path + "\\sub", "32");
    TRegistry native(*backend_);
    native.SetRootKey(root);
    EXPECT_TRUE(native.DeleteKey(path)) << path;
    EXPECT_FALSE(native.KeyExists(path)) << path;
    EXPECT_EQ(Read(RegView::Wow32, root, path + "\\sub"), "32") << path;
  }
}

TEST_P(RegistryContract, RawValuesComeBackWithTheirExactTypeAndBytes) {
  const std::string nul(2, '\0');
  const std::pair<std::string, RawRegValue> values[] = {
      {"SzNoTerminator", {1, Utf16Le("abc")}},
      {"SzOddBytes", {1, std::string("a\0b", 3)}},
      {"SzTwoTerminators", {1, Utf16Le("ab") + nul + nul}},
      {"EmptySz", {1, ""}},
      {"Expand", {2, Utf16Le("%TEMP%\\x") + nul}},
      {"Binary", {3, std::string("\0\x01\xFF", 3)}},
      {"EmptyBinary", {3, ""}},
      {"ShortDword", {4, "\x01\x02"}},
      {"Multi", {7, Utf16Le("a") + nul + Utf16Le("启动") + nul + nul}},
      {"Qword", {11, std::string("\x01\x02\x03\x04\x05\x06\x07\x80", 8)}},
      {"None", {0, ""}},
      {"NoneWithData", {0, "xyz"}},
      {"OddType", {0x12345, "\x7F"}},
  };
  struct Place {
    RegRoot root;
    std::string path;
  };
  // The 32-bit view first: below HKCU both views are one key, which ends with native values.
  for (RegView view : {RegView::Wow32, RegView::Native}) {
    for (const Place& at : {Place{RegRoot::CurrentUser, scratch_.substr(1)},
                            Place{RegRoot::LocalMachine, machine_.substr(1)}}) {
      std::unique_ptr<RegKey> key = backend_->Open(at.root, nullptr, at.path, true, view);
      ASSERT_TRUE(key) << at.path;
      for (const auto& [name, raw] : values) {
        RawRegValue mine = raw;
        mine.bytes += view == RegView::Wow32 ? "32" : "";  // the views hold their own values
        ASSERT_TRUE(backend_->SetRaw(*key, name, mine)) << name;
      }
      for (const auto& [name, raw] : values) {
        RawRegValue mine = raw;
        mine.bytes += view == RegView::Wow32 ? "32" : "";
        EXPECT_EQ(backend_->QueryRaw(*key, name), mine) << name << " " << at.path;
      }
      EXPECT_EQ(backend_->ValueNames(*key).size(), std::size(values));
    }
  }
  // Native HKLM kept its own values; text set raw reads as text up to its first NUL.
  std::unique_ptr<RegKey> key = backend_->Open(RegRoot::LocalMachine, nullptr, machine_.substr(1),
                                               false, RegView::Native);
  ASSERT_TRUE(key);
  EXPECT_EQ(backend_->QueryRaw(*key, "OddType"), (RawRegValue{0x12345, "\x7F"}));
  EXPECT_FALSE(backend_->QueryRaw(*key, "missing"));
  key = backend_->Open(RegRoot::LocalMachine, nullptr, machine_.substr(1), false, RegView::Wow32);
  ASSERT_TRUE(key);
  EXPECT_EQ(backend_->QueryRaw(*key, "OddType"), (RawRegValue{0x12345,
                                                              "\x7F"
                                                              "32"}));
  TRegistry r(*backend_);
  ASSERT_TRUE(r.OpenKey(scratch_, false));
  EXPECT_EQ(r.ReadString("SzNoTerminator"), "abc");
  EXPECT_EQ(r.ReadString("SzOddBytes"), "a");
  EXPECT_EQ(r.ReadString("EmptySz"), "");
  EXPECT_EQ(r.GetDataType("Qword"), RegDataType::Other);
  // Set through the parsed form, a value reads raw in its stored form.
  r.WriteString("Parsed", "文本");
  std::unique_ptr<RegKey> cu = backend_->Open(RegRoot::CurrentUser, nullptr, scratch_.substr(1),
                                              false);
  ASSERT_TRUE(cu);
  EXPECT_EQ(backend_->QueryRaw(*cu, "Parsed"), (RawRegValue{1, Utf16Le("文本") + nul}));
}

TEST_P(RegistryContract, LoneSurrogatesInNamesAndTextComeBackAsTheSameUnits) {
  // "Run", a lone high surrogate, "x"; and text with a lone low surrogate.
  const std::string nameUnits = std::string("R\0u\0n\0\x00\xD8x\0", 10);
  const std::string textUnits = std::string("a\0\x00\xDC", 4);
  const std::string name = FromUtf16Le(nameUnits);
  const std::string text = FromUtf16Le(textUnits);
  ASSERT_EQ(name, "Run\xED\xA0\x80x");
  TRegistry r(*backend_);
  ASSERT_TRUE(r.OpenKey(scratch_ + "\\k" + name, true));
  r.WriteString(name, text);
  EXPECT_TRUE(Has(r.GetValueNames(), name));
  EXPECT_EQ(r.ReadString(name), text);
  std::unique_ptr<RegKey> key = backend_->Open(RegRoot::CurrentUser, nullptr,
                                               scratch_.substr(1) + "\\k" + name, false);
  ASSERT_TRUE(key);
  EXPECT_EQ(backend_->QueryRaw(*key, name), (RawRegValue{1, textUnits + std::string(2, '\0')}));
  // The same units set raw under a name that differs only there are another value.
  const std::string other = FromUtf16Le(std::string("R\0u\0n\0\x01\xD8x\0", 10));
  ASSERT_TRUE(backend_->SetRaw(*key, other, {3, "o"}));
  EXPECT_EQ(backend_->QueryRaw(*key, name)->type, 1u);
  EXPECT_EQ(backend_->ValueNames(*key).size(), 2u);
  r.CloseKey();
  ASSERT_TRUE(r.OpenKey(scratch_, false));
  EXPECT_TRUE(Has(r.GetKeyNames(), "k" + name));
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

// Where the stand-in puts a key of each view, for the keys of the table of 64-bit Windows 7
// and later that Wine does not follow (it redirects all of HKEY_CLASSES_ROOT, shares
// HKCU\Software\Classes\CLSID and redirects Classes\WOW6432Node a second time).
TEST(MemoryRegistry, ViewsFollowTheWow64TableOfWindows) {
  using P = test::MemoryRegistry::Place;
  auto at = [](RegRoot root, const std::string& path, RegView view) {
    P p = test::MemoryRegistry::Physical(root, path, view);
    return std::string(p.root == RegRoot::LocalMachine ? "HKLM\\" : "HKCU\\") + p.path;
  };
  const RegView n = RegView::Native, w = RegView::Wow32;
  const RegRoot lm = RegRoot::LocalMachine, cu = RegRoot::CurrentUser, cr = RegRoot::ClassesRoot;
  const std::string run = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  EXPECT_EQ(at(lm, run, n), "HKLM\\" + run);
  EXPECT_EQ(at(lm, "\\" + run + "\\", w),
            "HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run");
  EXPECT_EQ(at(lm, "Software", w), "HKLM\\Software\\WOW6432Node");
  EXPECT_EQ(at(lm, "SOFTWARE\\Microsoft\\Internet Explorer\\Toolbar", w),
            "HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Internet Explorer\\Toolbar");
  // Shared keys below HKLM\SOFTWARE, and everything outside it.
  EXPECT_EQ(at(lm, "SOFTWARE\\Policies\\Microsoft", w), "HKLM\\SOFTWARE\\Policies\\Microsoft");
  EXPECT_EQ(at(lm, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System", w),
            "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System");
  EXPECT_EQ(at(lm, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PoliciesX", w),
            "HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\PoliciesX");
  EXPECT_EQ(at(lm, "SYSTEM\\CurrentControlSet", w), "HKLM\\SYSTEM\\CurrentControlSet");
  // Classes: shared, with CLSID and its kin redirected; HKCR is HKLM\SOFTWARE\Classes.
  EXPECT_EQ(at(cr, "CLSID\\{x}", n), "HKLM\\SOFTWARE\\Classes\\CLSID\\{x}");
  EXPECT_EQ(at(cr, "CLSID\\{x}", w), "HKLM\\SOFTWARE\\Classes\\WOW6432Node\\CLSID\\{x}");
  EXPECT_EQ(at(lm, "SOFTWARE\\Classes\\Interface\\{i}", w),
            "HKLM\\SOFTWARE\\Classes\\WOW6432Node\\Interface\\{i}");
  EXPECT_EQ(at(cr, "txtfile\\shell", w), "HKLM\\SOFTWARE\\Classes\\txtfile\\shell");
  EXPECT_EQ(at(cr, "WOW6432Node\\CLSID\\{x}", w),
            "HKLM\\SOFTWARE\\Classes\\WOW6432Node\\CLSID\\{x}");
  // The compatibility links.
  EXPECT_EQ(at(lm, "SOFTWARE\\WOW6432Node\\Classes\\CLSID\\{x}", n),
            "HKLM\\SOFTWARE\\Classes\\WOW6432Node\\CLSID\\{x}");
  EXPECT_EQ(at(cr, "WOW6432Node\\AppID\\{a}", n), "HKLM\\SOFTWARE\\Classes\\AppID\\{a}");
  // HKCU: shared, except the redirected class keys.
  EXPECT_EQ(at(cu, "Software\\Microsoft\\Internet Explorer\\MenuExt", w),
            "HKCU\\Software\\Microsoft\\Internet Explorer\\MenuExt");
  EXPECT_EQ(at(cu, "Software\\Classes\\CLSID\\{x}", w),
            "HKCU\\Software\\Classes\\WOW6432Node\\CLSID\\{x}");
  EXPECT_EQ(at(cu, "Software\\Classes\\.txt", w), "HKCU\\Software\\Classes\\.txt");

  // Scripting in a view lands where the same view reads.
  test::MemoryRegistry m;
  m.SetString(lm, run, "old", "x.exe", w);
  EXPECT_FALSE(m.Get(lm, run, "old"));
  auto old = m.Get(lm, "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run", "old");
  ASSERT_TRUE(old);
  EXPECT_EQ(old->text, "x.exe");
  TRegistry r(m, w);
  r.SetRootKey(lm);
  ASSERT_TRUE(r.OpenKey("\\" + run, false));
  EXPECT_EQ(r.ReadString("old"), "x.exe");
}

// A key opened below an open key is found in the view that open names, from the logical
// path: the handle does not carry the view it was opened in.
TEST(MemoryRegistry, AKeyBelowAnOpenKeyIsFoundInTheViewOfItsOwnOpen) {
  test::MemoryRegistry m;
  const RegRoot lm = RegRoot::LocalMachine;
  const std::string ex = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx";
  m.SetString(lm, ex + "\\0001", "v", "native");
  m.SetString(lm, ex + "\\0001", "v", "32-bit", RegView::Wow32);
  auto read = [&](RegView parentView, RegView childView) {
    auto parent = m.Open(lm, nullptr, ex, false, parentView);
    if (!parent) return std::string("no parent");
    auto child = m.Open(lm, parent.get(), "0001", false, childView);
    if (!child) return std::string("no child");
    auto v = m.Query(*child, "v");
    return v ? v->text : std::string("no value");
  };
  EXPECT_EQ(read(RegView::Wow32, RegView::Wow32), "32-bit");
  EXPECT_EQ(read(RegView::Native, RegView::Native), "native");
  EXPECT_EQ(read(RegView::Wow32, RegView::Native), "native");
  EXPECT_EQ(read(RegView::Native, RegView::Wow32), "32-bit");
  // Deleting below an open key takes the same path.
  auto parent = m.Open(lm, nullptr, ex, false, RegView::Wow32);
  ASSERT_TRUE(parent);
  EXPECT_TRUE(m.DeleteTree(lm, parent.get(), "0001", RegView::Native));
  EXPECT_FALSE(m.HasKey(lm, ex + "\\0001"));
  EXPECT_TRUE(m.HasKey(lm, ex + "\\0001", RegView::Wow32));
}

}  // namespace
}  // namespace mt
