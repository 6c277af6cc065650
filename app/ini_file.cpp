// One key of an INI file on disk: the bytes from the OS layer, their meaning
// from the INI text model.
#include "app/ini_file.h"

#include <string>

#include "app/ini_text.h"
#include "app/settings_os.h"
#include "app/text.h"

int ReadIniString(const char16_t* section, const char16_t* key, const char16_t* fallback,
                      char16_t* buffer, int capacity, const char16_t* file) {
    std::string bytes;
    std::u16string value;
    IniEncoding encoding;
    if (OsReadWholeFile(file, INI_FILE_MAX_BYTES, &bytes) == OS_FILE_READ &&
        IniFindValue(IniDecode(bytes, &encoding), section, key, &value)) {
        return TextCopy(buffer, capacity, value.c_str());
    }
    return TextCopy(buffer, capacity, fallback);
}

// The file's text and encoding, when a rewrite can keep every byte of it: a
// missing file is an empty UTF-16 one, as the program creates it.
static bool ReadForRewrite(const char16_t* file, std::u16string* text, IniEncoding* encoding) {
    std::string bytes;
    switch (OsReadWholeFile(file, INI_FILE_MAX_BYTES, &bytes)) {
        case OS_FILE_MISSING:
            text->clear();
            *encoding = IniUtf16WithMark;
            return true;
        case OS_FILE_READ:
            *text = IniDecode(bytes, encoding);
            return IniEncode(*text, *encoding) == bytes;
        case OS_FILE_UNREADABLE:
            break;
    }
    return false;
}

bool WriteIniString(const char16_t* section, const char16_t* key, const char16_t* value,
                        const char16_t* file) {
    std::u16string text;
    IniEncoding encoding;
    if (!ReadForRewrite(file, &text, &encoding)) return false;
    std::u16string changed = IniSetValue(text, section, key, value);
    std::string bytes = IniEncode(changed, encoding);
    // An ANSI file cannot hold every name; a name it would change (to
    // question marks, or to bytes that read as UTF-8) is not written, and the
    // old value stays. The encoding read back may differ: a file left all
    // ASCII reads alike in every one.
    IniEncoding readBack;
    if (IniDecode(bytes, &readBack) != changed) return false;
    return OsReplaceWholeFile(file, bytes);
}
