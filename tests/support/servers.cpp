// Reading servers.ini and the fault server's request log, and the test
// fixture around them.
#include "tests/support/servers.h"

#include <ctype.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <map>

namespace {

// A Unix path from servers.ini as this build opens it. Wine shows the Unix
// root as drive Z:, so /a/b is Z:\a\b there.
fs::path HostPath(const std::string& unixPath) {
#ifdef _WIN32
    std::string windows = "Z:" + unixPath;
    for (char& c : windows) {
        if (c == '/') c = '\\';
    }
    return fs::path(Utf16(windows));
#else
    return fs::u8path(unixPath);
#endif
}

bool ReadIniValues(const fs::path& path, std::map<std::string, std::string>* values) {
    std::ifstream in(path);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t equals = line.find('=');
        if (equals == std::string::npos || line[0] == '[') continue;
        (*values)[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return true;
}

int PortValue(const std::map<std::string, std::string>& values, const char* key) {
    auto found = values.find(key);
    if (found == values.end()) return 0;
    int port = atoi(found->second.c_str());
    return port > 0 && port < 65536 ? port : 0;
}

// ---- a small reader for the fault server's JSON lines ----
// The lines are written by json.dumps with ensure_ascii, so strings hold
// only ASCII and \uXXXX escapes (which stand for single bytes of the
// Latin-1 request line, as Python's server read it).

bool ReadJsonString(const std::string& text, size_t* at, std::string* out) {
    size_t i = *at;
    if (i >= text.size() || text[i] != '"') return false;
    out->clear();
    for (++i; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') {
            *at = i + 1;
            return true;
        }
        if (c != '\\') {
            out->push_back(c);
            continue;
        }
        if (++i >= text.size()) return false;
        switch (text[i]) {
            case 'n':
                out->push_back('\n');
                break;
            case 't':
                out->push_back('\t');
                break;
            case 'r':
                out->push_back('\r');
                break;
            case 'b':
                out->push_back('\b');
                break;
            case 'f':
                out->push_back('\f');
                break;
            case 'u': {
                if (i + 4 >= text.size()) return false;
                unsigned long code = strtoul(text.substr(i + 1, 4).c_str(), nullptr, 16);
                out->push_back(static_cast<char>(code & 0xFF));
                i += 4;
                break;
            }
            default:
                out->push_back(text[i]);
                break;
        }
    }
    return false;
}

// The string value of "key":"..." in a line, or false.
bool JsonField(const std::string& line, const std::string& key, std::string* value) {
    size_t at = line.find("\"" + key + "\":");
    if (at == std::string::npos) return false;
    at += key.size() + 3;
    return ReadJsonString(line, &at, value);
}

// The "headers":[["name","value"],...] list of a line.
void JsonHeaders(const std::string& line,
                 std::vector<std::pair<std::string, std::string>>* headers) {
    size_t at = line.find("\"headers\":[");
    if (at == std::string::npos) return;
    at += 11;
    while (at < line.size() && line[at] == '[') {
        std::string name, value;
        ++at;
        if (!ReadJsonString(line, &at, &name) || at >= line.size() || line[at] != ',') return;
        ++at;
        if (!ReadJsonString(line, &at, &value) || at >= line.size() || line[at] != ']') return;
        headers->emplace_back(name, value);
        ++at;
        if (at < line.size() && line[at] == ',') ++at;
    }
}

bool SameNameNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (tolower(static_cast<unsigned char>(a[i])) != tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string NewTag() {
    static std::atomic<int> counter{0};
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = test != nullptr ? test->name() : "test";
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    return name + "-" + std::to_string(stamp) + "-" + std::to_string(counter++);
}

std::u16string Address(const char* base, int port, const std::string& path) {
    return Utf16(std::string(base) + ":" + std::to_string(port) + path);
}

const char ServersVariable[] = "UPDATER_TEST_SERVERS";

// Reads the servers.ini that UPDATER_TEST_SERVERS names or, when relative
// is not empty, the one at that path from the named file's folder.
TestServersState LoadServersAt(const std::string& relative, TestServers* servers,
                               std::string* problem) {
    const char* variable = getenv(ServersVariable);
    if (variable == nullptr) {
        *problem = std::string(ServersVariable) +
                   " is not set: run the tests through ctest, which starts the servers";
        return TEST_SERVERS_NOT_CONFIGURED;
    }
    std::string named = variable;
    if (!relative.empty()) named = named.substr(0, named.rfind('/') + 1) + relative;
    std::map<std::string, std::string> values;
    if (!ReadIniValues(HostPath(named), &values)) {
        *problem = std::string(ServersVariable) + " leads to " + named +
                   ", which cannot be read: did the servers_start tests fail?";
        return TEST_SERVERS_BROKEN;
    }
    servers->httpPort = PortValue(values, "http_port");
    servers->httpsPort = PortValue(values, "https_port");
    servers->faultPort = PortValue(values, "fault_port");
    servers->mutePort = PortValue(values, "mute_port");
    if (servers->httpPort == 0 || servers->httpsPort == 0 || servers->faultPort == 0 ||
        servers->mutePort == 0 || values["www"].empty() || values["ca_pem"].empty() ||
        values["ca_der"].empty() || values["fault_log"].empty()) {
        *problem = named + " lacks a port or a path";
        return TEST_SERVERS_BROKEN;
    }
    servers->www = HostPath(values["www"]);
    servers->caPem = HostPath(values["ca_pem"]);
    servers->caDer = HostPath(values["ca_der"]);
    servers->faultLog = HostPath(values["fault_log"]);
    return TEST_SERVERS_READY;
}

}  // namespace

TestServersState LoadTestServers(TestServers* servers, std::string* problem) {
    return LoadServersAt("", servers, problem);
}

TestServersState LoadUntrustedTestServers(TestServers* servers, std::string* problem) {
    return LoadServersAt("untrusted/servers.ini", servers, problem);
}

std::string FaultRequest::Header(const std::string& name) const {
    for (const auto& header : headers) {
        if (SameNameNoCase(header.first, name)) return header.second;
    }
    return std::string();
}

bool FaultRequest::HasHeader(const std::string& name) const {
    for (const auto& header : headers) {
        if (SameNameNoCase(header.first, name)) return true;
    }
    return false;
}

std::vector<FaultRequest> FaultRequestsWith(const TestServers& servers, const std::string& tag) {
    std::vector<FaultRequest> found;
    std::ifstream in(servers.faultLog);
    std::string line;
    while (std::getline(in, line)) {
        FaultRequest request;
        if (!JsonField(line, "path", &request.path) ||
            request.path.find(tag) == std::string::npos) {
            continue;
        }
        JsonField(line, "method", &request.method);
        JsonField(line, "client", &request.client);
        JsonHeaders(line, &request.headers);
        found.push_back(request);
    }
    return found;
}

void ServerTest::SetUp() {
    std::string problem;
    TestServersState state = LoadTestServers(&servers_, &problem);
    if (state == TEST_SERVERS_NOT_CONFIGURED) GTEST_SKIP() << problem;
    ASSERT_EQ(state, TEST_SERVERS_READY) << problem;
    ASSERT_TRUE(TrustTestAuthority(servers_)) << "cannot trust " << servers_.caPem.u8string();
    tag_ = NewTag();
}

void ServerTest::TearDown() {
    for (const fs::path& folder : made_) {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    made_.clear();
}

std::u16string ServerTest::HttpUrl(const std::string& path) const {
    return Address("http://127.0.0.1", servers_.httpPort, path);
}

std::u16string ServerTest::HttpsUrl(const std::string& path) const {
    return Address("https://localhost", servers_.httpsPort, path);
}

std::u16string ServerTest::FaultUrl(const std::string& path) const {
    return Address("http://127.0.0.1", servers_.faultPort, path);
}

std::u16string ServerTest::MuteHttpsUrl(const std::string& path) const {
    return Address("https://localhost", servers_.mutePort, path);
}

fs::path ServerTest::WwwFolder() {
    fs::path folder = servers_.www / fs::u8path(tag_);
    fs::create_directories(folder);
    made_.push_back(folder);
    return folder;
}
