// The updater's verdict on every catalog line, in the publisher's words.
#include "tools/catalog_tool/line_findings.h"

#include "app/text.h"
#include "catalog/catalog.h"
#include "catalog/signing.h"
#include "tools/catalog_tool/names.h"

namespace {

class LineAdvisor {
public:
    std::vector<LineFinding> findings;

    void Line(const LineRecord& line) {
        line_ = line.number;
        if (!line.trimmed.empty() && line.trimmed[0] == u'[') EndSection();
        if (line.verdict == LINE_SCRIPT_TAKEN) TakenHeader(line);
        if (line.verdict == LINE_VERSION_TAKEN) Field(line, u"version", CUT_VERSION, &versionLine_);
        if (line.verdict == LINE_DESC_TAKEN) Field(line, u"desc", CUT_DESC, &descLine_);
        if (line.verdict == LINE_FILE_TAKEN || line.verdict == LINE_KEEP_TAKEN) TakenFile(line);
        if (!IsTakenVerdict(line.verdict)) Ignored(line);
        if (line.verdict == LINE_HEADER_WITHOUT_BRACKET || line.verdict == LINE_REFUSED_NAME ||
            line.verdict == LINE_TOO_MANY_SCRIPTS) {
            refusedHeaderLine_ = line.number;
        }
    }

    // After the last line.
    void EndSection() {
        if (headerLine_ != 0 && versionLine_ == 0) {
            findings.push_back(LineFinding{
                SEVERITY_WARNING, FINDING_NO_VERSION, headerLine_,
                u"section [" + headerName_ +
                    u"] has no version line: users see no version and cannot tell a new "
                    u"release from the old one; add one, such as 'version = 1.0'"});
        }
        headerLine_ = 0;
    }

private:
    void Say(Severity severity, FindingKind kind, const std::u16string& text) {
        findings.push_back(LineFinding{severity, kind, line_, text});
    }

    void Ignored(const LineRecord& line) {
        switch (line.verdict) {
            case LINE_BEFORE_FIRST_SECTION:
                // The serial and next key of a signed catalog stand there.
                if (HeaderKeyOf(line.key.c_str()) != HEADER_NONE) return;
                return Say(SEVERITY_ERROR, FINDING_NO_CURRENT_SCRIPT,
                           u"line is ignored: it comes before any section");
            case LINE_AFTER_REFUSED_HEADER:
                return Say(SEVERITY_ERROR, FINDING_NO_CURRENT_SCRIPT,
                           u"line is ignored: the section header at line " +
                               NumberText(refusedHeaderLine_) + u" was refused");
            case LINE_NO_EQUALS:
                return Say(SEVERITY_ERROR, FINDING_NO_EQUALS,
                           u"line is ignored: it has no '=' (and is no comment or section header)");
            case LINE_UNKNOWN_KEY:
                return Say(SEVERITY_ERROR, FINDING_UNKNOWN_KEY,
                           u"unknown key " + Quoted(line.key) +
                               u" is ignored (the keys are version, desc, note, file and keep)");
            case LINE_EMPTY_FILE_VALUE:
                return Say(SEVERITY_ERROR, FINDING_EMPTY_FILE_VALUE,
                           u"line names no file and is ignored");
            default:
                return Refused(line);
        }
    }

    void Refused(const LineRecord& line) {
        switch (line.verdict) {
            case LINE_HEADER_WITHOUT_BRACKET:
                return Say(SEVERITY_ERROR, FINDING_HEADER_WITHOUT_BRACKET,
                           u"section header has no ']': the updater refuses it and ignores every "
                           u"line up to the next section");
            case LINE_REFUSED_NAME:
                return Say(SEVERITY_ERROR, FINDING_UNSAFE_SECTION_NAME,
                           u"section [" + Visible(line.name) + u"] is refused: " +
                               NameProblemText(line.problem) +
                               u"; every line up to the next section is ignored");
            case LINE_REFUSED_PATH:
                return Say(SEVERITY_ERROR, FINDING_REFUSED_PATH,
                           u"path " + Quoted(line.path) + u" is refused: " +
                               NameProblemText(line.problem));
            case LINE_DUPLICATE_PATH:
                return Say(SEVERITY_ERROR, FINDING_DUPLICATE_FILE,
                           u"path " + Quoted(line.path) + u" is refused: " +
                               PathClashText(line.clash,
                                             u"the path at line " + NumberText(line.earlierLine)));
            case LINE_TOO_MANY_SCRIPTS:
                return Say(SEVERITY_ERROR, FINDING_LIMIT_REACHED,
                           u"section [" + Visible(line.name) +
                               u"] is ignored with all its lines: the updater takes at most " +
                               NumberText(MAX_SCRIPTS) + u" scripts");
            case LINE_TOO_MANY_FILES:
                return Say(SEVERITY_ERROR, FINDING_LIMIT_REACHED,
                           u"file is ignored: the updater takes at most " + NumberText(MAX_FILES) +
                               u" files");
            case LINE_NOTES_FULL:
                return Say(
                    SEVERITY_ERROR, FINDING_LIMIT_REACHED,
                    u"note is dropped: the notes of all scripts hold at most " +
                        NumberText(NOTES_CAPACITY) + u" characters, and this one (" +
                        NumberText(static_cast<long long>(line.value.size()) + NOTE_OVERHEAD) +
                        u" with its dash, line end and the run's end) does not fit after "
                        u"the notes before it");
            default:
                return;  // blank lines and comments
        }
    }

