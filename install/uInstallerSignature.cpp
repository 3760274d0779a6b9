#include "install/uInstallerSignature.h"
#include "Endpoints.h"
#include "framework/Application.h"
#include "framework/Strings.h"
#include "framework/SystemLibraries.h"
#include "framework/Thread.h"
#include "install/uInstall.h"
#include "install/uInstallStrings.h"
#include "framework/Exceptions.h"
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

const wchar_t InstallerPublisher[] = TL_INSTALLER_PUBLISHER;

namespace {
constexpr size_t kHeadBytes = 4096;  // the DOS stub and the PE headers of any ordinary image fit in it
constexpr DWORD kSecurityDirectory = 4;

uint32_t ReadLe(std::string_view bytes, size_t at, size_t size) {
  uint32_t value = 0;
  for (size_t i = 0; i < size; ++i) value |= uint32_t(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  return value;
}

// wintrust and crypt32, loaded when a signature is first checked: imported, the two cost every start of
// the wizard about 10 ms under Wine before its window shows.
class TTrustFunctions {
  template <typename F>
  static F Function(const TModule& module, const char* name) {
    return module ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module.Get(), name))) : nullptr;
  }
  // Before the functions taken from them: members are made in this order.
  TModule FWintrust{LoadSystemLibrary(L"wintrust.dll")}, FCrypt32{LoadSystemLibrary(L"crypt32.dll")};

public:
  decltype(&::WinVerifyTrust) VerifyTrust = Function<decltype(&::WinVerifyTrust)>(FWintrust, "WinVerifyTrust");
  decltype(&::WTHelperProvDataFromStateData) ProviderData =
      Function<decltype(&::WTHelperProvDataFromStateData)>(FWintrust, "WTHelperProvDataFromStateData");
  decltype(&::WTHelperGetProvSignerFromChain) ProviderSigner =
      Function<decltype(&::WTHelperGetProvSignerFromChain)>(FWintrust, "WTHelperGetProvSignerFromChain");
  decltype(&::CertGetNameStringW) CertName = Function<decltype(&::CertGetNameStringW)>(FCrypt32, "CertGetNameStringW");
  bool Loaded() const { return VerifyTrust && ProviderData && ProviderSigner && CertName; }
};

// Ends the verification state whichever way the check leaves.
class TTrustState {
public:
  TTrustState(const TTrustFunctions& trust, WINTRUST_DATA& data) : FTrust(trust), FData(data) {}
  ~TTrustState() {
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    FData.dwStateAction = WTD_STATEACTION_CLOSE;
    FTrust.VerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &FData);
  }
  TTrustState(const TTrustState&) = delete;
  TTrustState& operator=(const TTrustState&) = delete;
private:
  const TTrustFunctions& FTrust;
  WINTRUST_DATA& FData;
};

