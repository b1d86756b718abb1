#include "update/Uhzbdown.h"

#include <cmath>
#include <memory>

#include "app/Text.h"
#include "update/InstallerVersion.h"

namespace mt {

Tfiledownthread* filedownthread = nullptr;

int64_t RoundHalfEven(double value) {
  const double lower = std::floor(value);
  const double diff = value - lower;
  if (diff > 0.5) return static_cast<int64_t>(lower) + 1;
  if (diff < 0.5) return static_cast<int64_t>(lower);
  return std::fmod(lower, 2.0) == 0.0 ? static_cast<int64_t>(lower)
                                      : static_cast<int64_t>(lower) + 1;
}

std::string DownloadProgressCaption(int64_t received, int64_t total) {
  if (received < 0) received = 0;
  if (total <= 0) {
    // No announced length: a percentage would be meaningless, so show the amount instead.
    return "正在下载(" + std::to_string(received / 1024) + "KB)";
  }
  int64_t percent = RoundHalfEven(static_cast<double>(received) / static_cast<double>(total) *
                                  100.0);
  if (percent > 100) percent = 100;
  return "正在下载(" + std::to_string(percent) + "%)";
}

void CompleteDownload(DownloadTarget& target, DownloadOutcome outcome) {
  if (!outcome.installer) {
    target.SetButton2Caption(outcome.refused ? kInstallerUnverifiedCaption
                                             : kDownloadFailedCaption);
    target.EnableButton2();
    return;
  }
  target.EnableButton2();
  target.SetInstallerPath(outcome.installer->Path());
  target.HoldInstaller(std::move(*outcome.installer));
  target.SetDownloadFinished();
  target.CloseWindow();
}

std::string InstallerParameters(const std::string& installerPath,
                                const std::string& programFolder) {
  std::string parameters = kInstallerUpdateOptions;
  if (programFolder.empty()) return parameters;
  const std::string beside = LowerAscii(programFolder + "\\rar\\");
  const std::string lowered = LowerAscii(installerPath);
  const bool besideProgram = lowered.compare(0, beside.size(), beside) == 0 &&
                             lowered.find('\\', beside.size()) == std::string::npos;
  if (!besideProgram) parameters += " /D=" + programFolder;
  return parameters;
}

std::string PartialFileOf(const std::string& localFile) { return localFile + ".part"; }

Tfiledownthread::Tfiledownthread(bool createSuspended, std::string url, std::string localFile,
                                 int32_t mode, Links links)
    : TThread(createSuspended),
      Url(std::move(url)),
      LocalFile(std::move(localFile)),
      Mode(mode),
      links_(std::move(links)) {}

void Tfiledownthread::DownloadWork(void* /*sender*/, WorkMode /*mode*/, int64_t count) {
  if (Mode != kReminderMode) return;
  std::string caption = DownloadProgressCaption(count, Total);
  if (caption == lastCaption_) return;  // spare the UI thread repeats of the same text
  DownloadTarget* target = links_.target;
  if (links_.post([target, caption] { target->SetButton2Caption(caption); }) == Handed::Queued) {
    lastCaption_ = caption;
  }
}

DownloadOutcome Tfiledownthread::Download(HttpClient& client) {
  FileSystem& files = *links_.files;
  // A file still at the target is an old installer that could not be deleted: it is not
  // what this download would bring, so it must not be offered for running.
  if (files.FileExists(LocalFile)) return DownloadOutcome::Failed();
  const std::string partial = PartialFileOf(LocalFile);
  try {
    if (Url.empty()) throw HttpError("empty download URL");
    client.Head(Url);
    Total = client.ResponseContentLength();
    std::string body;
    if (Total > 0 && Total <= (int64_t{256} << 20)) body.reserve(static_cast<size_t>(Total));
    client.Get(Url, body);
    // An empty body, or one that differs from the announced length, is no installer.
    if (body.empty()) throw HttpError("empty download");
    if (Total > 0 && static_cast<int64_t>(body.size()) != Total) {
      throw HttpError("download length differs from the announced length");
    }
    if (files.FileExists(partial)) files.RemoveFile(partial);
    files.WriteAll(partial, body);
    files.Rename(partial, LocalFile);
  } catch (...) {
    if (files.FileExists(partial)) files.RemoveFile(partial);
    return DownloadOutcome::Failed();
  }
  // The body came over plain HTTP: it is offered for running only when its signature says
  // the maker made it. Anything else is deleted, so it cannot be started by hand either.
  DownloadOutcome outcome;
  try {
    if (links_.verifier) {
      TrustResult trust = links_.verifier->Verify(LocalFile);
      // Our signature is on every release we ever made: only the offered one, newer than
      // this program, may run. Its version is read through the hold of the check.
      if (trust.installer && CheckInstallerVersion(*trust.installer, links_.offeredVersion) ==
                                 InstallerVersionVerdict::kAccepted) {
        outcome.installer = std::move(trust.installer);
        return outcome;
      }
    }
  } catch (...) {
  }
  outcome.refused = true;
  files.RemoveFile(LocalFile);  // a file that stays is refused again by the next download
  return outcome;
}

void Tfiledownthread::Execute() {
  DownloadOutcome outcome;
  try {
    // A folder that cannot be made is left to the write that follows.
    links_.files->CreateDirectories(FolderOf(LocalFile));
    std::unique_ptr<HttpClient> client = links_.http->CreateClient();
    client->SetUserAgent(kUpdateUserAgent);
    client->SetFollowRedirects(true);
    client->SetWorkHandler(
        [this](WorkMode mode, int64_t count) { DownloadWork(this, mode, count); });
    outcome = Download(*client);
  } catch (...) {
    outcome = DownloadOutcome::Failed();
  }
  if (Mode == kReminderMode) HandOver(std::move(outcome));
}

void Tfiledownthread::HandOver(DownloadOutcome outcome) {
  // The verified installer (and its open file) travels with the hand-over; when the window
  // is gone and the post is dropped, the file is released with it.
  DownloadTarget* target = links_.target;
  auto done = std::make_shared<DownloadOutcome>(std::move(outcome));
  HandOverUntilTaken(links_.post, [target, done] { CompleteDownload(*target, std::move(*done)); });
}

}  // namespace mt
