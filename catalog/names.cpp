// Section names and file paths as Windows holds them.
#include "catalog/names.h"

// ---- one name ----------------------------------------------------------------

static bool IsSlash(char16_t c) {
    return c == u'/' || c == u'\\';
}

// The length of the part of a path that starts at part: up to the next
// slash, backslash or the end.
static int PartLength(const char16_t* part) {
    int length = 0;
    while (part[length] != 0 && !IsSlash(part[length])) ++length;
    return length;
}

// The part's length without the dots and spaces at its end, which Windows
// drops when it opens a name.
static int KeptLength(const char16_t* part, int length) {
    while (length > 0 && (part[length - 1] == u'.' || part[length - 1] == u' ')) --length;
    return length;
}

// What a character means to the name rules; most are plain.
enum CharClass : unsigned char { CHAR_PLAIN, CHAR_DOT, CHAR_COLON, CHAR_CONTROL, CHAR_FORBIDDEN };

struct AsciiClasses {
    CharClass of[128];
};

// Control characters, the dot, the colon, and the characters no Windows
// name may hold: < > " | ? *.
static constexpr AsciiClasses MakeAsciiClasses() {
    AsciiClasses classes = {};
    for (int c = 1; c < 0x20; ++c) classes.of[c] = CHAR_CONTROL;
    classes.of[0x7F] = CHAR_CONTROL;
    classes.of[static_cast<int>('.')] = CHAR_DOT;
    classes.of[static_cast<int>(':')] = CHAR_COLON;
    const char forbidden[] = "<>\"|?*";
    for (int i = 0; forbidden[i] != 0; ++i)
        classes.of[static_cast<int>(forbidden[i])] = CHAR_FORBIDDEN;
    return classes;
}

static constexpr AsciiClasses Ascii = MakeAsciiClasses();

static bool IsAsciiLetterNoCase(char16_t c, char upper) {
    return c == static_cast<char16_t>(upper) || c == static_cast<char16_t>(upper + ('a' - 'A'));
}

// True when the count units at text spell word (upper-case ASCII) in any case.
static bool SpellsNoCase(const char16_t* text, int count, const char* word) {
    int i = 0;
    for (; i < count && word[i] != 0; ++i) {
        bool letter = word[i] >= 'A' && word[i] <= 'Z';
        if (letter ? !IsAsciiLetterNoCase(text[i], word[i])
                   : text[i] != static_cast<char16_t>(word[i])) {
            return false;
        }
    }
    return i == count && word[i] == 0;
}

// COM and LPT take a digit, or one of the superscript digits 1 to 3, which
// Windows reads as the same port.
static bool IsPortDigit(char16_t c) {
    return (c >= u'0' && c <= u'9') || c == 0xB9 || c == 0xB2 || c == 0xB3;
}

// A part whose stem (before its first dot, without the spaces that end it)
// is a device: Windows opens the device for "nul", "aux.txt", "COM1 .lua".
// Every device name begins with one of six three-letter words, which
// settles most parts at once.
static bool NamesDevice(const char16_t* part, int length) {
    static const char* const starts[] = {"CON", "PRN", "AUX", "NUL", "COM", "LPT"};
    bool mayBe = false;
    for (const char* start : starts) mayBe = mayBe || (length >= 3 && SpellsNoCase(part, 3, start));
    if (!mayBe) return false;
    int stem = 0;
    while (stem < length && part[stem] != u'.') ++stem;
    while (stem > 0 && part[stem - 1] == u' ') --stem;
    static const char* const devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : devices) {
        if (SpellsNoCase(part, stem, device)) return true;
    }
    return stem == 4 && IsPortDigit(part[3]) &&
           (SpellsNoCase(part, 3, "COM") || SpellsNoCase(part, 3, "LPT"));
}

