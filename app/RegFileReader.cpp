#include "app/RegFileReader.h"

#include "app/Backup.h"
#include "app/Error.h"
#include "app/Text.h"

namespace mt {

namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00";
constexpr const char* kWowNode = "WOW6432Node";

[[noreturn]] void Fail(int line, const std::string& reason) {
  throw AppError("第 " + std::to_string(line) + " 行：" + reason);
}

// The number of lines of `text` (the line the text ends in counts).
int LineCount(const std::string& text) {
  int lines = 1;
  for (char c : text)
    if (c == '\n') ++lines;
  return lines;
}

// The file's text (UTF-8, lone surrogates kept).
std::string Decode(const std::string& bytes) {
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    std::string text = FromUtf16Le(bytes.substr(2));
    if (bytes.size() % 2) Fail(LineCount(text), "文件在一个字符的中间结束");
    return text;
  }
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return bytes.substr(3);
  return bytes;
}

// The lines of `text`, split at LF; a CR before the LF is dropped. The line break at the
// end of the last line starts no line of its own.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines = Split(text, '\n');
  if (!text.empty() && text.back() == '\n') lines.pop_back();
  for (std::string& line : lines)
    if (!line.empty() && line.back() == '\r') line.pop_back();
  return lines;
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int HexValue(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

// The text of the quoted string that starts at line[pos] (a '"'); pos ends after the closing
// quote. Only \\ and \" are escapes, as the program writes them.
std::string Quoted(const std::string& line, size_t& pos, int lineNo) {
  std::string out;
  for (++pos; pos < line.size(); ++pos) {
    const char c = line[pos];
    if (c == '"') {
      ++pos;
      return out;
    }
    if (c == '\\') {
      if (pos + 1 >= line.size() || (line[pos + 1] != '\\' && line[pos + 1] != '"'))
        Fail(lineNo, "引号内的“\\”后只能是“\\”或引号");
      ++pos;
    }
    out += line[pos];
  }
  Fail(lineNo, "引号没有结束");
}

// One piece of hexadecimal data and the line it is on.
struct HexPiece {
  std::string text;
  int line;
};

// "xx,xx,...": the bytes of the pieces, which together are one comma-separated list (a piece
// that continues on the next line ends in a comma).
std::string HexBytes(const std::vector<HexPiece>& pieces) {
  std::string out;
  bool wantByte = false;  // after a comma, a byte must follow
  for (const HexPiece& piece : pieces) {
    const std::string& t = piece.text;
    for (size_t i = 0; i < t.size();) {
      if (i + 1 < t.size() && IsHexDigit(t[i]) && IsHexDigit(t[i + 1]) &&
          (out.empty() || wantByte)) {
        out += static_cast<char>(HexValue(t[i]) << 4 | HexValue(t[i + 1]));
        wantByte = false;
        i += 2;
      } else if (t[i] == ',' && !wantByte && !out.empty()) {
        wantByte = true;
        ++i;
      } else {
        Fail(piece.line, "十六进制数据有误：“" + ReadableUtf8(t) + "”");
      }
    }
  }
  if (wantByte) Fail(pieces.back().line, "十六进制数据以逗号结束");
  return out;
}

class Reader {
 public:
  explicit Reader(std::vector<std::string> lines) : lines_(std::move(lines)) {}

  std::vector<RegFileEntry> Read() {
    if (lines_.empty() || lines_[0] != kHeader) Fail(1, std::string("第一行应为“") + kHeader + "”");
    for (next_ = 1; next_ < lines_.size();) {
      const int lineNo = static_cast<int>(next_) + 1;
      const std::string& line = lines_[next_++];
      if (line.empty()) {
        EndSection();
      } else if (line[0] == '[') {
        EndSection();
        Header(line, lineNo);
      } else if (line[0] == '"' || line[0] == '@') {
        Value(line, lineNo);
      } else {
        Fail(lineNo, "无法识别的行：“" + ReadableUtf8(line) + "”");
      }
    }
    EndSection();
    return std::move(entries_);
  }

 private:
  // A key header ends the section before it; a header with no lines below is an entry too.
  void EndSection() {
    if (open_ && !deleted_ && !hasLines_)
      entries_.push_back(Entry(RegFileEntry::Op::Key, keyLine_));
    open_ = false;
  }

  RegFileEntry Entry(RegFileEntry::Op op, int line) const {
    RegFileEntry e;
    e.op = op;
    e.root = key_.root;
    e.view = key_.view;
    e.keyPath = key_.keyPath;
    e.line = line;
    return e;
  }

  void Header(const std::string& line, int lineNo) {
    if (line.size() < 2 || line.back() != ']') Fail(lineNo, "键名缺少“]”");
    const bool deletion = line[1] == '-';
    const std::string name = line.substr(deletion ? 2 : 1, line.size() - (deletion ? 3 : 2));
    std::optional<RegFileKey> key = ParseRegFileKeyName(name);
    if (!key) Fail(lineNo, "无法识别的键名：“" + ReadableUtf8(name) + "”");
    if (deletion && key->keyPath.empty()) Fail(lineNo, "不能删除根键");
    key_ = *key;
    open_ = true;
    deleted_ = deletion;
    hasLines_ = false;
    keyLine_ = lineNo;
    if (deletion) entries_.push_back(Entry(RegFileEntry::Op::DeleteKey, lineNo));
  }

  void Value(const std::string& line, int lineNo) {
    if (!open_) Fail(lineNo, "值的前面没有键名");
    if (deleted_) Fail(lineNo, "被删除的键下不能有值");
    hasLines_ = true;
    size_t pos = 0;
    std::string name;
    if (line[0] == '@') ++pos;
    else name = Quoted(line, pos, lineNo);
    if (pos >= line.size() || line[pos] != '=') Fail(lineNo, "值名后缺少“=”");
    const std::string data = line.substr(pos + 1);
    if (data == "-") {
      RegFileEntry e = Entry(RegFileEntry::Op::DeleteValue, lineNo);
      e.name = name;
      entries_.push_back(std::move(e));
      return;
    }
    RegFileEntry e = Entry(RegFileEntry::Op::SetValue, lineNo);
    e.name = name;
    e.value = Data(data, lineNo);
    entries_.push_back(std::move(e));
  }

  RawRegValue Data(const std::string& data, int lineNo) {
    RawRegValue raw;
    if (!data.empty() && data[0] == '"') {
      size_t pos = 0;
      const std::string text = Quoted(data, pos, lineNo);
      if (pos != data.size()) Fail(lineNo, "引号后有多余的内容");
      raw.type = 1;
      raw.bytes = Utf16Le(text) + std::string(2, '\0');
      return raw;
    }
    if (data.compare(0, 6, "dword:") == 0) {
      const std::string digits = data.substr(6);
      if (digits.size() != 8) Fail(lineNo, "dword 数据应为 8 位十六进制数");
      uint32_t v = 0;
      for (char c : digits) {
        if (!IsHexDigit(c)) Fail(lineNo, "dword 数据应为 8 位十六进制数");
        v = v << 4 | static_cast<uint32_t>(HexValue(c));
      }
      raw.type = 4;
      for (int i = 0; i < 4; ++i) raw.bytes += static_cast<char>((v >> (8 * i)) & 0xFF);
      return raw;
    }
    size_t colon;
    if (data.compare(0, 4, "hex:") == 0) {
      raw.type = 3;
      colon = 3;
    } else if (data.compare(0, 4, "hex(") == 0 && (colon = data.find("):")) != std::string::npos &&
               colon > 4 && colon <= 12) {
      const std::string digits = data.substr(4, colon - 4);
      for (char c : digits) {
        if (!IsHexDigit(c)) Fail(lineNo, "hex(...) 中的类型号有误");
        raw.type = raw.type << 4 | static_cast<uint32_t>(HexValue(c));
      }
      ++colon;
    } else {
      Fail(lineNo, "无法识别的数据：“" + ReadableUtf8(data) + "”");
    }
    // The data, with its continuation lines: a line ending in "\" goes on in the next one,
    // which starts with blanks.
    std::vector<HexPiece> pieces{{data.substr(colon + 1), lineNo}};
    while (!pieces.back().text.empty() && pieces.back().text.back() == '\\') {
      pieces.back().text.pop_back();
      if (next_ >= lines_.size()) Fail(pieces.back().line, "续行没有结束（文件在“\\”之后结束）");
      const int contNo = static_cast<int>(next_) + 1;
      const std::string& cont = lines_[next_++];
      size_t start = cont.find_first_not_of(' ');
      if (start == std::string::npos) Fail(contNo, "续行是空行");
      pieces.push_back({cont.substr(start), contNo});
    }
    raw.bytes = HexBytes(pieces);
    return raw;
  }

  std::vector<std::string> lines_;
  size_t next_ = 0;  // index of the next line to read
  std::vector<RegFileEntry> entries_;
  RegFileKey key_;        // the key of the current section
  bool open_ = false;     // a section is open
  bool deleted_ = false;  // it is a deletion, [-key]
  bool hasLines_ = false;
  int keyLine_ = 0;
};

}  // namespace

