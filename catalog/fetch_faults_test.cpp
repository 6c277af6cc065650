// Web fetches against misbehaving servers (the fault server): every wait
// ends, redirects are counted and kept to the web, a cancel acts at once,
// and only a body that shows it is whole arrives. The wait bound is cut to a
// second here through the test hook, so that a silent server costs a second.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/shared_state.h"
#include "catalog/fetch_rules.h"
#include "catalog/fetch_test_hooks.h"
#include "catalog/server.h"
#include "tests/support/messages.h"
#include "tests/support/servers.h"

namespace {

// libcurl checks chunks to the last one; WinINet ends a cut chunked body
// like a whole one, so there only a length proves the end.
#ifdef _WIN32
const bool ChunksChecked = false;
#else
const bool ChunksChecked = true;
#endif

enum Outcome {
    WHOLE,        // the whole pattern body arrives
    NONE,         // null
    NEVER_WHOLE,  // null, or bytes that are not the whole body (a digest refuses them)
};

struct FaultCase {
    const char* route;  // the fault server's route; the test's tag follows it
    size_t size;        // the whole body, pattern bytes (0: the "status 200" text)
    Outcome plain;      // FetchResource
    Outcome proven;     // under terms that ask the framing to prove the end
};

const Outcome ChunkedProven = ChunksChecked ? WHOLE : NONE;
const Outcome BrokenChunks = ChunksChecked ? NONE : NEVER_WHOLE;

const FaultCase Cases[] = {
    {"/body/3000", 3000, WHOLE, WHOLE},
    {"/nolength/3000", 3000, WHOLE, NONE},
    {"/silent", 0, NONE, NONE},
    {"/stall/5000/1000", 5000, NONE, NONE},
    {"/slow/6/1/400", 6, WHOLE, WHOLE},  // 2 s in all, never silent for the bound
    {"/loop", 0, NONE, NONE},
    {"/pingpong/a", 0, NONE, NONE},
    {"/redirect/11/ok", 0, NONE, NONE},
    {"/redirect/10/ok", 0, WHOLE, WHOLE},
    {"/status/301", 0, WHOLE, WHOLE},
    {"/status/303", 0, WHOLE, WHOLE},
    {"/status/307", 0, WHOLE, WHOLE},
    {"/status/308", 0, WHOLE, WHOLE},
    {"/toscheme/ftp", 0, NONE, NONE},
    {"/toscheme/file", 0, NONE, NONE},
    {"/chunked/11600/whole", 11600, WHOLE, ChunkedProven},
    {"/chunked/11600/cut", 11600, BrokenChunks, NONE},
    {"/chunked/11600/mid", 11600, BrokenChunks, NONE},
    {"/chunked/11600/zz", 11600, BrokenChunks, NONE},
    {"/chunked/11600/neg", 11600, BrokenChunks, NONE},
    {"/head/statusonly/3000", 3000, NEVER_WHOLE, NONE},
    {"/head/cutinhead/3000", 3000, NEVER_WHOLE, NONE},
    {"/head/badlength/3000", 3000, NONE, NONE},
    {"/head/twolengths/3000", 3000, NONE, NONE},
    {"/head/hugelength/3000", 3000, NONE, NONE},
    {"/head/gzip/3000", 3000, NONE, NONE},
    {"/head/lengthandchunked/3000", 3000, NONE, NONE},
};

std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 251);
    return bytes;
}

std::string Expected(const FaultCase& c) {
    if (c.size != 0) return Pattern(c.size);
    return std::string(c.route).rfind("/redirect/", 0) == 0 ? "redirected-ok\n" : "status 200\n";
}

// What a fetch gave: null, or the bytes.
struct Result {
    bool arrived;
    std::string bytes;
};

Result FetchWith(const std::u16string& address, const FetchTerms* terms) {
    uint32_t size = 0xDEADBEEF;
    unsigned char* data = FetchResourceWithTerms(address.c_str(), &size, 0, terms);
    Result result = {data != nullptr, ""};
    if (data != nullptr) {
        result.bytes.assign(reinterpret_cast<char*>(data), size);
        free(data);
    } else {
        EXPECT_EQ(size, 0u);
    }
    return result;
}

