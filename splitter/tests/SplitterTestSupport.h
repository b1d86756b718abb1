// Stand-ins for the splitter tests: a page view that records what the handlers did, and a
// file system wrapper that injects failures and watches how files are read and written.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <memory>
#include <string>
#include <vector>

#include "app/Error.h"
#include "app/Services.h"
#include "splitter/FileSplitter.h"

namespace mt::test {

class FakeSplitterView : public splitter::SplitterView {
 public:
  WindowRef Owner() override { return this; }
  std::string Caption() override { return caption; }
  void SetCaption(const std::string& c) override {
    caption = c;
    captions.push_back({c, splitEnabled, mergeEnabled});
    events.push_back(c);
  }
  std::string SourceText() override { return edit2; }
  void SetSourceText(const std::string& t) override { edit2 = t; }
  std::string PieceSizeText() override { return edit1; }
  void SetSplitEnabled(bool e) override {
    splitEnabled = e;
    events.push_back(e ? "Button3 on" : "Button3 off");
  }
  void SetMergeEnabled(bool e) override {
    mergeEnabled = e;
    events.push_back(e ? "Button5 on" : "Button5 off");
  }
  void SetSplitButtonText(const std::string& t) override { button3 = t; }
  void SetMergeButtonText(const std::string& t) override { button5 = t; }
  std::vector<std::string> ListRows() override { return rows; }
  void AppendListRow(const std::string& r) override { rows.push_back(r); }
  void Notice(const std::string& t) override { notices.push_back(t); }
  bool Ask(const std::string& t) override {
    questions.push_back(t);
    return answerYes;
  }
  bool RecoveryTicked() override { return recoveryTicked; }
  void SetTaskbarProgress(Taskbar state, int percent) override {
    taskbar.push_back(state == Taskbar::kNone    ? "none"
                      : state == Taskbar::kError ? "error"
                                                 : std::to_string(percent) + "%");
  }

  struct CaptionChange {
    std::string text;
    bool splitEnabled, mergeEnabled;  // button states when the caption was set
  };
  std::string caption = "Mirtak工具合集 v1.3";
  std::string edit2, edit1 = "1024";
  std::string button3 = "分割文件", button5 = "合并文件";
  bool splitEnabled = true, mergeEnabled = true;
  std::vector<std::string> rows, notices, questions;
  bool answerYes = false, recoveryTicked = false;
  std::vector<std::string> events;   // captions and button changes, in order
  std::vector<std::string> taskbar;  // "37%", "error", "none", in order
  std::vector<CaptionChange> captions;
};

// Passes everything to `inner`, and can: cut writes off after a byte budget (a full disk),
// make reads fail after some bytes, record the largest read/write asked for and the order in
// which files were opened.
class WatchingFileSystem : public FileSystem {
 public:
  explicit WatchingFileSystem(FileSystem& inner) : inner_(inner) {}
  std::unique_ptr<FileStream> OpenRead(const std::string& path) override;
  std::unique_ptr<FileStream> Create(const std::string& path) override;
  bool FileExists(const std::string& p) override { return inner_.FileExists(p); }
  bool DirectoryExists(const std::string& p) override { return inner_.DirectoryExists(p); }
  bool RemoveFile(const std::string& p) override { return Alive() && inner_.RemoveFile(p); }
  std::vector<FindEntry> Find(const std::string& f, const std::string& p) override {
    if (!Alive()) return {};
    return inner_.Find(f, p);
  }
  bool CreateDirectories(const std::string& p) override { return inner_.CreateDirectories(p); }
  void Rename(const std::string& from, const std::string& to) override {
    Step();
    inner_.Rename(from, to);
  }
  std::string FullPath(const std::string& p) override { return inner_.FullPath(p); }
  std::optional<FileIdentity> Identity(const std::string& p) override { return inner_.Identity(p); }

