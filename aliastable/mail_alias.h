// The mail alias table's record (alias -> primary address) and its relation
// class on the database component, with the alias key comparison. Touches the
// table's files only through recordRel; reads "PreProcessor" /
// "UseCaseSensitiveAliasLookup" of xomta.ini when the relation is opened and
// compares every key of its life by that setting.
#ifndef LDAPCGI_ALIASTABLE_MAIL_ALIAS_H
#define LDAPCGI_ALIASTABLE_MAIL_ALIAS_H

#include <cstddef>
#include <cstdint>

#include "base/limits.h"
#include "platform/recbase/recbase.h"

constexpr std::size_t kAliasKeySize = 128;       // szAlias, terminator included
constexpr std::size_t kAliasRecordLength = 132;  // first word + szAlias
static_assert(kAliasKeySize == kMaxAliasKeyLength + 1, "the alias pages refuse what the key cannot hold");

// Fixed part of one alias record.
struct dbMailAliasStr {
    uint32_t recordWord;          // 0 when cleared; the component's otherwise
    char szAlias[kAliasKeySize];  // the key: at most 127 characters
};
static_assert(sizeof(dbMailAliasStr) == kAliasRecordLength, "alias record layout");

// String part of one alias record.
class _Strings_dbMailAliasStr {
public:
    _Strings_dbMailAliasStr();
    virtual ~_Strings_dbMailAliasStr();

    dbData szMail;  // primary address of the alias's owner
};

// The alias relation: one current record, stored by add().
class dbMailAlias : public recordRel, public dbMailAliasStr, public _Strings_dbMailAliasStr {
public:
    dbMailAlias(recordBase* database, const char* path, const char* name);

    void* recordAddress() override;
    void getData() const override;
    void putData() const override;
    void startData() const override;
    void endData() const override;
    long recordLength() override;
    char* getKey(long index) override;
    long zeroQuery() override;
    long minusOneQuery() override;
    void indexHook(long index) override;
    char* operator[](long index) const override;
    long keyLength(long index) override;
    void setKey(const char* bytes, long index) override;
    int compareKey(const char* bytes, long index) override;
    char keyFlag(long index) override;
    long keyCount() override;
    REC_buffer* recordBuffers() override;
    bool isLessThan(const char* bytes, long index) const override;
    bool isEqual(const char* bytes, long index) const override;
    ~dbMailAlias() override;
    void* recordAddressB() override;
    void* recordAddressC() override;

    const char* relationName() const { return name; }
    bool keysIgnoreCase() const { return ignoreCase; }

private:
    char name[kPathBufferSize];
    REC_buffer buffers[1];
    bool ignoreCase;  // the comparison setting, read once at opening
};

// True when the setting asks for alias keys compared without regard to case
// ("YES" in any letter case); reads xomta.ini on every call.
bool AliasKeysIgnoreCase();
// The setting as AliasKeysIgnoreCase reads it, into *ignoreCase; false when
// xomta.ini is there but cannot be read, so that the setting is unknown: its
// default would be a guess, and lookups in a table built under the other
// comparison miss aliases.
bool ReadAliasKeyCase(bool* ignoreCase);
// The alias key comparison over at most 128 characters: exact byte order, or
// with ASCII letters folded. Negative when `a` sorts before `b`.
int CompareAliasKeys(const char* a, const char* b, bool ignoreCase);

#endif
