// The catalog: the tables that scripts.txt is read into, shared by the
// whole program, and the parser that fills them.
//
// scripts.txt is UTF-8 in sections, one per script:
//     [Script name]
//     version = 1.4
//     desc = What it does.
//     note = One line of release notes.      (any number)
//     file = lib/main.lua|<32 hex digits>    (any number)
//     keep = lib/settings.ini|<32 hex digits> (a file the user may change)
// A signed catalog (catalog/signing.h) adds a third field to file and keep
// lines, the SHA-256 as 64 hexadecimal digits.
// Malformed content never fails the parse: what does not fit is ignored,
// cut, or dropped. A script and a file are named everywhere by their index.
#ifndef UPDATER_CATALOG_CATALOG_H
#define UPDATER_CATALOG_CATALOG_H

#include <stdint.h>

enum {
    SCRIPT_NAME_CAPACITY = 64,
    SCRIPT_VERSION_CAPACITY = 32,
    SCRIPT_DESC_CAPACITY = 200,
    FILE_PATH_CAPACITY = 260,
    FILE_MD5_CAPACITY = 33,
    FILE_SHA256_CAPACITY = 65,
    MAX_SCRIPTS = 64,
    MAX_FILES = 4096,
    NOTES_CAPACITY = 4096,
    // What a note takes in NotesText beyond its own characters: "- ", the
    // line end, and the room for its run's terminator and the last one.
    NOTE_OVERHEAD = 6,
};

struct ScriptRecord {
    char16_t name[SCRIPT_NAME_CAPACITY];        // the section name as written, cut to 63
    char16_t version[SCRIPT_VERSION_CAPACITY];  // the last `version` of the section
    char16_t desc[SCRIPT_DESC_CAPACITY];        // the last `desc` of the section
    int32_t firstFile;                          // index in FileTable of its first file
    int32_t fileCount;                          // its files: firstFile .. firstFile + fileCount - 1
    int32_t noteOffset;                         // start of its notes in NotesText, -1 for none
};

struct FileRecord {
    char16_t path[FILE_PATH_CAPACITY];  // relative to the script's folder, slashes as written
    char16_t md5[FILE_MD5_CAPACITY];    // expected digest as written, empty when none
    char16_t sha256[FILE_SHA256_CAPACITY];  // third field: SHA-256 as written, empty when
                                            // none or longer than 64 (signed catalogs only)
    int32_t keep;                       // 1 for a `keep` line, 0 for a `file` line
    int32_t status;                     // FileStatus, 0 until the statuses are computed
};

extern ScriptRecord ScriptTable[MAX_SCRIPTS];
extern int32_t ScriptCount;
extern FileRecord FileTable[MAX_FILES];
extern int32_t FileCount;

// Release notes of all scripts: per script with notes, one terminated run of
// "- <note>\r\n" lines starting at its noteOffset.
extern char16_t NotesText[NOTES_CAPACITY];
extern int32_t NotesLength;

// Converts the UTF-8 bytes up to their first zero byte into a UTF-16 text on
// the heap (release it with free), the way the check run converts the
// catalog: invalid sequences become U+FFFD. Null when it cannot be allocated.
char16_t* ConvertCatalogText(const char* bytes);

// Where parsing starts in a converted text: after one leading U+FEFF.
char16_t* SkipByteOrderMark(char16_t* text);

// Empties the tables.
void ClearCatalog();

// Parses a converted, writable catalog text (lines are cut in place) into the
// emptied tables. A leading U+FEFF must already have been skipped. Section
// names and paths that fail the rules of catalog/names.h are refused, and so
// is a file or keep line whose path names the same file as an earlier line
// of its script (or its temporary "<path>.new", or the other way round).
// ParseCatalogObserved (catalog/parse_observer.h) is the same parse telling
// what became of every line.
void ParseCatalog(char16_t* text);

#endif  // UPDATER_CATALOG_CATALOG_H
