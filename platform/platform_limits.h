// Limits of the platform stand-ins (directory client, configuration reader,
// database component): the sizes their records and buffers have.
#ifndef LDAPCGI_PLATFORM_LIMITS_H
#define LDAPCGI_PLATFORM_LIMITS_H

#include <cstddef>

constexpr std::size_t kAttrNameSize = 64;       // attrval::name, terminator included
constexpr std::size_t kAttrValueSize = 512;     // attrval::value, terminator included
constexpr std::size_t kSearchDnSize = 2048;     // SearchReq::dn, terminator included
constexpr std::size_t kConfigFileNameSize = 4096;

// Configuration reader: longest line (terminator included) and largest file
// it reads; a longer line is skipped, a larger file reads as absent.
constexpr std::size_t kConfigMaxLineSize = 16384;
constexpr std::size_t kConfigMaxFileSize = 4 * 1024 * 1024;
constexpr std::size_t kConfigCachedFiles = 16;   // parsed files kept per process
// Log service: longest text of one log line; a longer text is cut.
constexpr std::size_t kLogMaxTextSize = 8192;

// Database component: index pages a relation keeps in memory (4 KiB each),
// and the write buffer of each appended file.
constexpr std::size_t kDbCachePages = 4096;
constexpr std::size_t kDbAppendBufferSize = 64 * 1024;
// Index pages written by one call when the page cache is flushed.
constexpr std::size_t kDbFlushRunPages = 256;

#endif
