// The real process starter under Wine: the command line it builds reaches the program as the
// intended arguments, and a start below the desktop shell really gets the shell as parent.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>

#include "app/Text.h"
#include "vdrive/VirtualDrives.h"
#include "vdrive/win/WinProcessStarter.h"

namespace mt {
namespace {

std::wstring HelperPath() {
  wchar_t self[MAX_PATH] = L"";
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring dir(self);
  return dir.substr(0, dir.find_last_of(L'\\')) + L"\\vdrive_argecho.exe";
}

std::wstring TempFile(const wchar_t* name) {
  wchar_t dir[MAX_PATH] = L"";
  GetTempPathW(MAX_PATH, dir);
  return std::wstring(dir) + name;
}

// Runs the helper with `arguments` and returns what it wrote: parent id, then one argument
// a line.
std::vector<std::string> Echo(const std::string& arguments, HANDLE parent) {
  std::wstring out = TempFile(L"mt_argecho.txt");
  DeleteFileW(out.c_str());
  UniqueKernelHandle p = StartHiddenProcess(HelperPath(), L"\"" + out + L"\" " + Widen(arguments),
                                            parent);
  EXPECT_TRUE(p);
  if (!p) return {};
  EXPECT_EQ(WaitForSingleObject(p.get(), 20000), WAIT_OBJECT_0);
  std::ifstream in(Narrow(out), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  in.close();
  DeleteFileW(out.c_str());
  std::vector<std::string> lines = Split(text.str(), '\n');
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

TEST(WinProcessStarter, MappingArgumentsArriveAsDriveAndWholeFolder) {
  std::vector<std::string> got = Echo(MappingArguments("x:", "C:\\My Data"), nullptr);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(std::stoul(got[0]), GetCurrentProcessId());
  EXPECT_EQ(got[1], "x:");
  EXPECT_EQ(got[2], "C:\\My Data");
  // A folder ending in "\" keeps it and does not swallow the closing quote.
  got = Echo(MappingArguments("y:", "D:\\") + " /next", nullptr);
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[2], "D:\\");
  EXPECT_EQ(got[3], "/next");
  got = Echo(RemovalArguments("x:"), nullptr);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[2], "/d");
}

TEST(WinProcessStarter, StartWithAParentRunsBelowThatProcess) {
  // The desktop start hands the shell's process in here; any process we may create children
  // for shows the same.
  UniqueKernelHandle parent = StartHiddenProcess(HelperPath(), L"--wait", nullptr);
  ASSERT_TRUE(parent);
  std::vector<std::string> got = Echo("x: /d", parent.get());
  TerminateProcess(parent.get(), 0);
  EXPECT_EQ(WaitForSingleObject(parent.get(), 20000), WAIT_OBJECT_0);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(std::stoul(got[0]), GetProcessId(parent.get()));
  EXPECT_NE(std::stoul(got[0]), GetCurrentProcessId());
  EXPECT_EQ(got[1], "x:");
  EXPECT_EQ(got[2], "/d");
}

TEST(WinProcessStarter, SubstComesFromTheSystemFolder) {
  std::string path = Narrow(SystemProgramPath("subst.exe"));
  wchar_t sys[MAX_PATH] = L"";
  GetSystemDirectoryW(sys, MAX_PATH);
  EXPECT_TRUE(EqualsNoCase(path, Narrow(std::wstring(sys)) + "\\subst.exe")) << path;
  WinProcessStarter starter;
  // Same log-on session as the desktop here: nothing is started twice.
  EXPECT_FALSE(starter.SeparateDesktopSession());
  if (GetFileAttributesW(SystemProgramPath("subst.exe").c_str()) != INVALID_FILE_ATTRIBUTES) {
    EXPECT_TRUE(starter.StartHidden("subst.exe", "q: /d", LaunchSession::Own));
  }
  EXPECT_FALSE(starter.StartHidden("no-such-program-mt.exe", "", LaunchSession::Own));
}

}  // namespace
}  // namespace mt
