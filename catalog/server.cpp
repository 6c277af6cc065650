// Server access: addresses under ServerUrl, and the choice between the web
// and the folder fetch. The fetches themselves live in the OS files.
#include "catalog/server.h"

#include "app/settings.h"
#include "app/text.h"
#include "catalog/fetch_os.h"

static bool IsSlash(char16_t c) {
    return c == u'/' || c == u'\\';
}

// A space, a fragment, an escape, a form space.
bool IsWebEscapedChar(char16_t c) {
    return c == u' ' || c == u'#' || c == u'%' || c == u'+';
}

// BuildResourceAddress, telling whether all of relativePath was written.
static bool BuildAddress(char16_t* buffer, int capacity, const char16_t* relativePath) {
    if (buffer == nullptr || capacity <= 0) return false;
    bool web = IsWebAddress(ServerUrl);
    char16_t separator = web ? u'/' : u'\\';

    int length = TextCopy(buffer, capacity, ServerUrl);
    bool whole = ServerUrl[length] == 0;
    while (length > 0 && IsSlash(buffer[length - 1])) buffer[--length] = 0;
    if (length + 1 < capacity) buffer[length++] = separator;

    // Room is kept for one three-character escape and the terminator, so
    // whatever is written next always fits.
    const char16_t* c = relativePath;
    for (; c != nullptr && *c != 0; ++c) {
        if (length + 4 >= capacity) break;
        if (IsSlash(*c)) {
            buffer[length++] = separator;
        } else if (web && IsWebEscapedChar(*c)) {
            length += TextFormat(buffer + length, capacity - length, u"%%%02X",
                                 static_cast<unsigned>(*c));
        } else {
            buffer[length++] = *c;
        }
    }
    buffer[length] = 0;
    return whole && (c == nullptr || *c == 0);
}

void BuildResourceAddress(char16_t* buffer, int capacity, const char16_t* relativePath) {
    BuildAddress(buffer, capacity, relativePath);
}

bool BuildFileAddress(char16_t* address, const char16_t* scriptName, const char16_t* path) {
    char16_t relative[RELATIVE_ADDRESS_CAPACITY];
    int length = TextFormat(relative, RELATIVE_ADDRESS_CAPACITY, u"%s/%s", scriptName, path);
    bool whole = length == TextLength(scriptName) + 1 + TextLength(path);
    return BuildAddress(address, FILE_ADDRESS_CAPACITY, relative) && whole;
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
