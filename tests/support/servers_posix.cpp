// Trusting the test authority natively: the POSIX fetch's test hook.
#include "tests/support/servers.h"

#include "catalog/fetch_test_hooks.h"

bool TrustTestAuthority(const TestServers& servers) {
    if (!fs::is_regular_file(servers.caPem)) return false;
    FetchTrustExtraCaFileForTests(servers.caPem.c_str());
    return true;
}

bool DistrustTestAuthority(const TestServers&) {
    FetchTrustExtraCaFileForTests(nullptr);
    return true;
}
