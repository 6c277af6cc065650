// Settings and paths: resolving updater.ini, the scripts folder and the
// server address, and reading and writing `last`.
#include "app/settings.h"

#include "app/ini_file.h"
#include "app/settings_os.h"
#include "app/settings_test_hooks.h"
#include "app/text.h"
#include "updater_build_config.h"

char16_t SettingsPath[SETTINGS_PATH_CAPACITY];
char16_t ScriptsFolder[SCRIPTS_FOLDER_CAPACITY];
char16_t ServerUrl[SERVER_URL_CAPACITY];
char16_t CatalogKeys[CATALOG_KEYS_CAPACITY];
uint64_t AcceptedSerial;

// There is no public script server yet; a reserved name that never resolves
// keeps a bare Updater.exe from talking to anybody's host by accident.
const char16_t DefaultServerUrl[] = u"http://scripts.zentora.example/scripts";

// Chosen when the program is built (UPDATER_DEFAULT_KEY in CMake).
const char16_t DefaultCatalogKeys[] = UPDATER_DEFAULT_KEY;

static const char16_t SettingsSection[] = u"updater";
static const char16_t SettingsFileName[] = u"\\updater.ini";

// Reads one key of the [updater] section; nothing is read without a file.
static void ReadSetting(const char16_t* key, const char16_t* fallback, char16_t* buffer,
                        int capacity) {
    if (SettingsPath[0] == 0) {
        TextCopy(buffer, capacity, fallback);
        return;
    }
    ReadIniString(SettingsSection, key, fallback, buffer, capacity, SettingsPath);
}

bool IsWebAddress(const char16_t* text) {
    if (text == nullptr) return false;
    return TextCompareNoCaseCount(text, u"http://", 7) == 0 ||
           TextCompareNoCaseCount(text, u"https://", 8) == 0;
}

// The executable's folder: its path up to (not including) the last
// backslash; empty when the path is unknown.
static void ExecutableFolder(const char16_t* executablePath, char16_t* folder, int capacity) {
    TextCopy(folder, capacity, executablePath);
    char16_t* lastBackslash = TextFindLastChar(folder, u'\\');
    if (lastBackslash != nullptr) {
        *lastBackslash = 0;
    } else {
        folder[0] = 0;
    }
}

static void ResolveSettingsPath(const char16_t* executableFolder) {
    int folderLength = TextLength(executableFolder);
    int fileLength = TextLength(SettingsFileName);
    if (folderLength == 0 || folderLength + fileLength > SETTINGS_PATH_CAPACITY - 1) {
        SettingsPath[0] = 0;
        return;
    }
    TextCopy(SettingsPath, SETTINGS_PATH_CAPACITY, executableFolder);
    TextAppend(SettingsPath, SETTINGS_PATH_CAPACITY, SettingsFileName);
}

// ---- folders written relative to the program --------------------------------------
//
// A relative folder would otherwise be taken from the current folder, which
// depends on how the program was started (a shortcut's "Start in", the host
// program, a scheduled task in System32). So every folder value is anchored
// to the executable's own place, once, at start-up:
//   X:\dir, \\server\share\dir  absolute: kept as written;
//   dir, ..\dir                 relative: under the executable's folder;
//   \dir                        rooted: on the executable's drive (or share);
//   X:dir                       relative to drive X's current folder, which
//                               is again the process's: read as X:\dir.

static bool IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

static bool IsDriveLetter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// How many units of folder name its drive ("X:") or share ("\\server\share");
// 0 when it has neither (a POSIX path, rooted in the one file system).
static int DriveLength(const char16_t* folder) {
    if (IsDriveLetter(folder[0]) && folder[1] == u':') return 2;
    if (!IsSeparator(folder[0]) || !IsSeparator(folder[1])) return 0;
    int length = 2;
    for (int parts = 0; parts < 2; ++parts) {
        while (folder[length] != 0 && !IsSeparator(folder[length])) ++length;
        if (parts == 0 && folder[length] != 0) ++length;
    }
    return length;
}

// Writes the absolute form of value into joined: the executable's folder,
// drive or nothing in front of it, as the table above says.
static void JoinToExecutable(const char16_t* value, const char16_t* executableFolder,
                             char16_t* joined, int capacity) {
    if (IsDriveLetter(value[0]) && value[1] == u':' && !IsSeparator(value[2])) {
        TextFormat(joined, capacity, u"%c:\\%s", value[0], value + 2);
    } else if (IsSeparator(value[0])) {
        TextCopyCount(joined, capacity, executableFolder, DriveLength(executableFolder));
        TextAppend(joined, capacity, value);
    } else {
        TextFormat(joined, capacity, u"%s\\%s", executableFolder, value);
    }
}

static bool IsAbsoluteFolder(const char16_t* value) {
    bool drive = IsDriveLetter(value[0]) && value[1] == u':' && IsSeparator(value[2]);
    bool share = IsSeparator(value[0]) && IsSeparator(value[1]);
    return drive || share;
}

// Puts the full form of a folder value into buffer. An absolute value is
// copied as it is (cut at capacity - 1 like any value read); any other is
// anchored to the executable and must fit whole: a cut would name some
// other folder, so it gives the empty text and false instead.
static bool AnchorFolder(const char16_t* value, const char16_t* executableFolder, char16_t* buffer,
                         int capacity) {
    if (IsAbsoluteFolder(value)) {
        TextCopy(buffer, capacity, value);
        return true;
    }
    buffer[0] = 0;
    if (executableFolder[0] == 0) return false;
    char16_t joined[SETTINGS_PATH_CAPACITY + SERVER_URL_CAPACITY + 4];
    JoinToExecutable(value, executableFolder, joined, COUNTOF(joined));
    return OsFullPath(joined, buffer, capacity) > 0;
}

