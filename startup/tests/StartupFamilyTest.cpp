// The families of the startup list behind one interface: every source has its family, the
// RunOnceEx rules that hang on names and views, and "禁用"/"启用" as a change kept in a
// backup set that the restore takes back.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/Backup.h"
#include "app/Error.h"
#include "app/BackupSets.h"
#include "app/Restore.h"
#include "startup/GroupPolicyScriptFamily.h"
#include "startup/LogonValueFamily.h"
#include "startup/PackagedAppFamily.h"
#include "startup/StartupApproved.h"
#include "startup/StartupItems.h"
#include "startup/TaskChange.h"
#include "startup/tests/StartupStandIns.h"
#include "tests/support/StandIns.h"
#include "tests/support/YesToAll.h"

namespace mt::test {
namespace {

using S = StartupSource;
constexpr RegRoot kLM = RegRoot::LocalMachine;
constexpr RegRoot kCU = RegRoot::CurrentUser;
constexpr RegView k32 = RegView::Wow32;
constexpr const char* kRun = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kRunOnceEx = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx";
constexpr const char* kApproved =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\";

std::string LogonTask(const std::string& command) {
  return "<Task><Triggers><LogonTrigger/></Triggers><Actions><Exec><Command>" + command +
         "</Command></Exec></Actions></Task>";
}

using YesToAll = test::YesToAll;

class StartupFamilyTest : public ::testing::Test {
 protected:
  StartupFamilyTest() : items(ts.services, places) {
    std::string root = tmp.path();
    std::replace(root.begin(), root.end(), '/', '\\');
    ts.services.exeDir = root + "\\app";
    ts.services.tasks = &store;
    places.windowsDirectory = root + "\\WINDOWS";
    userDir = root + "\\user";
    ts.files.CreateDirectories(userDir);
    ts.registry.SetString(kCU,
                          "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                          "Startup", userDir);
  }
  std::vector<std::string> Sets() {
    return BackupSetFolders(ts.files, DataFolder(ts.services.exeDir, ts.services.places));
  }
  BackupSetInfo Set(const std::string& folder) {
    return ReadBackupSet(ChangeEnvOf(ts.services), *ts.services.changeKinds, folder);
  }
  RestoreReport RestoreAll(const BackupSetInfo& set) {
    std::vector<size_t> all;
    for (size_t i = 0; i < set.items.size(); ++i) all.push_back(i);
    YesToAll yes;
    return RestoreItems(ChangeEnvOf(ts.services),
                        DataFolder(ts.services.exeDir, ts.services.places), set, all, yes);
  }
  void SetExpand(RegRoot root, const std::string& path, const std::string& name,
                 const std::string& text) {
    auto key = ts.registry.Open(root, nullptr, path, true);
    RegValue value;
    value.type = RegDataType::ExpandString;
    value.text = text;
    ASSERT_TRUE(key && ts.registry.Set(*key, name, value));
  }
  std::vector<std::string> Names(S source) const {
    std::vector<std::string> out;
    for (const StartupRow& r : view.rows)
      if (r.source == source) out.push_back(r.name + "=" + r.location);
    std::sort(out.begin(), out.end());
    return out;
  }

  TestServices ts;
  ScriptedPlaces places;
  TempDir tmp;
  MemoryTaskStore store;
  StartupItems items;
  MemoryStartupView view;
  std::string userDir;
};

TEST(StartupFamilies, EverySourceHasOneFamilyAndTheListFollowsTheSourcesOrder) {
  const std::vector<S> listed = ListedSources();
  // The log-on places have every value up to Active Setup's; later families take ranges of
  // their own, so the values may leave gaps but never repeat or go back.
  ASSERT_GT(listed.size(), static_cast<size_t>(S::ActiveSetup32));
  for (size_t i = 0; i <= static_cast<size_t>(S::ActiveSetup32); ++i)
    EXPECT_EQ(static_cast<size_t>(listed[i]), i);
  for (size_t i = 1; i < listed.size(); ++i) EXPECT_LT(listed[i - 1], listed[i]) << i;
  for (S s : {S::ServiceAuto, S::ServiceDelayed, S::ServiceTrigger, S::ServiceUserTemplate,
              S::PackagedApp})
    EXPECT_NE(std::find(listed.begin(), listed.end(), s), listed.end()) << static_cast<int>(s);
  for (size_t i = 0; i < listed.size(); ++i) {
    ASSERT_NE(FamilyOf(listed[i]), nullptr) << i;
    EXPECT_FALSE(SourceText(listed[i]).empty()) << i;
  }
  // A value no family makes has no family and no words.
  EXPECT_EQ(FamilyOf(static_cast<S>(999)), nullptr);
  EXPECT_EQ(SourceText(static_cast<S>(-1)), "");
  EXPECT_FALSE(IsMachineSource(static_cast<S>(999)));
}

TEST_F(StartupFamilyTest, ARunOnceExValueWhoseNameHoldsABackslashGoesFromItsOwnSection) {
  const std::string section = std::string(kRunOnceEx) + "\\0001";
  ts.registry.SetString(kLM, section, "a\\b", "x.exe");
  // A key "a" below the section holding a value "b": what the name would name if it were cut
  // at its last backslash.
  ts.registry.SetString(kLM, section + "\\a", "b", "decoy.exe");
  items.Refresh(view);
  EXPECT_EQ(Names(S::MachineRunOnceEx), (std::vector<std::string>{"0001\\a\\b=x.exe"}));
  ASSERT_TRUE(view.Check("0001\\a\\b", S::MachineRunOnceEx));

  items.DeleteClick(view);

  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_FALSE(ts.registry.Get(kLM, section, "a\\b"));
  EXPECT_EQ(ts.registry.Get(kLM, section + "\\a", "b")->text, "decoy.exe");
  const std::vector<std::string> sets = Sets();
  ASSERT_EQ(sets.size(), 1u);
  BackupSetInfo set = Set(sets[0]);
  ASSERT_EQ(set.items.size(), 1u);
  EXPECT_EQ(set.items[0].change->PlaceJson()["key"]["text"], section);
  EXPECT_EQ(set.items[0].change->PlaceJson()["name"]["text"], "a\\b");
  // And it comes back from there.
  RestoreReport report = RestoreAll(set);
  ASSERT_EQ(report.items.size(), 1u);
  EXPECT_TRUE(report.items[0].back) << report.items[0].reason;
  EXPECT_EQ(ts.registry.Get(kLM, section, "a\\b")->text, "x.exe");
}

// The user's Startup folder as Windows 10 and 11 lay it out (below the roaming AppData, the
// place the platform names): every file there is opened at log-on and is listed, a program
// or a script as well as a shortcut; the folder's desktop.ini and its subfolders are not.
// Deleting such a file moves it into the backup set.
TEST_F(StartupFamilyTest, EveryFileOfTheUsersStartupFolderIsListedAndDeletedIntoTheSet) {
  const std::string startup =
      userDir + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
  ts.registry.SetString(kCU,
                        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                        "Startup", "");
  places.userStartup = startup;
  ts.files.CreateDirectories(startup + "\\old");
  WriteWholeFile(startup + "\\Pumble.lnk", "SHORTCUT");
  WriteWholeFile(startup + "\\Linear.exe", "MZ program");
  WriteWholeFile(startup + "\\sync.bat", "@echo off");
  WriteWholeFile(startup + "\\desktop.ini", "[.ShellClassInfo]");
  items.Refresh(view);
  EXPECT_EQ(Names(S::UserFolder),
            (std::vector<std::string>{"Linear.exe=" + startup + "\\Linear.exe",
                                      "Pumble.lnk=" + startup + "\\Pumble.lnk",
                                      "sync.bat=" + startup + "\\sync.bat"}));
  ASSERT_TRUE(view.Check("Linear.exe", S::UserFolder));

  items.DeleteClick(view);

  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_FALSE(ts.files.FileExists(startup + "\\Linear.exe"));
  EXPECT_TRUE(ts.files.FileExists(startup + "\\Pumble.lnk"));
  const std::vector<std::string> sets = Sets();
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(ReadWholeFile(sets[0] + "\\Linear.exe"), "MZ program");
}

// Value names and data are UTF-16 that need not be well formed. A Run value whose name or
// text holds a lone surrogate is listed as it is, deleted from its key, kept in the backup
// set and written back under the very same name by the restore.
TEST_F(StartupFamilyTest, ARunValueWithALoneSurrogateIsListedDeletedAndRestoredExactly) {
  const std::string high = "\xED\xA0\x80";  // U+D800 without its low half
  const std::string low = "\xED\xBF\xBF";   // U+DFFF alone
  const std::string name = "mt" + high + "x";
  const std::string data = "C:\\a" + low + ".exe /q";
  ts.registry.SetString(kCU, kRun, name, data);
  ts.registry.SetString(kCU, kRun, "plain", "C:\\p" + high + ".exe");
  items.Refresh(view);
  EXPECT_EQ(Names(S::UserRun),
            (std::vector<std::string>{name + "=" + data, "plain=C:\\p" + high + ".exe"}));
  ASSERT_TRUE(view.Check(name, S::UserRun));
  ASSERT_TRUE(view.Check("plain", S::UserRun));

  items.DeleteClick(view);

  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_FALSE(ts.registry.Get(kCU, kRun, name));
  EXPECT_FALSE(ts.registry.Get(kCU, kRun, "plain"));
  EXPECT_TRUE(Names(S::UserRun).empty());
  const std::vector<std::string> sets = Sets();
  ASSERT_EQ(sets.size(), 1u);
  BackupSetInfo set = Set(sets[0]);
  ASSERT_EQ(set.items.size(), 2u);
  RestoreReport report = RestoreAll(set);
  ASSERT_EQ(report.items.size(), 2u);
  for (const RestoreOutcome& item : report.items) EXPECT_TRUE(item.back) << item.reason;
  ASSERT_TRUE(ts.registry.Get(kCU, kRun, name));
  EXPECT_EQ(ts.registry.Get(kCU, kRun, name)->text, data);
  ASSERT_TRUE(ts.registry.Get(kCU, kRun, "plain"));
  EXPECT_EQ(ts.registry.Get(kCU, kRun, "plain")->text, "C:\\p" + high + ".exe");
}

TEST_F(StartupFamilyTest, EachRunOnceExSectionIsReadInTheViewOfItsPlace) {
  // One section name in both views, with other values: a section opened in the other view
  // lists the twin's values.
  ts.registry.SetString(kLM, std::string(kRunOnceEx) + "\\0001", "n", "n64.exe");
  ts.registry.SetString(kLM, std::string(kRunOnceEx) + "\\0001", "w", "w32.exe", k32);
  ts.registry.SetString(kLM, std::string(kRunOnceEx) + "\\0002", "only32", "o32.exe", k32);
  items.Refresh(view);
  EXPECT_EQ(Names(S::MachineRunOnceEx), (std::vector<std::string>{"0001\\n=n64.exe"}));
  EXPECT_EQ(Names(S::MachineRunOnceEx32),
            (std::vector<std::string>{"0001\\w=w32.exe", "0002\\only32=o32.exe"}));
}

TEST_F(StartupFamilyTest, ASwitchIsOneBackupSetThatTheRestoreTakesBack) {
  // A machine Run value already switched off by the system on a day of its own, a user Run
  // value never switched, a shortcut, a task.
  const std::string oldRecord = EncodeApproved(false, 0x01D9000011112222ull);
  ts.registry.SetString(kLM, kRun, "M", "m.exe");
  ts.registry.SetBinary(kLM, std::string(kApproved) + "Run", "M", oldRecord);
  ts.registry.SetString(kCU, kRun, "U", "u.exe");
  WriteWholeFile(userDir + "\\s.lnk", "L");
  store.tasks["\\T"] = {LogonTask("t.exe"), true};
  items.Refresh(view);
  ASSERT_TRUE(view.Check("M", S::MachineRun));

  items.SetCheckedEnabled(view, true);  // M on
  ASSERT_EQ(Sets().size(), 1u);
  for (StartupRow& r : view.rows) r.checked = r.name != "M";
  items.SetCheckedEnabled(view, false);  // the other three off

  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_FALSE(store.tasks["\\T"].enabled);
  EXPECT_FALSE(DecodeApproved(ts.registry.Get(kCU, std::string(kApproved) + "Run", "U")));
  EXPECT_FALSE(
      DecodeApproved(ts.registry.Get(kCU, std::string(kApproved) + "StartupFolder", "s.lnk")));
  EXPECT_EQ(ts.registry.Get(kLM, std::string(kApproved) + "Run", "M")->bytes,
            EncodeApproved(true, 0));

  // One set per click, each the startup tool's, its items named by the click.
  const std::vector<std::string> sets = Sets();
  ASSERT_EQ(sets.size(), 2u);
  BackupSetInfo off = Set(sets[0]), on = Set(sets[1]);
  if (off.items.size() < on.items.size()) std::swap(off, on);
  EXPECT_EQ(off.tool, "startup");
  EXPECT_TRUE(off.damage.empty()) << off.damage;
  ASSERT_EQ(off.items.size(), 3u);
  std::vector<std::string> captions, kinds;
  for (const SetItem& item : off.items) {
    captions.push_back(item.caption);
    kinds.push_back(item.kind);
  }
  std::sort(captions.begin(), captions.end());
  std::sort(kinds.begin(), kinds.end());
  EXPECT_EQ(captions, (std::vector<std::string>{"禁用 U  u.exe", "禁用 \\T  t.exe",
                                                "禁用 s.lnk  " + userDir + "\\s.lnk"}));
  EXPECT_EQ(kinds, (std::vector<std::string>{"registry-value", "registry-value",
                                             kScheduledTaskEnabledKind}));

  // Taking the second click back: the records are gone again and the task is on.
  RestoreReport report = RestoreAll(off);
  for (const RestoreOutcome& o : report.items) EXPECT_TRUE(o.back) << o.caption << o.reason;
  EXPECT_TRUE(store.tasks["\\T"].enabled);
  EXPECT_FALSE(ts.registry.Get(kCU, std::string(kApproved) + "Run", "U"));
  EXPECT_FALSE(ts.registry.Get(kCU, std::string(kApproved) + "StartupFolder", "s.lnk"));
  // Taking the first back: the system's own record, to the byte.
  ASSERT_EQ(on.items.size(), 1u);
  EXPECT_EQ(on.items[0].caption, "启用 M  m.exe");
  report = RestoreAll(on);
  ASSERT_EQ(report.items.size(), 1u);
  EXPECT_TRUE(report.items[0].back) << report.items[0].reason;
  EXPECT_EQ(ts.registry.Get(kLM, std::string(kApproved) + "Run", "M")->bytes, oldRecord);
  // The items themselves were never touched.
  EXPECT_EQ(ts.registry.Get(kLM, kRun, "M")->text, "m.exe");
  EXPECT_TRUE(ts.files.FileExists(userDir + "\\s.lnk"));
}

TEST_F(StartupFamilyTest, ASwitchWhoseSetCannotBeWrittenChangesNothing) {
  ts.registry.SetString(kCU, kRun, "U", "u.exe");
  store.tasks["\\T"] = {LogonTask("t.exe"), true};
  ts.files.CreateDirectories(ts.services.exeDir);
  WriteWholeFile(ts.services.exeDir + "\\备份", "a file in the way");
  items.Refresh(view);
  for (StartupRow& r : view.rows) r.checked = true;
  const int clears = view.clears;

  items.SetCheckedEnabled(view, false);

  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, kSwitchBackupFailedText);
  EXPECT_FALSE(ts.registry.Get(kCU, std::string(kApproved) + "Run", "U"));
  EXPECT_TRUE(store.tasks["\\T"].enabled);
  EXPECT_EQ(view.clears, clears);
  for (const StartupRow& r : view.rows) EXPECT_TRUE(r.checked);
}

TEST_F(StartupFamilyTest, ATaskGoneSinceItsSwitchIsNotMadeAgainByTheRestore) {
  store.tasks["\\T"] = {LogonTask("t.exe"), true};
  items.Refresh(view);
  ASSERT_TRUE(view.Check("\\T", S::ScheduledTask));
  items.SetCheckedEnabled(view, false);
  ASSERT_EQ(Sets().size(), 1u);
  BackupSetInfo set = Set(Sets()[0]);
  ASSERT_EQ(set.items.size(), 1u);
  EXPECT_EQ(set.items[0].change->DescribeState(set.items[0].before), "已启用");
  store.tasks.erase("\\T");

  RestoreReport report = RestoreAll(set);
  ASSERT_EQ(report.items.size(), 1u);
  EXPECT_FALSE(report.items[0].back);
  EXPECT_TRUE(store.tasks.empty());
  // A switch of a task the scheduler does not know is refused, and no set is written for it.
  const size_t setsBefore = Sets().size();
  view.rows.push_back({"\\Gone", "g.exe", S::ScheduledTask, true, true});
  items.SetCheckedEnabled(view, true);
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, kAddRefusedText);
  EXPECT_EQ(Sets().size(), setsBefore);
}

// ---- the command processor's AutoRun -------------------------------------------------------

constexpr const char* kCommandProcessor = "SOFTWARE\\Microsoft\\Command Processor";

TEST_F(StartupFamilyTest, TheCommandProcessorsAutoRunIsListedLastAndDeletedAfterItsBackup) {
  ts.registry.SetString(kLM, kCommandProcessor, "AutoRun", "C:\\hook.cmd");
  ts.registry.SetString(kLM, kCommandProcessor, "AutoRun", "C:\\x86\\hook32.cmd", k32);
  ts.registry.SetString(kCU, kCommandProcessor, "AutoRun", "%USERPROFILE%\\u.cmd");
  ts.registry.SetDword(kLM, kCommandProcessor, "CompletionChar", 9);
  store.tasks["\\T"] = {LogonTask("t.exe"), true};
  items.Refresh(view);
  EXPECT_EQ(Names(S::MachineCmdAutoRun), (std::vector<std::string>{"AutoRun=C:\\hook.cmd"}));
  EXPECT_EQ(Names(S::MachineCmdAutoRun32),
            (std::vector<std::string>{"AutoRun=C:\\x86\\hook32.cmd"}));
  EXPECT_EQ(Names(S::UserCmdAutoRun), (std::vector<std::string>{"AutoRun=%USERPROFILE%\\u.cmd"}));
  ASSERT_GE(view.rows.size(), 4u);
  EXPECT_EQ(view.rows[view.rows.size() - 4].source, S::ScheduledTask);
  EXPECT_EQ(view.rows.back().source, S::UserCmdAutoRun);
  EXPECT_EQ(SourceText(S::MachineCmdAutoRun32), "HKLM\\命令处理器 (32位)");
  EXPECT_EQ(ShownName(view.rows[view.rows.size() - 2]), "AutoRun (32位)");
  EXPECT_TRUE(IsMachineSource(S::MachineCmdAutoRun));
  EXPECT_FALSE(IsMachineSource(S::UserCmdAutoRun));

  // "禁用" leaves it alone: the system keeps no on/off record for it.
  ASSERT_TRUE(view.Check("AutoRun", S::UserCmdAutoRun));
  items.SetCheckedEnabled(view, false);
  EXPECT_TRUE(Sets().empty());
  EXPECT_FALSE(ts.registry.HasKey(kCU, std::string(kApproved) + "Run"));

  ASSERT_TRUE(view.Check("AutoRun", S::MachineCmdAutoRun32));
  ASSERT_TRUE(view.Check("AutoRun", S::UserCmdAutoRun));
  items.DeleteClick(view);
  EXPECT_TRUE(ts.messages.shown.empty());
  auto native = ts.registry.Get(kLM, kCommandProcessor, "AutoRun");
  ASSERT_TRUE(native);  // the other view's value is not this one
  EXPECT_EQ(native->text, "C:\\hook.cmd");
  EXPECT_FALSE(ts.registry.Get(kLM, kCommandProcessor, "AutoRun", k32));
  EXPECT_FALSE(ts.registry.Get(kCU, kCommandProcessor, "AutoRun"));
  EXPECT_TRUE(ts.registry.Get(kLM, kCommandProcessor, "CompletionChar"));
  EXPECT_EQ(Names(S::MachineCmdAutoRun32), std::vector<std::string>{});

  ASSERT_EQ(Sets().size(), 1u);
  RestoreReport report = RestoreAll(Set(Sets()[0]));
  ASSERT_EQ(report.items.size(), 2u);
  for (const RestoreOutcome& o : report.items) EXPECT_TRUE(o.back) << o.caption << o.reason;
  auto user = ts.registry.Get(kCU, kCommandProcessor, "AutoRun");
  ASSERT_TRUE(user);
  EXPECT_EQ(user->type, RegDataType::String);
  EXPECT_EQ(user->text, "%USERPROFILE%\\u.cmd");
  EXPECT_EQ(ts.registry.Get(kLM, kCommandProcessor, "AutoRun", k32)->text, "C:\\x86\\hook32.cmd");
}

TEST_F(StartupFamilyTest, AnAutoRunThatIsBlankOrNotTextRunsNothingAndIsNotListed) {
  ts.registry.SetString(kLM, kCommandProcessor, "AutoRun", "  ");
  ts.registry.SetDword(kCU, kCommandProcessor, "AutoRun", 1);
  items.Refresh(view);
  EXPECT_TRUE(Names(S::MachineCmdAutoRun).empty());
  EXPECT_TRUE(Names(S::UserCmdAutoRun).empty());
  EXPECT_TRUE(ts.messages.shown.empty());
}

// The window lists without waiting for the scheduler: the tasks are read beforehand on
// another thread (ReadAhead), and a refresh given that read lists them in their place, before
// the command processor's rows, without asking the store again. Before the read is in the
// tasks are left out and every other row is listed; what the store threw comes out of the
// refresh that lists it, the rows before it kept.
TEST_F(StartupFamilyTest, TasksReadBeforehandAreListedInTheirPlaceWithoutAskingTheStore) {
  class CountingStore : public MemoryTaskStore {
   public:
    std::vector<TaskInfo> Tasks() override {
      ++asked;
      if (fail) throw AppError("scheduler gone");
      return MemoryTaskStore::Tasks();
    }
    int asked = 0;
    bool fail = false;
  } counting;
  counting.tasks["\\mt\\logon"] = {LogonTask("C:\\t.exe"), true};
  ts.services.tasks = &counting;
  ts.registry.SetString(kCU, kRun, "user", "C:\\u.exe");
  ts.registry.SetString(kLM, "SOFTWARE\\Microsoft\\Command Processor", "AutoRun", "C:\\hook.cmd");

  items.Refresh(view, StartupReadAhead{});
  EXPECT_EQ(counting.asked, 0);
  std::vector<S> sources;
  for (const StartupRow& r : view.rows) sources.push_back(r.source);
  EXPECT_EQ(sources, (std::vector<S>{S::UserRun, S::MachineCmdAutoRun}));
  EXPECT_TRUE(view.readOnly);

  const StartupReadAhead ahead = items.ReadAhead();
  EXPECT_EQ(counting.asked, 1);
  counting.tasks.clear();  // what the refresh lists is what was read
  items.Refresh(view, ahead);
  items.Refresh(view, ahead);
  EXPECT_EQ(counting.asked, 1);
  sources.clear();
  for (const StartupRow& r : view.rows) sources.push_back(r.source);
  EXPECT_EQ(sources, (std::vector<S>{S::UserRun, S::ScheduledTask, S::MachineCmdAutoRun}));
  EXPECT_EQ(view.rows[1].name, "\\mt\\logon");

  counting.fail = true;
  const StartupReadAhead failed = items.ReadAhead();
  EXPECT_THROW(items.Refresh(view, failed), AppError);
  ASSERT_EQ(view.rows.size(), 1u);
  EXPECT_EQ(view.rows[0].source, S::UserRun);
  // The refresh that reads for itself still reads the store, and waits for it.
  counting.fail = false;
  counting.tasks["\\mt\\boot"] = {LogonTask("C:\\b.exe"), true};
  items.Refresh(view);
  EXPECT_EQ(counting.asked, 3);
  EXPECT_TRUE(view.Has("\\mt\\boot", S::ScheduledTask));

  // Two reads of the same tasks read the same rows; a task switched off, a task more or a
  // read that failed do not.
  const StartupReadAhead again = items.ReadAhead();
  EXPECT_TRUE(again.SameRowsAs(items.ReadAhead()));
  counting.tasks["\\mt\\boot"].enabled = false;
  EXPECT_FALSE(again.SameRowsAs(items.ReadAhead()));
  counting.tasks["\\mt\\boot"].enabled = true;
  counting.tasks["\\mt\\more"] = {LogonTask("C:\\m.exe"), true};
  EXPECT_FALSE(again.SameRowsAs(items.ReadAhead()));
  EXPECT_FALSE(failed.SameRowsAs(failed));
}

// ---- image hijacks ----------------------------------------------------------------------------

constexpr const char* kIfeo =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\";
constexpr const char* kSilentExit =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SilentProcessExit\\";

TEST_F(StartupFamilyTest, ImageHijacksOfEveryProgramAreListedDeletedAndRestored) {
  ts.registry.CreatePath(kLM, "SOFTWARE\\Microsoft", k32);
  ts.registry.SetString(kLM, std::string(kIfeo) + "notepad.exe", "Debugger", "C:\\bad\\n.exe");
  ts.registry.SetDword(kLM, std::string(kIfeo) + "notepad.exe", "MitigationOptions", 3);
  // An exit monitor for the 32-bit view only, its GlobalFlag as the flags editor writes it.
  ts.registry.SetString(kLM, std::string(kIfeo) + "calc.exe", "GlobalFlag", "0x00000200", k32);
  ts.registry.SetDword(kLM, std::string(kSilentExit) + "calc.exe", "ReportingMode", 1, k32);
  ts.registry.SetString(kLM, std::string(kSilentExit) + "calc.exe", "MonitorProcess",
                        "C:\\bad\\m.exe", k32);
  // A monitor whose ReportingMode only asks for a dump: nothing is started, no row.
  ts.registry.SetDword(kLM, std::string(kIfeo) + "dump.exe", "GlobalFlag", 0x200);
  ts.registry.SetDword(kLM, std::string(kSilentExit) + "dump.exe", "ReportingMode", 2);
  ts.registry.SetString(kLM, std::string(kSilentExit) + "dump.exe", "MonitorProcess", "d.exe");
  items.Refresh(view);
  EXPECT_EQ(Names(S::ImageDebugger), (std::vector<std::string>{"notepad.exe=C:\\bad\\n.exe"}));
  EXPECT_EQ(Names(S::ImageExitMonitor32), (std::vector<std::string>{"calc.exe=C:\\bad\\m.exe"}));
  EXPECT_TRUE(Names(S::ImageExitMonitor).empty());
  EXPECT_TRUE(Names(S::ImageDebugger32).empty());  // the shared key is listed once
  ASSERT_FALSE(view.rows.empty());
  EXPECT_EQ(view.rows.back().source, S::ImageExitMonitor32);
  EXPECT_EQ(ShownName(view.rows.back()), "calc.exe (32位)");
  EXPECT_EQ(SourceText(S::ImageDebugger), "映像劫持");
  EXPECT_TRUE(IsMachineSource(S::ImageExitMonitor32));
  for (const StartupRow& r : view.rows) EXPECT_TRUE(r.enabled) << r.name;

  // No on/off record: "禁用" changes nothing and saves no set.
  ASSERT_TRUE(view.Check("notepad.exe", S::ImageDebugger));
  items.SetCheckedEnabled(view, false);
  EXPECT_TRUE(Sets().empty());
  EXPECT_TRUE(ts.registry.Get(kLM, std::string(kIfeo) + "notepad.exe", "Debugger"));

  ASSERT_TRUE(view.Check("notepad.exe", S::ImageDebugger));
  ASSERT_TRUE(view.Check("calc.exe", S::ImageExitMonitor32));
  items.DeleteClick(view);
  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_FALSE(ts.registry.Get(kLM, std::string(kIfeo) + "notepad.exe", "Debugger"));
  EXPECT_EQ(ts.registry.Get(kLM, std::string(kIfeo) + "notepad.exe", "MitigationOptions")->dword,
            3u);
  EXPECT_FALSE(ts.registry.Get(kLM, std::string(kSilentExit) + "calc.exe", "MonitorProcess", k32));
  EXPECT_EQ(ts.registry.Get(kLM, std::string(kIfeo) + "calc.exe", "GlobalFlag", k32)->text,
            "0x00000000");
  EXPECT_TRUE(Names(S::ImageDebugger).empty());
  EXPECT_TRUE(Names(S::ImageExitMonitor32).empty());

  ASSERT_EQ(Sets().size(), 1u);
  RestoreReport report = RestoreAll(Set(Sets()[0]));
  ASSERT_EQ(report.items.size(), 3u);
  for (const RestoreOutcome& o : report.items) EXPECT_TRUE(o.back) << o.caption << o.reason;
  EXPECT_EQ(ts.registry.Get(kLM, std::string(kIfeo) + "notepad.exe", "Debugger")->text,
            "C:\\bad\\n.exe");
  EXPECT_EQ(ts.registry.Get(kLM, std::string(kIfeo) + "calc.exe", "GlobalFlag", k32)->text,
            "0x00000200");
  EXPECT_EQ(
      ts.registry.Get(kLM, std::string(kSilentExit) + "calc.exe", "MonitorProcess", k32)->text,
      "C:\\bad\\m.exe");
  items.Refresh(view);
  EXPECT_EQ(Names(S::ImageDebugger).size() + Names(S::ImageExitMonitor32).size(), 2u);
}

// Packages installed for the user, each with one start-up task, and the state the system
// keeps for some of them.
TEST_F(StartupFamilyTest, PackagedAppsTasksAreListedWithTheirStateAndNeverDeletedOrSwitched) {
  const std::string repo =
      "Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\CurrentVersion\\AppModel\\";
  auto package = [&](const std::string& full, const std::string& folder, const std::string& task,
                     const std::string& attributes) {
    ts.registry.SetString(kCU, repo + "Repository\\Packages\\" + full, "PackageRootFolder", folder);
    ts.files.CreateDirectories(folder);
    ts.files.WriteAll(folder + "\\AppxManifest.xml",
                      "<Package><Applications><Application Executable=\"app.exe\" "
                      "EntryPoint=\"Windows.FullTrustApplication\"><Extensions><Extension "
                      "Category=\"windows.startupTask\" Executable=\"bin\\t.exe\"><StartupTask "
                      "TaskId=\"" +
                          task + "\" " + attributes +
                          "/></Extension></Extensions></Application></Applications></Package>");
  };
  std::string root = tmp.path();
  std::replace(root.begin(), root.end(), '/', '\\');
  // Switched off by the user in the system's settings: the kept state wins over the manifest.
  package("A.Off_1.0.0.0_x64__pub", root + "\\pkg a", "TaskA",
          "Enabled=\"true\" DisplayName=\"A\"");
  ts.registry.SetDword(kCU, repo + "SystemAppData\\A.Off_pub\\TaskA", "State", 1);
  // Never registered: a desktop app's task starts as its manifest says.
  package("B.New_1.0.0.0_x64__pub", root + "\\pkgb", "TaskB",
          "Enabled=\"true\" DisplayName=\"ms-resource:Name\"");
  places.indirectStrings["@{B.New_1.0.0.0_x64__pub?ms-resource://B.New/Resources/Name}"] = "乙";
  // Switched on; no display name: the task id names it.
  package("C.On_1.0.0.0_x64__pub", root + "\\pkgc", "TaskC", "Enabled=\"false\"");
  ts.registry.SetDword(kCU, repo + "SystemAppData\\C.On_pub\\TaskC", "State", 2);
  // A package whose folder has gone: no row, and the list goes on.
  ts.registry.SetString(kCU, repo + "Repository\\Packages\\D.Gone_1.0.0.0_x64__pub",
                        "PackageRootFolder", root + "\\missing");
  ts.registry.SetString(kCU, kRun, "Tool", "C:\\tool.exe");
  items.Refresh(view);

  std::vector<std::string> rows;
  for (const StartupRow& r : view.rows)
    if (r.source == S::PackagedApp)
      rows.push_back(r.name + "=" + r.location + (r.enabled ? " on" : " off"));
  const std::string base = root;
  EXPECT_EQ(rows, (std::vector<std::string>{"A=\"" + base + "\\pkg a\\bin\\t.exe\" off",
                                            "乙=" + base + "\\pkgb\\bin\\t.exe on",
                                            "TaskC=" + base + "\\pkgc\\bin\\t.exe on"}));
  EXPECT_EQ(SourceText(S::PackagedApp), "打包应用");
  EXPECT_FALSE(IsMachineSource(S::PackagedApp));

  // "禁用" leaves them as they are and saves nothing.
  ASSERT_TRUE(view.Check("乙", S::PackagedApp));
  items.SetCheckedEnabled(view, false);
  EXPECT_TRUE(Sets().empty());
  EXPECT_TRUE(ts.messages.shown.empty());

  // "删除" deletes the other ticked rows and names the tasks it kept.
  ASSERT_TRUE(view.Check("乙", S::PackagedApp));
  ASSERT_TRUE(view.Check("Tool", S::UserRun));
  items.DeleteClick(view);
  EXPECT_FALSE(ts.registry.Get(kCU, kRun, "Tool"));
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, std::string(kPackagedNotDeletedText) + "\n乙（打包应用）");
  ASSERT_EQ(Sets().size(), 1u);
  EXPECT_EQ(Set(Sets()[0]).items.size(), 1u);
  EXPECT_TRUE(ts.files.FileExists(base + "\\pkgb\\AppxManifest.xml"));
  EXPECT_EQ(Names(S::PackagedApp).size(), 3u);
}