void ExpectOutcome(const Result& result, Outcome outcome, const std::string& expected,
                   const std::string& what) {
    switch (outcome) {
        case WHOLE:
            EXPECT_TRUE(result.arrived && result.bytes == expected)
                << what << ": not the whole body";
            break;
        case NONE:
            EXPECT_FALSE(result.arrived) << what << ": " << result.bytes.size() << " bytes arrived";
            break;
        case NEVER_WHOLE:
            EXPECT_FALSE(result.arrived && result.bytes == expected)
                << what << ": passed for whole";
            break;
    }
}

class FaultFetch : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ResetSharedState();
        BeginMessageCapture();
        FetchSetWaitBoundForTests(1000);
    }
    void TearDown() override {
        FetchSetWaitBoundForTests(0);
        EndMessageCapture();
        ServerTest::TearDown();
    }
};

}  // namespace

TEST_F(FaultFetch, EveryServerBehaviourEndsAsItShould) {
    const FetchTerms proven = {FETCH_ANY_SIZE, true};
    for (const FaultCase& c : Cases) {
        const std::u16string address = FaultUrl(std::string(c.route) + "/" + Tag());
        auto start = std::chrono::steady_clock::now();
        ExpectOutcome(FetchWith(address, nullptr), c.plain, Expected(c), std::string(c.route));
        ExpectOutcome(FetchWith(address, &proven), c.proven, Expected(c),
                      std::string(c.route) + " with proof asked");
        // Nothing waits for long: the bound is a second, and each fetch
        // ends within a few of them.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20)) << c.route;
    }
}

TEST_F(FaultFetch, ALimitRefusesALargerBodyByItsLengthOrItsBytes) {
    const FetchTerms limited = {100000, false};
    const FetchTerms exact = {100000, true};
    EXPECT_TRUE(FetchWith(FaultUrl("/body/100000/" + Tag()), &exact).arrived);
    EXPECT_FALSE(FetchWith(FaultUrl("/body/100001/" + Tag()), &limited).arrived);
    EXPECT_FALSE(FetchWith(FaultUrl("/nolength/100001/" + Tag()), &limited).arrived);
    EXPECT_FALSE(FetchWith(FaultUrl("/chunked/100001/whole/" + Tag()), &limited).arrived);
    EXPECT_TRUE(FetchWith(FaultUrl("/nolength/100000/" + Tag()), &limited).arrived);
}

TEST_F(FaultFetch, NoFragmentCredentialsOrEncodingRequestGoOnTheWire) {
    std::u16string address = FaultUrl("/body/10/" + Tag() + "#part");
    address.insert(7, u"user:secret@");  // after "http://"
    EXPECT_TRUE(FetchWith(address, nullptr).arrived);
    std::vector<FaultRequest> requests = FaultRequestsWith(servers_, Tag());
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, "/body/10/" + Tag());
    const std::string encoding = requests[0].Header("Accept-Encoding");
    EXPECT_TRUE(encoding.empty() || encoding == "identity") << encoding;
    EXPECT_FALSE(requests[0].HasHeader("Authorization")) << requests[0].Header("Authorization");
}

TEST_F(FaultFetch, ARedirectMayLeadUpToHttpsButNeverDownToHttp) {
    WriteFileBytes(WwwFolder() / "x.txt", "x");
    const std::string file = "/" + Tag() + "/x.txt";
    const struct {
        std::u16string address;
        bool arrives;
    } cases[] = {
        {HttpsUrl("/tohttp" + file), false},
        {HttpsUrl("/tohttps" + file), true},
        {HttpUrl("/tohttps" + file), true},
        {HttpUrl("/tohttp" + file), true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FetchWith(c.address, nullptr).arrived, c.arrives) << &c - cases;
    }
}

TEST_F(FaultFetch, ACookieTheServerSetsIsNeverSentBack) {
    EXPECT_TRUE(FetchWith(FaultUrl("/cookie/" + Tag()), nullptr).arrived);
    std::vector<FaultRequest> requests = FaultRequestsWith(servers_, Tag());
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].path, "/status/200/" + Tag());
    EXPECT_FALSE(requests[1].HasHeader("Cookie")) << requests[1].Header("Cookie");
}

