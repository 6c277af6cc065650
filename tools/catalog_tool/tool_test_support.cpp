// Test helpers of catalog-tool.
#include "tools/catalog_tool/tool_test_support.h"

#include <vector>

#include "app/unicode.h"
#include "tools/catalog_tool/check.h"
#include "tools/catalog_tool/make.h"

int CountFindings(const Report& report, FindingKind kind, int line) {
    int count = 0;
    for (const Finding& finding : report.Findings()) {
        if (finding.kind == kind && (line == 0 || finding.line == line)) ++count;
    }
    return count;
}

bool HasFinding(const Report& report, Severity severity, FindingKind kind, int line) {
    for (const Finding& finding : report.Findings()) {
        if (finding.kind == kind && finding.severity == severity &&
            (line == 0 || finding.line == line)) {
            return true;
        }
    }
    return false;
}

std::string ReportText(const Report& report) {
    std::string text;
    for (const Finding& finding : report.Findings()) {
        std::u16string line = FormatFinding(finding);
        int size = Utf16ToUtf8(line.c_str(), nullptr, 0);
        std::vector<char> utf8(static_cast<size_t>(size > 0 ? size : 1), 0);
        if (size > 0) Utf16ToUtf8(line.c_str(), utf8.data(), size);
        text += std::string(utf8.data()) + "\n";
    }
    return text;
}

void Publish(const fs::path& root, const std::string& relative, const std::string& content) {
    WriteFileBytes(root / fs::u8path(relative), content);
}

int MakeIn(const fs::path& root, Report& report) {
    return RunMake(ProgramPathOf(root), u"", report);
}

int CheckIn(const fs::path& root, Report& report) {
    return RunCheck(ProgramPathOf(root), report);
}

std::string CatalogAt(const fs::path& root) {
    std::error_code error;
    if (!fs::is_regular_file(root / "scripts.txt", error)) return std::string();
    return ReadFileBytes(root / "scripts.txt");
}
