// The tool's one pair of string wrappers around the program's UTF-8
// conversion, apart from report.h so that Windows files can use them (the
// Windows headers define SEVERITY_ERROR, which report.h names too).
#ifndef UPDATER_TOOLS_CATALOG_TOOL_TEXT_FORMS_H
#define UPDATER_TOOLS_CATALOG_TOOL_TEXT_FORMS_H

#include <string>

// UTF-8 to UTF-16 and back with the program's own conversion (invalid
// sequences become U+FFFD; a text holding a zero ends there).
std::u16string Utf16Of(const std::string& utf8);
std::string Utf8Of(const std::u16string& text);

#endif  // UPDATER_TOOLS_CATALOG_TOOL_TEXT_FORMS_H
