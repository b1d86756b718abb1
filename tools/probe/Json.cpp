#include "tools/probe/Json.h"

#include <stdexcept>

namespace probe {

namespace {

void AppendUtf8(std::string& out, unsigned long cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

class Reader {
 public:
  explicit Reader(const std::string& s) : s_(s) {}

  std::vector<std::string> Array() {
    std::vector<std::string> out;
    Expect('[');
    SkipBlanks();
    if (Peek() == ']') {
      ++i_;
    } else {
      for (;;) {
        out.push_back(String());
        SkipBlanks();
        char c = Next();
        if (c == ']') break;
        if (c != ',') Fail("',' or ']' expected");
      }
    }
    SkipBlanks();
    if (i_ != s_.size()) Fail("text after the array");
    return out;
  }

 private:
  [[noreturn]] void Fail(const char* what) {
    throw std::runtime_error(std::string("bad request: ") + what + " at column " +
                             std::to_string(i_ + 1));
  }
  void SkipBlanks() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r' || s_[i_] == '\n'))
      ++i_;
  }
  char Peek() { return i_ < s_.size() ? s_[i_] : '\0'; }
  char Next() {
    if (i_ >= s_.size()) Fail("unexpected end");
    return s_[i_++];
  }
  void Expect(char c) {
    SkipBlanks();
    if (Next() != c) Fail("unexpected character");
  }
  unsigned long Hex4() {
    unsigned long v = 0;
    for (int k = 0; k < 4; ++k) {
      char c = Next();
      v <<= 4;
      if (c >= '0' && c <= '9') v |= static_cast<unsigned long>(c - '0');
      else if (c >= 'a' && c <= 'f') v |= static_cast<unsigned long>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') v |= static_cast<unsigned long>(c - 'A' + 10);
      else Fail("bad \\u escape");
    }
    return v;
  }
  std::string String() {
    Expect('"');
    std::string out;
    for (;;) {
      char c = Next();
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      switch (Next()) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          unsigned long cp = Hex4();
          if (cp >= 0xD800 && cp < 0xDC00) {  // a surrogate pair
            if (Next() != '\\' || Next() != 'u') Fail("lone surrogate");
            unsigned long low = Hex4();
            if (low < 0xDC00 || low >= 0xE000) Fail("lone surrogate");
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          }
          AppendUtf8(out, cp);
          break;
        }
        default: Fail("bad escape");
      }
    }
  }

  const std::string& s_;
  size_t i_ = 0;
};

}  // namespace

std::vector<std::string> ParseStringArray(const std::string& line) { return Reader(line).Array(); }

}  // namespace probe
