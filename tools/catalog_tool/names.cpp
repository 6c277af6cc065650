// Names on the server, on the wire and on the user's disk.
#include "tools/catalog_tool/names.h"

#include "app/text.h"
#include "catalog/catalog.h"
#include "catalog/local_state.h"
#include "catalog/names.h"
#include "catalog/server.h"
#include "catalog/wire_address.h"

namespace {

bool IsControl(char16_t c) {
    return c < 0x20 || c == 0x7F;
}

std::u16string CharText(char16_t c) {
    if (IsControl(c)) return u"a control character";
    return Quoted(std::u16string(1, c));
}

bool IsSlash(char16_t c) {
    return c == u'/' || c == u'\\';
}

bool IsUnreserved(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'-' || c == u'.' || c == u'_' || c == u'~';
}

// Escaped by the updater itself (BuildResourceAddress and the wire form):
// these reach a server as the very bytes of the name. Letters outside
// ASCII are escaped too, but a server must still hold them in UTF-8.
bool IsEscapedByUpdater(char16_t c) {
    return IsWebEscapedChar(c) || (c < 0x80 && IsEscapedOnWire(c));
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

std::u16string NameProblemText(NameProblem problem) {
    switch (problem) {
        case NAME_OK:
            return std::u16string();
        case NAME_EMPTY:
            return u"it is empty";
        case NAME_TWO_DOTS:
            return u"it holds '..'";
        case NAME_LEADING_SLASH:
            return u"it begins with a slash";
        case NAME_COLON:
            return u"it holds ':'";
        case NAME_CONTROL_CHARACTER:
            return u"it holds a control character";
        case NAME_FORBIDDEN_CHARACTER:
            return u"it holds one of < > \" | ? *, which Windows does not allow in a name";
        case NAME_EMPTY_PART:
            return u"it has an empty part (two slashes in a row, or a slash at the end)";
        case NAME_DOTS_AND_SPACES_PART:
            return u"a part of it is only dots and spaces";
        case NAME_DEVICE_PART:
            return u"a part of it names a device on Windows (CON, PRN, AUX, NUL, COM0-9, LPT0-9, "
                   u"CONIN$, CONOUT$)";
        case NAME_FOLDER_DOT_OR_SPACE:
            return u"a folder name in it ends in a dot or a space, which Windows drops";
    }
    return std::u16string();
}

std::u16string PathClashText(PathClash clash, const std::u16string& earlier) {
    switch (clash) {
        case CLASH_NONE:
            return std::u16string();
        case CLASH_SAME_FILE:
            return u"Windows takes it for the same file as " + earlier +
                   u" (names compare without regard to case, '/' and '\\' alike, dots and "
                   u"spaces at the end of a name dropped)";
        case CLASH_EARLIER_TEMPORARY:
            return u"it is the temporary name (\"<path>.new\") of " + earlier;
        case CLASH_LATER_TEMPORARY:
            return earlier + u" is its temporary name (\"<path>.new\")";
    }
    return std::u16string();
}

std::u16string ScriptNameRefusal(const std::u16string& name) {
    NameProblem problem = ScriptNameProblem(name.c_str());
    if (problem != NAME_OK) {
        return u"the updater refuses this section name: " + NameProblemText(problem);
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
    if (path.find(u'|') != std::u16string::npos) {
        return u"the updater ends a path at its first '|'";
    }
    NameProblem problem = FilePathProblem(path.c_str());
    if (problem != NAME_OK) return u"the updater refuses this path: " + NameProblemText(problem);
    if (path.size() > FILE_PATH_CAPACITY - 1) {
        return u"the updater cuts a path to " + NumberText(FILE_PATH_CAPACITY - 1) +
               u" characters; this one has " + NumberText(static_cast<long long>(path.size()));
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
    // A single name judged as a folder: the updater's rules for folders
    // refuse a dot or a space at its end, which Windows drops.
    return NameProblemText(ScriptNameProblem(name.c_str()));
}

// The updater accepts a dot or a space at the end of a file name (a catalog
// may write "main.lua |..."), but on a server folder it is a name the
// user's disk cannot hold as it is: every name of the path is judged as a
// folder's.
std::u16string WindowsPathProblem(const std::u16string& path) {
    NameProblem problem = ScriptNameProblem(path.c_str());
    if (problem == NAME_EMPTY || problem == NAME_EMPTY_PART) {
        return u"the path names a folder, not a file";
    }
    if (problem == NAME_FOLDER_DOT_OR_SPACE && FilePathProblem(path.c_str()) == NAME_OK) {
        return u"Windows drops a dot or a space at the end of a name";
    }
    return NameProblemText(problem);
}

std::u16string FoldedName(const std::u16string& name) {
    std::u16string folded(name.size() + 1, u'\0');
    FoldPath(&folded[0], static_cast<int>(folded.size()), name.c_str());
    return folded.c_str();
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
