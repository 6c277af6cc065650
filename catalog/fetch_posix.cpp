// Fetching on POSIX: the web branch over libcurl, the folder branch over
// open, fstat and read.
//
// The web request is the one the Windows build makes: a GET of the address
// (its wire form, see wire_address.h) over HTTP/1.1 with the agent
// "ZentoUpdater" and a no-cache pragma, at most FETCH_MAX_REDIRECTS
// redirects followed (to http and https only), status 200 only, certificates
// always verified. libcurl runs on the caller's thread; its progress callback,
// which it calls about once a second even while nothing arrives, is where a
// cancel and the silence bound (fetch_rules.h) end the transfer.
//
// libcurl checks a chunked body to its last chunk and reports one cut short
// or with broken framing as an error, so a chunked body proves its end here.
#include <curl/curl.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "app/path_posix.h"
#include "app/shared_state.h"
#include "app/shared_state_os.h"
#include "app/unicode.h"
#include "catalog/fetch_body.h"
#include "catalog/fetch_os.h"
#include "catalog/fetch_rules.h"
#include "catalog/fetch_test_hooks.h"
#include "catalog/wire_address.h"

namespace {

enum {
    // The wire address as UTF-8: ASCII but for the host, at most three
    // bytes a unit there.
    UTF8_WIRE_CAPACITY = 3 * WIRE_ADDRESS_CAPACITY,
    EXTRA_CA_CAPACITY = 4096,    // path of the test-only certificate file
    CURL_BUFFER_BYTES = 524288,  // fewer, larger hand-overs of a big body
};

// Set only by tests (FetchTrustExtraCaFileForTests); empty in the program.
char ExtraCaFile[EXTRA_CA_CAPACITY];

// ---- the web branch ----

bool CurlReady() {
    // Thread-safe in the libcurl this builds against; done once.
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}

// One handle per thread, so that a download run (one worker thread) keeps
// its connection from file to file instead of opening a new one (and doing
// a new TLS handshake) for every file. It is reset to no options before
// each fetch and closed when the thread ends. libcurl reuses a connection
// only for the same host, port and TLS settings. A handle whose fetch
// failed is closed at once: after some failures (a redirect it refused) a
// reset handle failed every later transfer.
struct ThreadCurl {
    CURL* handle = nullptr;
    ~ThreadCurl() {
        if (handle != nullptr) curl_easy_cleanup(handle);
    }
};

thread_local ThreadCurl OwnCurl;

CURL* TakeThreadCurl() {
    if (OwnCurl.handle == nullptr) {
        OwnCurl.handle = curl_easy_init();
    } else {
        curl_easy_reset(OwnCurl.handle);
    }
    return OwnCurl.handle;
}

void KeepThreadCurl(bool healthy) {
    if (healthy || OwnCurl.handle == nullptr) return;
    curl_easy_cleanup(OwnCurl.handle);
    OwnCurl.handle = nullptr;
}

struct CurlFetch {
    CURL* handle;
    FetchBody body;
    const FetchTerms* terms;
    std::string head;       // header lines of the latest response, after its status line
    bool headEnded;         // the blank line after them arrived
    bool responseAccepted;  // the status and framing were looked at
    bool wasSecure;         // an https request came first (no way down to http)
    uint32_t lastHeard;     // TickCount when the server was last heard from
};

// The status and framing of the response whose body now arrives (redirect
// responses are followed before their bodies reach us).
bool AcceptResponse(CurlFetch* fetch) {
    long status = 0;
    ResponseFraming framing;
    if (curl_easy_getinfo(fetch->handle, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK ||
        status != 200 || !fetch->headEnded ||
        !ReadResponseFraming(fetch->head.data(), fetch->head.size(), &framing)) {
        return false;
    }
    if (!framing.hasLength && !framing.chunked && fetch->terms->needsProvenEnd) return false;
    if (framing.hasLength && !SetAnnouncedLength(&fetch->body, framing.length)) return false;
    fetch->responseAccepted = true;
    return true;
}

// Each header line of every response, redirects included: a status line
// starts a new head.
size_t TakeHeaderLine(char* bytes, size_t unit, size_t count, void* context) {
    CurlFetch* fetch = static_cast<CurlFetch*>(context);
    size_t total = unit * count;
    fetch->lastHeard = TickCount();
    if (total >= 5 && memcmp(bytes, "HTTP/", 5) == 0) {
        fetch->head.clear();
        fetch->headEnded = false;
    } else if ((total == 2 && bytes[0] == '\r') || (total == 1 && bytes[0] == '\n')) {
        fetch->headEnded = true;
    } else if (fetch->head.size() + total > FETCH_MAX_HEAD_BYTES) {
        return 0;
    } else {
        fetch->head.append(bytes, total);
    }
    return total;
}

// libcurl hands over each block it has read; returning less than the block
// ends the transfer with an error, which is how a cancel, a refused response
// or a block that cannot grow (or passes the limit) stop the fetch.
size_t TakeBodyBlock(char* bytes, size_t unit, size_t count, void* context) {
    CurlFetch* fetch = static_cast<CurlFetch*>(context);
    size_t total = unit * count;
    fetch->lastHeard = TickCount();
    if (CancelFlag.load() != 0) return 0;
    if (!fetch->responseAccepted && !AcceptResponse(fetch)) return 0;
    if (total > UINT32_MAX || !ReserveFetchRoom(&fetch->body, total)) return 0;
    memcpy(FetchReadTarget(&fetch->body), bytes, total);
    CountFetchedBytes(&fetch->body, static_cast<uint32_t>(total));
    return total;
}

// Called by libcurl about once a second while it waits, and more often
// while bytes flow: a non-zero result aborts the transfer.
int WatchTransfer(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const CurlFetch* fetch = static_cast<const CurlFetch*>(context);
    if (CancelFlag.load() != 0) return 1;
    return TickCount() - fetch->lastHeard > FetchWaitBoundMs() ? 1 : 0;
}

// Once connected (and for each redirect's request), the wait for the answer
// starts afresh; a redirect from https down to http is refused here, as the
// Windows build refuses it (IsDowngrade).
int ConnectionReady(void* context, char*, char*, int, int) {
    CurlFetch* fetch = static_cast<CurlFetch*>(context);
    fetch->lastHeard = TickCount();
    char* url = nullptr;
    if (curl_easy_getinfo(fetch->handle, CURLINFO_EFFECTIVE_URL, &url) != CURLE_OK ||
        url == nullptr) {
        return CURL_PREREQFUNC_ABORT;
    }
    bool secure = strncasecmp(url, "https://", 8) == 0;
    if (fetch->wasSecure && !secure) return CURL_PREREQFUNC_ABORT;
    fetch->wasSecure = secure;
    return CURL_PREREQFUNC_OK;
}

bool ConfigureCallbacks(CurlFetch* fetch) {
    CURL* h = fetch->handle;
    return curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, TakeBodyBlock) == CURLE_OK &&
           curl_easy_setopt(h, CURLOPT_WRITEDATA, fetch) == CURLE_OK &&
           curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, TakeHeaderLine) == CURLE_OK &&
           curl_easy_setopt(h, CURLOPT_HEADERDATA, fetch) == CURLE_OK &&
           curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L) == CURLE_OK &&
           curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, WatchTransfer) == CURLE_OK &&
           curl_easy_setopt(h, CURLOPT_XFERINFODATA, fetch) == CURLE_OK &&
           curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, ConnectionReady) == CURLE_OK &&
           curl_easy_setopt(h, CURLOPT_PREREQDATA, fetch) == CURLE_OK;
}

