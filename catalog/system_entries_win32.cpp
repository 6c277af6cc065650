// WinINet and CNG bound from the system folder, entry point by entry point.
#include "catalog/system_entries_win32.h"

#include "app/system_library_win32.h"

namespace {

WinInetEntries WinInetTable;
CngEntries CngTable;
// Set after a table is whole; a caller on another thread reads it after the
// one-time binding, whose completion C++ orders before that read.
volatile bool WinInetBound;
volatile bool CngBound;

// Each name looked up under its own spelling, into the field of that name.
#define BIND(table, name) BindEntry(library, #name, &(table).name)

}  // namespace

bool BindWinInet(HMODULE library) {
    WinInetBound = false;
    WinInetEntries& t = WinInetTable;
    WinInetBound = BIND(t, InternetOpenW) && BIND(t, InternetConnectW) &&
                   BIND(t, InternetSetOptionW) && BIND(t, InternetCrackUrlW) &&
                   BIND(t, InternetCombineUrlW) && BIND(t, HttpOpenRequestW) &&
                   BIND(t, HttpSendRequestW) && BIND(t, HttpQueryInfoW) &&
                   BIND(t, HttpQueryInfoA) && BIND(t, InternetQueryDataAvailable) &&
                   BIND(t, InternetReadFile) && BIND(t, InternetCloseHandle);
    return WinInetBound;
}

bool BindCng(HMODULE library) {
    CngBound = false;
    CngEntries& t = CngTable;
    CngBound = BIND(t, BCryptOpenAlgorithmProvider) && BIND(t, BCryptCloseAlgorithmProvider) &&
               BIND(t, BCryptGetProperty) && BIND(t, BCryptCreateHash) && BIND(t, BCryptHashData) &&
               BIND(t, BCryptFinishHash) && BIND(t, BCryptDestroyHash) &&
               BIND(t, BCryptImportKeyPair) && BIND(t, BCryptVerifySignature) &&
               BIND(t, BCryptDestroyKey);
    return CngBound;
}

const WinInetEntries* WinInet() {
    static const bool once = BindWinInet(LoadSystemLibrary(L"wininet.dll")) || true;
    (void)once;
    return WinInetBound ? &WinInetTable : nullptr;
}

const CngEntries* Cng() {
    static const bool once = BindCng(LoadSystemLibrary(L"bcrypt.dll")) || true;
    (void)once;
    return CngBound ? &CngTable : nullptr;
}
