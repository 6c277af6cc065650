// FetchResource against real things: files in a temporary folder, nginx over
// HTTP and HTTPS, and the fault server for what a static server cannot do.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/settings.h"
#include "app/shared_state.h"
#include "app/text.h"
#include "catalog/server.h"
#include "catalog/wire_address.h"
#include "tests/support/messages.h"
#include "tests/support/servers.h"
#include "tests/support/test_support.h"

namespace {

struct Fetched {
    bool arrived = false;     // a buffer came back
    uint32_t size = 0;        // *size as FetchResource left it
    bool terminated = false;  // the byte after the content is zero
    std::string bytes;        // the content
};

Fetched Fetch(const std::u16string& address, int progressIndex = -1) {
    Fetched fetched;
    fetched.size = 0xDEADBEEF;
    unsigned char* data = FetchResource(address.c_str(), &fetched.size, progressIndex);
    if (data != nullptr) {
        fetched.arrived = true;
        fetched.bytes.assign(reinterpret_cast<const char*>(data), fetched.size);
        fetched.terminated = data[fetched.size] == 0;
        free(data);
    }
    return fetched;
}

// What the fault server's pattern routes send: byte i is i % 251.
std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 251);
    return bytes;
}

// Bytes without a short period, so that a misplaced block shows.
std::string Scrambled(size_t size) {
    std::string bytes(size, '\0');
    uint32_t state = 2463534242u;
    for (size_t i = 0; i < size; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes[i] = static_cast<char>(state >> 24);
    }
    return bytes;
}

// Everything posted so far. A fetch on the test's own thread has posted all
// of its messages by the time it returns.
std::vector<CapturedMessage> PostedMessages() {
    std::vector<CapturedMessage> messages;
    CapturedMessage message;
    while (NextMessage(&message, 0)) messages.push_back(message);
    return messages;
}

CapturedMessage Progress(uintptr_t bar, intptr_t permille) {
    return {WM_APP_PROGRESS, bar, permille};
}

// Every message is a progress message for bar, the values never fall, and
// they end at 1000.
void ExpectRisingProgressTo1000(const std::vector<CapturedMessage>& messages, uintptr_t bar) {
    ASSERT_FALSE(messages.empty());
    intptr_t last = 0;
    for (const CapturedMessage& message : messages) {
        EXPECT_EQ(message.message, static_cast<uint32_t>(WM_APP_PROGRESS));
        EXPECT_EQ(message.wParam, bar);
        EXPECT_GT(message.lParam, 0);
        EXPECT_GE(message.lParam, last);
        last = message.lParam;
    }
    EXPECT_EQ(last, 1000);
}

void ExpectNull(const Fetched& fetched, const std::string& what) {
    EXPECT_FALSE(fetched.arrived) << what;
    EXPECT_EQ(fetched.size, 0u) << what;
}

class FolderFetch : public testing::Test {
protected:
    void SetUp() override {
        ResetSharedState();
        BeginMessageCapture();
    }
    void TearDown() override { EndMessageCapture(); }

    TempFolder folder_;
};

class WebFetch : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ResetSharedState();
        BeginMessageCapture();
        TextCopy(savedServerUrl_, SERVER_URL_CAPACITY, ServerUrl);
    }
    void TearDown() override {
        EndMessageCapture();
        TextCopy(ServerUrl, SERVER_URL_CAPACITY, savedServerUrl_);
        ServerTest::TearDown();
    }

    // The fault server's route with this test's tag after it.
    std::u16string Route(const std::string& route) { return FaultUrl(route + "/" + Tag()); }

private:
    char16_t savedServerUrl_[SERVER_URL_CAPACITY] = {};
};

}  // namespace

// ---- the wire form of a web address ----

namespace {

std::u16string Wire(const std::u16string& address, int capacity = WIRE_ADDRESS_CAPACITY) {
    std::u16string wire(static_cast<size_t>(capacity), u'#');
    if (!MakeWireAddress(address.c_str(), &wire[0], capacity)) {
        EXPECT_EQ(wire[0], u'\0') << "a refused address must leave the buffer empty";
        return u"(refused)";
    }
    return wire.c_str();
}

}  // namespace

