// The holders of an address: one subtree search from the top of the tree.
// Only DNs are needed, so attribute values are not fetched (an entry with a
// value too long for the client then still counts).
#include "pages/aliases/alias_holders.h"

#include <strings.h>

#include "directory/owners.h"
#include "platform/ldapclient/ldapclient.h"

std::string FilterValue(const char* value) {
    std::string out;
    for (const char* p = value; p != nullptr && *p != '\0'; ++p) {
        switch (*p) {
            case '*':
                out.append("\\2a");
                break;
            case '(':
                out.append("\\28");
                break;
            case ')':
                out.append("\\29");
                break;
            case '\\':
                out.append("\\5c");
                break;
            default:
                out.push_back(*p);
        }
    }
    return out;
}

AliasHolders FindAliasHolders(ldapClient& client, const char* address, const char* ownDn) {
    AliasHolders holders;
    std::string filter = "(mail=" + FilterValue(address) + ")";
    SearchResult result(
        client, client.ldapClientSearch(nullptr, LDAP_SCOPE_SUBTREE, 1, filter.c_str(), &holders.status));
    if (!result) {
        if (holders.status == 0 || holders.status == 1) holders.status = -1;  // no result is no answer
        return holders;
    }
    for (const SearchReq* entry = result.get(); entry->next != nullptr; entry = entry->next) {
        if (holders.first.empty()) holders.first = entry->dn;
        if (holders.other.empty() && strcasecmp(entry->dn, ownDn) != 0) holders.other = entry->dn;
    }
    return holders;
}
