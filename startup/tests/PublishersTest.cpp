// The publisher column's rules and its worker, on a stand-in signer source.
#include "startup/Publishers.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace mt {
namespace {

using S = StartupSource;
using Kind = FileSigner::Kind;

ProgramLookup Lookup(std::set<std::string> files) {
  ProgramLookup lookup;
  lookup.variable = [](const std::string& name) -> std::optional<std::string> {
    if (name == "ProgramFiles") return std::string("C:\\Program Files");
    return std::nullopt;
  };
  lookup.exists = [files](const std::string& path) { return files.count(path) > 0; };
  lookup.searchFolders = {"C:\\Windows\\system32", "C:\\Windows"};
  return lookup;
}

TEST(PublisherRulesTest, TextsForSignedUnsignedAndMissing) {
  EXPECT_EQ(PublisherText({Kind::kSigned, "Mirtak Software"}), "Mirtak Software");
  EXPECT_EQ(PublisherText({Kind::kUnsigned, ""}), "未签名");
  EXPECT_EQ(PublisherText({Kind::kMissing, ""}), "文件不存在");
  // A signature without a name vouches for nobody.
  EXPECT_EQ(PublisherText({Kind::kSigned, ""}), "未签名");
  EXPECT_TRUE(IsSuspectPublisher("未签名"));
  EXPECT_TRUE(IsSuspectPublisher("文件不存在"));
  EXPECT_FALSE(IsSuspectPublisher("Mirtak Software"));
  EXPECT_FALSE(IsSuspectPublisher(""));  // not checked yet
}

TEST(PublisherRulesTest, MicrosoftIsTheWholeFirstWordOfTheSignersName) {
  for (const char* name :
       {"Microsoft Windows", "Microsoft Corporation", "Microsoft Windows Publisher",
        "microsoft corporation", "Microsoft", "Microsoft, Inc.", " Microsoft Windows"})
    EXPECT_TRUE(IsMicrosoftPublisher(name)) << name;
  for (const char* name : {"Microsoftware Ltd", "Not Microsoft", "MS Corp", "Micro Soft", "",
                           "未签名", "文件不存在", "Microsoft-lookalike"})
    EXPECT_FALSE(IsMicrosoftPublisher(name)) << name;
}

TEST(PublisherRulesTest, TheFileOfARowIsItsCommandsProgramOrItsShortcutsTarget) {
  const ProgramLookup lookup = Lookup({"C:\\Program Files\\App\\app.exe",
                                       "C:\\Windows\\system32\\rundll32.exe",
                                       "C:\\Tools\\helper.dll"});
  StartupRow run{"App", "\"%ProgramFiles%\\App\\app.exe\" /min", S::UserRun};
  EXPECT_EQ(ProgramFileOf(run, lookup, nullptr), "C:\\Program Files\\App\\app.exe");
  // A host's row names the program it hands the work to.
  StartupRow dll{"Helper", "rundll32.exe C:\\Tools\\helper.dll,Start", S::MachineRunOnce};
  EXPECT_EQ(ProgramFileOf(dll, lookup, nullptr), "C:\\Tools\\helper.dll");

  StartupRow folder{"app.lnk", "C:\\Startup\\app.lnk", S::UserFolder};
  auto target = [](const std::string& lnk) -> std::optional<std::string> {
    if (lnk == "C:\\Startup\\app.lnk") return std::string("%ProgramFiles%\\App\\app.exe");
    throw std::runtime_error("not a shortcut");
  };
  EXPECT_EQ(ProgramFileOf(folder, lookup, target), "C:\\Program Files\\App\\app.exe");
  // A shortcut that cannot be read (or without a reader) is its own file.
  StartupRow broken{"x.lnk", "C:\\Startup\\x.lnk", S::CommonFolder};
  EXPECT_EQ(ProgramFileOf(broken, lookup, target), "C:\\Startup\\x.lnk");
  EXPECT_EQ(ProgramFileOf(folder, lookup, nullptr), "C:\\Startup\\app.lnk");
  // Any other file in the folder is its own program: never read as a shortcut.
  int asked = 0;
  auto counting = [&asked](const std::string&) -> std::optional<std::string> {
    ++asked;
    return std::string("C:\\Elsewhere\\other.exe");
  };
  EXPECT_EQ(ProgramFileOf({"Linear.exe", "C:\\Startup\\Linear.exe", S::UserFolder}, lookup,
                          counting),
            "C:\\Startup\\Linear.exe");
  EXPECT_EQ(ProgramFileOf({"go.cmd", "C:\\Startup\\go.cmd", S::UserFolder}, lookup, counting),
            "C:\\Startup\\go.cmd");
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(ProgramFileOf({"A.LNK", "C:\\Startup\\A.LNK", S::UserFolder}, lookup, counting),
            "C:\\Elsewhere\\other.exe");
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(ProgramFileOf({"Blank", "  ", S::UserRun}, lookup, nullptr), "");
}

// Answers from a table, counts every call, and can hold a call until released.
class ScriptedSigners : public SignerSource {
 public:
  FileSigner SignerOf(const std::string& path) override {
    std::unique_lock<std::mutex> lock(mutex);
    calls.push_back(path);
    changed.notify_all();
    if (path == holdAt || path == holdAlso) changed.wait(lock, [&] { return released; });
    auto it = table.find(path);
    return it == table.end() ? FileSigner{Kind::kUnsigned, {}} : it->second;
  }
  bool WaitForCall(const std::string& path) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(10), [&] {
      for (const std::string& c : calls)
        if (c == path) return true;
      return false;
    });
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mutex);
    released = true;
    changed.notify_all();
  }

  std::mutex mutex;
  std::condition_variable changed;
  std::map<std::string, FileSigner> table;
  std::vector<std::string> calls;
  std::string holdAt, holdAlso;
  bool released = false;
};

