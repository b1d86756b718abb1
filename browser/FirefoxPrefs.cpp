#include "browser/FirefoxPrefs.h"

#include <algorithm>

#include "app/Text.h"
#include "browser/ChromiumProfiles.h"
#include "browser/Hijack.h"

namespace mt {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v'; }
bool IsSpace(char c) { return IsBlank(c) || c == '\r' || c == '\n'; }
bool IsIdentStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$';
}
bool IsIdent(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Skips a comment starting at `i`; true (with `i` after it) when there was one.
bool SkipComment(const std::string& t, size_t& i) {
  if (t[i] == '#' || (t[i] == '/' && i + 1 < t.size() && t[i + 1] == '/')) {
    while (i < t.size() && t[i] != '\n' && t[i] != '\r') ++i;
    return true;
  }
  if (t[i] == '/' && i + 1 < t.size() && t[i + 1] == '*') {
    const size_t close = t.find("*/", i + 2);
    i = close == std::string::npos ? t.size() : close + 2;
    return true;
  }
  return false;
}

void SkipSpaceAndComments(const std::string& t, size_t& i) {
  while (i < t.size()) {
    if (IsSpace(t[i])) ++i;
    else if (!SkipComment(t, i)) return;
  }
}

// Reads the string literal at `i` (quoted with " or '), its escapes resolved into `out`. False
// when it is not closed on its line.
bool ReadString(const std::string& t, size_t& i, std::string* out) {
  const char quote = t[i];
  size_t p = i + 1;
  std::string s;
  while (p < t.size() && t[p] != quote) {
    const char c = t[p];
    if (c == '\n' || c == '\r') return false;
    if (c != '\\') {
      s += c;
      ++p;
      continue;
    }
    if (++p >= t.size()) return false;
    const char e = t[p++];
    switch (e) {
      case 'n': s += '\n'; break;
      case 'r': s += '\r'; break;
      case 't': s += '\t'; break;
      case 'x':
        if (p + 2 <= t.size() && HexDigit(t[p]) >= 0 && HexDigit(t[p + 1]) >= 0) {
          AppendUtf8(s, static_cast<char32_t>(HexDigit(t[p]) * 16 + HexDigit(t[p + 1])));
          p += 2;
        } else {
          s += 'x';
        }
        break;
      case 'u': {
        char32_t code = 0;
        bool ok = p + 4 <= t.size();
        for (size_t k = 0; ok && k < 4; ++k) {
          const int d = HexDigit(t[p + k]);
          ok = d >= 0;
          code = code * 16 + static_cast<char32_t>(d < 0 ? 0 : d);
        }
        if (!ok) {
          s += 'u';
          break;
        }
        p += 4;
        // A high surrogate followed by "\uDCxx" is one character.
        if (code >= 0xD800 && code <= 0xDBFF && p + 6 <= t.size() && t[p] == '\\' &&
            t[p + 1] == 'u') {
          char32_t low = 0;
          bool lowOk = true;
          for (size_t k = 0; lowOk && k < 4; ++k) {
            const int d = HexDigit(t[p + 2 + k]);
            lowOk = d >= 0;
            low = low * 16 + static_cast<char32_t>(d < 0 ? 0 : d);
          }
          if (lowOk && low >= 0xDC00 && low <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            p += 6;
          }
        }
        AppendUtf8(s, code);
        break;
      }
      default: s += e; break;  // \" \' \\ and any other character as itself
    }
  }
  if (p >= t.size()) return false;
  i = p + 1;
  if (out) *out = std::move(s);
  return true;
}

// The call's arguments after its function name at `i`: ( "name" , value ) and a ";".
bool ReadCall(const std::string& t, size_t i, PrefCall& call) {
  SkipSpaceAndComments(t, i);
  if (i >= t.size() || t[i] != '(') return false;
  ++i;
  SkipSpaceAndComments(t, i);
  if (i >= t.size() || (t[i] != '"' && t[i] != '\'')) return false;
  if (!ReadString(t, i, &call.name)) return false;
  SkipSpaceAndComments(t, i);
  if (i >= t.size() || t[i] != ',') return false;
  ++i;
  SkipSpaceAndComments(t, i);
  if (i >= t.size()) return false;
  if (t[i] == '"' || t[i] == '\'') {
    call.isString = true;
    if (!ReadString(t, i, &call.value)) return false;
  } else {
    // true, false, a number or anything else up to the closing bracket (a cfg's expression).
    const size_t start = i;
    int depth = 0;
    while (i < t.size() && (depth > 0 || t[i] != ')')) {
      if (t[i] == '"' || t[i] == '\'') {
        if (!ReadString(t, i, nullptr)) return false;
        continue;
      }
      if (t[i] == '(') ++depth;
      if (t[i] == ')') --depth;
      if (t[i] == ';' || t[i] == '\n' || t[i] == '\r') return false;
      ++i;
    }
    size_t stop = i;
    while (stop > start && IsBlank(t[stop - 1])) --stop;
    call.value = t.substr(start, stop - start);
    if (call.value.empty()) return false;
  }
  SkipSpaceAndComments(t, i);
  if (i >= t.size() || t[i] != ')') return false;
  ++i;
  size_t after = i;
  while (after < t.size() && IsBlank(t[after])) ++after;
  if (after < t.size() && t[after] == ';') i = after + 1;
  call.end = i;
  return true;
}

}  // namespace

