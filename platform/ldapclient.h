// Directory client over OpenLDAP's libldap: connection, bind, search into
// SearchReq chains, add/modify/delete from attrval lists, DNs from mail
// addresses, and the directory's profile strings.
#ifndef LDAPCGI_PLATFORM_LDAPCLIENT_H
#define LDAPCGI_PLATFORM_LDAPCLIENT_H

#include <cstdint>
#include <ldap.h>

#include "platform/platform_limits.h"

// One attribute value of an add or modify list, or of a search result entry.
// op: 0 add, 1 delete; -1 marks a node to skip (system use only).
// A list ends with a terminator node: op 0, empty name, empty value.
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

class ldapClient {
public:
    ldapClient();
    ~ldapClient();
    ldapClient(const ldapClient&) = delete;
    ldapClient& operator=(const ldapClient&) = delete;

    int ldapClientConnect(const char* host, int port);          // 0 = connected
    int ldapClientBind(const char* user, const char* password); // 0 = bound
    // base null or empty: whole tree; scope 0 base, 1 one level, 2 subtree.
    // *status: 0 entries found, 1 none, other values: failure.
    SearchReq* ldapClientSearch(const char* base, int scope, int attrsonly,
                                const char* filter, int* status);
    int ldapClientAdd(const char* dn, attrval* attrs);     // LDAP result code, 0 = added
    int ldapClientModify(const char* dn, attrval* changes); // LDAP result code, 0 = done
    int ldapClientDelete(const char* dn);                   // 0 deleted, -1 failed
    void ldapClientUnbind();                                // safe repeatedly

    // "mail=" address "," dc= DN of its domain, DN-escaped; owned by the client,
    // valid until the next call.
    char* CreateDNFromMail(const char* address);
    // dc= DN of the address's domain; release with free().
    char* GetSuffix(const char* address);

    char* ldapGetProfileString(const char* section, const char* key); // free() it, or null
    int ldapWriteProfileString(const char* section, const char* key, const char* value); // 0 = stored

    void srch_free(SearchReq* result);
    void free(void* pointer);

    LDAP* ld; // session handle for the direct RFC 1823 searches; null when unbound

private:
    char* dnBuffer;
};

#endif
