// Adds a DER certificate to the machine's "Root" store of the Wine prefix, so that the stand-ins'
// test CA is trusted there. Test set-up only.
#include <windows.h>
#include <wincrypt.h>
#include <cstdio>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) { std::fprintf(stderr, "usage: trustca <ca.der>\n"); return 2; }
  HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) { std::fprintf(stderr, "trustca: cannot open the certificate\n"); return 1; }
  std::vector<BYTE> der(GetFileSize(file, nullptr));
  DWORD got = 0;
  BOOL read = ReadFile(file, der.data(), static_cast<DWORD>(der.size()), &got, nullptr);
  CloseHandle(file);
  if (!read || got != der.size()) { std::fprintf(stderr, "trustca: cannot read the certificate\n"); return 1; }
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
  if (!store) { std::fprintf(stderr, "trustca: cannot open the Root store\n"); return 1; }
  BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                                CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  CertCloseStore(store, 0);
  if (!added) { std::fprintf(stderr, "trustca: cannot add the certificate (%lu)\n", GetLastError()); return 1; }
  return 0;
}
