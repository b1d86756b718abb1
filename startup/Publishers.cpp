#include "startup/Publishers.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <exception>
#include <optional>
#include <unordered_map>

#include "app/Text.h"

namespace mt {

namespace {}  // namespace

std::string PublisherText(const FileSigner& signer) {
  switch (signer.kind) {
    case FileSigner::Kind::kSigned:
      return signer.name.empty() ? std::string(kPublisherUnsigned) : signer.name;
    case FileSigner::Kind::kMissing: return kPublisherMissing;
    case FileSigner::Kind::kUnsigned: break;
  }
  return kPublisherUnsigned;
}

bool IsMicrosoftPublisher(const std::string& text) {
  const std::string word = "Microsoft";
  const std::string name = TrimControl(text);
  if (name.size() < word.size() || !EqualsNoCase(name.substr(0, word.size()), word)) return false;
  // The whole first word: "Microsoft" alone, or followed by a blank or a comma.
  if (name.size() == word.size()) return true;
  const char next = name[word.size()];
  return next == ' ' || next == ',';
}

bool IsSuspectPublisher(const std::string& text) {
  return text == kPublisherUnsigned || text == kPublisherMissing;
}

std::string ProgramFileOf(const StartupRow& row, const ProgramLookup& lookup,
                          const ShortcutTarget& shortcutTarget) {
  if (!IsFolderSource(row.source)) return ProgramOfCommand(row.location, lookup).path;
  const std::string lnk = TrimControl(row.location);
  if (lnk.empty()) return std::string();
  // A shortcut names its program; any other file in the folder is opened itself.
  if (shortcutTarget && EndsWithNoCase(lnk, ".lnk")) {
    std::optional<std::string> target;
    try {
      target = shortcutTarget(lnk);
    } catch (const std::exception&) {
    }
    // A shortcut's target may carry %VAR% (and quotes, when written by hand).
    if (target && !TrimControl(*target).empty()) return ProgramOfCommand(*target, lookup).path;
  }
  return lnk;
}

// What the jobs of one showing of the list found out: the file of each row (by its kind and
// location) and the column's text for each file checked (by its path in lower case). A job
// started with `keepFound` goes on from the one it supersedes.
struct PublisherWorker::Found {
  std::unordered_map<std::string, std::string> fileOf;
  std::unordered_map<std::string, std::string> textOf;
};

struct PublisherWorker::Job {
  uint64_t generation = 0;
  std::shared_ptr<Found> found;
  std::vector<PublisherRow> rows;
  // Finding the rows' files, shared by the threads (each takes every count-th row).
  std::vector<std::optional<std::string>> fileOfRow;  // none: the row is left without a text
  std::vector<bool> preparing;                        // which threads have taken their rows
  size_t preparers = 0;                               // threads not done with their rows
  bool checking = false;                              // the files are dealt: checks run
  std::vector<std::string> files;       // each file once, in row order of its first row
  std::vector<std::vector<int>> idsOf;  // the rows that start each file
  std::vector<bool> taken;              // which threads have taken their share
  // Each thread's own queue of files (indices), dealt in turn; a thread whose queue is empty
  // takes from the back of the longest other one, so a share of slow files is not left to
  // one thread.
  std::vector<std::deque<size_t>> queues;
  size_t running = 0;  // threads not done with their share
};

namespace {

// The key a row's file is kept under: a folder row's location is a shortcut, any other's a
// command line, and the two are found differently.
std::string RowKey(const StartupRow& row) {
  return (IsFolderSource(row.source) ? "F|" : "C|") + row.location;
}

}  // namespace

PublisherWorker::PublisherWorker(SignerSource& signers, ProgramLookup lookup,
                                 ShortcutTarget shortcutTarget, Deliver deliver, Finished finished,
                                 std::function<void()> started, size_t threads)
    : signers_(signers),
      lookup_(std::move(lookup)),
      shortcutTarget_(std::move(shortcutTarget)),
      deliver_(std::move(deliver)),
      finished_(std::move(finished)),
      started_(std::move(started)) {
  const size_t count = std::max<size_t>(threads, 1);
  threads_.reserve(count);
  try {
    for (size_t i = 0; i < count; ++i) threads_.emplace_back([this, i] { Run(i); });
  } catch (...) {
    if (threads_.empty()) throw;  // fewer threads still fill the column
  }
  std::lock_guard<Mutex> lock(mutex_);
  count_ = threads_.size();
}

PublisherWorker::~PublisherWorker() {
  {
    std::lock_guard<Mutex> lock(mutex_);
    quit_ = true;
    ++generation_;
    job_.reset();
  }
  wake_.notify_all();
  for (Worker& thread : threads_) thread.Join();
}

uint64_t PublisherWorker::Start(std::vector<PublisherRow> rows, bool keepFound) {
  uint64_t generation;
  {
    std::lock_guard<Mutex> lock(mutex_);
    generation = ++generation_;
    auto job = std::make_shared<Job>();
    job->generation = generation;
    job->found = keepFound && found_ ? found_ : std::make_shared<Found>();
    found_ = job->found;
    job->fileOfRow.resize(rows.size());
    job->rows = std::move(rows);
    job->preparing.assign(count_, false);
    job->preparers = count_;
    job_ = job;
  }
  wake_.notify_all();
  return generation;
}

void PublisherWorker::Cancel() {
  std::lock_guard<Mutex> lock(mutex_);
  ++generation_;
  job_.reset();
}

bool PublisherWorker::IsCurrent(uint64_t generation) {
  std::lock_guard<Mutex> lock(mutex_);
  return generation == generation_;
}

bool PublisherWorker::Wanted(uint64_t generation) {
  std::lock_guard<Mutex> lock(mutex_);
  return !quit_ && generation == generation_;
}

void PublisherWorker::HandOver(uint64_t generation, const std::function<bool()>& offer) {
  for (int pauseMs = 5; Wanted(generation); pauseMs = std::min(pauseMs * 2, 200)) {
    if (offer()) return;
    std::unique_lock<Mutex> lock(mutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(pauseMs),
                   [&] { return quit_ || generation != generation_; });
  }
}

void PublisherWorker::Run(size_t index) {
  if (started_) started_();
  for (;;) {
    std::shared_ptr<Job> job;
    bool prepare = false;
    {
      std::unique_lock<Mutex> lock(mutex_);
      wake_.wait(lock, [&] {
        return quit_ ||
               (job_ && (!job_->preparing[index] || (job_->checking && !job_->taken[index])));
      });
      if (quit_) return;
      job = job_;
      prepare = !job->preparing[index];
      if (prepare) job->preparing[index] = true;
      else job->taken[index] = true;
    }
    if (prepare) Prepare(index, *job);
    else Check(index, *job);
  }
}

void PublisherWorker::Prepare(size_t index, Job& job) {
  const uint64_t generation = job.generation;
  for (size_t i = index; i < job.rows.size(); i += count_) {
    if (!Wanted(generation)) break;
    const StartupRow& row = job.rows[i].row;
    const std::string key = RowKey(row);
    {
      std::lock_guard<Mutex> lock(mutex_);
      auto it = job.found->fileOf.find(key);
      if (it != job.found->fileOf.end()) {
        job.fileOfRow[i] = it->second;
        continue;
      }
    }
    try {
      std::string path = ProgramFileOf(row, lookup_, shortcutTarget_);
      std::lock_guard<Mutex> lock(mutex_);
      job.found->fileOf.emplace(key, path);
      job.fileOfRow[i] = std::move(path);
    } catch (const std::exception&) {
      // Background work never reports; the row keeps an empty column.
    }
  }
  {
    std::lock_guard<Mutex> lock(mutex_);
    if (--job.preparers > 0 || quit_ || generation != generation_) return;
    // The last thread deals the files: the distinct ones in the order their first rows come
    // (letter case does not make another file on Windows), in turn to the threads' queues.
    std::unordered_map<std::string, size_t> indexOf;
    for (size_t i = 0; i < job.rows.size(); ++i) {
      if (!job.fileOfRow[i]) continue;
      const std::string& path = *job.fileOfRow[i];
      auto [it, added] = indexOf.emplace(LowerAscii(path), job.files.size());
      if (added) {
        job.files.push_back(path);
        job.idsOf.emplace_back();
      }
      job.idsOf[it->second].push_back(job.rows[i].id);
    }
    job.taken.assign(count_, false);
    job.running = count_;
    job.queues.assign(count_, {});
    for (size_t i = 0; i < job.files.size(); ++i) job.queues[i % count_].push_back(i);
    job.checking = true;
  }
  wake_.notify_all();
}

void PublisherWorker::Check(size_t index, Job& job) {
  const uint64_t generation = job.generation;
  try {
    for (;;) {
      size_t i = 0;
      std::optional<std::string> known;
      {
        std::lock_guard<Mutex> lock(mutex_);
        if (quit_ || generation != generation_) break;
        std::deque<size_t>& own = job.queues[index];
        if (!own.empty()) {
          i = own.front();
          own.pop_front();
        } else {
          std::deque<size_t>* longest = nullptr;
          for (std::deque<size_t>& other : job.queues)
            if (!other.empty() && (!longest || other.size() > longest->size())) longest = &other;
          if (!longest) break;
          i = longest->back();
          longest->pop_back();
        }
        auto it = job.found->textOf.find(LowerAscii(job.files[i]));
        if (it != job.found->textOf.end()) known = it->second;
      }
      if (!known) {
        const FileSigner signer = job.files[i].empty() ? FileSigner{FileSigner::Kind::kMissing, {}}
                                                       : signers_.SignerOf(job.files[i]);
        known = PublisherText(signer);
        std::lock_guard<Mutex> lock(mutex_);
        job.found->textOf.emplace(LowerAscii(job.files[i]), *known);
      }
      const PublisherResult result{std::move(job.idsOf[i]), *known};
      HandOver(generation, [&] { return deliver_(generation, result); });
    }
  } catch (const std::exception&) {
    // Background work never reports; the rows not reached keep an empty column.
  }
  bool last;
  {
    std::lock_guard<Mutex> lock(mutex_);
    last = --job.running == 0;
  }
  if (last && finished_) HandOver(generation, [&] { return finished_(generation); });
}

}  // namespace mt
