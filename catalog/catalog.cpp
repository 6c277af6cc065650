// The catalog tables and the parser of scripts.txt.
#include "catalog/catalog.h"

#include <stdlib.h>

#include "app/text.h"
#include "app/unicode.h"
#include "catalog/names.h"
#include "catalog/parse_observer.h"

ScriptRecord ScriptTable[MAX_SCRIPTS];
int32_t ScriptCount;
FileRecord FileTable[MAX_FILES];
int32_t FileCount;
char16_t NotesText[NOTES_CAPACITY];
int32_t NotesLength;

char16_t* ConvertCatalogText(const char* bytes) {
    int units = Utf8ToUtf16(bytes, -1, nullptr, 0);
    if (units <= 0) return nullptr;
    char16_t* text = static_cast<char16_t*>(malloc(static_cast<size_t>(units) * sizeof(char16_t)));
    if (text == nullptr) return nullptr;
    if (Utf8ToUtf16(bytes, -1, text, units) != units) {
        free(text);
        return nullptr;
    }
    return text;
}

char16_t* SkipByteOrderMark(char16_t* text) {
    return text[0] == 0xFEFF ? text + 1 : text;
}

void ClearCatalog() {
    ScriptCount = 0;
    FileCount = 0;
    NotesText[0] = 0;
    NotesLength = 0;
}

// ---- one line at a time -----------------------------------------------------

