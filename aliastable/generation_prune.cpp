// Pruning the alias table folder: under the build lock, the files GEN.db,
// .id0, .str and .sum of every generation numbered below the kept ones are
// unlinked, the checksum files first, so that a generation cut short by a
// failure is never taken for a whole one. Other files are left alone.
#include "aliastable/generation_prune.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "aliastable/generation_sum.h"
#include "aliastable/published_generation.h"
#include "base/limits.h"
#include "platform/config/regular_file.h"

namespace {

// The generation number of a table file's name ("12.db"), or false: decimal
// digits without a leading zero, then one of the extensions asked for.
bool GenerationOf(const char* name, bool sums, unsigned long* number) {
    std::size_t digits = std::strspn(name, "0123456789");
    if (digits == 0 || digits >= kGenerationNameSize || name[0] == '0') return false;
    const char* extension = name + digits;
    bool matches = sums ? std::strcmp(extension, ".sum") == 0
                        : std::strcmp(extension, ".db") == 0 || std::strcmp(extension, ".id0") == 0 ||
                              std::strcmp(extension, ".str") == 0;
    if (!matches) return false;
    errno = 0;
    *number = std::strtoul(name, nullptr, 10);
    return errno == 0;
}

// One pass over the folder: removes the files (sums, or images) below `oldestKept`.
bool RemoveOlder(int folder, DIR* listing, bool sums, PruneReport* report) {
    bool ok = true;
    rewinddir(listing);
    for (struct dirent* entry; (entry = readdir(listing)) != nullptr;) {
        unsigned long number;
        if (!GenerationOf(entry->d_name, sums, &number) || number >= report->oldestKept) continue;
        if (unlinkat(folder, entry->d_name, 0) == 0) {
            ++report->removed;
        } else if (errno != ENOENT) {
            std::snprintf(report->error, sizeof report->error, "cannot remove %s: %s", entry->d_name,
                          std::strerror(errno));
            ok = false;
        }
    }
    return ok;
}

}  // namespace

PruneResult PruneGenerations(const char* directory, unsigned long keep, PruneReport* report) {
    if (keep == 0) keep = 1;  // the published generation always stays
    char path[kPathBufferSize];
    int n = std::snprintf(path, sizeof path, "%s/%s", directory, ALIAS_TABLE_LOCK_FILE);
    if (n < 0 || std::size_t(n) >= sizeof path) {
        std::snprintf(report->error, sizeof report->error, "path too long: %s", directory);
        return PruneResult::kFailed;
    }
    // Opened, not created: the builds create it with their own owner.
    int lock = OpenRegularFile(path, O_RDONLY);
    if (lock < 0) {
        std::snprintf(report->error, sizeof report->error, "cannot open the build lock: %s",
                      errno == EINVAL ? "not a regular file" : std::strerror(errno));
        return PruneResult::kFailed;
    }
    if (flock(lock, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        close(lock);
        std::snprintf(report->error, sizeof report->error, "%s", std::strerror(error));
        return error == EWOULDBLOCK ? PruneResult::kBuildRunning : PruneResult::kFailed;
    }
    PruneResult result = PruneResult::kDone;
    char sumError[kGenerationSumErrorSize];
    if (!ReadPublishedGeneration(directory, report->published, sizeof report->published)) {
        result = PruneResult::kNotRecorded;
    } else if (!VerifyGenerationSum(directory, report->published, sumError, sizeof sumError)) {
        // A damaged record could name a generation above every real one.
        std::snprintf(report->error, sizeof report->error, "the recorded generation %s is not whole: %s",
                      report->published, sumError);
        result = PruneResult::kFailed;
    } else {
        unsigned long published = std::strtoul(report->published, nullptr, 10);
        report->oldestKept = keep - 1 > published ? 0 : published - (keep - 1);
        int folder = open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DIR* listing = folder >= 0 ? fdopendir(folder) : nullptr;
        if (listing == nullptr) {
            std::snprintf(report->error, sizeof report->error, "cannot list the folder: %s",
                          std::strerror(errno));
            if (folder >= 0) close(folder);
            result = PruneResult::kFailed;
        } else {
            bool sums = RemoveOlder(folder, listing, true, report);
            bool images = RemoveOlder(folder, listing, false, report);
            if (!sums || !images) result = PruneResult::kFailed;
            if (fsync(folder) != 0 && result == PruneResult::kDone) {
                std::snprintf(report->error, sizeof report->error, "cannot sync the folder: %s",
                              std::strerror(errno));
                result = PruneResult::kFailed;
            }
            closedir(listing);  // closes `folder` too
        }
    }
    close(lock);
    return result;
}
