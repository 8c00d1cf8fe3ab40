// Files of an alias table build: directory path, initial images and their
// removal, the record of the published generation, build lock. Paths are
// bounded by kPathBufferSize; a path that does not fit fails as a file that
// cannot be opened (ENAMETOOLONG).
#include "aliastable/alias_table_build_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "aliastable/generation_sum.h"
#include "aliastable/published_generation.h"
#include "base/limits.h"
#include "base/log.h"
#include "platform/config/regular_file.h"

namespace {

// directory "/" name into path; false when it does not fit.
bool JoinPath(const char* directory, const char* name, char* path, std::size_t size) {
    int n = snprintf(path, size, "%s/%s", directory, name);
    return n >= 0 && static_cast<std::size_t>(n) < size;
}

}  // namespace

bool FormAliasTableDirectory(const char* queueDirectory, char* path, std::size_t size) {
    const char* separator = queueDirectory[0] != '\0' ? "/" : "";
    int n = snprintf(path, size, "%s%sAliasTables", queueDirectory, separator);
    if (n < 0 || static_cast<std::size_t>(n) >= size) {
        if (size > 0) path[0] = '\0';
        return false;
    }
    return true;
}

bool WriteArray(const char* directory, const char* fileName, const unsigned char* bytes, std::size_t size) {
    char path[kPathBufferSize];
    if (!JoinPath(directory, fileName, path, sizeof path)) {
        LogPrintf(kLogError, "WriteArray; Could not open file %s/%s for write (errno:%d)", directory,
                  fileName, ENAMETOOLONG);
        return false;
    }
    umask(007);
    // A file left under the name (a failed build's, or a generation's whose
    // number comes round again) is replaced, never written over: a reader
    // that has it mapped keeps reading the old file, never a shorter one.
    // Anything else under the name (a FIFO, a device) makes the open fail.
    struct stat left;
    if (lstat(path, &left) == 0 && (S_ISREG(left.st_mode) || S_ISLNK(left.st_mode)) && unlink(path) != 0) {
        LogPrintf(kLogError, "WriteArray; Could not remove the file %s (errno:%d)", path, errno);
        return false;
    }
    int fd = OpenRegularFile(path, O_WRONLY | O_CREAT | O_EXCL, 0666);
    FILE* file = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    if (file == nullptr) {
        LogPrintf(kLogError, "WriteArray; Could not open file %s for write (errno:%d)", path, errno);
        if (fd >= 0) close(fd);
        return false;
    }
    // The preprocessor's group must be able to read every generation alike.
    bool ok = fchmod(fileno(file), 0660) == 0;
    // A full disk may show only at flush, sync or close: every step counts.
    ok = fwrite(bytes, 1, size, file) == size && ok;
    ok = fflush(file) == 0 && ok;
    ok = !ferror(file) && ok;
    ok = fsync(fileno(file)) == 0 && ok;
    ok = fclose(file) == 0 && ok;
    if (!ok) LogPrintf(kLogError, "WriteArray; Error writing to file %s", path);
    return ok;
}

void RemoveGeneration(const char* directory, const char* generation) {
    for (const char* extension : {".db", ".id0", ".str", ".sum"}) {
        char name[kGenerationNameSize + 8];
        char path[kPathBufferSize];
        snprintf(name, sizeof name, "%s%s", generation, extension);
        if (!JoinPath(directory, name, path, sizeof path)) continue;  // never created either
        if (unlink(path) != 0 && errno != ENOENT)
            LogPrintf(kLogError, "Could not remove the file %s of an unfinished Mail Alias Table (errno:%d)",
                      path, errno);
    }
}

