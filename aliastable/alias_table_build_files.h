// Files of an alias table build: the alias table directory's path, the
// initial disk images of a generation, their removal when the build fails,
// the record of the published generation, and the lock that serialises
// builds; what is written is synced to disk before it is used. Only regular
// files are opened.
// Touches only the file system; logs its failures at kLogError.
#ifndef LDAPCGI_ALIASTABLE_ALIAS_TABLE_BUILD_FILES_H
#define LDAPCGI_ALIASTABLE_ALIAS_TABLE_BUILD_FILES_H

#include <cstddef>

// Queue directory, "/" when it is not empty, "AliasTables". False (nothing
// usable in `path`) when the result does not fit in `size` bytes.
bool FormAliasTableDirectory(const char* queueDirectory, char* path, std::size_t size);

// Creates or truncates directory/fileName under the file-creation mask 007
// and writes `size` bytes to it, synced to disk. False (already logged) when
// the file cannot be opened or any write, flush, sync or close fails.
bool WriteArray(const char* directory, const char* fileName, const unsigned char* bytes, std::size_t size);

// Removes the files of `generation` (images and checksums, those that
// exist) from the alias table directory: what a build that failed leaves
// behind. Logs a file it cannot remove.
void RemoveGeneration(const char* directory, const char* generation);

// Records `generation` as the published one (kPublishedGenerationFile,
// replaced whole and synced); false, logged, when it cannot be written.
bool WritePublishedGeneration(const char* directory, const char* generation);

// Writes DIR/GENERATION.sum, the checksums of the generation's three files
// as they are on disk and the key comparison its index was built with
// (`ignoreCase`), and syncs it and the folder. False (already logged) on any
// failure: the generation must not be published then.
bool WriteGenerationSum(const char* directory, const char* generation, bool ignoreCase);

enum class AliasTableLock { kTaken, kBusy, kFailed };

// Takes the exclusive, non-blocking build lock on the lock file in the alias
// table directory; on kTaken *fd holds it until UnlockAliasTables. kFailed
// (the file cannot be opened or locked) is logged; kBusy is not.
AliasTableLock LockAliasTables(const char* directory, int* fd);
// Whether DIR's lock file is still the one `fd` holds: false, logged, when
// the folder was moved or replaced since it was locked (the path now leads
// to another folder, whose lock another build may hold).
bool AliasTablesStillLocked(const char* directory, int fd);
void UnlockAliasTables(int fd);

#endif
