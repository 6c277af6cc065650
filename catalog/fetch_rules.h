// What both web clients (WinINet and libcurl) hold every fetch to, in one
// place, so that the two builds give up at the same points: how long any
// wait on the server may last, how many redirects are followed, and which
// responses can show that their body arrived whole.
#ifndef UPDATER_CATALOG_FETCH_RULES_H
#define UPDATER_CATALOG_FETCH_RULES_H

#include <stddef.h>
#include <stdint.h>

enum {
    // Connecting, sending the request, waiting for the answer and any
    // silence between two pieces of a body each end after this long.
    FETCH_WAIT_BOUND_MS = 30000,
    // Redirects followed in one fetch; one more is a failed fetch.
    FETCH_MAX_REDIRECTS = 10,
    // How often a caller waiting on a fetch looks at CancelFlag.
    FETCH_CANCEL_POLL_MS = 100,
    // A response head larger than this is not a file server's.
    FETCH_MAX_HEAD_BYTES = 65536,
    // Windows: fetch threads given up on (a cancel, or the bound) that may
    // still run, blocked in WinINet until the peer lets go; a fetch asked for
    // while this many do fails at once.
    FETCH_MAX_ABANDONED = 8,
};

// FETCH_WAIT_BOUND_MS, unless a test has shortened it (fetch_test_hooks.h).
uint32_t FetchWaitBoundMs();

// 301, 302, 303, 307 and 308: the redirects a GET follows.
bool IsFollowedRedirect(uint32_t status);

// True when a redirect from an https address leads to an http one: what the
// secure address was asked for would come over an open network.
bool IsDowngrade(const char16_t* from, const char16_t* to);

// How the body of a response is framed, as its head says.
struct ResponseFraming {
    bool hasLength;   // a Content-Length came
    uint64_t length;  // its value
    bool chunked;     // Transfer-Encoding: chunked
};

// Reads the head of a response (a status line first is passed over; lines
// end in CRLF or LF; a blank line ends the head). False when the response
// cannot show that its body is whole or is not the plain bytes of the file:
// a line that is not a header, a folded line, a Content-Length that is not a
// number, two that differ, one past 4 GiB, a Transfer-Encoding other than
// "chunked" or one beside a Content-Length, a Content-Encoding other than
// identity (the program asks for none).
bool ReadResponseFraming(const char* head, size_t size, ResponseFraming* framing);

#endif  // UPDATER_CATALOG_FETCH_RULES_H
