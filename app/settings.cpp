// Settings and paths: resolving updater.ini, the scripts folder and the
// server address, and reading and writing `last`.
#include "app/settings.h"

#include "app/settings_os.h"
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
    OsReadProfileString(SettingsSection, key, fallback, buffer, capacity, SettingsPath);
}

// The executable's folder: its path up to (not including) the last backslash.
static void ExecutableFolder(const char16_t* executablePath, char16_t* folder, int capacity) {
    TextCopy(folder, capacity, executablePath);
    char16_t* lastBackslash = TextFindLastChar(folder, u'\\');
    if (lastBackslash != nullptr) *lastBackslash = 0;
}

static void ResolveSettingsPath(const char16_t* executableFolder) {
    int folderLength = TextLength(executableFolder);
    int fileLength = TextLength(SettingsFileName);
    if (folderLength + fileLength > SETTINGS_PATH_CAPACITY - 1) {
        SettingsPath[0] = 0;
        return;
    }
    TextCopy(SettingsPath, SETTINGS_PATH_CAPACITY, executableFolder);
    TextAppend(SettingsPath, SETTINGS_PATH_CAPACITY, SettingsFileName);
}

static void ResolveScriptsFolder(const char16_t* executableFolder) {
    char16_t folder[SCRIPTS_FOLDER_CAPACITY];
    ReadSetting(u"folder", u"", folder, SCRIPTS_FOLDER_CAPACITY);
    if (TrimSpaces(folder) > 0) {
        TextCopy(ScriptsFolder, SCRIPTS_FOLDER_CAPACITY, folder);
    } else {
        TextCopy(ScriptsFolder, SCRIPTS_FOLDER_CAPACITY, executableFolder);
    }
}

static void ResolveServerUrl() {
    ReadSetting(u"url", DefaultServerUrl, ServerUrl, SERVER_URL_CAPACITY);
    TrimSpaces(ServerUrl);
}

static void ResolveCatalogKeys() {
    ReadSetting(u"key", u"", CatalogKeys, CATALOG_KEYS_CAPACITY);
    if (TrimSpaces(CatalogKeys) > 0) return;
    TextCopy(CatalogKeys, CATALOG_KEYS_CAPACITY, DefaultCatalogKeys);
}

// 1 to 18 decimal digits; anything else reads as 0.
static uint64_t SerialValue(const char16_t* text) {
    uint64_t value = 0;
    int length = TextLength(text);
    if (length == 0 || length > 18) return 0;
    for (int i = 0; i < length; ++i) {
        if (text[i] < u'0' || text[i] > u'9') return 0;
        value = value * 10 + static_cast<uint64_t>(text[i] - u'0');
    }
    return value;
}

static void ResolveAcceptedSerial() {
    char16_t text[24];
    ReadSetting(u"serial", u"", text, 24);
    TrimSpaces(text);
    AcceptedSerial = SerialValue(text);
}

void RememberAcceptedSerial(uint64_t serial) {
    if (serial <= AcceptedSerial) return;
    AcceptedSerial = serial;
    if (SettingsPath[0] == 0) return;
    char16_t text[24];
    int length = 0;
    char16_t reversed[24];
    do {
        reversed[length++] = static_cast<char16_t>(u'0' + serial % 10);
        serial /= 10;
    } while (serial != 0);
    for (int i = 0; i < length; ++i) text[i] = reversed[length - 1 - i];
    text[length] = 0;
    OsWriteProfileString(SettingsSection, u"serial", text, SettingsPath);
}

void ResolveSettings(const char16_t* executablePath) {
    char16_t executableFolder[SETTINGS_PATH_CAPACITY];
    ExecutableFolder(executablePath, executableFolder, SETTINGS_PATH_CAPACITY);
    ResolveSettingsPath(executableFolder);
    ResolveScriptsFolder(executableFolder);
    ResolveServerUrl();
    ResolveCatalogKeys();
    ResolveAcceptedSerial();
}

void LoadSettings() {
    char16_t executablePath[SETTINGS_PATH_CAPACITY];
    OsExecutablePath(executablePath, SETTINGS_PATH_CAPACITY);
    ResolveSettings(executablePath);
}

// Defined below, with `last`.
static bool HoldsLineBreak(const char16_t* text);

void RememberCatalogKeys(const char16_t* keys) {
    if (HoldsLineBreak(keys)) return;
    TextCopy(CatalogKeys, CATALOG_KEYS_CAPACITY, keys);
    if (SettingsPath[0] != 0) OsWriteProfileString(SettingsSection, u"key", keys, SettingsPath);
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
    OsWriteProfileString(SettingsSection, u"last", name, SettingsPath);
}
