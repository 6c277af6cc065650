// Worker runs and server-tree helpers for the tests.
#include "tests/support/workers.h"

#include <stdlib.h>

#include "app/settings.h"
#include "app/shared_state.h"
#include "app/shared_state_os.h"
#include "app/text.h"
#include "catalog/catalog.h"
#include "catalog/check_run.h"
#include "catalog/hash_os.h"
#include "catalog/local_state.h"
#include "catalog/proven_files.h"
#include "catalog/proven_files_test_hooks.h"
#include "catalog/signing.h"
#include "install/download_worker.h"

bool LoadCatalogText(const std::string& utf8) {
    char16_t* text = ConvertCatalogText(utf8.c_str());
    if (text == nullptr) return false;
    ClearCatalog();
    ParseCatalog(SkipByteOrderMark(text));
    free(text);
    return true;
}

// No key and nothing signed: every worker test starts with unsigned
// catalogs unless it sets a key itself.
static void ResetSigning() {
    SettingsPath[0] = 0;  // no test writes into another test's updater.ini
    CatalogKeys[0] = 0;
    CatalogKeysLearned[0] = 0;
    AcceptedSerial = 0;
    CatalogSigned = false;
    CatalogSerial = 0;
}

// The records of proven files that worker tests make stay out of the user's
// own folder, in one folder of this test process.
static void UseTestRecordFolder() {
    static TempFolder records;
    TextCopy(ProvenRecordFolder, PROVEN_FOLDER_CAPACITY, records.ProgramPath().c_str());
    ShiftProvenClockForTests(0);
}

void BeginWorkerTest() {
    UseTestRecordFolder();
    ResetSharedState();
    ResetSigning();
    ClearCatalog();
    BeginMessageCapture();
}

void EndWorkerTest() {
    EndMessageCapture();
    ResetSharedState();
    ResetSigning();
}

std::string Md5Hex(const std::string& bytes) {
    char16_t digest[DIGEST_CAPACITY];
    if (!HashBytes(bytes.data(), bytes.size(), digest)) return "hashing failed";
    return std::string(digest, digest + TextLength(digest));
}

std::string FileLine(const std::string& path, const std::string& content) {
    return "file=" + path + "|" + Md5Hex(content) + "\n";
}

std::string KeepLine(const std::string& path, const std::string& content) {
    return "keep=" + path + "|" + Md5Hex(content) + "\n";
}

std::vector<CapturedMessage> RunCheck(int timeoutMs) {
    StartWorkerThread(CheckWorker, nullptr);
    return MessagesUntil(WM_APP_CHECK_DONE, timeoutMs);
}

void StartDownload(int script) {
    StartWorkerThread(DownloadWorker, reinterpret_cast<void*>(static_cast<intptr_t>(script)));
}

std::vector<CapturedMessage> RunDownload(int script, int timeoutMs) {
    StartDownload(script);
    return MessagesUntil(WM_APP_DOWNLOAD_DONE, timeoutMs);
}

CapturedMessage LastMessage(const std::vector<CapturedMessage>& messages) {
    if (messages.empty()) return {0, 0, 0};
    return messages.back();
}

std::vector<intptr_t> ProgressValues(const std::vector<CapturedMessage>& messages, uintptr_t bar) {
    std::vector<intptr_t> values;
    for (const CapturedMessage& message : messages) {
        if (message.message == WM_APP_PROGRESS && message.wParam == bar) {
            values.push_back(message.lParam);
        }
    }
    return values;
}

void UseFolders(const std::u16string& scriptsFolder, const std::u16string& serverUrl) {
    TextCopy(ScriptsFolder, SCRIPTS_FOLDER_CAPACITY, scriptsFolder.c_str());
    TextCopy(ServerUrl, SERVER_URL_CAPACITY, serverUrl.c_str());
}
