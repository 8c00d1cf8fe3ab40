// Directory client, TLS part: certificate checking for every TLS connection
// of the process, StartTLS on a connected handle, and the reasons libldap
// gives for a failed TLS connection, gathered for the connect's error line.
// libldap reports those reasons only through its debug output, so while a
// TLS connection is being made that output is routed here (and nowhere
// else) and its "TLS: " lines are kept. Touches libldap's process-wide TLS
// context, debug level and log print function; restores the latter two.
#include <lber.h>

#include <cstring>
#include <string>

#include "platform/ldapclient/ldapclient.h"
#include "platform/ldapclient/ldapclient_internal.h"

namespace {

constexpr char kTlsLinePrefix[] = "TLS: ";
// libldap's trace level (LDAP_DEBUG_TRACE in its ldap_log.h): the level of
// the certificate check's verdict.
constexpr int kLdapDebugTrace = 0x0001;

// The reasons gathered while a capture is open; null when none is.
std::string* gReasons = nullptr;
BER_LOG_PRINT_FN gPreviousPrint = nullptr;
int gPreviousLevel = 0;
bool gTlsContextReady = false;

void KeepTlsLines(const char* text) {
    if (gReasons == nullptr || text == nullptr || strncmp(text, kTlsLinePrefix, strlen(kTlsLinePrefix)) != 0)
        return;
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (gReasons->find(line) != std::string::npos) return;            // said already
    if (gReasons->size() + line.size() + 1 > kTlsReasonSize) return;  // the first reasons tell why
    if (!gReasons->empty()) *gReasons += ' ';
    *gReasons += line;
}

}  // namespace

void BeginTlsReasons(std::string* reasons) {
    reasons->clear();
    if (gReasons != nullptr) return;
    gReasons = reasons;
    ber_get_option(nullptr, LBER_OPT_LOG_PRINT_FN, &gPreviousPrint);
    ldap_get_option(nullptr, LDAP_OPT_DEBUG_LEVEL, &gPreviousLevel);
    ber_set_option(nullptr, LBER_OPT_LOG_PRINT_FN, reinterpret_cast<void*>(KeepTlsLines));
    int trace = kLdapDebugTrace;
    ldap_set_option(nullptr, LDAP_OPT_DEBUG_LEVEL, &trace);
}

void EndTlsReasons(std::string* reasons) {
    if (gReasons != reasons) return;
    ldap_set_option(nullptr, LDAP_OPT_DEBUG_LEVEL, &gPreviousLevel);
    ber_set_option(nullptr, LBER_OPT_LOG_PRINT_FN, reinterpret_cast<void*>(gPreviousPrint));
    gReasons = nullptr;
}

// Handles copy the process-wide options when they are made, so this comes
// before the first handle that uses TLS. The context is made anew from the
// OpenLDAP client configuration (ldap.conf, LDAPTLS_* variables) with the
// certificate check on, whatever TLS_REQCERT says there; once made, it
// serves the whole process. A context that cannot be made (an unreadable CA
// file) is tried again by the next connect, and its reason is captured.
void PrepareTlsContext() {
    if (gTlsContextReady) return;
    int demand = LDAP_OPT_X_TLS_DEMAND;
    int client = 0;
    gTlsContextReady = ldap_set_option(nullptr, LDAP_OPT_X_TLS_REQUIRE_CERT, &demand) == LDAP_OPT_SUCCESS &&
                       ldap_set_option(nullptr, LDAP_OPT_X_TLS_NEWCTX, &client) == LDAP_OPT_SUCCESS;
}
