// Reading back the registry export files of the backup sets, on files written by the
// program's own writer (RegFileText, RegFileValueLine, RegFileKeyName).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/Backup.h"
#include "app/Error.h"
#include "app/RegFileReader.h"
#include "app/Text.h"
#include "tests/support/StandIns.h"

namespace mt {
namespace {

using Op = RegFileEntry::Op;
const RegRoot kCr = RegRoot::ClassesRoot, kCu = RegRoot::CurrentUser, kLm = RegRoot::LocalMachine;
const RegView kNative = RegView::Native, kWow = RegView::Wow32;

RegValue Text(const std::string& text, RegDataType type = RegDataType::String) {
  RegValue v;
  v.type = type;
  v.text = text;
  return v;
}
RegValue Dword(uint32_t d) {
  RegValue v;
  v.type = RegDataType::Integer;
  v.dword = d;
  return v;
}
RegValue Bytes(RegDataType type, const std::string& bytes, uint32_t rawType = 0) {
  RegValue v;
  v.type = type;
  v.bytes = bytes;
  v.rawType = rawType;
  return v;
}

// The 1-based line of `text` on which `needle` starts.
int LineOf(const std::string& text, const std::string& needle) {
  const size_t at = text.find(needle);
  EXPECT_NE(at, std::string::npos) << needle;
  int line = 1;
  for (size_t i = 0; i < at && i < text.size(); ++i)
    if (text[i] == '\n') ++line;
  return line;
}

TEST(RegFileReader, KeyNamesComeBackAsTheProgramNamesTheKey) {
  struct Case {
    RegRoot root;
    std::string path;
    RegView view;
    // What the name reads back as: the view is native wherever both views share the key.
    RegView readView;
    std::string readPath;
  };
  const Case cases[] = {
      {kLm, "SOFTWARE\\Microsoft\\Run", kWow, kWow, "SOFTWARE\\Microsoft\\Run"},
      {kLm, "\\Software\\X\\", kWow, kWow, "Software\\X"},
      {kLm, "SOFTWARE\\Microsoft\\Run", kNative, kNative, "SOFTWARE\\Microsoft\\Run"},
      {kLm, "SOFTWARE\\Policies\\Google", kWow, kNative, "SOFTWARE\\Policies\\Google"},
      {kLm, "SOFTWARE\\Classes\\txtfile", kWow, kNative, "SOFTWARE\\Classes\\txtfile"},
      {kLm, "SOFTWARE", kWow, kNative, "SOFTWARE"},
      // A key of the native view whose path names WOW6432Node itself.
      {kLm, "SOFTWARE\\WOW6432Node\\Classes\\x", kNative, kNative,
       "SOFTWARE\\WOW6432Node\\Classes\\x"},
      {kLm, "SOFTWARE\\WOW6432Node\\Tencent", kNative, kWow, "SOFTWARE\\Tencent"},
      {kLm, "SOFTWARE\\wow6432node\\Tencent", kNative, kNative, "SOFTWARE\\wow6432node\\Tencent"},
      {kLm, "SYSTEM\\CurrentControlSet", kWow, kNative, "SYSTEM\\CurrentControlSet"},
      {kCr, "CLSID\\{0A}\\InprocServer32", kWow, kWow, "CLSID\\{0A}\\InprocServer32"},
      {kCr, "Media Type\\x", kWow, kWow, "Media Type\\x"},
      {kCr, "WOW6432Node\\AppID\\{0A}", kNative, kNative, "WOW6432Node\\AppID\\{0A}"},
      {kCr, "txtfile\\shell", kWow, kNative, "txtfile\\shell"},
      {kCu, "Software\\中文\\键", kWow, kNative, "Software\\中文\\键"},
      {kCu, "", kNative, kNative, ""},
  };
  for (const Case& c : cases) {
    const std::string name = RegFileKeyName(c.root, c.path, c.view);
    std::optional<RegFileKey> key = ParseRegFileKeyName(name);
    ASSERT_TRUE(key) << name;
    EXPECT_EQ(key->root, c.root) << name;
    EXPECT_EQ(key->view, c.readView) << name;
    EXPECT_EQ(key->keyPath, c.readPath) << name;
    EXPECT_EQ(RegFileKeyName(key->root, key->keyPath, key->view), name);
  }
  for (const char* unknown : {"HKEY_USERS\\.DEFAULT", "HKLM\\SOFTWARE", "hkey_current_user\\x", "",
                              "HKEY_CURRENT_USER\\a\\\\b", "HKEY_CURRENT_USER\\a\\"})
    EXPECT_FALSE(ParseRegFileKeyName(unknown)) << unknown;
}

TEST(RegFileReader, EveryValueTypeComesBackWithItsExactBytes) {
  std::string longBinary;
  for (int i = 0; i < 300; ++i) longBinary += static_cast<char>(i * 7);
  const std::string multi = Utf16Le("a") + std::string(2, '\0') + Utf16Le("启动") +
                            std::string(4, '\0');
  const std::vector<std::pair<std::string, RegValue>> values = {
      {"Plain", Text("C:\\Program Files\\a.exe \"%1\"")},
      {"", Text("default value")},
      {"Lines", Text("first\r\nsecond")},  // written as hex(1)
      {"Expand", Text("%SystemRoot%\\system32", RegDataType::ExpandString)},
      {"Empty", Text("")},
      {"中文名称", Text("中文数据，带标点。")},
      {"q\"uo\\te\\\\d\"", Text("\\\\server\\share\"")},
      {"Dword", Dword(0xDEADBEEF)},
      {"Zero", Dword(0)},
      {"Binary", Bytes(RegDataType::Binary, longBinary)},
      {"EmptyBinary", Bytes(RegDataType::Binary, "")},
      {"Multi", Bytes(RegDataType::Other, multi, 7)},
      {"Qword", Bytes(RegDataType::Other, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8), 11)},
      {"None", Bytes(RegDataType::Other, "", 0)},
      {"Odd", Bytes(RegDataType::Other, std::string("\x00\xFF\x10", 3), 0x12345)},
      {"ShortDword", Bytes(RegDataType::Other, "ab\0", 4)},
  };
  RegFileText file;
  const std::string key = RegFileKeyName(kLm, "SOFTWARE\\Mirtak", kWow);
  file.AddKey(key, values);
  const std::string text = file.Text();
  // The long binary value takes many continuation lines.
  EXPECT_GT(LineOf(text, "\"EmptyBinary\""), LineOf(text, "\"Binary\"") + 10);