std::optional<RegFileKey> ParseRegFileKeyName(const std::string& name) {
  std::vector<std::string> parts = Split(name, '\\');
  RegFileKey key;
  if (parts[0] == "HKEY_CLASSES_ROOT") key.root = RegRoot::ClassesRoot;
  else if (parts[0] == "HKEY_CURRENT_USER") key.root = RegRoot::CurrentUser;
  else if (parts[0] == "HKEY_LOCAL_MACHINE") key.root = RegRoot::LocalMachine;
  else return std::nullopt;
  parts.erase(parts.begin());
  for (const std::string& part : parts)
    if (part.empty()) return std::nullopt;
  // RegFileKeyName writes WOW6432Node in exactly this spelling; any other spelling is a key
  // of the native view that happens to carry that name.
  if (key.root == RegRoot::LocalMachine && parts.size() >= 3 &&
      EqualsNoCase(parts[0], "SOFTWARE") && parts[1] == kWowNode &&
      !SharedBelowSoftware(parts[2])) {
    key.view = RegView::Wow32;
    parts.erase(parts.begin() + 1);
  } else if (key.root == RegRoot::ClassesRoot && parts.size() >= 2 && parts[0] == kWowNode &&
             RedirectedClassKey(parts[1])) {
    key.view = RegView::Wow32;
    parts.erase(parts.begin());
  }
  for (const std::string& part : parts) {
    if (!key.keyPath.empty()) key.keyPath += '\\';
    key.keyPath += part;
  }
  return key;
}

std::vector<RegFileEntry> ReadRegFile(const std::string& bytes) {
  return Reader(Lines(Decode(bytes))).Read();
}

}  // namespace mt
