// Non-blocking, checked opening of regular files.
#include "platform/config/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

int OpenRegularFile(const char* path, int flags, mode_t mode) {
    const bool truncate = (flags & O_TRUNC) != 0;
    int fd = open(path, (flags & ~O_TRUNC) | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) return -1;
    struct stat info;
    int error = 0;
    if (fstat(fd, &info) != 0)
        error = errno;
    else if (!S_ISREG(info.st_mode))
        error = EINVAL;
    else if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 || (truncate && ftruncate(fd, 0) != 0))
        error = errno;
    if (error != 0) {
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}
