// catalog-tool's system half on Windows: file attributes, FindFirstFileW,
// and the console.
#include <windows.h>

#include "app/unicode.h"
#include "tools/catalog_tool/tool_os.h"
#include "tools/catalog_tool/tool_text.h"

namespace {

const wchar_t* Wide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}

// A lone surrogate cannot be written as UTF-8, so such a name could never be
// put into the catalog as it is.
bool IsWholeText(const std::u16string& name) {
    for (size_t i = 0; i < name.size(); ++i) {
        char16_t c = name[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= name.size() || name[i + 1] < 0xDC00 || name[i + 1] > 0xDFFF) return false;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

PathKind KindOfAttributes(DWORD attributes) {
    if (attributes == INVALID_FILE_ATTRIBUTES) return PATH_ABSENT;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PATH_FOLDER;
    if (attributes & FILE_ATTRIBUTE_DEVICE) return PATH_OTHER;
    return PATH_FILE;
}

void WriteBytes(HANDLE stream, const char* bytes, DWORD size) {
    DWORD written = 0;
    WriteFile(stream, bytes, size, &written, nullptr);
}

}  // namespace

PathKind KindOfPath(const char16_t* path) {
    return KindOfAttributes(GetFileAttributesW(Wide(path)));
}

bool ListFolder(const char16_t* folder, std::vector<FolderEntry>* entries) {
    entries->clear();
    std::u16string pattern = folder;
    if (!pattern.empty() && pattern.back() != u'\\' && pattern.back() != u'/') pattern += u'\\';
    pattern += u'*';
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(Wide(pattern.c_str()), &data);
    if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        std::u16string name(reinterpret_cast<const char16_t*>(data.cFileName));
        if (name == u"." || name == u"..") continue;
        FolderEntry found;
        found.name = name;
        found.nameIsText = IsWholeText(name);
        found.kind = KindOfAttributes(data.dwFileAttributes);
        entries->push_back(found);
    } while (FindNextFileW(search, &data));
    bool complete = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(search);
    return complete;
}

void WriteOutputLine(const std::u16string& line, bool toErrorStream) {
    HANDLE stream = GetStdHandle(toErrorStream ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (stream == nullptr || stream == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0;
    if (GetConsoleMode(stream, &mode)) {
        // A console shows UTF-16 as it is, whatever its code page.
        std::u16string withEnd = line + u"\r\n";
        DWORD written = 0;
        WriteConsoleW(stream, Wide(withEnd.c_str()), static_cast<DWORD>(withEnd.size()), &written,
                      nullptr);
        return;
    }
    std::string utf8 = Utf8Of(line);
    WriteBytes(stream, utf8.data(), static_cast<DWORD>(utf8.size()));
    WriteBytes(stream, "\r\n", 2);
}

std::u16string DisplayPath(const std::u16string& path) {
    return path;
}
