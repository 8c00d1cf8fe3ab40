// Directory client, session part: connect (host name or LDAP URI, with TLS
// when asked) with the client's time limit, simple bind, delete, unbind, and
// release of search results. Talks to the server only through libldap on
// `ld`; holds no other state than the handle, the time limit, the StartTLS
// requirement and the DN buffer of CreateDNFromMail.
#include "platform/ldapclient/ldapclient.h"

#include <signal.h>
#include <sys/socket.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/ldapclient/ldapclient_internal.h"

namespace {

bool HasScheme(const char* uri, const char* scheme) { return strncasecmp(uri, scheme, strlen(scheme)) == 0; }

bool IsUri(const char* host) {
    return HasScheme(host, "ldap://") || HasScheme(host, "ldaps://") || HasScheme(host, "ldapi://");
}

// The port of an LDAP URI as written: 0 when it names none, -1 unless it is
// at most five plain digits. libldap decodes escapes in it and keeps it in an
// int, so ldap://host:4294967685 would become 389 there: only the written
// number tells.
long long WrittenUriPort(const char* uri) {
    const char* hostPort = strstr(uri, "://") + 3;  // an IsUri URI
    const std::string text(hostPort, strcspn(hostPort, "/?"));
    const std::size_t colon = text[0] == '[' ? text.find(':', text.find(']')) : text.find(':');
    if (colon == std::string::npos) return 0;
    const std::string port = text.substr(colon + 1);
    if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) return -1;
    return atol(port.c_str());
}

// Whether the port of an LDAP URI is one: libldap keeps only its low 16
// bits, so ldap://host:104437 would reach port 38901. A URI libldap cannot
// parse is left to fail at ldap_initialize.
bool UriPortFits(const char* uri) {
    LDAPURLDesc* parsed = nullptr;
    if (ldap_url_parse(uri, &parsed) != LDAP_URL_SUCCESS || parsed == nullptr) return true;
    const long long written = HasScheme(uri, "ldapi://") ? 0 : WrittenUriPort(uri);  // a socket path: no port
    const bool fits = parsed->lud_port >= 0 && parsed->lud_port <= 65535 && written >= 0 && written <= 65535;
    ldap_free_urldesc(parsed);
    return fits;
}

// libldap writes to the server's socket with plain writes: a server that has
// dropped the connection would end the process by SIGPIPE, with no page and
// no log line. Ignored, the write fails with EPIPE and the operation reports
// the lost server like any other failure. A handler the program set stays.
void IgnoreBrokenPipes() {
    struct sigaction current {};
    if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) signal(SIGPIPE, SIG_IGN);
}

// libldap waits for an answer with poll, bounded by its timeouts, but then
// reads the rest of a message with blocking reads: a server that sent part
// of an answer and stalls would hold the request for ever. Each read and
// write of the connection gives up after the time limit instead, and the
// call fails as a server that did not answer.
void BoundSocketWaits(LDAP* handle, const timeval& limit) {
    int fd = -1;
    if (ldap_get_option(handle, LDAP_OPT_DESC, &fd) != LDAP_OPT_SUCCESS || fd < 0) return;
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

}  // namespace

ldapClient::ldapClient()
    : ld(nullptr), dnBuffer(nullptr), timeoutSeconds(kDefaultTimeoutSeconds), startTlsRequired(false) {}

ldapClient::~ldapClient() {
    ldapClientUnbind();
    ::free(dnBuffer);
}

void ldapClient::SetTimeout(int seconds) { timeoutSeconds = seconds < 1 ? 1 : seconds; }

void ldapClient::SetStartTls(bool required) { startTlsRequired = required; }

