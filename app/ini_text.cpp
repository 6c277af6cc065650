// INI text model: finding and setting a key the way the Windows
// private-profile calls do, keeping every other line as it was.
#include "app/ini_text.h"

#include <vector>

#include "app/text.h"
#include "app/unicode.h"

namespace {

// One line of the text: its content (without the line end) and where the
// next line begins.
struct Line {
    size_t start;
    size_t end;
    size_t next;
};

std::vector<Line> SplitLines(const std::u16string& text) {
    std::vector<Line> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t newline = text.find(u'\n', start);
        size_t next = newline == std::u16string::npos ? text.size() : newline + 1;
        size_t end = newline == std::u16string::npos ? text.size() : newline;
        if (end > start && text[end - 1] == u'\r') --end;
        lines.push_back({start, end, next});
        start = next;
    }
    return lines;
}

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r';
}

// The line's content without surrounding blanks, as [first, last).
void TrimmedBounds(const std::u16string& text, const Line& line, size_t* first, size_t* last) {
    *first = line.start;
    *last = line.end;
    while (*first < *last && IsBlank(text[*first])) ++*first;
    while (*last > *first && IsBlank(text[*last - 1])) --*last;
}

bool EqualNoCase(const std::u16string& a, const char16_t* b) {
    return TextCompareNoCase(a.c_str(), b) == 0 && a.find(u'\0') == std::u16string::npos;
}

// When the line is a section header, gives its name: the text between the
// bracket and the last closing bracket (or the line's end when there is none).
bool SectionName(const std::u16string& text, const Line& line, std::u16string* name) {
    size_t first, last;
    TrimmedBounds(text, line, &first, &last);
    if (first == last || text[first] != u'[') return false;
    size_t close = text.rfind(u']', last - 1);
    size_t nameEnd = (close == std::u16string::npos || close <= first) ? last : close;
    *name = text.substr(first + 1, nameEnd - first - 1);
    return true;
}

// When the line is key=value, gives the key and the value, both trimmed.
bool KeyAndValue(const std::u16string& text, const Line& line, std::u16string* key,
                 std::u16string* value) {
    size_t first, last;
    TrimmedBounds(text, line, &first, &last);
    size_t equals = text.find(u'=', first);
    if (equals == std::u16string::npos || equals >= last) return false;
    size_t keyEnd = equals;
    while (keyEnd > first && IsBlank(text[keyEnd - 1])) --keyEnd;
    if (keyEnd == first) return false;
    size_t valueStart = equals + 1;
    while (valueStart < last && IsBlank(text[valueStart])) ++valueStart;
    *key = text.substr(first, keyEnd - first);
    if (value != nullptr) *value = text.substr(valueStart, last - valueStart);
    return true;
}

// Where a section's lines are: the index of its header and one past its last
// line. Returns false when the text has no such section.
bool FindSection(const std::u16string& text, const std::vector<Line>& lines,
                 const char16_t* section, size_t* header, size_t* end) {
    std::u16string name;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!SectionName(text, lines[i], &name) || !EqualNoCase(name, section)) continue;
        *header = i;
        *end = i + 1;
        while (*end < lines.size() && !SectionName(text, lines[*end], &name)) ++*end;
        return true;
    }
    return false;
}

// A value written in matching quotes is given without them.
std::u16string StripQuotes(const std::u16string& value) {
    if (value.size() >= 2 && (value[0] == u'"' || value[0] == u'\'') &&
        value.back() == value[0]) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

std::u16string LineEndOf(const std::u16string& text) {
    size_t newline = text.find(u'\n');
    if (newline != std::u16string::npos && (newline == 0 || text[newline - 1] != u'\r')) {
        return u"\n";
    }
    return u"\r\n";
}

bool IsAscii(const std::string& bytes) {
    for (char byte : bytes) {
        if (static_cast<unsigned char>(byte) >= 0x80) return false;
    }
    return true;
}

std::u16string DecodeUtf8(const std::string& bytes) {
    int count = static_cast<int>(bytes.size());
    if (count == 0) return std::u16string();
    std::u16string text(static_cast<size_t>(Utf8ToUtf16(bytes.data(), count, nullptr, 0)), u'\0');
    Utf8ToUtf16(bytes.data(), count, &text[0], static_cast<int>(text.size()));
    return text;
}

// The converter stops at a zero unit, so a text that holds one (a damaged
// file) is encoded piece by piece: a rewrite must not drop its tail.
std::string EncodeUtf8(const std::u16string& text) {
    std::string utf8;
    size_t start = 0;
    for (;;) {
        size_t zero = text.find(u'\0', start);
        std::u16string piece =
            text.substr(start, zero == std::u16string::npos ? zero : zero - start);
        int size = Utf16ToUtf8(piece.c_str(), nullptr, 0);
        std::string bytesOfPiece(static_cast<size_t>(size > 0 ? size : 1), '\0');
        if (size > 0) Utf16ToUtf8(piece.c_str(), &bytesOfPiece[0], size);
        utf8.append(bytesOfPiece.data(), bytesOfPiece.size() - 1);
        if (zero == std::u16string::npos) break;
        utf8.push_back('\0');
        start = zero + 1;
    }
    return utf8;
}

std::u16string DecodeAnsi(const std::string& bytes) {
    int count = static_cast<int>(bytes.size());
    if (count == 0) return std::u16string();
    std::u16string text(static_cast<size_t>(AnsiToUtf16(bytes.data(), count, nullptr, 0)), u'\0');
    AnsiToUtf16(bytes.data(), count, &text[0], static_cast<int>(text.size()));
    return text;
}

std::string EncodeAnsi(const std::u16string& text) {
    int count = static_cast<int>(text.size());
    if (count == 0) return std::string();
    std::string bytes(static_cast<size_t>(Utf16ToAnsi(text.data(), count, nullptr, 0)), '\0');
    Utf16ToAnsi(text.data(), count, &bytes[0], static_cast<int>(bytes.size()));
    return bytes;
}

}  // namespace