namespace {

// What the parse loop carries from line to line, and what it learns about
// the line at hand (told to the observer, when there is one).
struct ParseState {
    ScriptRecord* current;  // the script that key lines apply to, null for none
    bool sawHeader;         // a header came, accepted or not
    ParsedLine line;
};

// The paths of the current script, to refuse a second line for one file.
PathIndex CurrentScriptPaths;

// Ends the previous script's notes run with its terminator. Once NotesText is
// full the length stays at its last place, so that no separator ever lands
// past the buffer and every run stays terminated.
void CloseNotesRun() {
    if (NotesLength == 0) return;
    NotesText[NotesLength] = 0;
    if (NotesLength < NOTES_CAPACITY - 1) ++NotesLength;
}

// Copies value into a field; true when it had to be cut.
bool CopyField(char16_t* field, int capacity, const char16_t* value) {
    int length = TextCopy(field, capacity, value);
    return value[length] != 0;
}

LineVerdict HandleHeader(ParseState& state, char16_t* line) {
    state.current = nullptr;
    state.sawHeader = true;
    char16_t* close = TextFindChar(line, u']');
    if (close == nullptr) return LINE_HEADER_WITHOUT_BRACKET;
    *close = 0;
    state.line.name = line + 1;
    state.line.afterBracket = close + 1;
    if (ScriptCount >= MAX_SCRIPTS) return LINE_TOO_MANY_SCRIPTS;
    char16_t name[SCRIPT_NAME_CAPACITY];
    if (CopyField(name, SCRIPT_NAME_CAPACITY, line + 1)) state.line.cuts |= CUT_NAME;
    state.line.problem = ScriptNameProblem(name);
    if (state.line.problem != NAME_OK) return LINE_REFUSED_NAME;

    CloseNotesRun();
    ScriptRecord& script = ScriptTable[ScriptCount++];
    script = ScriptRecord();
    TextCopy(script.name, SCRIPT_NAME_CAPACITY, name);
    script.firstFile = FileCount;
    script.fileCount = 0;
    script.noteOffset = -1;
    state.current = &script;
    ClearPathIndex(&CurrentScriptPaths);
    return LINE_SCRIPT_TAKEN;
}

LineVerdict AddNote(ScriptRecord& script, const char16_t* value) {
    int length = TextLength(value);
    if (length + NotesLength + NOTE_OVERHEAD > NOTES_CAPACITY) return LINE_NOTES_FULL;
    if (script.noteOffset < 0) script.noteOffset = NotesLength;
    NotesLength += TextFormat(NotesText + NotesLength, NOTES_CAPACITY - NotesLength,
                              u"- %s\r\n", value);
    return LINE_NOTE_TAKEN;
}

// The third field of a file or keep value: the SHA-256 of a signed
// catalog. A field too long for the record, cut, could pass for a digest it
// is not: it counts as none.
void CopySha256Field(char16_t* out, const char16_t* field) {
    int length = TextLength(field);
    if (length >= FILE_SHA256_CAPACITY) length = 0;
    for (int i = 0; i < length; ++i) out[i] = field[i];
    out[length] = 0;
}

// Cuts a file or keep value at its bars: the path before the first, the
// digest up to the second, a signed catalog's SHA-256 up to a third, and
// whatever follows that.
void SplitFileValue(ParsedLine& parts, char16_t* value) {
    parts.path = value;
    parts.digest = u"";
    // The record is not cleared between lines without an observer.
    parts.afterDigest = nullptr;
    parts.afterSha256 = nullptr;
    char16_t* bar = TextFindChar(value, u'|');
    if (bar == nullptr) return;
    *bar = 0;
    parts.digest = bar + 1;
    char16_t* secondBar = TextFindChar(bar + 1, u'|');
    if (secondBar == nullptr) return;
    *secondBar = 0;
    parts.afterDigest = secondBar + 1;
    char16_t* thirdBar = TextFindChar(secondBar + 1, u'|');
    if (thirdBar == nullptr) return;
    *thirdBar = 0;
    parts.afterSha256 = thirdBar + 1;
}

LineVerdict AddFile(ParseState& state, char16_t* value, int keep) {
    ParsedLine& parts = state.line;
    if (value[0] == 0) return LINE_EMPTY_FILE_VALUE;
    if (FileCount >= MAX_FILES) return LINE_TOO_MANY_FILES;
    SplitFileValue(parts, value);
    // The path is tested as written and as kept: a cut may not leave a
    // device or an empty part at its end.
    char16_t path[FILE_PATH_CAPACITY];
    bool cut = CopyField(path, FILE_PATH_CAPACITY, value);
    parts.problem = FilePathProblem(value);
    if (parts.problem == NAME_OK && cut) parts.problem = FilePathProblem(path);
    if (parts.problem != NAME_OK) return LINE_REFUSED_PATH;
    // Windows would put both lines in one file (or one in the other's
    // temporary file): the earlier line stands.
    parts.clash = AddPathUnlessItClashes(&CurrentScriptPaths, path, FileCount, &parts.earlierFile);
    if (parts.clash != CLASH_NONE) return LINE_DUPLICATE_PATH;

    parts.file = FileCount;
    FileRecord& file = FileTable[FileCount++];
    TextCopy(file.path, FILE_PATH_CAPACITY, path);
    if (CopyField(file.md5, FILE_MD5_CAPACITY, parts.digest)) parts.cuts |= CUT_DIGEST;
    if (cut) parts.cuts |= CUT_PATH;
    CopySha256Field(file.sha256, parts.afterDigest != nullptr ? parts.afterDigest : u"");
    file.keep = keep;
    file.status = 0;
    ++state.current->fileCount;
    return keep ? LINE_KEEP_TAKEN : LINE_FILE_TAKEN;
}

LineVerdict HandleKeyLine(ParseState& state, char16_t* line) {
    // Split before the section is known: a line before the first section
    // (a signed catalog's serial) is told with its key and value too.
    char16_t* equals = TextFindChar(line, u'=');
    char16_t* key = line;
    char16_t* value = equals != nullptr ? equals + 1 : nullptr;
    if (equals != nullptr) {
        *equals = 0;
        TrimSpaces(key);
        TrimSpaces(value);
        state.line.key = key;
        state.line.value = value;
    }
    if (state.current == nullptr) {
        return state.sawHeader ? LINE_AFTER_REFUSED_HEADER : LINE_BEFORE_FIRST_SECTION;
    }
    if (equals == nullptr) return LINE_NO_EQUALS;

    ScriptRecord& script = *state.current;
    if (TextCompareNoCase(key, u"version") == 0) {
        if (CopyField(script.version, SCRIPT_VERSION_CAPACITY, value))
            state.line.cuts |= CUT_VERSION;
        return LINE_VERSION_TAKEN;
    }
    if (TextCompareNoCase(key, u"desc") == 0) {
        if (CopyField(script.desc, SCRIPT_DESC_CAPACITY, value)) state.line.cuts |= CUT_DESC;
        return LINE_DESC_TAKEN;
    }
    if (TextCompareNoCase(key, u"note") == 0) return AddNote(script, value);
    if (TextCompareNoCase(key, u"file") == 0) return AddFile(state, value, 0);
    if (TextCompareNoCase(key, u"keep") == 0) return AddFile(state, value, 1);
    return LINE_UNKNOWN_KEY;
}

LineVerdict HandleLine(ParseState& state, char16_t* line) {
    switch (line[0]) {
        case 0:
            return LINE_BLANK;
        case u';':
        case u'#':
            return LINE_COMMENT;
        case u'[':
            return HandleHeader(state, line);
        default:
            return HandleKeyLine(state, line);
    }
}

int LeadingSpaces(const char16_t* line) {
    int count = 0;
    while (line[count] == u' ' || line[count] == u'\t') ++count;
    return count;
}

// Tells the observer what became of the line that begins at line.
void TellLine(ParseState& state, CatalogObserver* observer, const char16_t* text,
              const char16_t* line, int length, int leading, int trimmedLength) {
    ParsedLine& told = state.line;
    told.start = static_cast<int>(line - text);
    told.length = length;
    told.trimmedStart = told.start + leading;
    told.trimmedLength = trimmedLength;
    told.script = state.current != nullptr ? static_cast<int>(state.current - ScriptTable) : -1;
    observer->Line(told);
}

}  // namespace

void ParseCatalog(char16_t* text) {
    ParseCatalogObserved(text, nullptr);
}

void ParseCatalogObserved(char16_t* text, CatalogObserver* observer) {
    ParseState state = {};
    state.current = nullptr;
    char16_t* line = text;
    for (int number = 1; line != nullptr; ++number) {
        char16_t* next = nullptr;
        char16_t* newline = TextFindChar(line, u'\n');
        if (newline != nullptr) {
            *newline = 0;
            next = newline + 1;
        }
        // Without an observer the line record is written but never read,
        // so it is not cleared either.
        int leading = 0, length = 0;
        if (observer != nullptr) {
            leading = LeadingSpaces(line);
            length = TextLength(line);
            state.line = ParsedLine{};
            state.line.number = number;
            state.line.file = -1;
        }
        int trimmedLength = TrimSpaces(line);
        state.line.verdict = HandleLine(state, line);
        if (observer != nullptr) {
            TellLine(state, observer, text, line, length, leading, trimmedLength);
        }
        line = next;
    }
}
