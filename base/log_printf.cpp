// LogPrintf: formats a message and hands it to the log service under the
// application name "LDAP CGI". A message longer than kLogLineSize - 1
// characters is cut to that length. A message whose level the log service
// drops is not formatted at all.
#include "base/log.h"

#include <cstdarg>

#include "base/limits.h"

int LogPrintf(int level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int length = LogFormatV(level, APPLICATION_NAME, kLogLineSize - 1, format, args);
    va_end(args);
    return length;
}
