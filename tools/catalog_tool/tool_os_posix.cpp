// catalog-tool's system half on POSIX: stat, opendir/readdir, stdio.
#include <dirent.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include "app/path_posix.h"
#include "app/unicode.h"
#include "tools/catalog_tool/tool_os.h"
#include "tools/catalog_tool/tool_text.h"

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
    *text = Utf16Of(name);
    return Utf8Of(*text) == name;
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
    FILE* stream = toErrorStream ? stderr : stdout;
    fputs(Utf8Of(line).c_str(), stream);
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
