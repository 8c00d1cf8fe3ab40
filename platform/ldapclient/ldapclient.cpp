// Directory client, session part: connect (host name or LDAP URI), simple
// bind, delete, unbind, and release of search results. Talks to the server
// only through libldap on `ld`; holds no other state than the handle and the
// DN buffer of CreateDNFromMail.
#include "platform/ldapclient/ldapclient.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/ldapclient/ldapclient_internal.h"
#include "platform/log/logapi.h"

namespace {

constexpr int kNetworkTimeoutSeconds = 10;
constexpr char kLogApplication[] = "LDAP CGI";

bool IsUri(const char* host) {
    return strncasecmp(host, "ldap://", 7) == 0 || strncasecmp(host, "ldaps://", 8) == 0 ||
           strncasecmp(host, "ldapi://", 8) == 0;
}

}  // namespace

void LogClientError(const char* format, ...) {
    char line[1024];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    LogMessage(1, kLogApplication, line);
}

ldapClient::ldapClient() : ld(nullptr), dnBuffer(nullptr) {}

ldapClient::~ldapClient() {
    ldapClientUnbind();
    ::free(dnBuffer);
}

// A plain host name is reached at the given port; an ldap://, ldaps:// or
// ldapi:// URI is used as it stands. The connection is opened here, so a
// server that is not there fails now rather than at the bind.
int ldapClient::ldapClientConnect(const char* host, int port) {
    ldapClientUnbind();
    if (!host || !*host || port < 0 || port > 65535) return -1;
    std::string uri;
    if (IsUri(host)) {
        uri = host;
    } else {
        bool ipv6 = strchr(host, ':') != nullptr && host[0] != '[';
        uri = std::string("ldap://") + (ipv6 ? "[" : "") + host + (ipv6 ? "]" : "") + ":" +
              std::to_string(port);
    }
    LDAP* handle = nullptr;
    if (ldap_initialize(&handle, uri.c_str()) != LDAP_SUCCESS || !handle) return -1;
    int version = LDAP_VERSION3;
    ldap_set_option(handle, LDAP_OPT_PROTOCOL_VERSION, &version);
    ldap_set_option(handle, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    ldap_set_option(handle, LDAP_OPT_RESTART, LDAP_OPT_ON);
    timeval timeout{kNetworkTimeoutSeconds, 0};
    ldap_set_option(handle, LDAP_OPT_NETWORK_TIMEOUT, &timeout);
    if (ldap_connect(handle) != LDAP_SUCCESS) {
        ldap_unbind_ext_s(handle, nullptr, nullptr);
        return -1;
    }
    ld = handle;
    return 0;
}

// A user name without "=" is the common name of an entry at the root
// ("root" binds as "cn=root"); a name with "=" is a DN used as given. An
// empty name binds anonymously.
int ldapClient::ldapClientBind(const char* user, const char* password) {
    if (!ld) return -1;
    std::string dn;
    if (user && *user) dn = strchr(user, '=') ? std::string(user) : "cn=" + EscapeDnValue(user);
    berval credentials;
    credentials.bv_val = const_cast<char*>(password ? password : "");
    credentials.bv_len = strlen(credentials.bv_val);
    return ldap_sasl_bind_s(ld, dn.c_str(), LDAP_SASL_SIMPLE, &credentials, nullptr, nullptr, nullptr);
}

int ldapClient::ldapClientDelete(const char* dn) {
    if (!ld || !dn) return -1;
    return ldap_delete_ext_s(ld, dn, nullptr, nullptr) == LDAP_SUCCESS ? 0 : -1;
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