bool ConfigureRequest(CurlFetch* fetch, const char* wire, curl_slist* headers) {
    CURL* h = fetch->handle;
    bool ok =
        curl_easy_setopt(h, CURLOPT_URL, wire) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_MAXREDIRS, static_cast<long>(FETCH_MAX_REDIRECTS)) ==
            CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)) ==
            CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_HTTPGET, 1L) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_USERAGENT, "ZentoUpdater") == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(FetchWaitBoundMs())) ==
            CURLE_OK &&
        curl_easy_setopt(h, CURLOPT_BUFFERSIZE, static_cast<long>(CURL_BUFFER_BYTES)) == CURLE_OK &&
        ConfigureCallbacks(fetch);
    if (ok && ExtraCaFile[0] != 0) {
        ok = curl_easy_setopt(h, CURLOPT_CAINFO, ExtraCaFile) == CURLE_OK;
    }
    return ok;
}

// Runs the configured request; true when a whole 200 response arrived and
// no cancel came in while it did.
bool PerformRequest(CurlFetch* fetch) {
    if (CancelFlag.load() != 0) return false;
    fetch->lastHeard = TickCount();
    if (curl_easy_perform(fetch->handle) != CURLE_OK) return false;
    if (CancelFlag.load() != 0) return false;
    // An empty body never reached TakeBodyBlock: look at its response here.
    return fetch->responseAccepted || AcceptResponse(fetch);
}

