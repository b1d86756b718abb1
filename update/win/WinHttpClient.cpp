#include "update/win/WinHttpClient.h"

#include <windows.h>
#include <winhttp.h>

#include <string>
#include <vector>

#include "app/win/Handles.h"
#include "update/HttpUrl.h"

namespace mt {

namespace {

// Takes no built string, so that nothing runs between the failing call and GetLastError.
[[noreturn]] void Fail(const char* what) {
  const DWORD code = ::GetLastError();
  throw HttpError(std::string(what) + ": " + SystemErrorText(code) + " (" + std::to_string(code) +
                  ")");
}

class WinHttpClient : public HttpClient {
 public:
  void SetUserAgent(const std::string& userAgent) override {
    userAgent_ = Widen(userAgent);
    session_.reset();
  }
  void SetFollowRedirects(bool follow) override { follow_ = follow; }
  void SetWorkHandler(WorkHandler handler) override { work_ = std::move(handler); }

  std::string GetText(const std::string& url) override {
    std::string body;
    Request(L"GET", url, &body);
    return body;
  }
  void Head(const std::string& url) override { Request(L"HEAD", url, nullptr); }
  int32_t ResponseContentLength() const override { return length_; }
  void Get(const std::string& url, std::string& stream) override { Request(L"GET", url, &stream); }

 private:
  HINTERNET Session() {
    if (session_) return session_.get();
    // The system's proxy settings; older systems lack the automatic kind.
    HINTERNET s = ::WinHttpOpen(userAgent_.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (!s) {
      s = ::WinHttpOpen(userAgent_.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                        WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    }
    if (!s) Fail("WinHttpOpen");
    session_.reset(s);
    return s;
  }

  void Request(const wchar_t* verb, const std::string& url, std::string* body) {
    length_ = -1;
    // Scheme, host and port come from the origin; the path and query go out as the URL's own
    // bytes, already escaped into ASCII, so neither the UTF-16 API nor WinHTTP re-encodes them.
    const HttpUrlParts split = SplitHttpUrl(url);
    const std::wstring origin = Widen(split.origin);
    const std::wstring object = Widen(split.target);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    if (origin.empty() ||
        !::WinHttpCrackUrl(origin.c_str(), static_cast<DWORD>(origin.size()), 0, &parts)) {
      Fail("bad URL");
    }
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) {
      throw HttpError("not an HTTP URL: " + url);
    }
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    if (host.empty() || object.empty()) throw HttpError("bad URL: " + url);

    UniqueInternet connection(::WinHttpConnect(Session(), host.c_str(), parts.nPort, 0));
    if (!connection) Fail("WinHttpConnect");
    UniqueInternet request(::WinHttpOpenRequest(
        connection.get(), verb, object.c_str(), nullptr, WINHTTP_NO_REFERER,
        WINHTTP_DEFAULT_ACCEPT_TYPES,
        WINHTTP_FLAG_ESCAPE_DISABLE | WINHTTP_FLAG_ESCAPE_DISABLE_QUERY |
            (parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0)));
    if (!request) Fail("WinHttpOpenRequest");

    // Following keeps WinHTTP's default refusal of an HTTPS-to-HTTP hop.
    DWORD policy = follow_ ? WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP
                           : WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    if (!::WinHttpSetOption(request.get(), WINHTTP_OPTION_REDIRECT_POLICY, &policy,
                            sizeof policy)) {
      Fail("redirect policy");
    }
    if (follow_) {
      DWORD limit = kMaxRedirects;
      if (!::WinHttpSetOption(request.get(), WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &limit,
                              sizeof limit)) {
        Fail("redirect limit");
      }
    }
    if (!::WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                              WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
      Fail("sending the request");
    }
    if (!::WinHttpReceiveResponse(request.get(), nullptr)) Fail("receiving the answer");

    DWORD status = 0, size = sizeof status;
    if (!::WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, &status, &size,
                               WINHTTP_NO_HEADER_INDEX)) {
      Fail("reading the status");
    }
    length_ = QueryContentLength(request.get());
    if (status >= 300 && status < 400) {
      throw HttpError("redirect not followed (" + std::to_string(status) + ")",
                      static_cast<int>(status));
    }
    if (status < 200 || status >= 300) {
      throw HttpError("HTTP status " + std::to_string(status), static_cast<int>(status));
    }
    if (body) ReadBody(request.get(), *body);
  }

  static int32_t QueryContentLength(HINTERNET request) {
    wchar_t text[32];
    DWORD size = sizeof text;
    if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX,
                               text, &size, WINHTTP_NO_HEADER_INDEX)) {
      return -1;
    }
    long long value = 0;
    const wchar_t* p = text;
    while (*p == L' ') ++p;
    if (*p < L'0' || *p > L'9') return -1;
    for (; *p >= L'0' && *p <= L'9'; ++p) {
      value = value * 10 + (*p - L'0');
      if (value > 0x7FFFFFFFLL) return -1;  // beyond a signed 32-bit length
    }
    return static_cast<int32_t>(value);
  }

  void ReadBody(HINTERNET request, std::string& out) {
    int64_t received = 0;
    std::vector<char> buffer(64 * 1024);
    for (;;) {
      DWORD got = 0;
      if (!::WinHttpReadData(request, buffer.data(), static_cast<DWORD>(buffer.size()), &got)) {
        Fail("reading the body");
      }
      if (got == 0) break;
      out.append(buffer.data(), got);
      received += got;
      if (work_) work_(WorkMode::Read, received);
    }
    // A connection that closed before the announced length arrived is a failure.
    if (length_ >= 0 && received < length_) {
      throw HttpError("body cut short: " + std::to_string(received) + " of " +
                      std::to_string(length_) + " bytes");
    }
  }

  // COM for the client's whole life on its thread, around every handle below (the first
  // member is made first and goes last); a thread already in another model keeps its own.
  const ComScope com_;
  std::wstring userAgent_;
  bool follow_ = false;
  WorkHandler work_;
  int32_t length_ = -1;
  UniqueInternet session_;
};

}  // namespace

std::unique_ptr<HttpClient> WinHttpService::CreateClient() {
  return std::make_unique<WinHttpClient>();
}

}  // namespace mt
