// The services of the startup list: which keys are listed and with what program, the start
// type switched off and on through the service manager and given back by the restore, and
// what a refusing service or a ticked service row under "删除" tells the user.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/BackupSets.h"
#include "app/Restore.h"
#include "startup/Publishers.h"
#include "startup/ServiceChange.h"
#include "startup/ServiceFamily.h"
#include "startup/StartupItems.h"
#include "startup/tests/StartupStandIns.h"
#include "tests/support/StandIns.h"
#include "tests/support/YesToAll.h"

namespace mt::test {
namespace {

using S = StartupSource;
constexpr RegRoot kLM = RegRoot::LocalMachine;
const std::string kSvc = "SYSTEM\\CurrentControlSet\\Services\\";

class ServiceFamilyTest : public ::testing::Test {
 protected:
  ServiceFamilyTest() : scm(&ts.registry), items(ts.services, places) {
    std::string root = tmp.path();
    std::replace(root.begin(), root.end(), '/', '\\');
    ts.services.exeDir = root + "\\app";
    ts.services.serviceControl = &scm;
    ts.services.environment = [](const std::string& name) -> std::optional<std::string> {
      if (EqualsNoCase(name, "SystemRoot")) return std::string("C:\\WINDOWS");
      return std::nullopt;
    };
    places.windowsDirectory = "C:\\WINDOWS";
  }
  // A service key as an installer writes it, known to the manager as well.
  void Service(const std::string& name, uint32_t type, uint32_t start, const std::string& image,
               bool running = false) {
    ts.registry.SetDword(kLM, kSvc + name, "Type", type);
    ts.registry.SetDword(kLM, kSvc + name, "Start", start);
    if (!image.empty()) ts.registry.SetString(kLM, kSvc + name, "ImagePath", image);
    scm.services[name].start = {start, false};
    scm.services[name].running = running;
  }
  void Delayed(const std::string& name) {
    ts.registry.SetDword(kLM, kSvc + name, "DelayedAutostart", 1);
    scm.services[name].start.delayed = true;
  }
  ServiceScan Scan() { return ScanServices(ts.registry, "C:\\WINDOWS", ts.services.environment); }
  static const ServiceEntry* Found(const ServiceScan& scan, const std::string& name) {
    for (const ServiceEntry& e : scan.found)
      if (e.name == name) return &e;
    return nullptr;
  }
  static std::string Skipped(const ServiceScan& scan, const std::string& name) {
    for (const SkippedService& s : scan.skipped)
      if (s.name == name) return s.reason;
    return std::string();
  }
  std::vector<std::string> Sets() {
    return BackupSetFolders(ts.files, DataFolder(ts.services.exeDir, ts.services.places));
  }
  RestoreReport RestoreAll(const std::string& folder) {
    const BackupSetInfo set = ReadBackupSet(ChangeEnvOf(ts.services), *ts.services.changeKinds,
                                            folder);
    EXPECT_TRUE(set.damage.empty()) << set.damage;
    std::vector<size_t> all;
    for (size_t i = 0; i < set.items.size(); ++i) all.push_back(i);
    YesToAll yes;
    return RestoreItems(ChangeEnvOf(ts.services),
                        DataFolder(ts.services.exeDir, ts.services.places), set, all, yes);
  }
  // Every value a switch may touch, as stored.
  std::optional<RawRegValue> Raw(const std::string& path, const std::string& name) {
    auto key = ts.registry.Open(kLM, nullptr, path, false);
    return key ? ts.registry.QueryRaw(*key, name) : std::nullopt;
  }
  std::vector<std::optional<RawRegValue>> Values(const std::vector<std::string>& names) {
    std::vector<std::optional<RawRegValue>> out;
    for (const std::string& n : names) {
      out.push_back(Raw(kSvc + n, "Start"));
      out.push_back(Raw(kSvc + n, "DelayedAutostart"));
      out.push_back(Raw(kDisabledServicesKeyPath, n));
    }
    return out;
  }
  const StartupRow* Row(const std::string& name) {
    for (const StartupRow& r : view.rows)
      if (r.name == name) return &r;
    return nullptr;
  }

