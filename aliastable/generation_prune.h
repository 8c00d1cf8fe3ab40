// Removal of old alias table generations: keeps the published generation and
// the ones numbered just before it, removes the files of older ones. Holds
// the build lock meanwhile, so that no generation being built is touched;
// generations numbered after the published one are never removed.
#ifndef LDAPCGI_ALIASTABLE_GENERATION_PRUNE_H
#define LDAPCGI_ALIASTABLE_GENERATION_PRUNE_H

#include <cstddef>

#include "aliastable/published_generation.h"
#include "base/limits.h"

enum class PruneResult { kDone, kBuildRunning, kNotRecorded, kFailed };

struct PruneReport {
    char published[kGenerationNameSize] = "";  // the recorded generation
    unsigned long oldestKept = 0;              // generations below it are removed
    unsigned long removed = 0;                 // files removed
    char error[kPruneErrorSize] = "";          // why it failed (kFailed, kBuildRunning, kNotRecorded)
};

// Keeps `keep` (at least 1) generations: the published one and keep-1 before
// it. kDone when every older file is gone; kFailed when a file could not be
// removed or the lock not taken; nothing is removed unless the lock is held
// and a published generation is recorded whose checksums hold.
PruneResult PruneGenerations(const char* directory, unsigned long keep, PruneReport* report);

#endif