// A plain host name is reached at the given port; an ldap://, ldaps:// or
// ldapi:// URI is used as it stands. The connection is opened here, so a
// server that is not there fails now rather than at the bind. A server that
// accepts the connection but never answers fails the first call after the
// time limit, as every synchronous call waits at most that long; so does a
// TLS connect it leaves unanswered (LDAP_TIMEOUT). An ldaps:// connection,
// or an ldap:// one with StartTLS required, checks the server's certificate
// and fails with libldap's reason in its error line.
int ldapClient::ldapClientConnect(const char* host, int port) {
    ldapClientUnbind();
    // One server: libldap would take a list ("ldaps://a,ldap://b") and might
    // reach a later server of it without the TLS decided here for the first.
    if (!host || !*host || strpbrk(host, ", ") != nullptr || port < 0 || port > 65535 ||
        (IsUri(host) && !UriPortFits(host))) {
        LogLdapError(nullptr, LDAP_PARAM_ERROR, "LDAP connect to %.200s port %d", host ? host : "(null)",
                     port);
        return -1;
    }
    std::string uri;
    if (IsUri(host)) {
        uri = host;
    } else {
        bool ipv6 = strchr(host, ':') != nullptr && host[0] != '[';
        uri = std::string("ldap://") + (ipv6 ? "[" : "") + host + (ipv6 ? "]" : "") + ":" +
              std::to_string(port);
    }
    bool startTls = startTlsRequired && HasScheme(uri.c_str(), "ldap://");
    bool tls = startTls || HasScheme(uri.c_str(), "ldaps://");
    std::string reasons;
    if (tls) {
        BeginTlsReasons(&reasons);
        PrepareTlsContext();  // before the handle, which copies the process's options
    }
    IgnoreBrokenPipes();
    LDAP* handle = nullptr;
    int rc = ldap_initialize(&handle, uri.c_str());
    if (rc != LDAP_SUCCESS || !handle) {
        if (tls) EndTlsReasons(&reasons);
        LogLdapError(nullptr, rc != LDAP_SUCCESS ? rc : LDAP_NO_MEMORY, "LDAP connect to %.300s",
                     uri.c_str());
        return -1;
    }
    int version = LDAP_VERSION3;
    ldap_set_option(handle, LDAP_OPT_PROTOCOL_VERSION, &version);
    ldap_set_option(handle, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    // Alias entries are never followed, whatever ldap.conf or LDAPDEREF says:
    // a search would find the aliased user under the alias's name.
    int deref = LDAP_DEREF_NEVER;
    ldap_set_option(handle, LDAP_OPT_DEREF, &deref);
    ldap_set_option(handle, LDAP_OPT_RESTART, LDAP_OPT_ON);
    timeval timeout{timeoutSeconds, 0};
    ldap_set_option(handle, LDAP_OPT_NETWORK_TIMEOUT, &timeout);
    ldap_set_option(handle, LDAP_OPT_TIMEOUT, &timeout);
    HandshakeWatch* watch = tls ? StartHandshakeWatch(handle, timeoutSeconds) : nullptr;
    rc = ldap_connect(handle);
    const char* step = "LDAP connect to";
    bool unanswered = false;  // the server took the connection and left it unanswered
    if (rc == LDAP_SUCCESS) BoundSocketWaits(handle, timeout);
    if (rc == LDAP_SUCCESS && startTls) {
        rc = ldap_start_tls_s(handle, nullptr, nullptr);
        step = "LDAP StartTLS with";
        unanswered = rc == LDAP_TIMEOUT;
    }
    if (EndHandshakeWatch(watch)) {  // the watch ended it: ours is the reason, not the TLS library's
        rc = LDAP_TIMEOUT;
        unanswered = true;
        reasons.clear();
    }
    if (tls) EndTlsReasons(&reasons);
    if (rc != LDAP_SUCCESS) {
        LogLdapFailure(handle, rc, reasons, "%s %.300s", step, uri.c_str());
        ldap_unbind_ext_s(handle, nullptr, nullptr);
        return unanswered ? LDAP_TIMEOUT : -1;
    }
    ld = handle;
    return 0;
}

// A user name without "=" is the common name of an entry at the root
// ("root" binds as "cn=root"); a name with "=" is a DN used as given. An
// empty name binds anonymously. A name with an empty password is refused
// here: that is an unauthenticated bind, which a server may answer with
// success and anonymous rights, and the pages would then find nothing
// instead of telling that the account was not bound.
int ldapClient::ldapClientBind(const char* user, const char* password) {
    if (!ld) return -1;
    std::string dn;
    if (user && *user) dn = strchr(user, '=') ? std::string(user) : "cn=" + EscapeDnValue(user);
    berval credentials;
    credentials.bv_val = const_cast<char*>(password ? password : "");
    credentials.bv_len = strlen(credentials.bv_val);
    if (!dn.empty() && credentials.bv_len == 0) {
        LogLdapError(nullptr, LDAP_INAPPROPRIATE_AUTH, "LDAP bind as \"%.300s\" with an empty password",
                     dn.c_str());
        return LDAP_INAPPROPRIATE_AUTH;
    }
    int rc = ldap_sasl_bind_s(ld, dn.c_str(), LDAP_SASL_SIMPLE, &credentials, nullptr, nullptr, nullptr);
    if (rc != LDAP_SUCCESS) LogLdapError(ld, rc, "LDAP bind as \"%.300s\"", dn.c_str());
    return rc;
}

int ldapClient::ldapClientDelete(const char* dn) {
    if (!ld || !dn) return -1;
    int rc = ldap_delete_ext_s(ld, dn, nullptr, nullptr);
    if (rc != LDAP_SUCCESS) LogLdapError(ld, rc, "LDAP delete of %.300s", dn);
    return rc == LDAP_SUCCESS ? 0 : -1;
}

void ldapClient::ldapClientUnbind() {
    if (ld) ldap_unbind_ext_s(ld, nullptr, nullptr);
    ld = nullptr;
}

void ldapClient::srch_free(SearchReq* result) {
    while (result) {
        attrval* attribute = result->attrs;
        while (attribute) {
            attrval* next = attribute->next;
            ::free(attribute);
            attribute = next;
        }
        SearchReq* next = result->next;
        ::free(result);
        result = next;
    }
}

void ldapClient::free(void* pointer) { ::free(pointer); }
