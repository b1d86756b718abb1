#include "update/tests/WinSigningSupport.h"

#include <windows.h>
#include <wincrypt.h>

#include <memory>

#include "app/win/Handles.h"

namespace mt::test {

std::string SigningFile(const std::string& name) {
  // A Unix path of the build tree: Wine shows the Unix root as drive Z:.
  std::string path = std::string("Z:") + MT_SIGNING_DIR + "/" + name;
  for (char& c : path)
    if (c == '/') c = '\\';
  const DWORD a = ::GetFileAttributesW(Widen(path).c_str());
  return a == INVALID_FILE_ATTRIBUTES ? std::string() : path;
}

bool ReadBytes(const std::string& path, std::string& bytes) {
  bytes.clear();
  UniqueFileHandle file(::CreateFileW(Widen(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  char buffer[65536];
  DWORD n = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &n, nullptr) && n > 0) {
    bytes.append(buffer, n);
  }
  return true;
}

std::string MarkerOf(const std::string& installer) { return installer + ".ran"; }

bool UnderWine() {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

namespace {
struct StoreTraits {
  static HCERTSTORE invalid() { return nullptr; }
  static void close(HCERTSTORE s) { ::CertCloseStore(s, 0); }
};
using UniqueStore = UniqueHandle<HCERTSTORE, StoreTraits>;

UniqueStore MachineRoots() {
  return UniqueStore(::CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0,
                                     CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root"));
}
}  // namespace

TrustedTestRoot::TrustedTestRoot() {
  const std::string file = SigningFile("root.der");
  if (file.empty() || !ReadBytes(file, der_) || der_.empty()) return;
  UniqueStore roots = MachineRoots();
  if (!roots) return;
  added_ = ::CertAddEncodedCertificateToStore(roots.get(), X509_ASN_ENCODING,
                                              reinterpret_cast<const BYTE*>(der_.data()),
                                              static_cast<DWORD>(der_.size()),
                                              CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != 0;
}

TrustedTestRoot::~TrustedTestRoot() {
  if (!added_) return;
  UniqueStore roots = MachineRoots();
  if (!roots) return;
  PCCERT_CONTEXT ours = ::CertCreateCertificateContext(X509_ASN_ENCODING,
                                                       reinterpret_cast<const BYTE*>(der_.data()),
                                                       static_cast<DWORD>(der_.size()));
  if (!ours) return;
  PCCERT_CONTEXT found = ::CertFindCertificateInStore(roots.get(), X509_ASN_ENCODING, 0,
                                                      CERT_FIND_EXISTING, ours, nullptr);
  if (found) ::CertDeleteCertificateFromStore(found);  // frees `found`
  ::CertFreeCertificateContext(ours);
}

void SignedInstallers::SetUp() {
  if (SigningFile("signed.exe").empty()) {
    GTEST_SKIP() << "no signing material in " << MT_SIGNING_DIR << " (run through ctest)";
  }
  root_ = std::make_unique<TrustedTestRoot>();
  ASSERT_TRUE(root_->Added()) << "the test root could not be trusted";
}

void SignedInstallers::TearDown() { root_.reset(); }

}  // namespace mt::test
