#include "app/Sha256.h"

#include <windows.h>
#include <bcrypt.h>

#include "app/Error.h"
#include "app/Text.h"

namespace mt {

namespace {

void Check(NTSTATUS status, const char* what) {
  if (status < 0) throw AppError(std::string("SHA-256 ") + what + " failed");
}

}  // namespace

// One reusable hash object per Sha256 (BCRYPT_HASH_REUSABLE_FLAG is not known to every
// system, so a finished hash is replaced by a new one).
struct Sha256::State {
  BCRYPT_ALG_HANDLE alg = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  void Open() { Check(BCryptCreateHash(alg, &hash, nullptr, 0, nullptr, 0, 0), "create"); }
  ~State() {
    if (hash) BCryptDestroyHash(hash);
    if (alg) BCryptCloseAlgorithmProvider(alg, 0);
  }
};

Sha256::Sha256() : s_(new State) {
  Check(BCryptOpenAlgorithmProvider(&s_->alg, BCRYPT_SHA256_ALGORITHM, nullptr, 0), "open");
  s_->Open();
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, size_t n) {
  Check(BCryptHashData(s_->hash, static_cast<PUCHAR>(const_cast<void*>(data)),
                       static_cast<ULONG>(n), 0),
        "update");
}

std::string Sha256::FinishHex() {
  unsigned char digest[32];
  Check(BCryptFinishHash(s_->hash, digest, sizeof digest, 0), "finish");
  BCryptDestroyHash(s_->hash);
  s_->hash = nullptr;
  s_->Open();
  return LowerHex(digest, sizeof digest);
}

}  // namespace mt
