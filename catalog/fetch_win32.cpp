// Fetching on Windows: the web branch over WinINet, the folder branch over
// CreateFileW and one ReadFile.
#include "catalog/fetch_os.h"

#include <stdlib.h>
#include <windows.h>
#include <wininet.h>

#include "app/shared_state.h"
#include "app/shared_state_os.h"
#include "catalog/fetch_body.h"
#include "catalog/wire_address.h"

namespace {

// Always from the server, never into the cache, with a no-cache pragma, and
// never a dialog. Redirects are followed as WinINet does by default.
const DWORD OpenUrlFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                           INTERNET_FLAG_NO_UI | INTERNET_FLAG_PRAGMA_NOCACHE;

// A numeric response header; false when the response has none.
bool QueryNumber(HINTERNET request, DWORD which, DWORD* value) {
    DWORD length = sizeof *value;
    *value = 0;
    return HttpQueryInfoW(request, which | HTTP_QUERY_FLAG_NUMBER, value, &length, nullptr) !=
           FALSE;
}

// The read loop over an opened 200 response. A clean end of the loop is not
// taken on trust: FinishFetchBody compares the bytes with the announced
// length, because WinINet ends a body cut short by the server like a whole
// one.
unsigned char* ReadResponseBody(HINTERNET request, uint32_t* size, int progressIndex) {
    FetchBody body;
    BeginFetchBody(&body, progressIndex);
    DWORD announced = 0;
    if (QueryNumber(request, HTTP_QUERY_CONTENT_LENGTH, &announced)) body.announced = announced;
    for (;;) {
        // A block that cannot grow gives null even after part of the body:
        // a shortened body is never handed back.
        if (!ReserveFetchRoom(&body, 0) || CancelFlag.load() != 0) break;
        DWORD got = 0;
        if (!InternetReadFile(request, FetchReadTarget(&body), FetchReadRoom(&body), &got)) {
            break;
        }
        if (got == 0) return FinishFetchBody(&body, size);
        CountFetchedBytes(&body, got);
    }
    DiscardFetchBody(&body);
    return nullptr;
}

unsigned char* ReadResponse(HINTERNET request, uint32_t* size, int progressIndex) {
    DWORD status = 0;
    if (!QueryNumber(request, HTTP_QUERY_STATUS_CODE, &status) || status != 200) return nullptr;
    return ReadResponseBody(request, size, progressIndex);
}

// Steps 2 to 4 of the folder read on an open file. GetFileSize is asked for
// the high half too: the low half alone would read a file over 4 GiB as a
// short one and hand back a part of it as if it were all.
unsigned char* ReadOpenFile(HANDLE file, uint32_t* size) {
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE || high != 0) return nullptr;
    unsigned char* buffer = static_cast<unsigned char*>(malloc(static_cast<size_t>(low) + 1));
    if (buffer == nullptr) return nullptr;
    DWORD got = 0;
    if (!ReadFile(file, buffer, low, &got, nullptr)) {
        free(buffer);
        return nullptr;
    }
    buffer[got] = 0;
    *size = got;
    return buffer;
}

}  // namespace

// The address goes to InternetOpenUrlW in its wire form: WinINet under Wine
// would send characters outside ASCII in the ANSI code page, unescaped
// (wire_address.h says more).
unsigned char* FetchFromWeb(const char16_t* address, uint32_t* size, int progressIndex) {
    char16_t wire[WIRE_ADDRESS_CAPACITY];
    if (!MakeWireAddress(address, wire, WIRE_ADDRESS_CAPACITY)) return nullptr;
    HINTERNET root =
        InternetOpenW(L"ZentoUpdater", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (root == nullptr) return nullptr;
    unsigned char* result = nullptr;
    HINTERNET request =
        InternetOpenUrlW(root, reinterpret_cast<const wchar_t*>(wire), nullptr, 0, OpenUrlFlags, 0);
    if (request != nullptr) {
        result = ReadResponse(request, size, progressIndex);
        InternetCloseHandle(request);
    }
    InternetCloseHandle(root);
    return result;
}

unsigned char* FetchFromFolder(const char16_t* path, uint32_t* size, int progressIndex) {
    HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    unsigned char* result = ReadOpenFile(file, size);
    CloseHandle(file);
    // Once the file is open there is exactly one message, whatever the read
    // gave.
    if (progressIndex >= 0) {
        PostToMainWindow(WM_APP_PROGRESS, static_cast<uintptr_t>(progressIndex), 1000);
    }
    return result;
}
