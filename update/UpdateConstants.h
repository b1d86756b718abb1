// Where the online update asks and what it offers to open.
#pragma once

namespace mt {

// The Update endpoint: the maker's update page (GBK text with the nine tagged fields).
inline constexpr const char* kUpdateHost = "update.mirtak.com";
inline constexpr const char* kUpdatePath = "/gjhjsj.asp";
inline constexpr const char* kUpdateEndpoint = "http://update.mirtak.com/gjhjsj.asp";

// The maker's home page, opened by "手动下载".
inline constexpr const char* kMakerHomePage = "http://www.mirtak.com";

// The installer's place beside the executable, and the mode the reminder window asks for.
inline constexpr const char* kInstallerRelativePath = "rar\\tbxsetup.exe";
inline constexpr int kReminderDownloadMode = 20;

}  // namespace mt
