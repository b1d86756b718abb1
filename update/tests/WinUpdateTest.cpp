// Under Wine: the WinHTTP client, the check thread and the download thread against the
// loopback server of update_server.py (started by a ctest fixture; its port file is named
// by MT_UPDATE_PORT_FILE).
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdio>

#include "app/Text.h"
#include "update/jcsj.h"
#include "app/win/WinServices.h"
#include "update/tests/Fakes.h"
#include "update/tests/PeImage.h"
#include "update/tests/WinTestSupport.h"
#include "update/win/WinHttpClient.h"

namespace mt {
namespace {

using test::LoopbackServer;

// The program's HTTP service; each client it makes is independent of the others.
WinHttpService http;

class HttpClientTest : public LoopbackServer {
 protected:
  std::unique_ptr<HttpClient> client = http.CreateClient();
};

TEST_F(HttpClientTest, GetTextGivesTheRawBodyAndItsLength) {
  client->SetUserAgent(kUpdateUserAgent);
  EXPECT_EQ(client->GetText(Url("/text")), std::string("line1\nline2\0tail", 16));
  EXPECT_EQ(client->ResponseContentLength(), 16);
  EXPECT_EQ(client->GetText(Url("/ua")), kUpdateUserAgent);
}

TEST_F(HttpClientTest, HeadReportsTheAnnouncedLengthOrMinusOne) {
  client->Head(Url("/big/123456"));
  EXPECT_EQ(client->ResponseContentLength(), 123456);
  client->Head(Url("/nolength/10"));
  EXPECT_EQ(client->ResponseContentLength(), -1);
  std::string body;
  client->Get(Url("/nolength/5000"), body);
  EXPECT_EQ(body.size(), 5000u);
  EXPECT_EQ(client->ResponseContentLength(), -1);
}

TEST_F(HttpClientTest, ErrorStatusAndUnreachableHostThrow) {
  try {
    client->GetText(Url("/status/500"));
    FAIL() << "no exception";
  } catch (const HttpError& e) {
    EXPECT_EQ(e.Status(), 500);
  }
  EXPECT_THROW(client->Head(Url("/status/404")), HttpError);
  EXPECT_THROW(client->GetText("http://127.0.0.1:1/gjhjsj.asp"), HttpError);
  EXPECT_THROW(client->GetText(""), HttpError);
  EXPECT_THROW(client->GetText("not a url"), HttpError);
}

TEST_F(HttpClientTest, RedirectsRefusedByDefaultFollowedUpTo15WhenAsked) {
  try {
    client->GetText(Url("/moved/gjhjsj.asp"));
    FAIL() << "redirect followed";
  } catch (const HttpError& e) {
    EXPECT_EQ(e.Status(), 302);
  }
  client->SetFollowRedirects(true);
  EXPECT_EQ(client->GetText(Url("/redirect/15")), "arrived");
  EXPECT_THROW(client->GetText(Url("/redirect/16")), HttpError);
  client->Head(Url("/redirect/3/big/777"));
  EXPECT_EQ(client->ResponseContentLength(), 777);
}

TEST_F(HttpClientTest, BodyCutShortThrowsAndWorkCountsRise) {
  std::string partial;
  EXPECT_THROW(client->Get(Url("/drop/100000"), partial), HttpError);

  std::vector<int64_t> counts;
  client->SetWorkHandler([&](WorkMode, int64_t n) { counts.push_back(n); });
  std::string body;
  client->Get(Url("/big/3000000"), body);
  ASSERT_EQ(body.size(), 3000000u);
  for (size_t i = 0; i < body.size(); i += 4093) {
    ASSERT_EQ(static_cast<unsigned char>(body[i]), i % 251) << i;
  }
  ASSERT_GT(counts.size(), 2u);
  for (size_t i = 1; i < counts.size(); ++i) ASSERT_GT(counts[i], counts[i - 1]);
  EXPECT_EQ(counts.back(), 3000000);
}

// "安装包 新版" in GBK, as the Update page gives it.
const std::string kGbkName = "\xB0\xB2\xD7\xB0\xB0\xFC \xD0\xC2\xB0\xE6";
const std::string kGbkNameOnTheWire = "%B0%B2%D7%B0%B0%FC%20%D0%C2%B0%E6";

TEST_F(HttpClientTest, AnAddressWithGbkBytesGoesOutAsThoseBytes) {
  EXPECT_EQ(client->GetText(Url("/echo/" + kGbkName + ".exe?n=" + kGbkName + "&e=%41%e4#top")),
            "GET /echo/" + kGbkNameOnTheWire + ".exe?n=" + kGbkNameOnTheWire +
                "&e=%41%e4 HTTP/1.1\r\n");
  const std::string line = "GET /echo/%5C%81%7C%22%7B%7D%25 HTTP/1.1\r\n";
  client->Head(Url("/echo/\\\x81|\"{}%"));
  EXPECT_EQ(client->ResponseContentLength(), static_cast<int32_t>(line.size()));
  EXPECT_EQ(client->GetText(Url("/echo/\\\x81|\"{}%")), line);
}

// ---- the check thread over the real client ---------------------------------------------------
std::optional<UpdateRecord> RealCheck(const std::string& url) {
  test::UiQueue ui;
  std::optional<UpdateRecord> got;
  std::atomic<bool> ended{false};
  struct Signalled : Trjsjhread {
    using Trjsjhread::Trjsjhread;
    std::atomic<bool>* ended = nullptr;
    ~Signalled() override { *ended = true; }
  };
  auto* t = new Signalled(true, http, url,
                          [&](const UpdateRecord& r) { ui.Post([&got, r] { got = r; }); });
  t->ended = &ended;
  t->Resume();
  EXPECT_TRUE(ui.RunUntil([&] { return ended.load(); }, 20000));
  ui.RunUntil([] { return true; }, 0);
  return got;
}

TEST_F(LoopbackServer, CheckThreadReadsTheGbkPage) {
  std::optional<UpdateRecord> r = RealCheck(Url("/gjhjsj.asp"));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->zpid, "12");
  EXPECT_EQ(r->zpver, "v1.4");
  EXPECT_EQ(GbkToUtf8(r->zpname), "小工具合集");  // bytes kept as GBK until shown
  EXPECT_EQ(GbkToUtf8(r->zpsjnr), "1.修正若干问题\r\n2.新增功能");
  EXPECT_EQ(r->zp_downurl, Url("/redirect/2/big/200000"));
  EXPECT_FALSE(RealCheck(Url("/moved/gjhjsj.asp")));
  EXPECT_FALSE(RealCheck(Url("/status/500")));
}

// ---- the download thread into a real folder ---------------------------------------------------
// Vouches for any file and shows it as an installer of the offered v1.4: these bodies are no
// installers; the signature and version checks have tests of their own.
class VouchesAsOffered : public InstallerVerifier {
 public:
  TrustResult Verify(const std::string& path) override {
    asked.push_back(path);
    return Accept(path, std::make_unique<ImageHold>());
  }
  std::vector<std::string> asked;

