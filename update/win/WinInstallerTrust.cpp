#include "update/win/WinInstallerTrust.h"

#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>
#include <mscat.h>
#include <shellapi.h>

#include <cstdio>
#include <vector>

#include "app/Constants.h"
#include "app/win/Handles.h"
#include "update/Uhzbdown.h"

// Not in every SDK's headers: refuse signatures that rest on MD2 or MD4.
#ifndef WTD_DISABLE_MD2_MD4
#define WTD_DISABLE_MD2_MD4 0x00002000
#endif

namespace mt {

static_assert(trust_code::kNoSignature == static_cast<int32_t>(TRUST_E_NOSIGNATURE));
static_assert(trust_code::kSubjectFormUnknown ==
              static_cast<int32_t>(TRUST_E_SUBJECT_FORM_UNKNOWN));
static_assert(trust_code::kBadDigest == static_cast<int32_t>(TRUST_E_BAD_DIGEST));
static_assert(trust_code::kUntrustedRoot == static_cast<int32_t>(CERT_E_UNTRUSTEDROOT));
static_assert(trust_code::kChaining == static_cast<int32_t>(CERT_E_CHAINING));
static_assert(trust_code::kUntrustedTestRoot == static_cast<int32_t>(CERT_E_UNTRUSTEDTESTROOT));
static_assert(trust_code::kExplicitDistrust == static_cast<int32_t>(TRUST_E_EXPLICIT_DISTRUST));
static_assert(trust_code::kChainRevoked == CERT_TRUST_IS_REVOKED);
static_assert(trust_code::kChainBadSignature == CERT_TRUST_IS_NOT_SIGNATURE_VALID);
static_assert(trust_code::kChainUntrustedRoot == CERT_TRUST_IS_UNTRUSTED_ROOT);
static_assert(trust_code::kChainCyclic == CERT_TRUST_IS_CYCLIC);
static_assert(trust_code::kChainPartial == CERT_TRUST_IS_PARTIAL_CHAIN);
static_assert(trust_code::kChainExplicitDistrust == CERT_TRUST_IS_EXPLICIT_DISTRUST);

namespace {

// The verifier's hold on a file: opened for reading, shared for reading only, so that
// nobody can write, rename or delete it while it is held.
class WinHeldFile : public HeldFile {
 public:
  explicit WinHeldFile(UniqueFileHandle file) : file_(std::move(file)) {}

  bool ReadAt(uint64_t offset, void* data, size_t size) const override {
    auto* out = static_cast<char*>(data);
    while (size > 0) {
      // The offset travels with each read, so the file pointer that WinVerifyTrust moved
      // does not matter.
      OVERLAPPED at{};
      at.Offset = static_cast<DWORD>(offset);
      at.OffsetHigh = static_cast<DWORD>(offset >> 32);
      const DWORD want = size > (1u << 20) ? (1u << 20) : static_cast<DWORD>(size);
      DWORD got = 0;
      if (!::ReadFile(file_.get(), out, want, &got, &at) || got == 0) return false;
      out += got;
      offset += got;
      size -= got;
    }
    return true;
  }

 private:
  UniqueFileHandle file_;
};

// Ends the state WinVerifyTrust keeps between its verify and close calls.
class TrustState {
 public:
  TrustState(GUID action, WINTRUST_DATA& data) : action_(action), data_(data) {}
  ~TrustState() {
    data_.dwStateAction = WTD_STATEACTION_CLOSE;
    ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
  }
  TrustState(const TrustState&) = delete;
  TrustState& operator=(const TrustState&) = delete;

 private:
  GUID action_;
  WINTRUST_DATA& data_;
};

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(value));
  return text;
}

}  // namespace

TrustResult WinInstallerVerifier::Verify(const std::string& path) {
  try {
    UniqueFileHandle file(::CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      return Refuse(TrustVerdict::kUnreadable,
                    "cannot hold " + path + ": " + SystemErrorText(::GetLastError()));
    }
    const SignatureFacts facts = ReadSignatureFacts(file.get(), path);
    const TrustVerdict verdict = JudgeSignature(facts, kSignerName);
    if (verdict != TrustVerdict::kTrusted) {
      return Refuse(verdict, std::string(TrustVerdictName(verdict)) + ": WinVerifyTrust " +
                                 Hex(static_cast<uint32_t>(facts.trustResult)) + ", chain " +
                                 Hex(facts.chainErrors) + ", signer \"" + facts.signerName + "\"");
    }
    return Accept(path, std::make_unique<WinHeldFile>(std::move(file)));
  } catch (const std::exception& e) {
    return Refuse(TrustVerdict::kRejected, e.what());
  }
}

