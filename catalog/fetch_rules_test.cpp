// The head of a response as both web clients read it: which framings show
// where a body ends, and which make the response unusable.
#include "catalog/fetch_rules.h"

#include <gtest/gtest.h>
#include <string.h>

namespace {

struct HeadCase {
    const char* head;
    bool usable;
    bool hasLength;
    uint64_t length;
    bool chunked;
};

const HeadCase HeadCases[] = {
    {"HTTP/1.1 200 OK\r\nContent-Length: 42\r\n\r\n", true, true, 42, false},
    {"Content-Type: text/plain\nContent-Length:7\n", true, true, 7, false},
    {"content-length: 5\r\nContent-Length: 5\r\n", true, true, 5, false},
    {"Content-Length: 5, 5\r\n", true, true, 5, false},
    {"Content-Length: 4294967294\r\n", true, true, 4294967294u, false},
    {"Transfer-Encoding: Chunked\r\n", true, false, 0, true},
    {"Content-Encoding: identity\r\nX-Any: thing\r\n", true, false, 0, false},
    {"Content-Length: 3\r\n\r\nContent-Length: 9\r\n", true, true, 3, false},  // after the head
    {"Content-Length: abc\r\n", false, false, 0, false},
    {"Content-Length: -10\r\n", false, false, 0, false},
    {"Content-Length:\r\n", false, false, 0, false},
    {"Content-Length: 10\r\nContent-Length: 20\r\n", false, false, 0, false},
    {"Content-Length: 10, 20\r\n", false, false, 0, false},
    {"Content-Length: 4294967295\r\n", false, false, 0, false},
    {"Content-Length: 99999999999999999999999\r\n", false, false, 0, false},
    {"Content-Encoding: gzip\r\nContent-Length: 3\r\n", false, false, 0, false},
    {"Content-Encoding: identity, br\r\n", false, false, 0, false},
    {"Transfer-Encoding: gzip, chunked\r\n", false, false, 0, false},
    {"Transfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n", false, false, 0, false},
    {"Transfer-Encoding: chunked\r\nContent-Length: 3\r\n", false, false, 0, false},
    {"Content-Length: 3\r\n folded: line\r\n", false, false, 0, false},
    {"HTTP/1.1 200 OK\r\nno colon here\r\n", false, false, 0, false},
};

}  // namespace

TEST(FetchRules, AResponseHeadShowsHowItsBodyEndsOrIsRefused) {
    for (const HeadCase& c : HeadCases) {
        ResponseFraming framing;
        bool usable = ReadResponseFraming(c.head, strlen(c.head), &framing);
        EXPECT_EQ(usable, c.usable) << c.head;
        if (!usable || !c.usable) continue;
        EXPECT_EQ(framing.hasLength, c.hasLength) << c.head;
        EXPECT_EQ(framing.length, c.length) << c.head;
        EXPECT_EQ(framing.chunked, c.chunked) << c.head;
    }
}
