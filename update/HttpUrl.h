// How an address taken from the Update page goes on the wire. The page's address is bytes
// (GBK in practice), never UTF-8 text, so it is not decoded: every byte that may not stand in
// a request target as it is travels as %XX of that very byte, and the server sees the page's
// bytes exactly.
#pragma once

#include <string>

namespace mt {

struct HttpUrlParts {
  std::string origin;  // "scheme://authority" as given; the whole text when it has no "://"
  std::string target;  // path and query in wire form (EscapeRequestTarget); "/" when empty
};

// Splits an absolute URL after its authority (at the first "/", "?" or "#" that follows
// "://"). The fragment ("#" and what follows) is not part of a request and is dropped.
HttpUrlParts SplitHttpUrl(const std::string& url);

// Path and query in wire form, printable ASCII only. Bytes kept as they are: letters, digits,
// "-._~", "!$&'()*+,;=", ":@/?" and a "%" that starts a %XX escape (the escape is left
// alone). Every other byte, including blanks, control bytes, each byte of 0x80 and above, and
// a "%" that starts no escape, becomes "%" and two upper-case hex digits.
std::string EscapeRequestTarget(const std::string& pathAndQuery);

}  // namespace mt
