// The "发布者" column of the startup list: who signed the program each row starts. Checking a
// signature is slow, so the column is filled by a worker thread after the rows are shown: each
// program file once per refresh, the results handed back one file at a time, and a new refresh
// supersedes the work of the one before.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/Sync.h"
#include "app/Worker.h"
#include "startup/ProgramPath.h"
#include "startup/StartupItems.h"
#include "app/Signers.h"

namespace mt {

inline constexpr const char* kPublisherUnsigned = "未签名";
inline constexpr const char* kPublisherMissing = "文件不存在";
// The context-menu tick and its key in config.ini (section DS_config; "1" or "0").
inline constexpr const char* kHideMicrosoftText = "隐藏微软签名的项目";
inline constexpr const char* kKeyHideMicrosoft = "hidems";

// The column's text for what the platform said of the file.
std::string PublisherText(const FileSigner& signer);
// True when the column's text names Microsoft as the signer: the name's first word is
// "Microsoft" (any letter case), as in "Microsoft Windows", "Microsoft Corporation" and
// "Microsoft Windows Publisher". Names that merely contain the word, or glue it to another
// ("Microsoftware", "Not Microsoft"), are someone else; the two texts for no signer are never
// Microsoft.
bool IsMicrosoftPublisher(const std::string& text);
// True for the texts that mark a row to look at: no signer, or no file.
bool IsSuspectPublisher(const std::string& text);

// The file whose signer a row shows: the program of a registry or task row's command line, the
// target of a folder row's shortcut (its own file when the target cannot be read). Empty when
// the row names no program.
using ShortcutTarget = std::function<std::optional<std::string>(const std::string& lnk)>;
std::string ProgramFileOf(const StartupRow& row, const ProgramLookup& lookup,
                          const ShortcutTarget& shortcutTarget);

// A row of one refresh, as the worker gets it: an id that the page can find it by again.
struct PublisherRow {
  int id = 0;
  StartupRow row;
};
// One checked file: the rows that start it and the column's text for them.
struct PublisherResult {
  std::vector<int> ids;
  std::string text;
};

// The checking threads of the column. One job at a time; Start replaces the job (running or
// waiting) with a new one. The threads first find the rows' files (each thread every other
// row), then the files are dealt out in turn to the threads' own queues, each file once,
// checked in row order of the files' first rows; a thread whose queue runs dry takes from the
// back of another's. `deliver` runs on a checking thread with the job's generation and each
// result; it hands the result over to the UI thread, where the generation tells whether it
// still belongs to the rows on screen. It returns false when the receiver is busy: the result
// is offered again, after a pause, for as long as its job is the newest. Once a job is
// superseded, each thread checks at most the one file it is in the middle of.
class PublisherWorker {
 public:
  using Deliver = std::function<bool(uint64_t generation, const PublisherResult& result)>;
  // Called on the thread that ends a job last, when the job is still the newest (the same rule
  // for false).
  using Finished = std::function<bool(uint64_t generation)>;
  // Two threads: signature checks wait on the disk and the system's catalogs as much as they
  // compute, so two overlap well even on one core.
  static constexpr size_t kDefaultThreads = 2;
  // `started` runs first on each thread (to lower its priority, say).
  PublisherWorker(SignerSource& signers, ProgramLookup lookup, ShortcutTarget shortcutTarget,
                  Deliver deliver, Finished finished = nullptr,
                  std::function<void()> started = nullptr, size_t threads = kDefaultThreads);
  // Stops the job at the files being checked and waits for the threads.
  ~PublisherWorker();
  PublisherWorker(const PublisherWorker&) = delete;
  PublisherWorker& operator=(const PublisherWorker&) = delete;

  // Supersedes every earlier job; returns the new job's generation. With `keepFound` the new
  // job takes over what the jobs since the last one without it found: the file of each row
  // and each file's text. For the same list shown again moments later (the scheduled tasks
  // and services read in); a refresh the user asked for checks everything again.
  uint64_t Start(std::vector<PublisherRow> rows, bool keepFound = false);
  // Drops the job: nothing more is delivered for it.
  void Cancel();
  bool IsCurrent(uint64_t generation);

 private:
  struct Found;
  struct Job;
  void Run(size_t index);
  // Finds the files of the thread's share of the rows; the last thread done, when the job is
  // still the newest, deals the files to the threads.
  void Prepare(size_t index, Job& job);
  // Checks the thread's share of the job's files.
  void Check(size_t index, Job& job);
  bool Wanted(uint64_t generation);
  // Calls `offer` until it is taken or the job is superseded.
  void HandOver(uint64_t generation, const std::function<bool()>& offer);

  SignerSource& signers_;
  ProgramLookup lookup_;
  ShortcutTarget shortcutTarget_;
  Deliver deliver_;
  Finished finished_;
  std::function<void()> started_;
  Mutex mutex_;
  CondVar wake_;
  uint64_t generation_ = 0;       // of the newest job; a job runs while it is the newest
  std::shared_ptr<Job> job_;      // the newest job, its files being found or checked
  std::shared_ptr<Found> found_;  // what the newest job and those it went on from found
  bool quit_ = false;
  size_t count_ = 0;  // threads running
  std::vector<Worker> threads_;
};

}  // namespace mt
