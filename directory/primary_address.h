// A user's primary address: the value of the leading "mail=" component of
// its entry's DN, decoded, and a DN's parent. Reads DNs only; touches no directory.
// Limits: DNs are parsed with libldap's DN parser; a DN that does not start
// with a single "mail=" value followed by a further component has no primary.
#ifndef LDAPCGI_DIRECTORY_PRIMARY_ADDRESS_H
#define LDAPCGI_DIRECTORY_PRIMARY_ADDRESS_H

#include <string>

// True and the decoded value when `dn` reads mail=<address>,<more>.
bool PrimaryAddressFromDn(const char* dn, std::string* address);

// The DN after the first RDN ("" for none); backslash escapes skipped.
std::string ParentDn(const std::string& dn);

#endif
