// The parser's rules, line by line, with a word for every line it drops.
// Each rule below has its twin in catalog/catalog.cpp; ModelMatchesTables
// is what keeps the twins honest.
#include "tools/catalog_tool/catalog_lines.h"

#include <memory>

#include "app/settings.h"
#include "app/text.h"
#include "catalog/catalog.h"
#include "catalog/names.h"
#include "tools/catalog_tool/names.h"
#include "catalog/signing.h"

// ---- lines and their parts ---------------------------------------------------

std::u16string TrimmedText(const std::u16string& text) {
    std::vector<char16_t> buffer(text.begin(), text.end());
    buffer.push_back(0);
    TrimSpaces(buffer.data());
    return std::u16string(buffer.data());
}

static LineKind KindOfTrimmedLine(const std::u16string& trimmed) {
    if (trimmed.empty()) return LINE_BLANK;
    if (trimmed[0] == u';' || trimmed[0] == u'#') return LINE_COMMENT;
    if (trimmed[0] == u'[') return LINE_HEADER;
    return LINE_KEY;
}

std::vector<CatalogLine> SplitCatalogLines(const char16_t* text) {
    std::vector<CatalogLine> lines;
    const char16_t* start = text;
    for (int number = 1;; ++number) {
        const char16_t* newline = TextFindChar(start, u'\n');
        std::u16string written =
            newline != nullptr ? std::u16string(start, newline - start) : std::u16string(start);
        CatalogLine line;
        line.number = number;
        line.trimmed = TrimmedText(written);
        line.kind = KindOfTrimmedLine(line.trimmed);
        while (!written.empty() && written.back() == u'\r') written.pop_back();
        line.written = written;
        lines.push_back(line);
        if (newline == nullptr) break;
        start = newline + 1;
    }
    return lines;
}

HeaderParts SplitHeader(const std::u16string& trimmed) {
    HeaderParts parts = {false, std::u16string(), std::u16string()};
    size_t close = trimmed.find(u']');
    if (close == std::u16string::npos) return parts;
    parts.closed = true;
    parts.name = trimmed.substr(1, close - 1);
    parts.after = trimmed.substr(close + 1);
    return parts;
}

KeyParts SplitKeyLine(const std::u16string& trimmed) {
    KeyParts parts = {false, std::u16string(), std::u16string()};
    size_t equals = trimmed.find(u'=');
    if (equals == std::u16string::npos) return parts;
    parts.hasEquals = true;
    parts.key = TrimmedText(trimmed.substr(0, equals));
    parts.value = TrimmedText(trimmed.substr(equals + 1));
    return parts;
}

CatalogKey KeyOf(const std::u16string& key) {
    static const struct {
        const char16_t* name;
        CatalogKey key;
    } keys[] = {{u"version", KEY_VERSION},
                {u"desc", KEY_DESC},
                {u"note", KEY_NOTE},
                {u"file", KEY_FILE},
                {u"keep", KEY_KEEP}};
    for (const auto& known : keys) {
        if (TextCompareNoCase(key.c_str(), known.name) == 0) return known.key;
    }
    return KEY_UNKNOWN;
}

static bool KeyIsSerial(const std::u16string& key) {
    return TextCompareNoCase(key.c_str(), u"serial") == 0;
}

FileParts SplitFileValue(const std::u16string& value) {
    FileParts parts = {value, std::u16string(), false};
    size_t bar = value.find(u'|');
    if (bar == std::u16string::npos) return parts;
    parts.path = value.substr(0, bar);
    size_t second = value.find(u'|', bar + 1);
    parts.digest = value.substr(
        bar + 1, second == std::u16string::npos ? std::u16string::npos : second - bar - 1);
    // A SHA-256 there is the third field of a signed catalog, not stray text.
    std::u16string after = second == std::u16string::npos ? u"" : value.substr(second + 1);
    parts.textAfterDigest = !after.empty() && !IsSha256Text(after.c_str());
    return parts;
}

int LineOfZeroByte(const unsigned char* bytes, size_t size) {
    int line = 1;
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] == 0) return line;
        if (bytes[i] == '\n') ++line;
    }
    return 0;
}

// The length of the well-formed UTF-8 sequence at bytes (RFC 3629: no
// overlong forms, no surrogates, nothing past U+10FFFF), 0 when there is none.
static size_t Utf8SequenceLength(const unsigned char* bytes, size_t left) {
    unsigned char lead = bytes[0];
    if (lead < 0x80) return 1;
    size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                    : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                   : 0;
    if (length == 0 || length > left) return 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
    if (bytes[1] < low || bytes[1] > high) return 0;
    for (size_t i = 2; i < length; ++i) {
        if (bytes[i] < 0x80 || bytes[i] > 0xBF) return 0;
    }
    return length;
}

