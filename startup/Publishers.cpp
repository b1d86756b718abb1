#include "startup/Publishers.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <map>

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

PublisherWorker::PublisherWorker(SignerSource& signers, ProgramLookup lookup,
                                 ShortcutTarget shortcutTarget, Deliver deliver, Finished finished,
                                 std::function<void()> started)
    : signers_(signers),
      lookup_(std::move(lookup)),
      shortcutTarget_(std::move(shortcutTarget)),
      deliver_(std::move(deliver)),
      finished_(std::move(finished)),
      started_(std::move(started)) {
  thread_ = Worker([this] { Run(); });
}

PublisherWorker::~PublisherWorker() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
    ++generation_;
    pending_.reset();
  }
  wake_.notify_all();
  thread_.Join();
}

uint64_t PublisherWorker::Start(std::vector<PublisherRow> rows) {
  uint64_t generation;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    generation = ++generation_;
    pending_ = std::move(rows);
  }
  wake_.notify_all();
  return generation;
}

void PublisherWorker::Cancel() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++generation_;
  pending_.reset();
}

bool PublisherWorker::IsCurrent(uint64_t generation) {
  std::lock_guard<std::mutex> lock(mutex_);
  return generation == generation_;
}

bool PublisherWorker::Wanted(uint64_t generation) {
  std::lock_guard<std::mutex> lock(mutex_);
  return !quit_ && generation == generation_;
}

void PublisherWorker::HandOver(uint64_t generation, const std::function<bool()>& offer) {
  for (int pauseMs = 5; Wanted(generation); pauseMs = std::min(pauseMs * 2, 200)) {
    if (offer()) return;
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(pauseMs),
                   [&] { return quit_ || generation != generation_; });
  }
}

void PublisherWorker::Run() {
  if (started_) started_();
  for (;;) {
    std::vector<PublisherRow> rows;
    uint64_t generation;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return quit_ || pending_.has_value(); });
      if (quit_) return;
      rows = std::move(*pending_);
      pending_.reset();
      generation = generation_;
    }
    try {
      // The distinct files in the order their first rows come; letter case does not make
      // another file on Windows.
      std::vector<std::string> files;
      std::map<std::string, size_t> indexOf;
      std::vector<std::vector<int>> idsOf;
      for (const PublisherRow& r : rows) {
        if (!Wanted(generation)) break;
        const std::string path = ProgramFileOf(r.row, lookup_, shortcutTarget_);
        const std::string key = LowerAscii(path);
        auto [it, added] = indexOf.emplace(key, files.size());
        if (added) {
          files.push_back(path);
          idsOf.emplace_back();
        }
        idsOf[it->second].push_back(r.id);
      }
      for (size_t i = 0; i < files.size() && Wanted(generation); ++i) {
        const FileSigner signer = files[i].empty() ? FileSigner{FileSigner::Kind::kMissing, {}}
                                                   : signers_.SignerOf(files[i]);
        const PublisherResult result{std::move(idsOf[i]), PublisherText(signer)};
        HandOver(generation, [&] { return deliver_(generation, result); });
      }
    } catch (const std::exception&) {
      // Background work never reports; the rows not reached keep an empty column.
    }
    if (finished_) HandOver(generation, [&] { return finished_(generation); });
  }
}

}  // namespace mt