// ---- the values ---------------------------------------------------------------------

// An empty executable folder (its path unknown) leaves no scripts folder at
// all, rather than a guess: nothing is then installed anywhere.
static void ResolveScriptsFolder(const char16_t* executableFolder) {
    char16_t folder[SCRIPTS_FOLDER_CAPACITY];
    ReadSetting(u"folder", u"", folder, SCRIPTS_FOLDER_CAPACITY);
    if (TrimSpaces(folder) > 0) {
        AnchorFolder(folder, executableFolder, ScriptsFolder, SCRIPTS_FOLDER_CAPACITY);
    } else {
        TextCopy(ScriptsFolder, SCRIPTS_FOLDER_CAPACITY, executableFolder);
    }
}

// A folder address that cannot be anchored whole leaves no server address.
static void ResolveServerUrl(const char16_t* executableFolder) {
    char16_t value[SERVER_URL_CAPACITY];
    ReadSetting(u"url", DefaultServerUrl, value, SERVER_URL_CAPACITY);
    if (TrimSpaces(value) == 0 || IsWebAddress(value)) {
        TextCopy(ServerUrl, SERVER_URL_CAPACITY, value);
        return;
    }
    AnchorFolder(value, executableFolder, ServerUrl, SERVER_URL_CAPACITY);
}

static void ResolveCatalogKeys() {
    ReadSetting(u"key", u"", CatalogKeys, CATALOG_KEYS_CAPACITY);
    if (TrimSpaces(CatalogKeys) > 0) return;
    TextCopy(CatalogKeys, CATALOG_KEYS_CAPACITY, DefaultCatalogKeys);
}

uint64_t SerialValue(const char16_t* text) {
    uint64_t value = 0;
    int length = TextLength(text);
    if (length == 0 || length > 18) return 0;
    for (int i = 0; i < length; ++i) {
        if (text[i] < u'0' || text[i] > u'9') return 0;
        value = value * 10 + static_cast<uint64_t>(text[i] - u'0');
    }
    return value;
}

void SerialText(uint64_t serial, char16_t text[SERIAL_TEXT_CAPACITY]) {
    char16_t reversed[SERIAL_TEXT_CAPACITY];
    int length = 0;
    do {
        reversed[length++] = static_cast<char16_t>(u'0' + serial % 10);
        serial /= 10;
    } while (serial != 0);
    for (int i = 0; i < length; ++i) text[i] = reversed[length - 1 - i];
    text[length] = 0;
}

static void ResolveAcceptedSerial() {
    char16_t text[SERIAL_TEXT_CAPACITY];
    ReadSetting(u"serial", u"", text, SERIAL_TEXT_CAPACITY);
    TrimSpaces(text);
    AcceptedSerial = SerialValue(text);
}

void RememberAcceptedSerial(uint64_t serial) {
    if (serial <= AcceptedSerial) return;
    AcceptedSerial = serial;
    if (SettingsPath[0] == 0) return;
    char16_t text[SERIAL_TEXT_CAPACITY];
    SerialText(serial, text);
    WriteIniString(SettingsSection, u"serial", text, SettingsPath);
}

void ResolveSettings(const char16_t* executablePath) {
    char16_t executableFolder[SETTINGS_PATH_CAPACITY];
    ExecutableFolder(executablePath, executableFolder, SETTINGS_PATH_CAPACITY);
    ResolveSettingsPath(executableFolder);
    ResolveScriptsFolder(executableFolder);
    ResolveServerUrl(executableFolder);
    ResolveCatalogKeys();
    ResolveAcceptedSerial();
}

static int ExecutablePathCapacity = SETTINGS_PATH_CAPACITY;

void SettingsSetExecutablePathCapacityForTests(int capacity) {
    bool fits = capacity > 0 && capacity <= SETTINGS_PATH_CAPACITY;
    ExecutablePathCapacity = fits ? capacity : SETTINGS_PATH_CAPACITY;
}

// An executable path that does not fit is not cut: its cut form would put
// updater.ini and the scripts in some parent folder. The program then has no
// settings file (as when it is missing) and no scripts folder.
void LoadSettings() {
    char16_t executablePath[SETTINGS_PATH_CAPACITY];
    if (!OsExecutablePath(executablePath, ExecutablePathCapacity)) executablePath[0] = 0;
    ResolveSettings(executablePath);
}

// Defined below, with `last`.
static bool HoldsLineBreak(const char16_t* text);

void RememberCatalogKeys(const char16_t* keys) {
    if (HoldsLineBreak(keys)) return;
    TextCopy(CatalogKeys, CATALOG_KEYS_CAPACITY, keys);
    if (SettingsPath[0] != 0) WriteIniString(SettingsSection, u"key", keys, SettingsPath);
}

void ReadLastScript(char16_t* buffer) {
    ReadSetting(u"last", u"", buffer, LAST_SCRIPT_CAPACITY);
}

// A line break in the value would end the `last` line early and start a
// line of the writer's choosing (folder=..., url=...) on the next read.
static bool HoldsLineBreak(const char16_t* text) {
    return TextFindChar(text, u'\r') != nullptr || TextFindChar(text, u'\n') != nullptr;
}

void WriteLastScript(const char16_t* name) {
    if (SettingsPath[0] == 0 || HoldsLineBreak(name)) return;
    WriteIniString(SettingsSection, u"last", name, SettingsPath);
}
