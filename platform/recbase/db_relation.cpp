// recordRel: opens a relation's three files, adds records (string to
// NAME.str, record to NAME.db, key to the NAME.id0 B+-tree) and forces them
// to disk on sync/close. Any write failure is kept in `status` and returned
// by every later call, so a failed relation can never look complete.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/recbase/db_btree.h"
#include "platform/recbase/db_file.h"
#include "platform/recbase/db_format.h"
#include "platform/recbase/recbase.h"
#include "platform/recbase/recbase_limits.h"

struct RelationFiles {
    DbFile db, str, idx;
    DbIndex index;
    char* folder = nullptr;
    uint32_t recordLength = 0;
    uint32_t records = 0;
    uint32_t stringsEnd = 0;
    unsigned char* record = nullptr;  // the record being stored
    unsigned char* key = nullptr;     // a stored key padded to the key length
    std::size_t keyUsed = 0;          // bytes of `key` past which all are NUL
    bool changed = false;             // meta page to rewrite on sync
    bool closed = false;
    dbError closeResult = DB_OK;
};

namespace {

char* JoinPath(const char* folder, const char* name, const char* extension) {
    std::size_t size = std::strlen(folder) + std::strlen(name) + std::strlen(extension) + 2;
    char* path = static_cast<char*>(std::malloc(size));
    if (path != nullptr) std::snprintf(path, size, "%s/%s%s", folder, name, extension);
    return path;
}

dbError OpenOne(DbFile* file, const char* folder, const char* name, const char* extension) {
    char* path = JoinPath(folder, name, extension);
    if (path == nullptr) return DB_NO_MEMORY;
    dbError result = DbFileOpen(file, path);
    std::free(path);
    return result;
}

// Checks the three files against each other and loads the index's state.
dbError OpenFiles(RelationFiles* files, const char* folder, const char* name, std::size_t cachePages) {
    dbError result = OpenOne(&files->db, folder, name, ".db");
    if (result == DB_OK) result = DbFileLock(&files->db);
    if (result == DB_OK) result = OpenOne(&files->str, folder, name, ".str");
    if (result == DB_OK) result = OpenOne(&files->idx, folder, name, ".id0");
    if (result != DB_OK) return result;

    if (files->db.end < kDbRelationHeaderSize || files->idx.end < kDbIndexHeaderSize ||
        files->str.end < kDbStringHeaderSize || files->str.end > UINT32_MAX)
        return DB_BAD_FORMAT;
    unsigned char word[4];
    result = DbFileReadAt(&files->db, kDbRecordLengthPointer, word, 4);
    uint32_t lengthAt = GetU32(word);
    if (result != DB_OK) return result;
    if (lengthAt > kDbRelationHeaderSize - 4) return DB_BAD_FORMAT;
    result = DbFileReadAt(&files->db, lengthAt, word, 4);
    if (result != DB_OK) return result;
    files->recordLength = GetU32(word);
    result = DbFileReadAt(&files->idx, 0, word, 4);
    if (result != DB_OK) return result;
    files->index.keyLength = GetU32(word);
    if (files->recordLength < 4 || files->recordLength > kDbPageSize || files->index.keyLength == 0 ||
        files->index.keyLength > kDbMaxKeyLength)
        return DB_BAD_FORMAT;

    uint64_t recordBytes = files->db.end - kDbRelationHeaderSize;
    uint64_t pageBytes = files->idx.end - kDbIndexHeaderSize;
    if (recordBytes % files->recordLength != 0 || pageBytes % kDbPageSize != 0 ||
        recordBytes / files->recordLength > UINT32_MAX || pageBytes / kDbPageSize > UINT32_MAX)
        return DB_BAD_FORMAT;
    uint32_t records = uint32_t(recordBytes / files->recordLength);
    uint32_t pages = uint32_t(pageBytes / kDbPageSize);

    files->record = static_cast<unsigned char*>(std::malloc(files->recordLength));
    files->key = static_cast<unsigned char*>(std::calloc(files->index.keyLength, 1));
    if (files->record == nullptr || files->key == nullptr) return DB_NO_MEMORY;
    result = CacheInit(&files->index.cache, &files->idx, cachePages, pages);
    if (result != DB_OK) return result;

    if (pages == 0) {  // a new relation: the bare headers
        if (records != 0 || files->str.end != kDbStringHeaderSize) return DB_BAD_FORMAT;
        files->stringsEnd = kDbStringHeaderSize;
        return DB_OK;
    }
    uint32_t metaRecords, stringsEnd;
    result = IndexReadMeta(&files->index, &metaRecords, &stringsEnd);
    if (result != DB_OK) return result;
    if (metaRecords != records || stringsEnd != files->str.end) return DB_BAD_FORMAT;
    files->records = records;
    files->stringsEnd = stringsEnd;
    return DB_OK;
}

struct CompareContext {
    recordRel* relation;
    unsigned char* padded;
    std::size_t keyLength;
    std::size_t* used;  // bytes of `padded` past which all are NUL
};

// Stored keys lack their trailing NULs; the relation compares whole keys.
// Only the bytes that the previous key left beyond this one are cleared.
int CompareStoredKey(void* context, const unsigned char* key, std::size_t length) {
    CompareContext* c = static_cast<CompareContext*>(context);
    if (length > c->keyLength) length = c->keyLength;  // a damaged page: bounded all the same
    std::memcpy(c->padded, key, length);
    if (*c->used > length) std::memset(c->padded + length, 0, *c->used - length);
    *c->used = length;
    return c->relation->compareKey(reinterpret_cast<const char*>(c->padded), 0);
}

}  // namespace

