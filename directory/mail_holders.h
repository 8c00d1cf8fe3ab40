// Who holds an address as a mail value (as primary address or as alias),
// anywhere in the directory: the search behind the rule that a user's
// address belongs to one entry only, run before a change and again after it.
// Reads the directory through the page's client; changes nothing.
#ifndef LDAPCGI_DIRECTORY_MAIL_HOLDERS_H
#define LDAPCGI_DIRECTORY_MAIL_HOLDERS_H

#include <initializer_list>
#include <string>
#include <vector>

class ldapClient;

// Outcome of one search over the whole tree for (mail=address).
struct MailHolders {
    bool answered = false;         // false: the search failed, nothing is known
    std::vector<std::string> dns;  // the entries found, in the server's order
};

// Searches the whole tree for entries with `address` among their mail values
// (the value escaped for the filter; letter case as the schema compares it).
MailHolders FindMailHolders(ldapClient& client, const char* address);

// The first holder that is none of the entries `own` names (DNs compared in
// their normal form, letter case ignored); empty when there is none.
std::string OtherHolder(const MailHolders& holders, std::initializer_list<const char*> own);

// The DN in libldap's normal string form; the text itself when it does not parse.
std::string NormalDn(const char* dn);

// `value` for an LDAP filter (RFC 4515): "*", "(", ")" and "\" as \2a, \28,
// \29, \5c, so that it can only ever be compared, never widen the filter.
std::string EscapeFilterValue(const char* value);

#endif
