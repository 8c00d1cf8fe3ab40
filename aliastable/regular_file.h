// Opening the files of the alias table folder: only regular files are used.
// A FIFO or device placed under a table's name would block an open or read
// for ever, so every open is non-blocking and checked before use. A symbolic
// link is never followed: the folder is group-writable, and a link planted
// there would have a build write over a file elsewhere.
#ifndef LDAPCGI_ALIASTABLE_REGULAR_FILE_H
#define LDAPCGI_ALIASTABLE_REGULAR_FILE_H

#include <sys/types.h>

// open(2) of `path` with `flags` (O_TRUNC applied only once the file is
// known to be regular), then blocking again. -1 with errno set on failure;
// errno EINVAL when the path names something other than a regular file.
int OpenRegularFile(const char* path, int flags, mode_t mode = 0);

#endif
