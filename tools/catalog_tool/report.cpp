// Findings, their one-line form, and the echo to the console.
#include "tools/catalog_tool/report.h"

#include "catalog/wire_address.h"
#include "tools/catalog_tool/tool_os.h"

void Report::Add(Severity severity, FindingKind kind, const std::u16string& where, int line,
                 const std::u16string& text) {
    // An address is shown with its password masked, as the updater shows it.
    std::u16string shown(where.size() + 4, u'\0');
    ShownAddress(where.c_str(), &shown[0], static_cast<int>(shown.size()));
    Finding finding = {severity, kind, shown.c_str(), line, text};
    if (severity == SEVERITY_ERROR) ++errors_;
    if (severity == SEVERITY_WARNING) ++warnings_;
    findings_.push_back(finding);
    if (echo_) WriteOutputLine(FormatFinding(finding), kind == FINDING_USAGE);
}

std::u16string FormatFinding(const Finding& finding) {
    if (finding.where.empty()) return finding.text;
    std::u16string text = finding.where;
    if (finding.line > 0) text += u":" + NumberText(finding.line);
    text += u": ";
    if (finding.severity == SEVERITY_ERROR) text += u"error: ";
    if (finding.severity == SEVERITY_WARNING) text += u"warning: ";
    return text + finding.text;
}

std::u16string NumberText(long long value) {
    std::u16string digits;
    bool negative = value < 0;
    unsigned long long rest = negative ? 0ull - static_cast<unsigned long long>(value)
                                       : static_cast<unsigned long long>(value);
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + rest % 10));
        rest /= 10;
    } while (rest != 0);
    return negative ? u"-" + digits : digits;
}

std::u16string Visible(const std::u16string& text) {
    static const char16_t hex[] = u"0123456789ABCDEF";
    std::u16string visible;
    for (char16_t c : text) {
        if (c == u'\r') {
            visible += u"\\r";
        } else if (c == u'\n') {
            visible += u"\\n";
        } else if (c == u'\t') {
            visible += u"\\t";
        } else if (c < 0x20 || c == 0x7F) {
            visible += std::u16string(u"\\x") + hex[c >> 4] + hex[c & 15];
        } else {
            visible += c;
        }
    }
    return visible;
}

std::u16string Quoted(const std::u16string& text) {
    return u"'" + Visible(text) + u"'";
}
