// Reads an alias table generation the way the preprocessor does: the three
// files mapped read-only, the B+-tree searched with the alias comparison.
// Every page, slot, record and string reference is checked against the file
// sizes before use. Reads files only; keeps nothing beyond the mappings.
#include "aliastable/alias_reader.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "aliastable/alias_reader_internal.h"
#include "aliastable/mail_alias.h"
#include "platform/config/profile.h"
#include "platform/config/regular_file.h"
#include "platform/recbase/db_format.h"

bool ReaderFail(AliasTable* table, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(table->error, sizeof table->error, format, args);
    va_end(args);
    return false;
}

namespace {

bool MapFile(AliasTable* table, const char* directory, const char* generation, const char* extension,
             const unsigned char** bytes, std::size_t* size) {
    char path[kPathBufferSize];
    int length = std::snprintf(path, sizeof path, "%s/%s%s", directory, generation, extension);
    if (length < 0 || std::size_t(length) >= sizeof path)
        return ReaderFail(table, "path too long: %s/%s%s", directory, generation, extension);
    int fd = OpenRegularFile(path, O_RDONLY);
    if (fd < 0 && errno == EINVAL) return ReaderFail(table, "%s is not a regular file", path);
    if (fd < 0) return ReaderFail(table, "cannot open %s: %s", path, std::strerror(errno));
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) {
        close(fd);
        return ReaderFail(table, "%s is not a table file", path);
    }
    void* map = mmap(nullptr, std::size_t(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    int error = errno;
    close(fd);
    if (map == MAP_FAILED) return ReaderFail(table, "cannot map %s: %s", path, std::strerror(error));
    *bytes = static_cast<const unsigned char*>(map);
    *size = std::size_t(info.st_size);
    return true;
}

}  // namespace

uint32_t ReaderPageCount(const AliasTable* table) {
    return uint32_t((table->indexSize - kDbIndexHeaderSize) / kDbPageSize);
}

const unsigned char* ReaderPage(const AliasTable* table, uint32_t page) {
    return table->index + kDbIndexHeaderSize + std::size_t(page) * kDbPageSize;
}

const unsigned char* ReaderMeta(const AliasTable* table) { return ReaderPage(table, 0); }

// A node page, checked: a real node page number, its type, a plausible count.
const unsigned char* ReaderNode(AliasTable* table, uint32_t page, uint8_t type) {
    if (page == 0 || page >= ReaderPageCount(table)) {
        ReaderFail(table, "index refers to page %u outside the file", page);
        return nullptr;
    }
    const unsigned char* node = ReaderPage(table, page);
    if (node[kNodeType] != type || GetU16(node + kNodeCount) == 0 ||
        GetU16(node + kNodeCount) > kReaderMaxEntries) {
        ReaderFail(table, "index page %u is not a %s", page, type == kNodeLeaf ? "leaf" : "branch");
        return nullptr;
    }
    return node;
}

// Entry `i` of a checked node in place, its bytes bounded to the page.
bool ReaderEntryKey(AliasTable* table, const unsigned char* node, uint32_t page, std::size_t i,
                    uint32_t* value, const unsigned char** key, std::size_t* keyLength) {
    std::size_t count = GetU16(node + kNodeCount);
    std::size_t offset = GetU16(node + kNodeHeadSize + 2 * i);
    if (offset < kNodeHeadSize + 2 * count || offset + kEntryKey > kDbPageSize)
        return ReaderFail(table, "index page %u: entry %zu lies outside the page", page, i);
    std::size_t length = node[offset + kEntryKeyLength];
    if (length >= kAliasKeySize || offset + kEntryKey + length > kDbPageSize)
        return ReaderFail(table, "index page %u: entry %zu has a bad key length", page, i);
    *value = GetU32(node + offset + kEntryValue);
    *key = node + offset + kEntryKey;
    *keyLength = length;
    return true;
}

// ReaderEntryData `i` of a checked node: the entry with its key padded.
bool ReaderEntry(AliasTable* table, const unsigned char* node, uint32_t page, std::size_t i,
                 ReaderEntryData* entry) {
    const unsigned char* key = nullptr;
    std::size_t length = 0;
    entry->value = 0;
    if (!ReaderEntryKey(table, node, page, i, &entry->value, &key, &length)) return false;
    std::memset(entry->key, 0, sizeof entry->key);
    std::memcpy(entry->key, key, length);
    return true;
}

// Record `number`: its alias (NUL inside the field) and its string.
bool ReaderRecord(AliasTable* table, uint32_t number, const char** alias, const char** mail,
                  uint32_t* stringOffset, uint32_t* stringLength) {
    if (number >= table->records)
        return ReaderFail(table, "index names record %u of %lu", number, table->records);
    const unsigned char* record =
        table->db + kDbRelationHeaderSize + std::size_t(number) * kAliasRecordLength;
    const char* key = reinterpret_cast<const char*>(record + 4);
    if (std::memchr(key, 0, kAliasKeySize) == nullptr)
        return ReaderFail(table, "record %u: alias not terminated", number);
    uint32_t offset = GetU32(record);
    if (offset < kDbStringHeaderSize || offset > table->stringsSize ||
        table->stringsSize - offset < kDbStringPrefixSize + 1)
        return ReaderFail(table, "record %u: string offset %u outside the string file", number, offset);
    uint32_t length = GetU32(table->strings + offset);
    std::size_t room = table->stringsSize - offset - kDbStringPrefixSize;
    if (length >= room || table->strings[offset + kDbStringPrefixSize + length] != 0)
        return ReaderFail(table, "record %u: string at %u runs past the string file", number, offset);
    // The strings follow one another in record order: a record's own ends
    // where the next record's begins (the last one's at the file's end) and
    // holds no NUL. An offset damaged into another record's string would
    // give that record's mail to this alias.
    const std::size_t next =
        number + 1 < table->records ? GetU32(record + kAliasRecordLength) : table->stringsSize;
    if (offset + kDbStringPrefixSize + length + 1 != next ||
        std::memchr(table->strings + offset + kDbStringPrefixSize, 0, length) != nullptr)
        return ReaderFail(table, "record %u: string at %u is not the record's own", number, offset);
    *alias = key;
    *mail = reinterpret_cast<const char*>(table->strings + offset + kDbStringPrefixSize);
    if (stringOffset != nullptr) *stringOffset = offset;
    if (stringLength != nullptr) *stringLength = length;
    return true;
}

uint32_t ReaderHeight(const AliasTable* table) {
    return ReaderPageCount(table) == 0 ? 0 : GetU32(ReaderMeta(table) + kMetaHeight);
}
uint32_t ReaderRoot(const AliasTable* table) {
    return ReaderPageCount(table) == 0 ? 0 : GetU32(ReaderMeta(table) + kMetaRoot);
}

bool OpenAliasTable(const char* directory, const char* generation, AliasTable* table) {
    if (directory == nullptr || generation == nullptr) return ReaderFail(table, "no table named");
    if (!MapFile(table, directory, generation, ".db", &table->db, &table->dbSize) ||
        !MapFile(table, directory, generation, ".id0", &table->index, &table->indexSize) ||
        !MapFile(table, directory, generation, ".str", &table->strings, &table->stringsSize))
        return false;
    if (!ReadAliasKeyCase(&table->ignoreCase)) {
        table->settingUnread = true;
        return ReaderFail(
            table,
            "cannot read the configuration file xomta.ini in %s: the UseCaseSensitiveAliasLookup "
            "setting is unknown",
            ProfileDirectory());
    }
    return CheckAliasTableHeaders(table, generation);
}

bool CheckAliasTableHeaders(AliasTable* table, const char* generation) {
    if (table->dbSize < kDbRelationHeaderSize || table->indexSize < kDbIndexHeaderSize ||
        table->stringsSize < kDbStringHeaderSize)
        return ReaderFail(table, "%s: a file is shorter than its header", generation);
    uint32_t lengthAt = GetU32(table->db + kDbRecordLengthPointer);
    if (lengthAt > kDbRelationHeaderSize - 4 || GetU32(table->db + lengthAt) != kAliasRecordLength)
        return ReaderFail(table, "%s.db: not an alias relation (record length)", generation);
    if (GetU32(table->index) != kAliasKeySize)
        return ReaderFail(table, "%s.id0: not an alias index (key length)", generation);
    if ((table->indexSize - kDbIndexHeaderSize) % kDbPageSize != 0)
        return ReaderFail(table, "%s.id0: size %zu is not a whole number of pages", generation,
                          table->indexSize);
    if ((table->dbSize - kDbRelationHeaderSize) % kAliasRecordLength != 0)
        return ReaderFail(table, "%s.db: size %zu is not a whole number of records", generation,
                          table->dbSize);
    std::size_t stored = (table->dbSize - kDbRelationHeaderSize) / kAliasRecordLength;

    if (ReaderPageCount(table) == 0) {  // a new, empty generation
        table->records = 0;
        if (stored != 0 || table->stringsSize != kDbStringHeaderSize)
            return ReaderFail(table, "%s: records or strings without an index", generation);
        return true;
    }
    const unsigned char* meta = ReaderMeta(table);
    if (GetU32(meta + kMetaMagic) != kDbMetaMagic || GetU32(meta + kMetaVersion) != kDbFormatVersion ||
        GetU32(meta + kMetaPageSize) != kDbPageSize || GetU32(meta + kMetaKeyLength) != kAliasKeySize)
        return ReaderFail(table, "%s.id0: bad meta page", generation);
    if (GetU32(meta + kMetaPageCount) != ReaderPageCount(table))
        return ReaderFail(table, "%s.id0: meta page counts %u pages, the file holds %u", generation,
                          GetU32(meta + kMetaPageCount), ReaderPageCount(table));
    table->records = GetU32(meta + kMetaRecordCount);
    if (table->records != stored)
        return ReaderFail(table, "%s: index counts %lu records, %s.db holds %zu", generation, table->records,
                          generation, stored);
    if (GetU32(meta + kMetaStringsEnd) != table->stringsSize)
        return ReaderFail(table, "%s.str: size %zu, the index expects %u", generation, table->stringsSize,
                          GetU32(meta + kMetaStringsEnd));
    uint32_t height = GetU32(meta + kMetaHeight);
    if (height > 32 || (height == 0) != (table->records == 0) || (ReaderRoot(table) == 0) != (height == 0))
        return ReaderFail(table, "%s.id0: bad tree height %u", generation, height);
    return true;
}

void AdviseLookups(AliasTable* table) {
    const std::pair<const unsigned char*, std::size_t> maps[] = {
        {table->db, table->dbSize}, {table->index, table->indexSize}, {table->strings, table->stringsSize}};
    for (const auto& [bytes, size] : maps)
        if (bytes != nullptr) madvise(const_cast<unsigned char*>(bytes), size, MADV_RANDOM);
}

void CloseAliasTable(AliasTable* table) {
    if (table->db != nullptr) munmap(const_cast<unsigned char*>(table->db), table->dbSize);
    if (table->index != nullptr) munmap(const_cast<unsigned char*>(table->index), table->indexSize);
    if (table->strings != nullptr) munmap(const_cast<unsigned char*>(table->strings), table->stringsSize);
    table->db = table->index = table->strings = nullptr;
    table->dbSize = table->indexSize = table->stringsSize = 0;
    table->records = 0;
}

namespace {

// CompareAliasKeys of `key` (NUL-padded) and an entry's stored key, read in
// place: `length` bytes, the rest of the 128 counting as NULs.
int CompareWithStored(const char* key, const unsigned char* stored, std::size_t length, bool ignoreCase) {
    for (std::size_t i = 0; i < kAliasKeySize; ++i) {
        unsigned char x = static_cast<unsigned char>(key[i]);
        unsigned char y = i < length ? stored[i] : 0;
        if (ignoreCase) {
            if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + ('a' - 'A'));
            if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + ('a' - 'A'));
        }
        if (x != y) return x < y ? -1 : 1;
        if (x == 0) return 0;
    }
    return 0;
}

