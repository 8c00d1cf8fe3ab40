// File access of the database component: open, exact positioned reads and
// writes, buffered appends, fsync and close, all with checked results.
#include "platform/recbase/db_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/recbase/recbase_limits.h"

dbError DbFileOpen(DbFile* file, const char* path) {
    int fd = open(path, O_RDWR | O_NOFOLLOW | O_CLOEXEC);  // a link planted in the folder is no table file
    if (fd < 0) return DB_OPEN_FAILED;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return DB_OPEN_FAILED;
    }
    file->fd = fd;
    file->end = uint64_t(info.st_size);
    file->onDisk = file->end;
    file->pendingUsed = 0;
    file->pendingStart = file->end;
    return DB_OK;
}

dbError DbFileReadAt(DbFile* file, uint64_t offset, void* bytes, std::size_t size) {
    unsigned char* at = static_cast<unsigned char*>(bytes);
    while (size > 0) {
        ssize_t got = pread(file->fd, at, size, off_t(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return DB_READ_ERROR;
        at += got;
        offset += uint64_t(got);
        size -= std::size_t(got);
    }
    return DB_OK;
}

dbError DbFileLock(DbFile* file) {
    while (flock(file->fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR) return errno == EWOULDBLOCK ? DB_LOCKED : DB_OPEN_FAILED;
    }
    return DB_OK;
}

dbError DbFileCheckSize(DbFile* file) {
    struct stat info;
    if (fstat(file->fd, &info) != 0) return DB_WRITE_ERROR;
    return uint64_t(info.st_size) == file->onDisk ? DB_OK : DB_FILE_CHANGED;
}

dbError DbFileWriteAt(DbFile* file, uint64_t offset, const void* bytes, std::size_t size) {
    if (offset + size > file->onDisk) file->onDisk = offset + size;
    const unsigned char* at = static_cast<const unsigned char*>(bytes);
    while (size > 0) {
        ssize_t put = pwrite(file->fd, at, size, off_t(offset));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return DB_WRITE_ERROR;
        at += put;
        offset += uint64_t(put);
        size -= std::size_t(put);
    }
    return DB_OK;
}

dbError DbFileWriteBlocksAt(DbFile* file, uint64_t offset, const struct iovec* blocks, int count) {
    uint64_t total = 0;
    for (int i = 0; i < count; ++i) total += blocks[i].iov_len;
    if (offset + total > file->onDisk) file->onDisk = offset + total;
    while (count > 0) {
        ssize_t put = pwritev(file->fd, blocks, count, off_t(offset));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return DB_WRITE_ERROR;
        offset += uint64_t(put);
        // Skips the blocks written whole; a block written in part is
        // finished with plain writes.
        std::size_t done = std::size_t(put);
        while (count > 0 && done >= blocks[0].iov_len) {
            done -= blocks[0].iov_len;
            ++blocks;
            --count;
        }
        if (count > 0 && done > 0) {
            std::size_t rest = blocks[0].iov_len - done;
            dbError result = DbFileWriteAt(
                file, offset, static_cast<const unsigned char*>(blocks[0].iov_base) + done, rest);
            if (result != DB_OK) return result;
            offset += rest;
            ++blocks;
            --count;
        }
    }
    return DB_OK;
}

void DbFileStartWriteback(DbFile* file) {
    if (file->fd >= 0) sync_file_range(file->fd, 0, 0, SYNC_FILE_RANGE_WRITE);
}

dbError DbFileFlush(DbFile* file) {
    if (file->pendingUsed == 0) return DB_OK;
    dbError result = DbFileCheckSize(file);
    if (result != DB_OK) return result;
    result = DbFileWriteAt(file, file->pendingStart, file->pending, file->pendingUsed);
    if (result != DB_OK) return result;
    file->pendingStart += file->pendingUsed;
    file->pendingUsed = 0;
    return DB_OK;
}

dbError DbFileAppend(DbFile* file, const void* bytes, std::size_t size) {
    if (file->pending == nullptr) {
        file->pending = static_cast<unsigned char*>(std::malloc(kDbAppendBufferSize));
        if (file->pending == nullptr) return DB_NO_MEMORY;
        file->pendingStart = file->end;
        file->pendingUsed = 0;
    }
    if (file->pendingUsed + size > kDbAppendBufferSize) {
        dbError result = DbFileFlush(file);
        if (result != DB_OK) return result;
    }
    if (size > kDbAppendBufferSize) {
        dbError result = DbFileCheckSize(file);
        if (result == DB_OK) result = DbFileWriteAt(file, file->end, bytes, size);
        if (result != DB_OK) return result;
        file->end += size;
        file->pendingStart = file->end;
        return DB_OK;
    }
    std::memcpy(file->pending + file->pendingUsed, bytes, size);
    file->pendingUsed += size;
    file->end += size;
    return DB_OK;
}

dbError DbFileSync(DbFile* file) {
    dbError result = DbFileFlush(file);
    if (result == DB_OK) result = DbFileCheckSize(file);
    if (result != DB_OK) return result;
    while (fsync(file->fd) != 0) {
        if (errno != EINTR) return DB_SYNC_ERROR;
    }
    return DB_OK;
}

dbError DbFileClose(DbFile* file) {
    std::free(file->pending);
    file->pending = nullptr;
    file->pendingUsed = 0;
    if (file->fd < 0) return DB_OK;
    int result = close(file->fd);
    file->fd = -1;
    // After close() the descriptor is gone even on EINTR; any error counts.
    return result == 0 ? DB_OK : DB_CLOSE_ERROR;
}

dbError DbSyncFolder(const char* path) {
    int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return DB_SYNC_ERROR;
    int result;
    while ((result = fsync(fd)) != 0 && errno == EINTR) {}
    // Some file systems refuse fsync on folders; that is no loss of data.
    bool failed = result != 0 && errno != EINVAL && errno != EROFS;
    close(fd);
    return failed ? DB_SYNC_ERROR : DB_OK;
}
