// Fetching on Windows: the web branch over WinINet, the folder branch over
// CreateFileW and one ReadFile.
//
// The web request is made step by step (connection, request, send) rather
// than with InternetOpenUrlW, for three reasons. The wait bounds of
// fetch_rules.h hold only when they are set on the request handle (Wine's
// WinINet ignores a receive timeout given to the root handle before
// InternetOpenUrlW). Redirects are followed here, so that they can be
// counted and kept to http and https. And the request then carries no
// fragment.
//
// A cancel cannot rely on WinINet: closing a handle from another thread does
// not end a blocked call under Wine. So the fetch runs on a thread of its own
// (a WebJob) and the caller waits for it, looking at CancelFlag every
// FETCH_CANCEL_POLL_MS; on a cancel it stops waiting and returns at once.
// The abandoned thread sees the cancel at its next step, or its wait bound
// ends it, and it frees what it holds.
//
// The waiting side also ends a fetch, exactly as a cancel does, when no byte
// has come for FetchWaitBoundMs in any phase: WinINet under Wine applies no
// timeout to the TLS handshake, so no phase may rest on the library's own
// bounds. A thread given up on may stay blocked until the peer lets go; at
// most FETCH_MAX_ABANDONED of them may still run, and a fetch asked for
// while that many do fails at once rather than start another.
//
// WinINet decodes a chunked body itself and ends one cut short like a whole
// one (Wine's does; Windows documents nothing either way), so here only an
// announced length proves where a body ends.
#include <stdlib.h>
#include <windows.h>

#include "app/shared_state.h"
#include "app/shared_state_os.h"
#include "catalog/fetch_body.h"
#include "catalog/fetch_os.h"
#include "catalog/fetch_rules.h"
#include "catalog/fetch_test_hooks.h"
#include "catalog/system_entries_win32.h"
#include "catalog/wire_address.h"

namespace {

enum {
    LOCATION_CAPACITY = 4096,  // the Location of a redirect, in characters
};

// Always from the server, never into the cache, with a no-cache pragma,
// never a dialog, no cookies (WinINet's jar is the user's browser's), and
// redirects left to FetchFollowingRedirects.
const DWORD RequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                           INTERNET_FLAG_NO_UI | INTERNET_FLAG_PRAGMA_NOCACHE |
                           INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTO_REDIRECT;

// One web fetch, shared by the caller that waits for it and the thread that
// runs it; whichever lets go last frees it.
struct WebJob {
    volatile LONG references;  // 2 while both hold it
    volatile LONG abandoned;   // the caller stopped waiting (a cancel or the bound)
    volatile LONG lastHeard;   // GetTickCount when the server was last heard from
    HANDLE finished;           // set when result and size are final
    WinInetEntries net;        // a copy of the bound entry points, for the whole fetch
    FetchTerms terms;
    int progressIndex;
    unsigned char* result;  // the content, until the caller takes it
    uint32_t size;
    char16_t address[WIRE_ADDRESS_CAPACITY];  // the wire address, then each redirect's
};

// Fetch threads given up on whose jobs are not yet released.
volatile LONG AbandonedJobs;

void ReleaseWebJob(WebJob* job) {
    if (InterlockedDecrement(&job->references) != 0) return;
    if (job->abandoned != 0) InterlockedDecrement(&AbandonedJobs);
    free(job->result);
    CloseHandle(job->finished);
    free(job);
}

// True once nobody wants the content any more.
bool Stopped(const WebJob* job) {
    return CancelFlag.load() != 0 || job->abandoned != 0;
}

void Heard(WebJob* job) {
    InterlockedExchange(&job->lastHeard, static_cast<LONG>(GetTickCount()));
}

const wchar_t* Wide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}

// A numeric response header; false when the response has none.
bool QueryNumber(const WinInetEntries& net, HINTERNET request, DWORD which, DWORD* value) {
    DWORD length = sizeof *value;
    *value = 0;
    return net.HttpQueryInfoW(request, which | HTTP_QUERY_FLAG_NUMBER, value, &length, nullptr) !=
           FALSE;
}

