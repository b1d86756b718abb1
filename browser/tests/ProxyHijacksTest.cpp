// The current user's system proxy as rows of the "IE修复" list (named, with the proxy program
// seen running for one on this machine), its repair, backup and restore; and the browsers'
// proxy and secure-DNS policies.
#include <gtest/gtest.h>

#include "app/Restore.h"
#include "browser/tests/HijackFixture.h"
#include "tests/support/YesToAll.h"

namespace mt {
namespace {

using namespace test;

const std::string kSettings = kInternetSettingsKey;

class ProxyRows : public Hijacks {
 protected:
  std::vector<std::string> Captions() {
    std::vector<std::string> out;
    for (const AddOnRow* r : HijackRows()) out.push_back(r->caption);
    return out;
  }
};

TEST(ProxyText, LocalProxiesAreThoseWhoseEveryServerIsThisMachine) {
  for (const char* s :
       {"127.0.0.1:7890", "localhost:8080", "LOCALHOST", "[::1]:1080",
        "http=127.0.0.1:8080;https=127.0.0.1:8080", "socks=127.0.0.2:1080",
        "http://127.0.0.1:33210/pac", "http://user@localhost/x.pac", " 127.0.0.1:1 ;"})
    EXPECT_TRUE(LocalProxy(s)) << s;
  for (const char* s :
       {"10.0.0.1:8080", "proxy.corp.cn:80", "http=127.0.0.1:80;https=1.2.3.4:80",
        "http://pac.hijack.cn/127.0.0.1", "0.0.0.0:80", "127.0.0.1.evil.cn:80", "", ";"})
    EXPECT_FALSE(LocalProxy(s)) << s;
}

TEST_F(ProxyRows, AProxyTheUserSetIsARowThatNamesIt) {
  // Off, or nothing set: no row.
  page.TabSheet3Show();
  EXPECT_TRUE(HijackRows().empty());
  reg.SetDword(CU, kSettings, "ProxyEnable", 0);
  reg.SetString(CU, kSettings, "ProxyServer", "10.0.0.1:8080");
  reg.SetString(CU, kSettings, "AutoConfigURL", "");
  page.TabSheet3Show();
  EXPECT_TRUE(HijackRows().empty());

  reg.SetDword(CU, kSettings, "ProxyEnable", 1);
  reg.SetString(CU, kSettings, "AutoConfigURL", "http://pac.hijack.cn/p.pac");
  page.TabSheet3Show();
  const std::vector<std::string> want = {
      "系统代理（当前用户）：10.0.0.1:8080（请确认是否是您自己设置的）",
      "代理自动配置脚本（当前用户）：http://pac.hijack.cn/p.pac（请确认是否是您自己设置的）"};
  EXPECT_EQ(Captions(), want);
  auto rows = HijackRows();
  EXPECT_EQ(rows[0]->column2,
            "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet "
            "Settings\\ProxyServer");
  EXPECT_EQ(rows[0]->column3, "关闭代理并删除代理服务器");
  EXPECT_EQ(rows[1]->column3, "删除");
  EXPECT_FALSE(IsMachineWide(*rows[0]->hijack, {}));
}

TEST_F(ProxyRows, AProxyOnThisMachineSaysWhichProxyProgramRuns) {
  reg.SetDword(CU, kSettings, "ProxyEnable", 1);
  reg.SetString(CU, kSettings, "ProxyServer", "http=127.0.0.1:10809;https=127.0.0.1:10809");
  ts.running.names = {"notepad.exe"};
  page.TabSheet3Show();
  EXPECT_EQ(Captions(), std::vector<std::string>{
                            "本机代理（当前用户）：http=127.0.0.1:10809;https=127.0.0.1:10809"
                            "（本机代理，没有发现常见的代理或加速程序在运行）"});
  ts.running.names = {"V2RAYN.EXE", "xray.exe", "clash.exe", "Clash Verge.exe", "verge-mihomo.exe"};
  page.TabSheet3Show();
  EXPECT_EQ(
      Captions(),
      std::vector<std::string>{
          "本机代理（当前用户）：http=127.0.0.1:10809;https=127.0.0.1:10809"
          "（本机代理，正在运行的代理程序：Clash Verge、Clash、v2rayN、Xray，可能由它设置）"});
  ts.services.running = nullptr;
  page.TabSheet3Show();
  EXPECT_EQ(Captions(), std::vector<std::string>{
                            "本机代理（当前用户）：http=127.0.0.1:10809;https=127.0.0.1:10809"
                            "（本机代理，无法得知是哪个程序在监听）"});
}

TEST_F(ProxyRows, TheRepairTurnsTheProxyOffKeepsTheRestAndTheSetBringsItBack) {
  reg.SetDword(CU, kSettings, "ProxyEnable", 1);
  reg.SetString(CU, kSettings, "ProxyServer", "10.0.0.1:8080");
  reg.SetString(CU, kSettings, "ProxyOverride", "<local>");
  reg.SetString(CU, kSettings, "AutoConfigURL", "http://pac.hijack.cn/p.pac");
  page.TabSheet3Show();
  Tick("系统代理（当前用户）");
  Tick("代理自动配置脚本（当前用户）");
  page.SbiedefaultClick();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  EXPECT_FALSE(reg.Get(CU, kSettings, "ProxyServer"));
  EXPECT_FALSE(reg.Get(CU, kSettings, "AutoConfigURL"));
  ASSERT_TRUE(reg.Get(CU, kSettings, "ProxyEnable"));
  EXPECT_EQ(reg.Get(CU, kSettings, "ProxyEnable")->dword, 0u);
  EXPECT_EQ(reg.Get(CU, kSettings, "ProxyOverride")->text, "<local>");
  EXPECT_TRUE(HijackRows().empty());
  const std::string key = "[HKEY_CURRENT_USER\\" + kSettings + "]\r\n";
  ExpectInBackup(key + "\"ProxyServer\"=\"10.0.0.1:8080\"\r\n");
  ExpectInBackup(key + "\"ProxyEnable\"=dword:00000001\r\n");
  ExpectInBackup(key + "\"AutoConfigURL\"=\"http://pac.hijack.cn/p.pac\"\r\n");

  const ChangeEnv env = ChangeEnvOf(ts.services);
  const BackupSetInfo set = ReadBackupSet(env, ChangeKinds::Basic(), Sets().back());
  ASSERT_TRUE(set.damage.empty()) << set.damage;
  std::vector<size_t> all;
  for (size_t i = 0; i < set.items.size(); ++i) all.push_back(i);
  YesToAll yes;
  const RestoreReport report = RestoreItems(env, ts.services.exeDir, set, all, yes);
  ASSERT_TRUE(report.refused.empty()) << report.refused;
  EXPECT_EQ(reg.Get(CU, kSettings, "ProxyServer")->text, "10.0.0.1:8080");
  EXPECT_EQ(reg.Get(CU, kSettings, "ProxyEnable")->type, RegDataType::Integer);
  EXPECT_EQ(reg.Get(CU, kSettings, "ProxyEnable")->dword, 1u);
  EXPECT_EQ(reg.Get(CU, kSettings, "AutoConfigURL")->text, "http://pac.hijack.cn/p.pac");
}

// The browsers' proxy and secure-DNS policies are rows like their other policies; a proxy
// dictionary that is not JSON says so.
TEST_F(ProxyRows, ProxyAndSecureDnsPoliciesAreRowsAndGoWithTheirBackup) {
  reg.SetString(LM, kEdge, "ProxySettings",
                R"({"ProxyMode":"fixed_servers","ProxyServer":"1.2.3.4:80"})");
  reg.SetString(LM, kEdge, "ProxyMode", "fixed_servers");
  reg.SetString(LM, kEdge, "ProxyServer", "1.2.3.4:80");
  reg.SetString(LM, kEdge, "ProxyPacUrl", "http://pac.hijack.cn/p.pac");
  reg.SetString(CU, kChrome, "DnsOverHttpsMode", "secure");
  reg.SetString(CU, kChrome, "DnsOverHttpsTemplates", "https://dns.hijack.cn/dns-query");
  reg.SetString(CU, kChrome, "ProxySettings", "{\"ProxyMode\":");
  reg.SetString(CU, kChrome, "HomepageIsNewTabPage", "kept");  // another policy: its own row
  page.TabSheet3Show();
  const std::vector<std::string> want = {
      "Edge 代理设置（策略）：{\"ProxyMode\":\"fixed_servers\",\"ProxyServer\":\"1.2.3.4:80\"}",
      "Edge 代理模式（策略）：fixed_servers",
      "Edge 代理服务器（策略）：1.2.3.4:80",
      "Edge 代理自动配置脚本（策略）：http://pac.hijack.cn/p.pac",
      "Chrome 主页使用新标签页（策略，类型不符）：kept",
      "Chrome 代理设置（策略，不是有效的 JSON）：{\"ProxyMode\":",
      "Chrome 安全 DNS 模式（策略）：secure",
      "Chrome 安全 DNS 服务器（策略）：https://dns.hijack.cn/dns-query",
  };
  EXPECT_EQ(Captions(), want);
  for (size_t i = 0; i < want.size(); ++i)
    if (i != 4) Tick(want[i]);
  page.SbiedefaultClick();
  ASSERT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  for (const char* name : {"ProxySettings", "ProxyMode", "ProxyServer", "ProxyPacUrl"})
    EXPECT_FALSE(reg.Get(LM, kEdge, name)) << name;
  for (const char* name : {"ProxySettings", "DnsOverHttpsMode", "DnsOverHttpsTemplates"})
    EXPECT_FALSE(reg.Get(CU, kChrome, name)) << name;
  EXPECT_EQ(reg.Get(CU, kChrome, "HomepageIsNewTabPage")->text, "kept");
  ExpectInBackup("\"ProxyPacUrl\"=\"http://pac.hijack.cn/p.pac\"\r\n");
  ExpectInBackup("\"DnsOverHttpsTemplates\"=\"https://dns.hijack.cn/dns-query\"\r\n");
  ExpectInBackup("\"ProxySettings\"=\"{\\\"ProxyMode\\\":\"\r\n");
  ASSERT_EQ(HijackRows().size(), 1u);
}

}  // namespace
}  // namespace mt
