// Local file state: each catalog file's place under the scripts folder, its
// status from the local copy's MD5, and a script's state from those statuses.
#include "catalog/local_state.h"

#include "app/settings.h"
#include "app/text.h"
#include "catalog/proven_files.h"

namespace {

bool IsScriptIndex(int script) { return script >= 0 && script < ScriptCount; }

// The end of a script's run of files, kept inside the table whatever the
// record says.
int EndOfFiles(const ScriptRecord& record) {
    int end = record.firstFile + record.fileCount;
    return end < FileCount ? end : FileCount;
}

int32_t DecideStatus(const FileRecord& file, int opened, const char16_t* localDigest) {
    if (!opened) return FILE_STATUS_NEW;
    if (file.keep == 1) return FILE_STATUS_KEPT;
    if (file.md5[0] == 0) return FILE_STATUS_UPDATE;
    // An empty local digest (hashing failed) never equals a catalog digest.
    if (TextCompareNoCase(localDigest, file.md5) == 0) return FILE_STATUS_OK;
    return FILE_STATUS_UPDATE;
}

// A keep file's content never decides anything, so it is never read.
int32_t LocalFileStatus(const ScriptRecord& script, const FileRecord& file) {
    if (!LocalFilePathFits(script, file)) return FILE_STATUS_NEW;
    char16_t path[LOCAL_PATH_CAPACITY];
    char16_t digest[DIGEST_CAPACITY] = {};
    LocalFilePath(path, script, file);
    if (file.keep == 1) return DecideStatus(file, LocalFileIsThere(path) ? 1 : 0, digest);
    int opened = ProveLocalFile(path, digest);
    return DecideStatus(file, opened, digest);
}

}  // namespace

// A path cut at the capacity may name some other file that happens to exist
// (lib/main.lua for lib/main.lua.bak); judging the file by that one could
// call it OK or Kept and never fetch it, and writing to it would replace it.
// Without a scripts folder no file has a place (\name\path would be rooted
// on the current drive).
bool LocalFilePathFits(const ScriptRecord& script, const FileRecord& file) {
    if (ScriptsFolder[0] == 0) return false;
    int length = TextLength(ScriptsFolder) + 1 + TextLength(script.name) + 1 +
                 TextLength(file.path);
    return length < LOCAL_PATH_CAPACITY;
}

int ScriptsFolderRoom(const char16_t* name, const char16_t* path) {
    enum { LONGEST_FILE_NAME = 259, LONGEST_FOLDER_NAME = 247, TEMPORARY_SUFFIX = 4 };
    int nameLength = TextLength(name);
    int pathLength = TextLength(path);
    // folder "\" name "\" path ".new"
    int forFile = LONGEST_FILE_NAME - TEMPORARY_SUFFIX - (1 + nameLength + 1 + pathLength);
    // The file's folder ends at the last separator of the path, or else
    // after the name.
    int lastSeparator = -1;
    for (int i = 0; i < pathLength; ++i) {
        if (path[i] == u'/' || path[i] == u'\\') lastSeparator = i;
    }
    int afterFolder = lastSeparator >= 0 ? 1 + nameLength + 1 + lastSeparator : 1 + nameLength;
    int forFolder = LONGEST_FOLDER_NAME - afterFolder;
    return forFile < forFolder ? forFile : forFolder;
}

void LocalFilePath(char16_t* buffer, const ScriptRecord& script, const FileRecord& file) {
    TextFormat(buffer, LOCAL_PATH_CAPACITY, u"%s\\%s\\%s", ScriptsFolder, script.name, file.path);
    TextReplaceChar(buffer, u'/', u'\\');
}

bool NeedsDownload(int32_t status) {
    return status == FILE_STATUS_NEW || status == FILE_STATUS_UPDATE;
}

void RefreshFileStatuses(int script) {
    if (!IsScriptIndex(script)) return;
    const ScriptRecord& record = ScriptTable[script];
    BeginProvingFiles();
    for (int i = record.firstFile; i < EndOfFiles(record); ++i) {
        FileTable[i].status = LocalFileStatus(record, FileTable[i]);
    }
    EndProvingFiles();
}

int ScriptState(int script) {
    if (!IsScriptIndex(script)) return SCRIPT_UP_TO_DATE;
    const ScriptRecord& record = ScriptTable[script];
    int toDownload = 0;
    int installable = 0;
    int present = 0;
    for (int i = record.firstFile; i < EndOfFiles(record); ++i) {
        const FileRecord& file = FileTable[i];
        if (NeedsDownload(file.status)) ++toDownload;
        if (file.keep == 0) {
            ++installable;
            if (file.status != FILE_STATUS_NEW) ++present;
        }
    }
    if (installable >= 1 && present == 0) return SCRIPT_NOT_INSTALLED;
    return toDownload;
}
