// Whether the program may change what belongs to the whole machine: the machine's registry
// (HKEY_LOCAL_MACHINE), the all-users folders and the scheduled tasks. A user without
// administrator rights, or an administrator whose program was not started elevated, can
// read these places but not write them. The tools ask first and say so in one notice,
// rather than trying each item and reporting every refusal on its own; what belongs to the
// current user alone goes ahead either way.
#pragma once

#include <string>
#include <vector>

#include "app/Services.h"

namespace mt {

class AdminRights {
 public:
  virtual ~AdminRights() = default;
  // True when this process can change the machine's settings.
  virtual bool Held() = 0;
};

// How to get the rights, said at the end of every such notice.
inline constexpr const char* kRunAsAdminHint =
    "请关闭本程序，右键点击“Mirtak小工具合集”，选择“以管理员身份运行”，然后再试。";

// False only when the bundle has an AdminRights that says so; without one the program
// behaves as it always did and tries.
bool HoldsAdminRights(const Services& svc);

// The notice's text: that the action needs administrator rights and how to get them. With
// `skipped`, the items left as they were, one a line, between the two.
std::string AdminNeededText(const std::vector<std::string>& skipped = {});

// Shows that notice, owned by `owner`, with the tools' notice caption. `backedUp`: the rest
// of the action was done and saved in a backup set; the notice then says it can be undone.
void TellAdminNeeded(MessageBoxes& messages, WindowRef owner,
                     const std::vector<std::string>& skipped = {}, bool backedUp = false);

}  // namespace mt