// Compares `key` with entry `i` of a checked node, in place; false on damage.
bool CompareWithEntry(AliasTable* table, const unsigned char* node, uint32_t page, std::size_t i,
                      const char* key, int* order, uint32_t* value) {
    const unsigned char* stored = nullptr;
    std::size_t length = 0;
    if (!ReaderEntryKey(table, node, page, i, value, &stored, &length)) return false;
    *order = CompareWithStored(key, stored, length, table->ignoreCase);
    return true;
}

}  // namespace

AliasLookupResult LookupAlias(AliasTable* table, const char* alias, const char** mail) {
    if (table->records == 0) return ALIAS_NOT_FOUND;
    char key[kAliasKeySize];
    strNcpy(key, alias, sizeof key);  // longer aliases are stored cut the same way
    bool ignoreCase = table->ignoreCase;
    uint32_t height = ReaderHeight(table);
    uint32_t page = ReaderRoot(table);
    int order = 0;
    uint32_t value = 0;
    for (uint32_t level = 0; level + 1 < height; ++level) {
        const unsigned char* node = ReaderNode(table, page, kNodeBranch);
        if (node == nullptr) return ALIAS_TABLE_DAMAGED;
        std::size_t low = 0, high = GetU16(node + kNodeCount);
        while (low < high) {
            std::size_t middle = (low + high) / 2;
            if (!CompareWithEntry(table, node, page, middle, key, &order, &value)) return ALIAS_TABLE_DAMAGED;
            if (order >= 0)
                low = middle + 1;
            else
                high = middle;
        }
        if (low == 0) {
            page = GetU32(node + kNodeLink);
        } else {
            if (!CompareWithEntry(table, node, page, low - 1, key, &order, &value))
                return ALIAS_TABLE_DAMAGED;
            page = value;
        }
    }
    const unsigned char* leaf = ReaderNode(table, page, kNodeLeaf);
    if (leaf == nullptr) return ALIAS_TABLE_DAMAGED;
    std::size_t low = 0, high = GetU16(leaf + kNodeCount);
    while (low < high) {
        std::size_t middle = (low + high) / 2;
        if (!CompareWithEntry(table, leaf, page, middle, key, &order, &value)) return ALIAS_TABLE_DAMAGED;
        if (order == 0) {
            const char* stored;
            if (!ReaderRecord(table, value, &stored, mail, nullptr, nullptr)) return ALIAS_TABLE_DAMAGED;
            if (CompareAliasKeys(stored, key, ignoreCase) != 0) {
                ReaderFail(table, "record %u does not hold the alias its index entry names", value);
                return ALIAS_TABLE_DAMAGED;
            }
            return ALIAS_FOUND;
        }
        if (order > 0)
            low = middle + 1;
        else
            high = middle;
    }
    return ALIAS_NOT_FOUND;
}