LaunchResult WinInstallerLauncher::Start(VerifiedInstaller installer, const std::string& parameters,
                                         int show) {
  // Only a file that this platform's verifier holds is started.
  if (!dynamic_cast<const WinHeldFile*>(installer.Hold())) return LaunchResult::kFailed;
  const std::wstring file = Widen(installer.Path());
  const std::wstring wideParameters = Widen(parameters);
  // CreateProcess cannot raise a process that is not elevated to an administrator (it fails
  // with ERROR_ELEVATION_REQUIRED); the shell can. The verb is "open", not "runas": the
  // installer's manifest asks for an administrator, so the shell shows the prompt where one is
  // needed, and an installer run by an administrator already elevated starts without it.
  // The held file lies at an absolute path, so no search path is consulted; the shell opens
  // it while the hold still stops anyone from writing, renaming or deleting it.
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  info.lpVerb = L"open";
  info.lpFile = file.c_str();
  info.lpParameters = wideParameters.c_str();
  info.nShow = show;
  if (!::ShellExecuteExW(&info)) {
    return ::GetLastError() == ERROR_CANCELLED ? LaunchResult::kRefused : LaunchResult::kFailed;
  }
  UniqueKernelHandle process(info.hProcess);
  return LaunchResult::kStarted;
}  // the hold ends here, once the process exists

namespace {

// WinVerifyTrust over `data` (Authenticode policy, no revocation look-ups, nothing fetched
// from the network), then the signer's chain status and common name from its state.
void VerifyInto(WINTRUST_DATA& data, SignatureFacts& facts) {
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  // No revocation look-ups and nothing fetched from the network: the chain must come with
  // the signature and end at a root this machine already trusts. An on-line check over the
  // same network the installer came from would add little, and could stall the check.
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_DISABLE_MD2_MD4;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  data.dwUIContext = WTD_UICONTEXT_EXECUTE;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  facts.trustResult = static_cast<int32_t>(
      ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data));
  TrustState state(action, data);

  CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(data.hWVTStateData);
  CRYPT_PROVIDER_SGNR* signer = provider ? ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0)
                                         : nullptr;
  if (!signer || signer->csCertChain == 0 || !signer->pasCertChain ||
      !signer->pasCertChain[0].pCert) {
    return;
  }
  facts.hasSigner = true;
  // Without the chain's own status the anchoring cannot be confirmed: count it as partial.
  facts.chainErrors = signer->pChainContext ? signer->pChainContext->TrustStatus.dwErrorStatus
                                            : CERT_TRUST_IS_PARTIAL_CHAIN;
  PCCERT_CONTEXT cert = signer->pasCertChain[0].pCert;
  void* commonName = const_cast<char*>(szOID_COMMON_NAME);
  const DWORD length = ::CertGetNameStringW(cert, CERT_NAME_ATTR_TYPE, 0, commonName, nullptr, 0);
  if (length > 1) {
    std::wstring name(length, L'\0');
    ::CertGetNameStringW(cert, CERT_NAME_ATTR_TYPE, 0, commonName, name.data(), length);
    name.resize(length - 1);
    facts.signerName = Narrow(name);
  }
}

// The catalog functions of wintrust.dll. The SHA-256 forms (...2) came with Windows 8 and are
// not in every import library: they are looked up, and the SHA-1 forms serve without them.
struct CatalogApi {
  using Acquire2 = BOOL(WINAPI*)(HCATADMIN*, const GUID*, PCWSTR, PCCERT_STRONG_SIGN_PARA, DWORD);
  using Hash2 = BOOL(WINAPI*)(HCATADMIN, HANDLE, DWORD*, BYTE*, DWORD);
  Acquire2 acquire2 = nullptr;
  Hash2 hash2 = nullptr;
  CatalogApi() {
    HMODULE wintrust = ::GetModuleHandleW(L"wintrust.dll");
    if (!wintrust) return;
    acquire2 = reinterpret_cast<Acquire2>(
        reinterpret_cast<void*>(::GetProcAddress(wintrust, "CryptCATAdminAcquireContext2")));
    hash2 = reinterpret_cast<Hash2>(reinterpret_cast<void*>(
        ::GetProcAddress(wintrust, "CryptCATAdminCalcHashFromFileHandle2")));
  }
};

const CatalogApi& Catalogs() {
  static const CatalogApi api;
  return api;
}

// A catalog administrator context, released on destruction.
class CatalogAdmin {
 public:
  // SHA-256 when the platform has it, else SHA-1 (the hash the older catalogs hold).
  explicit CatalogAdmin(bool sha256) {
    GUID driverAction = DRIVER_ACTION_VERIFY;
    const CatalogApi& api = Catalogs();
    if (sha256) {
      if (api.acquire2 && api.hash2 && !api.acquire2(&admin_, &driverAction, L"SHA256", nullptr, 0))
        admin_ = nullptr;
    } else if (!::CryptCATAdminAcquireContext(&admin_, &driverAction, 0)) {
      admin_ = nullptr;
    }
    sha256_ = sha256;
  }
  ~CatalogAdmin() {
    if (admin_) ::CryptCATAdminReleaseContext(admin_, 0);
  }
  CatalogAdmin(const CatalogAdmin&) = delete;
  CatalogAdmin& operator=(const CatalogAdmin&) = delete;
  HCATADMIN get() const { return admin_; }

