// The local test servers (tests/servers/servers.py: nginx over HTTP and
// HTTPS, and the fault server), as the tests of both builds see them.
//
// CTest starts the servers as a fixture and names their servers.ini in the
// environment variable UPDATER_TEST_SERVERS. A test that needs them derives
// its fixture from ServerTest: when the variable is set but the file cannot
// be read the test fails, saying why; only when the variable is not set at
// all (the binary run by hand) is the test skipped. A second, independent
// set whose authority nobody trusts runs from the folder "untrusted" beside
// that servers.ini, for the tests of a refused certificate.
#ifndef UPDATER_TESTS_SUPPORT_SERVERS_H
#define UPDATER_TESTS_SUPPORT_SERVERS_H

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/test_support.h"

struct TestServers {
    int httpPort = 0;   // nginx, plain HTTP on 127.0.0.1
    int httpsPort = 0;  // nginx, HTTPS; reach it as https://localhost:PORT
    int faultPort = 0;  // the fault server, plain HTTP on 127.0.0.1
    int mutePort = 0;   // the fault server's mute port: takes connections, never answers
    fs::path www;       // document root of nginx and of the fault server's /file/
    fs::path caPem;     // the test certificate authority, PEM
    fs::path caDer;     // the same, DER
    fs::path faultLog;  // one JSON line per request the fault server saw
};

enum TestServersState {
    TEST_SERVERS_READY,
    TEST_SERVERS_NOT_CONFIGURED,  // UPDATER_TEST_SERVERS is not set
    TEST_SERVERS_BROKEN,          // set, but servers.ini is missing or unreadable
};

// Reads servers.ini as named by UPDATER_TEST_SERVERS (a Unix path; the
// Windows build reaches it through Wine's Z: drive, like every path in it).
TestServersState LoadTestServers(TestServers* servers, std::string* problem);

// The same for the untrusted set: untrusted/servers.ini beside that file.
TestServersState LoadUntrustedTestServers(TestServers* servers, std::string* problem);

// One request as the fault server logged it: the target exactly as it came
// over the wire, and the headers in their order.
struct FaultRequest {
    std::string method;
    std::string path;
    std::string client;  // "address:port" of the connection it came over
    std::vector<std::pair<std::string, std::string>> headers;

    // The value of the first header of that name (any case), or "".
    std::string Header(const std::string& name) const;
    bool HasHeader(const std::string& name) const;
};

// Every logged request whose target contains tag, oldest first.
std::vector<FaultRequest> FaultRequestsWith(const TestServers& servers, const std::string& tag);

// Makes the servers' test authority trusted: in the Wine prefix's
// LocalMachine Root store, natively through the POSIX fetch's test hook.
// ServerTest does it before every test.
bool TrustTestAuthority(const TestServers& servers);

// Undoes TrustTestAuthority where that can be done: natively at once (true).
// Under Wine it cannot (false): a process keeps the roots it saw at its first
// handshake, and Wine does not keep a root's deletion. A test of a refused
// certificate uses LoadUntrustedTestServers instead.
bool DistrustTestAuthority(const TestServers& servers);

// Base of the tests that talk to the servers. Each test gets a tag of its
// own for its paths, so that its requests can be told apart in the logs of
// servers shared with other tests; folders made with WwwFolder are removed
// after the test.
class ServerTest : public testing::Test {
protected:
    // Skips or fails as described above; trusts the test authority.
    void SetUp() override;
    void TearDown() override;

    // Addresses: "http://127.0.0.1:P" + path, "https://localhost:P" + path,
    // the fault server's "http://127.0.0.1:P" + path, and its mute port's
    // "https://localhost:P" + path.
    std::u16string HttpUrl(const std::string& path) const;
    std::u16string HttpsUrl(const std::string& path) const;
    std::u16string FaultUrl(const std::string& path) const;
    std::u16string MuteHttpsUrl(const std::string& path) const;

    // A fresh folder under www named by the tag; its web path is "/" + Tag().
    fs::path WwwFolder();

    const std::string& Tag() const { return tag_; }

    TestServers servers_;

private:
    std::string tag_;
    std::vector<fs::path> made_;
};

#endif  // UPDATER_TESTS_SUPPORT_SERVERS_H