// The simple display name of the certificate that signed the file (the leaf of the signer's chain).
std::wstring SignerName(const TTrustFunctions& trust, HANDLE state) {
  CRYPT_PROVIDER_DATA* provider = trust.ProviderData(state);
  CRYPT_PROVIDER_SGNR* signer = provider ? trust.ProviderSigner(provider, 0, FALSE, 0) : nullptr;
  if (!signer || signer->csCertChain == 0 || !signer->pasCertChain || !signer->pasCertChain[0].pCert) return {};
  PCCERT_CONTEXT leaf = signer->pasCertChain[0].pCert;
  DWORD size = trust.CertName(leaf, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
  if (size <= 1) return {};
  std::wstring name(size, L'\0');
  size = trust.CertName(leaf, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name.data(), size);
  name.resize(size > 0 ? size - 1 : 0);
  return name;
}

std::string ReadHead(HANDLE file) {
  std::string head(kHeadBytes, '\0');
  DWORD got = 0;
  OVERLAPPED at{};  // from the start, whatever the handle's position
  if (!::ReadFile(file, head.data(), kHeadBytes, &got, &at)) got = 0;
  head.resize(got);
  return head;
}

uint64_t FileSize(HANDLE file) {
  LARGE_INTEGER size{};
  return ::GetFileSizeEx(file, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
}

class TSignatureThread : public TThread {
public:
  explicit TSignatureThread(TInstallerFile& installer) : FInstaller(installer) {}
  // A started check uses the caller's installer until it ends.
  ~TSignatureThread() override { EndBeforeDestruction(); }
  TInstallerVerdict Verdict = TInstallerVerdict::Damaged;
protected:
  void Execute() override {
    try {
      Verdict = FInstaller.UseSealed([this](HANDLE file) {
        return VerifyInstallerSignature(file, FInstaller.Path(), InstallerPublisher);
      });
    } catch (const Exception&) {
      // The file was removed meanwhile (the window closed): it stays "damaged", and nothing runs.
    }
  }
private:
  TInstallerFile& FInstaller;  // not owned
};
}  // namespace

TInstallerVerdict ClassifyTrustResult(LONG status, std::wstring_view signer, std::wstring_view publisher,
                                      bool signatureCutOff) {
  if (status == 0)
    return !publisher.empty() && signer == publisher ? TInstallerVerdict::Genuine : TInstallerVerdict::NotSignedByVendor;
  // A file that ends before the signature its headers promise is a broken download, whatever the
  // verification made of it (no signature, a read error).
  if (signatureCutOff) return TInstallerVerdict::Damaged;
  switch (static_cast<HRESULT>(status)) {
    case TRUST_E_BAD_DIGEST:
    case TRUST_E_SUBJECT_FORM_UNKNOWN:
    case CRYPT_E_FILE_ERROR:
    case CRYPT_E_BAD_MSG:
    case CRYPT_E_BAD_ENCODE:
    case CRYPT_E_ASN1_BADTAG:
    case CRYPT_E_ASN1_EOD:
    case CRYPT_E_ASN1_CORRUPT:
      return TInstallerVerdict::Damaged;
    default:
      // Unknown or untrusted publisher, expired or revoked certificate, explicit distrust.
      return TInstallerVerdict::NotSignedByVendor;
  }
}

bool SignatureCutOff(std::string_view head, uint64_t fileSize) {
  if (head.size() < 0x40 || head.substr(0, 2) != "MZ") return false;
  const size_t pe = ReadLe(head, 0x3C, 4);
  constexpr size_t kCoffSize = 20;
  const size_t optional = pe + 4 + kCoffSize;
  if (pe > head.size() || head.size() - pe < 4 + kCoffSize + 2 || head.substr(pe, 4) != std::string_view("PE\0\0", 4))
    return false;
  const uint32_t magic = ReadLe(head, optional, 2);
  if (magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC && magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC) return false;
  const bool plus = magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
  const size_t countAt = optional + (plus ? 108 : 92);
  const size_t entryAt = optional + (plus ? 112 : 96) + kSecurityDirectory * 8;
  if (head.size() < entryAt + 8 || ReadLe(head, countAt, 4) <= kSecurityDirectory) return false;
  const uint64_t offset = ReadLe(head, entryAt, 4), size = ReadLe(head, entryAt + 4, 4);
  return size != 0 && offset + size > fileSize;
}

TInstallerVerdict VerifyInstallerSignature(HANDLE file, const std::wstring& path, std::wstring_view publisher) {
  WINTRUST_FILE_INFO fileInfo{};
  fileInfo.cbStruct = sizeof(fileInfo);
  fileInfo.pcwszFilePath = path.c_str();
  fileInfo.hFile = file;  // the held handle: the bytes checked are the bytes that run
  WINTRUST_DATA data{};
  data.cbStruct = sizeof(data);
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &fileInfo;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const TTrustFunctions trust;
  if (!trust.Loaded()) return ClassifyTrustResult(TRUST_E_PROVIDER_UNKNOWN, {}, publisher, false);
  const LONG status = trust.VerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  TTrustState state(trust, data);
  const std::wstring signer = status == 0 ? SignerName(trust, data.hWVTStateData) : std::wstring();
  return ClassifyTrustResult(status, signer, publisher, status != 0 && SignatureCutOff(ReadHead(file), FileSize(file)));
}

std::wstring CheckInstallerModal(TInstallerFile& installer) {
  try {
    installer.Seal();
  } catch (const Exception& error) {
    return error.Message();
  }
  TSignatureThread thread(installer);
  thread.Start();
  Application->WaitPumping(thread.Handle());
  thread.WaitFor();
  // A check that broke off has no verdict: the installer does not run, and the user learns why.
  if (thread.FatalException()) return thread.FatalErrorText();
  const TInstallerVerdict verdict = thread.Verdict;
  switch (verdict) {
    case TInstallerVerdict::Genuine:
      return {};
    case TInstallerVerdict::NotSignedByVendor:
      return FormatText(LoadInstallStr(sInstallerNotSignedByVendor), {InstallerPublisher});
    case TInstallerVerdict::Damaged:
      break;
  }
  return LoadInstallStr(sInstallerDamaged);
}
