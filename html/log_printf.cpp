// LogPrintf: formats a message and hands it to the log service under the
// application name "LDAP CGI". A message longer than kLogLineSize - 1
// characters is cut to that length. A message whose level the log service
// drops is not formatted at all.
#include "html/text_helpers.h"

#include <cstdarg>
#include <cstdio>

#include "app/limits.h"
#include "platform/logapi.h"

int LogPrintf(int level, const char* format, ...) {
    if (!format) return -1;
    if (!LogLevelEnabled(level)) return 0;
    char message[kLogLineSize];
    va_list args;
    va_start(args, format);
    int length = vsnprintf(message, sizeof message, format, args);
    va_end(args);
    if (length < 0) return -1;
    if (static_cast<std::size_t>(length) >= sizeof message) length = static_cast<int>(sizeof message - 1);
    LogMessage(level, APPLICATION_NAME, message);
    return length;
}
