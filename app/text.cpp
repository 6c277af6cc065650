// Fixed-capacity UTF-16 text buffers: copy, append, format, compare.
#include "app/text.h"

#include <stdarg.h>

int TextLength(const char16_t* text) {
    int length = 0;
    while (text[length] != 0) ++length;
    return length;
}

int TextCopyCount(char16_t* target, int capacity, const char16_t* source, int count) {
    if (capacity <= 0) return 0;
    int length = 0;
    while (length < capacity - 1 && length < count && source[length] != 0) {
        target[length] = source[length];
        ++length;
    }
    target[length] = 0;
    return length;
}

int TextCopy(char16_t* target, int capacity, const char16_t* source) {
    return TextCopyCount(target, capacity, source, capacity);
}

int TextAppend(char16_t* target, int capacity, const char16_t* source) {
    if (capacity <= 0) return 0;
    int length = 0;
    while (length < capacity - 1 && target[length] != 0) ++length;
    return length + TextCopy(target + length, capacity - length, source);
}

// ---- formatting -------------------------------------------------------------

namespace {

// Writes into a fixed buffer, silently dropping what does not fit.
struct Sink {
    char16_t* target;
    int capacity;
    int length;

    void Put(char16_t c) {
        if (length < capacity - 1) target[length++] = c;
    }
    void PutText(const char16_t* text) {
        if (text == nullptr) return;
        while (*text != 0) Put(*text++);
    }
};

void PutNumber(Sink& sink, unsigned long long value, bool negative, int base, bool upper,
               bool zeroPad, int width) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char16_t reversed[24];
    int count = 0;
    do {
        reversed[count++] = static_cast<char16_t>(digits[value % base]);
        value /= base;
    } while (value != 0);
    int used = count + (negative ? 1 : 0);
    if (negative && zeroPad) sink.Put(u'-');
    for (; used < width; ++used) sink.Put(zeroPad ? u'0' : u' ');
    if (negative && !zeroPad) sink.Put(u'-');
    while (count > 0) sink.Put(reversed[--count]);
}

}  // namespace

int TextFormat(char16_t* target, int capacity, const char16_t* format, ...) {
    if (capacity <= 0) return 0;
    Sink sink = {target, capacity, 0};
    va_list args;
    va_start(args, format);
    for (const char16_t* p = format; *p != 0; ++p) {
        if (*p != u'%') {
            sink.Put(*p);
            continue;
        }
        ++p;
        bool zeroPad = false;
        int width = 0;
        if (*p == u'0') {
            zeroPad = true;
            ++p;
        }
        while (*p >= u'0' && *p <= u'9') width = width * 10 + (*p++ - u'0');
        switch (*p) {
            case u's': sink.PutText(va_arg(args, const char16_t*)); break;
            case u'c': sink.Put(static_cast<char16_t>(va_arg(args, int))); break;
            case u'd': {
                long long value = va_arg(args, int);
                bool negative = value < 0;
                PutNumber(sink, negative ? -value : value, negative, 10, false, zeroPad, width);
                break;
            }
            case u'u': PutNumber(sink, va_arg(args, unsigned), false, 10, false, zeroPad, width); break;
            case u'X': PutNumber(sink, va_arg(args, unsigned), false, 16, true, zeroPad, width); break;
            case u'x': PutNumber(sink, va_arg(args, unsigned), false, 16, false, zeroPad, width); break;
            case u'%': sink.Put(u'%'); break;
            case 0: --p; break;  // a lone % at the end prints nothing
            default: sink.Put(u'%'); sink.Put(*p); break;
        }
    }
    va_end(args);
    target[sink.length] = 0;
    return sink.length;
}

// ---- comparing and searching ------------------------------------------------

bool TextEqual(const char16_t* a, const char16_t* b) {
    while (*a != 0 && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

static char16_t FoldAscii(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

int TextCompareNoCaseCount(const char16_t* a, const char16_t* b, int count) {
    for (int i = 0; i < count; ++i) {
        char16_t x = FoldAscii(a[i]);
        char16_t y = FoldAscii(b[i]);
        if (x != y) return x < y ? -1 : 1;
        if (x == 0) return 0;
    }
    return 0;
}

int TextCompareNoCase(const char16_t* a, const char16_t* b) {
    for (;; ++a, ++b) {
        char16_t x = FoldAscii(*a);
        char16_t y = FoldAscii(*b);
        if (x != y) return x < y ? -1 : 1;
        if (x == 0) return 0;
    }
}

const char16_t* TextFindChar(const char16_t* text, char16_t c) {
    for (; *text != 0; ++text) {
        if (*text == c) return text;
    }
    return nullptr;
}

char16_t* TextFindChar(char16_t* text, char16_t c) {
    return const_cast<char16_t*>(TextFindChar(static_cast<const char16_t*>(text), c));
}

char16_t* TextFindLastChar(char16_t* text, char16_t c) {
    char16_t* found = nullptr;
    for (; *text != 0; ++text) {
        if (*text == c) found = text;
    }
    return found;
}

bool TextContains(const char16_t* text, const char16_t* needle) {
    int needleLength = TextLength(needle);
    for (; *text != 0; ++text) {
        int i = 0;
        while (i < needleLength && text[i] == needle[i]) ++i;
        if (i == needleLength) return true;
    }
    return needleLength == 0;
}

void TextReplaceChar(char16_t* text, char16_t from, char16_t to) {
    for (; *text != 0; ++text) {
        if (*text == from) *text = to;
    }
}

int TrimSpaces(char16_t* text) {
    if (text[0] == u' ' || text[0] == u'\t') {
        int first = 0;
        while (text[first] == u' ' || text[first] == u'\t') ++first;
        int i = 0;
        do {
            text[i] = text[i + first];
        } while (text[i++] != 0);
    }
    int length = TextLength(text);
    while (length > 0) {
        char16_t last = text[length - 1];
        if (last != u'\t' && last != u'\r' && last != u' ') break;
        text[--length] = 0;
    }
    return length;
}
