#include "update/UpdateRecord.h"

#include <cstring>

#include "app/Text.h"
#include "update/VersionOrder.h"

namespace mt {

std::string NormalisePage(const std::string& body) {
  const size_t end = body.find('\0');
  const size_t n = end == std::string::npos ? body.size() : end;
  std::string out;
  out.reserve(n + n / 16 + 2);
  size_t i = 0;
  while (i < n) {
    const size_t start = i;
    while (i < n && body[i] != '\r' && body[i] != '\n') ++i;
    out.append(body, start, i - start);
    out += "\r\n";
    if (i < n && body[i] == '\r') ++i;
    if (i < n && body[i] == '\n') ++i;
  }
  return out;
}

namespace {

// The marker that ends the value of `tag`.
const char* SuccessorOf(const std::string& tag, bool& isTag) {
  for (size_t i = 0; i < kUpdateTags.size(); ++i) {
    if (tag == kUpdateTags[i]) {
      isTag = i + 1 < kUpdateTags.size();
      return isTag ? kUpdateTags[i + 1] : kFieldSeparator;
    }
  }
  isTag = false;
  return kFieldSeparator;
}

}  // namespace

std::string ExtractField(const std::string& page, const std::string& tag) {
  std::string s = page;
  const size_t tagLen = tag.size();
  if (tagLen == 0) return std::string();
  // Positions are 1-based as the cut rule is stated; `p` runs to the original length while
  // `s` shrinks under it.
  const size_t originalLength = s.size();
  for (size_t p = 1; p <= originalLength; ++p) {
    if (p - 1 + tagLen <= s.size() && s.compare(p - 1, tagLen, tag) == 0) {
      s.erase(0, p + tagLen - 1);
    }
  }
  bool successorIsTag = false;
  const std::string successor = SuccessorOf(tag, successorIsTag);
  const size_t found = s.find(successor);
  if (found == std::string::npos) return std::string();
  const long q = static_cast<long>(found) + 1;
  const long count = successorIsTag ? q - 6 : q - 1;
  if (count < 1) return std::string();
  return s.substr(0, static_cast<size_t>(count));
}

std::optional<UpdateRecord> ParseUpdateRecord(const std::string& page) {
  if (TrimControl(page).empty()) return std::nullopt;
  UpdateRecord r;
  std::string* fields[] = {&r.zpid, &r.zpname, &r.zpver,      &r.zpms, &r.zpsjnr,
                           &r.zpdx, &r.zpgxsj, &r.zp_downurl, &r.zpzc};
  for (size_t i = 0; i < kUpdateTags.size(); ++i) {
    *fields[i] = TrimControl(ExtractField(page, kUpdateTags[i]));
  }
  return r;
}

int CompareBytes(const std::string& a, const std::string& b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  const int c = n ? std::memcmp(a.data(), b.data(), n) : 0;  // memcmp compares unsigned bytes
  if (c != 0) return c < 0 ? -1 : 1;
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool ShouldRemind(const std::string& zpver, bool remind, const std::string& silenced) {
  if (zpver.empty()) return false;
  // Numbers part by part (v1.10 follows v1.9); a version of any other form is no release.
  if (!IsNewerRelease(zpver, kProgramVersion)) return false;
  if (!remind && silenced == zpver) return false;
  return true;
}

}  // namespace mt
