// Scheduled tasks in the startup list: the definition's reading rules, the rows, switching
// them off and on, and deleting them after their definition went into the backup set.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/Backup.h"
#include "app/BackupSets.h"
#include "app/Restore.h"
#include "app/Text.h"
#include "startup/ScheduledTasks.h"
#include "startup/StartupItems.h"
#include "program/ChangeKindList.h"
#include "startup/tests/StartupStandIns.h"
#include "tests/support/StandIns.h"
#include "tests/support/YesToAll.h"

namespace mt::test {
namespace {

using S = StartupSource;

std::string TaskXml(const std::string& triggers, const std::string& actions) {
  return "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
         "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">"
         "<RegistrationInfo><Description>Exec in a description: <![CDATA[x]]></Description>"
         "</RegistrationInfo><Triggers>" +
         triggers +
         "</Triggers>"
         "<Actions Context=\"Author\">" +
         actions + "</Actions></Task>";
}

std::string Exec(const std::string& command, const std::string& arguments = "") {
  return "<Exec><Command>" + command + "</Command>" +
         (arguments.empty() ? "" : "<Arguments>" + arguments + "</Arguments>") + "</Exec>";
}

TaskInfo Read(const std::string& xml) {
  TaskInfo info;
  ReadTaskXml(xml, info);
  return info;
}

TEST(TaskDefinition, TriggersAndExecActionsAreReadByTheirNames) {
  TaskInfo logon = Read(
      TaskXml("<LogonTrigger><Enabled>true</Enabled><UserId>u</UserId>"
              "</LogonTrigger>",
              Exec("C:\\Program Files\\A&amp;B\\a.exe", "/x &quot;y&quot;") +
                  "<ComHandler><ClassId>{1}</ClassId></ComHandler>" + Exec("%windir%\\b.exe")));
  EXPECT_TRUE(logon.logonTrigger);
  EXPECT_FALSE(logon.bootTrigger);
  ASSERT_EQ(logon.actions.size(), 2u);
  EXPECT_EQ(logon.actions[0].program, "C:\\Program Files\\A&B\\a.exe");
  EXPECT_EQ(logon.actions[0].arguments, "/x \"y\"");
  EXPECT_EQ(logon.actions[1].program, "%windir%\\b.exe");
  EXPECT_EQ(logon.actions[1].arguments, "");
  EXPECT_TRUE(IsStartupTask(logon));
  // A program with a blank is quoted once; one quoted already is left alone.
  EXPECT_EQ(TaskCommandLine(logon), "\"C:\\Program Files\\A&B\\a.exe\" /x \"y\" & %windir%\\b.exe");

  // A boot trigger among others, an empty-element trigger, a namespace prefix, numeric
  // entities.
  TaskInfo boot = Read(
      "<t:Task xmlns:t=\"x\"><t:Triggers><t:TimeTrigger/><t:BootTrigger/>"
      "</t:Triggers><t:Actions><t:Exec><t:Command>\"C:\\x y\\&#x4E2D;.exe\""
      "</t:Command></t:Exec></t:Actions></t:Task>");
  EXPECT_TRUE(boot.bootTrigger);
  EXPECT_FALSE(boot.logonTrigger);
  ASSERT_EQ(boot.actions.size(), 1u);
  EXPECT_EQ(TaskCommandLine(boot), "\"C:\\x y\\中.exe\"");

  // Neither a log-on nor a boot trigger, or nothing to run: not a startup task.
  EXPECT_FALSE(IsStartupTask(Read(TaskXml("<TimeTrigger/><IdleTrigger/>", Exec("a.exe")))));
  EXPECT_FALSE(IsStartupTask(Read(TaskXml("<LogonTrigger/>", "<Exec/>"))));
  EXPECT_FALSE(IsStartupTask(Read(TaskXml("<LogonTrigger/>", Exec("  ")))));
  EXPECT_FALSE(IsStartupTask(Read(TaskXml("<LogonTrigger/>", "<ComHandler/>"))));
  // A Command left open ends with its Exec: the next action's Command is not read into it.
  TaskInfo open = Read(TaskXml("<LogonTrigger/>", "<Exec><Command>a.exe</Exec>" + Exec("b.exe")));
  ASSERT_EQ(open.actions.size(), 2u);
  EXPECT_EQ(open.actions[0].program, "a.exe");
  EXPECT_EQ(open.actions[1].program, "b.exe");
  EXPECT_EQ(TaskCommandLine(open), "a.exe & b.exe");
  // A trigger's name outside Triggers (a description, say) does not count.
  EXPECT_FALSE(Read("<Task><RegistrationInfo><LogonTrigger/></RegistrationInfo><Triggers/>"
                    "<Actions>" +
                    Exec("a.exe") + "</Actions></Task>")
                   .logonTrigger);
}

TEST(TaskDefinition, BackupFileNamesAndBytes) {
  EXPECT_EQ(TaskBackupFileName("\\Vendor\\Updater"), "Updater.xml");
  EXPECT_EQ(TaskBackupFileName("\\Top"), "Top.xml");
  EXPECT_EQ(TaskBackupFileName("\\A\\x:y*z?\"<>|"), "x_y_z_____.xml");
  EXPECT_EQ(TaskBackupFileName("\\A\\"), "task.xml");
  // UTF-16LE with a byte-order mark: what schtasks reads.
  const char expected[] = "\xFF\xFE<\0T\0>\0\x2D\x4E<\0/\0T\0>\0";
  EXPECT_EQ(TaskXmlFileBytes("<T>中</T>"), std::string(expected, sizeof expected - 1));
}

class StartupTasksTest : public ::testing::Test {
 protected:
  StartupTasksTest() : items(ts.services, places) {
    ts.services.exeDir = Win(tmp.path()) + "\\app";
    ts.services.tasks = &store;
    places.windowsDirectory = Win(tmp.path()) + "\\WINDOWS";
  }
  static std::string Win(std::string p) {
    std::replace(p.begin(), p.end(), '/', '\\');
    return p;
  }
  std::vector<StartupRow> Tasks() const {
    std::vector<StartupRow> out;
    for (const StartupRow& r : view.rows)
      if (r.source == S::ScheduledTask) out.push_back(r);
    return out;
  }
  // The only backup set's folder.
  std::string OnlySet() {
    auto sets = ts.files.Find(ts.services.exeDir + "\\备份", "*");
    EXPECT_EQ(sets.size(), 1u);
    return sets.empty() ? std::string() : ts.services.exeDir + "\\备份\\" + sets[0].name;
  }
  // A file the backup wrote, back from UTF-16LE.
  std::string Utf8Of(const std::string& bytes) {
    std::string out;
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) out += bytes[i];  // ASCII definitions
    return out;
  }

