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
    u"  catalog-tool make SERVER_FOLDER [--out FILE] [--sign PRIVATE_KEY_FILE [--next-key",
    u"                    NEXT_PRIVATE_KEY_FILE] [--serial N]] [--drop-signature]",
    u"      Writes SERVER_FOLDER/scripts.txt (or FILE) for the folder: one section per",
    u"      script folder, a file line with the MD5 and SHA-256 of every file in it. An existing",
    u"      catalog (FILE, else SERVER_FOLDER/scripts.txt) keeps its version, desc and",
    u"      note lines, comments, section order and keep files; digests are updated,",
    u"      new files added, files that are gone dropped. Names the updater would",
    u"      refuse or cut, and catalogs past its limits (64 scripts, 4096 files, 4096",
    u"      characters of notes), are reported and nothing is written. With --sign, the",
    u"      catalog gets the next serial (one above the catalog's and the key's record,",
    u"      PRIVATE_KEY_FILE.serial; --serial sets a higher one) and its signature goes",
    u"      to scripts.txt.sig; --next-key names the key users move to next. A signed",
    u"      catalog is only written signed, unless --drop-signature says otherwise.",
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
    u"  catalog-tool key PRIVATE_KEY_FILE",
    u"      Prints the key= line of a private key again.",
    u"  catalog-tool --help",
    u"",
    u"Exit codes: 0 all is well, 1 problems found, 2 wrong arguments or an input or",
    u"output error.",
};

const char16_t* const MakeHelpLines[] = {
    u"catalog-tool make SERVER_FOLDER [--out FILE] [--sign PRIVATE_KEY_FILE [--next-key",
    u"                  NEXT_PRIVATE_KEY_FILE] [--serial N]] [--drop-signature]",
    u"  Writes SERVER_FOLDER/scripts.txt from the script folders in it, keeping the version,",
    u"  desc, note and keep lines of the catalog there. Example:",
    u"    catalog-tool make server --sign ~/zentora-signing.pem",
};

const char16_t* const CheckHelpLines[] = {
    u"catalog-tool check SOURCE [--key KEY]",
    u"  Reads the catalog under SOURCE (a server folder or an http:// or https:// base",
    u"  address, not scripts.txt itself) as the updater does and fetches every file.",
    u"  Example:",
    u"    catalog-tool check https://scripts.example.org/zentora --key p256:BASE64...",
};

template <size_t N>
int Help(Report& report, const char16_t* const (&lines)[N]) {
    for (const char16_t* line : lines) report.Note(FINDING_HELP, u"", 0, line);
    return EXIT_OK;
}

bool AsksForHelp(const std::vector<std::u16string>& arguments) {
    for (size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == u"--help" || arguments[i] == u"-h") return true;
    }
    return false;
}

// 1 to 18 decimal digits; 0 for anything else.
uint64_t SerialArgument(const std::u16string& text) {
    if (text.empty() || text.size() > 18) return 0;
    uint64_t value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return 0;
        value = value * 10 + static_cast<uint64_t>(c - u'0');
    }
    return value;
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
    if (AsksForHelp(arguments)) return Help(report, MakeHelpLines);
    std::u16string folder, out;
    SignOptions options;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::u16string& argument = arguments[i];
        if (argument == u"--out" || argument == u"--sign" || argument == u"--next-key") {
            if (i + 1 >= arguments.size()) return Usage(report, argument + u" needs a file");
            std::u16string& value = argument == u"--out"    ? out
                                    : argument == u"--sign" ? options.keyFile
                                                            : options.nextKeyFile;
            value = arguments[++i];
        } else if (argument == u"--serial") {
            options.serial = i + 1 < arguments.size() ? SerialArgument(arguments[++i]) : 0;
            if (options.serial == 0)
                return Usage(report, u"--serial needs a number, 1 to 18 digits");
        } else if (argument == u"--drop-signature") {
            options.dropSignature = true;
        } else if (IsOption(argument)) {
            return Usage(report, u"make does not know " + Quoted(argument));
        } else if (folder.empty()) {
            folder = argument;
        } else {
            return Usage(report, u"make takes one server folder");
        }
    }
    if (folder.empty()) return Usage(report, u"make needs a server folder");
    if (options.keyFile.empty() && (!options.nextKeyFile.empty() || options.serial != 0)) {
        return Usage(report, u"--next-key and --serial go with --sign");
    }
    if (!options.keyFile.empty() && options.dropSignature) {
        return Usage(report, u"--sign and --drop-signature exclude each other");
    }
    return RunMake(folder, out, options, report);
}

int Check(const std::vector<std::u16string>& arguments, Report& report) {
    if (AsksForHelp(arguments)) return Help(report, CheckHelpLines);
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

int Key(const std::vector<std::u16string>& arguments, Report& report) {
    if (arguments.size() != 2 || IsOption(arguments[1])) {
        return Usage(report, u"key takes the file of a private key");
    }
    return RunKeyLine(arguments[1], report);
}

}  // namespace

int RunCatalogTool(const std::vector<std::u16string>& arguments, Report& report) {
    if (arguments.empty()) return Usage(report, u"no command given");
    const std::u16string& command = arguments[0];
    if (command == u"--help" || command == u"-h" || command == u"help") {
        return Help(report, HelpLines);
    }
    if (command == u"make") return Make(arguments, report);
    if (command == u"check") return Check(arguments, report);
    if (command == u"keygen") return Keygen(arguments, report);
    if (command == u"key") return Key(arguments, report);
    return Usage(report, u"unknown command " + Quoted(command));
}