 private:
  struct ImageHold : HeldFile {
    std::string image = test::InstallerImage("v1.4");
    bool ReadAt(uint64_t offset, void* data, size_t size) const override {
      if (offset > image.size() || size > image.size() - offset) return false;
      image.copy(static_cast<char*>(data), size, static_cast<size_t>(offset));
      return true;
    }
  };
};

class DownloadToDisk : public LoopbackServer {
 protected:
  test::WinTempDir dir;
  test::RecordingTarget target;
  test::UiQueue ui;
  VouchesAsOffered verifier;
  WinFileSystem realFiles;
  std::string LocalFile() const { return dir.path() + "\\rar\\tbxsetup.exe"; }

  void Run(const std::string& url) {
    std::atomic<bool> ended{false};
    struct Signalled : Tfiledownthread {
      using Tfiledownthread::Tfiledownthread;
      std::atomic<bool>* ended = nullptr;
      ~Signalled() override { *ended = true; }
    };
    Tfiledownthread::Links links;
    links.http = &http;
    links.files = &realFiles;
    links.target = &target;
    links.verifier = &verifier;
    links.offeredVersion = "v1.4";
    links.post = [this](std::function<void()> w) {
      ui.Post(std::move(w));
      return Handed::Queued;
    };
    auto* t = new Signalled(true, url, LocalFile(), Tfiledownthread::kReminderMode, links);
    t->ended = &ended;
    t->Resume();
    ASSERT_TRUE(ui.RunUntil([&] { return ended.load(); }, 30000));
    ui.RunUntil([] { return true; }, 0);
  }
};

TEST_F(DownloadToDisk, FollowsRedirectsAndWritesTheWholeInstaller) {
  Run(Url("/redirect/3/big/1000000"));
  EXPECT_EQ(test::FileSize(LocalFile()), 1000000);
  EXPECT_EQ(test::FileSize(LocalFile() + ".part"), -1);
  ASSERT_FALSE(target.captions.empty());
  EXPECT_EQ(target.captions.back(), "正在下载(100%)");
  ASSERT_GE(target.calls.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(target.calls.end() - 5, target.calls.end()),
            (std::vector<std::string>{"enable", "path " + LocalFile(), "installer " + LocalFile(),
                                      "finished", "close"}));
  EXPECT_EQ(verifier.asked, std::vector<std::string>{LocalFile()});
}

TEST_F(DownloadToDisk, FailuresLeaveNoFileAndNoHandOver) {
  const std::vector<std::string> failed = {std::string("caption ") + kDownloadFailedCaption,
                                           "enable"};
  for (const char* path : {"/status/404", "/drop/300000", "/headlie/5000", "/redirect/16"}) {
    target.calls.clear();
    Run(Url(path));
    EXPECT_EQ(test::FileSize(LocalFile()), -1) << path;
    EXPECT_EQ(test::FileSize(LocalFile() + ".part"), -1) << path;
    ASSERT_GE(target.calls.size(), 2u) << path;
    EXPECT_EQ(std::vector<std::string>(target.calls.end() - 2, target.calls.end()), failed) << path;
  }
}

TEST_F(DownloadToDisk, NoLengthShowsAmounts) {
  Run(Url("/nolength/700000"));
  EXPECT_EQ(test::FileSize(LocalFile()), 700000);
  ASSERT_FALSE(target.captions.empty());
  EXPECT_EQ(target.captions.back(), "正在下载(683KB)");
}

}  // namespace
}  // namespace mt