  TestServices ts;
  MemoryServiceControl scm;
  ScriptedPlaces places;
  TempDir tmp;
  StartupItems items;
  MemoryStartupView view;
};

TEST_F(ServiceFamilyTest, TheWin32ServicesThatStartWithWindowsAreListedWithTheirProgram) {
  Service("Own", 0x10, 2, "\"C:\\Program Files\\Own\\own.exe\" -service");
  Service("Late", 0x10, 2, "C:\\late\\late.exe");
  Delayed("Late");
  Service("Trig", 0x20, 3, "%SystemRoot%\\System32\\svchost.exe -k netsvcs -p");
  ts.registry.CreatePath(kLM, kSvc + "Trig\\TriggerInfo\\0");
  ts.registry.SetString(kLM, kSvc + "Trig\\Parameters", "ServiceDll",
                        "%SystemRoot%\\System32\\trig.dll");
  Service("OldHost", 0x20, 2, "C:\\WINDOWS\\system32\\svchost.exe -k old");
  ts.registry.SetString(kLM, kSvc + "OldHost", "ServiceDll", "C:\\Program Files\\Old\\old.dll");
  Service("Tmpl", 0x50, 2, "C:\\tmpl\\tmpl.exe");
  Service("Tmpl_3a4f1", 0xD0, 2, "C:\\tmpl\\tmpl.exe");  // the template's copy in a session
  Service("Interactive", 0x110, 2, "C:\\i\\i.exe");
  Service("Spaced", 0x10, 2, "C:\\Program Files\\App\\app.exe -x");
  Service("Kernel", 0x10, 2, "\\SystemRoot\\svc\\k.exe");
  Service("Nt", 0x10, 2, "\\??\\C:\\nt\\nt.exe");
  Service("Bare", 0x10, 2, "relsvc.exe /run");
  // Not listed: on demand without triggers (an empty TriggerInfo has none), disabled,
  // boot and system starts, drivers, a key without a type or start.
  Service("Demand", 0x10, 3, "C:\\d\\d.exe");
  ts.registry.CreatePath(kLM, kSvc + "Demand\\TriggerInfo");
  Service("Off", 0x10, 4, "C:\\o\\o.exe");
  Service("Boot", 0x10, 0, "C:\\b\\b.exe");
  Service("Driver", 0x1, 2, "System32\\drivers\\drv.sys");
  Service("FsDriver", 0x2, 1, "System32\\drivers\\fs.sys");
  ts.registry.SetString(kLM, kSvc + "NoType", "ImagePath", "C:\\n\\n.exe");

  const ServiceScan scan = Scan();
  std::vector<std::string> names;
  for (const ServiceEntry& e : scan.found) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Bare", "Interactive", "Kernel", "Late", "Nt",
                                             "OldHost", "Own", "Spaced", "Tmpl", "Trig"}));
  EXPECT_TRUE(scan.skipped.empty());

  EXPECT_EQ(Found(scan, "Own")->source, S::ServiceAuto);
  EXPECT_EQ(Found(scan, "Own")->location, "\"C:\\Program Files\\Own\\own.exe\" -service");
  EXPECT_EQ(Found(scan, "Late")->source, S::ServiceDelayed);
  EXPECT_EQ(Found(scan, "Trig")->source, S::ServiceTrigger);
  // A service svchost.exe hosts is named by its DLL, expanded.
  EXPECT_EQ(Found(scan, "Trig")->location, "C:\\WINDOWS\\System32\\trig.dll");
  EXPECT_EQ(Found(scan, "OldHost")->location, "\"C:\\Program Files\\Old\\old.dll\"");
  EXPECT_EQ(Found(scan, "Tmpl")->source, S::ServiceUserTemplate);
  EXPECT_EQ(Found(scan, "Spaced")->location, "\"C:\\Program Files\\App\\app.exe\" -x");
  EXPECT_EQ(Found(scan, "Kernel")->location, "C:\\WINDOWS\\svc\\k.exe");
  EXPECT_EQ(Found(scan, "Nt")->location, "C:\\nt\\nt.exe");
  // A bare name is left for the program search, as the system does.
  EXPECT_EQ(Found(scan, "Bare")->location, "relsvc.exe /run");
  for (const ServiceEntry& e : scan.found) EXPECT_TRUE(e.enabled) << e.name;
}