std::u16string IniDecode(const std::string& bytes, IniEncoding* encoding) {
    if (bytes.compare(0, 2, "\xFF\xFE") == 0) {
        *encoding = IniUtf16WithMark;
        std::u16string text;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                 (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        }
        return text;
    }
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        *encoding = IniUtf8WithMark;
        return DecodeUtf8(bytes.substr(3));
    }
    std::u16string text = DecodeUtf8(bytes);
    // Every invalid sequence decodes to U+FFFD, so only valid UTF-8 comes
    // back as the same bytes.
    if (IsAscii(bytes) || EncodeUtf8(text) == bytes) {
        *encoding = IniUtf8;
        return text;
    }
    *encoding = IniAnsi;
    return DecodeAnsi(bytes);
}

std::string IniEncode(const std::u16string& text, IniEncoding encoding) {
    switch (encoding) {
        case IniUtf16WithMark: {
            std::string bytes = "\xFF\xFE";
            for (char16_t unit : text) {
                bytes.push_back(static_cast<char>(unit & 0xFF));
                bytes.push_back(static_cast<char>(unit >> 8));
            }
            return bytes;
        }
        case IniUtf8WithMark:
            return "\xEF\xBB\xBF" + EncodeUtf8(text);
        case IniAnsi:
            return EncodeAnsi(text);
        case IniUtf8:
            break;
    }
    return EncodeUtf8(text);
}

bool IniFindValue(const std::u16string& text, const char16_t* section, const char16_t* key,
                  std::u16string* value) {
    std::vector<Line> lines = SplitLines(text);
    size_t header, end;
    if (!FindSection(text, lines, section, &header, &end)) return false;
    std::u16string lineKey, lineValue;
    for (size_t i = header + 1; i < end; ++i) {
        if (KeyAndValue(text, lines[i], &lineKey, &lineValue) && EqualNoCase(lineKey, key)) {
            *value = StripQuotes(lineValue);
            return true;
        }
    }
    return false;
}

std::u16string IniSetValue(const std::u16string& text, const char16_t* section, const char16_t* key,
                           const char16_t* value) {
    std::vector<Line> lines = SplitLines(text);
    std::u16string lineEnd = LineEndOf(text);
    size_t header, end;
    if (!FindSection(text, lines, section, &header, &end)) {
        std::u16string result = text;
        if (!result.empty() && result.back() != u'\n') result += lineEnd;
        return result + u"[" + section + u"]" + lineEnd + key + u"=" + value + lineEnd;
    }
    std::u16string lineKey;
    for (size_t i = header + 1; i < end; ++i) {
        if (KeyAndValue(text, lines[i], &lineKey, nullptr) && EqualNoCase(lineKey, key)) {
            return text.substr(0, lines[i].start) + lineKey + u"=" + value +
                   text.substr(lines[i].end);
        }
    }
    // A new key goes after the section's last line that is not blank.
    size_t last = header;
    for (size_t i = header + 1; i < end; ++i) {
        size_t first, trimmedEnd;
        TrimmedBounds(text, lines[i], &first, &trimmedEnd);
        if (first < trimmedEnd) last = i;
    }
    const Line& after = lines[last];
    std::u16string result = text.substr(0, after.next);
    if (text[after.next - 1] != u'\n') result += lineEnd;  // the last line had no line end
    return result + key + u"=" + value + lineEnd + text.substr(after.next);
}
