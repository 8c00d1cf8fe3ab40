// Limits of the log service stand-in.
#ifndef LDAPCGI_PLATFORM_LOG_LIMITS_H
#define LDAPCGI_PLATFORM_LOG_LIMITS_H

#include <cstddef>

constexpr std::size_t kLogMaxTextSize = 8192;  // longest text of one line; a longer text is cut
constexpr std::size_t kLogStampSize = 64;      // time, level and pid around the text
// Batches (LogBeginBatch): lines kept back before one write, how long a line
// may wait, and how often the settings are looked at.
constexpr std::size_t kLogBatchSize = 64 * 1024;
constexpr long kLogBatchFlushMs = 500;
constexpr long kLogBatchSettingsMs = 1000;
// Tries, a millisecond apart, for the log file's lock before a line is
// appended without it (see AppendToFile): far longer than any writer holds
// it, short enough that a stopped holder costs a request little.
constexpr int kLogLockTries = 50;

#endif
