// Small parts of the database component: the dbData string, result texts,
// strNcpy, and the database handle. Memory only; no files.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/recbase/recbase.h"
#include "platform/recbase/recbase_limits.h"

dbData::dbData() : buffer(nullptr), used(0), capacity(0), good(true) {}

dbData::dbData(const char* text) : dbData() { cpy(text); }

dbData::dbData(const dbData& other) : dbData() { cpy(other); }

dbData& dbData::operator=(const dbData& other) {
    if (this != &other) cpy(other);
    return *this;
}

dbData::~dbData() { std::free(buffer); }

// Replaces the text with `length` bytes of `text` (which may lie inside the
// buffer itself). Keeps the old text when memory runs out.
bool dbData::assign(const char* text, std::size_t length) {
    if (capacity == 0 || length > capacity - 1) {
        if (length == SIZE_MAX) {
            good = false;
            return false;
        }
        char* grown = static_cast<char*>(std::malloc(length + 1));
        if (grown == nullptr) {
            good = false;
            return false;
        }
        std::memcpy(grown, text, length);
        std::free(buffer);
        buffer = grown;
        capacity = length + 1;
    } else {
        std::memmove(buffer, text, length);
    }
    buffer[length] = '\0';
    used = length;
    return true;
}

bool dbData::createCharPtr(const char* text) { return cpy(text); }

bool dbData::cpy(const char* text) {
    if (text == nullptr) text = "";
    return assign(text, std::strlen(text));
}

bool dbData::cpy(const dbData& other) {
    if (!other.good) good = false;
    return assign(other.text(), other.used);
}

bool dbData::cat(const char* text) {
    if (text == nullptr) return true;
    std::size_t extra = std::strlen(text);
    if (used + extra + 1 > capacity) {
        std::size_t wanted = capacity * 2;
        if (wanted < used + extra + 1) wanted = used + extra + 1;
        char* grown = static_cast<char*>(std::realloc(buffer, wanted));
        if (grown == nullptr) {
            good = false;
            return false;
        }
        // `text` may have pointed into the old buffer.
        if (text >= buffer && text < buffer + used && buffer != nullptr) text = grown + (text - buffer);
        buffer = grown;
        capacity = wanted;
    }
    std::memmove(buffer + used, text, extra);
    used += extra;
    buffer[used] = '\0';
    return true;
}

dbData dbData::operator+(const char* text) const {
    dbData sum(*this);
    sum.cat(text);
    return sum;
}

const char* dbData::text() const { return buffer != nullptr ? buffer : ""; }

std::size_t dbData::length() const { return used; }

bool dbData::ok() const { return good; }

dbData dbErrStr(dbError code) {
    switch (code) {
        case DB_OK:
            return dbData("no error");
        case DB_NOT_OPEN:
            return dbData("relation not open");
        case DB_OPEN_FAILED:
            return dbData("cannot open the relation's files");
        case DB_BAD_FORMAT:
            return dbData("the relation's files are damaged or of another format");
        case DB_READ_ERROR:
            return dbData("read error");
        case DB_WRITE_ERROR:
            return dbData("write error");
        case DB_SYNC_ERROR:
            return dbData("error forcing the relation to disk");
        case DB_NO_MEMORY:
            return dbData("out of memory");
        case DB_TOO_LARGE:
            return dbData("relation too large");
        case DB_DUPLICATE_KEY:
            return dbData("duplicate key");
        case DB_BAD_RECORD:
            return dbData("record does not fit the relation");
        case DB_CLOSE_ERROR:
            return dbData("error closing the relation's files");
        case DB_FILE_CHANGED:
            return dbData("the relation's files were changed by another program");
        case DB_LOCKED:
            return dbData("the relation is being written by another program");
        default:
            break;
    }
    char text[64];
    std::snprintf(text, sizeof text, "unknown database result %d", code);
    return dbData(text);
}

char* strNcpy(char* destination, const char* source, std::size_t size) {
    if (size == 0) return destination;
    std::size_t length = source != nullptr ? strnlen(source, size - 1) : 0;
    if (length > 0) std::memmove(destination, source, length);
    std::memset(destination + length, 0, size - length);
    return destination;
}

REC_object::~REC_object() = default;

recordBase::recordBase() : cachePages(kDbCachePages) {}

recordBase::~recordBase() = default;
