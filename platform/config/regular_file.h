// Opening files that others may plant things in place of (the alias table
// folder, the log file): only regular files are used. A FIFO or device put
// under the name would block an open or read for ever, so every open is
// non-blocking and checked before use. A symbolic link is never followed: a
// link planted in a group-writable folder would have a write go to a file
// elsewhere.
#ifndef LDAPCGI_PLATFORM_CONFIG_REGULAR_FILE_H
#define LDAPCGI_PLATFORM_CONFIG_REGULAR_FILE_H

#include <sys/types.h>

// open(2) of `path` with `flags` (O_TRUNC applied only once the file is
// known to be regular), then blocking again. -1 with errno set on failure;
// errno EINVAL when the path names something other than a regular file.
int OpenRegularFile(const char* path, int flags, mode_t mode = 0);

#endif
