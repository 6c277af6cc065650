// What the catalog parser does with each line, for whoever needs to say it
// (catalog-tool): the updater itself parses without an observer and hears
// nothing. The parser calls the observer once per line, after handling it,
// with one ParsedLine; the verdict is the parser's own decision, so a tool
// that reports it can never tell the publisher something the updater does
// not do.
#ifndef UPDATER_CATALOG_PARSE_OBSERVER_H
#define UPDATER_CATALOG_PARSE_OBSERVER_H

#include "catalog/catalog.h"
#include "catalog/names.h"

enum LineVerdict {
    // Nothing to take.
    LINE_BLANK,    // empty after trimming
    LINE_COMMENT,  // begins with ';' or '#'
    // Taken into the tables.
    LINE_SCRIPT_TAKEN,   // a header that began a script
    LINE_VERSION_TAKEN,  // replaces an earlier version of the script, if any
    LINE_DESC_TAKEN,     // likewise
    LINE_NOTE_TAKEN,
    LINE_FILE_TAKEN,
    LINE_KEEP_TAKEN,
    // Ignored.
    LINE_BEFORE_FIRST_SECTION,    // a key line before any header
    LINE_AFTER_REFUSED_HEADER,    // a key line after a header that was refused
    LINE_NO_EQUALS,               // a key line without '='
    LINE_UNKNOWN_KEY,             // a key other than the five
    LINE_EMPTY_FILE_VALUE,        // file or keep with nothing after '='
    LINE_HEADER_WITHOUT_BRACKET,  // '[' with no ']'
    LINE_REFUSED_NAME,            // a section name against the name rules (problem)
    LINE_REFUSED_PATH,            // a path against the name rules (problem)
    LINE_DUPLICATE_PATH,          // a path meeting an earlier one of its script (clash)
    LINE_TOO_MANY_SCRIPTS,        // ScriptTable full: the header and its lines are ignored
    LINE_TOO_MANY_FILES,          // FileTable full
    LINE_NOTES_FULL,              // the note does not fit NotesText
};

inline bool IsTakenVerdict(LineVerdict verdict) {
    return verdict >= LINE_SCRIPT_TAKEN && verdict <= LINE_KEEP_TAKEN;
}

// Fields of a taken line that were cut to their capacity.
enum FieldCut {
    CUT_NAME = 1,
    CUT_VERSION = 2,
    CUT_DESC = 4,
    CUT_PATH = 8,
    CUT_DIGEST = 16,
};

struct ParsedLine {
    int number;  // 1-based
    // Where the line lies in the text given to the parser, as offsets into
    // it (the parser changes the text, so an observer that wants the line's
    // characters keeps a copy of that text): the line up to its LF, and the
    // line after trimming.
    int start;
    int length;
    int trimmedStart;
    int trimmedLength;
    LineVerdict verdict;
    unsigned cuts;        // FieldCut bits
    NameProblem problem;  // LINE_REFUSED_NAME, LINE_REFUSED_PATH
    PathClash clash;      // LINE_DUPLICATE_PATH
    int earlierFile;      // LINE_DUPLICATE_PATH: FileTable index of the earlier line's file
    int script;           // ScriptTable index of the current script after the line, -1 for none
    int file;             // FILE and KEEP taken: the FileTable index, else -1
    // The parts as the parser split them, terminated, valid during the call
    // only; null where the line has no such part.
    const char16_t* name;          // header: between '[' and ']', not cut
    const char16_t* afterBracket;  // header: after ']'
    const char16_t* key;           // key line with '=' (in a section or not): trimmed
    const char16_t* value;         // trimmed; for file and keep lines up to the first '|'
    const char16_t* path;          // file and keep: before the first '|', not cut
    const char16_t* digest;        // file and keep: between the bars, not cut
    const char16_t* afterDigest;   // file and keep: after a second '|', up to a third (SHA-256)
    const char16_t* afterSha256;   // file and keep: after a third '|'
};

class CatalogObserver {
public:
    virtual void Line(const ParsedLine& line) = 0;

protected:
    ~CatalogObserver() = default;
};

// ParseCatalog, telling observer about every line (observer may be null).
void ParseCatalogObserved(char16_t* text, CatalogObserver* observer);

#endif  // UPDATER_CATALOG_PARSE_OBSERVER_H
