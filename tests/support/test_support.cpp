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
