// Hosts-file lines for well-known sites as rows of the "IE修复" list: redirections and blocks,
// the file found where the system keeps it, the repair's exact bytes, its backup and a
// read-only file.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "app/Error.h"
#include "app/HostsPath.h"
#include "browser/tests/HijackFixture.h"

namespace mt {
namespace {

using namespace test;
using namespace std::string_literals;

class HostsRows : public Hijacks {
 protected:
  std::string windows = root + "\\Windows";
  std::string etc = windows + "\\System32\\drivers\\etc";
  std::string hosts = etc + "\\hosts";

  void SetUp() override {
    Hijacks::SetUp();
    ts.files.CreateDirectories(etc);
    ts.services.environment = [this](const std::string& name) -> std::optional<std::string> {
      if (EqualsNoCase(name, "SystemRoot")) return windows;
      return std::nullopt;
    };
  }
  void Seed(const std::string& bytes) { WriteWholeFile(PosixFileSystem::ToPosix(hosts), bytes); }
  std::string Now() { return ReadWholeFile(PosixFileSystem::ToPosix(hosts)); }
  std::vector<std::string> Captions() {
    std::vector<std::string> out;
    for (const AddOnRow* r : HijackRows()) out.push_back(r->caption);
    return out;
  }
  void RepairAll(const std::vector<std::string>& captions) {
    page.TabSheet3Show();
    for (const std::string& c : captions) Tick(c);
    page.SbiedefaultClick();
    ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  }
};

const std::string kHarmless =
    "# Copyright (c) 1993-2009 Microsoft Corp.\r\n"
    "#\r\n"
    "#      102.54.94.97     rhino.acme.com          # source server\r\n"
    "# 1.2.3.4 www.baidu.com\r\n"
    "127.0.0.1       localhost\r\n"
    "::1             localhost\r\n"
    "192.168.1.10    nas.lan printer.lan\r\n"
    "10.0.0.2        notgoogle.com\r\n";

TEST_F(HostsRows, AFileOfHarmlessLinesOrNoFileGivesNoRow) {
  page.TabSheet3Show();
  EXPECT_TRUE(HijackRows().empty());  // no hosts file at all
  Seed(kHarmless);
  page.TabSheet3Show();
  EXPECT_TRUE(HijackRows().empty());
  // Without the environment the file is not looked for.
  Seed(kHarmless + "1.2.3.4 www.baidu.com\r\n");
  ts.services.environment = nullptr;
  page.TabSheet3Show();
  EXPECT_TRUE(HijackRows().empty());
}

TEST_F(HostsRows, RedirectionsAndBlocksAreRowsOfTheirOwnCaption) {
  Seed(kHarmless +
       "1.2.3.4 www.baidu.com baidu.com\r\n"
       "0.0.0.0 update.microsoft.com\n"
       "::1 x.kaspersky.com\r\n"
       "5.6.7.8 mine.lan www.google.com.hk # proxy\r\n"
       "127.0.0.1 ads.example.com\r\n");
  page.TabSheet3Show();
  const std::vector<std::string> want = {
      "hosts 重定向（搜索引擎）：www.baidu.com、baidu.com → 1.2.3.4",
      "hosts 屏蔽（系统更新，可能是您自己添加的）：update.microsoft.com → 0.0.0.0",
      "hosts 屏蔽（安全软件，可能是您自己添加的）：x.kaspersky.com → ::1",
      "hosts 重定向（搜索引擎）：www.google.com.hk → 5.6.7.8（此行另有 1 个名称，保留）",
  };
  EXPECT_EQ(Captions(), want);
  auto rows = HijackRows();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0]->column2, hosts + "，第 9 行");
  EXPECT_EQ(rows[0]->column3, "删除此行");
  EXPECT_EQ(rows[3]->column3, "删除此行中的这些名称");
  // The file is the whole machine's: without administrator rights the repair leaves it.
  EXPECT_TRUE(IsMachineWide(*rows[0]->hijack, {}));
}

