// Directory client, error lines: the one reporter of failed directory
// operations (operation, result code and text, the server's diagnostic
// message, the matched DN, and the client's own reason when it has one,
// such as a refused certificate) and the client's other error lines. Writes
// through the log service at kLogError under "LDAP CGI"; reads the session
// handle's last result only.
#include <cstdarg>
#include <cstdio>

#include "platform/ldapclient/ldapclient.h"
#include "platform/ldapclient/ldapclient_internal.h"
#include "platform/log/logapi.h"

namespace {

constexpr char kLogApplication[] = "LDAP CGI";

// A string option of the handle (diagnostic message, matched DN); "" when unset.
std::string HandleText(LDAP* ld, int option) {
    char* text = nullptr;
    if (ld == nullptr || ldap_get_option(ld, option, &text) != LDAP_OPT_SUCCESS || text == nullptr) return "";
    std::string copy = text;
    ldap_memfree(text);
    return copy;
}

}  // namespace

namespace {

void LogFailure(LDAP* ld, int code, const std::string& reason, const char* format, va_list arguments)
    __attribute__((format(printf, 4, 0)));

void LogFailure(LDAP* ld, int code, const std::string& reason, const char* format, va_list arguments) {
    char operation[kErrorLineSize / 2];
    vsnprintf(operation, sizeof operation, format, arguments);
    // Only a server's result carries them; after a failure of the client's
    // own (negative codes) the handle still holds those of an earlier result.
    LDAP* server = code > 0 ? ld : nullptr;
    std::string diagnostic = HandleText(server, LDAP_OPT_DIAGNOSTIC_MESSAGE);
    std::string matched = HandleText(server, LDAP_OPT_MATCHED_DN);
    char line[kErrorLineSize];
    int length =
        snprintf(line, sizeof line, "%s failed: %s (%d), server message \"%.*s\", matched DN \"%.*s\"",
                 operation, ldap_err2string(code), code, kErrorPieceLength, diagnostic.c_str(),
                 kErrorPieceLength, matched.c_str());
    if (!reason.empty() && length > 0 && static_cast<std::size_t>(length) < sizeof line)
        snprintf(line + length, sizeof line - length, ", reason \"%.*s\"", kErrorPieceLength, reason.c_str());
    LogMessage(kLogError, kLogApplication, line);
}

}  // namespace

void LogLdapError(LDAP* ld, int code, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    LogFailure(ld, code, "", format, arguments);
    va_end(arguments);
}

void LogLdapFailure(LDAP* ld, int code, const std::string& reason, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    LogFailure(ld, code, reason, format, arguments);
    va_end(arguments);
}

void LogClientError(const char* format, ...) {
    char line[kErrorLineSize];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    LogMessage(kLogError, kLogApplication, line);
}
