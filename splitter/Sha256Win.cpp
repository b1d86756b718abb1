#include "splitter/Sha256.h"

#include <windows.h>
#include <bcrypt.h>

#include "app/Error.h"

namespace mt::splitter {

namespace {

std::string Hex(const unsigned char* d, size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    out += digits[d[i] >> 4];
    out += digits[d[i] & 15];
  }
  return out;
}

void Check(NTSTATUS status, const char* what) {
  if (status < 0) throw AppError(std::string("SHA-256 ") + what + " failed");
}

}  // namespace

// One reusable hash object per Sha256 (BCRYPT_HASH_REUSABLE_FLAG is not known to every
// system, so a finished hash is replaced by a new one).
struct Sha256::State {
  BCRYPT_ALG_HANDLE alg = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  void Open() {
    Check(BCryptCreateHash(alg, &hash, nullptr, 0, nullptr, 0, 0), "create");
  }
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
  return Hex(digest, sizeof digest);
}

std::string Sha256Hex(const std::string& data) {
  Sha256 h;
  h.Update(data.data(), data.size());
  return h.FinishHex();
}

}  // namespace mt::splitter
