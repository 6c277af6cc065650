// Test helpers: temporary folders, file bytes, program-form paths.
#include "tests/support/test_support.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "app/unicode.h"

#ifdef _WIN32
#include <windows.h>
#endif

std::u16string ProgramPathOf(const fs::path& path) {
    std::u16string text = path.u16string();
    for (char16_t& c : text) {
        if (c == u'/') c = u'\\';
    }
    return text;
}

TempFolder::TempFolder() {
    static std::atomic<int> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = fs::temp_directory_path() /
            ("updater-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    fs::create_directories(path_);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::u16string TempFolder::ProgramPath(const std::string& relative) const {
    return ProgramPathOf(relative.empty() ? path_ : path_ / fs::u8path(relative));
}

void WriteFileBytes(const fs::path& path, const std::string& bytes) {
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.u8string());
}

std::string ReadFileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.u8string());
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::u16string Utf16(const std::string& utf8) {
    if (utf8.empty()) return std::u16string();
    int count = Utf8ToUtf16(utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::u16string text(static_cast<size_t>(count), u'\0');
    Utf8ToUtf16(utf8.data(), static_cast<int>(utf8.size()), &text[0], count);
    return text;
}

std::u16string Repeat(char16_t c, size_t count) {
    return std::u16string(count, c);
}

bool RunningUnderWine() {
#ifdef _WIN32
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

#ifdef _WIN32
// The Unix name of a Windows path, through Wine's own export.
static std::string UnixPathOf(const fs::path& path) {
    using ToUnix = char*(CDECL*)(const wchar_t*);
    auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* unixPath = toUnix != nullptr ? toUnix(path.wstring().c_str()) : nullptr;
    if (unixPath == nullptr) return std::string();
    std::string result = unixPath;
    HeapFree(GetProcessHeap(), 0, unixPath);
    return result;
}

// Runs a program of the Unix side (Wine starts one it is given) and waits,
// within a bound, until link is there or gone as asked: Wine neither waits
// for a Unix program nor tells its exit code.
static bool RunOnUnixSide(const wchar_t* program, const std::wstring& arguments,
                          const fs::path& link, bool linkThere) {
    std::wstring command = std::wstring(program) + L" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return false;
    }
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    for (int tries = 0; tries < 1000; ++tries) {
        WIN32_FIND_DATAW found;
        HANDLE find = FindFirstFileW(link.wstring().c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) FindClose(find);
        if ((find != INVALID_HANDLE_VALUE) == linkThere) return true;
        Sleep(10);
    }
    return false;
}

static bool MakeUnixSymbolicLink(const fs::path& link, const fs::path& target) {
    std::string from = UnixPathOf(target), at = UnixPathOf(link);
    if (from.empty() || at.empty()) return false;
    return RunOnUnixSide(L"Z:\\bin\\ln",
                         L"-s " + fs::u8path(from).wstring() + L" " + fs::u8path(at).wstring(),
                         link, true);
}
#endif

bool MakeSymbolicLink(const fs::path& link, const fs::path& target) {
    std::error_code error;
#ifdef _WIN32
    if (RunningUnderWine()) return MakeUnixSymbolicLink(link, target);
    DWORD flags = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
    if (fs::is_directory(target, error)) flags |= SYMBOLIC_LINK_FLAG_DIRECTORY;
    return CreateSymbolicLinkW(link.wstring().c_str(), target.wstring().c_str(), flags) != FALSE;
#else
    fs::create_symlink(target, link, error);
    return !error;
#endif
}

void RemoveSymbolicLink(const fs::path& link) {
#ifdef _WIN32
    if (RunningUnderWine()) {
        std::string at = UnixPathOf(link);
        if (!at.empty()) RunOnUnixSide(L"Z:\\bin\\rm", fs::u8path(at).wstring(), link, false);
        return;
    }
#endif
    std::error_code ignored;
    fs::remove(link, ignored);
}
