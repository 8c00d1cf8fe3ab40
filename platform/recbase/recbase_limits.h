// Limits of the database component stand-in.
#ifndef LDAPCGI_PLATFORM_RECBASE_LIMITS_H
#define LDAPCGI_PLATFORM_RECBASE_LIMITS_H

#include <cstddef>

constexpr std::size_t kDbCachePages = 4096;             // index pages kept in memory (4 KiB each)
constexpr std::size_t kDbAppendBufferSize = 64 * 1024;  // write buffer of each appended file
constexpr std::size_t kDbFlushRunPages = 256;           // index pages written by one flush call

#endif
