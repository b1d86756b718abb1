// Backup sets on the stand-ins: the export file's exact text for each kind of value, the
// 32-bit view's keys under their WOW6432Node names, and the files of a set.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/Backup.h"
#include "app/Path.h"
#include "app/Text.h"
#include "tests/support/StandIns.h"

namespace mt::test {
namespace {

RegValue Text(RegDataType type, const std::string& text) {
  RegValue v;
  v.type = type;
  v.text = text;
  return v;
}

RegValue Bytes(RegDataType type, const std::string& bytes, uint32_t rawType = 0) {
  RegValue v;
  v.type = type;
  v.bytes = bytes;
  v.rawType = rawType;
  return v;
}

TEST(RegFileText, EachValueTypeIsWrittenAsTheRegistryEditorExportsIt) {
  EXPECT_EQ(RegFileValueLine("QQ", Text(RegDataType::String, "\"C:\\Program Files\\qq.exe\" /s")),
            "\"QQ\"=\"\\\"C:\\\\Program Files\\\\qq.exe\\\" /s\"\r\n");
  EXPECT_EQ(RegFileValueLine("", Text(RegDataType::String, "默认")), "@=\"默认\"\r\n");
  EXPECT_EQ(RegFileValueLine("a\"b", Text(RegDataType::String, "")), "\"a\\\"b\"=\"\"\r\n");
  RegValue dword;
  dword.type = RegDataType::Integer;
  dword.dword = 0xDEADBEEF;
  EXPECT_EQ(RegFileValueLine("n", dword), "\"n\"=dword:deadbeef\r\n");
  dword.dword = 10;
  EXPECT_EQ(RegFileValueLine("n", dword), "\"n\"=dword:0000000a\r\n");
  EXPECT_EQ(RegFileValueLine("p", Text(RegDataType::ExpandString, "%A%")),
            "\"p\"=hex(2):25,00,41,00,25,00,00,00\r\n");
  EXPECT_EQ(RegFileValueLine("b", Bytes(RegDataType::Binary, std::string("\x02\x00\xff", 3))),
            "\"b\"=hex:02,00,ff\r\n");
  EXPECT_EQ(RegFileValueLine("e", Bytes(RegDataType::Binary, "")), "\"e\"=hex:\r\n");
  // A multi-string keeps its stored bytes and its type number.
  EXPECT_EQ(RegFileValueLine("m", Bytes(RegDataType::Other, std::string("a\0\0\0\0\0", 6), 7)),
            "\"m\"=hex(7):61,00,00,00,00,00\r\n");
  EXPECT_EQ(RegFileValueLine("q", Bytes(RegDataType::Other, std::string(8, '\x01'), 11)),
            "\"q\"=hex(b):01,01,01,01,01,01,01,01\r\n");
  // Text with a line break cannot stand in quotes: it goes as hex(1).
  EXPECT_EQ(RegFileValueLine("t", Text(RegDataType::String, "a\nb")),
            "\"t\"=hex(1):61,00,0a,00,62,00,00,00\r\n");
  // Characters beyond the basic plane become surrogate pairs.
  EXPECT_EQ(Utf16Le("\xF0\x9F\x98\x80"), std::string("\x3D\xD8\x00\xDE", 4));
}

TEST(RegFileText, LongHexDataIsWrappedLikeTheRegistryEditorDoes) {
  std::string line = RegFileValueLine("Data", Bytes(RegDataType::Binary, std::string(60, '\xab')));
  // First line: "Data"=hex: then bytes up to column 77, a backslash; then lines indented by
  // two blanks, each at most 80 characters.
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < line.size()) {
    size_t end = line.find("\r\n", pos);
    lines.push_back(line.substr(pos, end - pos));
    pos = end + 2;
  }
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(
      lines[0], "\"Data\"=hex:" + [] {
        std::string s;
        for (int i = 0; i < 22; ++i) s += "ab,";
        return s;
      }() + "\\");
  EXPECT_EQ(lines[1].substr(0, 5), "  ab,");
  EXPECT_EQ(lines[1].size(), 78u);
  // 22 bytes on the first line, 25 on each full one after it: 60 = 22 + 25 + 13.
  EXPECT_EQ(lines[2], "  ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab");
  size_t bytes = 0;
  for (const std::string& l : lines)
    bytes += static_cast<size_t>(std::count(l.begin(), l.end(), 'b'));
  EXPECT_EQ(bytes, 60u);
}

TEST(RegFileText, KeysOfThe32BitViewAreNamedByTheirPhysicalPath) {
  EXPECT_EQ(RegFileKeyName(RegRoot::LocalMachine, "\\SOFTWARE\\Microsoft\\Windows\\Run",
                           RegView::Wow32),
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\Run");
  EXPECT_EQ(RegFileKeyName(RegRoot::LocalMachine, "software\\x", RegView::Native),
            "HKEY_LOCAL_MACHINE\\software\\x");
  // Keys both views share keep their one name.
  EXPECT_EQ(RegFileKeyName(RegRoot::LocalMachine, "SOFTWARE\\Policies\\x", RegView::Wow32),
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\x");
  EXPECT_EQ(RegFileKeyName(RegRoot::CurrentUser, "Software\\x", RegView::Wow32),
            "HKEY_CURRENT_USER\\Software\\x");
  EXPECT_EQ(RegFileKeyName(RegRoot::ClassesRoot, "\\CLSID\\{1}", RegView::Wow32),
            "HKEY_CLASSES_ROOT\\WOW6432Node\\CLSID\\{1}");

  RegFileText file;
  file.AddKey("HKEY_CURRENT_USER\\a", {{"v", Text(RegDataType::String, "x")}});
  EXPECT_EQ(
      file.Text(),
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\a]\r\n\"v\"=\"x\"\r\n\r\n");
  std::string bytes = file.Bytes();
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(bytes.substr(0, 4), std::string("\xFF\xFEW\0", 4));
  EXPECT_EQ(bytes.size(), 2 + 2 * file.Text().size());
}

class DeletionBackupTest : public ::testing::Test {
 protected:
  std::string Win(std::string p) const {
    std::replace(p.begin(), p.end(), '/', '\\');
    return p;
  }
  std::string RegText(const std::string& folder) {
    std::string bytes = ReadWholeFile(PosixFileSystem::ToPosix(folder + "\\" + kBackupRegFileName));
    std::string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) text += bytes[i];  // ASCII content only
    return text;
  }
  TempDir tmp;
  TestServices ts;
};

TEST_F(DeletionBackupTest, ASetHoldsTheValuesKeysAndFilesInAFolderOfItsOwn) {
  const std::string exeDir = Win(tmp.path());
  ts.registry.SetString(RegRoot::LocalMachine, "SOFTWARE\\R", "v", "data", RegView::Wow32);
  ts.registry.SetDword(RegRoot::CurrentUser, "Software\\K", "d", 1);
  ts.registry.SetString(RegRoot::CurrentUser, "Software\\K\\Sub", "s", "t");
  WriteWholeFile(tmp / "x.lnk", "LNK");
  ts.files.CreateDirectories(exeDir + "\\other");
  WriteWholeFile(tmp / "other/x.lnk", "LNK2");

  DeletionBackup backup(ts.registry, ts.files, exeDir);
  backup.SaveValue(RegRoot::LocalMachine, RegView::Wow32, "\\SOFTWARE\\R", "v");
  backup.SaveValue(RegRoot::LocalMachine, RegView::Wow32, "\\SOFTWARE\\R", "missing");
  backup.SaveKey(RegRoot::CurrentUser, RegView::Native, "Software\\K");
  backup.SaveKey(RegRoot::CurrentUser, RegView::Native, "Software\\Gone");
  backup.SaveFile(exeDir + "\\x.lnk");
  backup.SaveFile(exeDir + "\\other\\x.lnk");
  backup.SaveFile(exeDir + "\\none.lnk");
  ASSERT_TRUE(backup.Write("2026-12-08 15.54.00"));
  EXPECT_EQ(backup.Folder(), exeDir + "\\备份\\2026-12-08 15.54.00");
  EXPECT_EQ(RegText(backup.Folder()),
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\R]\r\n\"v\"=\"data\"\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\K]\r\n\"d\"=dword:00000001\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\K\\Sub]\r\n\"s\"=\"t\"\r\n\r\n");
  EXPECT_EQ(ReadWholeFile(tmp / "备份/2026-12-08 15.54.00/x.lnk"), "LNK");
  EXPECT_EQ(ReadWholeFile(tmp / "备份/2026-12-08 15.54.00/x (2).lnk"), "LNK2");
  EXPECT_EQ(backup.CopyOf(exeDir + "\\other\\x.lnk"), backup.Folder() + "\\x (2).lnk");
  EXPECT_EQ(backup.CopyOf(exeDir + "\\none.lnk"), "");

