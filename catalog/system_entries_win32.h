// The entry points of WinINet (wininet.dll) and CNG (bcrypt.dll), bound at
// run time from the system folder (app/system_library_win32.h says why:
// neither is a KnownDLL on current Windows, so an import would take a file
// of that name beside the program). The program calls them only through
// these tables; without a table a web fetch fails and a signature counts as
// not valid.
#ifndef UPDATER_CATALOG_SYSTEM_ENTRIES_WIN32_H
#define UPDATER_CATALOG_SYSTEM_ENTRIES_WIN32_H

// windows.h comes before the headers that build on it.
// clang-format off
#include <windows.h>
#include <bcrypt.h>
#include <wininet.h>
// clang-format on

struct WinInetEntries {
    decltype(&::InternetOpenW) InternetOpenW;
    decltype(&::InternetConnectW) InternetConnectW;
    decltype(&::InternetSetOptionW) InternetSetOptionW;
    decltype(&::InternetCrackUrlW) InternetCrackUrlW;
    decltype(&::InternetCombineUrlW) InternetCombineUrlW;
    decltype(&::HttpOpenRequestW) HttpOpenRequestW;
    decltype(&::HttpSendRequestW) HttpSendRequestW;
    decltype(&::HttpQueryInfoW) HttpQueryInfoW;
    decltype(&::HttpQueryInfoA) HttpQueryInfoA;
    decltype(&::InternetQueryDataAvailable) InternetQueryDataAvailable;
    decltype(&::InternetReadFile) InternetReadFile;
    decltype(&::InternetCloseHandle) InternetCloseHandle;
};

struct CngEntries {
    decltype(&::BCryptOpenAlgorithmProvider) BCryptOpenAlgorithmProvider;
    decltype(&::BCryptCloseAlgorithmProvider) BCryptCloseAlgorithmProvider;
    decltype(&::BCryptGetProperty) BCryptGetProperty;
    decltype(&::BCryptCreateHash) BCryptCreateHash;
    decltype(&::BCryptHashData) BCryptHashData;
    decltype(&::BCryptFinishHash) BCryptFinishHash;
    decltype(&::BCryptDestroyHash) BCryptDestroyHash;
    decltype(&::BCryptImportKeyPair) BCryptImportKeyPair;
    decltype(&::BCryptVerifySignature) BCryptVerifySignature;
    decltype(&::BCryptDestroyKey) BCryptDestroyKey;
};

// The tables, bound from the system's wininet.dll and bcrypt.dll on first
// use (from any thread); null when the library or any of its entry points
// is missing.
const WinInetEntries* WinInet();
const CngEntries* Cng();

// Bind the table again from library (null: none), entry point by entry
// point; false, leaving the table unusable, at the first name it lacks.
// For tests that hand in a library of their own; the module is never freed.
bool BindWinInet(HMODULE library);
bool BindCng(HMODULE library);

#endif  // UPDATER_CATALOG_SYSTEM_ENTRIES_WIN32_H