// What the worker handed over, as the UI thread would receive it.
struct Received {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::pair<uint64_t, PublisherResult>> results;
  std::vector<uint64_t> finished;
  int busyAnswers = 0;  // how many offers to refuse first
  int offers = 0;

  bool Take(uint64_t generation, const PublisherResult& result) {
    std::lock_guard<std::mutex> lock(mutex);
    ++offers;
    if (busyAnswers > 0) {
      --busyAnswers;
      return false;
    }
    results.emplace_back(generation, result);
    changed.notify_all();
    return true;
  }
  bool Finish(uint64_t generation) {
    std::lock_guard<std::mutex> lock(mutex);
    finished.push_back(generation);
    changed.notify_all();
    return true;
  }
  bool WaitFinished(uint64_t generation) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(10), [&] {
      for (uint64_t g : finished)
        if (g == generation) return true;
      return false;
    });
  }
};

class PublisherWorkerTest : public ::testing::Test {
 protected:
  PublisherWorkerTest()
      : worker(
            signers, Lookup({"C:\\A\\a.exe", "C:\\B\\b.exe", "C:\\C\\c.exe", "C:\\D\\d.exe"}),
            nullptr, [this](uint64_t g, const PublisherResult& r) { return received.Take(g, r); },
            [this](uint64_t g) { return received.Finish(g); }, nullptr, 1) {}

  static PublisherRow Row(int id, const std::string& command) {
    return {id, StartupRow{"item" + std::to_string(id), command, S::MachineRun}};
  }

  ScriptedSigners signers;
  Received received;
  PublisherWorker worker;
};

TEST_F(PublisherWorkerTest, EachFileIsCheckedOnceAndItsTextGoesToEveryRowThatStartsIt) {
  signers.table["C:\\A\\a.exe"] = {Kind::kSigned, "Microsoft Windows"};
  const uint64_t g = worker.Start({Row(1, "C:\\A\\a.exe /x"), Row(2, "C:\\B\\b.exe"),
                                   Row(3, "\"c:\\a\\A.EXE\""), Row(4, "C:\\Gone\\gone.exe"),
                                   Row(5, "")});
  ASSERT_TRUE(received.WaitFinished(g));
  // A missing program is still asked about (the platform says whether it is there); a row
  // that names no program is "文件不存在" without asking.
  EXPECT_EQ(signers.calls,
            (std::vector<std::string>{"C:\\A\\a.exe", "C:\\B\\b.exe", "C:\\Gone\\gone.exe"}));
  ASSERT_EQ(received.results.size(), 4u);
  EXPECT_EQ(received.results[0].second.ids, (std::vector<int>{1, 3}));
  EXPECT_EQ(received.results[0].second.text, "Microsoft Windows");
  EXPECT_EQ(received.results[1].second.ids, (std::vector<int>{2}));
  EXPECT_EQ(received.results[1].second.text, "未签名");
  EXPECT_EQ(received.results[3].second.ids, (std::vector<int>{5}));
  EXPECT_EQ(received.results[3].second.text, "文件不存在");
  for (const auto& [generation, result] : received.results) EXPECT_EQ(generation, g);
  EXPECT_TRUE(worker.IsCurrent(g));
}

