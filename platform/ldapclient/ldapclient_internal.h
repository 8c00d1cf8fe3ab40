// Helpers shared by the files of the directory client: the client's error
// log line. Not for callers outside platform/ldapclient*.
#ifndef LDAPCGI_PLATFORM_LDAPCLIENT_LDAPCLIENT_INTERNAL_H
#define LDAPCGI_PLATFORM_LDAPCLIENT_LDAPCLIENT_INTERNAL_H

// Logs one error line (kLogError) under the client's application name.
void LogClientError(const char* format, ...) __attribute__((format(printf, 1, 2)));

#endif
