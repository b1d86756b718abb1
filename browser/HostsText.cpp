#include "browser/HostsText.h"

#include <cstdint>
#include <unordered_map>

#include "app/Text.h"

namespace mt {

namespace {

// The sites whose redirection takes the user's searches, browser, updates or protection
// elsewhere. A name matches an entry itself or any name below it.
const std::unordered_map<std::string, const char*>& WellKnownSites() {
  static const char* const kSearch = "搜索引擎";
  static const char* const kBrowser = "浏览器";
  static const char* const kUpdate = "系统更新";
  static const char* const kSecurity = "安全软件";
  static const std::unordered_map<std::string, const char*> sites = {
      // Search engines.
      {"baidu.com", kSearch},
      {"bing.com", kSearch},
      {"bing.net", kSearch},
      {"google.com", kSearch},
      {"google.com.hk", kSearch},
      {"google.cn", kSearch},
      {"sogou.com", kSearch},
      {"so.com", kSearch},
      {"haosou.com", kSearch},
      {"sm.cn", kSearch},
      {"yahoo.com", kSearch},
      {"yandex.com", kSearch},
      {"yandex.ru", kSearch},
      {"duckduckgo.com", kSearch},
      // Browsers, their start pages and their updates.
      {"msn.com", kBrowser},
      {"msn.cn", kBrowser},
      {"microsoftedge.com", kBrowser},
      {"edge.microsoft.com", kBrowser},
      {"chrome.com", kBrowser},
      {"googleapis.com", kBrowser},
      {"gvt1.com", kBrowser},
      {"mozilla.org", kBrowser},
      {"mozilla.net", kBrowser},
      {"firefox.com", kBrowser},
      {"firefox.com.cn", kBrowser},
      {"opera.com", kBrowser},
      {"brave.com", kBrowser},
      {"browser.360.cn", kBrowser},
      {"se.360.cn", kBrowser},
      {"browser.qq.com", kBrowser},
      // The system's updates and activation.
      {"microsoft.com", kUpdate},
      {"windowsupdate.com", kUpdate},
      {"windows.com", kUpdate},
      {"live.com", kUpdate},
      {"msftncsi.com", kUpdate},
      {"msftconnecttest.com", kUpdate},
      // Security vendors.
      {"360.cn", kSecurity},
      {"360.com", kSecurity},
      {"360safe.com", kSecurity},
      {"qihoo.net", kSecurity},
      {"huorong.cn", kSecurity},
      {"duba.net", kSecurity},
      {"ijinshan.com", kSecurity},
      {"rising.com.cn", kSecurity},
      {"guanjia.qq.com", kSecurity},
      {"pcmgr.qq.com", kSecurity},
      {"kaspersky.com", kSecurity},
      {"kaspersky.com.cn", kSecurity},
      {"kaspersky-labs.com", kSecurity},
      {"eset.com", kSecurity},
      {"avast.com", kSecurity},
      {"avg.com", kSecurity},
      {"avira.com", kSecurity},
      {"bitdefender.com", kSecurity},
      {"mcafee.com", kSecurity},
      {"norton.com", kSecurity},
      {"symantec.com", kSecurity},
      {"trendmicro.com", kSecurity},
      {"sophos.com", kSecurity},
      {"malwarebytes.com", kSecurity},
      {"f-secure.com", kSecurity},
      {"drweb.com", kSecurity},
      {"virustotal.com", kSecurity},
  };
  return sites;
}

bool Blank(uint32_t unit) {
  return unit == ' ' || unit == '\t' || unit == '\r' || unit == '\0' || unit == '\f' ||
         unit == '\v';
}

bool Ipv4(const std::string& s, uint8_t (*out)[4] = nullptr) {
  const std::vector<std::string> parts = Split(s, '.');
  if (parts.size() != 4) return false;
  for (size_t i = 0; i < 4; ++i) {
    const std::string& p = parts[i];
    if (p.empty() || p.size() > 3) return false;
    int n = 0;
    for (char c : p) {
      if (c < '0' || c > '9') return false;
      n = n * 10 + (c - '0');
    }
    if (n > 255) return false;
    if (out) (*out)[i] = static_cast<uint8_t>(n);
  }
  return true;
}

// The eight groups of an IPv6 address ("::" expanded, an IPv4 tail taken as two groups, a
// "%zone" left off); false when `s` is not one.
bool Ipv6(std::string s, uint16_t (&groups)[8]) {
  const size_t zone = s.find('%');
  if (zone != std::string::npos) s.resize(zone);
  if (s.find(':') == std::string::npos) return false;
  auto parse = [](const std::string& part, std::vector<uint16_t>& out) {
    if (part.empty()) return true;
    const std::vector<std::string> fields = Split(part, ':');
    for (size_t i = 0; i < fields.size(); ++i) {
      const std::string& f = fields[i];
      uint8_t v4[4];
      if (i + 1 == fields.size() && f.find('.') != std::string::npos) {
        if (!Ipv4(f, &v4)) return false;
        out.push_back(static_cast<uint16_t>(v4[0] << 8 | v4[1]));
        out.push_back(static_cast<uint16_t>(v4[2] << 8 | v4[3]));
        continue;
      }
      if (f.empty() || f.size() > 4) return false;
      uint16_t n = 0;
      for (char c : f) {
        int d = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
        if (d < 0) return false;
        n = static_cast<uint16_t>(n << 4 | d);
      }
      out.push_back(n);
    }
    return true;
  };
  std::vector<uint16_t> head, tail;
  const size_t gap = s.find("::");
  if (gap == std::string::npos) {
    if (!parse(s, head) || head.size() != 8) return false;
  } else {
    if (s.find("::", gap + 1) != std::string::npos) return false;
    if (!parse(s.substr(0, gap), head) || !parse(s.substr(gap + 2), tail)) return false;
    if (head.size() + tail.size() > 7) return false;
  }
  for (uint16_t& g : groups) g = 0;
  for (size_t i = 0; i < head.size(); ++i) groups[i] = head[i];
  for (size_t i = 0; i < tail.size(); ++i) groups[8 - tail.size() + i] = tail[i];
  return true;
}

bool IsAddress(const std::string& s) {
  uint16_t groups[8];
  return Ipv4(s) || Ipv6(s, groups);
}

}  // namespace

HostsText ParseHosts(const std::string& bytes) {
  HostsText text;
  const size_t size = bytes.size();
  auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  size_t start = 0, unitSize = 1;
  if (size >= 2 && byte(0) == 0xFF && byte(1) == 0xFE) {
    text.encoding = HostsEncoding::Utf16Le;
    start = unitSize = 2;
  } else if (size >= 2 && byte(0) == 0xFE && byte(1) == 0xFF) {
    text.encoding = HostsEncoding::Utf16Be;
    start = unitSize = 2;
  } else if (size >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) {
    text.encoding = HostsEncoding::Utf8Bom;
    start = 3;
  } else if (size >= 2 && byte(0) != 0 && byte(1) == 0) {
    // UTF-16 LE written without its mark: an ASCII first character followed by a zero.
    text.encoding = HostsEncoding::Utf16Le;
    unitSize = 2;
  }
  const bool bigEndian = text.encoding == HostsEncoding::Utf16Be;
  // A last odd byte of a UTF-16 file is no character: it stays with the last line, unread.
  const size_t whole = size - (size - start) % unitSize;
  auto unit = [&](size_t i) -> uint32_t {
    if (unitSize == 1) return byte(i);
    return bigEndian ? (byte(i) << 8 | byte(i + 1)) : (byte(i) | byte(i + 1) << 8);
  };

  size_t number = 0;
  for (size_t pos = start; pos < size;) {
    ++number;
    HostsEntry e;
    e.number = number;
    e.begin = pos;
    size_t eol = pos;
    while (eol < whole && unit(eol) != '\n') eol += unitSize;
    if (eol < whole) {
      e.end = eol;
      e.next = eol + unitSize;
      if (e.end > e.begin && unit(e.end - unitSize) == '\r') e.end -= unitSize;
    } else {
      e.end = e.next = size;
    }
    pos = e.next;

    // The fields: the address, then the names, up to a comment.
    const size_t stop = eol < whole ? eol : whole;
    bool first = true;
    for (size_t i = e.begin; i < stop;) {
      const uint32_t u = unit(i);
      if (u == '#') break;
      if (Blank(u)) {
        i += unitSize;
        continue;
      }
      HostsName field;
      field.begin = i;
      while (i < stop && !Blank(unit(i)) && unit(i) != '#') {
        const uint32_t c = unit(i);
        field.text += c < 0x80 ? static_cast<char>(c) : '?';
        i += unitSize;
      }
      field.end = i;
      if (first) {
        if (!IsAddress(field.text)) break;
        e.address = field.text;
        e.addressEnd = field.end;
        first = false;
      } else {
        e.names.push_back(std::move(field));
      }
    }
    if (!e.address.empty() && !e.names.empty()) text.entries.push_back(std::move(e));
  }
  return text;
}

const char* WellKnownGroup(const std::string& name) {
  std::string n = LowerAscii(name);
  if (!n.empty() && n.back() == '.') n.pop_back();
  if (n.empty()) return nullptr;
  const auto& sites = WellKnownSites();
  for (size_t from = 0;;) {
    auto it = sites.find(n.substr(from));
    if (it != sites.end()) return it->second;
    const size_t dot = n.find('.', from);
    if (dot == std::string::npos) return nullptr;
    from = dot + 1;
  }
}

bool BlockingAddress(const std::string& address) {
  uint8_t v4[4];
  if (Ipv4(address, &v4))
    return v4[0] == 127 || (v4[0] == 0 && v4[1] == 0 && v4[2] == 0 && v4[3] == 0);
  uint16_t g[8];
  if (!Ipv6(address, g)) return false;
  for (int i = 0; i < 7; ++i)
    if (g[i] != 0) return false;
  return g[7] == 0 || g[7] == 1;
}

std::string WithoutNames(const std::string& bytes, const HostsEntry& e,
                         const std::vector<std::string>& names) {
  auto listed = [&](const HostsName& n) {
    for (const std::string& want : names)
      if (EqualsNoCase(want, n.text)) return true;
    return false;
  };
  std::vector<std::pair<size_t, size_t>> cuts;
  size_t previousEnd = e.addressEnd;
  for (const HostsName& n : e.names) {
    if (listed(n)) cuts.emplace_back(previousEnd, n.end);
    previousEnd = n.end;
  }
  if (cuts.empty()) return bytes;
  if (cuts.size() == e.names.size()) cuts = {{e.begin, e.next}};
  std::string out;
  out.reserve(bytes.size());
  size_t from = 0;
  for (const auto& [begin, end] : cuts) {
    out.append(bytes, from, begin - from);
    from = end;
  }
  out.append(bytes, from, std::string::npos);
  return out;
}

}  // namespace mt
