// Database component: a small record store. A relation is three files in one
// folder: NAME.db (fixed-length records), NAME.str (strings of the records)
// and NAME.id0 (a B-tree on key 0, ordered by the relation's own compareKey).
// platform/ALIAS_TABLE_FORMAT.md describes the bytes. Only adds are offered:
// records are never changed or removed. One relation object writes a relation
// at a time (an exclusive lock on NAME.db, held while it is open).
#ifndef LDAPCGI_PLATFORM_RECBASE_RECBASE_H
#define LDAPCGI_PLATFORM_RECBASE_RECBASE_H

#include <cstddef>

// Result of a database operation: 0 success, otherwise one of these.
typedef int dbError;
constexpr dbError DB_OK = 0;
constexpr dbError DB_NOT_OPEN = 1;     // the relation is closed or failed earlier
constexpr dbError DB_OPEN_FAILED = 2;  // a file could not be opened
constexpr dbError DB_BAD_FORMAT = 3;   // a file does not hold this format
constexpr dbError DB_READ_ERROR = 4;
constexpr dbError DB_WRITE_ERROR = 5;  // write or flush failed (full disk, I/O error)
constexpr dbError DB_SYNC_ERROR = 6;   // fsync failed
constexpr dbError DB_NO_MEMORY = 7;
constexpr dbError DB_TOO_LARGE = 8;      // a file would pass its 32-bit offsets
constexpr dbError DB_DUPLICATE_KEY = 9;  // the key is already present; nothing stored
constexpr dbError DB_BAD_RECORD = 10;    // the record object does not fit the files
constexpr dbError DB_CLOSE_ERROR = 11;   // close() of a file failed
constexpr dbError DB_FILE_CHANGED = 12;  // another program changed the files under us
constexpr dbError DB_LOCKED = 13;        // another relation object is writing the files

// A string value: a NUL-terminated text of any length, readable through
// text(). Allocation failures leave the old text and clear ok().
class dbData {
public:
    dbData();
    explicit dbData(const char* text);
    dbData(const dbData& other);
    dbData& operator=(const dbData& other);
    ~dbData();

    bool createCharPtr(const char* text);  // replaces the text (null: empty)
    bool cat(const char* text);            // appends
    bool cpy(const char* text);            // replaces the text (null: empty)
    bool cpy(const dbData& other);
    dbData operator+(const char* text) const;

    const char* text() const;  // never null
    std::size_t length() const;
    bool ok() const;  // false once an allocation failed

private:
    bool assign(const char* text, std::size_t length);
    char* buffer;
    std::size_t used;
    std::size_t capacity;
    bool good;
};

// The text of a result code.
dbData dbErrStr(dbError code);

// Copies `source` into a field of `size` bytes: never writes more than `size`
// bytes, always terminates (when size > 0), fills the rest of the field with
// NULs. Returns `destination`.
char* strNcpy(char* destination, const char* source, std::size_t size);

// One entry of a relation's record buffer table: the fixed part of the
// current record and its string part.
struct REC_buffer {
    void* record;
    void* strings;
};

// The record interface: how the component reads, indexes and compares the
// current record of a relation object. Index -1 stands for "no key".
class REC_object {
public:
    virtual void* recordAddress() = 0;
    virtual void getData() const = 0;
    virtual void putData() const = 0;
    virtual void startData() const = 0;
    virtual void endData() const = 0;
    virtual long recordLength() = 0;
    // New array of keyLength(index) bytes holding the current key; delete[] it.
    virtual char* getKey(long index) = 0;
    virtual long zeroQuery() = 0;
    virtual long minusOneQuery() = 0;
    virtual void indexHook(long index) = 0;
    virtual char* operator[](long index) const = 0;
    virtual long keyLength(long index) = 0;
    virtual void setKey(const char* bytes, long index) = 0;
    // <0 when the current record's key sorts before `bytes`, 0 equal, >0 after.
    virtual int compareKey(const char* bytes, long index) = 0;
    virtual char keyFlag(long index) = 0;
    virtual long keyCount() = 0;
    virtual REC_buffer* recordBuffers() = 0;
    virtual bool isLessThan(const char* bytes, long index) const = 0;
    virtual bool isEqual(const char* bytes, long index) const = 0;
    virtual ~REC_object();
    virtual void* recordAddressB() = 0;
    virtual void* recordAddressC() = 0;
};

// A database handle: holds what its relations share (the page cache size).
class recordBase {
public:
    recordBase();
    ~recordBase();
    recordBase(const recordBase&) = delete;
    recordBase& operator=(const recordBase&) = delete;

    std::size_t cachePages;  // pages each relation may keep in memory
};

struct RelationFiles;  // the open files and page cache of a relation

// A relation: opens PATH/NAME.db, .str and .id0 on construction (they must
// exist and start with their headers). `status` is 0 when the relation is
// open and usable, else the dbError that stopped it; after a failed write it
// holds that error and every later add() returns it.
//
// Durability: add() buffers. Before anyone is told the relation is complete,
// call sync() (or close()) and check it returns DB_OK: only then have every
// record, string and index page reached the disk (files and folder fsynced).
// The destructor closes too but cannot report.
class recordRel : public REC_object {
public:
    recordRel(recordBase* database, const char* path, const char* name);
    ~recordRel() override;
    recordRel(const recordRel&) = delete;
    recordRel& operator=(const recordRel&) = delete;

    // Stores the current record (record part, key 0, string field) as a new
    // record. DB_DUPLICATE_KEY when an equal key is present: nothing stored.
    dbError add();
    unsigned long recordCount() const;
    // Writes everything buffered and fsyncs the three files and their folder.
    dbError sync();
    // sync(), then closes the files; the first error met is returned.
    dbError close();

    dbError status;

protected:
    // Names the string field whose text add() stores in NAME.str; the stored
    // record's first 32-bit word then holds the string's offset there.
    void setStringField(const dbData* field);

private:
    RelationFiles* files;
    const dbData* stringField;
};

#endif
