// The check and download threads against scripted services: what they request, what they
// hand to the UI thread and in which order.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <thread>

#include "app/UiGate.h"
#include "update/jcsj.h"
#include "update/tests/Fakes.h"
#include "update/tests/PeImage.h"

namespace mt {
namespace {

using test::FakeHttp;
using test::FakeResponse;
using test::FakeVerifier;
using test::MemoryFileSystem;
using test::RecordingTarget;
using test::UiQueue;

const char* kEndpoint = "http://127.0.0.1:1/gjhjsj.asp";

// Runs one check thread to its end; the record it delivered, if any.
std::optional<UpdateRecord> RunCheck(FakeHttp& http) {
  UiQueue ui;
  std::optional<UpdateRecord> delivered;
  std::atomic<bool> ended{false};
  struct EndSignal : Trjsjhread {
    using Trjsjhread::Trjsjhread;
    std::atomic<bool>* ended = nullptr;
    ~EndSignal() override { *ended = true; }
  };
  auto* t = new EndSignal(true, http, kEndpoint, [&ui, &delivered](const UpdateRecord& r) {
    ui.Post([&delivered, r] { delivered = r; });
  });
  t->ended = &ended;
  t->Resume();  // deletes itself
  EXPECT_TRUE(ui.RunUntil([&] { return ended.load(); }));
  ui.RunUntil([] { return true; }, 0);
  return delivered;
}

TEST(UpdateCheckThread, FetchesWithTheUserAgentAndDeliversTheRecord) {
  FakeHttp http;
  http.responses[kEndpoint].body =
      "zpid:7</br>zpname:n</br>zpver:v1.4</br>zpms:m</br>zpsjnr:a\nb</br>zpdx:1MB</br>"
      "zpgxsj:t</br>zp_downurl:http://h/s.exe</br>zpzc:xp</br>";
  std::optional<UpdateRecord> r = RunCheck(http);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->zpver, "v1.4");
  EXPECT_EQ(r->zpsjnr, "a\r\nb");  // line breaks normalised before the cut
  EXPECT_EQ(r->zp_downurl, "http://h/s.exe");
  ASSERT_EQ(http.requests.size(), 1u);
  EXPECT_EQ(http.requests[0], std::string("GETTEXT ") + kEndpoint);
  EXPECT_EQ(http.userAgents, std::vector<std::string>{kUpdateUserAgent});
  EXPECT_TRUE(http.followRedirects.empty());  // redirects stay refused
  EXPECT_EQ(http.clientsAlive, 0);
}

// A found record reaches the UI thread even when it refuses the first posts (a full message
// queue), and is dropped without retrying once the window is gone.
TEST(UpdateCheckThread, TheRecordIsHandedOverAgainWhileTheUiThreadIsBusy) {
  FakeHttp http;
  http.responses[kEndpoint].body =
      "zpid:7</br>zpname:n</br>zpver:v1.4</br>zpms:m</br>zpsjnr:a</br>zpdx:1MB</br>"
      "zpgxsj:t</br>zp_downurl:http://h/s.exe</br>zpzc:xp</br>";
  for (Handed last : {Handed::Queued, Handed::Gone}) {
    UiQueue ui;
    std::atomic<int> posts{0};
    std::atomic<bool> ended{false};
    std::optional<UpdateRecord> delivered;
    auto post = [&](std::function<void()> work) {
      if (++posts <= 3) return Handed::Busy;
      if (last == Handed::Queued) ui.Post(std::move(work));
      return last;
    };
    struct EndSignal : Trjsjhread {
      using Trjsjhread::Trjsjhread;
      std::atomic<bool>* ended = nullptr;
      ~EndSignal() override { *ended = true; }
    };
    auto* t = new EndSignal(true, http, kEndpoint,
                            DeliverOnUiThread(post, [&](const UpdateRecord& r) { delivered = r; }));
    t->ended = &ended;
    t->Resume();
    EXPECT_TRUE(ui.RunUntil([&] { return ended.load(); }));
    ui.RunUntil([] { return true; }, 0);
    EXPECT_EQ(posts.load(), 4);
    EXPECT_EQ(delivered.has_value(), last == Handed::Queued);
    if (delivered) {
      EXPECT_EQ(delivered->zpver, "v1.4");
    }
  }
}

TEST(UpdateCheckThread, FailuresAndBlankPagesDeliverNothing) {
  FakeHttp unreachable;
  EXPECT_FALSE(RunCheck(unreachable));
  EXPECT_EQ(unreachable.clientsAlive, 0);
  FakeHttp blank;
  blank.responses[kEndpoint].body = " \r\n \n";
  EXPECT_FALSE(RunCheck(blank));
  FakeHttp nul;
  nul.responses[kEndpoint].body = std::string("\0zpver:v9</br>zpms:", 19);
  EXPECT_FALSE(RunCheck(nul));  // nothing before the NUL: blank
}

// ---- download ------------------------------------------------------------------------------
const std::string kUrl = "http://127.0.0.1:1/setup.exe";
const std::string kTarget = "C:\\Tools\\rar\\tbxsetup.exe";

struct DownloadRun {
  FakeHttp http;
  MemoryFileSystem files;
  RecordingTarget target;
  UiQueue ui;
  FakeVerifier verifier{&files};
  bool withVerifier = true;