  // Called after every read with the bytes read so far from all files (a user pressing stop
  // at that moment, another program changing the source).
  std::function<void(uint64_t)> onRead;
  uint64_t totalRead = 0;
  uint64_t writeBudget = UINT64_MAX;     // bytes the "disk" still takes
  uint64_t readFailsAfter = UINT64_MAX;  // a read past this many bytes of a file throws
  size_t largestRead = 0, largestWrite = 0;
  // The process killed at a step: the open, create, read, write, rename or delete numbered
  // `killAtStep` (from 1) and everything after it does nothing (opens, creates, reads, writes
  // and renames throw, deletes and searches find nothing), as if the program had died there.
  uint64_t killAtStep = UINT64_MAX;
  uint64_t steps = 0;
  bool Alive() {
    std::lock_guard<std::recursive_mutex> hold(lock);
    return ++steps < killAtStep;
  }
  void Step() {
    if (!Alive()) throw AppError("killed");
  }
  std::vector<std::string> opened, created;
  // Held by every stream operation: a split writes its recovery piece on a thread of its own.
  std::recursive_mutex lock;

 private:
  FileSystem& inner_;
};

// Profile files on disk, as the platform's profile functions keep them ("[section]\r\nkey=value
// \r\n...", keys and sections in the order first written), so that a file written through the
// profile can be renamed and removed through the file system. Paths are those of
// PosixFileSystem.
class DiskProfile : public ProfileStore {
 public:
  std::string ReadString(const std::string& path, const std::string& section,
                         const std::string& key, const std::string& def) override;
  void WriteString(const std::string& path, const std::string& section, const std::string& key,
                   const std::string& value) override;
  // Writes to `path` fail from now on ("Unable to write to %s").
  void MakeReadOnly(const std::string& path) { readOnly_.push_back(path); }
  std::string FileText(const std::string& path) const;
  bool Exists(const std::string& path) const;
  // Asked before every write: false makes it throw, as if the process had died (a
  // WatchingFileSystem's Alive, so the profile's writes are steps too).
  std::function<bool()> alive;

 private:
  std::vector<std::string> readOnly_;
};

// A file system of virtual files: sources of any size made of zeros with a few marked bytes,
// and sinks that keep only their size and the positions of non-zero bytes. Lets the engine
// move more than 4 GiB without the disk.
class VirtualFileSystem : public FileSystem {
 public:
  struct File {
    uint64_t size = 0;
    std::map<uint64_t, unsigned char> marks;  // offset -> non-zero byte
  };
  std::map<std::string, File> files;

  std::unique_ptr<FileStream> OpenRead(const std::string& path) override;
  std::unique_ptr<FileStream> Create(const std::string& path) override;
  bool FileExists(const std::string& p) override { return files.count(p) != 0; }
  bool DirectoryExists(const std::string&) override { return true; }
  bool RemoveFile(const std::string& p) override { return files.erase(p) != 0; }
  std::vector<FindEntry> Find(const std::string&, const std::string&) override { return {}; }
  bool CreateDirectories(const std::string&) override { return true; }
  void Rename(const std::string& from, const std::string& to) override;
  std::string FullPath(const std::string& p) override { return p; }
  // Scripted identities: a path without one counts as a file this file system cannot tell.
  std::map<std::string, FileIdentity> identities;
  std::optional<FileIdentity> Identity(const std::string& p) override {
    auto it = identities.find(p);
    if (it == identities.end()) return std::nullopt;
    return it->second;
  }
};

// Runs the page's work: inline (the work runs inside Start, its posts wait in a queue until
// RunPosted) or, with `threaded`, on a real thread whose posts RunUntilIdle carries out on
// the test's thread, as the window's message loop would.
class TestWorkHost : public splitter::WorkHost {
 public:
  explicit TestWorkHost(bool threaded = false) : threaded_(threaded) {}
  ~TestWorkHost() override { Join(); }
  void Start(std::function<void()> work) override {
    Join();
    if (threaded_) thread_ = std::thread(std::move(work));
    else work();
  }
  void Post(std::function<void()> ui) override {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(ui));
    ready_.notify_all();
  }
  // Carries out the posts waiting now (and any they lead to).
  void RunPosted();
  // Carries out posts as they come until `work` is idle, then waits for the thread. `each`
  // runs after every post (a test's "user" acting while the work runs).
  void RunUntilIdle(const splitter::SplitterWork& work, const std::function<void()>& each = {});
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  bool threaded_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> queue_;
};

// Appends non-zero bytes of `data` (at absolute offset `at`) to `marks`.
void RecordMarks(const char* data, size_t n, uint64_t at, std::map<uint64_t, unsigned char>& marks);

// Deterministic bytes of any length (not all alike, so misplaced pieces show).
std::string PatternBytes(size_t n, unsigned seed = 1);

}  // namespace mt::test