curl_slist* NoCacheHeaders() {
    curl_slist* headers = curl_slist_append(nullptr, "Pragma: no-cache");
    if (headers == nullptr) return nullptr;
    curl_slist* more = curl_slist_append(headers, "Cache-Control: no-cache");
    if (more == nullptr) curl_slist_free_all(headers);
    return more;
}

// ---- the folder branch ----

// A folder cannot be opened as a file on Windows; here open() would take it,
// so it is turned away at the same point, before any progress message.
int OpenFileForReading(const char* path) {
    int file = open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0) return -1;
    struct stat info;
    if (fstat(file, &info) == 0 && S_ISDIR(info.st_mode)) {
        close(file);
        return -1;
    }
    return file;
}

// Reads up to size bytes; read() may return less than asked, which is not
// the end of the file. Returns the bytes read, or -1 on an error.
int64_t ReadWhole(int file, unsigned char* buffer, uint32_t size) {
    uint32_t done = 0;
    while (done < size) {
        ssize_t got = read(file, buffer + done, size - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        done += static_cast<uint32_t>(got);
    }
    return done;
}

// The folder read of an open file: its size (refused above maxBytes), one
// block of that size and one more byte, the whole file read into it, and the
// zero byte after what was read. Null on a failure, with nothing left
// allocated; the caller closes the file.
unsigned char* ReadOpenFile(int file, uint32_t* size, uint32_t maxBytes) {
    struct stat info;
    // The size must fit the 32-bit result with its zero byte, and the
    // caller's limit; a larger file is refused rather than read in part.
    if (fstat(file, &info) != 0 || info.st_size < 0 ||
        static_cast<uint64_t>(info.st_size) > maxBytes) {
        return nullptr;
    }
    uint32_t length = static_cast<uint32_t>(info.st_size);
    unsigned char* buffer = static_cast<unsigned char*>(malloc(length + 1u));
    if (buffer == nullptr) return nullptr;
    int64_t got = ReadWhole(file, buffer, length);
    if (got < 0) {
        free(buffer);
        return nullptr;
    }
    buffer[got] = 0;
    *size = static_cast<uint32_t>(got);
    return buffer;
}

}  // namespace

void FetchTrustExtraCaFileForTests(const char* pemPath) {
    ExtraCaFile[0] = 0;
    if (pemPath == nullptr || strlen(pemPath) >= EXTRA_CA_CAPACITY) return;
    memcpy(ExtraCaFile, pemPath, strlen(pemPath) + 1);
}

int FetchAbandonedCountForTests() {
    return 0;
}

unsigned char* FetchFromWeb(const char16_t* address, uint32_t* size, int progressIndex,
                            const FetchTerms* terms) {
    char16_t wide[WIRE_ADDRESS_CAPACITY];
    char wire[UTF8_WIRE_CAPACITY];
    if (!MakeWireAddress(address, wide, WIRE_ADDRESS_CAPACITY) ||
        Utf16ToUtf8(wide, wire, UTF8_WIRE_CAPACITY) == 0 || !CurlReady()) {
        return nullptr;
    }
    curl_slist* headers = NoCacheHeaders();
    if (headers == nullptr) return nullptr;
    CurlFetch fetch;
    fetch.handle = TakeThreadCurl();
    fetch.terms = terms;
    fetch.headEnded = false;
    fetch.responseAccepted = false;
    fetch.wasSecure = false;
    fetch.lastHeard = TickCount();
    BeginFetchBody(&fetch.body, progressIndex);
    fetch.body.limit = terms->maxBytes;
    unsigned char* result = nullptr;
    if (fetch.handle != nullptr && ConfigureRequest(&fetch, wire, headers) &&
        PerformRequest(&fetch)) {
        result = FinishFetchBody(&fetch.body, size);
    } else {
        DiscardFetchBody(&fetch.body);
    }
    KeepThreadCurl(result != nullptr);
    curl_slist_free_all(headers);
    return result;
}

unsigned char* FetchFromFolder(const char16_t* path, uint32_t* size, int progressIndex,
                               const FetchTerms* terms) {
    int file = OpenFileForReading(NativePath(path).c_str());
    if (file < 0) return nullptr;
    unsigned char* result = ReadOpenFile(file, size, terms->maxBytes);
    close(file);
    // Once the file is open there is exactly one message, whatever the read
    // gave.
    if (progressIndex >= 0) {
        PostToMainWindow(WM_APP_PROGRESS, static_cast<uintptr_t>(progressIndex), 1000);
    }
    return result;
}
