// WinINet and CNG bound at run time: from the system folder, and failing
// closed, never crashing, when a library lacks an entry point.
#include "catalog/system_entries_win32.h"

#include <gtest/gtest.h>

#include <string>

#include "app/system_library_win32.h"
#include "catalog/server.h"
#include "catalog/signature.h"
#include "tests/support/signer.h"

namespace {

std::wstring ModuleFile(HMODULE module) {
    wchar_t name[MAX_PATH];
    return std::wstring(name, GetModuleFileNameW(module, name, MAX_PATH));
}

// A library with none of the entry points (the GDI+ stand-in the build puts
// beside this program).
HMODULE StandIn() {
    std::wstring path = ModuleFile(nullptr);
    return LoadLibraryW(
        (path.substr(0, path.find_last_of(L'\\') + 1) + L"gdiplus_first_three.dll").c_str());
}

}  // namespace

TEST(SystemEntriesTest, BothTablesComeFromTheSystemFolder) {
    ASSERT_NE(WinInet(), nullptr);
    ASSERT_NE(Cng(), nullptr);
    wchar_t folder[MAX_PATH];
    UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    struct {
        const wchar_t* library;
        void* entry;
    } const bound[] = {
        {L"wininet.dll", reinterpret_cast<void*>(WinInet()->InternetOpenW)},
        {L"bcrypt.dll", reinterpret_cast<void*>(Cng()->BCryptVerifySignature)},
    };
    for (const auto& row : bound) {
        HMODULE module = nullptr;
        ASSERT_TRUE(GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCWSTR>(row.entry), &module));
        EXPECT_EQ(_wcsicmp(ModuleFile(module).c_str(),
                           (std::wstring(folder, length) + L"\\" + row.library).c_str()),
                  0)
            << row.library;
    }
}

TEST(SystemEntriesTest, WithoutTheEntryPointsFetchesFailAndNothingVerifies) {
    TestSigner signer;
    std::string data = "scripts";
    std::string signature = signer.RawSignature(data);
    ASSERT_EQ(signature.size(), static_cast<size_t>(SIGNATURE_BYTES));
    const unsigned char* raw = reinterpret_cast<const unsigned char*>(signature.data());
    ASSERT_TRUE(VerifySignature(signer.Public().point, data.data(), data.size(), raw));

    ASSERT_NE(StandIn(), nullptr);
    for (HMODULE library : {static_cast<HMODULE>(nullptr), StandIn()}) {
        EXPECT_FALSE(BindWinInet(library));
        EXPECT_FALSE(BindCng(library));
        EXPECT_EQ(WinInet(), nullptr);
        uint32_t size = 5;
        EXPECT_EQ(FetchResource(u"http://127.0.0.1:9/scripts.txt", &size, -1), nullptr);
        EXPECT_EQ(size, 0u);
        unsigned char digest[SHA256_BYTES];
        EXPECT_FALSE(Sha256Bytes(data.data(), data.size(), digest));
        EXPECT_FALSE(VerifySignature(signer.Public().point, data.data(), data.size(), raw));
    }
    EXPECT_TRUE(BindWinInet(LoadSystemLibrary(L"wininet.dll")));
    EXPECT_TRUE(BindCng(LoadSystemLibrary(L"bcrypt.dll")));
    EXPECT_TRUE(VerifySignature(signer.Public().point, data.data(), data.size(), raw));
}