TEST_F(HostsRows, TheFolderDataBasePathNamesIsFollowedWithItsVariablesExpanded) {
  const std::string moved = root + "\\Moved\\etc";
  ts.files.CreateDirectories(moved);
  WriteWholeFile(PosixFileSystem::ToPosix(moved + "\\hosts"), "1.2.3.4 www.sogou.com\r\n");
  Seed("1.2.3.4 www.bing.com\r\n");  // the default place, no longer the system's
  {
    auto key = reg.Open(LM, nullptr, kTcpipParametersKey, true);
    ASSERT_TRUE(key);
    RegValue v;
    v.type = RegDataType::ExpandString;
    v.text = "%SystemRoot%\\..\\Moved\\etc\\";
    ASSERT_TRUE(reg.Set(*key, kHostsFolderValue, v));
  }
  page.TabSheet3Show();
  ASSERT_EQ(HijackRows().size(), 1u);
  EXPECT_EQ(HijackRows()[0]->caption, "hosts 重定向（搜索引擎）：www.sogou.com → 1.2.3.4");
  EXPECT_EQ(HijackRows()[0]->column2, windows + "\\..\\Moved\\etc\\hosts，第 1 行");
  // A variable that is not set leaves no path to trust: nothing is read.
  reg.SetString(LM, kTcpipParametersKey, kHostsFolderValue, "%NOSUCH%\\etc");
  page.TabSheet3Show();
  EXPECT_TRUE(HijackRows().empty());
}

TEST_F(HostsRows, TickedLinesGoAndEveryOtherByteStaysInEveryEncoding) {
  struct Case {
    const char* name;
    std::string before, after;
  };
  auto le = [](const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) out += std::string{c, '\0'};
    return out;
  };
  const std::string gbk = "# \xB0\xD9\xB6\xC8\xB5\xC4\xB5\xD8\xD6\xB7\r\n";
  const std::vector<Case> cases = {
      {"crlf", "# c\r\n1.2.3.4 www.baidu.com\r\n0.0.0.0 www.bing.com\r\n10.1.1.1 a.lan\r\n",
       "# c\r\n0.0.0.0 www.bing.com\r\n10.1.1.1 a.lan\r\n"},
      {"lf", "1.2.3.4 www.baidu.com\n0.0.0.0 www.bing.com\n", "0.0.0.0 www.bing.com\n"},
      {"mixed", "a.lan\r\n1.2.3.4 www.baidu.com\n0.0.0.0 www.bing.com\r\n#\n",
       "a.lan\r\n0.0.0.0 www.bing.com\r\n#\n"},
      {"no final line end", "0.0.0.0 www.bing.com\r\n1.2.3.4 www.baidu.com",
       "0.0.0.0 www.bing.com\r\n"},
      {"gbk comment", gbk + "1.2.3.4 www.baidu.com # \xB0\xD9\r\n0.0.0.0 www.bing.com\r\n" + gbk,
       gbk + "0.0.0.0 www.bing.com\r\n" + gbk},
      {"utf-16", le("# c\r\n1.2.3.4 www.baidu.com\r\n0.0.0.0 www.bing.com\r\n"),
       le("# c\r\n0.0.0.0 www.bing.com\r\n")},
      {"nul", "1.2.3.4\0www.baidu.com\r\n0.0.0.0 www.bing.com\r\n"s, "0.0.0.0 www.bing.com\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Seed(c.before);
    RepairAll({"hosts 重定向（搜索引擎）：www.baidu.com → 1.2.3.4"});
    EXPECT_EQ(Now(), c.after);
    // The set holds the file as it was, byte for byte.
    EXPECT_EQ(ReadWholeFile(PosixFileSystem::ToPosix(Sets().back() + "\\hosts")), c.before);
    // The block, left unticked, is still listed.
    ASSERT_EQ(HijackRows().size(), 1u);
    EXPECT_EQ(HijackRows()[0]->caption.rfind("hosts 屏蔽（搜索引擎", 0), 0u);
  }
}

TEST_F(HostsRows, SeveralLinesOfOneFileAndTwinLinesAreTakenOutOneByOne) {
  const std::string before =
      "1.2.3.4 www.baidu.com\r\n"
      "# between\r\n"
      "1.2.3.4 www.baidu.com\n"
      "5.6.7.8 www.google.com mine.lan\r\n"
      "9.9.9.9 www.so.com";
  Seed(before);
  page.TabSheet3Show();
  ASSERT_EQ(HijackRows().size(), 4u);
  for (size_t i = 0; i < view.rows.size(); ++i)
    if (view.rows[i].caption.rfind("hosts ", 0) == 0 &&
        view.rows[i].column2.find("第 1 行") == std::string::npos)
      view.ticks[i] = true;
  page.SbiedefaultClick();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  // The second of the twin lines went (with its LF), the first stays with its CRLF.
  EXPECT_EQ(Now(), "1.2.3.4 www.baidu.com\r\n# between\r\n5.6.7.8 mine.lan\r\n");
  // One copy of the file, as it was before the first line went.
  EXPECT_EQ(ReadWholeFile(PosixFileSystem::ToPosix(Sets().back() + "\\hosts")), before);
  EXPECT_EQ(ts.files.Find(Sets().back(), "hosts*").size(), 1u);
  ASSERT_EQ(HijackRows().size(), 1u);
  EXPECT_EQ(HijackRows()[0]->column2, hosts + "，第 1 行");
}

