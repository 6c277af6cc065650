// The body of a web fetch while it arrives, kept the same way by both web
// clients (WinINet and libcurl): one heap block, the progress message after
// every read that brought data, and the final check against the announced
// length. With a length announced the block is made that size at once;
// growing it step by step copies the whole block each time on Windows (a
// 64 MiB file took seconds and twice its size in memory). Without one it
// grows whenever less than 64 KiB is free, first to 256 KiB, then doubling. A body larger
// than its limit is refused as soon as that is known.
#ifndef UPDATER_CATALOG_FETCH_BODY_H
#define UPDATER_CATALOG_FETCH_BODY_H

#include <stddef.h>
#include <stdint.h>

#include "catalog/server.h"

enum {
    FETCH_GROW_STEP = 262144,  // the first block, and the least it grows by
    FETCH_MIN_ROOM = 65536,    // below this much free room the block grows
    FETCH_MAX_READ = 262143,   // most one read asks for, so a cancel is seen soon
};

struct FetchBody {
    unsigned char* data;  // the heap block, null until the first read
    uint32_t capacity;    // bytes allocated at data
    uint32_t count;       // bytes received so far
    uint32_t announced;   // the announced content length, 0 when none came
    uint32_t limit;       // most content bytes taken, FETCH_ANY_SIZE unless set
    int progressIndex;    // bar that hears of the progress, negative for none
    int64_t lastPermille;  // the value last posted, -1 before the first
};

// An empty body: nothing allocated, nothing received, no limit but the
// 32-bit size.
void BeginFetchBody(FetchBody* body, int progressIndex);

// Records the length the response announced; false when it passes the limit.
bool SetAnnouncedLength(FetchBody* body, uint64_t length);

// Makes sure at least FETCH_MIN_ROOM bytes are free and, past those, that
// needed bytes fit before the byte kept for the terminating zero. Returns
// false when the block cannot grow, or when needed more bytes would pass the
// limit (or it is passed already); the block is then left as it was.
bool ReserveFetchRoom(FetchBody* body, size_t needed);

// Where the next read goes, and how much it may ask for (the free room less
// the byte kept for the terminating zero, at most FETCH_MAX_READ, and at most
// one byte past the limit, which is enough to know it is passed).
unsigned char* FetchReadTarget(const FetchBody* body);
uint32_t FetchReadRoom(const FetchBody* body);

// Counts bytes that a read has just placed at FetchReadTarget and posts
// WM_APP_PROGRESS with count * 1000 / announced when there is a bar to
// report to, a length was announced and the value moved: reads take what
// has arrived, often a few KiB, and a message for each would flood the
// window's queue.
void CountFetchedBytes(FetchBody* body, uint32_t bytes);

// Ends a body that the client has read to its end: null (the block freed)
// when fewer bytes came than were announced, more than the limit, or no
// block can be had;
// otherwise the block with a zero byte after the content and *size set.
unsigned char* FinishFetchBody(FetchBody* body, uint32_t* size);

// Frees whatever arrived; for every path that gives up.
void DiscardFetchBody(FetchBody* body);

#endif  // UPDATER_CATALOG_FETCH_BODY_H
