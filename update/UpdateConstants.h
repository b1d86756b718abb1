// Where the online update asks and what it offers to open.
#pragma once

#include "app/Constants.h"

namespace mt {

// The Update endpoint: the update page on the maker's site (GBK text with the nine tagged
// fields).
inline constexpr const char* kUpdatePath = "/gjhjsj.asp";
inline std::string UpdateEndpointOfSite() { return std::string(kSiteUrl) + kUpdatePath; }

// "手动下载" opens the maker's home page, kSiteUrl.

// The installer's place beside the executable, and the mode the reminder window asks for.
inline constexpr const char* kInstallerRelativePath = "rar\\tbxsetup.exe";
inline constexpr int kReminderDownloadMode = 20;

}  // namespace mt
