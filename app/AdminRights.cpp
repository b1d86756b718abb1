#include "app/AdminRights.h"

#include "app/Constants.h"
#include "app/Restore.h"

namespace mt {

bool HoldsAdminRights(const Services& svc) { return !svc.admin || svc.admin->Held(); }

std::string AdminNeededText(const std::vector<std::string>& skipped) {
  if (skipped.empty()) return std::string("此操作需要管理员权限。\n") + kRunAsAdminHint;
  std::string text = "以下项目属于本机所有用户，修改需要管理员权限，未作改动：";
  for (const std::string& item : skipped) text += "\n" + item;
  return text + "\n\n" + kRunAsAdminHint;
}

void TellAdminNeeded(MessageBoxes& messages, WindowRef owner,
                     const std::vector<std::string>& skipped, bool backedUp) {
  std::string text = AdminNeededText(skipped);
  if (backedUp) text += std::string("\n\n") + kBackedUpLine;
  messages.Show(owner, text, kNoticeCaption, kMbOk);
}

}  // namespace mt
