// Helpers shared by the files of the directory client: DN value escaping and
// the client's error log line. Not for callers outside platform/ldapclient*.
#ifndef LDAPCGI_PLATFORM_LDAPCLIENT_INTERNAL_H
#define LDAPCGI_PLATFORM_LDAPCLIENT_INTERNAL_H

#include <string>

// RFC 4514 escaping of one attribute value inside a DN: the characters
// "\"+,;<>=\\", a leading "#" or blank, a trailing blank and control bytes
// get a backslash form, so the value can never end its RDN early.
std::string EscapeDnValue(const char* value);

// Logs one error line (level 1) under the client's application name.
void LogClientError(const char* format, ...) __attribute__((format(printf, 1, 2)));

#endif
