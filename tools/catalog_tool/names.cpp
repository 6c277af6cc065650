// Names on the server, on the wire and on the user's disk.
#include "tools/catalog_tool/names.h"

#include "app/text.h"
#include "catalog/catalog.h"
#include "catalog/local_state.h"

namespace {

bool IsControl(char16_t c) {
    return c < 0x20 || c == 0x7F;
}

std::u16string CharText(char16_t c) {
    if (IsControl(c)) return u"a control character";
    return Quoted(std::u16string(1, c));
}

// Characters that Windows refuses in any file name (':' included, though the
// catalog's own rules refuse it first).
bool IsWindowsForbidden(char16_t c) {
    return IsControl(c) || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|' ||
           c == u'?' || c == u'*';
}

// CON, PRN, AUX, NUL, COM0-9 and LPT0-9 (and with a superscript digit),
// alone or before an extension: Windows opens the device instead of a file
// of that name.
bool IsDeviceName(const std::u16string& name) {
    std::u16string stem = name.substr(0, name.find(u'.'));
    while (!stem.empty() && stem.back() == u' ') stem.pop_back();
    static const char16_t* const devices[] = {u"CON", u"PRN", u"AUX", u"NUL"};
    for (const char16_t* device : devices) {
        if (TextCompareNoCase(stem.c_str(), device) == 0) return true;
    }
    if (stem.size() != 4) return false;
    char16_t digit = stem[3];
    bool isDigit =
        (digit >= u'0' && digit <= u'9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    if (!isDigit) return false;
    return TextCompareNoCaseCount(stem.c_str(), u"COM", 3) == 0 ||
           TextCompareNoCaseCount(stem.c_str(), u"LPT", 3) == 0;
}

bool IsSlash(char16_t c) {
    return c == u'/' || c == u'\\';
}

bool IsUnreserved(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'-' || c == u'.' || c == u'_' || c == u'~';
}

// Escaped by the updater itself (BuildResourceAddress and the wire form):
// these reach a server as the very bytes of the name.
bool IsEscapedByUpdater(char16_t c) {
    return c == u' ' || c == u'#' || c == u'%' || c == u'+' || IsControl(c);
}

// Sent as they are and harmless in a path.
bool IsPlainInPath(char16_t c) {
    return IsUnreserved(c) || IsSlash(c) || c == u'!' || c == u'$' || c == u'\'' || c == u'(' ||
           c == u')' || c == u'*' || c == u',' || c == u'=' || c == u':' || c == u'@';
}

void AddRisk(AddressRisk* risk, Severity severity, const std::u16string& text) {
    if (severity > risk->severity) risk->severity = severity;
    if (!risk->text.empty()) risk->text += u"; ";
    risk->text += text;
}

}  // namespace

std::u16string ScriptNameRefusal(const std::u16string& name) {
    if (!IsSafeScriptName(name.c_str())) {
        return u"the updater refuses a section name with '..', a leading slash or a colon";
    }
    if (name.size() > SCRIPT_NAME_CAPACITY - 1) {
        return u"the updater cuts a section name to " + NumberText(SCRIPT_NAME_CAPACITY - 1) +
               u" characters; this one has " + NumberText(static_cast<long long>(name.size()));
    }
    if (name.find(u']') != std::u16string::npos) {
        return u"the updater ends a section name at its first ']'";
    }
    return WindowsNameProblem(name);
}

std::u16string FilePathRefusal(const std::u16string& path) {
    if (!IsSafeFilePath(path.c_str())) {
        return u"the updater refuses a path with '..', a leading slash or a colon";
    }
    if (path.size() > FILE_PATH_CAPACITY - 1) {
        return u"the updater cuts a path to " + NumberText(FILE_PATH_CAPACITY - 1) +
               u" characters; this one has " + NumberText(static_cast<long long>(path.size()));
    }
    if (path.find(u'|') != std::u16string::npos) {
        return u"the updater ends a path at its first '|'";
    }
    if (path.find(u'\\') != std::u16string::npos) {
        return u"the updater reads a backslash in a name as a folder separator";
    }
    if (path[0] == u' ' || path[0] == u'\t') {
        return u"the updater drops spaces at the start of a path";
    }
    return WindowsPathProblem(path);
}

std::u16string WindowsNameProblem(const std::u16string& name) {
    if (name.empty()) return u"an empty name";
    for (char16_t c : name) {
        if (IsWindowsForbidden(c)) return u"Windows does not allow " + CharText(c) + u" in a name";
    }
    if (name.back() == u'.' || name.back() == u' ') {
        return u"Windows drops a dot or a space at the end of a name";
    }
    if (IsDeviceName(name)) return Quoted(name) + u" names a device on Windows";
    return std::u16string();
}

std::u16string WindowsPathProblem(const std::u16string& path) {
    if (path.empty() || IsSlash(path.back())) return u"the path names a folder, not a file";
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = start;
        while (end < path.size() && !IsSlash(path[end])) ++end;
        std::u16string name = path.substr(start, end - start);
        // "a//b" and "a/./b" name the same file on Windows; nothing is lost.
        if (!name.empty() && name != u".") {
            std::u16string problem = WindowsNameProblem(name);
            if (!problem.empty()) return problem;
        }
        start = end + 1;
    }
    return std::u16string();
}

int ScriptsFolderRoom(const std::u16string& name, const std::u16string& path) {
    int used = 1 + static_cast<int>(name.size()) + 1 + static_cast<int>(path.size());
    return (LOCAL_PATH_CAPACITY - 1) - used;
}

AddressRisk WebAddressRisk(const std::u16string& relativeAddress) {
    AddressRisk risk = {SEVERITY_NOTE, std::u16string()};
    bool sawQuery = false, sawAmpersand = false, sawSemicolon = false, sawRaw = false;
    bool sawNonAscii = false;
    for (char16_t c : relativeAddress) {
        if (IsEscapedByUpdater(c) || IsPlainInPath(c)) continue;
        if (c == u'?' && !sawQuery) {
            sawQuery = true;
            AddRisk(&risk, SEVERITY_ERROR,
                    u"'?' goes out as it is, so a web server takes the rest for a query");
        } else if (c == u'&' && !sawAmpersand) {
            sawAmpersand = true;
            AddRisk(&risk, SEVERITY_WARNING,
                    u"'&' goes out as it is; some servers and caches read it as a parameter "
                    u"separator");
        } else if (c == u';' && !sawSemicolon) {
            sawSemicolon = true;
            AddRisk(&risk, SEVERITY_WARNING,
                    u"';' goes out as it is; some servers cut a path there");
        } else if (c >= 0x80 && !sawNonAscii) {
            sawNonAscii = true;
            AddRisk(&risk, SEVERITY_WARNING,
                    u"letters outside ASCII go out as %XX escapes of their UTF-8 bytes; the "
                    u"server must hold the name in UTF-8, in the same Unicode form");
        } else if (c < 0x80 && c != u'?' && c != u'&' && c != u';' && !sawRaw) {
            sawRaw = true;
            AddRisk(&risk, SEVERITY_WARNING,
                    CharText(c) +
                        u" goes out as it is, which an address may not hold; strict "
                        u"servers and proxies refuse it");
        }
    }
    return risk;
}