// ---- the other log-on values -----------------------------------------------------------------

constexpr const char* kWinlogon = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

// Winlogon's VmApplet, TaskMan and AppSetup in each view and the user's own Shell: the
// system's own data and values that are not text give no row; "删除" writes VmApplet's own
// command back and removes the others; the set gives each back exactly.
TEST_F(StartupFamilyTest, WinlogonsOtherValuesAreListedUnlessTheSystemsOwnAndRestoredExactly) {
  ts.registry.CreatePath(kLM, "SOFTWARE\\Microsoft", k32);
  ts.registry.SetString(kLM, kWinlogon, "VmApplet", " systempropertiesperformance.exe /PAGEFILE");
  ts.registry.SetString(kLM, kWinlogon, "TaskMan", "C:\\bad\\tm.exe");
  ts.registry.SetDword(kLM, kWinlogon, "AppSetup", 1);  // not text: starts nothing
  ts.registry.SetString(kLM, kWinlogon, "VmApplet", "C:\\bad\\vm.exe /pagefile", k32);
  ts.registry.SetString(kLM, kWinlogon, "AppSetup", "UsrLogon.Cmd", k32);
  ts.registry.SetString(kLM, kWinlogon, "TaskMan", "   ", k32);
  SetExpand(kCU, kWinlogon, "Shell", "%TEMP%\\sh.exe");
  ts.registry.SetString(kLM, kWinlogon, "Shell", "explorer.exe");
  items.Refresh(view);
  EXPECT_EQ(Names(S::MachineWinlogonExtra), (std::vector<std::string>{"TaskMan=C:\\bad\\tm.exe"}));
  EXPECT_EQ(Names(S::MachineWinlogonExtra32),
            (std::vector<std::string>{"VmApplet=C:\\bad\\vm.exe /pagefile"}));
  EXPECT_EQ(Names(S::UserWinlogonShell), (std::vector<std::string>{"Shell=%TEMP%\\sh.exe"}));
  EXPECT_TRUE(Names(S::Winlogon).empty());
  EXPECT_TRUE(IsMachineSource(S::MachineWinlogonExtra32));
  EXPECT_TRUE(Is32BitSource(S::MachineWinlogonExtra32));
  EXPECT_FALSE(IsMachineSource(S::UserWinlogonShell));
  EXPECT_NE(SourceText(S::MachineWinlogonExtra), SourceText(S::Winlogon));
  // The user's explorer.exe is the machine's shell anyway.
  ts.registry.SetString(kCU, kWinlogon, "Shell", "Explorer.exe");
  items.Refresh(view);
  EXPECT_TRUE(Names(S::UserWinlogonShell).empty());
  SetExpand(kCU, kWinlogon, "Shell", "%TEMP%\\sh.exe");
  items.Refresh(view);

  // No on/off record: "禁用" leaves them alone and saves nothing.
  for (StartupRow& r : view.rows) r.checked = true;
  items.SetCheckedEnabled(view, false);
  EXPECT_TRUE(Sets().empty());
  EXPECT_TRUE(ts.messages.shown.empty());

  for (StartupRow& r : view.rows) r.checked = true;
  items.DeleteClick(view);
  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_FALSE(ts.registry.Get(kLM, kWinlogon, "TaskMan"));
  ASSERT_TRUE(ts.registry.Get(kLM, kWinlogon, "VmApplet", k32));
  EXPECT_EQ(ts.registry.Get(kLM, kWinlogon, "VmApplet", k32)->text, kDefaultVmApplet);
  EXPECT_FALSE(ts.registry.Get(kCU, kWinlogon, "Shell"));
  EXPECT_EQ(ts.registry.Get(kLM, kWinlogon, "AppSetup")->dword, 1u);
  EXPECT_EQ(ts.registry.Get(kLM, kWinlogon, "AppSetup", k32)->text, "UsrLogon.Cmd");
  EXPECT_TRUE(Names(S::MachineWinlogonExtra).empty());
  EXPECT_TRUE(Names(S::MachineWinlogonExtra32).empty());

  ASSERT_EQ(Sets().size(), 1u);
  RestoreReport report = RestoreAll(Set(Sets()[0]));
  ASSERT_EQ(report.items.size(), 3u);
  for (const RestoreOutcome& o : report.items) EXPECT_TRUE(o.back) << o.caption << o.reason;
  EXPECT_EQ(ts.registry.Get(kLM, kWinlogon, "TaskMan")->text, "C:\\bad\\tm.exe");
  EXPECT_EQ(ts.registry.Get(kLM, kWinlogon, "VmApplet", k32)->text, "C:\\bad\\vm.exe /pagefile");
  auto shell = ts.registry.Get(kCU, kWinlogon, "Shell");
  ASSERT_TRUE(shell);
  EXPECT_EQ(shell->type, RegDataType::ExpandString);
  EXPECT_EQ(shell->text, "%TEMP%\\sh.exe");
}

