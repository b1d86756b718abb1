// The update check: a worker thread that fetches the Update page, cuts the Update record out
// of it and hands the record to the UI thread. It touches no window.
#pragma once

#include <functional>
#include <string>

#include "app/UiGate.h"
#include "update/HttpClient.h"
#include "update/Thread.h"
#include "update/UpdateRecord.h"

namespace mt {

// The process-wide Update record. Written once, on the UI thread, by the hand-over of the
// check thread (just before Timer2 is armed); read by the Reminder decision and the
// reminder window.
extern UpdateRecord gUpdateRecord;

class Trjsjhread : public TThread {
 public:
  // Called on the check thread with the complete record; the receiver carries it over to
  // the UI thread (store it, then arm Timer2). Not called for a blank page or a failure.
  using Deliver = std::function<void(const UpdateRecord&)>;

  Trjsjhread(bool createSuspended, HttpService& http, std::string url, Deliver deliver);

  // One GET of `url` with the update's User-Agent, redirects refused; the body normalised
  // (cut at NUL, CR LF line ends). COM is initialised on this thread around the request.
  // Throws HttpError.
  std::string FetchPage(const std::string& url);
  static std::string ExtractField(const std::string& page, const std::string& tag) {
    return mt::ExtractField(page, tag);
  }

 protected:
  void Execute() override;

 private:
  HttpService& http_;
  std::string url_;
  Deliver deliver_;
};

// The check's hand-over: a Deliver that runs `onUi` with the record on the UI thread through
// `post`. A post the UI thread refuses for now (Busy) is made again until it is taken or the
// window is gone, so a found update is not lost to a full message queue.
Trjsjhread::Deliver DeliverOnUiThread(std::function<Handed(std::function<void()>)> post,
                                      std::function<void(const UpdateRecord&)> onUi);

// The last check thread started (kept for the life of the process, not used again).
extern Trjsjhread* rjsjhread;

}  // namespace mt
