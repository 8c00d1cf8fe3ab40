// The log call of every layer: formatted lines handed to the log service
// under the application name "LDAP CGI", at the service's levels.
#ifndef LDAPCGI_BASE_LOG_H
#define LDAPCGI_BASE_LOG_H

#include "platform/log/logapi.h"

// Formats and logs under "LDAP CGI"; returns the formatted length, 0 when
// the log service drops the level (nothing is formatted then). A message
// longer than kLogLineSize - 1 characters is cut to that length.
int LogPrintf(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

#endif
