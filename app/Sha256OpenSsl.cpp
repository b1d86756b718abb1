#include <openssl/evp.h>

#include "app/Error.h"
#include "app/Text.h"
#include "app/Sha256.h"

namespace mt {

struct Sha256::State {
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  ~State() { EVP_MD_CTX_free(ctx); }
  void Init() {
    if (!ctx || EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr) != 1)
      throw AppError("SHA-256 init failed");
  }
};

Sha256::Sha256() : s_(new State) { s_->Init(); }

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, size_t n) {
  if (EVP_DigestUpdate(s_->ctx, data, n) != 1) throw AppError("SHA-256 update failed");
}

std::string Sha256::FinishHex() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (EVP_DigestFinal_ex(s_->ctx, digest, &len) != 1) throw AppError("SHA-256 finish failed");
  s_->Init();
  return LowerHex(digest, len);
}

}  // namespace mt
