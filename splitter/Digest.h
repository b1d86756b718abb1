// The piece digests of the record: XXH3-128 for new sets (fast enough to hide behind the
// copy), SHA-256 for sets written before, so that both keep verifying.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace mt {
class Sha256;
}  // namespace mt

namespace mt::splitter {

enum class HashAlg { kSha256, kXxh3 };

inline constexpr const char* kHashSha256 = "SHA-256";
inline constexpr const char* kHashXxh3 = "XXH3-128";
// What a new split records.
inline constexpr HashAlg kNewSetHash = HashAlg::kXxh3;

// The name under "hashalg".
const char* HashAlgName(HashAlg alg);
// The algorithm of a "hashalg" value; empty for a name this version does not know.
std::optional<HashAlg> HashAlgNamed(const std::string& name);
// Lower-case hex digits of one digest: 64 for SHA-256, 32 for XXH3-128.
size_t DigestHexLength(HashAlg alg);

// A running digest of either algorithm, fed in chunks.
class Digest {
 public:
  explicit Digest(HashAlg alg);
  ~Digest();
  Digest(const Digest&) = delete;
  Digest& operator=(const Digest&) = delete;
  HashAlg Alg() const { return alg_; }
  void Update(const void* data, size_t n);
  // The digest in lower-case hex; the digest starts again empty afterwards.
  std::string FinishHex();

 private:
  struct Xxh3;
  HashAlg alg_;
  std::unique_ptr<Sha256> sha_;
  std::unique_ptr<Xxh3> xxh_;
};

// The digest of `data` in one call.
std::string DigestHex(HashAlg alg, const std::string& data);

}  // namespace mt::splitter
