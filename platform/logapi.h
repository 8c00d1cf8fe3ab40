// Log service: one line per call (timestamp, level, application, text) to the
// file named by XOMTA.INI [Log] File, or to syslog (facility mail).
#ifndef LDAPCGI_PLATFORM_LOGAPI_H
#define LDAPCGI_PLATFORM_LOGAPI_H

void LogMessage(int level, const char* application, const char* text);

#endif