TEST_F(ServiceFamilyTest, AnImagePathThatIsMissingOddOrADriversIsARowOrSkippedWithItsReason) {
  Service("NoImage", 0x10, 2, "");
  Service("Blank", 0x10, 2, "   ");
  ts.registry.SetDword(kLM, kSvc + "NotText", "Type", 0x10);
  ts.registry.SetDword(kLM, kSvc + "NotText", "Start", 2);
  ts.registry.SetDword(kLM, kSvc + "NotText", "ImagePath", 7);
  Service("ToDriver", 0x10, 2, "\\SystemRoot\\System32\\drivers\\evil.sys");
  Service("OddQuote", 0x10, 2, "\"C:\\Odd Path\\odd.exe");
  Service("Quotes", 0x10, 2, "\"\" -x");
  Service("Fine", 0x10, 2, "C:\\f\\f.exe");
  ts.registry.CreatePath(kLM, kSvc + "Locked");
  ts.registry.Deny(kLM, kSvc + "Locked");

  const ServiceScan scan = Scan();
  EXPECT_NE(Skipped(scan, "NoImage").find("ImagePath"), std::string::npos);
  EXPECT_NE(Skipped(scan, "Blank").find("ImagePath"), std::string::npos);
  EXPECT_NE(Skipped(scan, "NotText").find("ImagePath"), std::string::npos);
  EXPECT_EQ(Skipped(scan, "ToDriver"),
            "ImagePath 指向驱动程序：C:\\WINDOWS\\System32\\drivers\\evil.sys");
  EXPECT_NE(Skipped(scan, "Quotes").find("没有程序"), std::string::npos);
  EXPECT_EQ(Skipped(scan, "Locked"), "无法打开注册表项");
  // A quote without its twin: the rest is the program, quoted again for the row.
  ASSERT_TRUE(Found(scan, "OddQuote"));
  EXPECT_EQ(Found(scan, "OddQuote")->location, "\"C:\\Odd Path\\odd.exe\"");
  ASSERT_TRUE(Found(scan, "Fine"));
  EXPECT_EQ(scan.found.size(), 2u);

  // The list goes on past them all.
  items.Refresh(view);
  EXPECT_TRUE(view.Has("Fine", S::ServiceAuto));
  EXPECT_TRUE(view.Has("OddQuote", S::ServiceAuto));
  EXPECT_TRUE(ts.messages.shown.empty());
}

TEST_F(ServiceFamilyTest, RowsComeLastInSourceOrderWithTheManagersStateAndThePublisherFile) {
  ts.registry.SetString(kLM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "R", "r.exe");
  Service("B-late", 0x10, 2, "C:\\b\\b.exe", true);
  Delayed("B-late");
  Service("A-auto", 0x10, 2, "C:\\a\\a.exe", false);
  Service("Host", 0x20, 2, "C:\\WINDOWS\\System32\\svchost.exe -k g", true);
  ts.registry.SetString(kLM, kSvc + "Host\\Parameters", "ServiceDll", "C:\\x\\host.dll");
  // Written since the manager started: it does not know the service.
  ts.registry.SetDword(kLM, kSvc + "New", "Type", 0x10);
  ts.registry.SetDword(kLM, kSvc + "New", "Start", 2);
  ts.registry.SetString(kLM, kSvc + "New", "ImagePath", "C:\\n\\n.exe");

  items.Refresh(view);
  ASSERT_GE(view.rows.size(), 5u);
  EXPECT_EQ(view.rows[0].name, "R");
  std::vector<std::pair<S, std::string>> order;
  for (size_t i = 1; i < view.rows.size(); ++i)
    order.emplace_back(view.rows[i].source, view.rows[i].name);
  std::sort(order.begin(), order.begin() + 3);
  EXPECT_EQ(order, (std::vector<std::pair<S, std::string>>{{S::ServiceAuto, "A-auto"},
                                                           {S::ServiceAuto, "Host"},
                                                           {S::ServiceAuto, "New"},
                                                           {S::ServiceDelayed, "B-late"}}));
  EXPECT_EQ(Row("A-auto")->status, kServiceStoppedText);
  EXPECT_EQ(Row("B-late")->status, kServiceRunningText);
  EXPECT_EQ(Row("New")->status, "");
  EXPECT_EQ(SourceText(S::ServiceAuto), "服务");
  EXPECT_EQ(SourceText(S::ServiceDelayed).rfind("服务", 0), 0u);
  EXPECT_TRUE(IsMachineSource(S::ServiceTrigger));
  // The publisher column checks the DLL, not svchost.exe (which Microsoft signs).
  ProgramLookup lookup;
  lookup.exists = [](const std::string&) { return true; };
  EXPECT_EQ(ProgramFileOf(*Row("Host"), lookup, nullptr), "C:\\x\\host.dll");
  // One question to the manager for the whole family.
  EXPECT_EQ(scm.listings, 1);

  // Without a service manager no service is listed.
  ts.services.serviceControl = nullptr;
  items.Refresh(view);
  EXPECT_FALSE(view.Has("A-auto", S::ServiceAuto));
}