static NameProblem PartProblem(const char16_t* part, int length, bool isFolder) {
    if (length == 0) return NAME_EMPTY_PART;
    int kept = KeptLength(part, length);
    if (kept == 0) return NAME_DOTS_AND_SPACES_PART;
    if (NamesDevice(part, length)) return NAME_DEVICE_PART;
    if (isFolder && kept < length) return NAME_FOLDER_DOT_OR_SPACE;
    return NAME_OK;
}

// The problems of single characters, in one walk: the first in the order of
// NameProblem wins.
static NameProblem CharacterProblem(const char16_t* text) {
    NameProblem found = NAME_OK;
    for (const char16_t* c = text; *c != 0; ++c) {
        if (*c >= 0x80 || Ascii.of[*c] == CHAR_PLAIN) continue;
        NameProblem problem = NAME_OK;
        switch (Ascii.of[*c]) {
            case CHAR_DOT:
                if (c[1] == u'.') return NAME_TWO_DOTS;
                break;
            case CHAR_COLON:
                problem = NAME_COLON;
                break;
            case CHAR_CONTROL:
                problem = NAME_CONTROL_CHARACTER;
                break;
            default:
                problem = NAME_FORBIDDEN_CHARACTER;
                break;
        }
        if (problem != NAME_OK && (found == NAME_OK || problem < found)) found = problem;
    }
    return found;
}

// The rules for every name that becomes folders and a file under the
// scripts folder, in the order of NameProblem. The last part is a file
// when lastIsFile is set, else a folder like all the others.
static NameProblem NameRules(const char16_t* text, bool lastIsFile) {
    if (text[0] == 0) return NAME_EMPTY;
    NameProblem problem = CharacterProblem(text);
    if (problem == NAME_TWO_DOTS) return problem;
    if (IsSlash(text[0])) return NAME_LEADING_SLASH;
    if (problem != NAME_OK) return problem;
    const char16_t* part = text;
    for (;;) {
        int length = PartLength(part);
        bool last = part[length] == 0;
        problem = PartProblem(part, length, !(last && lastIsFile));
        if (problem != NAME_OK || last) return problem;
        part += length + 1;
    }
}

NameProblem ScriptNameProblem(const char16_t* name) {
    return NameRules(name, false);
}

NameProblem FilePathProblem(const char16_t* path) {
    return NameRules(path, true);
}

// ---- names as Windows compares them --------------------------------------------

char16_t FoldNameChar(char16_t c) {
    if (c == u'/') return u'\\';
    if (c < 0x80) return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 0x20) : c;
    if (c == 0xB5) return 0x39C;  // micro sign
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
    if (c == 0xFF) return 0x178;
    if (c == 0x131) return u'I';  // dotless i
    if (c == 0x17F) return u'S';  // long s
    bool odd = (c & 1) != 0;
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) {  // pairs, upper even
        return odd ? static_cast<char16_t>(c - 1) : c;
    }
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) {  // pairs, upper odd
        return odd ? c : static_cast<char16_t>(c - 1);
    }
    if (c == 0x3AC) return 0x386;  // Greek with tonos
    if (c >= 0x3AD && c <= 0x3AF) return static_cast<char16_t>(c - 0x25);
    if (c == 0x3C2) return 0x3A3;  // final sigma
    if (c >= 0x3B1 && c <= 0x3CB) return static_cast<char16_t>(c - 0x20);
    if (c == 0x3CC) return 0x38C;
    if (c == 0x3CD || c == 0x3CE) return static_cast<char16_t>(c - 0x3F);
    if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);  // Cyrillic
    if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
    return c;
}

int FoldPath(char16_t* out, int capacity, const char16_t* path) {
    int written = 0;
    const char16_t* part = path;
    for (;;) {
        int length = PartLength(part);
        int kept = KeptLength(part, length);
        for (int i = 0; i < kept && written < capacity - 1; ++i) {
            out[written++] = FoldNameChar(part[i]);
        }
        if (part[length] == 0) break;
        if (written < capacity - 1) out[written++] = u'\\';
        part += length + 1;
    }
    out[written] = 0;
    return written;
}