TEST(WireAddress, EscapesThePathOutsidePrintableAsciiAsUtf8) {
    EXPECT_EQ(Wire(u"http://h/Caf\u00e9/\u4e2d.lua"), u"http://h/Caf%C3%A9/%E4%B8%AD.lua");
    EXPECT_EQ(Wire(u"https://h:8443/\U0001F600"), u"https://h:8443/%F0%9F%98%80");
    // A lone surrogate stands for U+FFFD, like every UTF-8 conversion here.
    EXPECT_EQ(Wire(u"http://h/a\xD800-\xDC00"), u"http://h/a%EF%BF%BD-%EF%BF%BD");
    EXPECT_EQ(Wire(u"http://h/a b\t\x7F"), u"http://h/a%20b%09%7F");
    EXPECT_EQ(Wire(u"http://h?q=\u00e9"), u"http://h?q=%C3%A9");
}

TEST(WireAddress, LeavesTheHostAndPrintableAsciiAlone) {
    EXPECT_EQ(Wire(u"http://caf\u00e9.example/x"), u"http://caf\u00e9.example/x");
    EXPECT_EQ(Wire(u"http://h/a%20b/?&=;~'!*()"), u"http://h/a%20b/?&=;~'!*()");
    EXPECT_EQ(Wire(u"HTTP://H"), u"HTTP://H");
}

