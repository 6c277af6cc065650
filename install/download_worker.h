// The download worker: brings one script up to date on disk. For every file
// whose status is New or Update, in catalog order, it fetches the file,
// checks it against the catalog's digest, writes it as "<target>.new" and
// moves that over the target. It stops at the first failure (with a text in
// NoticeText) or when it finds CancelFlag set after a fetch, then judges
// the script's file statuses again, and always ends by posting
// WM_APP_DOWNLOAD_DONE (wParam 1 on success, lParam the number of files
// placed).
#ifndef UPDATER_INSTALL_DOWNLOAD_WORKER_H
#define UPDATER_INSTALL_DOWNLOAD_WORKER_H

#include <stdint.h>

// Thread routine; the parameter is the script's index in ScriptTable,
// passed as (void*)(intptr_t)index.
uint32_t DownloadWorker(void* scriptIndex);

#endif  // UPDATER_INSTALL_DOWNLOAD_WORKER_H