constexpr const char* kTerminalRun =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Terminal "
    "Server\\Install\\Software\\Microsoft\\"
    "Windows\\CurrentVersion\\Run";

// The terminal server's install-mode Run keys: text values only (a number is left out and
// the list goes on), RunOnceEx by sections, each view apart; deleted and restored exactly.
TEST_F(StartupFamilyTest, TheTerminalServersRunKeysAreListedPerViewDeletedAndRestored) {
  ts.registry.CreatePath(kLM, "SOFTWARE\\Microsoft", k32);
  const std::string run = kTerminalRun;
  ts.registry.SetDword(kLM, run, "flag", 1);
  ts.registry.SetString(kLM, run, "tsrun", "C:\\ts\\run.exe");
  ts.registry.SetString(kLM, run, "tsrun32", "C:\\ts\\run32.exe", k32);
  ts.registry.SetString(kLM, run + "Once", "once", "C:\\ts\\once.exe");
  ts.registry.SetString(kLM, run + "OnceEx\\0001", "a\\b", "C:\\ts\\ex32.exe", k32);
  ts.registry.SetString(kLM, run + "OnceEx\\0001", "", "section title", k32);
  items.Refresh(view);
  EXPECT_EQ(Names(S::TerminalRun), (std::vector<std::string>{"tsrun=C:\\ts\\run.exe"}));
  EXPECT_EQ(Names(S::TerminalRun32), (std::vector<std::string>{"tsrun32=C:\\ts\\run32.exe"}));
  EXPECT_EQ(Names(S::TerminalRunOnce), (std::vector<std::string>{"once=C:\\ts\\once.exe"}));
  EXPECT_TRUE(Names(S::TerminalRunOnce32).empty());
  EXPECT_TRUE(Names(S::TerminalRunOnceEx).empty());
  EXPECT_EQ(Names(S::TerminalRunOnceEx32),
            (std::vector<std::string>{"0001\\a\\b=C:\\ts\\ex32.exe"}));
  EXPECT_TRUE(Names(S::MachineRun).empty());
  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_TRUE(IsMachineSource(S::TerminalRunOnceEx32));
  EXPECT_TRUE(Is32BitSource(S::TerminalRun32));

  for (StartupRow& r : view.rows) r.checked = true;
  items.SetCheckedEnabled(view, false);  // no on/off record: nothing to switch
  EXPECT_TRUE(Sets().empty());
  for (StartupRow& r : view.rows) r.checked = true;
  items.DeleteClick(view);
  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_TRUE(view.rows.empty());
  EXPECT_EQ(ts.registry.Get(kLM, run, "flag")->dword, 1u);
  EXPECT_FALSE(ts.registry.Get(kLM, run + "OnceEx\\0001", "a\\b", k32));

  ASSERT_EQ(Sets().size(), 1u);
  BackupSetInfo set = Set(Sets()[0]);
  EXPECT_TRUE(set.damage.empty()) << set.damage;
  RestoreReport report = RestoreAll(set);
  ASSERT_EQ(report.items.size(), 4u);
  for (const RestoreOutcome& o : report.items) EXPECT_TRUE(o.back) << o.caption << o.reason;
  EXPECT_EQ(ts.registry.Get(kLM, run, "tsrun")->text, "C:\\ts\\run.exe");
  EXPECT_EQ(ts.registry.Get(kLM, run, "tsrun32", k32)->text, "C:\\ts\\run32.exe");
  EXPECT_FALSE(ts.registry.Get(kLM, run, "tsrun32"));
  EXPECT_EQ(ts.registry.Get(kLM, run + "Once", "once")->text, "C:\\ts\\once.exe");
  EXPECT_EQ(ts.registry.Get(kLM, run + "OnceEx\\0001", "a\\b", k32)->text, "C:\\ts\\ex32.exe");
}

