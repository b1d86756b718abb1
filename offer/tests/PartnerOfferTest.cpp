#include <gtest/gtest.h>

#include "app/Error.h"
#include "app/Settings.h"
#include "offer/PartnerOffer.h"
#include "tests/support/StandIns.h"

namespace mt {
namespace {

constexpr RegRoot kHkcu = RegRoot::CurrentUser;
const std::string kMain = "Software\\Microsoft\\Internet Explorer\\Main";
const std::string kProduct = "Software\\MRTKBOX";
const std::string kPartner = "Mirtak工具合集 v1.3 (官方合作版)";

TEST(PartnerEdition, OnlyTheWholeAddressInTheSameCaseCounts) {
  test::MemoryRegistry reg;
  EXPECT_FALSE(IsPartnerEdition(reg));  // no value at all
  std::string addr = kPartnerPortalAddress;
  reg.SetString(kHkcu, kMain, "Start Page", addr);
  EXPECT_TRUE(IsPartnerEdition(reg));
  std::string upper = addr;
  upper[7] = 'W';  // "http://Www..."
  for (const std::string& almost :
       {upper, addr + "/", addr + " ", " " + addr, addr.substr(0, addr.size() - 1)}) {
    reg.SetString(kHkcu, kMain, "start page", almost);
    EXPECT_FALSE(IsPartnerEdition(reg)) << almost;
  }
}

TEST(PartnerEdition, ReadErrorsGiveFalse) {
  test::MemoryRegistry reg;
  reg.SetDword(kHkcu, kMain, "Start Page", 1);
  EXPECT_FALSE(IsPartnerEdition(reg));
  test::MemoryRegistry denied;
  denied.Deny(kHkcu, kMain);
  EXPECT_FALSE(IsPartnerEdition(denied));
}

struct CounterCase {
  std::optional<int32_t> found;
  bool offered;
  int32_t written;
};

TEST(LaunchCounter, StatesOfTheCounter) {
  const CounterCase cases[] = {
      {std::nullopt, false, 3}, {-2, false, -1}, {0, false, 1}, {4, false, 5}, {5, true, 1},
      {100, true, 1},
  };
  for (const CounterCase& c : cases) {
    test::MemoryRegistry reg;
    if (c.found) reg.SetDword(kHkcu, kProduct, "cs", static_cast<uint32_t>(*c.found));
    int offers = 0;
    RunLaunchCounter(reg, [&] { ++offers; });
    std::string what = c.found ? std::to_string(*c.found) : "absent";
    EXPECT_EQ(offers, c.offered ? 1 : 0) << what;
    auto v = reg.Get(kHkcu, kProduct, "cs");
    ASSERT_TRUE(v) << what;
    EXPECT_EQ(v->type, RegDataType::Integer);
    EXPECT_EQ(static_cast<int32_t>(v->dword), c.written) << what;
  }
}

TEST(LaunchCounter, NewUserSeesTheOfferAtTheFourthStartThenEveryFifth) {
  test::MemoryRegistry reg;
  std::vector<int> offeredAt;
  for (int start = 1; start <= 14; ++start)
    RunLaunchCounter(reg, [&] { offeredAt.push_back(start); });
  EXPECT_EQ(offeredAt, (std::vector<int>{4, 9, 14}));
}

TEST(LaunchCounter, CounterIsWrittenAfterTheOfferCloses) {
  test::MemoryRegistry reg;
  reg.SetDword(kHkcu, kProduct, "cs", 5);
  RunLaunchCounter(reg, [&] { EXPECT_EQ(reg.Get(kHkcu, kProduct, "cs")->dword, 5u); });
  EXPECT_EQ(reg.Get(kHkcu, kProduct, "cs")->dword, 1u);
}

TEST(LaunchCounter, NonIntegerCounterRaisesAndStaysUnchanged) {
  test::MemoryRegistry reg;
  reg.SetString(kHkcu, kProduct, "cs", "7");
  int offers = 0;
  try {
    RunLaunchCounter(reg, [&] { ++offers; });
    FAIL() << "no error";
  } catch (const AppError& e) {
    EXPECT_STREQ(e.what(), "Invalid data type for 'cs'");
  }
  EXPECT_EQ(offers, 0);
  EXPECT_EQ(reg.Get(kHkcu, kProduct, "cs")->text, "7");
}

TEST(LaunchCounter, ProductKeyThatCannotBeOpenedDoesNothing) {
  test::MemoryRegistry reg;
  reg.Deny(kHkcu, kProduct);
  int offers = 0;
  EXPECT_NO_THROW(RunLaunchCounter(reg, [&] { ++offers; }));
  EXPECT_EQ(offers, 0);
}

class FakeOfferView : public OfferView {
 public:
  bool AutoUpgradeTicked() override { return ticked; }
  void SetAutoUpgradeTicked(bool t) override { ticked = t; }
  void SetMainCaption(const std::string& c) override { caption = c; }
  void Notice(const std::string& text, const std::string& cap) override {
    notices.push_back(text + "|" + cap);
  }
  bool ticked = true;  // as the dialog opens
  std::string caption = "Mirtak工具合集 v1.3";
  std::vector<std::string> notices;
};

class PortalOfferTest : public ::testing::Test {
 protected:
  std::optional<std::string> StartPage() {
    auto v = reg.Get(kHkcu, kMain, "Start Page");
    if (!v) return std::nullopt;
    return v->text;
  }
  test::MemoryRegistry reg;
  FakeOfferView view;
  PortalOffer offer{reg, view, kPartner};
};

TEST_F(PortalOfferTest, ClosingWithTheBoxTickedAccepts) {
  offer.FormClose();
  EXPECT_EQ(StartPage(), std::string(kPartnerPortalAddress));
  EXPECT_EQ(view.caption, kPartner);
  EXPECT_TRUE(view.notices.empty());
  EXPECT_TRUE(IsPartnerEdition(reg));
}

TEST_F(PortalOfferTest, UntickingAndClosingDeclines) {
  reg.SetString(kHkcu, kMain, "Start Page", "about:blank");
  view.ticked = false;
  offer.FormClose();
  EXPECT_EQ(StartPage(), "about:blank");
  EXPECT_EQ(view.caption, "Mirtak工具合集 v1.3");
  EXPECT_TRUE(view.notices.empty());
}

TEST_F(PortalOfferTest, ButtonAcceptsAtOnceAndClosingDoesNotWriteAgain) {
  offer.RzBmpButton10Click();
  EXPECT_EQ(StartPage(), std::string(kPartnerPortalAddress));
  EXPECT_EQ(view.caption, kPartner);
  EXPECT_FALSE(view.ticked);
  // Anything written between the click and the close stays: the close writes nothing.
  reg.SetString(kHkcu, kMain, "Start Page", "about:blank");
  offer.FormClose();
  EXPECT_EQ(StartPage(), "about:blank");
}

TEST_F(PortalOfferTest, RefusedWriteKeepsTheNormalCaptionAndTheBoxTicked) {
  reg.CreatePath(kHkcu, kMain);
  reg.MakeReadOnly(kHkcu, kMain);
  offer.RzBmpButton10Click();
  offer.FormClose();
  EXPECT_EQ(view.notices, (std::vector<std::string>{"被杀毒软件拦截，请重试！|温馨提示",
                                                    "被杀毒软件拦截，请重试！|温馨提示"}));
  EXPECT_EQ(view.caption, "Mirtak工具合集 v1.3");
  EXPECT_TRUE(view.ticked);
  EXPECT_FALSE(StartPage());
}

TEST_F(PortalOfferTest, MainKeyThatCannotBeOpenedOrCreatedIsAFailure) {
  test::MemoryRegistry denied;
  denied.Deny(kHkcu, kMain);
  PortalOffer o(denied, view, kPartner);
  EXPECT_FALSE(o.SetStartPage(kPartnerPortalAddress));
  ASSERT_EQ(view.notices.size(), 1u);
  EXPECT_EQ(view.notices[0], "被杀毒软件拦截，请重试！|温馨提示");
  o.FormClose();
  EXPECT_EQ(view.caption, "Mirtak工具合集 v1.3");
  EXPECT_TRUE(offer.SetStartPage("http://other.example/"));
  EXPECT_EQ(StartPage(), "http://other.example/");
}

}  // namespace
}  // namespace mt
