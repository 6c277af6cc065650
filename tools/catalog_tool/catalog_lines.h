// scripts.txt line by line, exactly as the updater's parser (ParseCatalog)
// reads it, but saying what it does with every line: the parser itself
// reports nothing. ClassifyCatalog follows the parser's rules one by one and
// builds the tables the parser would build; ModelMatchesTables compares
// them with the real tables after a real ParseCatalog of the same text, so
// that the two can never disagree unnoticed.
#ifndef UPDATER_TOOLS_CATALOG_TOOL_CATALOG_LINES_H
#define UPDATER_TOOLS_CATALOG_TOOL_CATALOG_LINES_H

#include <stddef.h>

#include <string>
#include <vector>

#include "tools/catalog_tool/report.h"

enum LineKind { LINE_BLANK, LINE_COMMENT, LINE_HEADER, LINE_KEY };

struct CatalogLine {
    int number;              // 1-based
    std::u16string written;  // as in the text, without its LF and the CRs before it
    std::u16string trimmed;  // after TrimSpaces, as the parser sees it
    LineKind kind;
};

// Cuts a converted catalog text (a leading U+FEFF already skipped) into
// lines at every LF, as the parser does.
std::vector<CatalogLine> SplitCatalogLines(const char16_t* text);

// TrimSpaces on a copy.
std::u16string TrimmedText(const std::u16string& text);

// A header line: the name between '[' and the first ']' (not cut), and what
// follows the ']'. closed is false when the line has no ']'.
struct HeaderParts {
    bool closed;
    std::u16string name;
    std::u16string after;
};
HeaderParts SplitHeader(const std::u16string& trimmed);

// A key line: key and value around the first '=', each trimmed.
struct KeyParts {
    bool hasEquals;
    std::u16string key;
    std::u16string value;
};
KeyParts SplitKeyLine(const std::u16string& trimmed);

enum CatalogKey { KEY_UNKNOWN, KEY_VERSION, KEY_DESC, KEY_NOTE, KEY_FILE, KEY_KEEP };
CatalogKey KeyOf(const std::u16string& key);  // without regard to case

// A file or keep value: the path before the first '|', the digest up to a
// second '|', and whether anything but a SHA-256 (64 hexadecimal digits, the
// third field of a signed catalog) followed that.
struct FileParts {
    std::u16string path;
    std::u16string digest;
    bool textAfterDigest;
};
FileParts SplitFileValue(const std::u16string& value);

// What the parser keeps, as it would keep it (cut where it cuts).
struct ModelScript {
    std::u16string name;
    int line;
    int firstFile;
    int fileCount;
    int noteOffset;
    std::u16string version;
    std::u16string desc;
};

struct ModelFile {
    std::u16string path;
    std::u16string md5;
    int keep;
    int line;
    int script;  // index in scripts
};

struct LineFinding {
    Severity severity;
    FindingKind kind;
    int line;
    std::u16string text;
};

struct CatalogModel {
    std::vector<ModelScript> scripts;
    std::vector<ModelFile> files;
    std::u16string notesText;  // NotesText up to the notes length, runs ending in a zero
    std::vector<LineFinding> findings;
};

// Follows the parser over the lines, filling model.
void ClassifyCatalog(const std::vector<CatalogLine>& lines, CatalogModel* model);

// True when the catalog tables (after ParseCatalog) hold exactly what model
// says; otherwise difference tells the first thing that differs.
bool ModelMatchesTables(const CatalogModel& model, std::u16string* difference);

// The bytes before the catalog is converted: the 1-based line of the first
// zero byte before size (where the updater stops reading), 0 when none.
int LineOfZeroByte(const unsigned char* bytes, size_t size);

// Lines, up to the first zero byte, holding bytes that are not UTF-8 (the
// updater shows U+FFFD in their place). Each line once.
std::vector<int> LinesWithInvalidUtf8(const unsigned char* bytes, size_t size);

// True for 32 hexadecimal digits, in either case.
bool IsMd5Text(const std::u16string& digest);

#endif  // UPDATER_TOOLS_CATALOG_TOOL_CATALOG_LINES_H
