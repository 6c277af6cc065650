// What check tells about each line of a catalog: the updater's verdict in
// words, and the publisher's advice that goes with a line it took (a cut
// value, text it ignores, a digest that can never match). All of it comes
// from the line records of the updater's own parse.
#ifndef UPDATER_TOOLS_CATALOG_TOOL_LINE_FINDINGS_H
#define UPDATER_TOOLS_CATALOG_TOOL_LINE_FINDINGS_H

#include <string>
#include <vector>

#include "tools/catalog_tool/catalog_reading.h"
#include "tools/catalog_tool/report.h"

struct LineFinding {
    Severity severity;
    FindingKind kind;
    int line;
    std::u16string text;
};

// The findings about the lines of reading, in line order (the tables still
// hold the parse that reading recorded).
std::vector<LineFinding> FindingsOfLines(const CatalogReading& reading);

#endif  // UPDATER_TOOLS_CATALOG_TOOL_LINE_FINDINGS_H
