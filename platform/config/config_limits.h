// Limits of the configuration reader stand-in.
#ifndef LDAPCGI_PLATFORM_CONFIG_LIMITS_H
#define LDAPCGI_PLATFORM_CONFIG_LIMITS_H

#include <cstddef>

constexpr std::size_t kConfigFileNameSize = 4096;  // directory, "/" and file name
// The parser's smallest line buffer (a longer one is as long as the file,
// so that no line is cut), and the largest file read, which reads as absent.
constexpr std::size_t kConfigMaxLineSize = 16384;
constexpr std::size_t kConfigMaxFileSize = 4 * 1024 * 1024;
constexpr std::size_t kConfigReadChunkSize = 8192;  // read at a time from a file
constexpr std::size_t kConfigCachedFiles = 16;      // parsed files kept per process

#endif
