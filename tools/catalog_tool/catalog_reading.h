// A catalog read by the updater's own parser, with a record of every line:
// what the parser did with it (its verdict) and the parts it split it into.
// The tool has no parser of its own: whatever it says about a line comes
// from this record, so it cannot disagree with the updater.
#ifndef UPDATER_TOOLS_CATALOG_TOOL_CATALOG_READING_H
#define UPDATER_TOOLS_CATALOG_TOOL_CATALOG_READING_H

#include <stddef.h>

#include <string>
#include <vector>

#include "catalog/parse_observer.h"

struct LineRecord {
    int number;              // 1-based
    std::u16string written;  // as in the text, without its LF and the CRs before it
    std::u16string trimmed;  // as the parser sees it
    LineVerdict verdict;
    unsigned cuts;        // FieldCut bits
    NameProblem problem;  // LINE_REFUSED_NAME, LINE_REFUSED_PATH
    PathClash clash;      // LINE_DUPLICATE_PATH
    int earlierLine;      // LINE_DUPLICATE_PATH: the line of the earlier file
    int script;           // ScriptTable index after the line, -1 for none
    int file;             // FileTable index of a taken file or keep line, -1 else
    // The parts, as ParsedLine gives them (empty where there are none).
    std::u16string name, afterBracket, key, value, path, digest, afterDigest, afterSha256;
    bool hasSecondBar;
    bool hasThirdBar;
};

struct CatalogReading {
    std::vector<LineRecord> lines;
    std::vector<int> scriptLines;  // the header line of every script in ScriptTable
    std::vector<int> fileLines;    // the line of every file in FileTable
};

// Parses a converted catalog text (a leading U+FEFF already skipped) into
// the emptied tables with the updater's parser, recording every line.
CatalogReading ReadCatalogLines(const char16_t* text);

// The bytes before the catalog is converted: the 1-based line of the first
// zero byte before size (where the updater stops reading), 0 when none.
int LineOfZeroByte(const unsigned char* bytes, size_t size);

// Lines, up to the first zero byte, holding bytes that are not UTF-8 (the
// updater shows U+FFFD in their place): those whose bytes do not come back
// the same through the program's own UTF-8 conversion. Each line once.
std::vector<int> LinesWithInvalidUtf8(const unsigned char* bytes, size_t size);

// True for 32 hexadecimal digits, in either case.
bool IsMd5Text(const std::u16string& digest);

#endif  // UPDATER_TOOLS_CATALOG_TOOL_CATALOG_READING_H