  for (const std::string& bytes : {file.Bytes(), text, "\xEF\xBB\xBF" + text}) {
    const std::vector<RegFileEntry> entries = ReadRegFile(bytes);
    ASSERT_EQ(entries.size(), values.size());
    for (size_t i = 0; i < values.size(); ++i) {
      const RegFileEntry& e = entries[i];
      const auto& [name, value] = values[i];
      EXPECT_EQ(e.op, Op::SetValue) << name;
      EXPECT_EQ(e.root, kLm);
      EXPECT_EQ(e.view, kWow);
      EXPECT_EQ(e.keyPath, "SOFTWARE\\Mirtak");
      EXPECT_EQ(e.name, name);
      EXPECT_EQ(e.value, RawFromValue(value)) << name;
      EXPECT_EQ(e.line, LineOf(text, RegFileValueLine(name, value))) << name;
    }
  }
}

TEST(RegFileReader, DeletionsAndEmptyKeysInBothViews) {
  RegFileText file;
  file.AddKeyDeletion(RegFileKeyName(kLm, "SOFTWARE\\Gone", kWow));
  file.AddValueDeletion(RegFileKeyName(kCu, "Software\\Run", kNative), "新值");
  file.AddValueDeletion(RegFileKeyName(kCr, "CLSID\\{1}", kWow), "");
  file.AddKey(RegFileKeyName(kCr, "CLSID\\{2}", kNative), {});
  file.AddKey(RegFileKeyName(kLm, "SOFTWARE\\Empty", kWow), {});
  file.AddKeyDeletion(RegFileKeyName(kCr, "CLSID\\{3}", kNative));
  const std::vector<RegFileEntry> entries = ReadRegFile(file.Bytes());
  struct Want {
    Op op;
    RegRoot root;
    RegView view;
    std::string keyPath, name;
    int line;
  };
  const Want want[] = {
      {Op::DeleteKey, kLm, kWow, "SOFTWARE\\Gone", "", 3},
      {Op::DeleteValue, kCu, kNative, "Software\\Run", "新值", 6},
      {Op::DeleteValue, kCr, kWow, "CLSID\\{1}", "", 9},
      {Op::Key, kCr, kNative, "CLSID\\{2}", "", 11},
      {Op::Key, kLm, kWow, "SOFTWARE\\Empty", "", 13},
      {Op::DeleteKey, kCr, kNative, "CLSID\\{3}", "", 15},
  };
  ASSERT_EQ(entries.size(), std::size(want)) << file.Text();
  for (size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].op, want[i].op) << i;
    EXPECT_EQ(entries[i].root, want[i].root) << i;
    EXPECT_EQ(entries[i].view, want[i].view) << i;
    EXPECT_EQ(entries[i].keyPath, want[i].keyPath) << i;
    EXPECT_EQ(entries[i].name, want[i].name) << i;
    EXPECT_EQ(entries[i].line, want[i].line) << i;
  }
  // A file with nothing below the first line holds nothing.
  EXPECT_TRUE(ReadRegFile(RegFileText().Bytes()).empty());
}