// Every wait of the handle and the handles made from it ends after the
// bound: connecting, sending, and each receive (so the wait for the answer
// and any silence inside the body).
void SetWaitBounds(const WinInetEntries& net, HINTERNET handle) {
    DWORD bound = FetchWaitBoundMs();
    DWORD once = 1;
    net.InternetSetOptionW(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &bound, sizeof bound);
    net.InternetSetOptionW(handle, INTERNET_OPTION_SEND_TIMEOUT, &bound, sizeof bound);
    net.InternetSetOptionW(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &bound, sizeof bound);
    net.InternetSetOptionW(handle, INTERNET_OPTION_CONNECT_RETRIES, &once, sizeof once);
}

// The head of the response as it came (all its headers, duplicates kept),
// read by the same rules as on every build.
bool QueryFraming(const WinInetEntries& net, HINTERNET request, ResponseFraming* framing) {
    char* head = static_cast<char*>(malloc(FETCH_MAX_HEAD_BYTES));
    if (head == nullptr) return false;
    DWORD length = FETCH_MAX_HEAD_BYTES;
    bool ok = net.HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, head, &length, nullptr) &&
              length < FETCH_MAX_HEAD_BYTES && ReadResponseFraming(head, length, framing);
    free(head);
    return ok;
}

// How much one read asks for. A read waits until it has all it asked for,
// while InternetQueryDataAvailable under Wine reports at most one buffer
// (8 KiB), and reads of that size cost a third of the speed. So the ask
// follows the pace of the body: it starts at what has arrived, doubles while
// reads come back at once and falls back to what has arrived when one
// waited long. At any pace a read then waits a fraction of a second, so the
// bar follows the bytes and the waiting side hears of them well inside the
// bound (a read that waits for more than has come shows it nothing); a
// cancel does not wait for it at all (FetchFromWeb).
struct ReadPace {
    DWORD ask;  // bytes the next read asks for, 0 for only what has arrived
};

const DWORD PACE_QUICK_MS = 50;
const DWORD PACE_SLOW_MS = 200;

void AdjustPace(ReadPace* pace, DWORD asked, DWORD waitedMs) {
    if (waitedMs < PACE_QUICK_MS) pace->ask = asked <= FETCH_MAX_READ / 2 ? 2 * asked : asked;
    if (waitedMs > PACE_SLOW_MS) pace->ask = 0;
}

// Reads the body of an accepted 200 response. InternetQueryDataAvailable
// waits (within the receive bound) until some of the body has arrived, or
// says 0 at its end.
unsigned char* ReadBody(WebJob* job, HINTERNET request, FetchBody* body, uint32_t* size) {
    ReadPace pace = {0};
    for (;;) {
        DWORD available = 0;
        if (Stopped(job) || !job->net.InternetQueryDataAvailable(request, &available, 0, 0)) break;
        Heard(job);
        if (available == 0) return FinishFetchBody(body, size);
        if (!ReserveFetchRoom(body, 0)) break;
        DWORD room = FetchReadRoom(body);
        DWORD ask = available > pace.ask ? available : pace.ask;
        if (ask > room) ask = room;
        DWORD got = 0;
        DWORD start = GetTickCount();
        if (!job->net.InternetReadFile(request, FetchReadTarget(body), ask, &got) || Stopped(job)) {
            break;
        }
        Heard(job);
        AdjustPace(&pace, ask, GetTickCount() - start);
        if (got == 0) return FinishFetchBody(body, size);
        CountFetchedBytes(body, got);
    }
    DiscardFetchBody(body);
    return nullptr;
}

unsigned char* ReadResponse(WebJob* job, HINTERNET request, uint32_t* size) {
    ResponseFraming framing;
    if (!QueryFraming(job->net, request, &framing)) return nullptr;
    if (!framing.hasLength && job->terms.needsProvenEnd) return nullptr;
    FetchBody body;
    BeginFetchBody(&body, job->progressIndex);
    body.limit = job->terms.maxBytes;
    if (framing.hasLength && !SetAnnouncedLength(&body, framing.length)) return nullptr;
    return ReadBody(job, request, &body, size);
}

