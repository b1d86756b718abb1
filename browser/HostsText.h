// The hosts file as text: its lines with the exact byte ranges they take in the file, whatever
// its encoding (ANSI or GBK, UTF-8 with or without a byte-order mark, UTF-16 LE or BE), and the
// lines that name a well-known search, browser, update or security site. Rewriting takes out
// byte ranges only, so every other byte (comments, CRLF and LF line ends, the encoding, a last
// line without an end) stays as it was.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace mt {

enum class HostsEncoding { Bytes, Utf8Bom, Utf16Le, Utf16Be };

// One name of an entry line, with the bytes its text takes in the file.
struct HostsName {
  std::string text;  // ASCII, as written; any other character stands as "?"
  size_t begin = 0, end = 0;
};

// A line with an address and at least one name.
struct HostsEntry {
  size_t number = 0;  // of the line, from 1
  size_t begin = 0;   // the line's first byte
  size_t end = 0;     // just past its content, before its line end
  size_t next = 0;    // just past its line end (the next line's first byte)
  std::string address;
  size_t addressEnd = 0;  // just past the address's text
  std::vector<HostsName> names;
};

struct HostsText {
  HostsEncoding encoding = HostsEncoding::Bytes;
  std::vector<HostsEntry> entries;
};

// Splits `bytes` into lines ("\n" ends one, a "\r" before it belongs to the line end) and
// reads each line's address and names; "#" starts a comment. A NUL is taken as a blank, so
// nothing written after it hides from the list. Lines whose first field is not an IPv4 or
// IPv6 address are not entries (the system ignores them too).
HostsText ParseHosts(const std::string& bytes);

// The site a host name belongs to when it is a well-known one ("x.google.com" belongs to
// "google.com", "notgoogle.com" to none): the group it is shown under ("搜索引擎",
// "浏览器", "系统更新", "安全软件"); null for any other name.
const char* WellKnownGroup(const std::string& name);

// True for an address that sends a name nowhere: 0.0.0.0, ::, the loopback 127.0.0.0/8
// and ::1. Such a line blocks the site (often the user's own doing) rather than redirecting it.
bool BlockingAddress(const std::string& address);

// `bytes` without the entry `e`: the whole line with its line end when every name on it is
// in `names`; otherwise only those names, each with the blanks before it, so the line keeps
// its other names (the other names may be the user's or another program's own entries, which
// go on working).
std::string WithoutNames(const std::string& bytes, const HostsEntry& e,
                         const std::vector<std::string>& names);

}  // namespace mt