TEST_F(PublisherWorkerTest, ANewRefreshSupersedesTheJobThatIsRunning) {
  signers.holdAt = "C:\\A\\a.exe";
  const uint64_t first = worker.Start({Row(1, "C:\\A\\a.exe"), Row(2, "C:\\B\\b.exe")});
  ASSERT_TRUE(signers.WaitForCall("C:\\A\\a.exe"));
  const uint64_t second = worker.Start({Row(7, "C:\\C\\c.exe"), Row(8, "C:\\D\\d.exe")});
  EXPECT_NE(first, second);
  EXPECT_FALSE(worker.IsCurrent(first));
  signers.Release();
  ASSERT_TRUE(received.WaitFinished(second));
  // The file being checked when the new job came is not reported, the rest of the old job is
  // never checked, and the old job does not report its end.
  EXPECT_EQ(signers.calls,
            (std::vector<std::string>{"C:\\A\\a.exe", "C:\\C\\c.exe", "C:\\D\\d.exe"}));
  ASSERT_EQ(received.results.size(), 2u);
  for (const auto& [generation, result] : received.results) EXPECT_EQ(generation, second);
  EXPECT_EQ(received.finished, std::vector<uint64_t>{second});
}

TEST_F(PublisherWorkerTest, ABusyReceiverIsOfferedTheResultAgainAndCancelDropsTheJob) {
  received.busyAnswers = 2;
  const uint64_t g = worker.Start({Row(1, "C:\\A\\a.exe")});
  ASSERT_TRUE(received.WaitFinished(g));
  EXPECT_EQ(received.offers, 3);
  ASSERT_EQ(received.results.size(), 1u);

  signers.holdAt = "C:\\B\\b.exe";
  const uint64_t dropped = worker.Start({Row(2, "C:\\B\\b.exe"), Row(3, "C:\\C\\c.exe")});
  ASSERT_TRUE(signers.WaitForCall("C:\\B\\b.exe"));
  worker.Cancel();
  EXPECT_FALSE(worker.IsCurrent(dropped));
  signers.Release();
  // Nothing more of the dropped job arrives; the worker takes the next job as usual.
  const uint64_t next = worker.Start({Row(4, "C:\\D\\d.exe")});
  ASSERT_TRUE(received.WaitFinished(next));
  ASSERT_EQ(received.results.size(), 2u);
  EXPECT_EQ(received.results[1].first, next);
  EXPECT_EQ(received.results[1].second.ids, std::vector<int>{4});
}

// The same list again moments later (the tasks and services read in) goes on from what the
// job it supersedes found: the file held in the middle of its check and the ones checked
// before are not asked about again, and every row of the new job gets its text. A job started
// without it asks about everything again.
TEST_F(PublisherWorkerTest, AJobThatKeepsWhatWasFoundAsksOnlyAboutNewFiles) {
  signers.table["C:\\A\\a.exe"] = {Kind::kSigned, "Vendor A"};
  signers.holdAt = "C:\\B\\b.exe";
  worker.Start({Row(1, "C:\\A\\a.exe"), Row(2, "C:\\B\\b.exe /x")});
  ASSERT_TRUE(signers.WaitForCall("C:\\B\\b.exe"));
  const uint64_t second = worker.Start({Row(11, "C:\\A\\a.exe"), Row(12, "C:\\B\\b.exe /x"),
                                        Row(13, "c:\\b\\B.EXE"), Row(14, "C:\\C\\c.exe")},
                                       true);
  signers.Release();
  ASSERT_TRUE(received.WaitFinished(second));
  {
    std::lock_guard<std::mutex> lock(signers.mutex);
    EXPECT_EQ(signers.calls,
              (std::vector<std::string>{"C:\\A\\a.exe", "C:\\B\\b.exe", "C:\\C\\c.exe"}));
  }
  std::map<int, std::string> textOf;
  for (const auto& [generation, result] : received.results)
    if (generation == second)
      for (int id : result.ids) textOf[id] = result.text;
  EXPECT_EQ(textOf, (std::map<int, std::string>{
                        {11, "Vendor A"}, {12, "未签名"}, {13, "未签名"}, {14, "未签名"}}));

  const uint64_t third = worker.Start({Row(21, "C:\\A\\a.exe")});
  ASSERT_TRUE(received.WaitFinished(third));
  std::lock_guard<std::mutex> lock(signers.mutex);
  EXPECT_EQ(signers.calls.size(), 4u);
  EXPECT_EQ(signers.calls.back(), "C:\\A\\a.exe");
}

