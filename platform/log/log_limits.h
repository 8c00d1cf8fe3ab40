// Limits of the log service stand-in.
#ifndef LDAPCGI_PLATFORM_LOG_LIMITS_H
#define LDAPCGI_PLATFORM_LOG_LIMITS_H

#include <cstddef>

constexpr std::size_t kLogMaxTextSize = 8192;  // longest text of one line; a longer text is cut

#endif
