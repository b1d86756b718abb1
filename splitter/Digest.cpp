#include "splitter/Digest.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "app/Error.h"
#include "app/Text.h"
#include "app/Sha256.h"

namespace mt::splitter {

const char* HashAlgName(HashAlg alg) { return alg == HashAlg::kSha256 ? kHashSha256 : kHashXxh3; }

std::optional<HashAlg> HashAlgNamed(const std::string& name) {
  if (name == kHashSha256) return HashAlg::kSha256;
  if (name == kHashXxh3) return HashAlg::kXxh3;
  return std::nullopt;
}

size_t DigestHexLength(HashAlg alg) { return alg == HashAlg::kSha256 ? 64 : 32; }

struct Digest::Xxh3 {
  XXH3_state_t* state = XXH3_createState();
  ~Xxh3() { XXH3_freeState(state); }
  void Reset() {
    if (!state || XXH3_128bits_reset(state) != XXH_OK) throw AppError("XXH3 init failed");
  }
};

Digest::Digest(HashAlg alg) : alg_(alg) {
  if (alg == HashAlg::kSha256) {
    sha_ = std::make_unique<Sha256>();
  } else {
    xxh_ = std::make_unique<Xxh3>();
    xxh_->Reset();
  }
}

Digest::~Digest() = default;

void Digest::Update(const void* data, size_t n) {
  if (sha_) sha_->Update(data, n);
  else XXH3_128bits_update(xxh_->state, data, n);
}

std::string Digest::FinishHex() {
  if (sha_) return sha_->FinishHex();
  // The canonical (big-endian) form, as xxhsum prints it.
  XXH128_canonical_t canonical;
  XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(xxh_->state));
  xxh_->Reset();
  return LowerHex(canonical.digest, sizeof canonical.digest);
}

std::string DigestHex(HashAlg alg, const std::string& data) {
  Digest d(alg);
  d.Update(data.data(), data.size());
  return d.FinishHex();
}

}  // namespace mt::splitter
