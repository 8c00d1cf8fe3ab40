// The alias relation's answers to the database component: record address and
// length, key 0 (szAlias, 128 bytes) and its comparison, which follows the
// "UseCaseSensitiveAliasLookup" setting as it stood when the relation was
// opened: an index is ordered by one comparison for its whole life, so a
// change of the file during a build must not reorder half of it.
#include "aliastable/mail_alias.h"

#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "platform/config/profile.h"

namespace {

constexpr char kSettingFile[] = "xomta.ini";

unsigned char FoldAscii(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

}  // namespace

bool AliasKeysIgnoreCase() {
    char setting[kAliasSettingSize];
    std::memset(setting, 0, sizeof setting);
    GetPrivateProfileString("PreProcessor", "UseCaseSensitiveAliasLookup", "NO", setting, kAliasSettingSize,
                            kSettingFile);
    setting[kAliasSettingSize - 1] = '\0';
    return CompareAliasKeys(setting, "YES", true) == 0;
}

bool ReadAliasKeyCase(bool* ignoreCase) {
    *ignoreCase = AliasKeysIgnoreCase();
    // The section read only tells whether the file could be read at all.
    std::vector<std::pair<std::string, std::string>> section;
    return GetPrivateProfileSection("PreProcessor", &section, kSettingFile) ||
           !ProfileFilePresent(kSettingFile);
}

int CompareAliasKeys(const char* a, const char* b, bool ignoreCase) {
    if (a == nullptr) a = "";
    if (b == nullptr) b = "";
    if (!ignoreCase) {
        int order = std::strncmp(a, b, kAliasKeySize);  // compares as unsigned bytes
        return order < 0 ? -1 : order > 0 ? 1 : 0;
    }
    for (std::size_t i = 0; i < kAliasKeySize; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (ignoreCase) {
            x = FoldAscii(x);
            y = FoldAscii(y);
        }
        if (x != y) return x < y ? -1 : 1;
        if (x == 0) return 0;
    }
    return 0;
}

_Strings_dbMailAliasStr::_Strings_dbMailAliasStr() = default;

_Strings_dbMailAliasStr::~_Strings_dbMailAliasStr() = default;

dbMailAlias::dbMailAlias(recordBase* database, const char* path, const char* relation)
    : recordRel(database, path, relation), ignoreCase(AliasKeysIgnoreCase()) {
    strNcpy(name, relation, sizeof name);
    // Clear the current record.
    std::memset(static_cast<dbMailAliasStr*>(this), 0, kAliasRecordLength);
    indexHook(-1);
    recordWord = 0;
    buffers[0].record = static_cast<dbMailAliasStr*>(this);
    buffers[0].strings = static_cast<_Strings_dbMailAliasStr*>(this);
    setStringField(&szMail);
}

dbMailAlias::~dbMailAlias() = default;  // szMail, then the recordRel part (closing the files)

void* dbMailAlias::recordAddress() { return static_cast<dbMailAliasStr*>(this); }

void dbMailAlias::getData() const {}

void dbMailAlias::putData() const {}

void dbMailAlias::startData() const {}

void dbMailAlias::endData() const {}

long dbMailAlias::recordLength() { return long(kAliasRecordLength); }

char* dbMailAlias::getKey(long index) {
    long length = keyLength(index);
    char* key = new (std::nothrow) char[length > 0 ? length : 1];
    if (key == nullptr) return nullptr;
    if (index == 0)
        strNcpy(key, szAlias, kAliasKeySize);
    else
        key[0] = '\0';
    return key;
}

long dbMailAlias::zeroQuery() { return 0; }

long dbMailAlias::minusOneQuery() { return -1; }

void dbMailAlias::indexHook(long) {}

char* dbMailAlias::operator[](long index) const { return const_cast<dbMailAlias*>(this)->getKey(index); }

long dbMailAlias::keyLength(long index) { return index == 0 ? long(kAliasKeySize) : 0; }

void dbMailAlias::setKey(const char* bytes, long index) {
    if (index == 0) strNcpy(szAlias, bytes, kAliasKeySize);
}

int dbMailAlias::compareKey(const char* bytes, long index) {
    if (index != 0) return 0;
    return CompareAliasKeys(szAlias, bytes, ignoreCase);
}

char dbMailAlias::keyFlag(long) { return 0; }

long dbMailAlias::keyCount() { return 1; }

REC_buffer* dbMailAlias::recordBuffers() { return buffers; }

bool dbMailAlias::isLessThan(const char* bytes, long index) const {
    return const_cast<dbMailAlias*>(this)->compareKey(bytes, index) < 0;
}

bool dbMailAlias::isEqual(const char* bytes, long index) const {
    return const_cast<dbMailAlias*>(this)->compareKey(bytes, index) == 0;
}

void* dbMailAlias::recordAddressB() { return recordAddress(); }

void* dbMailAlias::recordAddressC() { return recordAddress(); }