TEST(WireAddress, ANameAndPasswordNeverGoOnTheWireAndThePasswordIsNeverShown) {
    const struct {
        const char16_t* address;
        const char16_t* wire;
        const char16_t* shown;
    } cases[] = {
        {u"http://user:secret@h:81/a", u"http://h:81/a", u"http://user:***@h:81/a"},
        {u"https://u:p:q@x@h/a", u"https://h/a", u"https://u:***@h/a"},
        {u"http://user@h/a", u"http://h/a", u"http://user@h/a"},
        {u"http://:pw@h", u"http://h", u"http://:***@h"},
        {u"http://h/a@b:c", u"http://h/a@b:c", u"http://h/a@b:c"},
        {u"http://h?u:p@q", u"http://h?u:p@q", u"http://h?u:p@q"},
        {u"D:\\srv\\u:p@x", u"D:\\srv\\u:p@x", u"D:\\srv\\u:p@x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Wire(c.address), c.wire);
        char16_t shown[64];
        ShownAddress(c.address, shown, 64);
        EXPECT_EQ(std::u16string(shown), c.shown);
    }
    char16_t cut[12];
    ShownAddress(u"http://u:longsecret@h/", cut, 12);
    EXPECT_EQ(std::u16string(cut), u"http://u:**");
}

TEST(WireAddress, RefusesWhatDoesNotFitRatherThanCutIt) {
    EXPECT_EQ(Wire(u"http://h/abcdef", 10), u"(refused)");
    EXPECT_EQ(Wire(u"http://h/\u00e9\u00e9\u00e9", 20), u"(refused)");
    // The longest address the download worker builds, every unit escaped.
    std::u16string longest = u"http://h/" + std::u16string(1391, u'\u4e2d');
    std::u16string wire = Wire(longest);
    EXPECT_EQ(wire.size(), 9u + 1391u * 9u);
    EXPECT_EQ(wire.substr(wire.size() - 9), u"%E4%B8%AD");
}

// ---- the folder branch ----

TEST_F(FolderFetch, ReadsTheWholeFileWithOneProgressMessage) {
    const std::string content = Scrambled(300000);
    WriteFileBytes(folder_ / "Script/lib/main.lua", content);
    Fetched fetched = Fetch(folder_.ProgramPath("Script/lib/main.lua"), 0);
    ASSERT_TRUE(fetched.arrived);
    EXPECT_EQ(fetched.size, content.size());
    EXPECT_TRUE(fetched.bytes == content);
    EXPECT_TRUE(fetched.terminated);
    EXPECT_EQ(PostedMessages(), std::vector<CapturedMessage>{Progress(0, 1000)});

    ASSERT_TRUE(Fetch(folder_.ProgramPath("Script/lib/main.lua"), 1).arrived);
    EXPECT_EQ(PostedMessages(), std::vector<CapturedMessage>{Progress(1, 1000)});
}

TEST_F(FolderFetch, PostsNothingWithANegativeIndex) {
    WriteFileBytes(folder_ / "scripts.txt", "[A]\n");
    EXPECT_EQ(Fetch(folder_.ProgramPath("scripts.txt"), -1).bytes, "[A]\n");
    EXPECT_EQ(Fetch(folder_.ProgramPath("scripts.txt"), -7).bytes, "[A]\n");
    EXPECT_TRUE(PostedMessages().empty());
}

TEST_F(FolderFetch, EmptyFileIsAnEmptyTerminatedBuffer) {
    WriteFileBytes(folder_ / "empty.txt", "");
    Fetched fetched = Fetch(folder_.ProgramPath("empty.txt"), 0);
    ASSERT_TRUE(fetched.arrived);
    EXPECT_EQ(fetched.size, 0u);
    EXPECT_TRUE(fetched.terminated);
    EXPECT_EQ(PostedMessages(), std::vector<CapturedMessage>{Progress(0, 1000)});
}

TEST_F(FolderFetch, ReadsPathsOutsideAscii) {
    WriteFileBytes(folder_ / "Caf\xc3\xa9 Script/\xe4\xb8\xad.lua", "unicode");
    EXPECT_EQ(Fetch(folder_.ProgramPath("Caf\xc3\xa9 Script/\xe4\xb8\xad.lua")).bytes, "unicode");
}

TEST_F(FolderFetch, WhatCannotBeOpenedIsNullWithoutAMessage) {
    fs::create_directories(folder_ / "a folder");
    ExpectNull(Fetch(folder_.ProgramPath("missing.lua"), 0), "missing file");
    ExpectNull(Fetch(folder_.ProgramPath("no/such/folder/x.lua"), 0), "missing folder");
    // Windows cannot open a folder as a file; the POSIX build turns it away
    // at the same step.
    ExpectNull(Fetch(folder_.ProgramPath("a folder"), 0), "a folder");
    EXPECT_TRUE(PostedMessages().empty());
}

TEST_F(FolderFetch, FileTooLargeForTheResultIsNullAfterItsOneMessage) {
    // A sparse file just over 4 GiB opens fine but cannot be held; its low
    // 32 bits alone would pass for a 16-byte file.
    const fs::path huge = folder_ / "huge.bin";
    WriteFileBytes(huge, "");
    std::error_code error;
    fs::resize_file(huge, (uint64_t(1) << 32) + 16, error);
    ASSERT_FALSE(error) << error.message();
    ExpectNull(Fetch(folder_.ProgramPath("huge.bin"), 0), "file over 4 GiB");
    EXPECT_EQ(PostedMessages(), std::vector<CapturedMessage>{Progress(0, 1000)});
}

TEST_F(FolderFetch, IsNotCancelled) {
    WriteFileBytes(folder_ / "a.lua", "kept going");
    CancelFlag.store(1);
    EXPECT_EQ(Fetch(folder_.ProgramPath("a.lua"), 0).bytes, "kept going");
    EXPECT_EQ(PostedMessages(), std::vector<CapturedMessage>{Progress(0, 1000)});
}

// ---- the web branch: statuses, redirects, lengths ----

TEST_F(WebFetch, AnyStatusBut200IsNull) {
    for (int status : {404, 500, 304, 206, 204, 201, 403, 503}) {
        ExpectNull(Fetch(Route("/status/" + std::to_string(status)), 0),
                   "status " + std::to_string(status));
    }
    EXPECT_TRUE(PostedMessages().empty());
    EXPECT_EQ(Fetch(Route("/status/200"), 0).bytes, "status 200\n");
}

TEST_F(WebFetch, FollowsRedirectChains) {
    EXPECT_EQ(Fetch(Route("/redirect/3/ok")).bytes, "redirected-ok\n");
    // Three hops and the final answer all reached the server.
    EXPECT_EQ(FaultRequestsWith(servers_, Tag()).size(), 4u);
    ExpectNull(Fetch(Route("/redirect/4/404")), "redirect chain ending in 404");
}

TEST_F(WebFetch, SizedBodyReportsRisingProgressToItsEnd) {
    // Each read asks for at most the free room of a block that grows by
    // 256 KiB, so a 1 MB body takes several reads, each with its message.
    const size_t size = 1000000;
    Fetched fetched = Fetch(Route("/body/" + std::to_string(size)), 0);
    ASSERT_TRUE(fetched.arrived);
    EXPECT_TRUE(fetched.bytes == Pattern(size));
    EXPECT_TRUE(fetched.terminated);
    std::vector<CapturedMessage> messages = PostedMessages();
    ExpectRisingProgressTo1000(messages, 0);
    EXPECT_GE(messages.size(), 4u);

    ASSERT_TRUE(Fetch(Route("/body/70000"), 1).arrived);
    ExpectRisingProgressTo1000(PostedMessages(), 1);
}

TEST_F(WebFetch, BodyWithoutLengthArrivesWholeWithoutProgress) {
    const size_t size = 700001;
    Fetched fetched = Fetch(Route("/nolength/" + std::to_string(size)), 0);
    ASSERT_TRUE(fetched.arrived);
    EXPECT_EQ(fetched.size, size);
    EXPECT_TRUE(fetched.bytes == Pattern(size));
    EXPECT_TRUE(fetched.terminated);
    EXPECT_TRUE(PostedMessages().empty());
}

TEST_F(WebFetch, EmptyBodyIsAnEmptyTerminatedBuffer) {
    Fetched fetched = Fetch(Route("/empty"), 0);
    ASSERT_TRUE(fetched.arrived);
    EXPECT_EQ(fetched.size, 0u);
    EXPECT_TRUE(fetched.terminated);
    EXPECT_TRUE(PostedMessages().empty());
}

TEST_F(WebFetch, PostsNothingWithANegativeIndex) {
    EXPECT_TRUE(Fetch(Route("/body/300000"), -1).bytes == Pattern(300000));
    EXPECT_TRUE(PostedMessages().empty());
}

TEST_F(WebFetch, BodyCutShortOrResetIsNull) {
    ExpectNull(Fetch(Route("/short/100000/5000")), "clean close after 5000 of 100000");
    ExpectNull(Fetch(Route("/short/1000/999")), "clean close one byte early");
    ExpectNull(Fetch(Route("/short/600000/500000")), "clean close past the first block");
    ExpectNull(Fetch(Route("/reset/100000/5000")), "reset after 5000 of 100000");
    ExpectNull(Fetch(Route("/reset/600000/500000")), "reset past the first block");
}

// ---- cancelling ----

namespace {

// A fetch on a thread of its own, as the workers run it. Shared with the
// thread, so that a test giving up on it leaves nothing dangling.
struct BackgroundFetch {
    std::u16string address;
    std::atomic<bool> done{false};
    unsigned char* data = nullptr;
    uint32_t size = 0xDEADBEEF;
};

std::shared_ptr<BackgroundFetch> StartFetch(const std::u16string& address) {
    auto fetch = std::make_shared<BackgroundFetch>();
    fetch->address = address;
    std::thread([fetch] {
        fetch->data = FetchResource(fetch->address.c_str(), &fetch->size, 0);
        fetch->done.store(true);
    }).detach();
    return fetch;
}

}  // namespace

TEST_F(WebFetch, CancelDuringAThrottledFetchEndsItBeforeTheNextRead) {
    // 128 blocks of 8 KiB, 50 ms apart: more than six seconds if nothing
    // stops it. Both clients take each block as it comes.
    auto fetch = StartFetch(Route("/slow/1048576/8192/50"));
    CapturedMessage first;
    ASSERT_TRUE(NextMessage(&first, 30000)) << "no progress from the throttled fetch";
    EXPECT_EQ(first.message, static_cast<uint32_t>(WM_APP_PROGRESS));
    // A read takes what has arrived, so the bar moves with the first few
    // blocks rather than after a whole 256 KiB read (250 per mille).
    EXPECT_LE(first.lParam, 50);
    RequestCancel();

    std::vector<CapturedMessage> later;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    CapturedMessage message;
    while (!fetch->done.load() && std::chrono::steady_clock::now() < deadline) {
        if (NextMessage(&message, 20)) later.push_back(message);
    }
    ASSERT_TRUE(fetch->done.load()) << "the cancelled fetch did not return";
    while (NextMessage(&message, 0)) later.push_back(message);

    EXPECT_EQ(fetch->data, nullptr);
    EXPECT_EQ(fetch->size, 0u);
    free(fetch->data);
    // The flag was set well inside the 50 ms before the next block, so at
    // most the read that was already waiting completed.
    EXPECT_LE(later.size(), 1u);
    for (const CapturedMessage& m : later) EXPECT_LT(m.lParam, 1000);
}

TEST_F(WebFetch, CancelSetBeforehandGivesNull) {
    CancelFlag.store(1);
    ExpectNull(Fetch(Route("/body/5000"), 0), "cancelled before the first read");
    EXPECT_TRUE(PostedMessages().empty());
}

// ---- what goes over the wire ----

TEST_F(WebFetch, RequestCarriesTheAgentAndAsksForAFreshCopy) {
    ASSERT_TRUE(Fetch(Route("/body/10")).arrived);
    std::vector<FaultRequest> requests = FaultRequestsWith(servers_, Tag());
    ASSERT_EQ(requests.size(), 1u);
    const FaultRequest& request = requests[0];
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.Header("User-Agent"), "ZentoUpdater");
    EXPECT_EQ(request.Header("Pragma"), "no-cache");
#ifndef _WIN32
    // WinINet's no-cache flags give the pragma alone; libcurl sends both.
    EXPECT_EQ(request.Header("Cache-Control"), "no-cache");
#endif
    EXPECT_FALSE(request.HasHeader("Range"));
    EXPECT_FALSE(request.HasHeader("If-Modified-Since"));
}