std::vector<int> LinesWithInvalidUtf8(const unsigned char* bytes, size_t size) {
    std::vector<int> lines;
    int line = 1;
    for (size_t i = 0; i < size && bytes[i] != 0;) {
        size_t length = Utf8SequenceLength(bytes + i, size - i);
        if (length == 0) {
            if (lines.empty() || lines.back() != line) lines.push_back(line);
            length = 1;
        }
        if (bytes[i] == '\n') ++line;
        i += length;
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

// ---- the parse, followed -------------------------------------------------------

namespace {

// The field as the parser stores it: cut to capacity - 1.
std::u16string CutTo(const std::u16string& value, int capacity) {
    return value.size() > static_cast<size_t>(capacity - 1) ? value.substr(0, capacity - 1) : value;
}

class Classifier {
public:
    explicit Classifier(CatalogModel* model) : model_(model), paths_(new PathIndex()) {}

    void Line(const CatalogLine& line) {
        line_ = line.number;
        if (line.kind == LINE_HEADER) Header(line.trimmed);
        if (line.kind == LINE_KEY) KeyLine(line.trimmed);
    }

private:
    void Say(Severity severity, FindingKind kind, const std::u16string& text) {
        model_->findings.push_back(LineFinding{severity, kind, line_, text});
    }

    // The parser's CloseNotesRun: a terminator ends the previous run, and
    // the length stops one short of the end once the notes are full.
    void CloseNotesRun() {
        int length = static_cast<int>(model_->notesText.size());
        if (length == 0) return;
        if (length < NOTES_CAPACITY - 1) model_->notesText.push_back(0);
    }

    void Header(const std::u16string& trimmed) {
        current_ = -1;
        refusedHeaderLine_ = line_;
        HeaderParts parts = SplitHeader(trimmed);
        if (!parts.closed) {
            Say(SEVERITY_ERROR, FINDING_HEADER_WITHOUT_BRACKET,
                u"section header has no ']': the updater refuses it and ignores every line up "
                u"to the next section");
            return;
        }
        if (static_cast<int>(model_->scripts.size()) >= MAX_SCRIPTS) {
            Say(SEVERITY_ERROR, FINDING_LIMIT_REACHED,
                u"section [" + parts.name +
                    u"] is ignored with all its lines: the updater takes "
                    u"at most " +
                    NumberText(MAX_SCRIPTS) + u" scripts");
            return;
        }
        std::u16string name = CutTo(parts.name, SCRIPT_NAME_CAPACITY);
        NameProblem problem = ScriptNameProblem(name.c_str());
        if (problem != NAME_OK) {
            Say(SEVERITY_ERROR, FINDING_UNSAFE_SECTION_NAME,
                u"section [" + Visible(name) + u"] is refused: " + NameProblemText(problem) +
                    u"; every line up to the next section is ignored");
            return;
        }
        if (name.size() < parts.name.size()) {
            Say(SEVERITY_ERROR, FINDING_VALUE_CUT,
                u"section name is cut to " + NumberText(SCRIPT_NAME_CAPACITY - 1) +
                    u" characters: [" + name + u"]");
        }
        if (!parts.after.empty()) {
            Say(SEVERITY_WARNING, FINDING_TEXT_AFTER_BRACKET,
                u"text after ']' is ignored: " + Quoted(parts.after));
        }
        CloseNotesRun();
        ModelScript script = {name,
                              line_,
                              static_cast<int>(model_->files.size()),
                              0,
                              -1,
                              std::u16string(),
                              std::u16string()};
        model_->scripts.push_back(script);
        current_ = static_cast<int>(model_->scripts.size()) - 1;
        ClearPathIndex(paths_.get());
        versionLine_ = 0;
        descLine_ = 0;
    }

    void KeyLine(const std::u16string& trimmed) {
        KeyParts parts = SplitKeyLine(trimmed);
        if (current_ < 0) {
            // The serial of a signed catalog stands before the first section.
            if (refusedHeaderLine_ == 0 && KeyIsSerial(parts.key)) return;
            Say(SEVERITY_ERROR, FINDING_NO_CURRENT_SCRIPT,
                refusedHeaderLine_ == 0 ? u"line is ignored: it comes before any section"
                                        : u"line is ignored: the section header at line " +
                                              NumberText(refusedHeaderLine_) + u" was refused");
            return;
        }
        if (!parts.hasEquals) {
            Say(SEVERITY_ERROR, FINDING_NO_EQUALS,
                u"line is ignored: it has no '=' (and is no comment or section header)");
            return;
        }
        switch (KeyOf(parts.key)) {
            case KEY_VERSION:
                Field(&model_->scripts[current_].version, SCRIPT_VERSION_CAPACITY, parts.value,
                      u"version", &versionLine_);
                return;
            case KEY_DESC:
                Field(&model_->scripts[current_].desc, SCRIPT_DESC_CAPACITY, parts.value, u"desc",
                      &descLine_);
                return;
            case KEY_NOTE:
                Note(parts.value);
                return;
            case KEY_FILE:
                File(parts.value, 0);
                return;
            case KEY_KEEP:
                File(parts.value, 1);
                return;
            case KEY_UNKNOWN:
                Say(SEVERITY_ERROR, FINDING_UNKNOWN_KEY,
                    u"unknown key " + Quoted(parts.key) +
                        u" is ignored (the keys are version, desc, note, file and keep)");
                return;
        }
    }

    void Field(std::u16string* field, int capacity, const std::u16string& value,
               const char16_t* key, int* lastLine) {
        if (*lastLine != 0) {
            Say(SEVERITY_WARNING, FINDING_VALUE_REPLACED,
                std::u16string(key) + u" replaces the one at line " + NumberText(*lastLine));
        }
        *lastLine = line_;
        *field = CutTo(value, capacity);
        if (field->size() < value.size()) {
            Say(SEVERITY_ERROR, FINDING_VALUE_CUT,
                std::u16string(key) + u" is cut to " + NumberText(capacity - 1) + u" characters: " +
                    Quoted(*field));
        }
    }

    void Note(const std::u16string& value) {
        int length = static_cast<int>(value.size());
        int used = static_cast<int>(model_->notesText.size());
        if (length + used + 6 > NOTES_CAPACITY) {
            Say(SEVERITY_ERROR, FINDING_LIMIT_REACHED,
                u"note is dropped: the notes of all scripts hold at most " +
                    NumberText(NOTES_CAPACITY) + u" characters, " + NumberText(used) +
                    u" are taken and this note needs " + NumberText(length + 6));
            return;
        }
        ModelScript& script = model_->scripts[current_];
        if (script.noteOffset < 0) script.noteOffset = used;
        model_->notesText += u"- " + value + u"\r\n";
    }

    void File(const std::u16string& value, int keep) {
        if (value.empty()) {
            Say(SEVERITY_ERROR, FINDING_EMPTY_FILE_VALUE, u"line names no file and is ignored");
            return;
        }
        if (static_cast<int>(model_->files.size()) >= MAX_FILES) {
            Say(SEVERITY_ERROR, FINDING_LIMIT_REACHED,
                u"file is ignored: the updater takes at most " + NumberText(MAX_FILES) + u" files");
            return;
        }
        FileParts parts = SplitFileValue(value);
        ModelFile file = {CutTo(parts.path, FILE_PATH_CAPACITY),
                          CutTo(parts.digest, FILE_MD5_CAPACITY), keep, line_, current_};
        // As written, then as kept after the cut.
        NameProblem problem = FilePathProblem(parts.path.c_str());
        if (problem == NAME_OK) problem = FilePathProblem(file.path.c_str());
        if (problem != NAME_OK) {
            Say(SEVERITY_ERROR, FINDING_REFUSED_PATH,
                u"path " + Quoted(parts.path) + u" is refused: " + NameProblemText(problem));
            return;
        }
        int earlierLine = 0;
        PathClash clash =
            AddPathUnlessItClashes(paths_.get(), file.path.c_str(), line_, &earlierLine);
        if (clash != CLASH_NONE) {
            Say(SEVERITY_ERROR, FINDING_DUPLICATE_FILE,
                u"path " + Quoted(parts.path) + u" is refused: " +
                    PathClashText(clash, u"the path at line " + NumberText(earlierLine)));
            return;
        }
        if (file.path.size() < parts.path.size()) {
            Say(SEVERITY_ERROR, FINDING_VALUE_CUT,
                u"path is cut to " + NumberText(FILE_PATH_CAPACITY - 1) + u" characters");
        }
        if (file.md5.size() < parts.digest.size()) {
            Say(SEVERITY_ERROR, FINDING_VALUE_CUT,
                u"digest is cut to " + NumberText(FILE_MD5_CAPACITY - 1) + u" characters: " +
                    Quoted(file.md5));
        }
        if (!IsMd5Text(file.md5)) BadDigest(file);
        if (parts.textAfterDigest) {
            Say(SEVERITY_WARNING, FINDING_TEXT_AFTER_DIGEST,
                u"text after the second '|' is ignored");
        }
        model_->files.push_back(file);
        ++model_->scripts[current_].fileCount;
    }

    // A file line's digest decides whether the file is downloaded; a keep
    // file's only matters until it is installed, so that is a warning.
    void BadDigest(const ModelFile& file) {
        std::u16string which =
            file.md5.empty() ? std::u16string(u"file has no digest")
                             : u"digest " + Quoted(file.md5) + u" is not 32 hexadecimal digits";
        if (file.keep) {
            Say(SEVERITY_WARNING, FINDING_BAD_DIGEST,
                which + u": harmless for a keep file, but nothing can tell a wrong copy");
        } else {
            Say(SEVERITY_ERROR, FINDING_BAD_DIGEST,
                which + u": the file never matches and is downloaded on every check");
        }
    }

    CatalogModel* model_;
    std::unique_ptr<PathIndex> paths_;  // the current script's paths, by line
    int line_ = 0;
    int current_ = -1;           // index of the current script, -1 for none
    int refusedHeaderLine_ = 0;  // the header that left no current script, 0 before any
    int versionLine_ = 0;        // where the current script's version and desc were set
    int descLine_ = 0;
};

std::u16string Shown(const std::u16string& text) {
    std::u16string shown;
    for (char16_t c : text) shown += c == 0 ? std::u16string(u"\\0") : std::u16string(1, c);
    return Quoted(shown);
}

}  // namespace

void ClassifyCatalog(const std::vector<CatalogLine>& lines, CatalogModel* model) {
    *model = CatalogModel();
    Classifier classifier(model);
    for (const CatalogLine& line : lines) classifier.Line(line);
}

// ---- the cross-check -----------------------------------------------------------

static bool Differs(const char16_t* what, const std::u16string& expected, const char16_t* actual,
                    std::u16string* difference) {
    if (expected == actual) return false;
    *difference = std::u16string(what) + u": the line checks found " + Shown(expected) +
                  u", the updater's parser " + Shown(actual);
    return true;
}

static bool NumberDiffers(const char16_t* what, long long expected, long long actual,
                          std::u16string* difference) {
    if (expected == actual) return false;
    *difference = std::u16string(what) + u": the line checks found " + NumberText(expected) +
                  u", the updater's parser " + NumberText(actual);
    return true;
}

bool ModelMatchesTables(const CatalogModel& model, std::u16string* difference) {
    if (NumberDiffers(u"scripts", static_cast<long long>(model.scripts.size()), ScriptCount,
                      difference) ||
        NumberDiffers(u"files", static_cast<long long>(model.files.size()), FileCount,
                      difference) ||
        NumberDiffers(u"notes length", static_cast<long long>(model.notesText.size()), NotesLength,
                      difference)) {
        return false;
    }
    for (size_t i = 0; i < model.scripts.size(); ++i) {
        const ModelScript& expected = model.scripts[i];
        const ScriptRecord& actual = ScriptTable[i];
        if (Differs(u"script name", expected.name, actual.name, difference) ||
            Differs(u"version", expected.version, actual.version, difference) ||
            Differs(u"desc", expected.desc, actual.desc, difference) ||
            NumberDiffers(u"first file", expected.firstFile, actual.firstFile, difference) ||
            NumberDiffers(u"file count", expected.fileCount, actual.fileCount, difference) ||
            NumberDiffers(u"note offset", expected.noteOffset, actual.noteOffset, difference)) {
            *difference = u"line " + NumberText(expected.line) + u", " + *difference;
            return false;
        }
    }
    for (size_t i = 0; i < model.files.size(); ++i) {
        const ModelFile& expected = model.files[i];
        const FileRecord& actual = FileTable[i];
        if (Differs(u"path", expected.path, actual.path, difference) ||
            Differs(u"digest", expected.md5, actual.md5, difference) ||
            NumberDiffers(u"keep", expected.keep, actual.keep, difference)) {
            *difference = u"line " + NumberText(expected.line) + u", " + *difference;
            return false;
        }
    }
    std::u16string notes(NotesText, NotesText + NotesLength);
    if (notes != model.notesText) {
        *difference = u"the notes text differs";
        return false;
    }
    return true;
}