  TestServices ts;
  ScriptedPlaces places;
  TempDir tmp;
  MemoryTaskStore store;
  StartupItems items;
  MemoryStartupView view;
};

TEST_F(StartupTasksTest, LogonAndBootTasksOfEveryFolderAreListedLastWithTheirState) {
  ts.registry.SetString(RegRoot::CurrentUser, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                        "R", "r.exe");
  store.tasks["\\Logon"] = {TaskXml("<LogonTrigger/>", Exec("C:\\l.exe", "-a")), true};
  store.tasks["\\Deep\\Er\\Boot"] = {TaskXml("<BootTrigger/>", Exec("C:\\b.exe")), false};
  store.tasks["\\Daily"] = {TaskXml("<CalendarTrigger/>", Exec("C:\\d.exe")), true};
  items.Refresh(view);

  ASSERT_FALSE(view.rows.empty());
  EXPECT_EQ(view.rows.front().name, "R");
  const std::vector<StartupRow> tasks = Tasks();
  ASSERT_EQ(tasks.size(), 2u);
  EXPECT_EQ(view.rows.back().source, S::ScheduledTask);
  EXPECT_EQ(tasks[0].name, "\\Deep\\Er\\Boot");
  EXPECT_EQ(tasks[0].location, "C:\\b.exe");
  EXPECT_FALSE(tasks[0].enabled);
  EXPECT_EQ(tasks[1].name, "\\Logon");
  EXPECT_EQ(tasks[1].location, "C:\\l.exe -a");
  EXPECT_TRUE(tasks[1].enabled);
  EXPECT_EQ(SourceText(S::ScheduledTask), "计划任务");
  EXPECT_FALSE(Is32BitSource(S::ScheduledTask));
  EXPECT_FALSE(IsFolderSource(S::ScheduledTask));

  // Without a scheduler there are no task rows, and nothing else changes.
  ts.services.tasks = nullptr;
  StartupItems without(ts.services, places);
  without.Refresh(view);
  EXPECT_TRUE(Tasks().empty());
  EXPECT_EQ(view.rows.size(), 1u);
}

TEST_F(StartupTasksTest, DisableAndEnableSwitchTheCheckedTasksInTheScheduler) {
  store.tasks["\\A"] = {TaskXml("<LogonTrigger/>", Exec("a.exe")), true};
  store.tasks["\\B"] = {TaskXml("<LogonTrigger/>", Exec("b.exe")), true};
  items.Refresh(view);
  ASSERT_TRUE(view.Check("\\A", S::ScheduledTask));
  items.SetCheckedEnabled(view, false);
  EXPECT_FALSE(store.tasks["\\A"].enabled);
  EXPECT_TRUE(store.tasks["\\B"].enabled);
  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_FALSE(Tasks()[0].enabled);

  ASSERT_TRUE(view.Check("\\A", S::ScheduledTask));
  ASSERT_TRUE(view.Check("\\B", S::ScheduledTask));
  store.refused.insert("\\B");
  store.tasks["\\B"].enabled = false;
  items.SetCheckedEnabled(view, true);
  EXPECT_TRUE(store.tasks["\\A"].enabled);
  EXPECT_FALSE(store.tasks["\\B"].enabled);
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, kAddRefusedText);
}