  // A second action in the same second gets a folder of its own.
  DeletionBackup again(ts.registry, ts.files, exeDir);
  again.SaveKey(RegRoot::CurrentUser, RegView::Native, "Software\\K\\Sub");
  ASSERT_TRUE(again.Write("2026-12-08 15.54.00"));
  EXPECT_EQ(again.Folder(), exeDir + "\\备份\\2026-12-08 15.54.00 (2)");
}

// File names as Windows compares them: the letters of the file-name part folded to lower
// case, Latin-1 letters (two UTF-8 bytes, C3 80 to C3 9E) as well as A to Z.
class CaseFoldingFileSystem : public FileSystem {
 public:
  explicit CaseFoldingFileSystem(FileSystem& inner) : inner_(inner) {}
  static std::string Fold(const std::string& path) {
    std::string out = path;
    for (size_t i = path.find_last_of('\\') + 1; i < out.size(); ++i) {
      unsigned char c = static_cast<unsigned char>(out[i]);
      if (c >= 'A' && c <= 'Z') out[i] = static_cast<char>(c + 32);
      if (c == 0xC3 && i + 1 < out.size()) {
        unsigned char d = static_cast<unsigned char>(out[i + 1]);
        if (d >= 0x80 && d <= 0x9E && d != 0x97) out[i + 1] = static_cast<char>(d + 0x20);
        ++i;
      }
    }
    return out;
  }
  std::unique_ptr<FileStream> OpenRead(const std::string& p) override {
    return inner_.OpenRead(Fold(p));
  }
  std::unique_ptr<FileStream> Create(const std::string& p) override {
    return inner_.Create(Fold(p));
  }
  bool FileExists(const std::string& p) override { return inner_.FileExists(Fold(p)); }
  bool DirectoryExists(const std::string& p) override { return inner_.DirectoryExists(Fold(p)); }
  bool RemoveFile(const std::string& p) override { return inner_.RemoveFile(Fold(p)); }
  std::vector<FindEntry> Find(const std::string& f, const std::string& pattern) override {
    return inner_.Find(f, pattern);
  }
  bool CreateDirectories(const std::string& p) override { return inner_.CreateDirectories(p); }
  void Rename(const std::string& from, const std::string& to) override {
    inner_.Rename(Fold(from), Fold(to));
  }
  std::string FullPath(const std::string& p) override { return inner_.FullPath(p); }

