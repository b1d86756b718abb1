// The probe's wire format: results are written as JSON (UTF-8), requests in serve mode are
// read as a JSON array of strings.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace probe {

// A JSON value to be written: null, boolean, integer, text, array or object (fields keep
// the order in which they were set).
class Json {
 public:
  Json() = default;
  Json(bool b) : kind_(Kind::Bool), b_(b) {}
  Json(int n) : kind_(Kind::Number), n_(n) {}
  Json(long n) : kind_(Kind::Number), n_(n) {}
  Json(long long n) : kind_(Kind::Number), n_(n) {}
  Json(unsigned long n) : kind_(Kind::Number), n_(static_cast<long long>(n)) {}
  Json(std::string s) : kind_(Kind::String), s_(std::move(s)) {}
  Json(const char* s) : kind_(Kind::String), s_(s) {}

  static Json Array() { return Json(Kind::Array); }
  static Json Object() { return Json(Kind::Object); }

  Json& Add(Json v) {
    items_.push_back(std::move(v));
    return *this;
  }
  Json& Set(std::string key, Json v) {
    fields_.emplace_back(std::move(key), std::move(v));
    return *this;
  }

  std::string Dump() const {
    std::string out;
    Write(out);
    return out;
  }

 private:
  enum class Kind { Null, Bool, Number, String, Array, Object };
  explicit Json(Kind k) : kind_(k) {}

  static void WriteString(std::string& out, const std::string& s) {
    static const char hex[] = "0123456789abcdef";
    out += '"';
    for (unsigned char c : s) {
      switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
          if (c < 0x20) {
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 15];
          } else {
            out += static_cast<char>(c);  // UTF-8 passes through
          }
      }
    }
    out += '"';
  }

  void Write(std::string& out) const {
    switch (kind_) {
      case Kind::Null: out += "null"; break;
      case Kind::Bool: out += b_ ? "true" : "false"; break;
      case Kind::Number: out += std::to_string(n_); break;
      case Kind::String: WriteString(out, s_); break;
      case Kind::Array: {
        out += '[';
        for (size_t i = 0; i < items_.size(); ++i) {
          if (i) out += ',';
          items_[i].Write(out);
        }
        out += ']';
        break;
      }
      case Kind::Object: {
        out += '{';
        for (size_t i = 0; i < fields_.size(); ++i) {
          if (i) out += ',';
          WriteString(out, fields_[i].first);
          out += ':';
          fields_[i].second.Write(out);
        }
        out += '}';
        break;
      }
    }
  }

  Kind kind_ = Kind::Null;
  bool b_ = false;
  long long n_ = 0;
  std::string s_;
  std::vector<Json> items_;
  std::vector<std::pair<std::string, Json>> fields_;
};

// Parses `["word", "other \"quoted\" text", "\u4e2d"]` into its strings (UTF-8). Throws
// std::runtime_error when the line is not such an array.
std::vector<std::string> ParseStringArray(const std::string& line);

}  // namespace probe