std::vector<PrefCall> FindPrefCalls(const std::string& text,
                                    const std::vector<std::string>& functions) {
  std::vector<PrefCall> out;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (SkipComment(text, i)) continue;
    if (c == '"' || c == '\'') {
      if (!ReadString(text, i, nullptr)) ++i;
      continue;
    }
    if (!IsIdentStart(c)) {
      ++i;
      continue;
    }
    const size_t start = i;
    while (i < text.size() && IsIdent(text[i])) ++i;
    const std::string word = text.substr(start, i - start);
    if (std::find(functions.begin(), functions.end(), word) == functions.end()) continue;
    PrefCall call;
    call.function = word;
    call.begin = start;
    if (ReadCall(text, i, call)) {
      i = call.end;
      out.push_back(std::move(call));
    }
  }
  return out;
}

std::string CutPrefCall(const std::string& text, const PrefCall& call) {
  size_t lineStart = call.begin;
  while (lineStart > 0 && text[lineStart - 1] != '\n' && text[lineStart - 1] != '\r') --lineStart;
  bool alone = true;
  for (size_t k = lineStart; k < call.begin; ++k) alone = alone && IsBlank(text[k]);
  size_t lineEnd = call.end;
  while (lineEnd < text.size() && IsBlank(text[lineEnd])) ++lineEnd;
  alone = alone && (lineEnd == text.size() || text[lineEnd] == '\n' || text[lineEnd] == '\r');
  if (!alone) return text.substr(0, call.begin) + text.substr(call.end);
  if (lineEnd < text.size()) {
    if (text[lineEnd] == '\r' && lineEnd + 1 < text.size() && text[lineEnd + 1] == '\n')
      lineEnd += 2;
    else lineEnd += 1;
  }
  return text.substr(0, lineStart) + text.substr(lineEnd);
}

std::string PrefShown(const std::string& bytes) {
  if (ReadableUtf8(bytes) == bytes) return bytes;
  return GbkToUtf8(bytes);
}

bool IsFirefoxOwnHomePage(const std::string& value) {
  // Mozilla's sites, and the home page of the edition Mozilla's Chinese partner ships.
  static const char* const kOwnHosts[] = {"mozilla.org", "mozilla.com", "firefox.com",
                                          "firefoxchina.cn"};
  for (const std::string& part : Split(value, '|')) {
    const std::string page = LowerAscii(TrimControl(part));
    if (page.empty() || page.rfind("about:", 0) == 0 || page.rfind("chrome://", 0) == 0 ||
        page.rfind("resource://", 0) == 0)
      continue;
    const std::string host = UrlHost(page);
    bool own = false;
    for (const char* h : kOwnHosts)
      own = own || (!host.empty() && (host == h || EndsWithNoCase(host, std::string(".") + h)));
    if (!own) return false;
  }
  return true;
}

