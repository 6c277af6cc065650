// The server folder, walked: script folders, their files, their digests.
#include "tools/catalog_tool/server_folder.h"

#include <algorithm>

#include "app/text.h"
#include "catalog/catalog.h"
#include "catalog/hash_os.h"
#include "catalog/local_state.h"
#include "tools/catalog_tool/names.h"
#include "tools/catalog_tool/tool_os.h"

std::u16string Inside(const std::u16string& folder, const std::u16string& name) {
    return folder + u"\\" + name;
}

void IoError(MakeRun* run, Report& report, const std::u16string& where,
             const std::u16string& text) {
    run->ioFailed = true;
    report.Error(FINDING_IO, where, 0, text);
}

namespace {

// Files first, then folders, each by name without regard to case, so that
// a script's main files lead its section.
bool EntriesInOrder(MakeRun* run, const std::u16string& folder, std::vector<FolderEntry>* entries,
                    Report& report) {
    if (!ListFolder(folder.c_str(), entries)) {
        IoError(run, report, DisplayPath(folder), u"cannot read the folder");
        return false;
    }
    std::sort(entries->begin(), entries->end(), [](const FolderEntry& a, const FolderEntry& b) {
        bool aFolder = a.kind == PATH_FOLDER, bFolder = b.kind == PATH_FOLDER;
        if (aFolder != bFolder) return bFolder;
        int order = TextCompareNoCase(a.name.c_str(), b.name.c_str());
        return order != 0 ? order < 0 : a.name < b.name;
    });
    return true;
}

void AddFoundFile(MakeRun* run, FoundScript* script, const std::u16string& fullPath,
                  const std::u16string& path, Report& report) {
    std::u16string shown = DisplayPath(fullPath);
    std::u16string refusal = FilePathRefusal(path);
    if (!refusal.empty()) {
        report.Error(FINDING_NAME_REFUSED, shown, 0, u"left out: " + refusal);
        return;
    }
    int earlier = 0;
    PathClash clash = AddPathUnlessItClashes(run->paths.get(), path.c_str(),
                                             static_cast<int>(script->files.size()), &earlier);
    if (clash != CLASH_NONE) {
        report.Error(FINDING_NAME_REFUSED, shown, 0,
                     u"left out: the updater would refuse it: " +
                         PathClashText(clash, Quoted(script->files[earlier].path)));
        return;
    }
    int room = ScriptsFolderRoom(script->name.c_str(), path.c_str());
    if (room < LEAST_FOLDER_ROOM) {
        report.Error(FINDING_NAME_REFUSED, shown, 0,
                     u"left out: the script name and the path leave no room for a scripts folder "
                     u"within the updater's limits (259 characters with \".new\", folders of "
                     u"247)");
        return;
    }
    if (room < COMFORTABLE_FOLDER_ROOM) {
        report.Warning(FINDING_LOCAL_PATH_LONG, shown, 0,
                       u"the script name and the path leave only " + NumberText(room) +
                           u" characters for the user's scripts folder (259 in all with \".new\", "
                           u"folders of 247)");
    }
    AddressRisk risk = WebAddressRisk(script->name + u"/" + path);
    if (risk.severity != SEVERITY_NOTE) {
        report.Add(risk.severity, FINDING_ADDRESS_RISK, shown, 0, u"on a web server: " + risk.text);
    }
    if (++run->fileTotal > MAX_FILES) {
        report.Error(FINDING_LIMIT_REACHED, DisplayPath(run->folder), 0,
                     u"more than " + NumberText(MAX_FILES) +
                         u" files: the updater takes at most that many; nothing is written");
        run->stopped = true;
        return;
    }
    char16_t digest[DIGEST_CAPACITY];
    if (HashLocalFile(fullPath.c_str(), digest) == 0) {
        IoError(run, report, shown, u"cannot read the file");
    } else if (digest[0] == 0) {
        IoError(run, report, shown, u"cannot compute the file's MD5");
    } else {
        script->files.push_back(FoundFile{path, digest});
    }
}

void WalkScriptFolder(MakeRun* run, FoundScript* script, const std::u16string& folder,
                      const std::u16string& prefix, Report& report) {
    std::vector<FolderEntry> entries;
    if (!EntriesInOrder(run, folder, &entries, report)) return;
    for (const FolderEntry& entry : entries) {
        if (run->stopped) return;
        std::u16string fullPath = Inside(folder, entry.name);
        std::u16string path = prefix + entry.name;
        if (!entry.nameIsText) {
            report.Error(FINDING_NAME_REFUSED, DisplayPath(fullPath), 0,
                         u"left out: the name is not UTF-8 text");
        } else if (entry.kind == PATH_FILE) {
            AddFoundFile(run, script, fullPath, path, report);
        } else if (entry.kind != PATH_FOLDER) {
            report.Warning(FINDING_NAME_REFUSED, DisplayPath(fullPath), 0,
                           u"left out: neither a file nor a folder");
        } else {
            // A folder refused as a whole tells once what every file in it
            // would tell, and a path that only grows ends the descent.
            std::u16string refusal = FilePathRefusal(path);
            if (!refusal.empty()) {
                report.Error(FINDING_NAME_REFUSED, DisplayPath(fullPath), 0,
                             u"left out with everything in it: " + refusal);
            } else {
                WalkScriptFolder(run, script, fullPath, path + u"/", report);
            }
        }
    }
}

}  // namespace

void WalkServerFolder(MakeRun* run, Report& report) {
    std::vector<FolderEntry> entries;
    if (!EntriesInOrder(run, run->folder, &entries, report)) return;
    for (const FolderEntry& entry : entries) {
        if (run->stopped) return;
        if (entry.kind != PATH_FOLDER) continue;  // scripts.txt and the publisher's own files
        std::u16string fullPath = Inside(run->folder, entry.name);
        std::u16string shown = DisplayPath(fullPath);
        if (entry.name[0] == u'.') {
            report.Note(FINDING_NAME_REFUSED, shown, 0, u"hidden folder left out");
            continue;
        }
        std::u16string refusal =
            entry.nameIsText ? ScriptNameRefusal(entry.name) : u"the name is not UTF-8 text";
        if (!refusal.empty()) {
            report.Error(FINDING_NAME_REFUSED, shown, 0, u"script left out: " + refusal);
            continue;
        }
        if (static_cast<int>(run->scripts.size()) >= MAX_SCRIPTS) {
            report.Error(FINDING_LIMIT_REACHED, DisplayPath(run->folder), 0,
                         u"more than " + NumberText(MAX_SCRIPTS) +
                             u" script folders: the updater takes at most that many; nothing is "
                             u"written");
            run->stopped = true;
            return;
        }
        FoundScript script = {entry.name, {}};
        ClearPathIndex(run->paths.get());
        WalkScriptFolder(run, &script, fullPath, u"", report);
        if (script.files.empty() && !run->stopped) {
            report.Warning(
                FINDING_NAME_REFUSED, shown, 0,
                u"the script has no files: the updater lists it with nothing to install");
        }
        run->scripts.push_back(script);
    }
}
