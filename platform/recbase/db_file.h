// One open file of a relation: exact reads and writes at offsets, and an
// append buffer. Every system call's result is checked and turned into a
// dbError; nothing here retries beyond short writes and EINTR.
#ifndef LDAPCGI_PLATFORM_RECBASE_DB_FILE_H
#define LDAPCGI_PLATFORM_RECBASE_DB_FILE_H

#include <cstddef>
#include <cstdint>

#include <sys/uio.h>

#include "platform/recbase/recbase.h"

struct DbFile {
    int fd = -1;
    uint64_t end = 0;                  // size, buffered appends included
    uint64_t onDisk = 0;               // size the file has after our writes
    unsigned char* pending = nullptr;  // appends not yet written
    std::size_t pendingUsed = 0;
    uint64_t pendingStart = 0;  // file offset of pending[0]
};

dbError DbFileOpen(DbFile* file, const char* path);
dbError DbFileReadAt(DbFile* file, uint64_t offset, void* bytes, std::size_t size);
dbError DbFileWriteAt(DbFile* file, uint64_t offset, const void* bytes, std::size_t size);
// Writes `count` blocks back to back from `offset` with as few calls as the
// system allows (a run of index pages in one go).
dbError DbFileWriteBlocksAt(DbFile* file, uint64_t offset, const struct iovec* blocks, int count);
// Appends at the end through the buffer.
dbError DbFileAppend(DbFile* file, const void* bytes, std::size_t size);
dbError DbFileFlush(DbFile* file);
// Starts the way of everything written so far to the disk without waiting,
// so that the fsyncs of several files overlap. Only a hint: DbFileSync
// still decides.
void DbFileStartWriteback(DbFile* file);
// Flushes, then fsyncs. DB_FILE_CHANGED when the file's size is not what
// our writes left (another program truncated or extended it).
dbError DbFileSync(DbFile* file);
// Our writes alone decide a relation file's size; DB_FILE_CHANGED when it
// has another (another program truncated or extended the file).
dbError DbFileCheckSize(DbFile* file);
// Takes the file's exclusive writer lock; DB_LOCKED when another holds it.
dbError DbFileLock(DbFile* file);
// Closes without flushing; DB_CLOSE_ERROR when close() reports one.
dbError DbFileClose(DbFile* file);
// fsyncs a folder, so that new files in it survive a crash.
dbError DbSyncFolder(const char* path);

#endif
