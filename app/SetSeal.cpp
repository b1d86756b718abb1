#include "app/SetSeal.h"

#include "app/Change.h"
#include "app/Sha256.h"

namespace mt {

std::string HmacSha256Hex(const std::string& key, const std::string& message) {
  return HmacSha256Hex(key, std::string_view(message), std::string_view());
}

std::string HmacSha256Hex(const std::string& key, std::string_view head, std::string_view tail) {
  constexpr size_t kBlock = 64;
  std::string k = key;
  if (k.size() > kBlock) {
    Sha256 h;
    h.Update(k.data(), k.size());
    k = BytesOfHex(h.FinishHex());
  }
  k.resize(kBlock, '\0');
  std::string inner(kBlock, '\0'), outer(kBlock, '\0');
  for (size_t i = 0; i < kBlock; ++i) {
    inner[i] = static_cast<char>(k[i] ^ 0x36);
    outer[i] = static_cast<char>(k[i] ^ 0x5c);
  }
  Sha256 h;
  h.Update(inner.data(), inner.size());
  if (!head.empty()) h.Update(head.data(), head.size());
  if (!tail.empty()) h.Update(tail.data(), tail.size());
  const std::string innerDigest = BytesOfHex(h.FinishHex());
  h.Update(outer.data(), outer.size());
  h.Update(innerDigest.data(), innerDigest.size());
  return h.FinishHex();
}

std::string SealedText(const nlohmann::json& manifest) {
  // A manifest being sealed, or read with its seal taken out, is dumped as it is: a copy of
  // a large one costs as much as the dump.
  if (!manifest.is_object() || !manifest.contains("mac")) return manifest.dump();
  nlohmann::json copy = manifest;
  copy.erase("mac");
  return copy.dump();
}

namespace {

constexpr const char kMacMember[] = ",\n \"mac\": \"";
constexpr size_t kMacHexLength = 64;

bool IsLowerHex(const std::string& s) {
  for (char c : s)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

// The object's text up to its closing brace, without the white space before it.
std::string BodyOf(const std::string& text) {
  size_t end = text.rfind('}');
  if (end == std::string::npos) end = text.size();
  while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\n' || text[end - 1] == '\r' ||
                     text[end - 1] == '\t'))
    --end;
  return text.substr(0, end);
}

}  // namespace

std::string CoveredText(const std::string& text) { return BodyOf(text) + "\n}"; }

std::string SealedFileText(const std::string& text, const std::string& mac) {
  return BodyOf(text) + kMacMember + mac + "\"\n}";
}

std::optional<SealedFile> SplitSealedFile(const std::string& file) {
  const std::string member = kMacMember;
  const size_t tail = member.size() + kMacHexLength + 3;  // the member, the hex, "\"\n}"
  if (file.size() < tail + 1) return std::nullopt;
  const size_t at = file.size() - tail;
  if (file.compare(at, member.size(), member) != 0) return std::nullopt;
  if (file.compare(file.size() - 3, 3, "\"\n}") != 0) return std::nullopt;
  SealedFile sealed;
  sealed.mac = file.substr(at + member.size(), kMacHexLength);
  if (!IsLowerHex(sealed.mac)) return std::nullopt;
  sealed.bodyEnd = at;
  return sealed;
}

bool SameMac(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

}  // namespace mt