// Opens and sends the GET of address (a wire address: no fragment, nothing
// to escape). The connection handle comes back through *connection, to be
// closed after the request; null when anything failed.
HINTERNET SendRequest(const WinInetEntries& net, HINTERNET root, const char16_t* address,
                      HINTERNET* connection) {
    wchar_t host[INTERNET_MAX_HOST_NAME_LENGTH + 1];
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = INTERNET_MAX_HOST_NAME_LENGTH + 1;
    parts.dwUrlPathLength = 1;  // a pointer into address; the query follows the path there
    if (!net.InternetCrackUrlW(Wide(address), 0, 0, &parts)) return nullptr;
    bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    if (!secure && parts.nScheme != INTERNET_SCHEME_HTTP) return nullptr;
    const wchar_t* object =
        parts.lpszUrlPath != nullptr && parts.lpszUrlPath[0] != 0 ? parts.lpszUrlPath : L"/";
    *connection = net.InternetConnectW(root, host, parts.nPort, nullptr, nullptr,
                                       INTERNET_SERVICE_HTTP, 0, 0);
    if (*connection == nullptr) return nullptr;
    SetWaitBounds(net, *connection);
    HINTERNET request = net.HttpOpenRequestW(*connection, L"GET", object, nullptr, nullptr, nullptr,
                                             RequestFlags | (secure ? INTERNET_FLAG_SECURE : 0), 0);
    if (request != nullptr) {
        SetWaitBounds(net, request);
        if (net.HttpSendRequestW(request, nullptr, 0, nullptr, 0)) return request;
        net.InternetCloseHandle(request);
    }
    net.InternetCloseHandle(*connection);
    *connection = nullptr;
    return nullptr;
}

// Replaces job->address by the target of the redirect: the Location, taken
// relative to the address, to http or https only (never from https down to
// http), in its wire form.
bool TakeRedirect(WebJob* job, HINTERNET request) {
    wchar_t location[LOCATION_CAPACITY];
    DWORD length = sizeof location;
    if (!job->net.HttpQueryInfoW(request, HTTP_QUERY_LOCATION, location, &length, nullptr))
        return false;
    char16_t* combined = static_cast<char16_t*>(malloc(WIRE_ADDRESS_CAPACITY * sizeof(char16_t)));
    if (combined == nullptr) return false;
    DWORD capacity = WIRE_ADDRESS_CAPACITY;
    bool ok = job->net.InternetCombineUrlW(Wide(job->address), location,
                                           reinterpret_cast<wchar_t*>(combined), &capacity,
                                           ICU_NO_ENCODE) &&
              IsWebAddress(combined) && !IsDowngrade(job->address, combined) &&
              MakeWireAddress(combined, job->address, WIRE_ADDRESS_CAPACITY);
    free(combined);
    return ok;
}