TEST_F(WebFetch, BuiltAddressReachesTheServerWithItsEscapes) {
    fs::path folder = WwwFolder();
    WriteFileBytes(folder / "My Script/lib/a+b#c%d.lua", "escaped");
    TextCopy(ServerUrl, SERVER_URL_CAPACITY, FaultUrl("/file/" + Tag() + "/").c_str());
    char16_t address[1400];
    BuildResourceAddress(address, 1400, u"My Script/lib\\a+b#c%d.lua");
    EXPECT_EQ(Fetch(address).bytes, "escaped");
    std::vector<FaultRequest> requests = FaultRequestsWith(servers_, Tag());
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, "/file/" + Tag() + "/My%20Script/lib/a%2Bb%23c%25d.lua");
}

TEST_F(WebFetch, NonAsciiAddressOnTheWire) {
    fs::path folder = WwwFolder();
    WriteFileBytes(folder / fs::u8path("Caf\xc3\xa9/\xe4\xb8\xad.lua"), "unicode");
    TextCopy(ServerUrl, SERVER_URL_CAPACITY, FaultUrl("/file/" + Tag()).c_str());
    char16_t address[1400];
    BuildResourceAddress(address, 1400, u"Caf\u00e9/\u4e2d.lua");
    Fetched fetched = Fetch(address);
    std::vector<FaultRequest> requests = FaultRequestsWith(servers_, Tag());
    ASSERT_EQ(requests.size(), 1u);
    // Both builds send the UTF-8 bytes as %XX escapes, which a server
    // decodes back to the file's name.
    EXPECT_EQ(requests[0].path, "/file/" + Tag() + "/Caf%C3%A9/%E4%B8%AD.lua");
    EXPECT_EQ(fetched.bytes, "unicode");
}

