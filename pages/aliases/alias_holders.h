// Who holds an address as a mail value: the search behind the duplicate
// rule of the alias changes, run before a change and again after it. Reads
// the directory through the page's client; changes nothing.
#ifndef LDAPCGI_PAGES_ALIASES_ALIAS_HOLDERS_H
#define LDAPCGI_PAGES_ALIASES_ALIAS_HOLDERS_H

#include <string>

class ldapClient;

// Outcome of one search over the whole tree for entries holding an address.
struct AliasHolders {
    int status = -1;    // 0 entries found, 1 none, anything else: the search failed
    std::string first;  // DN of the first entry found
    std::string other;  // DN of the first entry found that is not the user's own
};

// Searches the whole tree for (mail=address), the address escaped for the
// filter. `ownDn` is the user's entry, left out of `other`.
AliasHolders FindAliasHolders(ldapClient& client, const char* address, const char* ownDn);

// `value` for an LDAP filter: "*", "(", ")" and "\" as \2a, \28, \29, \5c.
std::string FilterValue(const char* value);

#endif
