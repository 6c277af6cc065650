// The catalog tables and the parser of scripts.txt.
#include "catalog/catalog.h"

#include <stdlib.h>

#include "app/settings.h"
#include "app/text.h"
#include "app/unicode.h"
#include "catalog/names.h"

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

// What the parse loop carries from line to line.
struct ParseState {
    ScriptRecord* current;  // the script that key lines apply to, null for none
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

void HandleHeader(ParseState& state, char16_t* line) {
    state.current = nullptr;
    char16_t* close = TextFindChar(line, u']');
    if (close == nullptr || ScriptCount >= MAX_SCRIPTS) return;
    *close = 0;
    char16_t name[SCRIPT_NAME_CAPACITY];
    TextCopy(name, SCRIPT_NAME_CAPACITY, line + 1);
    if (!IsSafeScriptName(name)) return;

    CloseNotesRun();
    ScriptRecord& script = ScriptTable[ScriptCount++];
    script = ScriptRecord();
    TextCopy(script.name, SCRIPT_NAME_CAPACITY, name);
    script.firstFile = FileCount;
    script.fileCount = 0;
    script.noteOffset = -1;
    state.current = &script;
    ClearPathIndex(&CurrentScriptPaths);
}

void AddNote(ScriptRecord& script, const char16_t* value) {
    int length = TextLength(value);
    if (length + NotesLength + 6 > NOTES_CAPACITY) return;
    if (script.noteOffset < 0) script.noteOffset = NotesLength;
    NotesLength += TextFormat(NotesText + NotesLength, NOTES_CAPACITY - NotesLength,
                              u"- %s\r\n", value);
}

// Ends text at its first bar, if any.
char16_t* CutAtBar(char16_t* text) {
    char16_t* bar = TextFindChar(text, u'|');
    if (bar != nullptr) *bar = 0;
    return text;
}

void AddFile(ScriptRecord& script, char16_t* value, int keep) {
    if (value[0] == 0 || FileCount >= MAX_FILES) return;
    const char16_t* digest = u"";
    const char16_t* sha256 = u"";
    char16_t* bar = TextFindChar(value, u'|');
    if (bar != nullptr) {
        *bar = 0;
        char16_t* afterBar = bar + 1;
        char16_t* secondBar = TextFindChar(afterBar, u'|');
        digest = afterBar;
        if (secondBar != nullptr) {
            *secondBar = 0;
            sha256 = CutAtBar(secondBar + 1);
        }
    }
    // The path is tested as written and as kept: a cut may not leave a
    // device or an empty part at its end.
    char16_t path[FILE_PATH_CAPACITY];
    bool cut = TextCopy(path, FILE_PATH_CAPACITY, value) == FILE_PATH_CAPACITY - 1 &&
               value[FILE_PATH_CAPACITY - 1] != 0;
    if (!IsSafeFilePath(value) || (cut && !IsSafeFilePath(path))) return;
    // Windows would put both lines in one file (or one in the other's
    // temporary file): the earlier line stands.
    int earlier = 0;
    if (AddPathUnlessItClashes(&CurrentScriptPaths, path, FileCount, &earlier) != CLASH_NONE) {
        return;
    }

    FileRecord& file = FileTable[FileCount++];
    TextCopy(file.path, FILE_PATH_CAPACITY, path);
    TextCopy(file.md5, FILE_MD5_CAPACITY, digest);
    // A longer field, cut, could pass for a digest it is not: it counts as none.
    bool fits = TextLength(sha256) < FILE_SHA256_CAPACITY;
    TextCopy(file.sha256, FILE_SHA256_CAPACITY, fits ? sha256 : u"");
    file.keep = keep;
    file.status = 0;
    ++script.fileCount;
}

void HandleKeyLine(ParseState& state, char16_t* line) {
    if (state.current == nullptr) return;
    char16_t* equals = TextFindChar(line, u'=');
    if (equals == nullptr) return;
    *equals = 0;
    char16_t* key = line;
    char16_t* value = equals + 1;
    TrimSpaces(key);
    TrimSpaces(value);

    ScriptRecord& script = *state.current;
    if (TextCompareNoCase(key, u"version") == 0) {
        TextCopy(script.version, SCRIPT_VERSION_CAPACITY, value);
    } else if (TextCompareNoCase(key, u"desc") == 0) {
        TextCopy(script.desc, SCRIPT_DESC_CAPACITY, value);
    } else if (TextCompareNoCase(key, u"note") == 0) {
        AddNote(script, value);
    } else if (TextCompareNoCase(key, u"file") == 0) {
        AddFile(script, value, 0);
    } else if (TextCompareNoCase(key, u"keep") == 0) {
        AddFile(script, value, 1);
    }
}

void HandleLine(ParseState& state, char16_t* line) {
    switch (line[0]) {
        case 0:
        case u';':
        case u'#':
            return;  // blank or comment
        case u'[':
            HandleHeader(state, line);
            return;
        default:
            HandleKeyLine(state, line);
            return;
    }
}

}  // namespace

void ParseCatalog(char16_t* text) {
    ParseState state = {nullptr};
    char16_t* line = text;
    while (line != nullptr) {
        char16_t* next = nullptr;
        char16_t* newline = TextFindChar(line, u'\n');
        if (newline != nullptr) {
            *newline = 0;
            next = newline + 1;
        }
        TrimSpaces(line);
        HandleLine(state, line);
        line = next;
    }
}
