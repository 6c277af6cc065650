// UTF-8 and Windows-1252 conversion on POSIX, giving the units the Windows
// converters give.
#include "app/unicode.h"

namespace {

const char16_t Replacement = 0xFFFD;

// Accepted range of the second byte after a lead byte; later continuation
// bytes are always 0x80 to 0xBF. These ranges exclude overlong forms,
// surrogates and values above U+10FFFF, so that decoding stops at the first
// byte that cannot continue a well-formed sequence (a maximal subpart).
struct LeadInfo {
    int continuations;
    unsigned char secondLow;
    unsigned char secondHigh;
};

LeadInfo InfoForLead(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return {1, 0x80, 0xBF};
    if (lead == 0xE0) return {2, 0xA0, 0xBF};
    if (lead >= 0xE1 && lead <= 0xEC) return {2, 0x80, 0xBF};
    if (lead == 0xED) return {2, 0x80, 0x9F};
    if (lead >= 0xEE && lead <= 0xEF) return {2, 0x80, 0xBF};
    if (lead == 0xF0) return {3, 0x90, 0xBF};
    if (lead >= 0xF1 && lead <= 0xF3) return {3, 0x80, 0xBF};
    if (lead == 0xF4) return {3, 0x80, 0x8F};
    return {-1, 0, 0};
}

// Decodes one code point at bytes[*position] and advances past it, or past
// the maximal invalid subpart, returning U+FFFD for the latter.
unsigned DecodeOne(const unsigned char* bytes, int count, int* position) {
    unsigned char lead = bytes[(*position)++];
    if (lead < 0x80) return lead;
    LeadInfo info = InfoForLead(lead);
    if (info.continuations < 0) return Replacement;
    unsigned value = lead & (0x3F >> info.continuations);
    for (int i = 0; i < info.continuations; ++i) {
        if (*position >= count) return Replacement;
        unsigned char next = bytes[*position];
        unsigned char low = i == 0 ? info.secondLow : 0x80;
        unsigned char high = i == 0 ? info.secondHigh : 0xBF;
        if (next < low || next > high) return Replacement;
        value = (value << 6) | (next & 0x3F);
        ++*position;
    }
    return value;
}

// Appends units to target while there is room; counts them either way.
struct UnitSink {
    char16_t* target;
    int capacity;
    int count;
    bool overflow;

    void Put(char16_t unit) {
        if (target != nullptr) {
            if (count >= capacity) {
                overflow = true;
                return;
            }
            target[count] = unit;
        }
        ++count;
    }
};

// Windows-1252 bytes 0x80 to 0x9F; the rest of the code page is Latin-1.
// The five bytes it leaves unassigned map to the control characters of the
// same value, as Windows' own table does, so every byte comes back as it was.
const char16_t Windows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

unsigned char Windows1252Byte(char16_t unit) {
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return static_cast<unsigned char>(unit);
    for (int i = 0; i < 32; ++i) {
        if (Windows1252High[i] == unit) return static_cast<unsigned char>(0x80 + i);
    }
    return '?';
}

}  // namespace

int Utf8ToUtf16(const char* bytes, int byteCount, char16_t* target, int capacity) {
    const unsigned char* input = reinterpret_cast<const unsigned char*>(bytes);
    bool withTerminator = byteCount < 0;
    if (withTerminator) {
        byteCount = 0;
        while (input[byteCount] != 0) ++byteCount;
    }
    if (byteCount == 0 && !withTerminator) return 0;
    UnitSink sink = {target, capacity, 0, false};
    int position = 0;
    while (position < byteCount) {
        unsigned value = DecodeOne(input, byteCount, &position);
        if (value >= 0x10000) {
            value -= 0x10000;
            sink.Put(static_cast<char16_t>(0xD800 + (value >> 10)));
            sink.Put(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
        } else {
            sink.Put(static_cast<char16_t>(value));
        }
    }
    if (withTerminator) sink.Put(0);
    return sink.overflow ? 0 : sink.count;
}

int Utf16ToUtf8(const char16_t* text, char* target, int capacity) {
    int count = 0;
    bool overflow = false;
    auto put = [&](unsigned byte) {
        if (target != nullptr) {
            if (count >= capacity) {
                overflow = true;
                return;
            }
            target[count] = static_cast<char>(byte);
        }
        ++count;
    };
    for (int i = 0;; ++i) {
        unsigned value = text[i];
        if (value >= 0xD800 && value <= 0xDBFF && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            value = 0x10000 + ((value - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (value >= 0xD800 && value <= 0xDFFF) {
            value = Replacement;
        }
        if (value < 0x80) {
            put(value);
        } else if (value < 0x800) {
            put(0xC0 | (value >> 6));
            put(0x80 | (value & 0x3F));
        } else if (value < 0x10000) {
            put(0xE0 | (value >> 12));
            put(0x80 | ((value >> 6) & 0x3F));
            put(0x80 | (value & 0x3F));
        } else {
            put(0xF0 | (value >> 18));
            put(0x80 | ((value >> 12) & 0x3F));
            put(0x80 | ((value >> 6) & 0x3F));
            put(0x80 | (value & 0x3F));
        }
        if (text[i] == 0) break;
    }
    return overflow ? 0 : count;
}

int AnsiToUtf16(const char* bytes, int byteCount, char16_t* target, int capacity) {
    if (byteCount <= 0) return 0;
    if (target == nullptr) return byteCount;
    if (capacity < byteCount) return 0;
    for (int i = 0; i < byteCount; ++i) {
        unsigned char byte = static_cast<unsigned char>(bytes[i]);
        target[i] = byte >= 0x80 && byte < 0xA0 ? Windows1252High[byte - 0x80] : byte;
    }
    return byteCount;
}

int Utf16ToAnsi(const char16_t* text, int unitCount, char* target, int capacity) {
    if (unitCount <= 0) return 0;
    if (target == nullptr) return unitCount;
    if (capacity < unitCount) return 0;
    for (int i = 0; i < unitCount; ++i) target[i] = static_cast<char>(Windows1252Byte(text[i]));
    return unitCount;
}