TEST_F(ServiceFamilyTest, SwitchingOffAndOnGoesThroughTheManagerAndTheRestoreGivesAllBack) {
  Service("Late", 0x10, 2, "C:\\l\\l.exe", true);
  Delayed("Late");
  Service("Plain", 0x10, 2, "C:\\p\\p.exe");
  Service("Trig", 0x10, 3, "C:\\t\\t.exe");
  ts.registry.CreatePath(kLM, kSvc + "Trig\\TriggerInfo\\0");
  const std::vector<std::string> names = {"Late", "Plain", "Trig"};
  const auto before = Values(names);

  items.Refresh(view);
  for (StartupRow& r : view.rows) r.checked = true;
  items.SetCheckedEnabled(view, false);
  EXPECT_TRUE(ts.messages.shown.empty());
  for (const std::string& n : names) {
    EXPECT_EQ(scm.services[n].start.start, kServiceDisabled) << n;
    EXPECT_EQ(ts.registry.Get(kLM, kSvc + n, "Start")->dword, kServiceDisabled) << n;
  }
  // Still listed, switched off, each under the kind it had.
  ASSERT_TRUE(Row("Late") && Row("Plain") && Row("Trig"));
  EXPECT_EQ(Row("Late")->source, S::ServiceDelayed);
  EXPECT_EQ(Row("Trig")->source, S::ServiceTrigger);
  for (const StartupRow& r : view.rows) EXPECT_FALSE(r.enabled) << r.name;
  EXPECT_EQ(ts.registry.Get(kLM, kDisabledServicesKeyPath, "Late")->dword, 0x102u);
  EXPECT_EQ(ts.registry.Get(kLM, kDisabledServicesKeyPath, "Trig")->dword, 3u);
  // The delayed flag is left alone while off.
  EXPECT_EQ(ts.registry.Get(kLM, kSvc + "Late", "DelayedAutostart")->dword, 1u);

  // "启用" gives each its own start type back and forgets the record.
  std::vector<std::string> sets = Sets();
  ASSERT_EQ(sets.size(), 1u);
  const std::string offSet = sets[0];
  for (StartupRow& r : view.rows) r.checked = r.name != "Plain";
  items.SetCheckedEnabled(view, true);
  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_EQ(scm.services["Late"].start, (ServiceStart{kServiceAutoStart, true}));
  EXPECT_EQ(scm.services["Trig"].start, (ServiceStart{kServiceDemandStart, false}));
  EXPECT_FALSE(ts.registry.Get(kLM, kDisabledServicesKeyPath, "Late"));
  EXPECT_TRUE(Row("Late")->enabled);

  // The first click's set, item by item: the manager's start type first, then the values.
  const BackupSetInfo set = ReadBackupSet(ChangeEnvOf(ts.services), *ts.services.changeKinds,
                                          offSet);
  ASSERT_TRUE(set.damage.empty()) << set.damage;
  ASSERT_EQ(set.items.size(), 12u);
  EXPECT_EQ(set.items[0].kind, kServiceStartKind);
  EXPECT_EQ(set.items[0].caption, "禁用 Plain  C:\\p\\p.exe");
  for (size_t i = 1; i < 4; ++i) EXPECT_EQ(set.items[i].kind, "registry-value");

  // Taking it back: every value as it was to the byte (no record left, no DelayedAutostart
  // made where there was none) and the manager told.
  const RestoreReport report = RestoreAll(offSet);
  ASSERT_TRUE(report.refused.empty()) << report.refused;
  for (const RestoreOutcome& o : report.items) EXPECT_TRUE(o.back) << o.place << o.reason;
  EXPECT_EQ(Values(names), before);
  EXPECT_EQ(scm.services["Late"].start, (ServiceStart{kServiceAutoStart, true}));
  EXPECT_EQ(scm.services["Plain"].start, (ServiceStart{kServiceAutoStart, false}));
  EXPECT_EQ(scm.services["Trig"].start, (ServiceStart{kServiceDemandStart, false}));
}

TEST_F(ServiceFamilyTest, AServiceSwitchedOffWithoutARecordIsSwitchedOnAsAutomatic) {
  Service("Gone", 0x10, 4, "C:\\g\\g.exe");
  const StartupFamily* family = FamilyOf(S::ServiceAuto);
  ASSERT_NE(family, nullptr);
  const StartupRow row{"Gone", "C:\\g\\g.exe", S::ServiceAuto, true, false};
  EXPECT_EQ(family->SwitchOrReason({ts.services, places}, row, true, 0), "");
  EXPECT_EQ(scm.services["Gone"].start, (ServiceStart{kServiceAutoStart, false}));
  // A record that is not a start type that starts with Windows counts as none.
  ts.registry.SetDword(kLM, kDisabledServicesKeyPath, "Odd", 0x4);
  EXPECT_FALSE(SavedServiceStart(ts.registry, "Odd"));
  ts.registry.SetString(kLM, kDisabledServicesKeyPath, "Text", "2");
  EXPECT_FALSE(SavedServiceStart(ts.registry, "Text"));
}