FirefoxRead ReadFirefoxFile(FileSystem& files, const std::string& path, std::string& text) {
  text.clear();
  try {
    if (!files.FileExists(path)) return FirefoxRead::Missing;
    auto in = files.OpenRead(path);
    if (in->Size() > kMaxFirefoxPrefFile) return FirefoxRead::TooLarge;
    std::string buffer(65536, '\0');
    for (size_t n; (n = in->Read(&buffer[0], buffer.size())) > 0;) {
      text.append(buffer, 0, n);
      // The file may have grown since its size was asked.
      if (text.size() > kMaxFirefoxPrefFile) {
        text.clear();
        return FirefoxRead::TooLarge;
      }
    }
  } catch (const std::exception&) {
    text.clear();
    return FirefoxRead::Unreadable;
  }
  const bool utf16Mark = text.size() >= 2 && ((static_cast<unsigned char>(text[0]) == 0xFF &&
                                               static_cast<unsigned char>(text[1]) == 0xFE) ||
                                              (static_cast<unsigned char>(text[0]) == 0xFE &&
                                               static_cast<unsigned char>(text[1]) == 0xFF));
  if (utf16Mark || text.find('\0') != std::string::npos) {
    text.clear();
    return FirefoxRead::NotText;
  }
  return FirefoxRead::Ok;
}

std::string FirefoxReadProblem(FirefoxRead r) {
  switch (r) {
    case FirefoxRead::Missing: return "文件不存在";
    case FirefoxRead::TooLarge: return "文件过大（超过 16 MiB），未读取";
    case FirefoxRead::Unreadable: return kCannotOpenFile;
    case FirefoxRead::NotText: return "不是 Firefox 能读取的文本（UTF-16 或含有空字符），未读取";
    case FirefoxRead::Ok: break;
  }
  return std::string();
}

std::vector<FirefoxProfile> FirefoxProfilesOf(FileSystem& files, const std::string& firefoxData,
                                              std::string& problem) {
  problem.clear();
  std::vector<FirefoxProfile> out;
  std::string text;
  const FirefoxRead r = ReadFirefoxFile(files, firefoxData + "\\profiles.ini", text);
  if (r == FirefoxRead::Missing) return out;
  if (r != FirefoxRead::Ok) {
    problem = FirefoxReadProblem(r);
    return out;
  }
  // Sections [Profile0], [Profile1]... with Name=, IsRelative= and Path=; the other sections
  // ([General], [Install...]) name no folder of their own.
  struct Section {
    bool profile = false;
    std::string name, path;
    bool relative = true;
  };
  std::vector<Section> sections;
  for (std::string line : Split(text, '\n')) {
    line = TrimControl(line);
    if (line.size() >= 3 && static_cast<unsigned char>(line[0]) == 0xEF &&
        static_cast<unsigned char>(line[1]) == 0xBB && static_cast<unsigned char>(line[2]) == 0xBF)
      line = TrimControl(line.substr(3));
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      Section s;
      s.profile = StartsWithNoCase(line.substr(1), "Profile");
      sections.push_back(s);
      continue;
    }
    if (sections.empty() || !sections.back().profile) continue;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = TrimControl(line.substr(0, eq));
    const std::string value = TrimControl(line.substr(eq + 1));
    if (EqualsNoCase(key, "Name")) sections.back().name = value;
    else if (EqualsNoCase(key, "Path")) sections.back().path = value;
    else if (EqualsNoCase(key, "IsRelative")) sections.back().relative = value != "0";
  }
  for (const Section& s : sections) {
    if (!s.profile || s.path.empty()) continue;
    std::string path = s.path;
    std::replace(path.begin(), path.end(), '/', '\\');
    if (s.relative) {
      bool safe = path.find(':') == std::string::npos && path.front() != '\\';
      for (const std::string& part : Split(path, '\\'))
        safe = safe && !part.empty() && part != "." && part != "..";
      if (!safe) continue;
      path = firefoxData + "\\" + path;
    }
    while (path.size() > 3 && path.back() == '\\') path.pop_back();
    bool seen = false;
    for (const FirefoxProfile& p : out) seen = seen || EqualsNoCase(p.dir, path);
    if (seen) continue;
    FirefoxProfile p;
    p.dir = path;
    p.name = s.name.empty() ? path.substr(path.rfind('\\') + 1) : s.name;
    out.push_back(std::move(p));
  }
  return out;
}

}  // namespace mt
