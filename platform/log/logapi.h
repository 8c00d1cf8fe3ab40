// Log service: one line per call (timestamp, level, application, text) to the
// file named by XOMTA.INI [Log] File, or to syslog (facility mail). Lines
// above [Log] Level (when set) are dropped.
#ifndef LDAPCGI_PLATFORM_LOG_LOGAPI_H
#define LDAPCGI_PLATFORM_LOG_LOGAPI_H

#include <cstdarg>
#include <cstddef>

// Levels of the lines this system writes.
constexpr int kLogError = 1;     // a failure the administrator must see
constexpr int kLogAudit = 4;     // who changed what: directory changes, builds, refused requests
constexpr int kLogProgress = 6;  // progress lines of the alias table build

void LogMessage(int level, const char* application, const char* text);

// Whether a line of `level` would be written now ([Log] Level as the file
// stands): lets a caller skip formatting a line that would be dropped.
bool LogLevelEnabled(int level);

// Batches, for a long run of progress lines (the alias table build): until
// LogEndBatch, lines at kLogProgress and above that go to the log file are
// kept back and written together, at most kLogBatchFlushMs after the first
// of them, before any line of a lower level (an error shows after the
// progress that led to it), at LogEndBatch and at exit; and XOMTA.INI is
// looked at no more than once per kLogBatchSettingsMs.
void LogBeginBatch();
void LogEndBatch();

// LogMessage of the text that `format` makes, with one look at the settings
// for both the level and the file: nothing is formatted for a dropped level.
// The text is cut to `limit` characters (at most kLogMaxTextSize). Returns
// the length logged, 0 for a dropped level, -1 for a format error (nothing
// logged).
int LogFormatV(int level, const char* application, std::size_t limit, const char* format, va_list args)
    __attribute__((format(printf, 4, 0)));

#endif
