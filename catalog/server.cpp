// Server access: addresses under ServerUrl, and the choice between the web
// and the folder fetch. The fetches themselves live in the OS files.
#include "catalog/server.h"

#include "app/settings.h"
#include "app/text.h"
#include "catalog/fetch_os.h"

bool IsWebAddress(const char16_t* text) {
    if (text == nullptr) return false;
    return TextCompareNoCaseCount(text, u"http://", 7) == 0 ||
           TextCompareNoCaseCount(text, u"https://", 8) == 0;
}

static bool IsSlash(char16_t c) {
    return c == u'/' || c == u'\\';
}

// The only characters a web address gets escaped: those that would end or
// change the meaning of a path (a space, a fragment, an escape, a form space).
static bool NeedsWebEscape(char16_t c) {
    return c == u' ' || c == u'#' || c == u'%' || c == u'+';
}

void BuildResourceAddress(char16_t* buffer, int capacity, const char16_t* relativePath) {
    if (buffer == nullptr || capacity <= 0) return;
    bool web = IsWebAddress(ServerUrl);
    char16_t separator = web ? u'/' : u'\\';

    int length = TextCopy(buffer, capacity, ServerUrl);
    while (length > 0 && IsSlash(buffer[length - 1])) buffer[--length] = 0;
    if (length + 1 < capacity) buffer[length++] = separator;

    // Room is kept for one three-character escape and the terminator, so
    // whatever is written next always fits.
    for (const char16_t* c = relativePath; c != nullptr && *c != 0; ++c) {
        if (length + 4 >= capacity) break;
        if (IsSlash(*c)) {
            buffer[length++] = separator;
        } else if (web && NeedsWebEscape(*c)) {
            length += TextFormat(buffer + length, capacity - length, u"%%%02X",
                                 static_cast<unsigned>(*c));
        } else {
            buffer[length++] = *c;
        }
    }
    buffer[length] = 0;
}

unsigned char* FetchResource(const char16_t* address, uint32_t* size, int progressIndex) {
    return FetchResourceWithTerms(address, size, progressIndex, nullptr);
}

unsigned char* FetchResourceWithTerms(const char16_t* address, uint32_t* size, int progressIndex,
                                      const FetchTerms* terms) {
    static const FetchTerms anyContent = {FETCH_ANY_SIZE, false};
    if (size == nullptr) return nullptr;
    *size = 0;
    if (address == nullptr) return nullptr;
    if (terms == nullptr) terms = &anyContent;
    if (IsWebAddress(address)) return FetchFromWeb(address, size, progressIndex, terms);
    return FetchFromFolder(address, size, progressIndex, terms);
}
