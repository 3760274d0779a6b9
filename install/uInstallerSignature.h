#pragma once
// The check that stands between the download and the elevated run of the installer: the file must carry
// an intact Authenticode signature of the vendor.
#include <windows.h>
#include <cstdint>
#include <string>
#include <string_view>

// The signer the installer must name (a constant of the build).
extern const wchar_t InstallerPublisher[];

enum class TInstallerVerdict { Genuine, NotSignedByVendor, Damaged };

// Which verdict a WinVerifyTrust result gives, with the simple display name of the signer's own
// certificate (read only when the signature verified) and whether the file ends inside its signature.
TInstallerVerdict ClassifyTrustResult(LONG status, std::wstring_view signer, std::wstring_view publisher,
                                      bool signatureCutOff);

// Whether the PE image whose leading bytes these are declares a certificate table (its signature) that
// reaches beyond the end of the file: a truncated file.
bool SignatureCutOff(std::string_view head, uint64_t fileSize);

// Verifies the open file's signature (no UI, no revocation look-up over the network) and its signer.
TInstallerVerdict VerifyInstallerSignature(HANDLE file, const std::wstring& path, std::wstring_view publisher);

class TInstallerFile;

// Seals the downloaded installer (nobody may change it from now on) and checks it on a worker while the GUI
// thread keeps handling its messages. Returns the empty text when the installer may run, otherwise the
// message that says why it may not.
std::wstring CheckInstallerModal(TInstallerFile& installer);
