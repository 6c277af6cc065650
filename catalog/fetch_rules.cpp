// The rules every web fetch is held to, shared by both web clients.
#include "catalog/fetch_rules.h"

#include <atomic>

#include "app/text.h"
#include "catalog/fetch_test_hooks.h"

namespace {

// Only tests change it, before their fetches start.
std::atomic<uint32_t> WaitBoundMs{FETCH_WAIT_BOUND_MS};

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// One piece of text inside the head: [begin, end).
struct Span {
    const char* begin;
    const char* end;
};

Span Trimmed(Span span) {
    while (span.begin < span.end && IsBlank(*span.begin)) ++span.begin;
    while (span.end > span.begin && (IsBlank(span.end[-1]) || span.end[-1] == '\r')) --span.end;
    return span;
}

bool SpanIs(Span span, const char* word) {
    for (; span.begin < span.end; ++span.begin, ++word) {
        if (*word == 0 || Lower(*span.begin) != *word) return false;
    }
    return *word == 0;
}

// A list value split at commas: each element in turn, false after the last.
bool NextElement(Span* rest, Span* element) {
    if (rest->begin > rest->end) return false;
    const char* comma = rest->begin;
    while (comma < rest->end && *comma != ',') ++comma;
    *element = Trimmed({rest->begin, comma});
    rest->begin = comma + 1;
    return true;
}

// Every element of a Content-Length must be the same number of at most
// 4 GiB less two (the content and its zero byte fit 32 bits).
bool ReadLength(Span value, ResponseFraming* framing) {
    Span element;
    while (NextElement(&value, &element)) {
        if (element.begin == element.end) return false;
        uint64_t number = 0;
        for (const char* c = element.begin; c < element.end; ++c) {
            if (*c < '0' || *c > '9') return false;
            number = number * 10 + static_cast<uint64_t>(*c - '0');
            if (number > UINT32_MAX - 1u) return false;
        }
        if (framing->hasLength && framing->length != number) return false;
        framing->hasLength = true;
        framing->length = number;
    }
    return true;
}

bool OnlyIdentity(Span value) {
    Span element;
    while (NextElement(&value, &element)) {
        if (element.begin != element.end && !SpanIs(element, "identity")) return false;
    }
    return true;
}

// One header line; false when it makes the response unusable.
bool ReadHeader(Span line, ResponseFraming* framing) {
    if (IsBlank(*line.begin)) return false;  // a folded line
    const char* colon = line.begin;
    while (colon < line.end && *colon != ':') ++colon;
    if (colon == line.end || colon == line.begin) return false;
    Span name = {line.begin, colon};
    Span value = Trimmed({colon + 1, line.end});
    if (SpanIs(name, "content-length")) return ReadLength(value, framing);
    if (SpanIs(name, "content-encoding")) return OnlyIdentity(value);
    if (SpanIs(name, "transfer-encoding")) {
        if (framing->chunked || !SpanIs(value, "chunked")) return false;
        framing->chunked = true;
    }
    return true;
}

}  // namespace

void FetchSetWaitBoundForTests(uint32_t milliseconds) {
    WaitBoundMs.store(milliseconds == 0 ? static_cast<uint32_t>(FETCH_WAIT_BOUND_MS)
                                        : milliseconds);
}

uint32_t FetchWaitBoundMs() {
    return WaitBoundMs.load();
}

bool IsFollowedRedirect(uint32_t status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool IsDowngrade(const char16_t* from, const char16_t* to) {
    return TextCompareNoCaseCount(from, u"https://", 8) == 0 &&
           TextCompareNoCaseCount(to, u"http://", 7) == 0;
}

bool ReadResponseFraming(const char* head, size_t size, ResponseFraming* framing) {
    *framing = {false, 0, false};
    const char* end = head + size;
    const char* line = head;
    if (size >= 5 && head[0] == 'H' && head[1] == 'T' && head[2] == 'T' && head[3] == 'P' &&
        head[4] == '/') {
        while (line < end && *line != '\n') ++line;
        if (line < end) ++line;
    }
    while (line < end) {
        const char* next = line;
        while (next < end && *next != '\n') ++next;
        Span text = Trimmed({line, next});
        if (text.begin == text.end) break;  // the blank line ends the head
        if (!ReadHeader({line, text.end}, framing)) return false;
        line = next < end ? next + 1 : end;
    }
    return !(framing->chunked && framing->hasLength);
}
