// The entry of catalog-tool: the arguments as UTF-16 texts, the report
// printed as it goes, the exit code.
#include <vector>

#include "app/unicode.h"
#include "tools/catalog_tool/command_line.h"

#ifdef _WIN32

int wmain(int argc, wchar_t** argv) {
    std::vector<std::u16string> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(reinterpret_cast<const char16_t*>(argv[i]));
    Report report(true);
    return RunCatalogTool(arguments, report);
}

#else

int main(int argc, char** argv) {
    std::vector<std::u16string> arguments;
    for (int i = 1; i < argc; ++i) {
        int units = Utf8ToUtf16(argv[i], -1, nullptr, 0);
        std::vector<char16_t> text(static_cast<size_t>(units > 0 ? units : 1), 0);
        if (units > 0) Utf8ToUtf16(argv[i], -1, text.data(), units);
        arguments.push_back(text.data());
    }
    Report report(true);
    return RunCatalogTool(arguments, report);
}

#endif
