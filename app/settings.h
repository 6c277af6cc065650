// Settings and paths: where updater.ini lies, the scripts folder, the server
// address, and the one setting the program writes back, the script chosen
// last. Resolved once at start-up, before any window or worker exists, and
// read-only afterwards (except `last`).
#ifndef UPDATER_APP_SETTINGS_H
#define UPDATER_APP_SETTINGS_H

#include <stdint.h>

enum {
    SETTINGS_PATH_CAPACITY = 260,
    SCRIPTS_FOLDER_CAPACITY = 260,
    SERVER_URL_CAPACITY = 1024,
    LAST_SCRIPT_CAPACITY = 64,
    CATALOG_KEYS_CAPACITY = 400,
};

// Full path of updater.ini: the executable's folder, a backslash, updater.ini.
// Empty when that path would not fit; the settings are then not read at all
// and `last` is never written, so a cut path can never name another file.
extern char16_t SettingsPath[SETTINGS_PATH_CAPACITY];

// Folder that holds the host's scripts (`folder`, or the executable's folder),
// a relative `folder` taken from the executable's folder. Empty when there is
// none: the executable's own path or the anchored folder did not fit, and a
// cut one would name some other folder. Nothing is installed then.
extern char16_t ScriptsFolder[SCRIPTS_FOLDER_CAPACITY];

// Base address of the script server (`url`), a relative folder path taken
// from the executable's folder; empty means there is no server.
extern char16_t ServerUrl[SERVER_URL_CAPACITY];

// Used when updater.ini has no `url` key at all.
extern const char16_t DefaultServerUrl[];

// True when text starts with http:// or https:// (in any case): a web
// address. Anything else, the empty text included, is a folder path.
bool IsWebAddress(const char16_t* text);

// Public keys that the catalog must be signed with (`key`, as catalog-tool
// keygen prints them); empty means catalogs are not checked. A blank or
// absent `key` gives the key built into the program (DefaultCatalogKeys,
// empty unless the build set one): updater.ini can replace that key, for a
// move to a new one, but not turn the check off.
extern char16_t CatalogKeys[CATALOG_KEYS_CAPACITY];
extern const char16_t DefaultCatalogKeys[];

// The highest serial of a signed catalog accepted so far (`serial`), 0 when
// none; read at start-up.
extern uint64_t AcceptedSerial;

// Stores serial as `serial` when it is higher than AcceptedSerial.
void RememberAcceptedSerial(uint64_t serial);

// A serial as it is stored: 1 to 18 decimal digits; any other text reads
// as 0.
enum { SERIAL_TEXT_CAPACITY = 24 };
uint64_t SerialValue(const char16_t* text);
void SerialText(uint64_t serial, char16_t text[SERIAL_TEXT_CAPACITY]);

// Sets CatalogKeys to keys and stores them as `key` (a catalog moved the
// updater to a new key). Keys with a line break are never written.
void RememberCatalogKeys(const char16_t* keys);

// Resolves SettingsPath, ScriptsFolder and ServerUrl from the running
// executable's location. Cannot fail: missing values take their defaults,
// and an executable path too long to hold whole reads no settings file.
void LoadSettings();

// The same, for an executable at the given path (backslash separated; the
// empty text when it is not known). LoadSettings calls it with the real
// path; tests call it with their own.
void ResolveSettings(const char16_t* executablePath);

// Reads `last` into buffer (LAST_SCRIPT_CAPACITY units); absent gives empty.
void ReadLastScript(char16_t* buffer);

// Stores name as `last`, keeping every other line of the file. A failed
// write is ignored: the next run selects by the old value. A name with a
// carriage return or a line feed is never written (the old value stays).
void WriteLastScript(const char16_t* name);

#endif  // UPDATER_APP_SETTINGS_H
