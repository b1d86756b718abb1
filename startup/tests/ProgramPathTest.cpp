// From a startup command line to the program it starts, on a made-up disk and environment.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "app/Path.h"
#include "startup/ProgramPath.h"

namespace mt::test {
namespace {

class ProgramPathTest : public ::testing::Test {
 protected:
  ProgramPathTest() {
    lookup.variable = [this](const std::string& name) -> std::optional<std::string> {
      auto it = env.find(PathKey(name));
      if (it == env.end()) return std::nullopt;
      return it->second;
    };
    lookup.exists = [this](const std::string& path) { return files.count(PathKey(path)) > 0; };
    lookup.searchFolders = {"C:\\Windows\\system32", "C:\\Windows"};
  }
  void File(const std::string& path) { files.insert(PathKey(path)); }
  ProgramRef Of(const std::string& command) { return ProgramOfCommand(command, lookup); }

  std::map<std::string, std::string> env{{"programfiles", "C:\\Program Files"},
                                         {"systemroot", "C:\\Windows"}};
  std::set<std::string> files;
  ProgramLookup lookup;
};

TEST_F(ProgramPathTest, QuotedAndUnquotedPathsWithBlanks) {
  File("C:\\Program Files\\My App\\app.exe");
  EXPECT_EQ(Of("\"C:\\Program Files\\My App\\app.exe\" /min").path,
            "C:\\Program Files\\My App\\app.exe");
  // Unquoted: the shortest text up to a blank that is a file, as the system tries it.
  EXPECT_EQ(Of("C:\\Program Files\\My App\\app.exe /min -x").path,
            "C:\\Program Files\\My App\\app.exe");
  EXPECT_EQ(Of("  C:\\Program Files\\My App\\app /min").path, "C:\\Program Files\\My App\\app.exe");
  File("C:\\Program.exe");
  EXPECT_EQ(Of("C:\\Program Files\\My App\\app.exe").path, "C:\\Program.exe");
  EXPECT_EQ(Of("\"C:\\Program Files\\My App\\app.exe\"").path,
            "C:\\Program Files\\My App\\app.exe");
  // A missing program: its first word, without a list's commas; a quote left open.
  EXPECT_EQ(Of("D:\\gone\\x.exe -a").path, "D:\\gone\\x.exe");
  EXPECT_EQ(Of("D:\\gone\\x.exe,D:\\y.exe").path, "D:\\gone\\x.exe");
  EXPECT_EQ(Of("\"D:\\open quote.exe").path, "D:\\open quote.exe");
  EXPECT_EQ(Of("").path, "");
  EXPECT_EQ(Of("  ").host, "");
}

TEST_F(ProgramPathTest, AnUnquotedPathWithSlashesNamesTheWholeFile) {
  File("C:\\Program Files\\App\\app.exe");
  // The system reads "/" as "\": the file at the second blank, not "C:/Program".
  EXPECT_EQ(Of("C:/Program Files/App/app.exe -x").path, "C:\\Program Files\\App\\app.exe");
  EXPECT_EQ(Of("\"C:/Program Files/App/app\" -x").path, "C:\\Program Files\\App\\app.exe");
  // A file that is not there keeps its words as written.
  EXPECT_EQ(Of("D:/gone/x.exe -a").path, "D:/gone/x.exe");
}

TEST_F(ProgramPathTest, VariablesAreExpandedAndBareNamesFoundInTheSystemFolders) {
  File("C:\\Program Files\\Tool\\t.exe");
  File("C:\\Windows\\system32\\ctfmon.exe");
  File("C:\\Windows\\explorer.exe");
  EXPECT_EQ(Of("%ProgramFiles%\\Tool\\t.exe -s").path, "C:\\Program Files\\Tool\\t.exe");
  EXPECT_EQ(Of("\"%PROGRAMFILES%\\Tool\\t.exe\"").path, "C:\\Program Files\\Tool\\t.exe");
  EXPECT_EQ(Of("ctfmon").path, "C:\\Windows\\system32\\ctfmon.exe");
  EXPECT_EQ(Of("explorer.exe").path, "C:\\Windows\\explorer.exe");
  EXPECT_EQ(Of("nowhere.exe /x").path, "nowhere.exe");
  EXPECT_EQ(ExpandVariables("%SystemRoot%\\a %NOTSET% 100% %systemroot%", lookup),
            "C:\\Windows\\a %NOTSET% 100% C:\\Windows");
  EXPECT_EQ(ExpandVariables("%%SystemRoot%", lookup), "%C:\\Windows");
  EXPECT_EQ(ExpandVariables("50%", lookup), "50%");
}

TEST_F(ProgramPathTest, HostsAreNamedAndTheProgramTheyRunIsTheOneReported) {
  File("C:\\Windows\\system32\\rundll32.exe");
  File("C:\\Windows\\system32\\cmd.exe");
  File("C:\\Windows\\system32\\shell32.dll");
  File("C:\\Program Files\\Bad\\bad.dll");
  File("C:\\Program Files\\Tool\\t.exe");
  ProgramRef r = Of("rundll32.exe shell32.dll,Control_RunDLL");
  EXPECT_EQ(r.path, "C:\\Windows\\system32\\shell32.dll");
  EXPECT_EQ(r.host, "rundll32.exe");
  r = Of("%SystemRoot%\\system32\\RUNDLL32.EXE \"C:\\Program Files\\Bad\\bad.dll\",Start");
  EXPECT_EQ(r.path, "C:\\Program Files\\Bad\\bad.dll");
  EXPECT_EQ(r.host, "rundll32.exe");
  r = Of("rundll32 C:\\gone.dll,Go");
  EXPECT_EQ(r.path, "C:\\gone.dll");
  EXPECT_EQ(r.host, "rundll32.exe");
  r = Of("cmd /c \"C:\\Program Files\\Tool\\t.exe\" -q");
  EXPECT_EQ(r.path, "C:\\Program Files\\Tool\\t.exe");
  EXPECT_EQ(r.host, "cmd.exe");
  r = Of("C:\\Windows\\system32\\cmd.exe /q /C start \"\" \"C:\\Program Files\\Tool\\t.exe\"");
  EXPECT_EQ(r.path, "C:\\Program Files\\Tool\\t.exe");
  EXPECT_EQ(r.host, "cmd.exe");
  // "start" with only a quoted program: the quotes name the program, not a window title.
  r = Of("cmd /c start \"C:\\Program Files\\Tool\\t.exe\"");
  EXPECT_EQ(r.path, "C:\\Program Files\\Tool\\t.exe");
  EXPECT_EQ(r.host, "cmd.exe");
  r = Of("cmd /c start \"C:\\Program Files\\Tool\\t.exe\"  ");
  EXPECT_EQ(r.path, "C:\\Program Files\\Tool\\t.exe");
  r = Of("cmd.exe /k C:\\Program Files\\Tool\\t.exe");
  EXPECT_EQ(r.path, "C:\\Program Files\\Tool\\t.exe");
  // Without /c or /k the interpreter itself is the program.
  r = Of("cmd.exe /q");
  EXPECT_EQ(r.path, "C:\\Windows\\system32\\cmd.exe");
  EXPECT_EQ(r.host, "");
  r = Of("\"C:\\Program Files\\Tool\\t.exe\" rundll32.exe x.dll");
  EXPECT_EQ(r.host, "");
}

// Command lines that hand their work to a system tool, as tasks and Run values write them.
TEST_F(ProgramPathTest, SystemToolsRunByTheInterpreterAreFoundWhereTheSystemFindsThem) {
  File("C:\\Windows\\system32\\cmd.exe");
  File("C:\\Windows\\system32\\reg.exe");
  ProgramRef r = Of("cmd.exe /c reg query HKCU\\Software\\Tool /v x");
  EXPECT_EQ(r.path, "C:\\Windows\\system32\\reg.exe");
  EXPECT_EQ(r.host, "cmd.exe");
  r = Of("%SystemRoot%\\system32\\cmd.exe /d /c reg add HKCU\\x /f");
  EXPECT_EQ(r.path, "C:\\Windows\\system32\\reg.exe");
  // A bare name the system folders lack is looked for along PATH, in its order.
  env["path"] = "D:\\empty;;\"C:\\Tools\\bin\";C:\\Windows\\system32\\WindowsPowerShell\\v1.0\\";
  File("C:\\Tools\\bin\\jq.exe");
  File("C:\\Windows\\system32\\WindowsPowerShell\\v1.0\\powershell.exe");
  EXPECT_EQ(Of("cmd /c jq . a.json").path, "C:\\Tools\\bin\\jq.exe");
  EXPECT_EQ(Of("powershell").path,
            "C:\\Windows\\system32\\WindowsPowerShell\\v1.0\\powershell.exe");
  // The system folders come before PATH.
  File("C:\\Tools\\bin\\reg.exe");
  EXPECT_EQ(Of("cmd /c reg query x").path, "C:\\Windows\\system32\\reg.exe");
}

// A script run by PowerShell is the row's program (its own signature, or none, is what the
// publisher column shows), PowerShell its host; the value of an option is never the program.
TEST_F(ProgramPathTest, AScriptRunByPowerShellIsTheProgramAndPowerShellItsHost) {
  env["path"] = "C:\\Windows\\system32\\WindowsPowerShell\\v1.0";
  File("C:\\Windows\\system32\\WindowsPowerShell\\v1.0\\powershell.exe");
  File("C:\\Windows\\system32\\cmd.exe");
  File("C:\\Scripts\\x.ps1");
  File("C:\\Program Files\\PowerShell\\7\\pwsh.exe");
  const std::string ps = "C:\\Windows\\system32\\WindowsPowerShell\\v1.0\\powershell.exe";
  ProgramRef r = Of("powershell -executionpolicy bypass -file C:\\Scripts\\x.ps1");
  EXPECT_EQ(r.path, "C:\\Scripts\\x.ps1");
  EXPECT_EQ(r.host, "powershell.exe");
  r = Of(
      "powershell.exe -NoProfile -WindowStyle Hidden -ExecutionPolicy Bypass -File "
      "\"C:\\Scripts\\x.ps1\" -arg 1");
  EXPECT_EQ(r.path, "C:\\Scripts\\x.ps1");
  EXPECT_EQ(r.host, "powershell.exe");
  // Abbreviated and slash-led options; a script that is not there keeps its name as written.
  r = Of("powershell -ep bypass -w hidden -f x.ps1");
  EXPECT_EQ(r.path, "x.ps1");
  EXPECT_EQ(r.host, "powershell.exe");
  r = Of("powershell /ExecutionPolicy Bypass /File C:/Scripts/x.ps1");
  EXPECT_EQ(r.path, "C:\\Scripts\\x.ps1");
  r = Of("\"C:\\Program Files\\PowerShell\\7\\pwsh.exe\" -NoLogo -File C:\\Scripts\\x.ps1");
  EXPECT_EQ(r.path, "C:\\Scripts\\x.ps1");
  EXPECT_EQ(r.host, "pwsh.exe");
  // Through the interpreter: still the script.
  r = Of("cmd /c powershell -executionpolicy bypass -file C:\\Scripts\\x.ps1");
  EXPECT_EQ(r.path, "C:\\Scripts\\x.ps1");
  EXPECT_EQ(r.host, "powershell.exe");
  // Inline commands have no file of their own: PowerShell itself is the program.
  for (const char* command :
       {"powershell -executionpolicy bypass -command Start-Process x.exe",
        "powershell -ExecutionPolicy Bypass -EncodedCommand SQBFAFgA",
        "powershell -noprofile Get-Date", "powershell -executionpolicy bypass",
        "powershell -executionpolicy"}) {
    r = Of(command);
    EXPECT_EQ(r.path, ps) << command;
    EXPECT_EQ(r.host, "") << command;
  }
}

}  // namespace
}  // namespace mt::test
