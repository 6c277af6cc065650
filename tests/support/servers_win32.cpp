// Trusting the test authority under Wine: WinINet asks the system which
// roots to trust, so the authority goes into the prefix's LocalMachine Root
// store (the prefix is the tests' own).
//
// Wine settles the roots a process trusts at its first TLS handshake and
// keeps them for the rest of that process, and an authority once added stays
// in the prefix (deleting it again does not last). So the authority is added
// before any test talks HTTPS, and a refused certificate is tested against a
// second set of servers whose authority is never added.
#include "tests/support/servers.h"

#include <windows.h>

#include <wincrypt.h>  // needs windows.h first

bool TrustTestAuthority(const TestServers& servers) {
    std::string der = ReadFileBytes(servers.caDer);
    HCERTSTORE store =
        CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (store == nullptr) return false;
    BOOL added = CertAddEncodedCertificateToStore(
        store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
        static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    CertCloseStore(store, 0);
    return added != FALSE;
}

bool DistrustTestAuthority(const TestServers&) {
    return false;  // see the top of this file
}
