#include "browser/Shortcuts.h"

#include <cctype>

#include "app/Text.h"

namespace mt {

std::vector<CommandLineArgument> SplitArguments(const std::string& arguments) {
  std::vector<CommandLineArgument> out;
  const std::string& s = arguments;
  size_t i = 0;
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (true) {
    while (i < s.size() && blank(s[i])) ++i;
    if (i >= s.size()) break;
    CommandLineArgument arg;
    arg.begin = i;
    bool quoted = false;
    while (i < s.size() && (quoted || !blank(s[i]))) {
      if (s[i] == '\\') {
        size_t slashes = 0;
        while (i < s.size() && s[i] == '\\') ++slashes, ++i;
        if (i < s.size() && s[i] == '"') {
          // 2n backslashes and a quote: n backslashes, the quote toggles; 2n+1: n and a quote.
          arg.value.append(slashes / 2, '\\');
          if (slashes % 2) {
            arg.value += '"';
            ++i;
          }
        } else {
          arg.value.append(slashes, '\\');
        }
        continue;
      }
      if (s[i] == '"') {
        // Inside quotes, a doubled quote is one literal quote.
        if (quoted && i + 1 < s.size() && s[i + 1] == '"') {
          arg.value += '"';
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      arg.value += s[i++];
    }
    arg.end = i;
    out.push_back(std::move(arg));
  }
  return out;
}

namespace {

// "name.tld" or "a.b.tld", optionally with ":port" and a path: letters, digits and "-" in
// each label, at least two labels, the last of two or more letters.
bool LooksLikeHost(const std::string& s) {
  size_t end = s.find_first_of("/?#");
  std::string host = s.substr(0, end);
  size_t colon = host.find(':');
  if (colon != std::string::npos) {
    std::string port = host.substr(colon + 1);
    if (port.empty()) return false;
    for (char c : port)
      if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    host.resize(colon);
  }
  size_t labels = 0, start = 0;
  std::string last;
  while (start <= host.size()) {
    size_t dot = host.find('.', start);
    std::string label = host.substr(start,
                                    dot == std::string::npos ? std::string::npos : dot - start);
    if (label.empty()) return false;
    for (char c : label)
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') return false;
    ++labels;
    last = label;
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  if (labels < 2 || last.size() < 2) return false;
  for (char c : last)
    if (!std::isalpha(static_cast<unsigned char>(c))) return false;
  return true;
}

}  // namespace

bool IsAddressArgument(const std::string& value) {
  const std::string v = LowerAscii(value);
  if (v.empty() || v[0] == '-' || v[0] == '/') return false;
  for (const char* scheme : {"http:", "https:", "ftp:", "file:", "www."})
    if (StartsWithNoCase(v, scheme)) return true;
  // A path on a drive or a share is a file the browser is told to open, not an address.
  if (v.find('\\') != std::string::npos) return false;
  return LooksLikeHost(v);
}

std::string StripAddresses(const std::string& arguments, std::vector<std::string>* removed) {
  std::vector<CommandLineArgument> args = SplitArguments(arguments);
  std::vector<bool> drop(args.size(), false);
  for (size_t i = 0; i < args.size(); ++i) {
    if (!IsAddressArgument(args[i].value)) continue;
    drop[i] = true;
    if (removed) removed->push_back(args[i].value);
    if (i > 0) {
      const std::string before = LowerAscii(args[i - 1].value);
      if (before == "-url" || before == "-new-tab" || before == "-new-window") drop[i - 1] = true;
    }
  }
  std::string out;
  size_t copied = 0;  // the text up to here is settled
  for (size_t i = 0; i < args.size(); ++i) {
    if (!drop[i]) continue;
    // Keep what stands before the argument, without the blanks that separate it.
    size_t cut = args[i].begin;
    while (cut > copied && (arguments[cut - 1] == ' ' || arguments[cut - 1] == '\t')) --cut;
    out += arguments.substr(copied, cut - copied);
    copied = args[i].end;
  }
  out += arguments.substr(copied);
  // An address at the start leaves the blanks that followed it.
  size_t lead = 0;
  while (lead < out.size() && (out[lead] == ' ' || out[lead] == '\t')) ++lead;
  return out.substr(lead);
}

}  // namespace mt