TEST(RegFileReader, LoneSurrogatesInNamesAndTextSurviveTheFile) {
  const std::string units = std::string("R\0u\0n\0\x00\xD8x\0", 10);
  const std::string name = FromUtf16Le(units);
  RegFileText file;
  file.AddKey(RegFileKeyName(kCu, "Software\\" + name, kNative), {{name, Text(name)}});
  const std::vector<RegFileEntry> entries = ReadRegFile(file.Bytes());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].keyPath, "Software\\" + name);
  EXPECT_EQ(Utf16Le(entries[0].name), units);
  EXPECT_EQ(entries[0].value.bytes, units + std::string(2, '\0'));
}

// The use the reader is for: a backup set written before a deletion, read back and put
// into the registry item by item, gives back every value as it was.
TEST(RegFileReader, ASetOfDeletionBackupPutsTheValuesBackAsTheyWere) {
  test::TempDir tmp;
  test::TestServices ts;
  test::MemoryRegistry& reg = ts.registry;
  std::string dir = tmp.path();
  std::replace(dir.begin(), dir.end(), '/', '\\');
  const std::string nul(2, '\0');
  const std::string lone = FromUtf16Le(std::string("k\0\x00\xDC", 4));
  struct Item {
    RegRoot root;
    RegView view;
    std::string path, name;
    RawRegValue raw;
  };
  std::string binary;
  for (int i = 0; i < 200; ++i) binary += static_cast<char>(255 - i);
  const std::vector<Item> items = {
      {kLm, kWow, "SOFTWARE\\Vendor", "Run", {1, Utf16Le("C:\\a b\\\"x\".exe") + nul}},
      {kLm, kWow, "SOFTWARE\\Vendor", "", {1, Utf16Le("第一行\r\n第二行") + nul}},
      {kLm, kWow, "SOFTWARE\\Vendor\\" + lone, lone, {1, Utf16Le(lone) + nul}},
      {kLm, kWow, "SOFTWARE\\Vendor", "Multi", {7, Utf16Le("a") + nul + Utf16Le("b") + nul + nul}},
      {kLm, kNative, "SOFTWARE\\Vendor", "Run", {2, Utf16Le("%ProgramFiles%\\v") + nul}},
      {kCu, kNative, "Software\\Vendor\\Sub", "n", {4, std::string("\x01\0\0\x80", 4)}},
      {kCu, kNative, "Software\\Vendor\\Sub", "b", {3, binary}},
      {kCu, kNative, "Software\\Vendor", "q", {11, std::string(8, '\x7F')}},
      {kCr, kWow, "CLSID\\{5}\\InprocServer32", "", {1, Utf16Le("v.dll") + nul}},
  };
  for (const Item& it : items) {
    std::unique_ptr<RegKey> key = reg.Open(it.root, nullptr, it.path, true, it.view);
    ASSERT_TRUE(key && reg.SetRaw(*key, it.name, it.raw)) << it.path;
  }
  reg.CreatePath(kCu, "Software\\Vendor\\Empty");
  DeletionBackup backup(reg, ts.files, dir);
  backup.SaveKey(kLm, kWow, "SOFTWARE\\Vendor");
  backup.SaveKey(kLm, kNative, "SOFTWARE\\Vendor");
  backup.SaveKey(kCu, kNative, "Software\\Vendor");
  backup.SaveKey(kCr, kWow, "CLSID\\{5}");
  backup.SaveOverwrite(kCu, kNative, "Software\\New\\Deeper", "v");
  ASSERT_TRUE(backup.Write("2026-12-09 10.00.00"));
  const std::vector<RegFileEntry> entries = ReadRegFile(test::ReadWholeFile(
      test::PosixFileSystem::ToPosix(backup.Folder() + "\\" + kBackupRegFileName)));

  // The action deletes; the undo puts each entry back.
  for (const auto& [root, view, path] :
       {std::tuple{kLm, kWow, "\\SOFTWARE\\Vendor"}, std::tuple{kLm, kNative, "\\SOFTWARE\\Vendor"},
        std::tuple{kCu, kNative, "\\Software\\Vendor"}, std::tuple{kCr, kWow, "\\CLSID\\{5}"}}) {
    TRegistry r(reg, view);
    r.SetRootKey(root);
    ASSERT_TRUE(r.DeleteKey(path)) << path;
  }
  reg.CreatePath(kCu, "Software\\New\\Deeper");
  for (const RegFileEntry& e : entries) {
    if (e.op == Op::DeleteKey) {
      reg.DeleteTree(e.root, nullptr, e.keyPath, e.view);
      continue;
    }
    std::unique_ptr<RegKey> key = reg.Open(e.root, nullptr, e.keyPath, true, e.view);
    ASSERT_TRUE(key) << e.keyPath;
    if (e.op == Op::SetValue) {
      ASSERT_TRUE(reg.SetRaw(*key, e.name, e.value));
    }
  }
  for (const Item& it : items) {
    std::unique_ptr<RegKey> key = reg.Open(it.root, nullptr, it.path, false, it.view);
    ASSERT_TRUE(key) << it.path;
    EXPECT_EQ(reg.QueryRaw(*key, it.name), it.raw) << it.path << " " << it.name;
  }
  EXPECT_TRUE(reg.HasKey(kCu, "Software\\Vendor\\Empty"));
  EXPECT_FALSE(reg.HasKey(kCu, "Software\\New"));
}

