// catalog-tool's system half on POSIX: stat, opendir/readdir, stdio.
#include <dirent.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include "app/path_posix.h"
#include "app/unicode.h"
#include "tools/catalog_tool/tool_os.h"

namespace {

PathKind KindOfNativePath(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return PATH_ABSENT;
    if (S_ISREG(info.st_mode)) return PATH_FILE;
    if (S_ISDIR(info.st_mode)) return PATH_FOLDER;
    return PATH_OTHER;
}

// The UTF-16 form of a file name, and whether converting it back gives the
// same bytes (it does not for names that are not UTF-8).
bool NameToText(const char* name, std::u16string* text) {
    int units = Utf8ToUtf16(name, -1, nullptr, 0);
    if (units <= 0) return false;
    std::vector<char16_t> buffer(static_cast<size_t>(units));
    Utf8ToUtf16(name, -1, buffer.data(), units);
    text->assign(buffer.data());
    int bytes = Utf16ToUtf8(buffer.data(), nullptr, 0);
    if (bytes <= 0) return false;
    std::vector<char> back(static_cast<size_t>(bytes));
    Utf16ToUtf8(buffer.data(), back.data(), bytes);
    return strcmp(back.data(), name) == 0;
}

}  // namespace

PathKind KindOfPath(const char16_t* path) {
    return KindOfNativePath(NativePath(path));
}

bool ListFolder(const char16_t* folder, std::vector<FolderEntry>* entries) {
    entries->clear();
    std::string native = NativePath(folder);
    DIR* listing = opendir(native.c_str());
    if (listing == nullptr) return false;
    while (struct dirent* entry = readdir(listing)) {
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
        FolderEntry found;
        found.nameIsText = NameToText(entry->d_name, &found.name);
        found.kind = KindOfNativePath(native + "/" + entry->d_name);
        entries->push_back(found);
    }
    closedir(listing);
    return true;
}

void WriteOutputLine(const std::u16string& line, bool toErrorStream) {
    int bytes = Utf16ToUtf8(line.c_str(), nullptr, 0);
    if (bytes <= 0) return;
    std::vector<char> utf8(static_cast<size_t>(bytes));
    Utf16ToUtf8(line.c_str(), utf8.data(), bytes);
    FILE* stream = toErrorStream ? stderr : stdout;
    fputs(utf8.data(), stream);
    fputc('\n', stream);
    fflush(stream);
}

std::u16string DisplayPath(const std::u16string& path) {
    std::u16string shown = path;
    for (char16_t& c : shown) {
        if (c == u'\\') c = u'/';
    }
    return shown;
}
