// The updater's parse of a catalog, recorded line by line.
#include "tools/catalog_tool/catalog_reading.h"

#include <string.h>

#include "app/unicode.h"

namespace {

std::u16string PartOf(const char16_t* part) {
    return part != nullptr ? std::u16string(part) : std::u16string();
}

class LineRecorder : public CatalogObserver {
public:
    LineRecorder(const std::u16string& text, CatalogReading* reading)
        : text_(text), reading_(reading) {}

    void Line(const ParsedLine& line) override {
        LineRecord record;
        record.number = line.number;
        record.written =
            text_.substr(static_cast<size_t>(line.start), static_cast<size_t>(line.length));
        while (!record.written.empty() && record.written.back() == u'\r') record.written.pop_back();
        record.trimmed = text_.substr(static_cast<size_t>(line.trimmedStart),
                                      static_cast<size_t>(line.trimmedLength));
        record.verdict = line.verdict;
        record.cuts = line.cuts;
        record.problem = line.problem;
        record.clash = line.clash;
        record.earlierLine = line.verdict == LINE_DUPLICATE_PATH
                                 ? reading_->fileLines[static_cast<size_t>(line.earlierFile)]
                                 : 0;
        record.script = line.script;
        record.file = line.file;
        record.name = PartOf(line.name);
        record.afterBracket = PartOf(line.afterBracket);
        record.key = PartOf(line.key);
        record.value = PartOf(line.value);
        record.path = PartOf(line.path);
        record.digest = PartOf(line.digest);
        record.afterDigest = PartOf(line.afterDigest);
        record.afterSha256 = PartOf(line.afterSha256);
        record.hasSecondBar = line.afterDigest != nullptr;
        record.hasThirdBar = line.afterSha256 != nullptr;
        if (line.verdict == LINE_SCRIPT_TAKEN) reading_->scriptLines.push_back(line.number);
        if (line.file >= 0) reading_->fileLines.push_back(line.number);
        reading_->lines.push_back(record);
    }

private:
    const std::u16string& text_;
    CatalogReading* reading_;
};

}  // namespace

CatalogReading ReadCatalogLines(const char16_t* text) {
    CatalogReading reading;
    const std::u16string original(text);
    std::u16string work = original;
    LineRecorder recorder(original, &reading);
    ClearCatalog();
    ParseCatalogObserved(&work[0], &recorder);
    return reading;
}

int LineOfZeroByte(const unsigned char* bytes, size_t size) {
    int line = 1;
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] == 0) return line;
        if (bytes[i] == '\n') ++line;
    }
    return 0;
}

// True when the bytes convert to UTF-16 and back unchanged: anything that
// is not UTF-8 comes back as the bytes of U+FFFD.
static bool IsUtf8(const char* bytes, int count) {
    if (count == 0) return true;
    int units = Utf8ToUtf16(bytes, count, nullptr, 0);
    if (units <= 0) return false;
    std::u16string text(static_cast<size_t>(units), u'\0');
    Utf8ToUtf16(bytes, count, &text[0], units);
    int back = Utf16ToUtf8(text.c_str(), nullptr, 0);
    if (back != count + 1) return false;
    std::string again(static_cast<size_t>(back), '\0');
    Utf16ToUtf8(text.c_str(), &again[0], back);
    return memcmp(again.data(), bytes, static_cast<size_t>(count)) == 0;
}

std::vector<int> LinesWithInvalidUtf8(const unsigned char* bytes, size_t size) {
    std::vector<int> lines;
    const char* text = reinterpret_cast<const char*>(bytes);
    size_t end = strnlen(text, size);
    int line = 1;
    for (size_t start = 0; start < end; ++line) {
        const void* newline = memchr(text + start, '\n', end - start);
        size_t stop = newline != nullptr
                          ? static_cast<size_t>(static_cast<const char*>(newline) - text)
                          : end;
        if (!IsUtf8(text + start, static_cast<int>(stop - start))) lines.push_back(line);
        start = stop + 1;
    }
    return lines;
}

bool IsMd5Text(const std::u16string& digest) {
    if (digest.size() != 32) return false;
    for (char16_t c : digest) {
        bool hex = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (!hex) return false;
    }
    return true;
}