// The rows' files are found by both threads, and each row still gets the text of its own file.
TEST(PublisherWorkerRowsTest, BothThreadsFindFilesAndEachRowGetsItsOwnText) {
  ScriptedSigners signers;
  Received received;
  std::set<std::string> files;
  std::vector<PublisherRow> rows;
  for (int id = 1; id <= 40; ++id) {
    const std::string path = "C:\\P\\" + std::to_string(id % 13) + ".exe";
    files.insert(path);
    signers.table[path] = {Kind::kSigned, "Vendor " + std::to_string(id % 13)};
    rows.push_back({id, StartupRow{"item", path + " /run", S::MachineRun}});
  }
  PublisherWorker two(
      signers, Lookup(files), nullptr,
      [&](uint64_t g, const PublisherResult& r) { return received.Take(g, r); },
      [&](uint64_t g) { return received.Finish(g); });
  const uint64_t g = two.Start(rows);
  ASSERT_TRUE(received.WaitFinished(g));
  std::lock_guard<std::mutex> lock(received.mutex);
  std::map<int, std::string> textOf;
  for (const auto& [generation, result] : received.results)
    for (int id : result.ids) EXPECT_TRUE(textOf.emplace(id, result.text).second) << id;
  ASSERT_EQ(textOf.size(), 40u);
  for (const auto& [id, text] : textOf) EXPECT_EQ(text, "Vendor " + std::to_string(id % 13)) << id;
  std::lock_guard<std::mutex> signersLock(signers.mutex);
  EXPECT_EQ(signers.calls.size(), 13u);
}

// The column as the page runs it: two checking threads.
class TwoPublisherThreadsTest : public PublisherWorkerTest {
 protected:
  TwoPublisherThreadsTest()
      : two(
            signers, Lookup({"C:\\A\\a.exe", "C:\\B\\b.exe", "C:\\C\\c.exe"}), nullptr,
            [this](uint64_t g, const PublisherResult& r) { return received.Take(g, r); },
            [this](uint64_t g) { return received.Finish(g); }) {}
  // A test that failed while a check was held must still end: the threads are let go first.
  ~TwoPublisherThreadsTest() override { signers.Release(); }
  PublisherWorker two;
};