    void TakenHeader(const LineRecord& line) {
        versionLine_ = 0;
        descLine_ = 0;
        headerLine_ = line.number;
        headerName_ = ScriptTable[line.script].name;
        if (line.cuts & CUT_NAME) {
            Say(SEVERITY_ERROR, FINDING_VALUE_CUT,
                u"section name is cut to " + NumberText(SCRIPT_NAME_CAPACITY - 1) +
                    u" characters: [" + ScriptTable[line.script].name + u"]");
        }
        if (!line.afterBracket.empty()) {
            Say(SEVERITY_WARNING, FINDING_TEXT_AFTER_BRACKET,
                u"text after ']' is ignored: " + Quoted(line.afterBracket));
        }
    }

    void Field(const LineRecord& line, const char16_t* key, unsigned cut, int* lastLine) {
        if (*lastLine != 0) {
            Say(SEVERITY_WARNING, FINDING_VALUE_REPLACED,
                std::u16string(key) + u" replaces the one at line " + NumberText(*lastLine));
        }
        *lastLine = line.number;
        if (line.cuts & cut) {
            const ScriptRecord& script = ScriptTable[line.script];
            int capacity = cut == CUT_VERSION ? SCRIPT_VERSION_CAPACITY : SCRIPT_DESC_CAPACITY;
            Say(SEVERITY_ERROR, FINDING_VALUE_CUT,
                std::u16string(key) + u" is cut to " + NumberText(capacity - 1) + u" characters: " +
                    Quoted(cut == CUT_VERSION ? script.version : script.desc));
        }
    }

    void TakenFile(const LineRecord& line) {
        const FileRecord& file = FileTable[line.file];
        if (line.cuts & CUT_PATH) {
            Say(SEVERITY_ERROR, FINDING_VALUE_CUT,
                u"path is cut to " + NumberText(FILE_PATH_CAPACITY - 1) + u" characters");
        }
        if (line.cuts & CUT_DIGEST) {
            Say(SEVERITY_ERROR, FINDING_VALUE_CUT,
                u"digest is cut to " + NumberText(FILE_MD5_CAPACITY - 1) + u" characters: " +
                    Quoted(file.md5));
        }
        if (!IsMd5Text(file.md5)) BadDigest(file);
        // A SHA-256 there is the third field of a signed catalog, not stray
        // text; the parser ends that field at a third bar.
        if (line.hasSecondBar && !line.afterDigest.empty() &&
            !IsSha256Text(line.afterDigest.c_str())) {
            Say(SEVERITY_WARNING, FINDING_TEXT_AFTER_DIGEST,
                u"text after the second '|' is not a SHA-256 and is ignored");
        }
        if (line.hasThirdBar) {
            Say(SEVERITY_WARNING, FINDING_TEXT_AFTER_DIGEST,
                u"text after the third '|' is ignored: " + Quoted(line.afterSha256));
        }
    }

    // What the updater does with a file whose digest no MD5 can equal: it
    // never counts the file as up to date, and it refuses every download
    // whose MD5 is not the catalog's. Without a digest a download is taken
    // as it comes, but a file line is then never up to date either.
    void BadDigest(const FileRecord& file) {
        if (file.md5[0] == 0) {
            if (file.keep) {
                Say(SEVERITY_WARNING, FINDING_BAD_DIGEST,
                    u"keep file has no digest: the updater installs it once, as it comes, and "
                    u"nothing can tell a wrong copy");
            } else {
                Say(SEVERITY_ERROR, FINDING_BAD_DIGEST,
                    u"file has no digest: the updater never counts it as up to date and offers "
                    u"it for download after every check");
            }
            return;
        }
        std::u16string which = u"digest " + Quoted(file.md5) +
                               u" is not 32 hexadecimal digits: no download ever "
                               u"matches it, so the updater refuses every one";
        Say(SEVERITY_ERROR, FINDING_BAD_DIGEST,
            which + (file.keep ? std::u16string(u" and a new install stops at this file")
                               : std::u16string(u" and shows the file as Update after every "
                                                u"check")));
    }

    int line_ = 0;
    int refusedHeaderLine_ = 0;
    int headerLine_ = 0;  // the current script's header, 0 when none
    std::u16string headerName_;
    int versionLine_ = 0;  // where the current script's version and desc were set
    int descLine_ = 0;
};

}  // namespace

std::vector<LineFinding> FindingsOfLines(const CatalogReading& reading) {
    LineAdvisor advisor;
    for (const LineRecord& line : reading.lines) advisor.Line(line);
    advisor.EndSection();
    return advisor.findings;
}
