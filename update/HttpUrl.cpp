#include "update/HttpUrl.h"

namespace mt {

namespace {

bool IsHexDigit(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Bytes that may stand in a path or query as they are (RFC 3986 pchar, "/" and "?").
bool KeptAsIs(unsigned char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
  switch (c) {
    case '-':
    case '.':
    case '_':
    case '~':
    case '!':
    case '$':
    case '&':
    case '\'':
    case '(':
    case ')':
    case '*':
    case '+':
    case ',':
    case ';':
    case '=':
    case ':':
    case '@':
    case '/':
    case '?': return true;
    default: return false;
  }
}

}  // namespace

std::string EscapeRequestTarget(const std::string& pathAndQuery) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(pathAndQuery.size());
  const size_t n = pathAndQuery.size();
  for (size_t i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(pathAndQuery[i]);
    const bool escapeStarts = c == '%' && i + 2 < n &&
                              IsHexDigit(static_cast<unsigned char>(pathAndQuery[i + 1])) &&
                              IsHexDigit(static_cast<unsigned char>(pathAndQuery[i + 2]));
    if (KeptAsIs(c) || escapeStarts) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

HttpUrlParts SplitHttpUrl(const std::string& url) {
  HttpUrlParts parts;
  const size_t scheme = url.find("://");
  if (scheme == std::string::npos) {
    parts.origin = url;
    return parts;
  }
  const size_t rest = url.find_first_of("/?#", scheme + 3);
  if (rest == std::string::npos) {
    parts.origin = url;
    parts.target = "/";
    return parts;
  }
  parts.origin = url.substr(0, rest);
  std::string pathAndQuery = url.substr(rest, url.find('#', rest) - rest);
  if (pathAndQuery.empty() || pathAndQuery[0] != '/') pathAndQuery.insert(0, 1, '/');
  parts.target = EscapeRequestTarget(pathAndQuery);
  return parts;
}

}  // namespace mt