TEST(RegFileReader, BadInputNamesItsFirstBadLine) {
  const std::string head = "Windows Registry Editor Version 5.00\r\n\r\n";
  const std::string key = "[HKEY_CURRENT_USER\\Software\\X]\r\n";
  struct Case {
    std::string text;
    int line;
    std::string reason;
  };
  const Case cases[] = {
      {"Windows Registry Editor Version 4.00\r\n", 1, "第一行"},
      {"REGEDIT4\r\n" + key, 1, "第一行"},
      {"", 1, "第一行"},
      {head + "[HKEY_USERS\\x]\r\n", 3, "键名"},
      {head + "[HKEY_CURRENT_USER\\x\r\n", 3, "]"},
      {head + key + "\"a\"=\"1\"\r\nsome garbage\r\n", 5, "无法识别的行"},
      {head + key + "\"unterminated=\"1\"\r\n", 4, "="},
      {head + key + "\"a\"=\"open\r\n", 4, "引号没有结束"},
      {head + key + "\"a\"=\"1\"x\r\n", 4, "多余"},
      {head + key + "\"a\\n\"=\"1\"\r\n", 4, "“\\”"},
      {head + key + "\"a\"=hex:01,0g,03\r\n", 4, "十六进制"},
      {head + key + "\"a\"=hex:01,02,\\\r\n  03,zz\r\n", 5, "十六进制"},
      {head + key + "\"a\"=hex:01,\r\n", 4, "逗号"},
      {head + key + "\"a\"=hex:0102\r\n", 4, "十六进制"},
      {head + key + "\"a\"=hex(7x):00\r\n", 4, "类型"},
      {head + key + "\"a\"=hex:01,02,\\\r\n  03,\\\r\n", 5, "续行没有结束"},
      {head + key + "\"a\"=hex:01,\\\r\n\r\n", 5, "续行"},
      {head + key + "\"a\"=dword:1234\r\n", 4, "dword"},
      {head + key + "\"a\"=dword:1234567x\r\n", 4, "dword"},
      {head + key + "\"a\"=text\r\n", 4, "无法识别的数据"},
      {head + "\"a\"=\"1\"\r\n", 3, "前面没有键名"},
      {head + key + "\r\n\"a\"=\"1\"\r\n", 5, "前面没有键名"},
      {head + "[-HKEY_CURRENT_USER\\Software\\X]\r\n\"a\"=\"1\"\r\n", 4, "被删除"},
      {head + "[-HKEY_CURRENT_USER]\r\n", 3, "根键"},
  };
  for (const Case& c : cases) {
    for (const std::string& bytes : {c.text, std::string("\xFF\xFE") + Utf16Le(c.text)}) {
      try {
        ReadRegFile(bytes);
        ADD_FAILURE() << "accepted: " << c.text;
      } catch (const AppError& e) {
        const std::string what = e.what();
        EXPECT_EQ(what.rfind("第 " + std::to_string(c.line) + " 行：", 0), 0u) << what;
        EXPECT_NE(what.find(c.reason), std::string::npos) << what;
      }
    }
  }
  // A UTF-16 file that ends inside a unit.
  try {
    ReadRegFile("\xFF\xFE" + Utf16Le(head + key) + "\x22");
    ADD_FAILURE();
  } catch (const AppError& e) {
    EXPECT_STREQ(e.what(), "第 4 行：文件在一个字符的中间结束");
  }
}

}  // namespace
}  // namespace mt
