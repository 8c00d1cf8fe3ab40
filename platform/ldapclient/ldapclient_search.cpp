// Directory client, search part: runs one synchronous search and copies every
// entry into a SearchReq chain of its own (valid after unbind). A value too
// long for its node arrives as a node marked kAttrTooLong with an empty value,
// never cut; a DN or name that does not fit, or a value holding a NUL byte,
// fails the whole search with a log line.
#include <cstdlib>
#include <cstring>

#include "platform/ldapclient/ldapclient.h"
#include "platform/ldapclient/ldapclient_internal.h"

namespace {

template <typename Node>
Node* NewNode() {
    return static_cast<Node*>(calloc(1, sizeof(Node)));
}

// Appends one value node after *tail; false when it cannot be had. A name
// too long for a node (an attribute with long options, which no page reads)
// is left out; a value that does not fit a node's text (too long, or holding
// a NUL byte) is marked, so that one odd value never hides its entry.
bool AppendValue(attrval**& tail, const char* dn, const char* name, const berval* value) {
    if (strlen(name) >= kAttrNameSize) {
        LogClientError("ldapClientSearch: attribute name %.100s of %.200s is too long; left out", name, dn);
        return true;
    }
    std::size_t length = value ? value->bv_len : 0;
    const bool nul = value && memchr(value->bv_val, '\0', length);
    if (nul)
        LogClientError("ldapClientSearch: a value of %s in %.200s holds a NUL byte; not shown", name, dn);
    attrval* node = NewNode<attrval>();
    if (!node) return false;
    strcpy(node->name, name);
    if (length >= kAttrValueSize || nul)
        node->op = kAttrTooLong;  // left empty: the entry is found, the value is not shown cut
    else if (length)
        memcpy(node->value, value->bv_val, length);
    *tail = node;
    tail = &node->next;
    return true;
}

// Copies one entry's attributes; the list ends with its terminator node.
bool CopyAttributes(LDAP* ld, LDAPMessage* entry, const char* dn, attrval** head, int attrsonly) {
    attrval** tail = head;
    bool ok = true;
    BerElement* position = nullptr;
    for (char* name = ldap_first_attribute(ld, entry, &position); name && ok;
         name = ok ? ldap_next_attribute(ld, entry, position) : nullptr) {
        if (attrsonly) {
            ok = AppendValue(tail, dn, name, nullptr);
        } else {
            berval** values = ldap_get_values_len(ld, entry, name);
            for (int i = 0; ok && values && values[i]; ++i) ok = AppendValue(tail, dn, name, values[i]);
            ldap_value_free_len(values);
        }
        ldap_memfree(name);
    }
    if (position) ber_free(position, 0);
    if (!ok) return false;
    *tail = NewNode<attrval>();
    return *tail != nullptr;
}

}  // namespace

SearchReq* ldapClient::ldapClientSearch(const char* base, int scope, int attrsonly, const char* filter,
                                        int* status, int sizeLimit) {
    int ignored = 0;
    if (!status) status = &ignored;
    *status = -1;
    if (!ld || scope < LDAP_SCOPE_BASE || scope > LDAP_SCOPE_SUBTREE) return nullptr;

    LDAPMessage* reply = nullptr;
    int rc = ldap_search_ext_s(ld, base ? base : "", scope, filter && *filter ? filter : "(objectClass=*)",
                               nullptr, attrsonly, nullptr, nullptr, nullptr,
                               sizeLimit > 0 ? sizeLimit : LDAP_NO_LIMIT, &reply);
    if (rc == LDAP_NO_SUCH_OBJECT) rc = LDAP_SUCCESS;                       // an absent base holds no entries
    if (rc == LDAP_SIZELIMIT_EXCEEDED && sizeLimit > 0) rc = LDAP_SUCCESS;  // the entries asked for
    if (rc != LDAP_SUCCESS) {
        LogLdapError(ld, rc, "LDAP search below \"%.300s\" for %.300s", base ? base : "",
                     filter ? filter : "");
        if (reply) ldap_msgfree(reply);
        *status = rc == 1 ? -1 : rc;  // 1 means "none" to callers
        return nullptr;
    }

    SearchReq* head = nullptr;
    SearchReq** tail = &head;
    bool ok = true;
    int found = 0;
    for (LDAPMessage* entry = ldap_first_entry(ld, reply); entry && ok; entry = ldap_next_entry(ld, entry)) {
        char* dn = ldap_get_dn(ld, entry);
        SearchReq* node = dn ? NewNode<SearchReq>() : nullptr;
        if (!node) {
            ok = false;
        } else if (strlen(dn) >= kSearchDnSize) {
            LogClientError("ldapClientSearch: DN %.200s... is longer than %zu bytes", dn, kSearchDnSize - 1);
            ::free(node);
            ok = false;
        } else {
            strcpy(node->dn, dn);
            *tail = node;
            tail = &node->next;
            ok = CopyAttributes(ld, entry, dn, &node->attrs, attrsonly);
            ++found;
        }
        if (dn) ldap_memfree(dn);
    }
    ldap_msgfree(reply);
    if (ok) {
        *tail = NewNode<SearchReq>();  // the terminator: no entry
        ok = *tail != nullptr;
    }
    if (!ok) {
        srch_free(head);
        *status = -1;
        return nullptr;
    }
    *status = found ? 0 : 1;
    return head;
}