TEST_F(HostsRows, AReadOnlyFileIsRepairedAndStaysReadOnly) {
  const std::string before = "1.2.3.4 www.baidu.com\r\n127.0.0.1 localhost\r\n";
  Seed(before);
  const std::string posix = PosixFileSystem::ToPosix(hosts);
  ASSERT_EQ(::chmod(posix.c_str(), 0444), 0);
  RepairAll({"hosts 重定向（搜索引擎）：www.baidu.com → 1.2.3.4"});
  EXPECT_EQ(Now(), "127.0.0.1 localhost\r\n");
  auto meta = ts.files.Meta(hosts);
  ASSERT_TRUE(meta);
  EXPECT_EQ(meta->attributes & 1u, 1u);
  struct stat st {};
  ASSERT_EQ(::stat(posix.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);
  // The set's entry records the read-only mark it had, for the restore to give back.
  const nlohmann::json manifest = nlohmann::json::parse(
      ReadWholeFile(PosixFileSystem::ToPosix(Sets().back() + "\\" + kBackupManifestName)));
  int files = 0;
  for (const auto& item : manifest["items"]) {
    if (item["kind"] != "file") continue;
    ++files;
    EXPECT_EQ(item["before"]["attributes"], 1) << item.dump();
    EXPECT_EQ(item["after"]["attributes"], 1) << item.dump();
  }
  EXPECT_EQ(files, 1);
  ::chmod(posix.c_str(), 0644);
}

// The disk as the tests need it: the hosts file refused to readers, or as large as a stream
// can say it is.
class HostsDisk : public PosixFileSystem {
 public:
  enum class Mode { Plain, Refuse, Huge } mode = Mode::Plain;
  std::string hosts;
  std::unique_ptr<FileStream> OpenRead(const std::string& path) override {
    if (path == hosts && mode == Mode::Refuse)
      throw AppError("Cannot open file \"" + path + "\". 拒绝访问。");
    auto stream = PosixFileSystem::OpenRead(path);
    if (path != hosts || mode != Mode::Huge) return stream;
    struct Huge : FileStream {
      size_t Read(void*, size_t) override { return 0; }
      size_t Write(const void*, size_t) override { return 0; }
      uint64_t Size() override { return kHostsReadLimit + 1; }
    };
    return std::make_unique<Huge>();
  }
};

TEST_F(HostsRows, AFileThatCannotBeReadOrIsTooLargeIsARowThatChangesNothing) {
  HostsDisk disk;
  disk.hosts = hosts;
  ts.services.files = &disk;
  ts.files.CreateDirectories(hosts);  // a folder where the file should be: no file, no row
  page.TabSheet3Show();
  EXPECT_TRUE(HijackRows().empty());
  ts.files.RemoveFolder(hosts);
  Seed("1.2.3.4 www.baidu.com\r\n");
  for (auto [mode, caption] :
       {std::pair{HostsDisk::Mode::Refuse, std::string("hosts 文件无法检查：") + kCannotOpenFile},
        std::pair{HostsDisk::Mode::Huge, std::string("hosts 文件过大（64 MB），未读取")}}) {
    disk.mode = mode;
    page.TabSheet3Show();
    ASSERT_EQ(HijackRows().size(), 1u);
    EXPECT_EQ(HijackRows()[0]->caption, caption);
    EXPECT_EQ(HijackRows()[0]->column2, hosts);
    EXPECT_FALSE(HijackRows()[0]->hijack->repairable);
    Tick(caption);
    page.SbiedefaultClick();
    EXPECT_EQ(Now(), "1.2.3.4 www.baidu.com\r\n");
    EXPECT_EQ(ts.files.Find(Sets().back(), "hosts*").size(), 0u);
  }
}

}  // namespace
}  // namespace mt
