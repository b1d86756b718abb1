#include "app/SetSeal.h"

#include "app/Change.h"
#include "app/Sha256.h"

namespace mt {

std::string HmacSha256Hex(const std::string& key, const std::string& message) {
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
  h.Update(message.data(), message.size());
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

bool SameMac(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

}  // namespace mt
