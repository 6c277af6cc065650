// Running the check and the download workers the way the main window does,
// on a thread of their own, and collecting what they post; plus helpers to
// publish scripts on a server tree (a folder, or an HTTP server's root).
#ifndef UPDATER_TESTS_SUPPORT_WORKERS_H
#define UPDATER_TESTS_SUPPORT_WORKERS_H

#include <string>
#include <vector>

#include "tests/support/messages.h"
#include "tests/support/test_support.h"

// Empties the tables and parses a UTF-8 catalog into them the way the check
// run does (converted, one byte-order mark skipped). False when the text
// could not be converted.
bool LoadCatalogText(const std::string& utf8);

// A worker test starts and ends with the shared state and the tables at
// their start values, and the messages captured on this thread.
void BeginWorkerTest();
void EndWorkerTest();

// Upper-case hexadecimal MD5 of bytes.
std::string Md5Hex(const std::string& bytes);

// A catalog line for a file with the digest of its content:
// "file=<path>|<MD5>\n" (or "keep=...").
std::string FileLine(const std::string& path, const std::string& content);
std::string KeepLine(const std::string& path, const std::string& content);

// Starts CheckWorker and returns every message up to WM_APP_CHECK_DONE.
std::vector<CapturedMessage> RunCheck(int timeoutMs = 30000);

// Starts DownloadWorker for the script and returns every message up to
// WM_APP_DOWNLOAD_DONE.
std::vector<CapturedMessage> RunDownload(int script, int timeoutMs = 30000);

// Starts DownloadWorker without waiting (for cancel tests).
void StartDownload(int script);

// The last message of a run, or a message of type 0 when there was none.
CapturedMessage LastMessage(const std::vector<CapturedMessage>& messages);

// The lParam values of the WM_APP_PROGRESS messages for bar.
std::vector<intptr_t> ProgressValues(const std::vector<CapturedMessage>& messages, uintptr_t bar);

// Sets ScriptsFolder and ServerUrl (program form).
void UseFolders(const std::u16string& scriptsFolder, const std::u16string& serverUrl);

#endif  // UPDATER_TESTS_SUPPORT_WORKERS_H
