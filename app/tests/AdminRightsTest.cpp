#include <gtest/gtest.h>

#include "app/AdminRights.h"
#include "app/Constants.h"
#include "app/Restore.h"
#include "tests/support/StandIns.h"

namespace mt {
namespace {

TEST(AdminRights, OnlyABundleThatSaysNoLacksThem) {
  Services none;
  EXPECT_TRUE(HoldsAdminRights(none));  // no service: tried as before
  test::TestServices ts;
  EXPECT_TRUE(HoldsAdminRights(ts.services));
  ts.admin.held = false;
  EXPECT_FALSE(HoldsAdminRights(ts.services));
  EXPECT_EQ(ts.admin.asked, 2);
}

TEST(AdminRights, OneNoticeSaysWhatIsNeededHowAndWhatWasLeft) {
  const std::string plain = AdminNeededText();
  EXPECT_EQ(plain, std::string("此操作需要管理员权限。\n") + kRunAsAdminHint);
  EXPECT_NE(std::string(kRunAsAdminHint).find("以管理员身份运行"), std::string::npos);

  const std::string listed = AdminNeededText({"x:", "Run (32位)"});
  EXPECT_EQ(listed, "以下项目属于本机所有用户，修改需要管理员权限，未作改动：\nx:\nRun (32位)\n\n" +
                        std::string(kRunAsAdminHint));

  test::RecordingMessages messages;
  int owner = 0;
  TellAdminNeeded(messages, &owner, {"a"});
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].owner, &owner);
  EXPECT_EQ(messages.shown[0].caption, kNoticeCaption);
  EXPECT_EQ(messages.shown[0].style, static_cast<unsigned>(kMbOk));
  EXPECT_EQ(messages.shown[0].text, AdminNeededText({"a"}));
  // The rest of the action was saved: the notice ends with the way back.
  TellAdminNeeded(messages, &owner, {"a"}, true);
  ASSERT_EQ(messages.shown.size(), 2u);
  EXPECT_EQ(messages.shown[1].text, AdminNeededText({"a"}) + "\n\n" + kBackedUpLine);
}

}  // namespace
}  // namespace mt
