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
    for (int i = 1; i < argc; ++i) arguments.push_back(Utf16Of(argv[i]));
    Report report(true);
    return RunCatalogTool(arguments, report);
}

#endif