// ---- nginx: HTTPS and large bodies ----

TEST_F(WebFetch, HttpsFromTheTrustedTestAuthority) {
    fs::path folder = WwwFolder();
    const std::string content = Scrambled(500000);
    WriteFileBytes(folder / "secure.lua", content);
    Fetched fetched = Fetch(HttpsUrl("/" + Tag() + "/secure.lua"), 0);
    ASSERT_TRUE(fetched.arrived);
    EXPECT_TRUE(fetched.bytes == content);
    ExpectRisingProgressTo1000(PostedMessages(), 0);
}

TEST_F(WebFetch, HttpsFromAnAuthorityNotTrustedFails) {
    TestServers untrusted;
    std::string problem;
    TestServersState state = LoadUntrustedTestServers(&untrusted, &problem);
    if (state == TEST_SERVERS_NOT_CONFIGURED) GTEST_SKIP() << problem;
    ASSERT_EQ(state, TEST_SERVERS_READY) << problem;
    // The same file on two nginx servers for localhost; only the first one's
    // authority is trusted.
    const std::string path = "/" + Tag() + "/secure.lua";
    WriteFileBytes(WwwFolder() / "secure.lua", "secret");
    WriteFileBytes(untrusted.www / fs::u8path(Tag()) / "secure.lua", "secret");
    EXPECT_EQ(Fetch(HttpsUrl(path)).bytes, "secret");
    const std::u16string refused =
        Utf16("https://localhost:" + std::to_string(untrusted.httpsPort) + path);
    ExpectNull(Fetch(refused), "certificate from an authority nobody trusts");
    // Plain HTTP from that server works: the refusal was the certificate.
    EXPECT_EQ(Fetch(Utf16("http://127.0.0.1:" + std::to_string(untrusted.httpPort) + path)).bytes,
              "secret");
    std::error_code ignored;
    fs::remove_all(untrusted.www / fs::u8path(Tag()), ignored);
}

TEST_F(WebFetch, LargeBodyArrivesByteForByte) {
    fs::path folder = WwwFolder();
    const std::string content = Scrambled(6 * 1024 * 1024 + 12345);
    WriteFileBytes(folder / "large.bin", content);
    for (const std::u16string& address :
         {HttpUrl("/" + Tag() + "/large.bin"), HttpsUrl("/" + Tag() + "/large.bin")}) {
        Fetched fetched = Fetch(address, 0);
        ASSERT_TRUE(fetched.arrived);
        EXPECT_EQ(fetched.size, content.size());
        EXPECT_TRUE(fetched.bytes == content);
        EXPECT_TRUE(fetched.terminated);
        ExpectRisingProgressTo1000(PostedMessages(), 0);
    }
}