constexpr const char* kPolicySystem =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";

// The policy's Shell (machine and user) and the user's logon script: explorer.exe as the
// policy's shell is no row, a value that is not text neither; "删除" removes the value, the
// environment's other values stay, and the set puts it back (the restore allows exactly that
// value of HKCU\Environment).
TEST_F(StartupFamilyTest, ThePolicyShellAndTheUsersLogonScriptAreListedDeletedAndRestored) {
  ts.registry.SetString(kLM, kPolicySystem, "Shell", "C:\\kiosk\\shell.exe");
  ts.registry.SetDword(kLM, kPolicySystem, "EnableLUA", 1);
  ts.registry.SetString(kCU, kPolicySystem, "Shell", "explorer.exe");
  ts.registry.SetString(kCU, "Environment", "UserInitMprLogonScript", "C:\\s\\logon.cmd /q");
  ts.registry.SetString(kCU, "Environment", "Path", "C:\\tools");
  items.Refresh(view);
  EXPECT_EQ(Names(S::MachinePolicyShell), (std::vector<std::string>{"Shell=C:\\kiosk\\shell.exe"}));
  EXPECT_TRUE(Names(S::UserPolicyShell).empty());
  EXPECT_EQ(Names(S::UserLogonScriptValue),
            (std::vector<std::string>{"UserInitMprLogonScript=C:\\s\\logon.cmd /q"}));
  EXPECT_TRUE(IsMachineSource(S::MachinePolicyShell));
  EXPECT_FALSE(IsMachineSource(S::UserLogonScriptValue));
  ts.registry.SetString(kCU, kPolicySystem, "Shell", "C:\\u\\shell.exe");
  ts.registry.SetBinary(kCU, "Environment", "UserInitMprLogonScript", "\x01\x02");
  items.Refresh(view);
  EXPECT_EQ(Names(S::UserPolicyShell), (std::vector<std::string>{"Shell=C:\\u\\shell.exe"}));
  EXPECT_TRUE(Names(S::UserLogonScriptValue).empty());
  ts.registry.SetString(kCU, "Environment", "UserInitMprLogonScript", "C:\\s\\logon.cmd /q");
  items.Refresh(view);

  for (StartupRow& r : view.rows) r.checked = true;
  items.DeleteClick(view);
  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_TRUE(view.rows.empty());
  EXPECT_FALSE(ts.registry.Get(kLM, kPolicySystem, "Shell"));
  EXPECT_FALSE(ts.registry.Get(kCU, kPolicySystem, "Shell"));
  EXPECT_FALSE(ts.registry.Get(kCU, "Environment", "UserInitMprLogonScript"));
  EXPECT_EQ(ts.registry.Get(kCU, "Environment", "Path")->text, "C:\\tools");
  EXPECT_EQ(ts.registry.Get(kLM, kPolicySystem, "EnableLUA")->dword, 1u);

  ASSERT_EQ(Sets().size(), 1u);
  BackupSetInfo set = Set(Sets()[0]);
  EXPECT_TRUE(set.damage.empty()) << set.damage;
  RestoreReport report = RestoreAll(set);
  ASSERT_EQ(report.items.size(), 3u);
  for (const RestoreOutcome& o : report.items) EXPECT_TRUE(o.back) << o.caption << o.reason;
  EXPECT_EQ(ts.registry.Get(kLM, kPolicySystem, "Shell")->text, "C:\\kiosk\\shell.exe");
  EXPECT_EQ(ts.registry.Get(kCU, kPolicySystem, "Shell")->text, "C:\\u\\shell.exe");
  EXPECT_EQ(ts.registry.Get(kCU, "Environment", "UserInitMprLogonScript")->text,
            "C:\\s\\logon.cmd /q");
}

