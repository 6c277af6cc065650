// The command line of catalog-tool.
#include "tools/catalog_tool/command_line.h"

#include "tools/catalog_tool/check.h"
#include "tools/catalog_tool/make.h"
#include "tools/catalog_tool/sign.h"

namespace {

const char16_t* const HelpLines[] = {
    u"catalog-tool: makes and checks the catalog (scripts.txt) of a script server.",
    u"",
    u"Usage:",
    u"  catalog-tool make SERVER_FOLDER [--out FILE] [--sign PRIVATE_KEY_FILE]",
    u"      Writes SERVER_FOLDER/scripts.txt (or FILE) for the folder: one section per",
    u"      script folder, a file line with the MD5 and SHA-256 of every file in it. An existing",
    u"      catalog (FILE, else SERVER_FOLDER/scripts.txt) keeps its version, desc and",
    u"      note lines, comments, section order and keep files; digests are updated,",
    u"      new files added, files that are gone dropped. Names the updater would",
    u"      refuse or cut, and catalogs past its limits (64 scripts, 4096 files, 4096",
    u"      characters of notes), are reported and nothing is written. With --sign, the",
    u"      catalog gets the next serial and its signature goes to scripts.txt.sig.",
    u"  catalog-tool check SOURCE [--key KEY]",
    u"      Reads the catalog under SOURCE (a server folder, or an http:// or https://",
    u"      base address) as the updater does and reports every line it would ignore,",
    u"      refuse or cut; then fetches every listed file the way the updater does and",
    u"      reports files that are missing, differ from their digest, or have an",
    u"      address a web server may not serve. With --key (one or two keys, as in",
    u"      updater.ini), also the signature, the serial and every file's SHA-256.",
    u"  catalog-tool keygen PRIVATE_KEY_FILE",
    u"      Makes a signing key pair, writes the private key to a new file (owner only)",
    u"      and prints the key= line for updater.ini.",
    u"  catalog-tool --help",
    u"",
    u"Exit codes: 0 all is well, 1 problems found, 2 wrong arguments or an input or",
    u"output error.",
};

void Help(Report& report) {
    for (const char16_t* line : HelpLines) report.Note(FINDING_HELP, u"", 0, line);
}

int Usage(Report& report, const std::u16string& problem) {
    report.Error(FINDING_USAGE, u"catalog-tool", 0,
                 problem + u" (catalog-tool --help tells how to use it)");
    return EXIT_FAILED;
}

bool IsOption(const std::u16string& argument) {
    return argument.size() > 1 && argument[0] == u'-';
}

int Make(const std::vector<std::u16string>& arguments, Report& report) {
    std::u16string folder, out, keyFile;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::u16string& argument = arguments[i];
        if (argument == u"--out" || argument == u"--sign") {
            if (i + 1 >= arguments.size()) return Usage(report, argument + u" needs a file");
            (argument == u"--out" ? out : keyFile) = arguments[++i];
        } else if (IsOption(argument)) {
            return Usage(report, u"make does not know " + Quoted(argument));
        } else if (folder.empty()) {
            folder = argument;
        } else {
            return Usage(report, u"make takes one server folder");
        }
    }
    if (folder.empty()) return Usage(report, u"make needs a server folder");
    return RunMake(folder, out, keyFile, report);
}

int Check(const std::vector<std::u16string>& arguments, Report& report) {
    std::u16string source, key;
    for (size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == u"--key" && i + 1 < arguments.size()) {
            key = arguments[++i];
        } else if (IsOption(arguments[i]) || !source.empty()) {
            return Usage(report, u"check takes one server folder or address, and --key KEY");
        } else {
            source = arguments[i];
        }
    }
    if (source.empty()) return Usage(report, u"check takes one server folder or address");
    return RunCheck(source, key, report);
}

int Keygen(const std::vector<std::u16string>& arguments, Report& report) {
    if (arguments.size() != 2 || IsOption(arguments[1])) {
        return Usage(report, u"keygen takes the file to write the private key to");
    }
    return RunKeygen(arguments[1], report);
}

}  // namespace

int RunCatalogTool(const std::vector<std::u16string>& arguments, Report& report) {
    if (arguments.empty()) return Usage(report, u"no command given");
    const std::u16string& command = arguments[0];
    if (command == u"--help" || command == u"-h" || command == u"help") {
        Help(report);
        return EXIT_OK;
    }
    if (command == u"make") return Make(arguments, report);
    if (command == u"check") return Check(arguments, report);
    if (command == u"keygen") return Keygen(arguments, report);
    return Usage(report, u"unknown command " + Quoted(command));
}
