// The local copy of what verified catalogs taught the updater.
#include "catalog/trust_store.h"

#include "app/ini_file.h"
#include "app/local_data.h"
#include "app/settings.h"
#include "app/text.h"
#include "catalog/signing.h"

const char16_t TrustStoreFileName[] = u"catalog-trust.ini";

namespace {

enum { STORE_PATH_CAPACITY = 300 };

bool StorePath(char16_t path[STORE_PATH_CAPACITY]) {
    if (!OsLocalDataFolder(path, STORE_PATH_CAPACITY)) return false;
    int length = TextLength(path);
    if (length + 1 + TextLength(TrustStoreFileName) >= STORE_PATH_CAPACITY) return false;
    TextAppend(path, STORE_PATH_CAPACITY, u"\\");
    TextAppend(path, STORE_PATH_CAPACITY, TrustStoreFileName);
    return true;
}

// One section per server: the SHA-256 of its address, which no address
// can make into a line of its own or a second section.
void SectionOfServer(char16_t section[SHA256_TEXT_LENGTH + 1]) {
    Sha256Text(ServerUrl, static_cast<size_t>(TextLength(ServerUrl)) * sizeof(char16_t), section);
}

}  // namespace

void ReadTrustRecord(TrustRecord* record) {
    record->serial = 0;
    record->keys[0] = 0;
    record->keysFrom[0] = 0;
    char16_t path[STORE_PATH_CAPACITY];
    if (!StorePath(path)) return;
    char16_t section[SHA256_TEXT_LENGTH + 1];
    SectionOfServer(section);
    char16_t serial[SERIAL_TEXT_CAPACITY];
    ReadIniString(section, u"serial", u"", serial, SERIAL_TEXT_CAPACITY, path);
    TrimSpaces(serial);
    record->serial = SerialValue(serial);
    ReadIniString(section, u"key", u"", record->keys, CATALOG_KEYS_CAPACITY, path);
    ReadIniString(section, u"keyfrom", u"", record->keysFrom, CATALOG_KEYS_CAPACITY, path);
    TrimSpaces(record->keys);
    TrimSpaces(record->keysFrom);
}

const char16_t* KeysToTrust(const TrustRecord& record) {
    bool current = record.keys[0] != 0 && TextEqual(record.keysFrom, CatalogKeys);
    return current ? record.keys : CatalogKeys;
}

uint64_t SerialToAccept(const TrustRecord& record) {
    return record.serial > AcceptedSerial ? record.serial : AcceptedSerial;
}

void RememberTrustedCatalog() {
    if (!CatalogSigned) return;
    TrustRecord record;
    ReadTrustRecord(&record);
    char16_t path[STORE_PATH_CAPACITY];
    bool stored = StorePath(path);
    char16_t section[SHA256_TEXT_LENGTH + 1];
    SectionOfServer(section);
    if (stored && CatalogSerial > record.serial) {
        char16_t serial[SERIAL_TEXT_CAPACITY];
        SerialText(CatalogSerial, serial);
        WriteIniString(section, u"serial", serial, path);
    }
    if (stored && CatalogKeysLearned[0] != 0) {
        // Learned from what updater.ini says now, even when the keys that
        // verified came from this copy.
        WriteIniString(section, u"keyfrom", CatalogKeys, path);
        WriteIniString(section, u"key", CatalogKeysLearned, path);
    }
    RememberAcceptedSerial(CatalogSerial);
    if (CatalogKeysLearned[0] != 0) RememberCatalogKeys(CatalogKeysLearned);
}
