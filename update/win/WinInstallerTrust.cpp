#include "update/win/WinInstallerTrust.h"

#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>

#include <cstdio>

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
    UniqueFileHandle file(::CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                        nullptr));
    if (!file) {
      return Refuse(TrustVerdict::kUnreadable,
                    "cannot hold " + path + ": " + SystemErrorText(::GetLastError()));
    }
    const SignatureFacts facts = ReadSignatureFacts(file.get(), path);
    const TrustVerdict verdict = JudgeSignature(facts, kSignerName);
    if (verdict != TrustVerdict::kTrusted) {
      return Refuse(verdict, std::string(TrustVerdictName(verdict)) + ": WinVerifyTrust " +
                                 Hex(static_cast<uint32_t>(facts.trustResult)) + ", chain " +
                                 Hex(facts.chainErrors) + ", signer \"" + facts.signerName +
                                 "\"");
    }
    return Accept(path, std::make_unique<WinHeldFile>(std::move(file)));
  } catch (const std::exception& e) {
    return Refuse(TrustVerdict::kRejected, e.what());
  }
}

bool WinInstallerLauncher::Start(VerifiedInstaller installer, int show) {
  // Only a file that this platform's verifier holds is started.
  if (!dynamic_cast<const WinHeldFile*>(installer.Hold())) return false;
  const std::wstring application = Widen(installer.Path());
  std::wstring commandLine = Widen(InstallerCommandLine(installer.Path()));
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = static_cast<WORD>(show);
  PROCESS_INFORMATION pi{};
  // The application name is the held file itself, so no search path is consulted.
  if (!::CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &si, &pi)) {
    return false;
  }
  UniqueKernelHandle thread(pi.hThread), process(pi.hProcess);
  return true;
}  // the hold ends here, once the process exists

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
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  // No revocation look-ups and nothing fetched from the network: the chain must come with
  // the signature and end at a root this machine already trusts. An on-line check over the
  // same network the installer came from would add little, and could stall the check.
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_DISABLE_MD2_MD4;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &info;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  data.dwUIContext = WTD_UICONTEXT_EXECUTE;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  facts.trustResult = static_cast<int32_t>(
      ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data));
  TrustState state(action, data);

  CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(data.hWVTStateData);
  CRYPT_PROVIDER_SGNR* signer =
      provider ? ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
  if (!signer || signer->csCertChain == 0 || !signer->pasCertChain ||
      !signer->pasCertChain[0].pCert) {
    return facts;
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
  return facts;
}

}  // namespace mt