 private:
  FileSystem& inner_;
};

TEST_F(DeletionBackupTest, FilesWhoseNamesDifferOnlyInLetterCaseNeverOverwriteEachOther) {
  const std::string exeDir = Win(tmp.path());
  ts.files.CreateDirectories(exeDir + "\\a");
  ts.files.CreateDirectories(exeDir + "\\b");
  // A to Z: told apart when the set is put together, on any file system.
  WriteWholeFile(tmp / "a/Mail.lnk", "first");
  WriteWholeFile(tmp / "b/MAIL.lnk", "second");
  {
    DeletionBackup backup(ts.registry, ts.files, exeDir);
    backup.SaveFile(exeDir + "\\a\\Mail.lnk");
    backup.SaveFile(exeDir + "\\b\\MAIL.lnk");
    ASSERT_TRUE(backup.Write("s1"));
    const std::string first = backup.CopyOf(exeDir + "\\a\\Mail.lnk");
    const std::string second = backup.CopyOf(exeDir + "\\b\\MAIL.lnk");
    EXPECT_FALSE(SamePathText(first, second)) << first << " / " << second;
    EXPECT_EQ(ReadWholeFile(PosixFileSystem::ToPosix(first)), "first");
    EXPECT_EQ(ReadWholeFile(PosixFileSystem::ToPosix(second)), "second");
  }
  // Other letters: the file system's own rule decides, as NTFS does for "Ä" and "ä".
  CaseFoldingFileSystem folding(ts.files);
  const std::string upper = exeDir + "\\a\\\xC3\x84rger.lnk",
                    lower = exeDir + "\\b\\\xC3\xA4rger.lnk";
  folding.Create(upper)->Write("one", 3);
  folding.Create(lower)->Write("two", 3);
  DeletionBackup backup(ts.registry, folding, exeDir);
  backup.SaveFile(upper);
  backup.SaveFile(lower);
  ASSERT_TRUE(backup.Write("s2"));
  const std::string first = backup.CopyOf(upper), second = backup.CopyOf(lower);
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(second.empty());
  auto read = [&](const std::string& path) {
    std::string bytes(8, '\0');
    bytes.resize(folding.OpenRead(path)->Read(bytes.data(), bytes.size()));
    return bytes;
  };
  EXPECT_EQ(read(first), "one");
  EXPECT_EQ(read(second), "two");
  EXPECT_EQ(second, backup.Folder() + "\\\xC3\xA4rger (2).lnk");
}

TEST_F(DeletionBackupTest, AFolderThatCannotBeMadeFailsTheWrite) {
  // A file where the backup folder should be.
  WriteWholeFile(tmp / "备份", "not a folder");
  ts.registry.SetString(RegRoot::CurrentUser, "Software\\K", "v", "x");
  DeletionBackup backup(ts.registry, ts.files, Win(tmp.path()));
  backup.SaveValue(RegRoot::CurrentUser, RegView::Native, "Software\\K", "v");
  EXPECT_FALSE(backup.Write("s"));
}

TEST_F(DeletionBackupTest, OpeningTheBackupFolderMakesItFirst) {
  ts.services.exeDir = Win(tmp.path());
  OpenBackupFolder(ts.services, nullptr);
  EXPECT_TRUE(ts.files.DirectoryExists(Win(tmp.path()) + "\\备份"));
  ASSERT_EQ(ts.shell.opens.size(), 1u);
  EXPECT_EQ(ts.shell.opens[0].file, Win(tmp.path()) + "\\备份");
  EXPECT_EQ(ts.shell.opens[0].verb, "open");
}

}  // namespace
}  // namespace mt::test
