// Device-management enrolments without a server as rows, their repair and their backup.
#include <gtest/gtest.h>

#include "browser/tests/HijackFixture.h"

namespace mt {
namespace {

using namespace test;

TEST_F(Hijacks, OnlyEnrolmentsWithoutAManagementServerAreShownAndBothTheirKeysGo) {
  const std::string enrol = std::string(kEnrollmentsKey) + "\\";
  const std::string account = std::string(kOmadmAccountsKey) + "\\";
  // The fake one: enrolled, an account of the management client, no server anywhere.
  reg.SetDword(LM, enrol + kFake, "EnrollmentState", 1);
  reg.SetDword(LM, enrol + kFake, "EnrollmentType", 0);
  reg.SetDword(LM, account + kFake, "Flags", 0xd6fb7f);
  reg.SetString(LM, account + kFake, "ProtoVer", "1.2");
  // A real one: its account names the server, deeper down.
  const std::string real = "{11111111-2222-3333-4444-555555555555}";
  reg.SetDword(LM, enrol + real, "EnrollmentState", 1);
  reg.SetString(LM, account + real + "\\Protected", "AppAddr", "https://r.manage.example/");
  // Not enrolled, no account; an account alone; keys that are no enrolment at all.
  reg.SetDword(LM, enrol + "22222222-2222-2222-2222-222222222222", "EnrollmentState", 0);
  reg.CreatePath(LM, account + "33333333-3333-3333-3333-333333333333");
  reg.SetDword(LM, enrol + "Context", "EnrollmentState", 1);
  reg.SetString(LM, enrol + "Status", "x", "y");
  page.TabSheet3Show();
  auto rows = HijackRows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0]->caption, "设备管理注册（无管理服务器，使浏览器策略生效）：" + kFake);
  EXPECT_EQ(rows[0]->column2, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Enrollments\\" + kFake);
  EXPECT_NE(rows[1]->caption.find("33333333-3333"), std::string::npos);

  Tick("设备管理注册（无管理服务器，使浏览器策略生效）：" + kFake);
  page.SbiedefaultClick();
  ASSERT_TRUE(ts.messages.shown.empty());
  EXPECT_FALSE(reg.HasKey(LM, enrol + kFake));
  EXPECT_FALSE(reg.HasKey(LM, account + kFake));
  EXPECT_TRUE(reg.HasKey(LM, enrol + real) && reg.HasKey(LM, account + real));
  EXPECT_TRUE(reg.HasKey(LM, enrol + "Context"));
  ExpectInBackup(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Enrollments\\" + kFake +
      "]\r\n\"EnrollmentState\"=dword:00000001\r\n\"EnrollmentType\"=dword:00000000\r\n");
  ExpectInBackup("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Provisioning\\OMADM\\Accounts\\" +
                 kFake + "]\r\n\"Flags\"=dword:00d6fb7f\r\n\"ProtoVer\"=\"1.2\"\r\n");
}

// An enrolment as the system keeps it for a real management server. The layout follows
// Microsoft's DMClient CSP reference (learn.microsoft.com, windows/client-management/mdm/
// dmclient-csp): a server's settings are kept per provider (Provider/{ProviderID}), its
// ManagementServiceAddress among them; on the machine they lie below the enrolment's key,
// under DMClient\<provider id>. The test puts the address five levels down and nowhere
// nearer, so only a search at any depth finds it.
void SeedRealEnrolment(test::MemoryRegistry& reg, const std::string& id, const std::string& url) {
  const std::string entry = std::string(kEnrollmentsKey) + "\\" + id;
  reg.SetDword(LM, entry, "EnrollmentState", 1);
  reg.SetDword(LM, entry, "EnrollmentType", 6);
  reg.SetString(LM, entry, "ProviderID", "MS DM Server");
  reg.SetString(LM, entry, "UPN", "user@contoso.com");
  reg.SetString(LM, entry + "\\DMClient\\MS DM Server", "EntDMID", "0123456789");
  reg.SetString(LM, entry + "\\DMClient\\MS DM Server\\Poll\\Schedules\\Primary",
                "ManagementServiceAddress", url);
  const std::string account = std::string(kOmadmAccountsKey) + "\\" + id;
  reg.SetDword(LM, account, "Flags", 0xd6fb7f);
  reg.SetString(LM, account, "ProtoVer", "1.2");
  reg.SetString(LM, account + "\\Protected", "ServerID", "MS DM Server");
}

TEST_F(Hijacks, ARealEnrolmentWhoseServerSitsAtAnyDepthIsNeverListed) {
  const std::string enrol = std::string(kEnrollmentsKey) + "\\";
  const std::string account = std::string(kOmadmAccountsKey) + "\\";
  const std::string deep = "AAAAAAAA-0000-0000-0000-000000000001";
  SeedRealEnrolment(reg, deep, "https://r.manage.contoso.com/EnrollmentServer/Discovery.svc");
  // A plain-http server, and one two levels down in the account only.
  const std::string plain = "AAAAAAAA-0000-0000-0000-000000000002";
  reg.SetDword(LM, enrol + plain, "EnrollmentState", 1);
  reg.SetString(LM, enrol + plain, "DiscoveryServiceFullURL", " HTTP://mdm.contoso.com/x");
  const std::string sub = "AAAAAAAA-0000-0000-0000-000000000003";
  reg.SetDword(LM, enrol + sub, "EnrollmentState", 1);
  reg.SetString(LM, account + sub + "\\Protected\\Sub", "AppAddr", "https://dm.contoso.com/");
  // Enrolled once, now in another state (2), with no account: not enrolled.
  reg.SetDword(LM, enrol + "AAAAAAAA-0000-0000-0000-000000000004", "EnrollmentState", 2);
  // The fake one beside them is still found.
  reg.SetDword(LM, enrol + kFake, "EnrollmentState", 1);
  page.TabSheet3Show();
  auto rows = HijackRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]->caption, "设备管理注册（无管理服务器，使浏览器策略生效）：" + kFake);

  // "自动反修" with everything ticked leaves every real one whole.
  for (size_t i = 0; i < view.ticks.size(); ++i) view.ticks[i] = true;
  page.SbiedefaultClick();
  ASSERT_TRUE(ts.messages.shown.empty());
  EXPECT_FALSE(reg.HasKey(LM, enrol + kFake));
  for (const std::string& id : {deep, plain, sub}) EXPECT_TRUE(reg.HasKey(LM, enrol + id)) << id;
  EXPECT_TRUE(reg.Get(LM, enrol + deep + "\\DMClient\\MS DM Server\\Poll\\Schedules\\Primary",
                      "ManagementServiceAddress"));
  EXPECT_TRUE(reg.HasKey(LM, account + deep + "\\Protected"));
  EXPECT_TRUE(reg.HasKey(LM, account + sub + "\\Protected\\Sub"));
}