bool WritePublishedGeneration(const char* directory, const char* generation) {
    char path[kPathBufferSize], written[kPathBufferSize];
    bool ok = JoinPath(directory, kPublishedGenerationFile, path, sizeof path) &&
              snprintf(written, sizeof written, "%s.new", path) < static_cast<int>(sizeof written);
    // Whatever a stopped build or a mistake left under the temporary name
    // goes: a file, a link or an empty folder would otherwise stop every record.
    if (ok && unlink(written) != 0 && errno != ENOENT &&
        !((errno == EISDIR || errno == EPERM) && rmdir(written) == 0))
        ok = false;
    int fd = ok ? OpenRegularFile(written, O_WRONLY | O_CREAT | O_EXCL, 0660) : -1;
    if (fd >= 0) {
        char text[kGenerationNameSize + 1];
        const int length = snprintf(text, sizeof text, "%s\n", generation);
        ok = length > 0 && write(fd, text, static_cast<std::size_t>(length)) == length;
        ok = fsync(fd) == 0 && ok;
        ok = close(fd) == 0 && ok;
        // Renamed in place: a reader sees the old record or the new one, whole.
        ok = ok && rename(written, path) == 0;
        int folder = open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) fsync(folder), close(folder);
    }
    if (fd < 0 || !ok)
        LogPrintf(kLogError, "Could not record the published Mail Alias Table %s in %s/%s (errno:%d)",
                  generation, directory, kPublishedGenerationFile, errno);
    return fd >= 0 && ok;
}

bool WriteGenerationSum(const char* directory, const char* generation, bool ignoreCase) {
    char text[kGenerationSumSize];
    char error[kGenerationSumErrorSize];
    if (!FormGenerationSum(directory, generation, ignoreCase, text, sizeof text, error, sizeof error)) {
        LogPrintf(kLogError, "Could not form the checksums of the Mail Alias Table %s: %s", generation,
                  error);
        return false;
    }
    char fileName[kPathBufferSize];
    snprintf(fileName, sizeof fileName, "%s.sum", generation);
    if (!WriteArray(directory, fileName, reinterpret_cast<const unsigned char*>(text), strlen(text)))
        return false;
    // The new name must be on disk before the generation is published.
    int folder = open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bool synced = folder >= 0 && fsync(folder) == 0;
    if (folder >= 0) close(folder);
    if (!synced) LogPrintf(kLogError, "Could not sync the Alias Directory %s (errno:%d)", directory, errno);
    return synced;
}

AliasTableLock LockAliasTables(const char* directory, int* fd) {
    *fd = -1;
    char path[kPathBufferSize];
    if (!JoinPath(directory, ALIAS_TABLE_LOCK_FILE, path, sizeof path)) {
        LogPrintf(kLogError, "Could not open the lock file %s/%s (errno:%d)", directory,
                  ALIAS_TABLE_LOCK_FILE, ENAMETOOLONG);
        return AliasTableLock::kFailed;
    }
    int lockFd = OpenRegularFile(path, O_RDWR | O_CREAT, 0660);
    if (lockFd < 0) {
        LogPrintf(kLogError, "Could not open the lock file %s (errno:%d)", path, errno);
        return AliasTableLock::kFailed;
    }
    if (flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        close(lockFd);
        if (error == EWOULDBLOCK) return AliasTableLock::kBusy;
        LogPrintf(kLogError, "Could not lock the file %s (errno:%d)", path, error);
        return AliasTableLock::kFailed;
    }
    *fd = lockFd;
    return AliasTableLock::kTaken;
}

bool AliasTablesStillLocked(const char* directory, int fd) {
    char path[kPathBufferSize];
    struct stat held, named;
    if (JoinPath(directory, ALIAS_TABLE_LOCK_FILE, path, sizeof path) && fstat(fd, &held) == 0 &&
        stat(path, &named) == 0 && held.st_dev == named.st_dev && held.st_ino == named.st_ino)
        return true;
    LogPrintf(kLogError, "The Alias Directory %s was moved or replaced during the build", directory);
    return false;
}

void UnlockAliasTables(int fd) {
    if (fd >= 0) close(fd);  // closing the only descriptor releases the lock
}
