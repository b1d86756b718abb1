#include "update/jcsj.h"

namespace mt {

UpdateRecord gUpdateRecord;
Trjsjhread* rjsjhread = nullptr;

Trjsjhread::Trjsjhread(bool createSuspended, HttpService& http, std::string url, Deliver deliver)
    : TThread(createSuspended), http_(http), url_(std::move(url)), deliver_(std::move(deliver)) {}

std::string Trjsjhread::FetchPage(const std::string& url) {
  std::unique_ptr<HttpClient> client = http_.CreateClient();
  client->SetUserAgent(kUpdateUserAgent);
  return NormalisePage(client->GetText(url));
}

void Trjsjhread::Execute() {
  const std::string page = FetchPage(url_);
  std::optional<UpdateRecord> record = ParseUpdateRecord(page);
  if (!record) return;
  deliver_(*record);
}

Trjsjhread::Deliver DeliverOnUiThread(std::function<Handed(std::function<void()>)> post,
                                      std::function<void(const UpdateRecord&)> onUi) {
  return [post = std::move(post), onUi = std::move(onUi)](const UpdateRecord& record) {
    HandOverUntilTaken(post, [onUi, record] { onUi(record); });
  };
}

}  // namespace mt