// A row whose id is no direct child name (empty, or a path) would name the parent key or a
// key below another enrolment: its repair and its backup touch nothing.
TEST_F(Hijacks, AnEnrolmentRowWithoutADirectKeyNameDeletesAndSavesNothing) {
  const std::string enrol = std::string(kEnrollmentsKey) + "\\";
  const std::string account = std::string(kOmadmAccountsKey) + "\\";
  reg.SetDword(LM, enrol + kFake, "EnrollmentState", 1);
  reg.SetDword(LM, enrol + kFake + "\\Sub", "x", 1);
  reg.SetDword(LM, account + kFake, "Flags", 1);
  for (const std::string& id : {std::string(), kFake + "\\Sub", std::string("\\")}) {
    SCOPED_TRACE(id);
    Hijack h;
    h.module = &EnrolmentHijacks();
    h.root = LM;
    h.value = id;
    ASSERT_NO_THROW(RepairHijack(ts.services, h));
    EXPECT_TRUE(reg.HasKey(LM, kEnrollmentsKey));
    EXPECT_TRUE(reg.HasKey(LM, enrol + kFake + "\\Sub"));
    EXPECT_TRUE(reg.HasKey(LM, account + kFake));
    DeletionBackup backup(reg, ts.files, ts.services.exeDir);
    SaveHijack(backup, h);
    EXPECT_TRUE(backup.Empty());
  }
}

}  // namespace
}  // namespace mt