// The request, and each redirect's, up to FETCH_MAX_REDIRECTS of them; the
// content of the 200 response that ends the chain, or null.
unsigned char* FetchFollowingRedirects(WebJob* job, uint32_t* size) {
    const WinInetEntries& net = job->net;
    HINTERNET root =
        net.InternetOpenW(L"ZentoUpdater", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (root == nullptr) return nullptr;
    SetWaitBounds(net, root);
    unsigned char* result = nullptr;
    for (int hop = 0; hop <= FETCH_MAX_REDIRECTS && !Stopped(job); ++hop) {
        HINTERNET connection = nullptr;
        HINTERNET request = SendRequest(net, root, job->address, &connection);
        if (request == nullptr) break;
        Heard(job);  // the response's head has come
        DWORD status = 0;
        bool known = QueryNumber(net, request, HTTP_QUERY_STATUS_CODE, &status);
        bool next = known && IsFollowedRedirect(status) && TakeRedirect(job, request);
        if (known && status == 200) result = ReadResponse(job, request, size);
        net.InternetCloseHandle(request);
        net.InternetCloseHandle(connection);
        if (!next) break;
    }
    net.InternetCloseHandle(root);
    return result;
}

DWORD WINAPI RunWebJob(void* parameter) {
    WebJob* job = static_cast<WebJob*>(parameter);
    job->result = FetchFollowingRedirects(job, &job->size);
    SetEvent(job->finished);
    ReleaseWebJob(job);
    return 0;
}

WebJob* NewWebJob(const char16_t* address, int progressIndex, const FetchTerms* terms) {
    const WinInetEntries* net = WinInet();
    if (net == nullptr) return nullptr;
    WebJob* job = static_cast<WebJob*>(calloc(1, sizeof(WebJob)));
    if (job == nullptr) return nullptr;
    job->finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (job->finished == nullptr ||
        !MakeWireAddress(address, job->address, WIRE_ADDRESS_CAPACITY)) {
        if (job->finished != nullptr) CloseHandle(job->finished);
        free(job);
        return nullptr;
    }
    job->references = 2;
    job->lastHeard = static_cast<LONG>(GetTickCount());
    job->net = *net;
    job->terms = *terms;
    job->progressIndex = progressIndex;
    return job;
}

// The folder read of an open file: its size (refused above maxBytes), one
// block of that size and one more byte, one read into it, and the zero byte
// after what was read. Null on a failure, with nothing left allocated; the
// caller closes the file. GetFileSize is asked for the high half too: the
// low half alone would read a file over 4 GiB as a short one and hand back
// a part of it as if it were all.
unsigned char* ReadOpenFile(HANDLE file, uint32_t* size, uint32_t maxBytes) {
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE || high != 0 || low > maxBytes) return nullptr;
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

int FetchAbandonedCountForTests() {
    return AbandonedJobs;
}

// The address goes to WinINet in its wire form: WinINet under Wine would
// send characters outside ASCII in the ANSI code page, unescaped
// (wire_address.h says more).
unsigned char* FetchFromWeb(const char16_t* address, uint32_t* size, int progressIndex,
                            const FetchTerms* terms) {
    if (AbandonedJobs >= FETCH_MAX_ABANDONED) return nullptr;
    WebJob* job = NewWebJob(address, progressIndex, terms);
    if (job == nullptr) return nullptr;
    // The default stack: WinINet, SChannel and a proxy script run on it, and
    // a reservation costs address space only, never memory.
    HANDLE thread = CreateThread(nullptr, 0, RunWebJob, job, 0, nullptr);
    if (thread == nullptr) {
        job->references = 1;
        ReleaseWebJob(job);
        return nullptr;
    }
    CloseHandle(thread);
    unsigned char* result = nullptr;
    for (;;) {
        DWORD waited = WaitForSingleObject(job->finished, FETCH_CANCEL_POLL_MS);
        if (waited == WAIT_OBJECT_0) {
            result = job->result;
            *size = result != nullptr ? job->size : 0;
            job->result = nullptr;
            break;
        }
        DWORD silence = GetTickCount() - static_cast<DWORD>(job->lastHeard);
        if (waited != WAIT_TIMEOUT || CancelFlag.load() != 0 || silence > FetchWaitBoundMs()) {
            // Counted before the mark, so that whichever side releases the
            // job last sees the mark and takes the count back.
            InterlockedIncrement(&AbandonedJobs);
            InterlockedExchange(&job->abandoned, 1);
            break;
        }
    }
    ReleaseWebJob(job);
    return result;
}

unsigned char* FetchFromFolder(const char16_t* path, uint32_t* size, int progressIndex,
                               const FetchTerms* terms) {
    HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    unsigned char* result = ReadOpenFile(file, size, terms->maxBytes);
    CloseHandle(file);
    // Once the file is open there is exactly one message, whatever the read
    // gave.
    if (progressIndex >= 0) {
        PostToMainWindow(WM_APP_PROGRESS, static_cast<uintptr_t>(progressIndex), 1000);
    }
    return result;
}