recordRel::recordRel(recordBase* database, const char* path, const char* name)
    : status(DB_OK), files(nullptr), stringField(nullptr) {
    files = new (std::nothrow) RelationFiles;
    if (files == nullptr) {
        status = DB_NO_MEMORY;
        return;
    }
    if (name == nullptr || name[0] == '\0') {
        status = DB_OPEN_FAILED;
        return;
    }
    const char* folder = path != nullptr && path[0] != '\0' ? path : ".";
    files->folder = strdup(folder);
    if (files->folder == nullptr) {
        status = DB_NO_MEMORY;
        return;
    }
    std::size_t cachePages = database != nullptr ? database->cachePages : kDbCachePages;
    status = OpenFiles(files, folder, name, cachePages);
}

recordRel::~recordRel() {
    close();
    if (files != nullptr) {
        CacheFree(&files->index.cache);
        std::free(files->folder);
        std::free(files->record);
        std::free(files->key);
        delete files;
    }
}

void recordRel::setStringField(const dbData* field) { stringField = field; }

unsigned long recordRel::recordCount() const { return files != nullptr ? files->records : 0; }

dbError recordRel::add() {
    if (status != DB_OK) return status;
    REC_buffer* buffers = recordBuffers();
    if (buffers == nullptr || buffers[0].record == nullptr || recordLength() != long(files->recordLength) ||
        keyCount() < 1 || keyLength(0) != long(files->index.keyLength))
        return DB_BAD_RECORD;
    if (stringField != nullptr && !stringField->ok()) return DB_NO_MEMORY;  // text incomplete
    const char* text = stringField != nullptr ? stringField->text() : "";
    std::size_t textLength = stringField != nullptr ? stringField->length() : 0;
    if (files->records == UINT32_MAX ||
        uint64_t(files->stringsEnd) + kDbStringPrefixSize + textLength + 1 > UINT32_MAX)
        return DB_TOO_LARGE;

    char* key = getKey(0);
    if (key == nullptr) return DB_NO_MEMORY;
    std::size_t keyLength = TrimmedKeyLength(reinterpret_cast<unsigned char*>(key), files->index.keyLength);
    CompareContext context{this, files->key, files->index.keyLength, &files->keyUsed};
    dbError result = IndexInsert(&files->index, reinterpret_cast<unsigned char*>(key), keyLength,
                                 files->records, CompareStoredKey, &context);
    delete[] key;
    if (result == DB_DUPLICATE_KEY || result == DB_BAD_RECORD) return result;

    // From here on a failure leaves the files inconsistent: it sticks.
    uint32_t stringOffset = files->stringsEnd;
    unsigned char prefix[kDbStringPrefixSize];
    PutU32(prefix, uint32_t(textLength));
    if (result == DB_OK) result = DbFileAppend(&files->str, prefix, sizeof prefix);
    if (result == DB_OK) result = DbFileAppend(&files->str, text, textLength + 1);
    std::memcpy(files->record, buffers[0].record, files->recordLength);
    PutU32(files->record, stringField != nullptr ? stringOffset : 0);
    if (result == DB_OK) result = DbFileAppend(&files->db, files->record, files->recordLength);
    if (result != DB_OK) {
        status = result;
        return result;
    }
    files->stringsEnd = uint32_t(stringOffset + kDbStringPrefixSize + textLength + 1);
    files->records++;
    files->changed = true;
    return DB_OK;
}

dbError recordRel::sync() {
    if (files == nullptr) return status;
    if (files->closed) return files->closeResult != DB_OK ? files->closeResult : DB_NOT_OPEN;
    if (status != DB_OK) return status;
    // Everything is written first and on its way to the disk for all three
    // files at once; the fsyncs then wait for what is left.
    dbError result = DbFileFlush(&files->str);
    if (result == DB_OK) result = DbFileFlush(&files->db);
    if (result == DB_OK && files->changed)
        result = IndexWriteMeta(&files->index, files->records, files->stringsEnd);
    if (result == DB_OK) result = CacheFlush(&files->index.cache);
    if (result == DB_OK) {
        DbFileStartWriteback(&files->str);
        DbFileStartWriteback(&files->db);
        DbFileStartWriteback(&files->idx);
    }
    if (result == DB_OK) result = DbFileSync(&files->str);
    if (result == DB_OK) result = DbFileSync(&files->db);
    if (result == DB_OK) result = DbFileSync(&files->idx);
    if (result == DB_OK) result = DbSyncFolder(files->folder);
    if (result != DB_OK) {
        status = result;
        return result;
    }
    files->changed = false;
    return DB_OK;
}

dbError recordRel::close() {
    if (files == nullptr) return status;
    if (files->closed) return files->closeResult;
    dbError result = status == DB_OK ? sync() : status;
    dbError closing = DbFileClose(&files->db);
    dbError other = DbFileClose(&files->str);
    if (closing == DB_OK) closing = other;
    other = DbFileClose(&files->idx);
    if (closing == DB_OK) closing = other;
    if (result == DB_OK) result = closing;
    files->closed = true;
    files->closeResult = result;
    if (status == DB_OK) status = result != DB_OK ? result : DB_NOT_OPEN;
    return result;
}