TEST_F(TwoPublisherThreadsTest, TwoFilesAreCheckedAtOnceAndEveryRowGetsItsTextOnce) {
  signers.table["C:\\A\\a.exe"] = {Kind::kSigned, "Microsoft Windows"};
  signers.table["C:\\C\\c.exe"] = {Kind::kSigned, "Vendor"};
  signers.holdAt = "C:\\A\\a.exe";
  std::vector<PublisherRow> rows;
  for (int id = 1; id <= 9; ++id)
    rows.push_back(
        Row(id, std::string("C:\\") + "ABC"[(id - 1) % 3] + "\\" + "abc"[(id - 1) % 3] + ".exe"));
  rows.push_back(Row(10, "C:\\Gone\\gone.exe"));
  rows.push_back(Row(11, ""));
  const uint64_t g = two.Start(rows);
  // While the first thread is held on a.exe, the second checks b.exe.
  ASSERT_TRUE(signers.WaitForCall("C:\\A\\a.exe"));
  ASSERT_TRUE(signers.WaitForCall("C:\\B\\b.exe"));
  signers.Release();
  ASSERT_TRUE(received.WaitFinished(g));
  std::lock_guard<std::mutex> lock(received.mutex);
  // Each file checked once, each row's text delivered once, the end reported once and last.
  std::vector<std::string> calls;
  {
    std::lock_guard<std::mutex> signersLock(signers.mutex);
    calls = signers.calls;
  }
  std::sort(calls.begin(), calls.end());
  EXPECT_EQ(calls, (std::vector<std::string>{"C:\\A\\a.exe", "C:\\B\\b.exe", "C:\\C\\c.exe",
                                             "C:\\Gone\\gone.exe"}));
  std::map<int, std::string> textOf;
  for (const auto& [generation, result] : received.results) {
    EXPECT_EQ(generation, g);
    for (int id : result.ids) EXPECT_TRUE(textOf.emplace(id, result.text).second) << id;
  }
  ASSERT_EQ(textOf.size(), 11u);
  EXPECT_EQ(textOf[1], "Microsoft Windows");  // rows 1, 4, 7: a.exe
  EXPECT_EQ(textOf[5], "未签名");             // rows 2, 5, 8: b.exe
  EXPECT_EQ(textOf[9], "Vendor");             // rows 3, 6, 9: c.exe
  EXPECT_EQ(textOf[10], "未签名");
  EXPECT_EQ(textOf[11], "文件不存在");
  EXPECT_EQ(received.finished, std::vector<uint64_t>{g});
}

TEST_F(TwoPublisherThreadsTest, AThreadWhoseQueueRunsDryTakesTheOtherThreadsFiles) {
  // a.exe, c.exe and the last file are dealt to the first thread; while it is held on a.exe
  // the second checks its own files and then the first thread's others.
  signers.holdAt = "C:\\A\\a.exe";
  const uint64_t g = two.Start({Row(1, "C:\\A\\a.exe"), Row(2, "C:\\B\\b.exe"),
                                Row(3, "C:\\C\\c.exe"), Row(4, "C:\\Gone\\1.exe"),
                                Row(5, "C:\\Gone\\2.exe")});
  ASSERT_TRUE(signers.WaitForCall("C:\\C\\c.exe"));
  ASSERT_TRUE(signers.WaitForCall("C:\\Gone\\2.exe"));
  signers.Release();
  ASSERT_TRUE(received.WaitFinished(g));
  std::lock_guard<std::mutex> lock(received.mutex);
  EXPECT_EQ(received.results.size(), 5u);
  std::lock_guard<std::mutex> signersLock(signers.mutex);
  EXPECT_EQ(signers.calls.size(), 5u);
}

TEST_F(TwoPublisherThreadsTest, ASupersededJobChecksOnlyTheFilesInHand) {
  signers.holdAt = "C:\\A\\a.exe";
  signers.holdAlso = "C:\\B\\b.exe";
  std::vector<PublisherRow> rows;
  for (int id = 1; id <= 6; ++id)
    rows.push_back(Row(id, "C:\\Old\\" + std::to_string(id) + ".exe"));
  rows[0] = Row(1, "C:\\A\\a.exe");
  rows[1] = Row(2, "C:\\B\\b.exe");
  const uint64_t first = two.Start(rows);
  ASSERT_TRUE(signers.WaitForCall("C:\\A\\a.exe"));
  ASSERT_TRUE(signers.WaitForCall("C:\\B\\b.exe"));
  const uint64_t second = two.Start({Row(7, "C:\\C\\c.exe")});
  EXPECT_FALSE(two.IsCurrent(first));
  signers.Release();
  ASSERT_TRUE(received.WaitFinished(second));
  std::lock_guard<std::mutex> lock(received.mutex);
  // The two files in hand finish; none of the old job's other four is checked, nothing of it
  // is delivered, and only the new job reports its end.
  std::vector<std::string> calls;
  {
    std::lock_guard<std::mutex> signersLock(signers.mutex);
    calls = signers.calls;
  }
  std::sort(calls.begin(), calls.end());
  EXPECT_EQ(calls, (std::vector<std::string>{"C:\\A\\a.exe", "C:\\B\\b.exe", "C:\\C\\c.exe"}));
  ASSERT_EQ(received.results.size(), 1u);
  EXPECT_EQ(received.results[0].first, second);
  EXPECT_EQ(received.finished, std::vector<uint64_t>{second});
}

}  // namespace
}  // namespace mt
