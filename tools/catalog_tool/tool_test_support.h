// What the tests of catalog-tool share: reading a report, and server trees
// on disk.
#ifndef UPDATER_TOOLS_CATALOG_TOOL_TOOL_TEST_SUPPORT_H
#define UPDATER_TOOLS_CATALOG_TOOL_TOOL_TEST_SUPPORT_H

#include <string>

#include "tests/support/test_support.h"
#include "tools/catalog_tool/report.h"

// Findings of kind (with severity, and on line when line > 0).
int CountFindings(const Report& report, FindingKind kind, int line = 0);
bool HasFinding(const Report& report, Severity severity, FindingKind kind, int line = 0);

// Every finding as the console shows it, one a line (UTF-8), for failure
// messages.
std::string ReportText(const Report& report);

// Writes content at relative (UTF-8, '/' separated) under root.
void Publish(const fs::path& root, const std::string& relative, const std::string& content);

// make and check on a folder, through the same entry points as the program.
int MakeIn(const fs::path& root, Report& report);
int CheckIn(const fs::path& root, Report& report);

// The catalog's bytes, or "" when there is none.
std::string CatalogAt(const fs::path& root);

#endif  // UPDATER_TOOLS_CATALOG_TOOL_TOOL_TEST_SUPPORT_H
