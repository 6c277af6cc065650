// What catalog-tool tells the publisher: one finding per line, each naming
// the file (and, where there is one, the line) it is about, in the form
//     where:line: error: text
// Findings are kept in order, so that tests can read exactly what a run
// said, and printed as they come when the report echoes.
#ifndef UPDATER_TOOLS_CATALOG_TOOL_REPORT_H
#define UPDATER_TOOLS_CATALOG_TOOL_REPORT_H

#include <string>
#include <vector>

#include "tools/catalog_tool/tool_text.h"

// The exit codes of catalog-tool.
enum ToolExit {
    EXIT_OK = 0,
    EXIT_PROBLEMS = 1,  // the catalog, the folder or the files have problems
    EXIT_FAILED = 2,    // wrong arguments, or something could not be read or written
};

enum Severity {
    SEVERITY_NOTE,     // what was done, or a summary
    SEVERITY_WARNING,  // works, but may surprise
    SEVERITY_ERROR,    // the updater would ignore, refuse, cut or fail it
};

enum FindingKind {
    // A catalog line as the updater's parser treats it.
    FINDING_NO_CURRENT_SCRIPT,       // a key line with no section to go to
    FINDING_NO_EQUALS,               // a key line without '='
    FINDING_UNKNOWN_KEY,             // a key other than the five known ones
    FINDING_REFUSED_PATH,            // a file path the parser refuses
    FINDING_UNSAFE_SECTION_NAME,     // a section name the parser refuses
    FINDING_HEADER_WITHOUT_BRACKET,  // a '[' line with no ']'
    FINDING_LIMIT_REACHED,           // 64 scripts, 4096 files or the notes' 4096 characters
    FINDING_VALUE_CUT,               // a value longer than its field
    FINDING_BAD_DIGEST,              // a digest that is not 32 hexadecimal digits
    FINDING_EMPTY_FILE_VALUE,        // a file or keep line with nothing after '='
    FINDING_TEXT_AFTER_BRACKET,      // ignored text after a section's ']'
    FINDING_TEXT_AFTER_DIGEST,       // ignored text after a second '|'
    FINDING_VALUE_REPLACED,          // a later version or desc wins over an earlier one
    FINDING_NO_VERSION,              // a section without a version line
    FINDING_DUPLICATE_SCRIPT,        // two sections of one name
    FINDING_DUPLICATE_FILE,          // two lines naming one local file
    FINDING_INVALID_UTF8,            // bytes the updater turns into U+FFFD
    FINDING_ZERO_BYTE,               // the updater stops reading at a zero byte
    // Names on the user's disk and on the wire.
    FINDING_LOCAL_NAME,       // a name Windows cannot hold
    FINDING_LOCAL_PATH_LONG,  // ScriptsFolder\name\path may not fit 259 characters
    FINDING_ADDRESS_RISK,     // the request differs from the plain path in a risky way
    FINDING_ADDRESS_CUT,      // the updater's address buffers would cut it
    // The published files.
    FINDING_FILE_MISSING,     // the server did not give the file
    FINDING_DIGEST_MISMATCH,  // the file's MD5 (or SHA-256) is not the catalog's
    FINDING_SIGNATURE,        // signing: the signature, the serial, a SHA-256 field, a key
    FINDING_NOT_IN_CATALOG,   // a file or script folder on the server folder the catalog omits
    // make.
    FINDING_NAME_REFUSED,     // a script or file name make leaves out
    FINDING_CATALOG_PROBLEM,  // the existing catalog cannot be kept safely
    FINDING_CHANGE,           // what make added, updated or dropped
    FINDING_SAME_VERSION,     // files of a section changed, its version did not
    FINDING_IO,               // a file or folder that could not be read or written
    FINDING_SUMMARY,
    // The command line.
    FINDING_HELP,   // a line of --help
    FINDING_USAGE,  // wrong arguments (echoed to standard error)
};

struct Finding {
    Severity severity;
    FindingKind kind;
    std::u16string where;  // a path or an address as the user knows it
    int line;              // 1-based line in where, 0 for none
    std::u16string text;
};

class Report {
public:
    // With echo every finding is printed as it is added. Errors and
    // warnings alike go to standard output: they are the report; only a
    // wrong command line goes to standard error.
    explicit Report(bool echo) : echo_(echo) {}

    void Add(Severity severity, FindingKind kind, const std::u16string& where, int line,
             const std::u16string& text);
    void Error(FindingKind kind, const std::u16string& where, int line,
               const std::u16string& text) {
        Add(SEVERITY_ERROR, kind, where, line, text);
    }
    void Warning(FindingKind kind, const std::u16string& where, int line,
                 const std::u16string& text) {
        Add(SEVERITY_WARNING, kind, where, line, text);
    }
    void Note(FindingKind kind, const std::u16string& where, int line, const std::u16string& text) {
        Add(SEVERITY_NOTE, kind, where, line, text);
    }

    int Errors() const { return errors_; }
    int Warnings() const { return warnings_; }
    const std::vector<Finding>& Findings() const { return findings_; }

private:
    bool echo_;
    int errors_ = 0;
    int warnings_ = 0;
    std::vector<Finding> findings_;
};

// "where:line: error: text" (no line part for line 0, no severity for a
// note, only the text when where is empty).
std::u16string FormatFinding(const Finding& finding);

// Small text helpers the tool's messages are built with.
std::u16string NumberText(long long value);
std::u16string Quoted(const std::u16string& text);  // 'text', made Visible
// Control characters as \r, \n, \t or \xNN, so that a message stays one line.
std::u16string Visible(const std::u16string& text);


#endif  // UPDATER_TOOLS_CATALOG_TOOL_REPORT_H
