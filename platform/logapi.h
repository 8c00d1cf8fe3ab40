// Log service: one line per call (timestamp, level, application, text) to the
// file named by XOMTA.INI [Log] File, or to syslog (facility mail). Lines
// above [Log] Level (when set) are dropped.
#ifndef LDAPCGI_PLATFORM_LOGAPI_H
#define LDAPCGI_PLATFORM_LOGAPI_H

void LogMessage(int level, const char* application, const char* text);

// Whether a line of `level` would be written now ([Log] Level as the file
// stands): lets a caller skip formatting a line that would be dropped.
bool LogLevelEnabled(int level);

#endif