// ---- the paths of one script -----------------------------------------------------

namespace {

// Folded units, four to a 64-bit word, each word mixed in with one
// multiplication; the end mixes the rest and the count.
struct Hasher {
    uint64_t hash = 0x9E3779B97F4A7C15ull;
    uint64_t word = 0;
    uint32_t units = 0;

    void Add(char16_t unit) {
        word = (word << 16) | FoldNameChar(unit);
        if (++units % 4 == 0) {
            hash = (hash ^ word) * 0xFF51AFD7ED558CCDull;
            hash ^= hash >> 32;
            word = 0;
        }
    }
    void Add(const char16_t* text, int count) {
        for (int i = 0; i < count; ++i) Add(text[i]);
    }
    uint64_t Finish() const {
        uint64_t end = (hash ^ word ^ (static_cast<uint64_t>(units) << 48)) * 0xC4CEB9FE1A85EC53ull;
        end ^= end >> 29;
        return end * 0xFF51AFD7ED558CCDull ^ (end >> 32);
    }
};

// The hashes of path's folded form (FoldPath) and of its temporary name
// "<path>.new" folded, in one walk: they differ only in the last part,
// whose dots and spaces at the end the temporary name keeps.
struct PathHashes {
    uint64_t name;
    uint64_t temporary;
};

PathHashes HashPath(const char16_t* path) {
    Hasher hasher;
    const char16_t* part = path;
    for (;;) {
        int length = PartLength(part);
        int kept = KeptLength(part, length);
        hasher.Add(part, kept);
        if (part[length] == 0) {
            Hasher temporary = hasher;
            temporary.Add(part + kept, length - kept);
            temporary.Add(u".new", 4);
            return PathHashes{hasher.Finish(), temporary.Finish()};
        }
        hasher.Add(u'\\');
        part += length + 1;
    }
}

// The number stored with hash as a name (temporary 0) or a temporary name
// (1), or -1 when there is none.
int Find(const PathIndex* index, uint64_t hash, int temporary) {
    uint32_t slot = static_cast<uint32_t>(hash) & (PATH_INDEX_SLOTS - 1);
    for (;;) {
        const PathIndexSlot& entry = index->slots[slot];
        if (entry.generation != index->generation) return -1;
        if (entry.hash == hash && (entry.value & 1) == temporary) return entry.value >> 1;
        slot = (slot + 1) & (PATH_INDEX_SLOTS - 1);
    }
}

void Insert(PathIndex* index, uint64_t hash, int value) {
    uint32_t slot = static_cast<uint32_t>(hash) & (PATH_INDEX_SLOTS - 1);
    while (index->slots[slot].generation == index->generation) {
        slot = (slot + 1) & (PATH_INDEX_SLOTS - 1);
    }
    index->slots[slot] = PathIndexSlot{hash, index->generation, value};
}

}  // namespace

void ClearPathIndex(PathIndex* index) {
    index->count = 0;
    if (++index->generation != 0) return;
    // After four billion clears every slot is wiped once, so that no slot of
    // an old generation can pass for the new one.
    for (PathIndexSlot& slot : index->slots) slot = PathIndexSlot{0, 0, 0};
    index->generation = 1;
}

PathClash AddPathUnlessItClashes(PathIndex* index, const char16_t* path, int number, int* earlier) {
    if (index->generation == 0) ClearPathIndex(index);
    PathHashes hashes = HashPath(path);
    if ((*earlier = Find(index, hashes.name, 0)) >= 0) return CLASH_SAME_FILE;
    if ((*earlier = Find(index, hashes.name, 1)) >= 0) return CLASH_EARLIER_TEMPORARY;
    if ((*earlier = Find(index, hashes.temporary, 0)) >= 0) return CLASH_LATER_TEMPORARY;
    if (index->count < MAX_FILES) {
        ++index->count;
        Insert(index, hashes.name, number * 2);
        Insert(index, hashes.temporary, number * 2 + 1);
    }
    return CLASH_NONE;
}
