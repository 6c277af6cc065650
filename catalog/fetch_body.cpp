// The growing body of a web fetch, shared by both web clients.
#include "catalog/fetch_body.h"

#include <stdlib.h>

#ifdef __linux__
#include <stdint.h>
#include <sys/mman.h>
#endif

#include "app/shared_state.h"
#include "app/shared_state_os.h"

void BeginFetchBody(FetchBody* body, int progressIndex) {
    body->data = nullptr;
    body->capacity = 0;
    body->count = 0;
    body->announced = 0;
    body->limit = FETCH_ANY_SIZE;
    body->progressIndex = progressIndex;
    body->lastPermille = -1;
}

bool SetAnnouncedLength(FetchBody* body, uint64_t length) {
    if (length > body->limit) return false;
    body->announced = static_cast<uint32_t>(length);
    return true;
}

static uint32_t FreeRoom(const FetchBody* body) {
    return body->capacity - body->count;
}

// One step of growth: the block doubles (one step at first), so a body of
// any size costs a few copies, not one per step. The size is kept in 32 bits
// like the result's size: near 4 GiB it grows by what is left, and a block
// that cannot gain a whole step counts as one that cannot grow.
static bool GrowFetchBlock(FetchBody* body) {
    if (body->capacity > UINT32_MAX - FETCH_GROW_STEP) return false;
    uint32_t step = FETCH_GROW_STEP;
    if (body->capacity > step) step = body->capacity;
    if (step > UINT32_MAX - body->capacity) step = UINT32_MAX - body->capacity;
    uint32_t capacity = body->capacity + step;
    void* grown = realloc(body->data, capacity);
    if (grown == nullptr) return false;
    body->data = static_cast<unsigned char*>(grown);
    body->capacity = capacity;
    return true;
}

// On Linux most of the time of a large fetch goes on the first touch of
// every fresh 4 KiB page of the block; asking for huge pages over its
// aligned middle makes those faults 512 times fewer. Only advice: nothing
// changes when the kernel declines.
static void AdviseLargeBlock(unsigned char* block, uint32_t size) {
#ifdef __linux__
    const uintptr_t huge = 2u * 1024 * 1024;
    if (size < 4 * huge) return;
    uintptr_t start = (reinterpret_cast<uintptr_t>(block) + huge - 1) & ~(huge - 1);
    uintptr_t end = (reinterpret_cast<uintptr_t>(block) + size) & ~(huge - 1);
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
    (void)block;
    (void)size;
#endif
}

// The first block of a body whose length was announced: all of it and the
// byte for the zero. A length that cannot be held in 32 bits cannot be had.
static bool AllocateAnnouncedBlock(FetchBody* body) {
    if (body->announced >= UINT32_MAX) return false;
    uint32_t capacity = body->announced + 1;
    body->data = static_cast<unsigned char*>(malloc(capacity));
    if (body->data == nullptr) return false;
    body->capacity = capacity;
    AdviseLargeBlock(body->data, capacity);
    return true;
}

// True when the block already has room for the rest of the announced body.
static bool HoldsAnnouncedBody(const FetchBody* body) {
    return body->announced > 0 && body->capacity > body->announced;
}

bool ReserveFetchRoom(FetchBody* body, size_t needed) {
    if (body->count > body->limit || needed > body->limit - body->count) return false;
    if (body->data == nullptr && body->announced > 0 && !AllocateAnnouncedBlock(body)) return false;
    while ((!HoldsAnnouncedBody(body) && FreeRoom(body) < FETCH_MIN_ROOM) ||
           FreeRoom(body) - 1 < needed) {
        if (!GrowFetchBlock(body)) return false;
    }
    return true;
}

unsigned char* FetchReadTarget(const FetchBody* body) {
    return body->data + body->count;
}

uint32_t FetchReadRoom(const FetchBody* body) {
    uint32_t room = FreeRoom(body) - 1;
    if (room > FETCH_MAX_READ) room = FETCH_MAX_READ;
    uint32_t beyondLimit = body->limit - body->count + 1u;  // Reserve kept count within it
    return room < beyondLimit ? room : beyondLimit;
}

void CountFetchedBytes(FetchBody* body, uint32_t bytes) {
    body->count += bytes;
    if (body->progressIndex < 0 || body->announced == 0) return;
    uint64_t permille = static_cast<uint64_t>(body->count) * 1000u / body->announced;
    // Not held to 1000 (a server may send more than it announced), only to
    // what a message parameter can carry on every build.
    if (permille > INT32_MAX) permille = INT32_MAX;
    if (static_cast<int64_t>(permille) == body->lastPermille) return;
    body->lastPermille = static_cast<int64_t>(permille);
    PostToMainWindow(WM_APP_PROGRESS, static_cast<uintptr_t>(body->progressIndex),
                     static_cast<intptr_t>(permille));
}

unsigned char* FinishFetchBody(FetchBody* body, uint32_t* size) {
    // A body that stops short of its announced length is a broken transfer,
    // never a complete file: the installer would put it in place. Every read
    // left a byte for the zero; only a body without any read lacks a block.
    if (body->count < body->announced || body->count > body->limit ||
        (body->data == nullptr && !GrowFetchBlock(body))) {
        DiscardFetchBody(body);
        return nullptr;
    }
    body->data[body->count] = 0;
    *size = body->count;
    unsigned char* data = body->data;
    body->data = nullptr;
    return data;
}

void DiscardFetchBody(FetchBody* body) {
    free(body->data);
    body->data = nullptr;
    body->capacity = 0;
    body->count = 0;
}
