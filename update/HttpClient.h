// What the online update needs of an HTTP client. The real one runs over WinHTTP
// (update/win/WinHttpClient.cpp); tests use scripted fakes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/Error.h"

namespace mt {

// The User-Agent of every request the update makes.
inline constexpr const char* kUpdateUserAgent =
    "Mozilla/4.0 (compatible; MSIE 6.0; MSIE 7.0; MSIE 8.0; MSIE 9.0; Maxthon)";
// Redirects followed in a row when following is on; one more is a failure.
inline constexpr int kMaxRedirects = 15;

// Any failure of a request: no connection, an error status, a refused or endless redirect,
// a body cut short.
class HttpError : public AppError {
 public:
  explicit HttpError(const std::string& message, int status = 0)
      : AppError(message), status_(status) {}
  int Status() const { return status_; }  // the HTTP status, 0 when none was received

 private:
  int status_;
};

enum class WorkMode { Read, Write };

class HttpClient {
 public:
  // (direction, bytes moved so far in the current transfer); called on the requesting thread.
  using WorkHandler = std::function<void(WorkMode, int64_t)>;

  virtual ~HttpClient() = default;
  // A new client sends no user agent of its own choosing, follows no redirect, has no work
  // handler.
  virtual void SetUserAgent(const std::string& userAgent) = 0;
  // On: redirects are followed, at most kMaxRedirects in a row. Off: a redirect is a failure.
  virtual void SetFollowRedirects(bool follow) = 0;
  virtual void SetWorkHandler(WorkHandler handler) = 0;

  // The whole body as raw bytes. Throws HttpError.
  virtual std::string GetText(const std::string& url) = 0;
  // Returns once the answer's headers are read. Throws HttpError.
  virtual void Head(const std::string& url) = 0;
  // Content-Length of the last answer, -1 when it had none (or one beyond 32 bits).
  virtual int32_t ResponseContentLength() const = 0;
  // Appends the whole body to `stream`. Throws HttpError.
  virtual void Get(const std::string& url, std::string& stream) = 0;
};

// Makes clients; one client per check or download, released when it is done.
class HttpService {
 public:
  virtual ~HttpService() = default;
  virtual std::unique_ptr<HttpClient> CreateClient() = 0;
};

}  // namespace mt