TEST_F(StartupTasksTest, DeleteSavesEachDefinitionIntoTheBackupSetAndItRegistersAgain) {
  const std::string first = TaskXml("<LogonTrigger/>", Exec("C:\\one.exe", "/1"));
  const std::string second = TaskXml("<BootTrigger/>", Exec("C:\\two.exe"));
  store.tasks["\\Vendor\\Update"] = {first, true};
  store.tasks["\\Other\\Update"] = {second, true};  // the same name in another folder
  store.tasks["\\Kept"] = {TaskXml("<LogonTrigger/>", Exec("kept.exe")), true};
  items.Refresh(view);
  ASSERT_TRUE(view.Check("\\Vendor\\Update", S::ScheduledTask));
  ASSERT_TRUE(view.Check("\\Other\\Update", S::ScheduledTask));

  items.DeleteClick(view);

  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_EQ(store.tasks.size(), 1u);
  ASSERT_EQ(Tasks().size(), 1u);
  EXPECT_EQ(Tasks()[0].name, "\\Kept");
  const std::string set = OnlySet();
  std::vector<FindEntry> files = ts.files.Find(set, "*.xml");
  ASSERT_EQ(files.size(), 2u);
  // Each definition in a file of its own; neither replaced the other.
  std::set<std::string> saved;
  for (const FindEntry& f : files) saved.insert(Utf8Of(ReadWholeFile(set + "\\" + f.name)));
  EXPECT_EQ(saved, (std::set<std::string>{first, second}));
  EXPECT_TRUE(ts.files.FileExists(set + "\\Update.xml"));
  // The set's script registers each file under its own task's path, the numbered one too.
  const std::string script = ReadWholeFile(set + "\\" + kBackupRestoreScriptName);
  EXPECT_EQ(script.rfind("@echo off\r\nchcp 936 >nul\r\n", 0), 0u) << script;
  const std::string numbered = files[0].name == "Update.xml" ? files[1].name : files[0].name;
  const bool vendorFirst = Utf8Of(ReadWholeFile(set + "\\Update.xml")) == first;
  const std::string vendorFile = vendorFirst ? "Update.xml" : numbered;
  const std::string otherFile = vendorFirst ? numbered : "Update.xml";
  EXPECT_NE(script.find("schtasks /create /xml \"%~dp0" + vendorFile +
                        "\" /tn \"\\Vendor\\Update\"\r\n"),
            std::string::npos)
      << script;
  EXPECT_NE(script.find("schtasks /create /xml \"%~dp0" + otherFile +
                        "\" /tn \"\\Other\\Update\"\r\n"),
            std::string::npos)
      << script;
  EXPECT_EQ(TaskRestoreLine("50% off.xml", "\\50% off"),
            "schtasks /create /xml \"%~dp050%% off.xml\" /tn \"\\50%% off\"");

  // The saved file registered under the task's path brings the row back as it was.
  ASSERT_TRUE(store.Register("\\Vendor\\Update", Utf8Of(ReadWholeFile(set + "\\Update.xml"))));
  items.Refresh(view);
  ASSERT_TRUE(view.Has("\\Vendor\\Update", S::ScheduledTask));
  for (const StartupRow& r : Tasks()) {
    if (r.name == "\\Vendor\\Update") {
      EXPECT_EQ(r.location, "C:\\one.exe /1");
    }
  }
}