  // The file's hash as the catalogs list it; empty when it cannot be computed.
  std::vector<BYTE> Hash(HANDLE file) const {
    DWORD size = 0;
    std::vector<BYTE> hash(64);
    size = static_cast<DWORD>(hash.size());
    BOOL ok = sha256_ ? Catalogs().hash2(admin_, file, &size, hash.data(), 0)
                      : ::CryptCATAdminCalcHashFromFileHandle(file, &size, hash.data(), 0);
    if (!ok || size == 0 || size > hash.size()) return {};
    hash.resize(size);
    return hash;
  }

 private:
  HCATADMIN admin_ = nullptr;
  bool sha256_ = false;
};

// The signature of the first system catalog that lists the file's hash.
SignatureFacts CatalogFacts(HANDLE file, const std::wstring& path, bool sha256) {
  SignatureFacts facts;
  facts.opened = true;
  facts.trustResult = trust_code::kNoSignature;
  CatalogAdmin admin(sha256);
  if (!admin.get()) return facts;
  std::vector<BYTE> hash = admin.Hash(file);
  if (hash.empty()) return facts;
  HCATINFO catalog = ::CryptCATAdminEnumCatalogFromHash(admin.get(), hash.data(),
                                                        static_cast<DWORD>(hash.size()), 0,
                                                        nullptr);
  if (!catalog) return facts;
  CATALOG_INFO info{};
  info.cbStruct = sizeof info;
  if (::CryptCATCatalogInfoFromContext(catalog, &info, 0)) {
    // The member tag is the hash in upper-case hexadecimal.
    std::wstring tag;
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    for (BYTE b : hash) {
      tag += kDigits[b >> 4];
      tag += kDigits[b & 15];
    }
    WINTRUST_CATALOG_INFO member{};
    member.cbStruct = sizeof member;
    member.pcwszCatalogFilePath = info.wszCatalogFile;
    member.pcwszMemberFilePath = path.c_str();
    member.pcwszMemberTag = tag.c_str();
    member.hMemberFile = file;
    member.pbCalculatedFileHash = hash.data();
    member.cbCalculatedFileHash = static_cast<DWORD>(hash.size());
    member.hCatAdmin = admin.get();
    WINTRUST_DATA data{};
    data.dwUnionChoice = WTD_CHOICE_CATALOG;
    data.pCatalog = &member;
    VerifyInto(data, facts);
  }
  ::CryptCATAdminReleaseCatalogContext(admin.get(), catalog, 0);
  return facts;
}

}  // namespace

SignatureFacts ReadSignatureFacts(HANDLE file, const std::string& path) {
  SignatureFacts facts;
  facts.opened = file != nullptr && file != INVALID_HANDLE_VALUE;
  if (!facts.opened) return facts;
  const std::wstring widePath = Widen(path);
  WINTRUST_FILE_INFO info{};
  info.cbStruct = sizeof info;
  info.pcwszFilePath = widePath.c_str();
  info.hFile = file;  // the held handle: what is checked is what stays open
  WINTRUST_DATA data{};
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &info;
  VerifyInto(data, facts);
  return facts;
}

SignatureFacts ReadCatalogSignatureFacts(HANDLE file, const std::string& path) {
  if (file == nullptr || file == INVALID_HANDLE_VALUE) return SignatureFacts{};
  const std::wstring widePath = Widen(path);
  SignatureFacts facts = CatalogFacts(file, widePath, true);
  if (facts.hasSigner) return facts;
  ::SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  return CatalogFacts(file, widePath, false);
}

FileSigner WinSignerSource::SignerOf(const std::string& path) {
  FileSigner out;
  try {
    const std::wstring wide = Widen(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      out.kind = FileSigner::Kind::kMissing;
      return out;
    }
    // Others may go on using the program while it is read.
    UniqueFileHandle file(::CreateFileW(wide.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return out;  // there, but unreadable: nobody vouches for it
    std::string name = VerifiedSignerName(ReadSignatureFacts(file.get(), path));
    if (name.empty()) {
      ::SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN);
      name = VerifiedSignerName(ReadCatalogSignatureFacts(file.get(), path));
    }
    if (!name.empty()) {
      out.kind = FileSigner::Kind::kSigned;
      out.name = name;
    }
  } catch (const std::exception&) {
  }
  return out;
}

}  // namespace mt
