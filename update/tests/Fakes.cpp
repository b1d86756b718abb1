#include "update/tests/Fakes.h"

#include <chrono>

namespace mt::test {

namespace {

class FakeClient : public HttpClient {
 public:
  explicit FakeClient(FakeHttp& owner) : owner_(owner) {
    std::lock_guard<std::mutex> lock(owner_.mutex);
    ++owner_.clientsAlive;
  }
  ~FakeClient() override {
    std::lock_guard<std::mutex> lock(owner_.mutex);
    --owner_.clientsAlive;
  }
  void SetUserAgent(const std::string& ua) override {
    std::lock_guard<std::mutex> lock(owner_.mutex);
    owner_.userAgents.push_back(ua);
  }
  void SetFollowRedirects(bool follow) override {
    std::lock_guard<std::mutex> lock(owner_.mutex);
    owner_.followRedirects.push_back(follow);
  }
  void SetWorkHandler(WorkHandler handler) override { work_ = std::move(handler); }
  std::string GetText(const std::string& url) override { return Find("GETTEXT", url).body; }
  void Head(const std::string& url) override { length_ = Find("HEAD", url).contentLength; }
  int32_t ResponseContentLength() const override { return length_; }
  void Get(const std::string& url, std::string& stream) override {
    const FakeResponse r = Find("GET", url);
    const size_t step = r.chunk ? r.chunk : (r.body.empty() ? 1 : r.body.size());
    for (size_t done = 0; done < r.body.size();) {
      size_t n = std::min(step, r.body.size() - done);
      stream.append(r.body, done, n);
      done += n;
      if (work_) work_(WorkMode::Read, static_cast<int64_t>(done));
    }
  }

 private:
  FakeResponse Find(const char* verb, const std::string& url) {
    std::lock_guard<std::mutex> lock(owner_.mutex);
    owner_.requests.push_back(std::string(verb) + " " + url);
    auto it = owner_.responses.find(url);
    if (it == owner_.responses.end() || it->second.fail) throw HttpError("cannot connect");
    return it->second;
  }
  FakeHttp& owner_;
  WorkHandler work_;
  int32_t length_ = -1;
};

}  // namespace

std::unique_ptr<HttpClient> FakeHttp::CreateClient() {
  if (failCreate) throw HttpError("no client");
  return std::make_unique<FakeClient>(*this);
}

void RecordingTarget::SetButton2Caption(const std::string& caption) {
  calls.push_back("caption " + caption);
  captions.push_back(caption);
}
void RecordingTarget::EnableButton2() { calls.push_back("enable"); }
void RecordingTarget::SetInstallerPath(const std::string& path) { calls.push_back("path " + path); }
void RecordingTarget::HoldInstaller(VerifiedInstaller v) {
  calls.push_back("installer " + v.Path());
  installer = std::move(v);
}
void RecordingTarget::SetDownloadFinished() { calls.push_back("finished"); }

namespace {
class MemoryHold : public HeldFile {
 public:
  MemoryHold(MemoryFileSystem* files, std::string path) : files_(files), path_(std::move(path)) {
    if (files_) ++files_->held[path_];
  }
  ~MemoryHold() override {
    if (files_ && --files_->held[path_] == 0) files_->held.erase(path_);
  }

 private:
  MemoryFileSystem* files_;
  std::string path_;
};
}  // namespace

TrustResult FakeVerifier::Verify(const std::string& path) {
  asked.push_back(path);
  if (files_) {
    auto it = files_->files.find(path);
    seen.push_back(it == files_->files.end() ? "(none)" : it->second);
  }
  if (throws) throw AppError("verifier failed");
  if (verdict != TrustVerdict::kTrusted) return Refuse(verdict, TrustVerdictName(verdict));
  return Accept(path, std::make_unique<MemoryHold>(files_, path));
}

bool RecordingLauncher::Start(VerifiedInstaller installer, int show) {
  started.push_back({installer.Path(), show, isHeld ? isHeld(installer.Path()) : true});
  return result;
}
void RecordingTarget::CloseWindow() { calls.push_back("close"); }

void UiQueue::Post(std::function<void()> work) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(work));
  }
  cv_.notify_all();
}

bool UiQueue::RunUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    std::function<void()> work;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (queue_.empty()) {
        if (done()) return true;
        // `done` may turn true without a post (a thread ending), so look again often.
        if (std::chrono::steady_clock::now() >= deadline) return done();
        cv_.wait_for(lock, std::chrono::milliseconds(5));
        continue;
      }
      work = std::move(queue_.front());
      queue_.pop_front();
    }
    work();
  }
}

}  // namespace mt::test
