// The download worker: one script's New and Update files, fetched one after
// the other, each checked against its catalog digest, written beside its
// target as "<target>.new" and moved over the target.
#include "install/download_worker.h"

#include <stdlib.h>

#include "app/settings.h"
#include "app/shared_state.h"
#include "app/shared_state_os.h"
#include "app/text.h"
#include "catalog/catalog.h"
#include "catalog/hash_os.h"
#include "catalog/local_state.h"
#include "catalog/proven_files.h"
#include "catalog/server.h"
#include "catalog/signing.h"
#include "install/files_os.h"

namespace {

enum {
    COUNTER_CAPACITY = 40,
    TEMPORARY_PATH_CAPACITY = LOCAL_PATH_CAPACITY + 8,
};

const char16_t DownloadFailureText[] =
    u"Could not download %s.\r\nCheck your internet and press Download again.";
const char16_t WriteFailureText[] =
    u"Could not write %s.\r\nIf Zentora is running this script, stop it and press Download again.";

void SetNotice(const char16_t* format, const char16_t* argument) {
    TextFormat(NoticeText, NOTICE_TEXT_CAPACITY, format, argument);
}

int CountFilesToDownload(const ScriptRecord& script) {
    int total = 0;
    for (int i = 0; i < script.fileCount; ++i) {
        if (NeedsDownload(FileTable[script.firstFile + i].status)) ++total;
    }
    return total;
}

// A digest the catalog gives must match what arrived: an error page served
// with status 200, or a file changed on the server without its catalog, must
// not replace a good script.
// In a signed catalog the SHA-256 binds the content to the signature (an
// MD5 can be forged to match): a line without one fails too.
bool MatchesCatalogDigest(const FileRecord& file, const unsigned char* content, uint32_t size) {
    if (CatalogSigned && !MatchesSha256Field(file.sha256, content, size)) return false;
    if (file.md5[0] == 0) return true;
    char16_t digest[DIGEST_CAPACITY];
    return HashBytes(content, size, digest) && TextCompareNoCase(digest, file.md5) == 0;
}

// Creates every folder on the way to target, shortest first. A backslash in
// the first three places (as in C:\) is never a cut point. Below the
// scripts folder, a folder is made only where the one above it is no link
// out of it.
void MakeFoldersFor(const char16_t* target) {
    char16_t work[LOCAL_PATH_CAPACITY];
    TextCopy(work, LOCAL_PATH_CAPACITY, target);
    for (int i = 3; work[i] != 0; ++i) {
        if (work[i] != u'\\') continue;
        work[i] = 0;
        MakeFolder(ScriptsFolder, work);
        work[i] = u'\\';
    }
}

// Writes content as "<target>.new" and moves it over target, each step
// only where its name resolves inside the scripts folder.
bool PlaceFile(const char16_t* target, const unsigned char* content, uint32_t size) {
    char16_t temporary[TEMPORARY_PATH_CAPACITY];
    TextFormat(temporary, TEMPORARY_PATH_CAPACITY, u"%s.new", target);
    if (!WriteWholeFile(ScriptsFolder, temporary, content, size)) return false;
    if (!MoveFileOver(ScriptsFolder, temporary, target)) {
        RemoveFile(ScriptsFolder, temporary);
        return false;
    }
    return true;
}

void ShowFileStarting(const FileRecord& file, int k, int total) {
    char16_t counter[COUNTER_CAPACITY];
    TextFormat(counter, COUNTER_CAPACITY, u"%d / %d files", k, total);
    SetProgressText(1, u"%s", counter);
    SetProgressText(0, u"%s", file.path);
    PostToMainWindow(WM_APP_PROGRESS, 0, 0);
}

// Fetches, checks and places one file. Returns false when the run must stop;
// NoticeText then holds the reason, or stays empty for a cancel.
bool InstallFile(const ScriptRecord& script, const FileRecord& file) {
    char16_t target[LOCAL_PATH_CAPACITY];
    LocalFilePath(target, script, file);
    // Both builds refuse alike, before the fetch, so a Linux run shows
    // what Windows will do.
    if (!LocalFilePathFits(script, file) ||
        TextLength(ScriptsFolder) > ScriptsFolderRoom(script.name, file.path)) {
        SetNotice(WriteFailureText, target);
        return false;
    }

    char16_t address[FILE_ADDRESS_CAPACITY];
    BuildFileAddress(address, script.name, file.path);

    // A file whose catalog line gives no digest is proven whole by nothing
    // but the framing of its response.
    const FetchTerms terms = {FETCH_ANY_SIZE, file.md5[0] == 0};
    uint32_t size = 0;
    unsigned char* content = FetchResourceWithTerms(address, &size, 0, &terms);
    // Cancel comes first, so that a fetch broken off by it never shows as a
    // failure.
    if (CancelFlag.load() != 0) {
        free(content);
        return false;
    }
    if (content == nullptr || !MatchesCatalogDigest(file, content, size)) {
        free(content);
        SetNotice(DownloadFailureText, file.path);
        return false;
    }

    MakeFoldersFor(target);
    bool placed = PlaceFile(target, content, size);
    free(content);
    if (!placed) SetNotice(WriteFailureText, target);
    // What arrived was checked against the catalog's digest: the next check
    // need not read it again.
    if (placed) NoteInstalledFile(target, file.md5, CatalogSigned ? file.sha256 : u"");
    return placed;
}

// Installs every file of the script that needs it. Returns the number placed
// through *done and whether all of them were.
bool InstallScript(const ScriptRecord& script, int* done) {
    int total = CountFilesToDownload(script);
    NoticeText[0] = 0;
    *done = 0;
    for (int i = 0; i < script.fileCount; ++i) {
        const FileRecord& file = FileTable[script.firstFile + i];
        if (!NeedsDownload(file.status)) continue;
        int k = *done + 1;
        ShowFileStarting(file, k, total);
        if (!InstallFile(script, file)) return false;
        *done = k;
        PostToMainWindow(WM_APP_PROGRESS, 1, static_cast<intptr_t>(*done * 1000 / total));
    }
    return true;
}

}  // namespace

uint32_t DownloadWorker(void* scriptIndex) {
    const ScriptRecord& script = ScriptTable[reinterpret_cast<intptr_t>(scriptIndex)];
    int done = 0;
    bool success = true;
    if (script.fileCount == 0) {
        NoticeText[0] = 0;
    } else {
        success = InstallScript(script, &done);
    }
    NoticeText[NOTICE_TEXT_CAPACITY - 1] = 0;
    // The statuses are judged again here, not by the window after the final
    // message: hashing every file of a big script would freeze the window.
    // Only the statuses change; the window reads them after the message.
    RefreshFileStatuses(static_cast<int>(reinterpret_cast<intptr_t>(scriptIndex)));
    SaveProvenFiles();
    ReleaseThreadCryptoState();
    PostToMainWindow(WM_APP_DOWNLOAD_DONE, success ? 1 : 0, done);
    return 0;
}
