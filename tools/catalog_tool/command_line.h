// catalog-tool's command line: --help, make, check, and the exit codes.
#ifndef UPDATER_TOOLS_CATALOG_TOOL_COMMAND_LINE_H
#define UPDATER_TOOLS_CATALOG_TOOL_COMMAND_LINE_H

#include <string>
#include <vector>

#include "tools/catalog_tool/report.h"

// Runs the command the arguments (without the program's own name) ask
// for. Returns the exit code (ToolExit).
int RunCatalogTool(const std::vector<std::u16string>& arguments, Report& report);

#endif  // UPDATER_TOOLS_CATALOG_TOOL_COMMAND_LINE_H
