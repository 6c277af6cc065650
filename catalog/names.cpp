// Section names and file paths as Windows holds them.
#include "catalog/names.h"

#include "app/text.h"

// ---- one name ----------------------------------------------------------------

static bool IsSlash(char16_t c) {
    return c == u'/' || c == u'\\';
}

static bool IsControl(char16_t c) {
    return (c >= 0x01 && c <= 0x1F) || c == 0x7F;
}

// Characters no Windows name may hold (':' has a rule of its own).
static bool IsForbidden(char16_t c) {
    return c == u'<' || c == u'>' || c == u'"' || c == u'|' || c == u'?' || c == u'*';
}

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
static bool NamesDevice(const char16_t* part, int length) {
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

static NameProblem PartProblem(const char16_t* part, int length) {
    if (length == 0) return NAME_EMPTY_PART;
    bool onlyDotsAndSpaces = true;
    for (int i = 0; i < length && onlyDotsAndSpaces; ++i) {
        onlyDotsAndSpaces = part[i] == u'.' || part[i] == u' ';
    }
    if (onlyDotsAndSpaces) return NAME_DOTS_AND_SPACES_PART;
    if (NamesDevice(part, length)) return NAME_DEVICE_PART;
    return NAME_OK;
}

static NameProblem CharacterProblem(const char16_t* text) {
    for (const char16_t* c = text; *c != 0; ++c) {
        if (IsControl(*c)) return NAME_CONTROL_CHARACTER;
        if (IsForbidden(*c)) return NAME_FORBIDDEN_CHARACTER;
    }
    return NAME_OK;
}

// The rules for every name that becomes folders and a file under the
// scripts folder, in the order of NameProblem.
static NameProblem NameRules(const char16_t* text) {
    if (text[0] == 0) return NAME_EMPTY;
    if (TextContains(text, u"..")) return NAME_TWO_DOTS;
    if (IsSlash(text[0])) return NAME_LEADING_SLASH;
    if (TextFindChar(text, u':') != nullptr) return NAME_COLON;
    NameProblem problem = CharacterProblem(text);
    if (problem != NAME_OK) return problem;
    const char16_t* part = text;
    for (;;) {
        int length = 0;
        while (part[length] != 0 && !IsSlash(part[length])) ++length;
        problem = PartProblem(part, length);
        if (problem != NAME_OK || part[length] == 0) return problem;
        part += length + 1;
    }
}

NameProblem ScriptNameProblem(const char16_t* name) {
    return NameRules(name);
}

NameProblem FilePathProblem(const char16_t* path) {
    return NameRules(path);
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
        int length = 0;
        while (part[length] != 0 && !IsSlash(part[length])) ++length;
        int kept = length;
        while (kept > 0 && (part[kept - 1] == u'.' || part[kept - 1] == u' ')) --kept;
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

enum { FOLDED_CAPACITY = FILE_PATH_CAPACITY + 8 };

// FNV-1a over the folded units of path, with suffix appended first when given.
uint64_t FoldedHash(const char16_t* path, const char16_t* suffix) {
    char16_t joined[FOLDED_CAPACITY];
    char16_t folded[FOLDED_CAPACITY];
    TextFormat(joined, FOLDED_CAPACITY, u"%s%s", path, suffix);
    int length = FoldPath(folded, FOLDED_CAPACITY, joined);
    uint64_t hash = 14695981039346656037ull;
    for (int i = 0; i < length; ++i) {
        hash = (hash ^ (folded[i] & 0xFF)) * 1099511628211ull;
        hash = (hash ^ (folded[i] >> 8)) * 1099511628211ull;
    }
    return hash;
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

PathClash FindPathClash(const PathIndex* index, const char16_t* path, int* earlier) {
    if (index->generation == 0) return CLASH_NONE;  // never cleared: empty
    uint64_t name = FoldedHash(path, u"");
    if ((*earlier = Find(index, name, 0)) >= 0) return CLASH_SAME_FILE;
    if ((*earlier = Find(index, name, 1)) >= 0) return CLASH_EARLIER_TEMPORARY;
    if ((*earlier = Find(index, FoldedHash(path, u".new"), 0)) >= 0) return CLASH_LATER_TEMPORARY;
    return CLASH_NONE;
}

void AddToPathIndex(PathIndex* index, const char16_t* path, int number) {
    if (index->generation == 0) ClearPathIndex(index);
    if (index->count >= MAX_FILES) return;
    ++index->count;
    Insert(index, FoldedHash(path, u""), number * 2);
    Insert(index, FoldedHash(path, u".new"), number * 2 + 1);
}
