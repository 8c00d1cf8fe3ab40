// Directory client over OpenLDAP's libldap: connection, bind, search into
// SearchReq chains, add/modify/delete from attrval lists, DNs from mail
// addresses, the directory's profile strings, and the one error line that
// every failed directory operation leaves in the log.
// Callers may also use the RFC 1823 calls (ldap_search, ldap_result,
// ldap_get_values, ...) on `ld`; LDAP_DEPRECATED makes libldap declare them,
// so include this header before any other that includes <ldap.h>.
#ifndef LDAPCGI_PLATFORM_LDAPCLIENT_LDAPCLIENT_H
#define LDAPCGI_PLATFORM_LDAPCLIENT_LDAPCLIENT_H

#include <cstdint>
#include <string>

#ifndef LDAP_DEPRECATED
#define LDAP_DEPRECATED 1
#endif
#include <ldap.h>

#include "platform/ldapclient/ldapclient_limits.h"

// Operations of an attrval node in an add or modify list.
constexpr int32_t kAttrAdd = 0;
constexpr int32_t kAttrDelete = 1;
constexpr int32_t kAttrSkip = -1;  // a node to leave out (system use only)
// In a search result: a value longer than a node holds; its value is empty.
constexpr int32_t kAttrTooLong = 2;

// One attribute value of an add or modify list, or of a search result entry.
// op: kAttrAdd, kAttrDelete, or kAttrSkip for a node to leave out.
// A list ends with a terminator node: kAttrAdd, empty name, empty value.
struct attrval {
    int32_t op;
    char name[kAttrNameSize];
    char value[kAttrValueSize];
    attrval* next;
};

// One entry of a search result; the chain ends with a terminator node
// (next null) that is no entry.
struct SearchReq {
    char dn[kSearchDnSize];
    attrval* attrs;
    SearchReq* next;
};

// A search result value longer than kAttrValueSize - 1, or holding a NUL
// byte, arrives as a node marked kAttrTooLong with an empty value (nothing
// arrives cut; add and modify send no such node); an attribute whose name
// does not fit its field is left out, with an error line. A DN that does not
// fit its field fails the whole search (status -1, one error line).
// Every failed connect, bind, search, add, modify, delete and profile string
// write leaves one error line (LogLdapError); an absent search base does not.
// Add and modify leave empty values out: directory strings cannot be empty.
// RFC 4514 escaping of one attribute value inside a DN: the characters
// "\"+,;<>=\\", a leading "#" or blank, a trailing blank and control bytes
// get a backslash form, so the value can never end its RDN early.
std::string EscapeDnValue(const char* value);

// Logs one error line (kLogError, under "LDAP CGI") for a failed directory
// operation: the operation as `format` describes it, then the result code
// with its text, the server's diagnostic message and the matched DN as the
// session handle `ld` holds them (both empty when `ld` is null or the code is
// the client's own, negative).
void LogLdapError(LDAP* ld, int code, const char* format, ...) __attribute__((format(printf, 3, 4)));

class ldapClient {
public:
    ldapClient();
    ~ldapClient();
    ldapClient(const ldapClient&) = delete;
    ldapClient& operator=(const ldapClient&) = delete;

    // Seconds to wait for the server (at least 1), from the next connect on:
    // the connect itself (LDAP_OPT_NETWORK_TIMEOUT), every synchronous call
    // (LDAP_OPT_TIMEOUT) and each read and write of the connection's socket
    // (SO_RCVTIMEO, SO_SNDTIMEO). Callers waiting with ldap_result use
    // Timeout() too.
    void SetTimeout(int seconds);
    int Timeout() const { return timeoutSeconds; }
    // From the next connect on: a connection to a host name or an ldap:// URI
    // starts TLS (StartTLS) and fails without it. ldaps:// is TLS from the
    // start; ldapi://, a local socket, never starts TLS.
    void SetStartTls(bool required);
    // host: a host name reached at `port`, or an ldap://, ldaps:// or ldapi://
    // URI used as it stands; one server only (a host holding a comma or a
    // blank, as a list would, is refused, and so is a port beyond 65535, in
    // `port` or in the URI, where it must be at most five plain digits).
    // 0 = connected; LDAP_TIMEOUT = the server took
    // the connection and left the TLS start unanswered within the time limit;
    // else not connected. Every TLS connection checks the
    // server's certificate (LDAP_OPT_X_TLS_REQUIRE_CERT demand, whatever
    // TLS_REQCERT says) against the CA certificates of the OpenLDAP client
    // configuration (TLS_CACERT in ldap.conf, LDAPTLS_CACERT, ...); a refused
    // one gives libldap's reason in the error line. SIGPIPE at its default
    // becomes ignored: a server that drops the connection fails a call.
    int ldapClientConnect(const char* host, int port);
    // user: a DN, or a name without "=" that binds as "cn=" and the name; an
    // empty one binds anonymously. 0 = bound. A user with an empty password
    // (an unauthenticated bind) is refused without asking the server:
    // LDAP_INAPPROPRIATE_AUTH.
    int ldapClientBind(const char* user, const char* password);
    // base null or empty: whole tree; scope LDAP_SCOPE_BASE, _ONELEVEL or _SUBTREE.
    // *status: 0 entries found, 1 none (also for an absent base), other
    // values failure (the LDAP result code, or -1). The result is null on
    // failure, else a chain whose last node is the terminator; it stays valid
    // after unbind until srch_free. sizeLimit > 0 asks the server for at most
    // that many entries; its "size limit exceeded" with them is a success.
    SearchReq* ldapClientSearch(const char* base, int scope, int attrsonly, const char* filter, int* status,
                                int sizeLimit = 0);
    // LDAP result code: 0 added. The values of the DN's own RDN are added
    // when the list lacks them.
    int ldapClientAdd(const char* dn, attrval* attrs);
    // LDAP result code: 0 done, 20 a value that exists. One modification per
    // node in list order: kAttrDelete deletes the value, kAttrAdd adds it.
    int ldapClientModify(const char* dn, attrval* changes);
    int ldapClientDelete(const char* dn);  // 0 deleted, -1 failed
    void ldapClientUnbind();               // safe repeatedly

    // "mail=" address "," dc= DN of its domain, DN-escaped; owned by the client,
    // valid until the next call. An address without "@" gives "mail=" address.
    char* CreateDNFromMail(const char* address);
    // dc= DN of the address's domain ("" without "@"); release with free().
    char* GetSuffix(const char* address);

    // Profile strings live in "cn=KEY,cn=SECTION,cn=profiles" entries that no
    // user, domain or alias search returns.
    // free() it, or null; *status (when given): 0 read (found or not), else
    // the failure's LDAP result code.
    char* ldapGetProfileString(const char* section, const char* key, int* status = nullptr);
    int ldapWriteProfileString(const char* section, const char* key, const char* value);  // 0 = stored

    void srch_free(SearchReq* result);
    void free(void* pointer);

    LDAP* ld;  // session handle for the direct RFC 1823 searches; null when unbound

private:
    char* dnBuffer;
    int timeoutSeconds;
    bool startTlsRequired;
};

#endif
