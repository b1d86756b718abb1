// The installer download: a worker thread that fetches the release's installer into memory,
// writes it beside its target, renames it into place and has its signature verified,
// reporting progress and the outcome to the reminder window through the UI thread.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/Path.h"
#include "app/Services.h"
#include "update/HttpClient.h"
#include "update/InstallerTrust.h"
#include "update/Thread.h"
#include "app/UiGate.h"

namespace mt {

// Caption shown in "立即升级" while downloading, and after a failed download.
std::string DownloadProgressCaption(int64_t received, int64_t total);
inline constexpr const char* kDownloadFailedCaption = "失败,请重试";
// Shown instead when the installer arrived but its signature did not pass.
inline constexpr const char* kInstallerUnverifiedCaption = "验证失败";

// Nearest integer, an exact half going to the even neighbour (12.5 -> 12, 37.5 -> 38).
int64_t RoundHalfEven(double value);

// What the download asks of the reminder window; every call runs on the UI thread.
class DownloadTarget {
 public:
  virtual ~DownloadTarget() = default;
  virtual void SetButton2Caption(const std::string& caption) = 0;
  virtual void EnableButton2() = 0;
  virtual void SetInstallerPath(const std::string& path) = 0;
  // Keeps the verified installer (and so its file) until the close handler starts it.
  virtual void HoldInstaller(VerifiedInstaller installer) = 0;
  virtual void SetDownloadFinished() = 0;
  virtual void CloseWindow() = 0;
};

// What a download brought: a verified installer, or nothing (and then whether a whole file
// had arrived but was refused by the signature check, and deleted).
struct DownloadOutcome {
  std::optional<VerifiedInstaller> installer;
  bool refused = false;
  static DownloadOutcome Failed() { return {}; }
};

// The hand-over on the UI thread at the end of a download. A verified installer: enable
// Button2, record the path, hand over the installer, mark the download finished, close the
// window (whose close handler offers to run it). Otherwise Button2 tells the failed download
// from the refused installer and is enabled for another try; nothing is recorded and the
// window stays as it is.
void CompleteDownload(DownloadTarget& target, DownloadOutcome outcome);

// The installer's options when the update starts it: silent ("/S"), and "/update": install
// over the copy the download came from and start the program again once the new version is
// in place (installer/MirtakTools.nsi). The user has already been told that the program
// closes for the upgrade, so nothing more is asked.
inline constexpr const char* kInstallerUpdateOptions = "/S /update";

// The parameters the installer at `installerPath` is started with: the update's options, and
// when it was not downloaded into "<programFolder>\rar\" (a per-user download) the folder to
// upgrade as "/D=<programFolder>" (last and unquoted, as the installer wants it). An empty
// `programFolder` adds nothing.
std::string InstallerParameters(const std::string& installerPath, const std::string& programFolder);

// The temporary file the body is written to before it is renamed into place.
std::string PartialFileOf(const std::string& localFile);

class Tfiledownthread : public TThread {
 public:
  // Progress and completion go to the reminder window; the only mode in use.
  static constexpr int32_t kReminderMode = 20;

 public:
  // Hands `work` to the UI thread, where work runs in the order it was queued.
  using PostToUi = std::function<Handed(std::function<void()>)>;
  struct Links {
    HttpService* http = nullptr;
    FileSystem* files = nullptr;
    DownloadTarget* target = nullptr;       // lives for the rest of the process
    InstallerVerifier* verifier = nullptr;  // none: every download is refused
    // The release the page offered ("v1.4"): a verified installer of any other version, or
    // one that does not follow the running program, is refused like a bad signature.
    std::string offeredVersion;
    PostToUi post;
  };

  Tfiledownthread(bool createSuspended, std::string url, std::string localFile, int32_t mode,
                  Links links);

  const std::string Url;
  const std::string LocalFile;
  const int32_t Mode;
  int64_t Total = 0;  // announced length from the HEAD answer; -1 when none

  // Work handler of the HTTP client: posts a new caption when the shown text changes (a
  // refused caption is simply superseded by the next one).
  void DownloadWork(void* sender, WorkMode mode, int64_t count);
  // The transfer and the check (run on the calling thread): the verified installer at
  // LocalFile, or why there is none. A refused file is deleted. Never throws.
  DownloadOutcome Download(HttpClient& client);

 protected:
  // Every way out of the body, success, failure or an exception anywhere (the folder
  // included), ends in the hand-over to the reminder window.
  void Execute() override;

 private:
  // Hands the completion over, again and again while the UI thread refuses it, until it is
  // queued or the window is gone: a lost completion would leave Button2 disabled for good.
  void HandOver(DownloadOutcome outcome);

  Links links_;
  std::string lastCaption_;
};

// The last download thread started (kept for the life of the process, not used again).
extern Tfiledownthread* filedownthread;

}  // namespace mt
