// Server access: the address of an entry under ServerUrl, and fetching one
// entry into memory over HTTP or HTTPS, or from a plain folder.
//
// Layout under ServerUrl: scripts.txt directly under it, and every file of a
// script under the script's name at its relative path.
#ifndef UPDATER_CATALOG_SERVER_H
#define UPDATER_CATALOG_SERVER_H

#include <stdint.h>

#include "app/settings.h"  // IsWebAddress, which decides how ServerUrl is read

enum {
    // The buffers of the addresses the updater builds: the catalog's, a
    // file's, and a file's "<script name>/<path>" under ServerUrl.
    CATALOG_ADDRESS_CAPACITY = 1100,
    FILE_ADDRESS_CAPACITY = 1400,
    RELATIVE_ADDRESS_CAPACITY = 400,
};

// Writes the address of relativePath under ServerUrl into buffer: ServerUrl
// without trailing slashes, the separator ('/' for a web address, '\' for a
// folder), then relativePath with every slash turned into the separator and,
// for a web address, space, '#', '%' and '+' escaped. Always terminated;
// silently cut when the buffer is too small.
void BuildResourceAddress(char16_t* buffer, int capacity, const char16_t* relativePath);

// The characters BuildResourceAddress escapes under a web address: those
// that would end or change the meaning of a path.
bool IsWebEscapedChar(char16_t c);

// The address of a script's file, as the download worker fetches it:
// "<script name>/<path>" (cut at RELATIVE_ADDRESS_CAPACITY) under ServerUrl,
// into address (FILE_ADDRESS_CAPACITY units). Returns false when either
// buffer cut it.
bool BuildFileAddress(char16_t* address, const char16_t* scriptName, const char16_t* path);

// Fetches the whole content at address. Returns a heap block (release it
// with free) holding the content and one zero byte after it, with *size the
// number of content bytes; null when nothing usable arrived (*size is then
// 0). progressIndex 0 or 1 posts WM_APP_PROGRESS for that bar while reading;
// a negative value posts nothing. A web fetch gives up, returning null, soon
// after CancelFlag is set (within a fraction of a second, whatever the server
// does), after FETCH_WAIT_BOUND_MS of silence (fetch_rules.h), after too many
// redirects, and when the response cannot show that its body is whole.
unsigned char* FetchResource(const char16_t* address, uint32_t* size, int progressIndex);

// The largest content a result can hold: its size and the zero byte after
// it fit 32 bits.
const uint32_t FETCH_ANY_SIZE = UINT32_MAX - 1u;

// What a caller asks of a fetch beyond that.
struct FetchTerms {
    // More content than this is refused as soon as that is known, from the
    // announced length or from the bytes, without holding it.
    uint32_t maxBytes;
    // Nothing else will check the content (no digest), so its own framing
    // must prove it whole: an announced length it matches, or chunks the
    // client checks to their last one. A body ended only by the connection
    // closing is refused, and with a client that cannot check chunks, any
    // body without a length.
    bool needsProvenEnd;
};

// FetchResource under terms (null terms: any size up to 4 GiB, no proof
// asked beyond the rules every fetch follows).
unsigned char* FetchResourceWithTerms(const char16_t* address, uint32_t* size, int progressIndex,
                                      const FetchTerms* terms);

#endif  // UPDATER_CATALOG_SERVER_H