TEST_F(ServiceFamilyTest, AServiceThatRefusesIsNamedWithItsReasonAndKeepsItsStartType) {
  Service("Denied", 0x10, 2, "C:\\d\\d.exe");
  Service("Doomed", 0x10, 2, "C:\\x\\x.exe");
  Service("Fine", 0x10, 2, "C:\\f\\f.exe");
  scm.services["Denied"].refuses = ServiceOutcome::AccessDenied;
  scm.services["Doomed"].refuses = ServiceOutcome::MarkedForDelete;

  items.Refresh(view);
  for (StartupRow& r : view.rows) r.checked = true;
  items.SetCheckedEnabled(view, false);

  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, std::string(kSwitchRefusedText) +
                                           "\nDenied（服务）：拒绝访问"
                                           "\nDoomed（服务）：服务已标记为删除");
  EXPECT_EQ(ts.registry.Get(kLM, kSvc + "Denied", "Start")->dword, 2u);
  EXPECT_FALSE(ts.registry.Get(kLM, kDisabledServicesKeyPath, "Denied"));
  EXPECT_FALSE(ts.registry.Get(kLM, kDisabledServicesKeyPath, "Doomed"));
  EXPECT_EQ(scm.services["Fine"].start.start, kServiceDisabled);
  EXPECT_TRUE(Row("Denied")->enabled);
  EXPECT_FALSE(Row("Fine")->enabled);
  EXPECT_EQ(ServiceOutcomeText(ServiceOutcome::NoSuchService), "服务不存在");
  EXPECT_EQ(ServiceOutcomeText(ServiceOutcome::Failed), "服务管理器拒绝了更改");
}

TEST_F(ServiceFamilyTest, DeleteLeavesTickedServicesAloneAndNamesThem) {
  const std::string run = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  ts.registry.SetString(kLM, run, "R", "r.exe");
  Service("Svc", 0x10, 2, "C:\\s\\s.exe");
  items.Refresh(view);
  for (StartupRow& r : view.rows) r.checked = true;

  items.DeleteClick(view);

  EXPECT_FALSE(ts.registry.Get(kLM, run, "R"));
  EXPECT_EQ(ts.registry.Get(kLM, kSvc + "Svc", "ImagePath")->text, "C:\\s\\s.exe");
  EXPECT_EQ(scm.services["Svc"].start.start, kServiceAutoStart);
  EXPECT_TRUE(view.Has("Svc", S::ServiceAuto));
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, std::string(kServiceNotDeletedText) + "\nSvc（服务）");
  // The set holds the Run value only.
  const std::vector<std::string> sets = Sets();
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(ReadBackupSet(ChangeEnvOf(ts.services), *ts.services.changeKinds, sets[0]).items.size(),
            1u);
}

TEST_F(ServiceFamilyTest, TheStartTypeChangeRestoresThroughTheManagerOnly) {
  Service("S", 0x10, 4, "C:\\s\\s.exe");
  ServiceStartChange change("S");
  const ChangeEnv env = ChangeEnvOf(ts.services);
  EXPECT_EQ(change.Observe(env), (nlohmann::json{{"start", 4}, {"delayed", false}}));
  change.Restore(env, nlohmann::json{{"start", 2}, {"delayed", true}}, nlohmann::json());
  EXPECT_EQ(scm.services["S"].start, (ServiceStart{kServiceAutoStart, true}));
  EXPECT_EQ(change.DescribeState(change.Observe(env)), "启动类型 自动（延迟启动）");
  scm.services["S"].refuses = ServiceOutcome::AccessDenied;
  EXPECT_THROW(change.Restore(env, nlohmann::json{{"start", 4}}, nlohmann::json()), AppError);
  EXPECT_THROW(change.Restore(env, AbsentState(), nlohmann::json()), AppError);
  EXPECT_EQ(ServiceStartChange("Nope").Observe(env), AbsentState());
  // A forged place that is not one service name is refused.
  EXPECT_TRUE(change.PlaceAllowed(env));
  EXPECT_FALSE(ServiceStartChange("a\\b").PlaceAllowed(env));
  EXPECT_FALSE(ServiceStartChange("..").PlaceAllowed(env));
  EXPECT_FALSE(ServiceStartChange("").PlaceAllowed(env));
  ChangeEnv none = env;
  none.serviceControl = nullptr;
  EXPECT_THROW(change.Observe(none), AppError);
}

}  // namespace
}  // namespace mt::test
