// Fixed texts and addresses of the program, kept in one place.
#pragma once

#include <string>

namespace mt {

// "v1.3": MT_PROGRAM_VERSION of CMakeLists.txt, defined in the generated Version.cpp.
extern const char* const kProgramVersion;
inline constexpr const char* kApplicationTitle = "Mirtak小工具合集";
inline constexpr const char* kDesignCaption = "Mirtak工具合集";
// The caption of the program's notices and questions (message boxes without an error).
inline constexpr const char* kNoticeCaption = "温馨提示";

// The maker's web site, its feedback page and contact details.
inline constexpr const char* kSiteHost = "www.mirtak.example";
inline constexpr const char* kSiteUrl = "http://www.mirtak.example";
inline constexpr const char* kFeedbackUrl = "http://www.mirtak.example/askquestion.asp";
inline constexpr const char* kContactEmail = "mt@mirtak.example";
// The maker's name as its code-signing certificate states it (the subject's common name):
// a downloaded installer signed by anyone else is not started.
inline constexpr const char* kSignerName = "Mirtak Technology Co., Ltd.";
// Instant-messaging chat: host and the author's account number.
inline constexpr const char* kChatHost = "wpa.chat.example";
inline constexpr const char* kAuthorAccount = "800012345";

// "Mirtak工具合集 v1.3 (官方合作版)": the caption of the partner edition.
inline std::string PartnerCaption() {
  return std::string(kDesignCaption) + " " + kProgramVersion + " (官方合作版)";
}

}  // namespace mt