  // How the UI thread takes each post; null: every post is queued.
  std::function<Handed()> answer;
  std::atomic<int> posts{0};

  DownloadRun() { files.dirs.insert("C:\\Tools"); }

  Tfiledownthread::Links Links() {
    Tfiledownthread::Links links;
    links.http = &http;
    links.files = &files;
    links.target = &target;
    links.verifier = withVerifier ? &verifier : nullptr;
    links.offeredVersion = "v1.4";
    links.post = [this](std::function<void()> w) {
      ++posts;
      const Handed handed = answer ? answer() : Handed::Queued;
      if (handed == Handed::Queued) ui.Post(std::move(w));
      return handed;
    };
    return links;
  }
  // The transfer and the check on this thread, then the hand-over.
  void RunHere() {
    Tfiledownthread t(true, kUrl, kTarget, Tfiledownthread::kReminderMode, Links());
    files.CreateDirectories(FolderOf(kTarget));
    std::unique_ptr<HttpClient> client = http.CreateClient();
    CompleteDownload(target, t.Download(*client));
  }
  void Run(const std::string& url = kUrl) {
    std::atomic<bool> ended{false};
    struct EndSignal : Tfiledownthread {
      using Tfiledownthread::Tfiledownthread;
      std::atomic<bool>* ended = nullptr;
      ~EndSignal() override { *ended = true; }
    };
    auto* t = new EndSignal(true, url, kTarget, Tfiledownthread::kReminderMode, Links());
    t->ended = &ended;
    t->Resume();
    ASSERT_TRUE(ui.RunUntil([&] { return ended.load(); }));
    ui.RunUntil([] { return true; }, 0);
  }
  std::vector<std::string> Tail(size_t n) const {
    const auto& c = target.calls;
    return std::vector<std::string>(c.end() - std::min(n, c.size()), c.end());
  }
};

const std::vector<std::string> kFailedTail = {std::string("caption ") + kDownloadFailedCaption,
                                              "enable"};

TEST(DownloadThread, CompleteDownloadIsRenamedIntoPlaceThenHandedOverInOrder) {
  DownloadRun d;
  FakeResponse& r = d.http.responses[kUrl];
  r.body = test::InstallerImage("v1.4", 1000000);
  r.contentLength = 1000000;
  r.chunk = 125000;
  d.Run();
  EXPECT_EQ(d.files.created, std::vector<std::string>{"C:\\Tools\\rar"});
  EXPECT_EQ(d.http.requests, (std::vector<std::string>{"HEAD " + kUrl, "GET " + kUrl}));
  EXPECT_EQ(d.http.followRedirects, std::vector<bool>{true});
  EXPECT_EQ(d.http.userAgents, std::vector<std::string>{kUpdateUserAgent});
  ASSERT_EQ(d.files.files.count(kTarget), 1u);
  EXPECT_EQ(d.files.files[kTarget].size(), 1000000u);
  EXPECT_EQ(d.files.files.size(), 1u);  // no partial file left
  EXPECT_EQ(d.files.log, (std::vector<std::string>{"write " + kTarget + ".part",
                                                   "rename " + kTarget + ".part " + kTarget}));
  ASSERT_GE(d.target.captions.size(), 8u);
  EXPECT_EQ(d.target.captions.front(), "正在下载(12%)");  // 125000 of 1000000: 12.5
  EXPECT_EQ(d.target.captions[2], "正在下载(38%)");       // 375000: 37.5
  EXPECT_EQ(d.target.captions.back(), "正在下载(100%)");
  EXPECT_EQ(d.Tail(5), (std::vector<std::string>{"enable", "path " + kTarget,
                                                 "installer " + kTarget, "finished", "close"}));
  EXPECT_EQ(d.http.clientsAlive, 0);
}

TEST(DownloadThread, AmountsShownWhenNoLengthIsAnnounced) {
  DownloadRun d;
  FakeResponse& r = d.http.responses[kUrl];
  r.body = test::InstallerImage("v1.4", 600 * 1024);
  r.contentLength = -1;
  r.chunk = 256 * 1024;
  d.Run();
  EXPECT_EQ(d.target.captions,
            (std::vector<std::string>{"正在下载(256KB)", "正在下载(512KB)", "正在下载(600KB)"}));
  EXPECT_EQ(d.Tail(1), std::vector<std::string>{"close"});
}

TEST(DownloadThread, FailuresLeaveTheWindowOpenForAnotherTry) {
  {  // unreachable
    DownloadRun d;
    d.Run();
    EXPECT_EQ(d.target.calls, kFailedTail);
    EXPECT_TRUE(d.files.files.empty());
  }
  {  // empty URL: no request at all
    DownloadRun d;
    d.Run("");
    EXPECT_TRUE(d.http.requests.empty());
    EXPECT_EQ(d.target.calls, kFailedTail);
  }
  {  // body shorter than announced (a connection dropped mid-body)
    DownloadRun d;
    d.http.responses[kUrl] = {std::string(500, 'z'), 1000};
    d.Run();
    EXPECT_EQ(d.Tail(2), kFailedTail);
    EXPECT_TRUE(d.files.files.empty());
  }
  {  // empty body
    DownloadRun d;
    d.http.responses[kUrl] = {"", -1};
    d.Run();
    EXPECT_EQ(d.Tail(2), kFailedTail);
  }
  {  // disk full part-way: the partial file is removed, nothing reaches the target
    DownloadRun d;
    d.http.responses[kUrl] = {"installer", 9};
    d.files.failWrite = true;
    d.Run();
    EXPECT_EQ(d.Tail(2), kFailedTail);
    EXPECT_TRUE(d.files.files.empty());
  }
  {  // rename refused
    DownloadRun d;
    d.http.responses[kUrl] = {"installer", 9};
    d.files.failRename = true;
    d.Run();
    EXPECT_EQ(d.Tail(2), kFailedTail);
    EXPECT_EQ(d.files.files.count(kTarget), 0u);
  }
}

TEST(DownloadThread, TheWholeFileIsCheckedWhereItLiesAndStaysHeldUntilTheWindowLetsGo) {
  DownloadRun d;
  const std::string image = test::InstallerImage("v1.4");
  d.http.responses[kUrl] = {image, static_cast<int32_t>(image.size())};
  d.Run();
  EXPECT_EQ(d.verifier.asked, std::vector<std::string>{kTarget});
  EXPECT_EQ(d.verifier.seen, std::vector<std::string>{image});
  ASSERT_TRUE(d.target.installer);
  EXPECT_EQ(d.target.installer->Path(), kTarget);
  EXPECT_EQ(d.files.held.count(kTarget), 1u);
  d.target.installer.reset();
  EXPECT_TRUE(d.files.held.empty());
}

const std::vector<std::string> kRefusedTail = {
    std::string("caption ") + kInstallerUnverifiedCaption, "enable"};

TEST(DownloadThread, AnInstallerThatFailsTheCheckIsDeletedAndNeverHandedOver) {
  auto expectRefused = [](DownloadRun& d) {
    EXPECT_EQ(d.Tail(2), kRefusedTail);
    for (const std::string& call : d.target.calls) {
      EXPECT_EQ(call.rfind("caption ", 0) == 0 || call == "enable", true) << call;
    }
    EXPECT_FALSE(d.target.installer);
    EXPECT_TRUE(d.files.files.empty());
    EXPECT_TRUE(d.files.held.empty());
    ASSERT_FALSE(d.files.log.empty());
    EXPECT_EQ(d.files.log.back(), "delete " + kTarget);
  };
  {  // on the download's own thread
    DownloadRun d;
    d.http.responses[kUrl] = {"bytes", 5};
    d.verifier.verdict = TrustVerdict::kOtherSigner;
    d.Run();
    EXPECT_EQ(d.verifier.asked, std::vector<std::string>{kTarget});
    expectRefused(d);
  }
  for (TrustVerdict verdict :
       {TrustVerdict::kUnreadable, TrustVerdict::kUnsigned, TrustVerdict::kTampered,
        TrustVerdict::kUntrustedChain, TrustVerdict::kRejected}) {
    SCOPED_TRACE(TrustVerdictName(verdict));
    DownloadRun d;
    d.http.responses[kUrl] = {"bytes", 5};
    d.verifier.verdict = verdict;
    d.RunHere();
    EXPECT_EQ(d.verifier.asked, std::vector<std::string>{kTarget});
    expectRefused(d);
  }
  {  // a verifier that fails outright refuses too
    SCOPED_TRACE("verifier throws");
    DownloadRun d;
    d.http.responses[kUrl] = {"bytes", 5};
    d.verifier.throws = true;
    d.RunHere();
    expectRefused(d);
  }
  {  // and a download without any verifier never brings an installer
    SCOPED_TRACE("no verifier");
    DownloadRun d;
    d.http.responses[kUrl] = {"bytes", 5};
    d.withVerifier = false;
    d.RunHere();
    expectRefused(d);
  }
}

// A well signed installer of another release than the offered one, or of one that does not
// follow the running program, goes the way of a bad signature.
TEST(DownloadThread, AnInstallerOfAnotherReleaseIsRefusedLikeABadSignature) {
  struct Case {
    const char* offered;
    std::string body;
  } cases[] = {{"v1.4", test::InstallerImage("v1.3")},  // an old release behind the offer
               {"v1.4", test::InstallerImage("v1.5")},  // not the one offered
               {"v1.3", test::InstallerImage("v1.3")},  // the running release again
               {"v1.2", test::InstallerImage("v1.2")},  // an offered downgrade
               {"V1.4", test::InstallerImage("v1.4")},  // an offer that is no version
               {"v1.4", "MZ, but no version resource"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offered);
    DownloadRun d;
    d.http.responses[kUrl] = {c.body, static_cast<int32_t>(c.body.size())};
    Tfiledownthread t(true, kUrl, kTarget, Tfiledownthread::kReminderMode, [&d, &c] {
      Tfiledownthread::Links links = d.Links();
      links.offeredVersion = c.offered;
      return links;
    }());
    d.files.CreateDirectories(FolderOf(kTarget));
    std::unique_ptr<HttpClient> client = d.http.CreateClient();
    CompleteDownload(d.target, t.Download(*client));
    EXPECT_EQ(d.verifier.asked, std::vector<std::string>{kTarget});
    EXPECT_EQ(d.Tail(2), kRefusedTail);
    EXPECT_FALSE(d.target.installer);
    EXPECT_TRUE(d.files.files.empty());
    EXPECT_TRUE(d.files.held.empty());
    ASSERT_FALSE(d.files.log.empty());
    EXPECT_EQ(d.files.log.back(), "delete " + kTarget);
  }
}

TEST(DownloadThread, AStaleInstallerAtTheTargetIsNeverOffered) {
  DownloadRun d;
  d.http.responses[kUrl] = {"new", 3};
  d.files.files[kTarget] = "old";
  d.Run();
  EXPECT_TRUE(d.http.requests.empty());
  EXPECT_EQ(d.files.files[kTarget], "old");
  EXPECT_EQ(d.target.calls, kFailedTail);
}

TEST(DownloadThread, EveryWayOutReachesTheWindow) {
  {  // looking at the folder throws
    DownloadRun d;
    d.http.responses[kUrl] = {"installer", 9};
    d.files.throwOnFolders = true;
    d.Run();
    EXPECT_EQ(d.target.calls, kFailedTail);
    EXPECT_TRUE(d.http.requests.empty());
  }
  {  // the folder cannot be made: the write fails
    DownloadRun d;
    d.http.responses[kUrl] = {"installer", 9};
    d.files.unmakeable.insert("C:\\Tools\\rar");
    d.Run();
    EXPECT_EQ(d.Tail(2), kFailedTail);
    EXPECT_TRUE(d.files.files.empty());
  }
  {  // no HTTP client to be had
    DownloadRun d;
    d.http.failCreate = true;
    d.Run();
    EXPECT_EQ(d.target.calls, kFailedTail);
  }
}

TEST(DownloadThread, ACompletionTheUiThreadRefusesIsHandedOverAgain) {
  DownloadRun d;
  d.http.responses[kUrl] = {test::InstallerImage("v1.4"), -1};
  int answered = 0;  // the download thread is the only caller
  d.answer = [&answered] {
    ++answered;
    if (answered == 6) throw std::bad_alloc();  // no memory for the message
    return answered <= 5 ? Handed::Busy : Handed::Queued;
  };
  d.Run();
  // The one progress caption was refused and superseded; the completion came through on
  // the 6th try after it.
  EXPECT_EQ(d.posts.load(), 7);
  EXPECT_EQ(d.target.calls,
            (std::vector<std::string>{"enable", "path " + kTarget, "installer " + kTarget,
                                      "finished", "close"}));
}

TEST(DownloadThread, NoEndlessRetryOnceTheWindowIsGone) {
  DownloadRun d;
  d.http.responses[kUrl] = {"installer", 9};
  d.answer = [] { return Handed::Gone; };
  d.Run();
  EXPECT_EQ(d.posts.load(), 2);  // one caption, one completion
  EXPECT_TRUE(d.target.calls.empty());
}

TEST(DownloadThread, FolderCreationMakesMissingParentsOutermostFirst) {
  MemoryFileSystem files;
  files.CreateDirectories("C:\\a\\b\\c");
  EXPECT_EQ(files.created, (std::vector<std::string>{"C:\\a", "C:\\a\\b", "C:\\a\\b\\c"}));
  files.created.clear();
  files.CreateDirectories("C:\\a\\b");
  EXPECT_TRUE(files.created.empty());
}

TEST(TThread, EveryStartedThreadRunsItsBody) {
  // Threads started one after another, each ending as the next starts: a detached thread of
  // MinGW's std::thread never ran its body about once in 150 times under Wine.
  struct Counting : TThread {
    explicit Counting(std::atomic<int>& ran) : TThread(true), ran_(ran) {}
    void Execute() override { ++ran_; }
    std::atomic<int>& ran_;
  };
  std::atomic<int> ran{0};
  int lost = 0;
  for (int i = 0; i < 1000; ++i) {
    const int before = ran.load();
    (new Counting(ran))->Resume();  // deletes itself
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (ran.load() == before && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::yield();
    }
    if (ran.load() == before) ++lost;
  }
  EXPECT_EQ(lost, 0);
}

TEST(UiGate, NothingPassesOnceTheOwnerIsGone) {
  int posted = 0;
  auto gate = std::make_shared<UiGate>();
  bool ran = false;
  // Closed until the window exists.
  EXPECT_EQ(gate->Send([&] { ran = true; }), Handed::Gone);
  EXPECT_FALSE(ran);
  gate->Attach([&](std::function<void()> w) {
    ++posted;
    w();
    return Handed::Queued;
  });
  EXPECT_EQ(gate->Send([&] { ran = true; }), Handed::Queued);
  EXPECT_TRUE(ran);
  gate->Close();  // the window is being destroyed
  EXPECT_EQ(gate->Send([&] { ran = false; }), Handed::Gone);
  EXPECT_TRUE(ran);
  EXPECT_EQ(posted, 1);
}

TEST(CompleteDownload, StepsInOrder) {
  MemoryFileSystem files;
  FakeVerifier verifier(&files);
  TrustResult trust = verifier.Verify("C:\\x\\s.exe");
  ASSERT_TRUE(trust.installer);
  DownloadOutcome verified;
  verified.installer = std::move(trust.installer);
  RecordingTarget ok;
  CompleteDownload(ok, std::move(verified));
  EXPECT_EQ(ok.calls, (std::vector<std::string>{"enable", "path C:\\x\\s.exe",
                                                "installer C:\\x\\s.exe", "finished", "close"}));
  EXPECT_EQ(files.held.count("C:\\x\\s.exe"), 1u);  // the window holds it now
  ok.installer.reset();
  EXPECT_TRUE(files.held.empty());

  RecordingTarget failed;
  CompleteDownload(failed, DownloadOutcome::Failed());
  EXPECT_EQ(failed.calls, kFailedTail);
  RecordingTarget refused;
  DownloadOutcome notVerified;
  notVerified.refused = true;
  CompleteDownload(refused, std::move(notVerified));
  EXPECT_EQ(refused.calls, (std::vector<std::string>{
                               std::string("caption ") + kInstallerUnverifiedCaption, "enable"}));
  EXPECT_NE(std::string(kInstallerUnverifiedCaption), kDownloadFailedCaption);
}

}  // namespace
}  // namespace mt