constexpr const char* kScripts =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Group Policy\\Scripts";

TEST(GroupPolicyScripts, ARelativeScriptIsTakenFromThePolicysOwnFolder) {
  EXPECT_EQ(GroupPolicyScriptCommand("\\\\dom\\SysVol\\dom\\Policies\\{A}\\User", "Logon",
                                     "map.cmd", "/q"),
            "\\\\dom\\SysVol\\dom\\Policies\\{A}\\User\\Scripts\\Logon\\map.cmd /q");
  EXPECT_EQ(GroupPolicyScriptCommand("C:\\Windows\\System32\\GroupPolicy\\Machine\\", "Startup",
                                     "a b.ps1", ""),
            "\"C:\\Windows\\System32\\GroupPolicy\\Machine\\Scripts\\Startup\\a b.ps1\"");
  EXPECT_EQ(GroupPolicyScriptCommand("C:\\gp", "Logon", "D:\\s.bat", " x "), "D:\\s.bat x");
  EXPECT_EQ(GroupPolicyScriptCommand("C:\\gp", "Logon", "\\\\srv\\s.bat", ""), "\\\\srv\\s.bat");
  EXPECT_EQ(GroupPolicyScriptCommand("", "Logon", "s.bat", ""), "s.bat");
}

// A logon script of each policy key present (an index missing in between stops nothing), a
// start-up script of the machine; a script key without a Script, or with one that is not
// text, gives no row. "删除" takes the script's key whole into the set; restored exactly.
TEST_F(StartupFamilyTest, GroupPolicyScriptsAreListedPastAGapAndTheirKeysDeletedAndRestored) {
  const std::string logon = std::string(kScripts) + "\\Logon";
  ts.registry.SetString(kCU, logon + "\\0", "FileSysPath", "C:\\gp\\{A}\\User");
  ts.registry.SetString(kCU, logon + "\\0\\0", "Script", "first.cmd");
  ts.registry.SetString(kCU, logon + "\\0\\0", "Parameters", "/a");
  ts.registry.SetDword(kCU, logon + "\\0\\0", "ExecTime", 0);
  ts.registry.SetDword(kCU, logon + "\\0\\1", "Script", 5);  // not text
  ts.registry.SetString(kCU, logon + "\\0\\3", "Script", "C:\\abs\\third.cmd");
  ts.registry.SetString(kCU, logon + "\\2", "FileSysPath", "C:\\gp\\{B}\\User");
  ts.registry.SetString(kCU, logon + "\\2\\0", "Parameters", "only");  // no Script
  ts.registry.SetString(kCU, logon + "\\2\\1", "Script", "b.vbs");
  const std::string startup = std::string(kScripts) + "\\Startup";
  ts.registry.SetString(kLM, startup + "\\0", "FileSysPath", "C:\\gp\\{C}\\Machine");
  ts.registry.SetString(kLM, startup + "\\0\\0", "Script", "boot.cmd");
  items.Refresh(view);
  EXPECT_EQ(Names(S::UserLogonScript),
            (std::vector<std::string>{"0\\0=C:\\gp\\{A}\\User\\Scripts\\Logon\\first.cmd /a",
                                      "0\\3=C:\\abs\\third.cmd",
                                      "2\\1=C:\\gp\\{B}\\User\\Scripts\\Logon\\b.vbs"}));
  EXPECT_EQ(Names(S::MachineStartupScript),
            (std::vector<std::string>{"0\\0=C:\\gp\\{C}\\Machine\\Scripts\\Startup\\boot.cmd"}));
  EXPECT_TRUE(IsMachineSource(S::MachineStartupScript));
  EXPECT_FALSE(IsMachineSource(S::UserLogonScript));

  ASSERT_TRUE(view.Check("0\\0", S::UserLogonScript));
  ASSERT_TRUE(view.Check("0\\0", S::MachineStartupScript));
  items.SetCheckedEnabled(view, false);
  EXPECT_TRUE(Sets().empty());
  ASSERT_TRUE(view.Check("0\\0", S::UserLogonScript));
  ASSERT_TRUE(view.Check("0\\0", S::MachineStartupScript));
  items.DeleteClick(view);
  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_FALSE(ts.registry.HasKey(kCU, logon + "\\0\\0"));
  EXPECT_FALSE(ts.registry.HasKey(kLM, startup + "\\0\\0"));
  EXPECT_EQ(ts.registry.Get(kCU, logon + "\\0", "FileSysPath")->text, "C:\\gp\\{A}\\User");
  EXPECT_TRUE(ts.registry.HasKey(kCU, logon + "\\0\\3"));
  EXPECT_EQ(Names(S::UserLogonScript).size(), 2u);

  ASSERT_EQ(Sets().size(), 1u);
  BackupSetInfo set = Set(Sets()[0]);
  EXPECT_TRUE(set.damage.empty()) << set.damage;
  ASSERT_EQ(set.items.size(), 2u);
  EXPECT_EQ(set.items[0].kind, "registry-tree");
  RestoreReport report = RestoreAll(set);
  for (const RestoreOutcome& o : report.items) EXPECT_TRUE(o.back) << o.caption << o.reason;
  ASSERT_TRUE(ts.registry.Get(kCU, logon + "\\0\\0", "Parameters"));
  ASSERT_TRUE(ts.registry.Get(kCU, logon + "\\0\\0", "ExecTime"));
  EXPECT_EQ(ts.registry.Get(kCU, logon + "\\0\\0", "Script")->text, "first.cmd");
  EXPECT_EQ(ts.registry.Get(kCU, logon + "\\0\\0", "Parameters")->text, "/a");
  EXPECT_EQ(ts.registry.Get(kCU, logon + "\\0\\0", "ExecTime")->dword, 0u);
  EXPECT_EQ(ts.registry.Get(kLM, startup + "\\0\\0", "Script")->text, "boot.cmd");
}

