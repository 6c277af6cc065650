// catalog-tool check: a published catalog seen exactly as the updater sees
// it. The catalog is fetched, converted and parsed by the updater's own code;
// every line the updater ignores, refuses or cuts is reported with the
// reason; then every listed file is fetched through the updater's own
// server access, by the address its download worker would use, and checked
// against its digest.
#ifndef UPDATER_TOOLS_CATALOG_TOOL_CHECK_H
#define UPDATER_TOOLS_CATALOG_TOOL_CHECK_H

#include <string>

#include "tools/catalog_tool/report.h"

// source: an http:// or https:// base address, or a server folder (either
// slash). Sets ServerUrl to it. keyText: one or two public keys to verify
// the signature, serial and SHA-256 fields with (sign.h), empty for none.
// Returns a ToolExit value.
int RunCheck(const std::u16string& source, const std::u16string& keyText, Report& report);
inline int RunCheck(const std::u16string& source, Report& report) {
    return RunCheck(source, std::u16string(), report);
}

#endif  // UPDATER_TOOLS_CATALOG_TOOL_CHECK_H