namespace {

// A fetch run on a thread of its own.
struct BackgroundFetch {
    std::u16string address;
    std::atomic<bool> done{false};
    bool arrived = false;
};

std::shared_ptr<BackgroundFetch> StartFetch(const std::u16string& address) {
    auto fetch = std::make_shared<BackgroundFetch>();
    fetch->address = address;
    std::thread([fetch] {
        uint32_t size = 0;
        unsigned char* data = FetchResource(fetch->address.c_str(), &size, 0);
        fetch->arrived = data != nullptr;
        free(data);
        fetch->done.store(true);
    }).detach();
    return fetch;
}

// Waits up to seconds for fetch to end; false when it was still running.
bool Ends(const BackgroundFetch& fetch, int seconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!fetch.done.load() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return fetch.done.load();
}

// Runs a fetch of address and waits up to seconds for it: false when it was
// still running then, else whether it arrived in *arrived.
bool FetchEnds(const std::u16string& address, int seconds, bool* arrived) {
    auto fetch = StartFetch(address);
    bool ended = Ends(*fetch, seconds);
    *arrived = fetch->arrived;
    return ended;
}

}  // namespace

TEST_F(FaultFetch, CancelEndsAFetchAtOnceWhateverTheServerDoes) {
    // With the real bound only a cancel could end these in time.
    FetchSetWaitBoundForTests(FETCH_WAIT_BOUND_MS);
    for (const char* route : {"/silent", "/stall/5000/1000", "/slow/12/1/20000"}) {
        CancelFlag.store(0);
        auto fetch = StartFetch(FaultUrl(std::string(route) + "/" + Tag()));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        RequestCancel();
        // Far inside the 30 s bound: the cancel ended it.
        ASSERT_TRUE(Ends(*fetch, 10)) << route << ": the cancelled fetch went on";
        EXPECT_FALSE(fetch->arrived) << route;
    }
}

#ifdef _WIN32
namespace {

// Waits up to a minute for every fetch thread given up on to end.
bool NoFetchAbandoned() {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (FetchAbandonedCountForTests() != 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return FetchAbandonedCountForTests() == 0;
}

}  // namespace

// Each cancel leaves a thread blocked on the silent server until its bound;
// past FETCH_MAX_ABANDONED of them a fetch fails at once, even from a sound
// server, and fetching works again once they have ended.
TEST_F(FaultFetch, AbandonedFetchesAreBoundedUntilTheirThreadsEnd) {
    // Earlier tests' cancels may still hold threads (for up to their bound).
    ASSERT_TRUE(NoFetchAbandoned());
    FetchSetWaitBoundForTests(10000);
    WriteFileBytes(WwwFolder() / "x.txt", "x");
    const std::u16string sound = HttpUrl("/" + Tag() + "/x.txt");
    bool arrived = false;
    ASSERT_TRUE(FetchEnds(sound, 10, &arrived) && arrived);
    std::vector<std::shared_ptr<BackgroundFetch>> fetches;
    for (int i = 0; i < FETCH_MAX_ABANDONED; ++i) {
        fetches.push_back(StartFetch(FaultUrl("/silent/" + Tag() + "/" + std::to_string(i))));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    RequestCancel();
    for (const auto& fetch : fetches) {
        ASSERT_TRUE(Ends(*fetch, 5)) << "a cancel did not end its fetch";
    }
    CancelFlag.store(0);
    EXPECT_EQ(FetchAbandonedCountForTests(), FETCH_MAX_ABANDONED);
    ASSERT_TRUE(FetchEnds(sound, 10, &arrived));
    EXPECT_FALSE(arrived) << "a fetch started past the bound on abandoned threads";
    // Their receive bound (10 s) ends the threads; then the count comes back.
    NoFetchAbandoned();
    ASSERT_TRUE(FetchEnds(sound, 10, &arrived));
    EXPECT_TRUE(arrived) << "the abandoned threads were never counted off";
}
#endif

// The mute port takes the connection and never says a byte, so the TLS
// handshake never ends unless the client ends it; it drops the connection
// only after 8 s, far past the bound of a second. (WinINet under Wine then
// connects again, so the thread given up on never ends: it counts towards
// FETCH_MAX_ABANDONED for the rest of this process.)
TEST_F(FaultFetch, APeerThatNeverAnswersTheHandshakeIsLeftWithinTheBound) {
    bool arrived = true;
    ASSERT_TRUE(FetchEnds(MuteHttpsUrl("/" + Tag()), 6, &arrived)) << "the fetch went on";
    EXPECT_FALSE(arrived);
}