constexpr const char* kActiveSetup = "SOFTWARE\\Microsoft\\Active Setup\\Installed Components";

// Components with a StubPath in each view, one without (no row), one whose StubPath is not
// text (no row); "删除" removes the component's key in its own view only, with its subkeys,
// and the set gives it back whole.
TEST_F(StartupFamilyTest, ActiveSetupComponentsWithAStubPathAreListedPerViewAndRemovedWhole) {
  ts.registry.CreatePath(kLM, "SOFTWARE\\Microsoft", k32);
  const std::string as = kActiveSetup;
  ts.registry.SetString(kLM, as + "\\{AAA}", "", "Tool A");
  ts.registry.SetString(kLM, as + "\\{AAA}", "StubPath", "C:\\a\\stub.exe /user");
  ts.registry.SetString(kLM, as + "\\{AAA}\\sub", "x", "y");
  ts.registry.SetString(kLM, as + "\\{NOSTUB}", "Version", "1,0");
  ts.registry.SetDword(kLM, as + "\\{NUM}", "StubPath", 7);
  ts.registry.SetString(kLM, as + "\\{AAA}", "StubPath", "C:\\x86\\stub32.exe", k32);
  items.Refresh(view);
  EXPECT_EQ(Names(S::ActiveSetup), (std::vector<std::string>{"{AAA}=C:\\a\\stub.exe /user"}));
  EXPECT_EQ(Names(S::ActiveSetup32), (std::vector<std::string>{"{AAA}=C:\\x86\\stub32.exe"}));
  EXPECT_EQ(ShownName(view.rows.back()), "{AAA} (32位)");
  EXPECT_EQ(view.rows.back().source, S::ActiveSetup32);

  ASSERT_TRUE(view.Check("{AAA}", S::ActiveSetup));
  items.DeleteClick(view);
  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_FALSE(ts.registry.HasKey(kLM, as + "\\{AAA}"));
  EXPECT_TRUE(ts.registry.HasKey(kLM, as + "\\{NOSTUB}"));
  EXPECT_EQ(ts.registry.Get(kLM, as + "\\{AAA}", "StubPath", k32)->text, "C:\\x86\\stub32.exe");
  EXPECT_TRUE(Names(S::ActiveSetup).empty());

  ASSERT_EQ(Sets().size(), 1u);
  RestoreReport report = RestoreAll(Set(Sets()[0]));
  ASSERT_EQ(report.items.size(), 1u);
  EXPECT_TRUE(report.items[0].back) << report.items[0].reason;
  EXPECT_EQ(ts.registry.Get(kLM, as + "\\{AAA}", "")->text, "Tool A");
  EXPECT_EQ(ts.registry.Get(kLM, as + "\\{AAA}", "StubPath")->text, "C:\\a\\stub.exe /user");
  EXPECT_EQ(ts.registry.Get(kLM, as + "\\{AAA}\\sub", "x")->text, "y");
}

}  // namespace
}  // namespace mt::test
