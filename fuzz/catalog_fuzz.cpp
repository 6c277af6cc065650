// libFuzzer entry: any bytes as a catalog, converted and parsed as the check
// run does; then the tables must hold together (every limit kept, every
// text terminated, every script's files inside the file table).
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "app/text.h"
#include "catalog/catalog.h"

static void Require(bool condition) {
    if (!condition) abort();
}

static bool Terminated(const char16_t* text, int capacity) {
    for (int i = 0; i < capacity; ++i) {
        if (text[i] == 0) return true;
    }
    return false;
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
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char* bytes = static_cast<char*>(malloc(size + 1));
    if (bytes == nullptr) return 0;
    memcpy(bytes, data, size);
    bytes[size] = 0;
    char16_t* text = ConvertCatalogText(bytes);
    ClearCatalog();
    if (text != nullptr) {
        ParseCatalog(SkipByteOrderMark(text));
        free(text);
    }
    free(bytes);
    CheckTables();
    return 0;
}
