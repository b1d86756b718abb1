// The seal of a backup set: an HMAC-SHA256 over its manifest, which lists every file of the
// set with its SHA-256, keyed by a secret that only administrators can read and write. A set
// whose seal is missing or wrong restores only the current user's items: the program restores
// with the user's highest rights, while a portable copy's "备份" folder may be writable by
// programs without them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace mt {

// Where the secret lives (the real one: an HKLM key whose ACL admits only administrators and
// the system, made at the first need; app/win/WinSealKeys).
class SealKeyStore {
 public:
  virtual ~SealKeyStore() = default;
  // The secret, made first when there is none and `create`; empty when it cannot be read
  // (a standard user) or made.
  virtual std::optional<std::string> Key(bool create) = 0;
};

inline constexpr const char* kManifestFormat = "MirtakTools backup set";

// The text the seal covers: the manifest without its "mac", written compactly (keys in
// order), so it does not depend on how the file was laid out.
std::string SealedText(const nlohmann::json& manifest);

// The manifest file of a sealed set: `text` (the manifest written without its seal, a JSON
// object) with the seal appended as its last member, "mac". The seal covers CoveredText(text)
// byte for byte, so checking it needs no second dump of a large manifest.
std::string CoveredText(const std::string& text);
std::string SealedFileText(const std::string& text, const std::string& mac);
// Where a manifest file laid out as SealedFileText writes it keeps its seal: the seal covers
// the file's first `bodyEnd` bytes followed by "\n}" (no copy of a large file is made to find
// that out). Nothing for another layout (then the seal, if any, covers SealedText).
struct SealedFile {
  size_t bodyEnd = 0;
  std::string mac;
};
std::optional<SealedFile> SplitSealedFile(const std::string& file);

// HMAC-SHA256 of `message` under `key`, as lower-case hex; the second form of the message
// `head` followed by `tail`.
std::string HmacSha256Hex(const std::string& key, const std::string& message);
std::string HmacSha256Hex(const std::string& key, std::string_view head, std::string_view tail);

// Compares two texts in time that does not depend on where they differ.
bool SameMac(const std::string& a, const std::string& b);

}  // namespace mt