TEST_F(StartupTasksTest, TheRestoreScriptNamesAChineseTaskInTheCodePageItSwitchesTo) {
  store.tasks["\\厂商\\开机更新"] = {TaskXml("<LogonTrigger/>", Exec("C:\\u.exe")), true};
  items.Refresh(view);
  ASSERT_TRUE(view.Check("\\厂商\\开机更新", S::ScheduledTask));
  items.DeleteClick(view);
  const std::string set = OnlySet();
  EXPECT_TRUE(ts.files.FileExists(set + "\\开机更新.xml"));
  EXPECT_EQ(ReadWholeFile(set + "\\" + kBackupRestoreScriptName),
            "@echo off\r\nchcp 936 >nul\r\n" +
                Utf8ToGbk(
                    "schtasks /create /xml \"%~dp0开机更新.xml\" /tn \"\\厂商\\开机更新\"\r\n"));
}

TEST_F(StartupTasksTest, ATaskWhoseDefinitionCannotBeReadStopsTheDeletion) {
  store.tasks["\\Locked"] = {TaskXml("<LogonTrigger/>", Exec("l.exe")), true};
  ts.registry.SetString(RegRoot::CurrentUser, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                        "R", "r.exe");
  store.unreadable.insert("\\Locked");
  items.Refresh(view);
  for (StartupRow& r : view.rows) r.checked = true;

  items.DeleteClick(view);

  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, kBackupFailedText);
  EXPECT_EQ(store.tasks.count("\\Locked"), 1u);
  EXPECT_TRUE(ts.registry.Get(RegRoot::CurrentUser,
                              "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "R"));
  EXPECT_FALSE(ts.files.DirectoryExists(ts.services.exeDir + "\\备份"));
}

using YesToAll = test::YesToAll;

TEST_F(StartupTasksTest, ADeletedTaskComesBackFromItsSetAndTheRestoresOwnSetDeletesItAgain) {
  const std::string xml = TaskXml("<LogonTrigger/>", Exec("C:\\t.exe", "/run"));
  store.tasks["\\Vendor\\Logon"] = {xml, true};
  items.Refresh(view);
  ASSERT_TRUE(view.Check("\\Vendor\\Logon", S::ScheduledTask));
  items.DeleteClick(view);
  ASSERT_TRUE(store.tasks.empty());

  const ChangeEnv env = ChangeEnvOf(ts.services);
  YesToAll yes;
  const BackupSetInfo set = ReadBackupSet(env, ProgramChangeKinds(), OnlySet());
  ASSERT_TRUE(set.damage.empty()) << set.damage;
  ASSERT_EQ(set.items.size(), 1u);
  // The restore first keeps what it finds (no task) in a set of its own: that must not stop it.
  const RestoreReport report = RestoreItems(env, ts.services.exeDir, set, {0}, yes);
  ASSERT_TRUE(report.refused.empty()) << report.refused;
  ASSERT_EQ(report.items.size(), 1u);
  EXPECT_TRUE(report.items[0].back) << report.items[0].reason;
  ASSERT_EQ(store.tasks.count("\\Vendor\\Logon"), 1u);
  EXPECT_EQ(store.tasks["\\Vendor\\Logon"].xml, xml);

  // Taking the restore back deletes the task again.
  ASSERT_FALSE(report.undoFolder.empty());
  const BackupSetInfo undo = ReadBackupSet(env, ProgramChangeKinds(), report.undoFolder);
  ASSERT_TRUE(undo.damage.empty()) << undo.damage;
  ASSERT_EQ(undo.items.size(), 1u);
  const RestoreReport back = RestoreItems(env, ts.services.exeDir, undo, {0}, yes);
  ASSERT_TRUE(back.refused.empty()) << back.refused;
  EXPECT_TRUE(back.items[0].back) << back.items[0].reason;
  EXPECT_TRUE(store.tasks.empty());
}

}  // namespace
}  // namespace mt::test
