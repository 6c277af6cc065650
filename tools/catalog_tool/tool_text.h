// The one UTF-8 <-> UTF-16 wrapper of catalog-tool, over the program's own
// conversion (app/unicode.h). Free of the report's names, so that a file
// that includes <windows.h> can use it too.
#ifndef UPDATER_TOOLS_CATALOG_TOOL_TOOL_TEXT_H
#define UPDATER_TOOLS_CATALOG_TOOL_TOOL_TEXT_H

#include <string>

// Invalid sequences become U+FFFD; a text holding a zero ends there.
std::u16string Utf16Of(const std::string& utf8);
std::string Utf8Of(const std::u16string& text);

#endif  // UPDATER_TOOLS_CATALOG_TOOL_TOOL_TEXT_H
