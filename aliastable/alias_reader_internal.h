// Checked access to the pages, entries and records of an open alias table,
// shared by the lookup and the checker. Each call that can meet damage
// returns false / null and leaves a message in table->error.
#ifndef LDAPCGI_ALIASTABLE_ALIAS_READER_INTERNAL_H
#define LDAPCGI_ALIASTABLE_ALIAS_READER_INTERNAL_H

#include <cstddef>
#include <cstdint>

#include "aliastable/alias_reader.h"
#include "aliastable/mail_alias.h"
#include "platform/recbase/db_format.h"

constexpr std::size_t kReaderMaxEntries = (kDbPageSize - kNodeHeadSize) / (2 + kEntryKey);

struct ReaderEntryData {
    uint32_t value;
    char key[kAliasKeySize];  // padded with NULs
};

__attribute__((format(printf, 2, 3))) bool ReaderFail(AliasTable* table, const char* format, ...);
uint32_t ReaderPageCount(const AliasTable* table);
const unsigned char* ReaderPage(const AliasTable* table, uint32_t page);
const unsigned char* ReaderMeta(const AliasTable* table);
uint32_t ReaderHeight(const AliasTable* table);
uint32_t ReaderRoot(const AliasTable* table);
// Node page `page` of the given type (kNodeLeaf / kNodeBranch), or null.
const unsigned char* ReaderNode(AliasTable* table, uint32_t page, uint8_t type);
bool ReaderEntryKey(AliasTable* table, const unsigned char* node, uint32_t page, std::size_t i,
                    uint32_t* value, const unsigned char** key, std::size_t* keyLength);
bool ReaderEntry(AliasTable* table, const unsigned char* node, uint32_t page, std::size_t i,
                 ReaderEntryData* entry);
// Record `number`'s alias and primary address; the string's place in NAME.str.
bool ReaderRecord(AliasTable* table, uint32_t number, const char** alias, const char** mail,
                  uint32_t* stringOffset, uint32_t* stringLength);

#endif
