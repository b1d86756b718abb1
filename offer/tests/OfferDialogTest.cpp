// The offer at start-up under Wine: the real registry, the real Main window and the real
// modal dialog, closed from the test through the services' offerShown hook.
#include <gtest/gtest.h>

#include <windows.h>

#include "app/Constants.h"
#include "app/Registry.h"
#include "app/win/Unit1.h"
#include "program/ProgramForm.h"
#include "app/win/WinRegistry.h"
#include "offer/win/FhzPortal.h"
#include "offer/PartnerOffer.h"
#include "tests/support/StandIns.h"

namespace mt {
namespace {

class OfferAtStart : public ::testing::Test {
 protected:
  void SetUp() override {
    TRegistry reg(real_);
    reg.DeleteKey("\\Software\\MRTKBOX");
    ASSERT_TRUE(reg.OpenKey(kOfferIeMainKey, true));
    reg.WriteString(kOfferStartPageValue, "about:blank");
    t_.services.registry = &real_;
  }
  void TearDown() override { SetUp(); }
  // One start of the program; `onOffer` runs when the dialog is up.
  std::string Start(std::function<void(TFhzPortal&)> onOffer) {
    TForm1 form(t_.services, ProgramFormPlan());
    form.quitOnDestroy = false;
    t_.services.offerShown = [&](TFhzPortal& d) {
      ++offers_;
      mainVisible_ = IsWindowVisible(form.Handle) != 0;
      ticked_ = d.AutoUpgradeTicked();
      onOffer(d);
    };
    form.Create();
    return form.Caption();
  }
  int32_t Counter() {
    TRegistry reg(real_);
    reg.OpenKey("\\Software\\MRTKBOX", false);
    return reg.ReadInteger("cs");
  }
  std::string StartPage() {
    TRegistry reg(real_);
    reg.OpenKey(kOfferIeMainKey, false);
    return reg.ReadString(kOfferStartPageValue);
  }
  WinRegistry real_;
  test::TestServices t_;
  int offers_ = 0;
  bool mainVisible_ = true, ticked_ = false;
};

TEST_F(OfferAtStart, FourthStartOffersAndClosingTickedMakesThePartnerEdition) {
  auto close = [](TFhzPortal& d) { PostMessageW(d.Handle, WM_CLOSE, 0, 0); };
  for (int i = 1; i <= 3; ++i) EXPECT_EQ(Start(close), "Mirtak工具合集 v1.3");
  EXPECT_EQ(offers_, 0);
  EXPECT_EQ(Counter(), 5);
  EXPECT_EQ(Start([](TFhzPortal& d) {
              EXPECT_EQ(TForm1::GetText(d.Handle), "升级为合作版");
              EXPECT_EQ(TForm1::GetText(d.RzBmpButton10), "设为首页");
              EXPECT_EQ(TForm1::GetText(d.cb_wz), "自动选择，升级为合作版");
              PostMessageW(d.Handle, WM_CLOSE, 0, 0);
            }),
            "Mirtak工具合集 v1.3 (官方合作版)");
  EXPECT_EQ(offers_, 1);
  EXPECT_FALSE(mainVisible_);
  EXPECT_TRUE(ticked_);
  EXPECT_EQ(StartPage(), kPartnerPortalAddress);
  EXPECT_EQ(Counter(), 1);
  // The next start is the partner edition and leaves the counter alone.
  EXPECT_EQ(Start(close), "Mirtak工具合集 v1.3 (官方合作版)");
  EXPECT_EQ(offers_, 1);
  EXPECT_EQ(Counter(), 1);
}

TEST_F(OfferAtStart, ButtonAcceptsAndUntickedCloseDeclines) {
  TRegistry reg(real_);
  ASSERT_TRUE(reg.OpenKey("\\Software\\MRTKBOX", true));
  reg.WriteInteger("cs", 5);
  EXPECT_EQ(Start([](TFhzPortal& d) {
              PostMessageW(d.RzBmpButton10, BM_CLICK, 0, 0);
              PostMessageW(d.Handle, WM_CLOSE, 0, 0);
            }),
            "Mirtak工具合集 v1.3 (官方合作版)");
  EXPECT_EQ(StartPage(), kPartnerPortalAddress);
  EXPECT_EQ(Counter(), 1);

  SetUp();
  reg.OpenKey("\\Software\\MRTKBOX", true);
  reg.WriteInteger("cs", 9);
  EXPECT_EQ(Start([](TFhzPortal& d) {
              PostMessageW(d.cb_wz, BM_CLICK, 0, 0);
              PostMessageW(d.Handle, WM_CLOSE, 0, 0);
            }),
            "Mirtak工具合集 v1.3");
  EXPECT_EQ(StartPage(), "about:blank");
  EXPECT_EQ(Counter(), 1);
  EXPECT_TRUE(t_.messages.shown.empty());
}

TEST_F(OfferAtStart, NonIntegerCounterIsReportedAndTheWindowStillComes) {
  TRegistry reg(real_);
  ASSERT_TRUE(reg.OpenKey("\\Software\\MRTKBOX", true));
  reg.WriteString("cs", "x");
  EXPECT_EQ(Start([](TFhzPortal& d) { PostMessageW(d.Handle, WM_CLOSE, 0, 0); }),
            "Mirtak工具合集 v1.3");
  EXPECT_EQ(offers_, 0);
  ASSERT_EQ(t_.messages.shown.size(), 1u);
  EXPECT_EQ(t_.messages.shown[0].text, "Invalid data type for 'cs'");
}

}  // namespace
}  // namespace mt
