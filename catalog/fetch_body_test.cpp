// The body block of a web fetch: made whole when a length is announced,
// grown in steps when not, and each read kept small enough for a cancel to
// be seen between reads.
#include "catalog/fetch_body.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include "app/shared_state.h"

namespace {

// Reads count bytes into the body as a client would, in reads of at most
// FetchReadRoom bytes; returns how many reads it took.
int ReadInto(FetchBody* body, uint32_t count) {
    int reads = 0;
    while (count > 0) {
        if (!ReserveFetchRoom(body, 0)) return -1;
        uint32_t piece = FetchReadRoom(body) < count ? FetchReadRoom(body) : count;
        memset(FetchReadTarget(body), 'x', piece);
        CountFetchedBytes(body, piece);
        count -= piece;
        ++reads;
    }
    return reads;
}

}  // namespace

TEST(FetchBody, AnAnnouncedLengthGetsOneBlockThatNeverGrows) {
    FetchBody body;
    BeginFetchBody(&body, -1);
    body.announced = 3 * 1024 * 1024 + 5;
    ASSERT_TRUE(ReserveFetchRoom(&body, 0));
    EXPECT_EQ(body.capacity, body.announced + 1);
    EXPECT_EQ(FetchReadRoom(&body), static_cast<uint32_t>(FETCH_MAX_READ));
    unsigned char* block = body.data;
    int reads = ReadInto(&body, body.announced);
    EXPECT_GE(reads, 12);  // never more than FETCH_MAX_READ a read
    // The read that finds the end needs no more room.
    ASSERT_TRUE(ReserveFetchRoom(&body, 0));
    EXPECT_EQ(body.data, block);
    EXPECT_EQ(body.capacity, body.announced + 1);
    uint32_t size = 0;
    unsigned char* result = FinishFetchBody(&body, &size);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(size, 3u * 1024 * 1024 + 5);
    EXPECT_EQ(result[size], 0);
    free(result);
}

TEST(FetchBody, WithoutALengthTheBlockGrowsInSteps) {
    FetchBody body;
    BeginFetchBody(&body, -1);
    ASSERT_TRUE(ReserveFetchRoom(&body, 0));
    EXPECT_EQ(body.capacity, static_cast<uint32_t>(FETCH_GROW_STEP));
    ASSERT_GT(ReadInto(&body, 600000), 0);
    EXPECT_EQ(body.capacity % FETCH_GROW_STEP, 0u);
    EXPECT_GE(body.capacity - body.count, static_cast<uint32_t>(FETCH_MIN_ROOM));
    uint32_t size = 0;
    unsigned char* result = FinishFetchBody(&body, &size);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(size, 600000u);
    free(result);
}

TEST(FetchBody, WithoutALengthTheBlockDoublesSoABigBodyCostsFewCopies) {
    FetchBody body;
    BeginFetchBody(&body, -1);
    int grown = 0;
    for (uint32_t left = 64u * 1024 * 1024; left > 0;) {
        uint32_t before = body.capacity;
        ASSERT_TRUE(ReserveFetchRoom(&body, 0));
        grown += body.capacity != before;
        uint32_t piece = FetchReadRoom(&body) < left ? FetchReadRoom(&body) : left;
        CountFetchedBytes(&body, piece);
        left -= piece;
    }
    EXPECT_LE(grown, 10);  // 256 KiB doubled to 64 MiB and room past it; steps would be 257
    EXPECT_LT(body.capacity, 2u * 64 * 1024 * 1024 + 1);
    DiscardFetchBody(&body);
}

TEST(FetchBody, ABodyShorterThanAnnouncedIsRefused) {
    FetchBody body;
    BeginFetchBody(&body, -1);
    body.announced = 1000;
    ASSERT_EQ(ReadInto(&body, 999), 1);
    uint32_t size = 7;
    EXPECT_EQ(FinishFetchBody(&body, &size), nullptr);
    EXPECT_EQ(body.data, nullptr);
}

TEST(FetchBody, AnAnnouncedLengthThatCannotBeHeldFails) {
    FetchBody body;
    BeginFetchBody(&body, -1);
    body.announced = UINT32_MAX;
    EXPECT_FALSE(ReserveFetchRoom(&body, 0));
    DiscardFetchBody(&body);
}
