// A user's identity: the primary address, the value of the leading "mail="
// component of the entry's DN. Reads DNs only; touches no directory.
// Limits: DNs are parsed with libldap's DN parser; a DN that does not start
// with a single "mail=" value followed by a further component has no primary.
#ifndef LDAPCGI_PAGES_USERS_USER_IDENTITY_H
#define LDAPCGI_PAGES_USERS_USER_IDENTITY_H

#include <string>

struct SearchReq;

// True and the decoded value when `dn` reads mail=<address>,<more>.
bool PrimaryAddressFromDn(const char* dn, std::string* address);
// Identity of the first entry of a result: its primary address, or, for an
// entry not named by mail=, its first mail value; empty for no entry.
std::string UserIdentity(SearchReq* result);
// True when `mail` names the first entry of `result` (its primary address,
// letter case ignored).
bool IsUserIdentity(SearchReq* result, const char* mail);

#endif