bool ForEachAlias(AliasTable* table, bool (*visit)(void* context, const char* alias, const char* mail),
                  void* context) {
    if (table->records == 0) return true;
    uint32_t page = GetU32(ReaderMeta(table) + kMetaFirstLeaf);
    unsigned long seen = 0;
    for (uint32_t steps = 0; page != 0; ++steps) {
        if (steps >= ReaderPageCount(table)) return ReaderFail(table, "the leaf chain loops");
        const unsigned char* leaf = ReaderNode(table, page, kNodeLeaf);
        if (leaf == nullptr) return false;
        std::size_t count = GetU16(leaf + kNodeCount);
        for (std::size_t i = 0; i < count; ++i) {
            ReaderEntryData entry;
            const char* alias = nullptr;
            const char* mail = nullptr;
            if (!ReaderEntry(table, leaf, page, i, &entry) ||
                !ReaderRecord(table, entry.value, &alias, &mail, nullptr, nullptr))
                return false;
            if (++seen > table->records)
                return ReaderFail(table, "the leaves hold more entries than records");
            if (!visit(context, alias, mail)) return true;
        }
        page = GetU32(leaf + kNodeLink);
    }
    if (seen != table->records)
        return ReaderFail(table, "the leaves hold %lu entries for %lu records", seen, table->records);
    return true;
}
