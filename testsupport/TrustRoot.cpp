// Makes the private Wine prefix trust a test CA, so that WinINet accepts the
// servers it signed, and forgets it again afterwards.
//   trust_root --add CA.der      adds the certificate (DER) to the machine's
//                                "Root" store
//   trust_root --remove CA.der   removes it from there
// Exit code 0 when done; 1 on a failure, 2 on a wrong command line, 3
// anywhere but in the project's own prefix, whose machine store belongs to
// nobody.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <cwchar>
#include <vector>

#include "testsupport/WinePrefix.h"
#include "toolkit/ScopedResource.h"

namespace {

void CloseStore(HCERTSTORE store) { ::CertCloseStore(store, 0); }
using CCertStore = CScopedHandle<HCERTSTORE, CloseStore>;
using CCertificate = CScopedHandle<PCCERT_CONTEXT, ::CertFreeCertificateContext>;

bool ReadWholeFile(const wchar_t* path, std::vector<BYTE>& bytes) {
    const CHandle file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 || size.QuadPart > (1 << 20)) return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    return ::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
           read == bytes.size();
}

bool Remove(HCERTSTORE store, const CCertificate& certificate) {
    const PCCERT_CONTEXT found =
        ::CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, certificate.get(), nullptr);
    // The delete frees the context it is given, whether or not it succeeds.
    return found && ::CertDeleteCertificateFromStore(found);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const bool add = argc == 3 && std::wcscmp(argv[1], L"--add") == 0;
    if (argc != 3 || (!add && std::wcscmp(argv[1], L"--remove") != 0)) {
        std::fprintf(stderr, "usage: trust_root --add|--remove CA.der\n");
        return 2;
    }
    if (!InPrivateWinePrefix()) {
        std::fprintf(stderr, "trust_root changes the machine's Root store: it runs only in build/wineprefix or build/wineprefix64\n");
        return 3;
    }
    std::vector<BYTE> der;
    const CCertificate certificate(
        ReadWholeFile(argv[2], der)
            ? ::CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()))
            : nullptr);
    const CCertStore store(
        ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root"));
    if (!certificate || !store) {
        std::fprintf(stderr, "trust_root: no certificate in %ls, or no Root store\n", argv[2]);
        return 1;
    }
    const bool done = add ? ::CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING, der.data(),
                                                               static_cast<DWORD>(der.size()),
                                                               CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != FALSE
                          : Remove(store.get(), certificate);
    const DWORD error = ::GetLastError();
    if (!done) std::fprintf(stderr, "trust_root: failed, error 0x%08lx\n", error);
    return done ? 0 : 1;
}
