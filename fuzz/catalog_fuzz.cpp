// libFuzzer entry: any bytes as a catalog, converted and parsed as the check
// run does; then the tables must hold together (every limit kept, every
// text terminated, every script's files inside the file table), and every
// accepted file must land where it belongs: its local path lies inside the
// scripts folder, under its script's own folder, names no device, and no
// other file of the script is the same file or its temporary file.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <set>
#include <string>
#include <vector>

#include "app/settings.h"
#include "app/text.h"
#include "catalog/catalog.h"
#include "catalog/local_state.h"
#include "catalog/names.h"
#include "catalog/parse_observer.h"

static void Require(bool condition) {
    if (!condition) abort();
}

static bool Terminated(const char16_t* text, int capacity) {
    for (int i = 0; i < capacity; ++i) {
        if (text[i] == 0) return true;
    }
    return false;
}

// ---- where a file lands, judged apart from the parser's own rules ----------

static const char16_t FuzzScriptsFolder[] = u"C:\\Zentora\\Scripts";

static std::vector<std::u16string> SplitAtBackslashes(const std::u16string& path) {
    std::vector<std::u16string> parts(1);
    for (char16_t c : path) {
        if (c == u'\\') {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

static char16_t AsciiUpper(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 0x20) : c;
}

// Windows opens a device for these, with any extension and any case.
static bool IsDevice(const std::u16string& part) {
    std::u16string stem = part.substr(0, part.find(u'.'));
    while (!stem.empty() && stem.back() == u' ') stem.pop_back();
    for (char16_t& c : stem) c = AsciiUpper(c);
    static const std::set<std::u16string> named = {u"CON", u"PRN",    u"AUX",
                                                   u"NUL", u"CONIN$", u"CONOUT$"};
    if (named.count(stem) != 0) return true;
    if (stem.size() != 4 || (stem.substr(0, 3) != u"COM" && stem.substr(0, 3) != u"LPT")) {
        return false;
    }
    char16_t d = stem[3];
    return (d >= u'0' && d <= u'9') || d == 0xB9 || d == 0xB2 || d == 0xB3;
}

// A part Windows takes as a plain name: not empty, not resolved away as "."
// or "..", no drive or stream, no device.
static bool IsPlainPart(const std::u16string& part) {
    if (part.find_first_not_of(u". ") == std::u16string::npos) return false;
    return part.find(u':') == std::u16string::npos && !IsDevice(part);
}

// The local path is ScriptsFolder, the script's name and one or more plain
// parts after it: nothing in it can climb out of the script's folder.
static void CheckLandsInItsScriptFolder(const ScriptRecord& script, const FileRecord& file) {
    if (!LocalFilePathFits(script, file)) return;  // never judged or written
    char16_t local[LOCAL_PATH_CAPACITY];
    LocalFilePath(local, script, file);
    std::u16string name = script.name;
    for (char16_t& c : name) c = c == u'/' ? u'\\' : c;
    std::u16string prefix = std::u16string(FuzzScriptsFolder) + u"\\" + name + u"\\";
    std::u16string path = local;
    Require(path.compare(0, prefix.size(), prefix) == 0);
    std::vector<std::u16string> nameParts = SplitAtBackslashes(name);
    std::vector<std::u16string> fileParts = SplitAtBackslashes(path.substr(prefix.size()));
    for (const std::u16string& part : nameParts) Require(IsPlainPart(part));
    for (const std::u16string& part : fileParts) Require(IsPlainPart(part));
}

// A path as Windows compares it, by ASCII case alone (a weaker fold than
// the parser's, so any pair equal here must have been refused there).
static std::u16string AsciiKey(const std::u16string& path) {
    std::u16string key;
    for (const std::u16string& part : SplitAtBackslashes(path)) {
        std::u16string kept = part.substr(0, part.find_last_not_of(u". ") + 1);
        for (char16_t& c : kept) c = AsciiUpper(c);
        key += kept + u"\\";
    }
    return key;
}

static void CheckNoTwoFilesMeet(const ScriptRecord& script) {
    std::set<std::u16string> names, temporaries;
    for (int f = script.firstFile; f < script.firstFile + script.fileCount; ++f) {
        std::u16string path = FileTable[f].path;
        for (char16_t& c : path) c = c == u'/' ? u'\\' : c;
        std::u16string key = AsciiKey(path);
        std::u16string temporary = AsciiKey(path + u".new");
        Require(names.count(key) == 0 && temporaries.count(key) == 0);
        Require(names.count(temporary) == 0);
        names.insert(key);
        temporaries.insert(temporary);
    }
}

static void CheckTables() {
    Require(ScriptCount >= 0 && ScriptCount <= MAX_SCRIPTS);
    Require(FileCount >= 0 && FileCount <= MAX_FILES);
    Require(NotesLength >= 0 && NotesLength < NOTES_CAPACITY);
    int filesSeen = 0;
    for (int s = 0; s < ScriptCount; ++s) {
        const ScriptRecord& script = ScriptTable[s];
        Require(Terminated(script.name, SCRIPT_NAME_CAPACITY));
        Require(Terminated(script.version, SCRIPT_VERSION_CAPACITY));
        Require(Terminated(script.desc, SCRIPT_DESC_CAPACITY));
        Require(IsSafeScriptName(script.name));
        Require(script.firstFile == filesSeen && script.fileCount >= 0);
        filesSeen += script.fileCount;
        if (script.noteOffset >= 0) {
            Require(script.noteOffset < NOTES_CAPACITY);
            Require(Terminated(NotesText + script.noteOffset, NOTES_CAPACITY - script.noteOffset));
        }
    }
    Require(filesSeen == FileCount);
    for (int f = 0; f < FileCount; ++f) {
        Require(Terminated(FileTable[f].path, FILE_PATH_CAPACITY));
        Require(Terminated(FileTable[f].md5, FILE_MD5_CAPACITY));
        Require(IsSafeFilePath(FileTable[f].path));
        Require(FileTable[f].keep == 0 || FileTable[f].keep == 1);
    }
    for (int s = 0; s < ScriptCount; ++s) {
        const ScriptRecord& script = ScriptTable[s];
        for (int f = script.firstFile; f < script.firstFile + script.fileCount; ++f) {
            CheckLandsInItsScriptFolder(script, FileTable[f]);
        }
        CheckNoTwoFilesMeet(script);
    }
}

// ---- what the parser tells an observer ----------------------------------------

// Every line is told once, in order, inside the text, and the verdicts
// account for exactly what the tables hold.
class VerdictCounter : public CatalogObserver {
public:
    explicit VerdictCounter(int textLength) : textLength_(textLength) {}
    void Line(const ParsedLine& line) override {
        Require(line.number == ++lines_);
        Require(line.start >= 0 && line.length >= 0 && line.start + line.length <= textLength_);
        Require(line.trimmedStart >= line.start &&
                line.trimmedStart + line.trimmedLength <= line.start + line.length);
        if (line.verdict == LINE_SCRIPT_TAKEN) ++scripts;
        if (line.verdict == LINE_FILE_TAKEN || line.verdict == LINE_KEEP_TAKEN) {
            Require(line.file == files++);
        }
    }
    int scripts = 0, files = 0;

private:
    int textLength_;
    int lines_ = 0;
};

static void CheckObservedParse(const char16_t* converted) {
    std::u16string text(converted);
    VerdictCounter counter(static_cast<int>(text.size()));
    ClearCatalog();
    ParseCatalogObserved(&text[0], &counter);
    Require(counter.scripts == ScriptCount && counter.files == FileCount);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TextCopy(ScriptsFolder, SCRIPTS_FOLDER_CAPACITY, FuzzScriptsFolder);
    char* bytes = static_cast<char*>(malloc(size + 1));
    if (bytes == nullptr) return 0;
    memcpy(bytes, data, size);
    bytes[size] = 0;
    char16_t* text = ConvertCatalogText(bytes);
    ClearCatalog();
    if (text != nullptr) {
        CheckObservedParse(SkipByteOrderMark(text));
        ClearCatalog();
        ParseCatalog(SkipByteOrderMark(text));
        free(text);
    }
    free(bytes);
    CheckTables();
    return 0;
}
